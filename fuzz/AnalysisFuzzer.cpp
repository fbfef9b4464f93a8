// Feeds arbitrary bytes to the whole analysis, in memory and on a file, and converts whatever it
// recognises. Aborts when the walk misbehaves: a read through the cache that differs from a
// direct read, an analysis that writes, or a conversion that touches more than the two codes.

#include "CachedReadStream64.h"
#include "CodecCatalog.h"
#include "Engine.h"
#include "MemoryStream64.h"
#include "VmAVIFile.h"
#include "WalkComparisons.h"

#include "support/AnalysisFindings.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <new>
#include <string>
#include <unistd.h>
#include <vector>

using namespace vidtag;

namespace {

using Bytes = std::vector<std::uint8_t>;

void Fail(const char* what) {
    std::fprintf(stderr, "fuzz check failed: %s\n", what);
    std::abort();
}

using Findings = test::AnalysisFindings;
constexpr auto AnalyseIn = test::AnalyseStream;

const std::string& ScratchFile() {
    // tmpfs where there is one: the engine flushes every conversion to the disk.
    static const std::string path = [] {
        const std::filesystem::path shm = "/dev/shm";
        const std::filesystem::path folder =
            std::filesystem::is_directory(shm) ? shm : std::filesystem::temp_directory_path();
        return (folder / ("vidtag-fuzz-" + std::to_string(::getpid()) + ".avi")).string();
    }();
    return path;
}

void WriteFile(const std::string& path, const std::uint8_t* data, std::size_t size) {
    std::filesystem::remove(path);
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    if (!out) {
        Fail("cannot write the scratch file");
    }
}

Bytes ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool InsideCode(std::int64_t at, std::int64_t codePos) {
    return codePos > 0 && at >= codePos && at < codePos + 4;
}

void AnalyseAndConvertFile(const std::uint8_t* data, std::size_t size) {
    const std::string& path = ScratchFile();
    WriteFile(path, data, size);
    const Bytes original(data, data + size);

    ProcessFile(path, kNoKind);
    if (ReadFile(path) != original) {
        Fail("the analysis changed the file");
    }
    const TEngineState found = EngineState;
    if (found.Status == kStatusDone && IsKnownKind(found.OriginalKind)) {
        const TargetList& targets = OfferedTargets(found.OriginalKind);
        if (targets.Count > 0) {
            ProcessFile(path, targets.Kinds[0]);
            const Bytes after = ReadFile(path);
            if (after.size() != original.size()) {
                Fail("the conversion changed the size");
            }
            for (std::size_t i = 0; i < after.size(); ++i) {
                const auto at = static_cast<std::int64_t>(i);
                if (after[i] != original[i] && !InsideCode(at, found.HandlerPos) &&
                    !InsideCode(at, found.CompressionPos)) {
                    Fail("the conversion changed a byte outside the two codes");
                }
            }
        }
    }
    std::filesystem::remove(path);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    TMemoryStream64 direct(data, size);
    const Findings plain = AnalyseIn(direct);
    if (direct.Bytes != Bytes(data, data + size)) {
        Fail("the analysis wrote to its stream");
    }
    // A small buffer puts its edges everywhere in the headers.
    TMemoryStream64 underCache(data, size);
    TCachedReadStream64 cached(&underCache, 64);
    if (AnalyseIn(cached) != plain) {
        Fail("the analysis through the cache differs from the direct one");
    }
    AnalyseAndConvertFile(data, size);
    fuzz::CompareWalks(data, size);
    return 0;
}
