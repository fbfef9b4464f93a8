#pragma once

#include "video/StreamFacts.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace vidtag::video {

constexpr std::size_t kMaxUserDataBytes = 64;
constexpr std::size_t kMaxUserDataStrings = 4;

// The printable ASCII bytes of a user data payload, at most kMaxUserDataBytes of them; others
// (the stuffing before the next start code among them) are left out.
std::string PrintableText(const std::uint8_t* data, std::size_t size);

struct EncoderString {
    Encoder Name = Encoder::None;
    std::uint32_t Version = 0;
    std::uint32_t Build = 0;
    bool DivxPacked = false; // a DivX string whose build number is followed by 'p'
};

// Who a user data string says wrote the stream: "DivX%dBuild%d%c", "DivX%db%d%c", "XviD%d",
// "Lavc%d.%d.%d", or any string that starts with "FFmpeg". Version and build are as
// StreamFacts documents them.
EncoderString ParseEncoderString(std::string_view text) noexcept;

} // namespace vidtag::video
