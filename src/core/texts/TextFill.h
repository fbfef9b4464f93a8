#pragma once

#include <string>
#include <string_view>

namespace vidtag {

// text with %1 to %4 replaced by a1 to a4; any other % stays as it is. The words of a
// sentence keep their own order in each language, so the values go in by number.
std::string Fill(std::string_view text, std::string_view a1 = {}, std::string_view a2 = {},
                 std::string_view a3 = {}, std::string_view a4 = {});

} // namespace vidtag
