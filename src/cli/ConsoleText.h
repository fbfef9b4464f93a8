#pragma once

#include <cstdio>
#include <string_view>

namespace vidtag::cli {

// Writes UTF-8 text to stdout or stderr. A Windows console gets it as UTF-16 through
// WriteConsoleW, so that its code page is never changed and what runs after vidtag-cli in that
// window prints as before; a file, a pipe, or any terminal elsewhere gets the UTF-8 bytes.
void PutText(std::FILE* stream, std::string_view text);

} // namespace vidtag::cli
