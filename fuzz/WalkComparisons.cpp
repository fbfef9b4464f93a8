#include "WalkComparisons.h"

#include "CodecCatalog.h"
#include "MemoryStream64.h"
#include "VmAVIFile.h"

#include <cstdio>
#include <cstdlib>
#include <new>
#include <vector>

namespace vidtag::fuzz {

namespace {

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

// Steps is what the walk took, or -1 when it had to be stopped.
Walked Walk(TStream64& stream, bool boundLifted, std::int64_t& steps) {
    Walked walked;
    steps = 0;
    TVmAVIFileReader reader(&stream);
    if (reader.ErrorCode != 0) {
        return walked;
    }
    reader.RiffStream->BoundLifted = boundLifted;
    auto* budgeted = dynamic_cast<BudgetedStream*>(&stream);
    if (budgeted != nullptr) {
        budgeted->Walker = reader.RiffStream.get();
    }
    try {
        reader.Scan();
        steps = reader.RiffStream->Steps;
    } catch (const std::bad_alloc&) {
        steps = -1;
    }
    if (budgeted != nullptr) {
        steps = budgeted->Spent() ? -1 : steps;
        budgeted->Walker = nullptr;
    }
    if (steps < 0) {
        return walked;
    }
    walked.Scanned = true;
    walked.Kind = ClassifyCodec(reader.VideoHandler(), reader.VideoCompression());
    walked.HeaderPos = reader.VideoHeaderPos;
    walked.FormatPos = reader.VideoFormatPos;
    // The file's own header is never entered again, so a part with its data at byte 12 is
    // always the first node and no other.
    for (std::int32_t top = reader.GetNext(0); top != kNoNode; top = reader.GetNext(top)) {
        if (reader.Node(top).Id == FCC("RIFF") && reader.GetDataPos(top) == 12) {
            Fail("the walk entered the file header again");
        }
    }
    return walked;
}

// Everything a walk leaves behind: the tree, the video records and the walker's fields.
std::vector<std::int64_t> Fingerprint(const std::uint8_t* data, std::size_t size, bool windowScan,
                                      std::int64_t bufferSize) {
    TMemoryStream64 stream(data, size);
    TVmAVIFileReader reader(&stream);
    TVMRIFFStream& riff = *reader.RiffStream;
    riff.WindowScan = windowScan;
    riff.ScanBufferSize = bufferSize;
    std::vector<std::int64_t> print{reader.ErrorCode};
    if (reader.ErrorCode == 0) {
        try {
            reader.Scan();
        } catch (const std::bad_alloc&) {
            print.push_back(-1);
        }
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
    return print;
}

} // namespace

void CompareScans(const std::uint8_t* data, std::size_t size) {
    const auto reference = Fingerprint(data, size, true, 0);
    // The whole input in one buffer, and a small one whose edges fall anywhere.
    const std::int64_t small = 20 + (size > 0 ? data[size / 2] % 64 : 0);
    for (const std::int64_t bufferSize : {std::int64_t{1} << 20, small}) {
        if (Fingerprint(data, size, false, bufferSize) != reference) {
            Fail("the fast scan differs from the window-by-window scan");
        }
    }
}

void CompareWalks(const std::uint8_t* data, std::size_t size) {
    TMemoryStream64 boundedStream(data, size);
    std::int64_t steps = 0;
    const Walked bounded = Walk(boundedStream, false, steps);
    BudgetedStream unboundedStream(data, size, TVMRIFFStream(&boundedStream).StepBudget());
    const Walked unbounded = Walk(unboundedStream, true, steps);
    if (steps >= 0 && bounded != unbounded) {
        Fail("the walk with its step budget differs from the walk without it");
    }
    CompareScans(data, size);
}

} // namespace vidtag::fuzz
