#include "BenchFiles.h"

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <vector>

namespace fs = std::filesystem;

namespace vidtag::bench {

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::int64_t kChunkData = 64 * 1024 - 8;
constexpr char kSample[] = "kind06-div3.avi";

std::uint32_t Word(const Bytes& bytes, std::size_t at) {
    std::uint32_t value;
    std::memcpy(&value, bytes.data() + at, 4);
    return value;
}

void PutWord(std::ostream& out, std::uint32_t value) {
    out.write(reinterpret_cast<const char*>(&value), 4);
}

// The sample's bytes in front of its movi list header.
Bytes SampleHeaders() {
    const std::string path = std::string(VIDTAG_SAMPLES_DIR) + "/" + kSample;
    std::ifstream in(path, std::ios::binary);
    Bytes bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    for (std::size_t at = 12; at + 12 <= bytes.size();) {
        const std::uint32_t size = Word(bytes, at + 4);
        if (std::memcmp(&bytes[at], "LIST", 4) == 0 &&
            std::memcmp(&bytes[at + 8], "movi", 4) == 0) {
            bytes.resize(at);
            return bytes;
        }
        at += 8 + size + (size & 1);
    }
    throw std::runtime_error(std::string("no movi list in ") + path);
}

void Write(const std::string& path, std::int64_t total, bool damaged) {
    const Bytes headers = SampleHeaders();
    const std::int64_t moviStart = static_cast<std::int64_t>(headers.size());
    const std::int64_t chunks = (total - moviStart - 12) / (kChunkData + 8);
    const std::int64_t end = moviStart + 12 + chunks * (kChunkData + 8);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(headers.data()),
              static_cast<std::streamsize>(headers.size()));
    if (damaged) {
        const char zeros[12] = {};
        out.write(zeros, 12);
    } else {
        out.write("LIST", 4);
        PutWord(out, static_cast<std::uint32_t>(end - moviStart - 8));
        out.write("movi", 4);
    }
    // Only the chunk headers are written; the frames between them stay holes in the file.
    for (std::int64_t i = 0; i < chunks; ++i) {
        out.seekp(moviStart + 12 + i * (kChunkData + 8));
        out.write("00dc", 4);
        PutWord(out, static_cast<std::uint32_t>(kChunkData));
    }
    out.seekp(4);
    PutWord(out, static_cast<std::uint32_t>(end - 8));
    out.close();
    fs::resize_file(path, static_cast<std::uintmax_t>(end));
    if (!out) {
        throw std::runtime_error("cannot write " + path);
    }
}

} // namespace

BenchFiles MakeBenchFiles(const std::string& folder, std::int64_t megabytes) {
    fs::create_directories(folder);
    const std::int64_t total = megabytes << 20;
    BenchFiles files{folder + "/healthy.avi", folder + "/damaged.avi", 0};
    Write(files.Healthy, total, false);
    Write(files.Damaged, total, true);
    files.Size = static_cast<std::int64_t>(fs::file_size(files.Healthy));
    return files;
}

} // namespace vidtag::bench
