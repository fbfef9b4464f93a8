#include "WalkComparisons.h"

#include "avi/VmAVIFile.h"
#include "codecs/CodecCatalog.h"
#include "streams/MemoryStream64.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <span>
#include <vector>

namespace vidtag::fuzz {

namespace {

constexpr std::int64_t kLargeScanBuffer = std::int64_t{1} << 20;

void Fail(const char* what) {
    std::fprintf(stderr, "fuzz check failed: %s\n", what);
    std::abort();
}

struct Walked {
    bool Scanned = false;
    CodecKind Kind = kUnknownKind;
    std::int64_t HeaderPos = 0;
    std::int64_t FormatPos = 0;

    bool operator==(const Walked&) const = default;
};

// Memory that reads as empty once the walker over it has spent `budget` steps, so that a walk
// without its own bound still ends.
class BudgetedStream : public TMemoryStream64 {
  public:
    BudgetedStream(const std::uint8_t* data, std::size_t size, std::int64_t budget)
        : TMemoryStream64(data, size), budget_(budget) {}

    std::int64_t Read(void* buffer, std::int64_t count) override {
        return Spent() ? 0 : TMemoryStream64::Read(buffer, count);
    }
    std::int64_t Seek(std::int64_t offset, std::uint16_t origin) override {
        // A size of 0 puts every position at the end.
        return Spent() && origin == 2 ? 0 : TMemoryStream64::Seek(offset, origin);
    }
    bool Spent() {
        stopped_ = stopped_ || (Walker != nullptr && Walker->Steps > budget_);
        return stopped_;
    }

    const TVMRIFFStream* Walker = nullptr;

  private:
    std::int64_t budget_;
    bool stopped_ = false;
};

// What a finished walk found. The file's own header is never entered again, so a part with its
// data at byte 12 is always the first node and no other.
Walked Summarise(const TVmAVIFileReader& reader) {
    Walked walked;
    walked.Scanned = true;
    walked.Kind = ClassifyCodec(reader.VideoHandler(), reader.VideoCompression());
    walked.HeaderPos = reader.VideoHeaderPos;
    walked.FormatPos = reader.VideoFormatPos;
    for (std::int32_t top = reader.GetNext(0); top != kNoNode; top = reader.GetNext(top)) {
        if (reader.Node(top).Id == FCC("RIFF") && reader.GetDataPos(top) == 12) {
            Fail("the walk entered the file header again");
        }
    }
    return walked;
}

// The walk without its step budget. Steps is what it took, or -1 when it had to be stopped.
Walked WalkUnbounded(BudgetedStream& stream, std::int64_t& steps) {
    steps = 0;
    TVmAVIFileReader reader(&stream);
    if (reader.ErrorCode != 0) {
        return {};
    }
    reader.RiffStream->BoundLifted = true;
    stream.Walker = reader.RiffStream.get();
    try {
        reader.Scan();
        steps = reader.RiffStream->Steps;
    } catch (const std::bad_alloc&) {
        steps = -1;
    }
    steps = stream.Spent() ? -1 : steps;
    stream.Walker = nullptr;
    return steps < 0 ? Walked{} : Summarise(reader);
}

// Everything a walk leaves behind: the tree, the video records and the walker's fields. Into
// `print`, whose memory is kept from input to input: a tree of a few thousand nodes makes a print
// of a few hundred kilobytes, and fresh memory for it on every input cost more than the walk.
void Fingerprint(const TVmAVIFileReader& reader, TMemoryStream64& stream, bool outOfMemory,
                 std::vector<std::int64_t>& print) {
    const TVMRIFFStream& riff = *reader.RiffStream;
    print.clear();
    print.push_back(reader.ErrorCode);
    if (outOfMemory) {
        print.push_back(-1);
    }
    for (std::int32_t n = 0; n < reader.NodeCount; ++n) {
        const ChunkNode& node = reader.Node(n);
        print.insert(print.end(), {node.Id, node.ListType, node.DataPos, node.DataSize,
                                   node.FirstChild, node.NextSibling});
    }
    print.insert(print.end(),
                 {reader.VideoHeaderPos, reader.VideoFormatPos, reader.VideoHandler(),
                  reader.VideoCompression(), riff.ChunkId, riff.ChunkSize, riff.ListType,
                  riff.Context, riff.Resync, riff.ResyncPos, riff.Depth, riff.DataPos, riff.Steps,
                  riff.AtEnd, riff.ChunkDone, riff.HasChunk, stream.GetPosition()});
}

// Scans unless the reader could not open the bytes; false when the scan ran out of memory.
bool Scan(TVmAVIFileReader& reader) {
    if (reader.ErrorCode == 0) {
        try {
            reader.Scan();
        } catch (const std::bad_alloc&) {
            return false;
        }
    }
    return true;
}

void FingerprintScan(const std::uint8_t* data, std::size_t size, bool windowScan,
                     std::int64_t bufferSize, std::vector<std::int64_t>& print) {
    TMemoryStream64 stream(data, size);
    TVmAVIFileReader reader(&stream);
    reader.RiffStream->WindowScan = windowScan;
    reader.RiffStream->ScanBufferSize = bufferSize;
    const bool scanned = Scan(reader);
    Fingerprint(reader, stream, !scanned, print);
}

} // namespace

test::AnalysisFindings CompareWalks(const std::uint8_t* data, std::size_t size) {
    // The product's own walk: the direct walk the other checks start from, the walk within its
    // step budget and the fast scan with a buffer that holds the whole input are one and the
    // same, so it runs once and each comparison is made against it.
    TMemoryStream64 stream(data, size);
    TVmAVIFileReader reader(&stream);
    reader.RiffStream->ScanBufferSize = kLargeScanBuffer;
    const bool scanned = Scan(reader);
    static std::vector<std::int64_t> fast;
    static std::vector<std::int64_t> reference;
    Fingerprint(reader, stream, !scanned, fast);
    if (!std::ranges::equal(stream.Bytes, std::span<const std::uint8_t>(data, size))) {
        Fail("the analysis wrote to its stream");
    }
    const test::AnalysisFindings plain = test::FindingsOf(reader, !scanned);
    const Walked bounded = reader.ErrorCode == 0 && scanned ? Summarise(reader) : Walked{};

    BudgetedStream unboundedStream(data, size, reader.RiffStream->StepBudget());
    std::int64_t steps = 0;
    const Walked unbounded = WalkUnbounded(unboundedStream, steps);
    if (steps >= 0 && bounded != unbounded) {
        Fail("the walk with its step budget differs from the walk without it");
    }

    FingerprintScan(data, size, true, 0, reference);
    if (fast != reference) {
        Fail("the fast scan differs from the window-by-window scan");
    }
    // A small buffer whose edges fall anywhere.
    const std::int64_t small = 20 + (size > 0 ? data[size / 2] % 64 : 0);
    FingerprintScan(data, size, false, small, fast);
    if (fast != reference) {
        Fail("the fast scan differs from the window-by-window scan");
    }
    return plain;
}

} // namespace vidtag::fuzz
