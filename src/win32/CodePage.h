#pragma once

#include <string>

namespace vidtag {

// The dialog works in the active code page (the A functions, the open-file dialog, the command
// line); the engine takes file names as UTF-8. The two agree only where Windows honours the
// manifest's UTF-8 code page, so names are converted where the dialog hands them over.
std::string ActiveCodePageToUtf8(const std::string& text);

} // namespace vidtag
