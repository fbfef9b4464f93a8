#include "video/MsPictureHeader.h"

#include "video/BitReader.h"

#include <algorithm>
#include <cmath>

namespace vidtag::video {

namespace {

constexpr unsigned kStartCodeBits = 32;
constexpr unsigned kFrameNumberBits = 5;
constexpr unsigned kIntra = 0;
constexpr unsigned kOneSlice = 0x17; // slice codes count slices from here
constexpr unsigned kRateBits = 5;
constexpr unsigned kV2TrailerBits = 16;
constexpr unsigned kV3TrailerBits = 17;
constexpr std::uint32_t kAnyRate = 0xFFFFFFFF;
constexpr std::uint32_t kMacroblock = 16;
constexpr double kMaxFps = 1e6; // beyond any real stream: a rate from a broken header

// The frame-rate fields of every trailer of length bits that could end the frame: it is followed
// by fewer than 8 zero bits, which pad it to the byte boundary, and starts after the header.
std::uint32_t TrailerRates(const std::uint8_t* data, std::size_t size, std::size_t headerBits,
                           unsigned length) {
    if (size == 0) {
        return 0;
    }
    const std::size_t totalBits = size * 8;
    // The padding is the last byte's trailing zero bits, or fewer of them.
    std::size_t zeros = 0;
    while (zeros < 7 && (data[size - 1] >> zeros & 1) == 0) {
        ++zeros;
    }
    std::uint32_t rates = 0;
    for (std::size_t padding = 0; padding <= zeros; ++padding) {
        if (totalBits < headerBits + length + padding) {
            break;
        }
        BitReader bits(data, size);
        bits.Skip(totalBits - padding - length);
        const std::uint32_t rate = bits.Bits(kRateBits);
        if (!bits.Overrun()) {
            rates |= std::uint32_t{1} << rate;
        }
    }
    return rates;
}

// The values an encoder may have written for this frame rate: the rate cut or rounded to a
// whole number, then either kept within 5 bits (FFmpeg) or taken modulo 32.
std::uint32_t RateField(double fps) {
    std::uint32_t values = 0;
    for (const double whole : {std::floor(fps), std::round(fps)}) {
        const auto rate = static_cast<std::uint32_t>(whole);
        values |= std::uint32_t{1} << std::min<std::uint32_t>(rate, 31);
        values |= std::uint32_t{1} << (rate % 32);
    }
    return values;
}

} // namespace

std::optional<MsIntraPicture> ReadMsIntraPicture(const std::uint8_t* data, std::size_t size,
                                                 bool v1, bool whole) noexcept {
    BitReader bits(data, size);
    if (v1) {
        if (bits.Bits(kStartCodeBits) != 0x100) {
            return std::nullopt;
        }
        bits.Skip(kFrameNumberBits);
    }
    const auto type = bits.Bits(2);
    const auto quantiser = bits.Bits(5);
    const auto slices = bits.Bits(5);
    if (bits.Overrun() || type != kIntra || quantiser == 0 || (v1 && slices == 0) ||
        (!v1 && slices < kOneSlice)) {
        return std::nullopt;
    }
    MsIntraPicture picture;
    picture.V1 = v1;
    picture.SliceSize = static_cast<std::uint8_t>(v1 ? slices : slices - (kOneSlice - 1));
    const std::size_t header = bits.Position();
    picture.V2Rates = whole ? TrailerRates(data, size, header, kV2TrailerBits) : kAnyRate;
    picture.V3Rates = whole ? TrailerRates(data, size, header, kV3TrailerBits) : kAnyRate;
    return picture;
}

std::uint8_t MsVersionsOf(const MsIntraPicture& picture, std::optional<double> fps,
                          std::optional<std::uint32_t> height) noexcept {
    // A height of 0 is a format that gave none.
    if (height && *height != 0) {
        const std::uint32_t rows = *height / kMacroblock + (*height % kMacroblock != 0 ? 1 : 0);
        if (picture.SliceSize > rows) {
            return 0;
        }
    }
    if (picture.V1) {
        return kMsV1;
    }
    constexpr std::uint8_t kEither = kMsV2 | kMsV3;
    if (!fps || !(*fps > 0 && *fps < kMaxFps)) {
        return kEither;
    }
    const std::uint32_t field = RateField(*fps);
    const bool v2 = (picture.V2Rates & field) != 0;
    const bool v3 = (picture.V3Rates & field) != 0;
    return v2 == v3 ? kEither : v2 ? kMsV2 : kMsV3;
}

} // namespace vidtag::video
