#include "video/RawChunks.h"

#include <cstring>
#include <fstream>
#include <iterator>

namespace vidtag::test {

namespace {

std::uint32_t Le32(const std::vector<std::uint8_t>& bytes, std::size_t at) {
    return bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 |
           static_cast<std::uint32_t>(bytes[at + 3]) << 24;
}

bool IdIs(const std::vector<std::uint8_t>& bytes, std::size_t at, const char* id) {
    return std::memcmp(bytes.data() + at, id, 4) == 0;
}

// Walks the chunks in [begin, end), descending into every list.
void Walk(const std::vector<std::uint8_t>& bytes, std::size_t begin, std::size_t end,
          RawVideo& video) {
    std::size_t at = begin;
    while (at + 8 <= end) {
        const std::uint32_t size = Le32(bytes, at + 4);
        const std::size_t data = at + 8;
        if (data + size > end) {
            return;
        }
        if (IdIs(bytes, at, "LIST") || IdIs(bytes, at, "RIFF")) {
            Walk(bytes, data + 4, data + size, video);
        } else if (IdIs(bytes, at, "strf") && video.FormatExtra.empty() && size > 40 &&
                   video.Chunks.empty()) {
            video.FormatExtra.assign(bytes.begin() + data + 40, bytes.begin() + data + size);
        } else if (IdIs(bytes, at, "00dc") || IdIs(bytes, at, "00db")) {
            video.Chunks.emplace_back(bytes.begin() + data, bytes.begin() + data + size);
        }
        at = data + size + (size & 1);
    }
}

} // namespace

RawVideo ReadRawVideo(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    const std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(file), {}};
    RawVideo video;
    Walk(bytes, 0, bytes.size(), video);
    return video;
}

} // namespace vidtag::test
