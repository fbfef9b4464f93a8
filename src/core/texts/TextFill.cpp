#include "texts/TextFill.h"

namespace vidtag {

std::string Fill(std::string_view text, std::string_view a1, std::string_view a2,
                 std::string_view a3, std::string_view a4) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 1 < text.size() && text[i + 1] >= '1' && text[i + 1] <= '4') {
            const char which = text[++i];
            out += which == '1' ? a1 : which == '2' ? a2 : which == '3' ? a3 : a4;
        } else {
            out += text[i];
        }
    }
    return out;
}

} // namespace vidtag
