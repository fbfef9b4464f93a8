#pragma once

#include "codecs/FourCC.h"

#include <cstdint>

// What the walker and its damaged-data scan both ask of chunk identifiers.
namespace vidtag::riff {

constexpr FourCC kRiff = FCC("RIFF");
constexpr FourCC kList = FCC("LIST");

// Character n (1 to 4, in file order) of an identifier.
constexpr unsigned char Char(FourCC id, int n) {
    return static_cast<unsigned char>(id >> (8 * (n - 1)));
}

constexpr bool IsDigit(unsigned char c) {
    return c >= '0' && c <= '9';
}

// ASCII digits and letters only; bytes above 127 are not alphanumeric.
constexpr bool IsAlnum(unsigned char c) {
    return IsDigit(c) || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

inline bool IsListId(FourCC id) {
    return id == kRiff || id == kList;
}

// The stream number of "NNdb", "NNdc" or "NNwb"; -1 for any other identifier.
inline int StreamDataNumber(FourCC id) {
    if (!IsDigit(Char(id, 1)) || !IsDigit(Char(id, 2))) {
        return -1;
    }
    const unsigned char c3 = Char(id, 3);
    const unsigned char c4 = Char(id, 4);
    const bool suffix = (c3 == 'd' && (c4 == 'b' || c4 == 'c')) || (c3 == 'w' && c4 == 'b');
    return suffix ? 10 * (Char(id, 1) - '0') + (Char(id, 2) - '0') : -1;
}

inline std::uint32_t Load32(const std::uint8_t* bytes) {
    return static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
           static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
}

} // namespace vidtag::riff
