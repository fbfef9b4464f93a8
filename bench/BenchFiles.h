#pragma once

#include <cstdint>
#include <string>

namespace vidtag::bench {

struct BenchFiles {
    std::string Healthy;
    std::string Damaged; // the same file with its movi list header zeroed
    std::int64_t Size = 0;
};

// Writes two sparse AVI files into folder: the headers of a real sample, then a movi list of
// 64 KiB video chunks, megabytes MiB in all.
BenchFiles MakeBenchFiles(const std::string& folder, std::int64_t megabytes);

} // namespace vidtag::bench
