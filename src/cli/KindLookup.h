#pragma once

#include "codecs/CodecCatalog.h"

#include <string_view>
#include <vector>

namespace vidtag::cli {

// The kinds a KIND argument may mean: a kind number 1 to 13, a display name in any case, or a
// code of the catalogue (exact case first, then any case). Empty when nothing matches; more than
// one when the text is ambiguous ("divx" is the handler of both DivX 4 and DivX 5).
std::vector<CodecKind> LookupKind(std::string_view text);

// Whether the text names kind 15, which is recognised but never a target.
bool NamesFFmpegKind(std::string_view text);

} // namespace vidtag::cli
