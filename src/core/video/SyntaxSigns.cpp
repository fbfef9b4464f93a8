#include "video/SyntaxSigns.h"

#include "video/HeaderParsers.h"
#include "video/StartCodes.h"

#include <array>

namespace vidtag::video {

namespace {

constexpr std::uint8_t kMpeg12Sequence = 0xB3; // the code MPEG-4 gives its GOV
constexpr std::uint8_t kMpeg12Extension = 0xB5;
constexpr std::uint8_t kMpeg12Group = 0xB8;
constexpr std::uint8_t kMpeg12Picture = 0x00; // also Microsoft MPEG-4 V1's picture code
constexpr std::uint8_t kMpeg12SliceLast = 0xAF;

// Only in a chunk that starts with a start code: other data may hold one by chance.
bool HoldsVolThatParses(const std::uint8_t* data, std::size_t size) {
    if (!StartsWithPrefix(data, size)) {
        return false;
    }
    UnitWalker walker(data, size);
    Unit unit{};
    while (walker.Next(unit)) {
        if (IsVolCode(unit.Code)) {
            BitReader bits(unit.Payload, unit.PayloadSize);
            StreamFacts scratch;
            return ParseVol(bits, scratch) != VolResult::Damaged;
        }
    }
    return false;
}

// The group of VOPs header: hours, minutes, a marker, seconds, closed_gov, broken_link.
bool GovParses(const Unit& unit) {
    BitReader bits(unit.Payload, unit.PayloadSize);
    bits.Skip(5 + 6);
    return bits.Bit() && !bits.Overrun();
}

// vop_coding_type, modulo_time_base, a marker, and with a known width the time increment, its
// marker and vop_coded.
bool VopParses(const Unit& unit, unsigned timeIncrementBits) {
    BitReader bits(unit.Payload, unit.PayloadSize);
    bits.Skip(2);
    while (bits.Bit()) {
    }
    if (!bits.Bit()) {
        return false;
    }
    if (timeIncrementBits != 0) {
        bits.Skip(timeIncrementBits);
        const bool marker = bits.Bit();
        bits.Skip(1); // vop_coded
        return marker && !bits.Overrun();
    }
    return !bits.Overrun();
}

bool StartsWithVop(const std::uint8_t* data, std::size_t size, unsigned timeIncrementBits) {
    if (!StartsWithPrefix(data, size)) {
        return false;
    }
    UnitWalker walker(data, size);
    Unit unit{};
    while (walker.Next(unit)) {
        switch (unit.Code) {
        case code::kVop:
            return VopParses(unit, timeIncrementBits);
        case code::kGov:
            if (!GovParses(unit)) {
                return false;
            }
            break;
        case code::kVos:
        case code::kUserData:
        case code::kVisualObject:
            break;
        default:
            return false;
        }
    }
    return false;
}

// horizontal and vertical size, aspect ratio, frame rate code, bit rate and a marker.
bool SequenceHeaderParses(const Unit& unit) {
    BitReader bits(unit.Payload, unit.PayloadSize);
    const auto width = bits.Bits(12);
    const auto height = bits.Bits(12);
    const auto aspect = bits.Bits(4);
    const auto rate = bits.Bits(4);
    bits.Skip(18);
    const bool marker = bits.Bit();
    return !bits.Overrun() && width != 0 && height != 0 && aspect != 0 && aspect != 15 &&
           rate >= 1 && rate <= 8 && marker;
}

// temporal_reference, then picture_coding_type: I, P, B or D.
bool PictureHeaderParses(const Unit& unit) {
    BitReader bits(unit.Payload, unit.PayloadSize);
    bits.Skip(10);
    const auto type = bits.Bits(3);
    return !bits.Overrun() && type >= 1 && type <= 4;
}

bool IsMpeg12(const std::uint8_t* data, std::size_t size) {
    if (!StartsWithPrefix(data, size)) {
        return false;
    }
    UnitWalker walker(data, size);
    Unit first{};
    if (!walker.Next(first)) {
        return false;
    }
    if (first.Code == kMpeg12Sequence) {
        return SequenceHeaderParses(first);
    }
    if (first.Code != kMpeg12Picture || !PictureHeaderParses(first)) {
        return false;
    }
    Unit next{};
    return walker.Next(next) &&
           ((next.Code >= 0x01 && next.Code <= kMpeg12SliceLast) || next.Code == kMpeg12Extension ||
            next.Code == kMpeg12Group || next.Code == code::kUserData);
}

bool IsJpeg(const std::uint8_t* data, std::size_t size) {
    return size >= 3 && data[0] == 0xFF && data[1] == 0xD8 && data[2] == 0xFF;
}

// The NAL unit header behind the start code at offset 0 (three or four bytes).
Syntax NalSyntax(const std::uint8_t* data, std::size_t size, bool fourByteStart) {
    const std::size_t at = fourByteStart ? 4 : 3;
    if (size < at + 2 || (fourByteStart && data[0] != 0) ||
        !StartsWithPrefix(data + at - 3, size - (at - 3))) {
        return Syntax::Unknown;
    }
    const std::uint8_t b0 = data[at];
    const std::uint8_t b1 = data[at + 1];
    if ((b0 & 0x81) == 0 && b1 == 0x01) {
        // VPS, SPS, PPS, access unit delimiter, prefix SEI, and the pictures that start a stream.
        const unsigned type = (b0 >> 1) & 0x3F;
        constexpr std::array<unsigned, 11> kFirst{32, 33, 34, 35, 39, 16, 17, 18, 19, 20, 21};
        for (const unsigned t : kFirst) {
            if (type == t) {
                return Syntax::H265;
            }
        }
    }
    if ((b0 & 0x80) != 0) {
        return Syntax::Unknown;
    }
    const unsigned type = b0 & 0x1F;
    const unsigned reference = b0 >> 5;
    constexpr std::array<std::uint8_t, 17> kProfiles{66, 77, 88,  100, 110, 122, 144, 244, 44,
                                                     83, 86, 118, 128, 138, 139, 134, 135};
    switch (type) {
    case 1:
    case 5:
    case 8:
        return Syntax::H264;
    case 6:
    case 9:
        return reference == 0 ? Syntax::H264 : Syntax::Unknown;
    case 7:
        for (const std::uint8_t profile : kProfiles) {
            if (b1 == profile) {
                return Syntax::H264;
            }
        }
        return Syntax::Unknown;
    default:
        return Syntax::Unknown;
    }
}

// The picture start code, a frame number of 5 bits, then the picture header V2 and V3 begin with.
bool IsMsMpeg4V1(const std::uint8_t* data, std::size_t size) {
    if (size < 4 || !StartsWithPrefix(data, size) || data[3] != kMpeg12Picture) {
        return false;
    }
    BitReader bits(data + 4, size - 4);
    bits.Skip(5);
    const auto type = bits.Bits(2);
    const auto quantiser = bits.Bits(5);
    const auto slices = type == 0 ? bits.Bits(5) : 1;
    return !bits.Overrun() && type <= 1 && quantiser != 0 && slices != 0;
}

// Intra or predicted, a quantiser from 1 to 31; an intra picture's slice code is 0x17 (one
// slice) or more.
bool IsMsMpeg4Picture(const std::uint8_t* data, std::size_t size) {
    BitReader bits(data, size);
    const auto type = bits.Bits(2);
    const auto quantiser = bits.Bits(5);
    const auto slices = type == 0 ? bits.Bits(5) : 0x17;
    return !bits.Overrun() && type <= 1 && quantiser != 0 && slices >= 0x17;
}

} // namespace

Syntax ClassifyFirstChunk(const std::uint8_t* data, std::size_t size,
                          unsigned timeIncrementBits) noexcept {
    if (size == 0) {
        return Syntax::Unknown;
    }
    if (const Syntax nal = NalSyntax(data, size, true); nal != Syntax::Unknown) {
        return nal;
    }
    if (IsJpeg(data, size)) {
        return Syntax::Jpeg;
    }
    // MPEG-2's slice start codes include the codes of a VOL, and its sequence header has the
    // code of a GOV: its headers are looked for first.
    if (IsMpeg12(data, size)) {
        return Syntax::Mpeg12;
    }
    if (HoldsVolThatParses(data, size) || StartsWithVop(data, size, timeIncrementBits)) {
        return Syntax::Mpeg4;
    }
    if (const Syntax nal = NalSyntax(data, size, false); nal != Syntax::Unknown) {
        return nal;
    }
    if (IsMsMpeg4V1(data, size)) {
        return Syntax::MsMpeg4V1;
    }
    return IsMsMpeg4Picture(data, size) ? Syntax::MsMpeg4 : Syntax::Unknown;
}

} // namespace vidtag::video
