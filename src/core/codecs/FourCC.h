#pragma once

#include <cstdint>
#include <string>

namespace vidtag {

// Four ASCII characters packed so that the first character is the lowest byte: stored
// little-endian, the value reads as the four characters in file order.
using FourCC = std::uint32_t;

constexpr FourCC MakeFourCC(char a, char b, char c, char d) {
    return static_cast<FourCC>(static_cast<unsigned char>(a)) |
           static_cast<FourCC>(static_cast<unsigned char>(b)) << 8 |
           static_cast<FourCC>(static_cast<unsigned char>(c)) << 16 |
           static_cast<FourCC>(static_cast<unsigned char>(d)) << 24;
}

// FCC("divx"): a code from its four characters, checked at compile time.
consteval FourCC FCC(const char (&text)[5]) {
    return MakeFourCC(text[0], text[1], text[2], text[3]);
}

constexpr char FourCCChar(FourCC code, int index) {
    return static_cast<char>((code >> (8 * index)) & 0xFF);
}

// The code with its ASCII letters in upper case, as players compare codes.
constexpr FourCC UpperCaseFourCC(FourCC code) {
    FourCC out = 0;
    for (int i = 0; i < 4; ++i) {
        char c = FourCCChar(code, i);
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
        out |= static_cast<FourCC>(static_cast<unsigned char>(c)) << (8 * i);
    }
    return out;
}

// The code as its four characters; a byte outside printable ASCII comes out as \xNN so that
// damaged codes stay readable in messages and logs.
std::string FourCCToString(FourCC code);

// The code's four bytes as they are, for comparing with typed text and for the journal.
std::string FourCCBytes(FourCC code);

} // namespace vidtag
