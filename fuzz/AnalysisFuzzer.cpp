// Feeds arbitrary bytes to the whole analysis, the reading of the video frames included, and
// converts whatever it recognises. Aborts when the walk misbehaves: a read through the cache that
// differs from a direct read, an engine analysis that differs from the walk (which reads no
// frames, so that whatever the frames hold is seen to change nothing), stream facts beyond their
// budget or with MPEG-4 fields for another syntax, an analysis that writes, or a conversion that
// touches more than the two codes.

#include "MemoryFileLayer.h"
#include "WalkComparisons.h"
#include "avi/VmAVIFile.h"
#include "codecs/CodecCatalog.h"
#include "engine/Engine.h"
#include "streams/CachedReadStream64.h"
#include "streams/MemoryStream64.h"
#include "video/MoviFrames.h"

#include "support/AnalysisFindings.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <span>
#include <string>
#include <unistd.h>
#include <utility>
#include <vector>

using namespace vidtag;

namespace {

using Bytes = std::vector<std::uint8_t>;
using Input = std::span<const std::uint8_t>;
using Findings = test::AnalysisFindings;

void Fail(const char* what) {
    std::fprintf(stderr, "fuzz check failed: %s\n", what);
    std::abort();
}

// The walk through a cache whose small buffer puts its edges everywhere in the headers must find
// what the direct walk found.
void CheckCachedWalk(const std::uint8_t* data, std::size_t size, const Findings& plain) {
    TMemoryStream64 underCache(data, size);
    TCachedReadStream64 cached(&underCache, 64);
    if (test::AnalyseStream(cached) != plain) {
        Fail("the analysis through the cache differs from the direct one");
    }
}

// Where the engine converts: a file held in memory, or for a few inputs a real file, so that the
// native layer's calls are fuzzed too.
class ScratchFile {
  public:
    virtual ~ScratchFile() = default;
    virtual const std::string& Name() const = 0;
    virtual const Bytes& Contents() = 0;
    // What only a file in memory can tell: that a write was asked for at all, and whether the
    // bytes were flushed.
    virtual bool AskedToWrite() const { return false; }
    virtual bool Flushed() const { return true; }
};

class MemoryFile final : public ScratchFile {
  public:
    MemoryFile(const std::uint8_t* data, std::size_t size) : layer_(name_, data, size) {}
    const std::string& Name() const override { return name_; }
    const Bytes& Contents() override { return layer_.Bytes; }
    bool AskedToWrite() const override { return layer_.WriteCalls > 0; }
    bool Flushed() const override { return layer_.Flushes > 0; }

  private:
    const std::string name_ = "fuzz-input.avi";
    fuzz::MemoryFileLayer layer_;
};

class DiskFile final : public ScratchFile {
  public:
    DiskFile(const std::uint8_t* data, std::size_t size) {
        std::filesystem::remove(name_);
        std::ofstream out(name_, std::ios::binary);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
        if (!out) {
            Fail("cannot write the scratch file");
        }
    }
    ~DiskFile() override { std::filesystem::remove(name_); }
    const std::string& Name() const override { return name_; }
    const Bytes& Contents() override {
        std::ifstream in(name_, std::ios::binary | std::ios::ate);
        bytes_.assign(static_cast<std::size_t>(std::max<std::streamoff>(in.tellg(), 0)), 0);
        in.seekg(0);
        in.read(reinterpret_cast<char*>(bytes_.data()),
                static_cast<std::streamsize>(bytes_.size()));
        return bytes_;
    }

  private:
    // tmpfs where there is one: the engine flushes every conversion to the disk.
    static std::string MakeName() {
        const std::filesystem::path shm = "/dev/shm";
        const std::filesystem::path folder =
            std::filesystem::is_directory(shm) ? shm : std::filesystem::temp_directory_path();
        return (folder / ("vidtag-fuzz-" + std::to_string(::getpid()) + ".avi")).string();
    }
    const std::string name_ = MakeName();
    Bytes bytes_;
};

// One input in 32, picked by its bytes so that a failing input fails again on its own.
bool OnDisk(const std::uint8_t* data, std::size_t size) {
    const std::uint8_t middle = size > 0 ? data[size / 2] : 0;
    return (size + middle) % 32 == 0;
}

// Whether `after` holds the bytes of `original` everywhere but in the two codes. Compared in
// runs between the codes rather than byte by byte: the check reads every byte of every input.
bool SameOutsideCodes(const Bytes& after, Input original, std::int64_t handlerPos,
                      std::int64_t compressionPos) {
    const auto size = static_cast<std::int64_t>(original.size());
    std::vector<std::pair<std::int64_t, std::int64_t>> codes;
    for (const std::int64_t at : {handlerPos, compressionPos}) {
        if (at > 0 && at < size) {
            codes.emplace_back(at, std::min(at + 4, size));
        }
    }
    std::ranges::sort(codes);
    codes.emplace_back(size, size);
    std::int64_t from = 0;
    for (const auto& [start, end] : codes) {
        if (start > from && std::memcmp(after.data() + from, original.data() + from,
                                        static_cast<std::size_t>(start - from)) != 0) {
            return false;
        }
        from = std::max(from, end);
    }
    return true;
}

// The engine opens the bytes the walk saw, so it must find what the walk found.
void CheckEngineAnalysis(const TEngineState& found, const Findings& plain) {
    const ConversionStatus expected = plain.ErrorCode == -3 ? kStatusCannotOpen
                                      : plain.ErrorCode < 0 ? kStatusNotAvi
                                      : plain.OutOfMemory   ? kStatusScanFailed
                                                            : kStatusDone;
    if (found.Status != expected) {
        Fail("the engine's analysis ends otherwise than the walk");
    }
    if (found.Status == kStatusDone &&
        (found.OriginalHandler != plain.Handler || found.OriginalCompression != plain.Compression ||
         found.HandlerPos != plain.VideoHeaderPos + kHandlerOffset ||
         found.CompressionPos !=
             (plain.VideoFormatPos > 0 ? plain.VideoFormatPos + kCompressionOffset : 0))) {
        Fail("the engine's analysis differs from the walk");
    }
}

void CheckStreamFacts(const video::StreamFacts& facts, const TEngineState& found) {
    // The first frames have their budget; a walk of the whole stream (the check's) has its own.
    const bool whole = facts.Walked != video::MoviReach::FirstFrames;
    if (whole ? facts.FramesRead > video::kMaxWholeChunks ||
                    facts.ChunkSizes.size() > video::kMaxWholeChunks
              : facts.FramesRead > video::kMaxVideoChunks ||
                    facts.ChunkSizes.size() > video::kMaxMoviChunks) {
        Fail("the frame walk went past its budget");
    }
    if (found.Status != kStatusDone && facts.FramesRead != 0) {
        Fail("a failed analysis kept stream facts");
    }
    if (facts.FamilyMismatch !=
        video::FamilyMismatch(FamilyOf(found.CurrentKind), facts.StreamSyntax)) {
        Fail("the family mismatch is not the kind's family against the syntax");
    }
    const bool mpeg4Fields = facts.ProfileLevel || facts.ObjectType || facts.Qpel ||
                             facts.SpriteKind || facts.VopsRead || facts.VolDamaged;
    const bool microsoft = facts.StreamSyntax == video::Syntax::MsMpeg4 ||
                           facts.StreamSyntax == video::Syntax::MsMpeg4V1;
    if (microsoft && mpeg4Fields) {
        Fail("MPEG-4 fields for a stream of another syntax");
    }
}

void AnalyseAndConvert(ScratchFile&& file, Input original, const Findings& plain) {
    ProcessFile(file.Name(), kNoKind);
    if (!std::ranges::equal(file.Contents(), original)) {
        Fail("the analysis changed the file");
    }
    if (file.AskedToWrite()) {
        Fail("the analysis asked to write");
    }
    const TEngineState found = EngineState;
    CheckEngineAnalysis(found, plain);
    CheckStreamFacts(StreamReport, found);
    if (found.Status != kStatusDone || !IsKnownKind(found.OriginalKind)) {
        return;
    }
    const TargetList& targets = OfferedTargets(found.OriginalKind);
    if (targets.Count == 0) {
        return;
    }
    if (ProcessFile(file.Name(), targets.Kinds[0]) == kStatusDone && !file.Flushed()) {
        Fail("the conversion reported success before flushing");
    }
    const Bytes& after = file.Contents();
    if (after.size() != original.size()) {
        Fail("the conversion changed the size");
    }
    if (!SameOutsideCodes(after, original, found.HandlerPos, found.CompressionPos)) {
        Fail("the conversion changed a byte outside the two codes");
    }
}

void CheckConversion(const std::uint8_t* data, std::size_t size, const Findings& plain) {
    const Input original(data, size);
    if (OnDisk(data, size)) {
        AnalyseAndConvert(DiskFile(data, size), original, plain);
    } else {
        AnalyseAndConvert(MemoryFile(data, size), original, plain);
    }
}

} // namespace

// The conversions here are of scratch copies: recording them would only fill the user's journal.
// The analyses read the frames and the index's bitrates as vidtag-cli --check does, so that the
// walks' comparison covers it.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
    vidtag::SetJournalUse(vidtag::JournalUse::Off);
    vidtag::SetStreamReading(true);
    vidtag::SetRateReading(true);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // The engine reads these as Matroska files, which fuzz_matroska covers.
    if (size >= 4 && data[0] == 0x1A && data[1] == 0x45 && data[2] == 0xDF && data[3] == 0xA3) {
        return 0;
    }
    const Findings plain = fuzz::CompareWalks(data, size);
    CheckCachedWalk(data, size, plain);
    CheckConversion(data, size, plain);
    return 0;
}
