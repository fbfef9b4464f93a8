#include "codecs/FourCC.h"

namespace vidtag {

std::string FourCCToString(FourCC code) {
    static const char digits[] = "0123456789ABCDEF";
    std::string text;
    for (int i = 0; i < 4; ++i) {
        const auto byte = static_cast<unsigned char>(FourCCChar(code, i));
        if (byte >= 0x20 && byte < 0x7F && byte != '\\') {
            text += static_cast<char>(byte);
        } else {
            text += "\\x";
            text += digits[byte >> 4];
            text += digits[byte & 0xF];
        }
    }
    return text;
}

std::string FourCCBytes(FourCC code) {
    std::string text;
    for (int i = 0; i < 4; ++i) {
        text += FourCCChar(code, i);
    }
    return text;
}

} // namespace vidtag
