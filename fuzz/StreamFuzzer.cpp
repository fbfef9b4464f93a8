// Feeds arbitrary bytes to the video stream reader alone, as the format's extra bytes and a few
// chunks. The first byte tells how to split the rest: its top three bits give the share of the
// extra bytes in eighths, its low five bits the number of chunks less one; the chunks share
// what is left equally, so that short inputs make empty chunks too. Aborts when the facts break
// what the reader promises.

#include "video/StreamReader.h"
#include "video/StreamText.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

using namespace vidtag::video;

namespace {

void Fail(const char* what) {
    std::fprintf(stderr, "fuzz check failed: %s\n", what);
    std::abort();
}

bool Mpeg4FieldsAbsent(const StreamFacts& facts) {
    return !facts.ProfileLevel && !facts.ObjectType && !facts.Width && !facts.Qpel &&
           !facts.VopsRead && facts.UserData.empty() &&
           facts.Vops.I + facts.Vops.P + facts.Vops.B + facts.Vops.N == 0;
}

void Check(const StreamFacts& facts, std::uint32_t dataChunks, std::size_t chunks) {
    if (facts.FramesRead != dataChunks || facts.ChunkSizes.size() != chunks) {
        Fail("the frames read or the chunk sizes do not match the chunks given");
    }
    if (facts.UserData.size() > 4) {
        Fail("more than 4 user data strings");
    }
    for (const std::string& text : facts.UserData) {
        for (const char c : text) {
            if (c < 0x20 || c > 0x7E) {
                Fail("a user data string holds a byte that is not printable");
            }
        }
        if (text.empty() || text.size() > 64) {
            Fail("a user data string is empty or longer than 64 bytes");
        }
    }
    if (facts.MaxBRun > facts.Vops.B) {
        Fail("a run of B-VOPs longer than all of them");
    }
    if (facts.StreamSyntax != Syntax::Mpeg4 && facts.StreamSyntax != Syntax::Unknown &&
        !Mpeg4FieldsAbsent(facts)) {
        Fail("MPEG-4 fields for a stream without MPEG-4 headers");
    }
    if (dataChunks == 0 && facts.StreamSyntax != Syntax::Unknown) {
        Fail("a syntax told without a chunk with data");
    }
    if (StreamSummary(facts).empty()) {
        Fail("an empty summary");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    const std::uint8_t* rest = data + 1;
    const std::size_t restSize = size - 1;
    const std::size_t extraSize = restSize * (data[0] >> 5) / 8;
    const std::size_t chunks = (data[0] & 0x1F) + 1;
    const std::size_t chunkSize = (restSize - extraSize) / chunks;

    // Each part is copied into a buffer of its own size, so that AddressSanitizer sees a read
    // past its end instead of the next part's bytes.
    StreamReader reader;
    const std::vector<std::uint8_t> extra(rest, rest + extraSize);
    reader.TakeFormatExtra(extra.data(), extra.size());
    std::uint32_t dataChunks = 0;
    for (std::size_t i = 0; i < chunks; ++i) {
        // The last chunk takes what the equal shares leave over.
        const std::size_t at = extraSize + i * chunkSize;
        const std::size_t length = i + 1 == chunks ? restSize - at : chunkSize;
        const std::vector<std::uint8_t> chunk(rest + at, rest + at + length);
        reader.TakeChunk(chunk.data(), chunk.size());
        dataChunks += length > 0 ? 1 : 0;
    }
    reader.TakeLabelFamily(data[0] % 5);
    StreamFacts facts = reader.Facts();
    facts.Fps = 25.0;
    facts.Height = 16u * (data[0] & 0x1F);
    reader.SettleMsVersions(facts);
    const bool ms =
        facts.StreamSyntax == Syntax::MsMpeg4 || facts.StreamSyntax == Syntax::MsMpeg4V1;
    if ((!ms && facts.MsVersions != 0) || facts.MsVersions > (kMsV1 | kMsV2 | kMsV3)) {
        Fail("Microsoft MPEG-4 versions for another syntax, or a version that does not exist");
    }
    Check(facts, dataChunks, chunks);
    return 0;
}
