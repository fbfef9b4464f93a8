#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vidtag::test {

// Stream 00's video chunks of a small, healthy AVI file, in file order, and the bytes after the
// 40-byte bitmap header of its first "strf": just enough of a walk to feed the stream reader.
struct RawVideo {
    std::vector<std::uint8_t> FormatExtra;
    std::vector<std::vector<std::uint8_t>> Chunks;
};

RawVideo ReadRawVideo(const std::string& path);

} // namespace vidtag::test
