// Feeds arbitrary bytes behind an EBML header's id to the Matroska reader, the frame walk and the
// engine, and converts whatever it recognises. Aborts when the walk misbehaves: a code found
// outside the file or away from its CodecPrivate, a walk through a small read cache that finds
// otherwise than the direct one, headers or frames read beyond their budget, an analysis that
// writes, or a conversion that touches more than the 4 bytes of the code.

#include "MemoryFileLayer.h"
#include "codecs/CodecCatalog.h"
#include "engine/Engine.h"
#include "matroska/MatroskaFile.h"
#include "streams/CachedReadStream64.h"
#include "streams/MemoryStream64.h"
#include "video/MatroskaStreamFacts.h"
#include "video/MoviFrames.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

using namespace vidtag;

namespace {

using Bytes = std::vector<std::uint8_t>;

void Fail(const char* what) {
    std::fprintf(stderr, "fuzz check failed: %s\n", what);
    std::abort();
}

bool Same(const mkv::MatroskaFile& a, const mkv::MatroskaFile& b) {
    return a.Result == b.Result && a.Reason == b.Reason && a.Compression == b.Compression &&
           a.CompressionPos == b.CompressionPos && a.WriteRefusal == b.WriteRefusal &&
           a.FirstClusterPos == b.FirstClusterPos && a.Video.Number == b.Video.Number;
}

void CheckWalk(const Bytes& file) {
    TMemoryStream64 direct(file);
    const mkv::MatroskaFile found = mkv::ReadMatroska(direct);
    const auto size = static_cast<std::int64_t>(file.size());
    if (found.CompressionPos != 0 &&
        (found.CompressionPos + 4 > size ||
         found.CompressionPos != found.Video.PrivatePos + mkv::kCompressionOffset)) {
        Fail("a code outside the file or away from its CodecPrivate");
    }
    // A header read is at most 12 bytes and a value 256, past the budget's last check.
    if (found.HeaderBytes > mkv::kMaxHeaderBytes + 4096) {
        Fail("the header walk read past its budget");
    }
    TMemoryStream64 underCache(file);
    TCachedReadStream64 cached(&underCache, 64);
    if (!Same(mkv::ReadMatroska(cached), found)) {
        Fail("the walk through the cache differs from the direct one");
    }
    if (found.Result != mkv::Outcome::Read) {
        return;
    }
    const video::StreamFacts facts = video::ReadMatroskaFacts(found, direct);
    if (facts.FramesRead > video::kMaxVideoChunks ||
        facts.ChunkSizes.size() > video::kMaxMoviChunks) {
        Fail("the frame walk went past its budget");
    }
}

void CheckConversion(const Bytes& original) {
    const std::string name = "fuzz-input.mkv";
    fuzz::MemoryFileLayer layer(name, original.data(), original.size());
    ProcessFile(name, kNoKind);
    if (layer.WriteCalls > 0 || layer.Bytes != original) {
        Fail("the analysis wrote");
    }
    const TEngineState found = EngineState;
    if (found.Status != kStatusDone || !IsKnownKind(found.OriginalKind)) {
        return;
    }
    const TargetList& targets = OfferedTargets(found.OriginalKind);
    if (targets.Count == 0) {
        return;
    }
    ProcessFile(name, targets.Kinds[0]);
    const Bytes& after = layer.Bytes;
    if (after.size() != original.size()) {
        Fail("the conversion changed the size");
    }
    for (std::size_t i = 0; i < after.size(); ++i) {
        const auto at = static_cast<std::int64_t>(i);
        if (after[i] != original[i] &&
            (at < found.CompressionPos || at >= found.CompressionPos + 4)) {
            Fail("the conversion changed a byte outside the code");
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    vidtag::SetJournalUse(vidtag::JournalUse::Off);
    vidtag::SetStreamReading(true);
    vidtag::SetRateReading(true);
    return 0;
}

// Every input is a file behind the EBML header's id, so that none is spent on the signature.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Bytes file{0x1A, 0x45, 0xDF, 0xA3};
    file.insert(file.end(), data, data + size);
    CheckWalk(file);
    CheckConversion(file);
    return 0;
}
