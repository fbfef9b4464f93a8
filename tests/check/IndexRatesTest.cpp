#include "check/IndexRates.h"
#include "streams/CachedReadStream64.h"
#include "streams/MemoryStream64.h"

#include "support/AviBuilder.h"
#include "support/CountingFileLayer.h"
#ifndef _WIN32
#include "support/ShellCommand.h"
#endif
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <sstream>

using namespace vidtag;
using namespace vidtag::check;
using test::Bytes;
using test::Le32;

namespace {

Bytes Concat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& part : parts) {
        out.insert(out.end(), part.begin(), part.end());
    }
    return out;
}

Rates RatesOf(const Bytes& file, double fps) {
    TMemoryStream64 stream(file);
    TVmAVIFileReader reader(&stream);
    reader.Scan();
    return RatesFromIndex(stream, FindIndexPlace(reader), fps);
}

// "RIFF" "AVI " and its "hdrl" with one video stream whose "strl" ends in "indx"; its stream
// header gives length frames.
test::Placed VideoHeaders(test::RiffBuilder& b, const Bytes& superIndex, std::uint32_t length = 0) {
    b.BeginList(FCC("RIFF"), FCC("AVI "));
    b.BeginList(FCC("LIST"), FCC("hdrl"));
    b.Chunk(FCC("avih"), test::MainHeader(1));
    b.BeginList(FCC("LIST"), FCC("strl"));
    Bytes strh = test::StrhData(FCC("vids"), FCC("DIVX"));
    const Bytes lengthBytes = Le32(length);
    std::copy(lengthBytes.begin(), lengthBytes.end(), strh.begin() + 32);
    b.Chunk(FCC("strh"), strh);
    b.Chunk(FCC("strf"), test::BitmapInfoHeader(FCC("DX50")));
    const test::Placed indx = b.Chunk(FCC("indx"), superIndex);
    b.End();
    b.End();
    return indx;
}

// A standard index of chunks for stream 00's video (or the chunks given), its chunks at no
// particular place.
Bytes StandardIndex(const std::vector<std::uint32_t>& sizes, FourCC chunks = FCC("00dc")) {
    Bytes ix = Concat({test::Le16(2), test::Le16(0x0100),
                       Le32(static_cast<std::uint32_t>(sizes.size())), Le32(chunks), Bytes(12, 0)});
    for (const std::uint32_t size : sizes) {
        ix = Concat({ix, Le32(0), Le32(size)});
    }
    return ix;
}

} // namespace

// Stream 01 is the video: the audio's entries, the "rec " list and the chunk ids of other
// numbers count for nothing; "JUNK" stands between "movi" and "idx1".
TEST(IndexRatesTest, Idx1CountsTheVideoStreamsEntriesOnly) {
    test::RiffBuilder b;
    b.BeginList(FCC("RIFF"), FCC("AVI "));
    b.BeginList(FCC("LIST"), FCC("hdrl"));
    b.Chunk(FCC("avih"), test::MainHeader(2));
    b.StreamList(test::StrhData(FCC("auds"), 0), test::WaveFormat());
    b.StreamList(test::StrhData(FCC("vids"), FCC("XVID")), test::BitmapInfoHeader(FCC("XVID")));
    b.End();
    b.BeginList(FCC("LIST"), FCC("movi"));
    b.Chunk(FCC("01dc"), Bytes(10, 1));
    b.End();
    b.Chunk(FCC("JUNK"), Bytes(7, 0));
    // 2 fps: 850 bytes in 5 frames (2.5 s), most in two frames in a row 50 + 400.
    const std::pair<FourCC, std::uint32_t> entries[] = {
        {FCC("00wb"), 9000}, {FCC("01dc"), 100},  {FCC("rec "), 9000},
        {FCC("01dc"), 300},  {FCC("00dc"), 9000}, {FCC("01db"), 50},
        {FCC("01dc"), 400},  {FCC("01dc"), 0},    {FCC("11dc"), 9000}};
    Bytes idx1;
    for (const auto& [id, size] : entries) {
        idx1 = Concat({idx1, Le32(id), Le32(0x10), Le32(4), Le32(size)});
    }
    b.Chunk(FCC("idx1"), idx1);
    const Bytes file = b.Take();
    const Rates rates = RatesOf(file, 2);
    EXPECT_EQ(rates.From, BitrateSource::Index);
    EXPECT_EQ(rates.Frames, 5u);
    EXPECT_EQ(rates.Bytes, 850u);
    EXPECT_EQ(rates.Average, 2720u);
    EXPECT_EQ(rates.Peak, 3600u);
    // A window longer than the stream holds all of it, and the peak is never below the
    // average: 850 bytes in a sixth of a second.
    EXPECT_EQ(RatesOf(file, 30).Peak, 40800u);
    EXPECT_EQ(RatesOf(file, 0).From, BitrateSource::None);
}

// An OpenDML file: the standard indexes the super index names, and not the first part's
// "idx1" (here deliberately wrong). The first part holds the video's "ix00" (1000 and 3000
// bytes) and the audio's "ix01", the second part "00ix" (2000 and 500 bytes); at 1 fps.
TEST(IndexRatesTest, OpenDmlReadsTheStandardIndexesTheSuperIndexNames) {
    const struct {
        const char* Name;
        std::vector<int> Names; // 0 "ix00", 1 "00ix", 2 the audio's "ix01"
        std::uint32_t Length;   // the stream header's
        std::uint64_t Frames, Bytes;
    } rows[] = {
        {"both parts", {0, 1}, 0, 4, 6500},
        {"one index named 16,384 times counts once", std::vector<int>(16384, 0), 0, 2, 4000},
        {"another stream's index counts nothing", {2, 0}, 0, 2, 4000},
        {"no more frames than the stream header gives", {0, 1}, 3, 3, 6000},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.Name);
        const auto entries = static_cast<std::uint32_t>(row.Names.size());
        test::RiffBuilder b;
        const Bytes superHeader =
            Concat({test::Le16(4), test::Le16(0), Le32(entries), Le32(FCC("00dc"))});
        const test::Placed indx =
            VideoHeaders(b, Concat({superHeader, Bytes(12 + 16 * entries, 0)}), row.Length);
        b.BeginList(FCC("LIST"), FCC("movi"));
        const test::Placed ix1 = b.Chunk(FCC("ix00"), StandardIndex({1000, 0x80000000u | 3000}));
        const test::Placed audio = b.Chunk(FCC("ix01"), StandardIndex({9000}, FCC("01wb")));
        b.End();
        b.Chunk(FCC("idx1"), Concat({Le32(FCC("00dc")), Le32(0), Le32(4), Le32(99)}));
        b.End();
        b.BeginList(FCC("RIFF"), FCC("AVIX"));
        b.BeginList(FCC("LIST"), FCC("movi"));
        const test::Placed ix2 = b.Chunk(FCC("00ix"), StandardIndex({2000, 500}));
        Bytes file = b.Take();
        const std::size_t named[] = {ix1.header, ix2.header, audio.header};
        std::size_t at = indx.data + 24;
        for (const int which : row.Names) {
            const Bytes entry = Concat(
                {Le32(static_cast<std::uint32_t>(named[which])), Le32(0), Le32(48), Le32(2)});
            std::copy(entry.begin(), entry.end(), file.begin() + static_cast<std::ptrdiff_t>(at));
            at += entry.size();
        }
        const Rates rates = RatesOf(file, 1);
        EXPECT_EQ(rates.From, BitrateSource::Index);
        EXPECT_EQ(rates.Frames, row.Frames);
        EXPECT_EQ(rates.Bytes, row.Bytes);
        EXPECT_EQ(rates.Average, row.Bytes * 8 / row.Frames);
        EXPECT_EQ(rates.Peak, 3000u * 8);
    }
}

// Sizes and offsets from a damaged file bound nothing: a super index claiming 2^32 entries
// that lead past the file or to no standard index, an "idx1" running past the file. What is
// there is counted.
TEST(IndexRatesTest, DamagedIndexesCountWhatIsThere) {
    test::RiffBuilder b;
    VideoHeaders(b, Concat({test::Le16(4), test::Le16(0), Le32(0xFFFFFFFF), Le32(FCC("00dc")),
                            Bytes(12, 0), Le32(0xFFFFFF00), Le32(0x7FFFFFFF), Le32(64), Le32(0),
                            Le32(12), Le32(0), Le32(0xFFFFFFFF), Le32(0)}));
    b.BeginList(FCC("LIST"), FCC("movi"));
    b.End();
    b.ChunkWithSize(FCC("idx1"), 0xFFFFFFF0,
                    Concat({Le32(FCC("00dc")), Le32(0), Le32(4), Le32(700), Le32(FCC("00dc"))}));
    const Rates rates = RatesOf(b.Take(), 1e300);
    EXPECT_EQ(rates.From, BitrateSource::Index);
    EXPECT_EQ(rates.Frames, 1u);
    EXPECT_EQ(rates.Bytes, 700u);
    EXPECT_EQ(rates.Peak, rates.Average); // a frame rate that large lifts the average past it
}

// No index, or an index without a video entry: the frames read; no frame rate: nothing.
TEST(IndexRatesTest, WithoutAnIndexTheFramesReadGiveTheRates) {
    for (const bool index : {false, true}) {
        test::AviOptions options;
        options.index = index;
        options.frames = 0;
        TMemoryStream64 stream(test::BuildAvi(options).bytes);
        TVmAVIFileReader reader(&stream);
        reader.Scan();
        const IndexPlace place = FindIndexPlace(reader);
        EXPECT_EQ(place.VideoStream, 0);
        const Rates rates = StreamRates(stream, place, {1000, 0, 2000}, 1.5);
        EXPECT_EQ(rates.From, BitrateSource::FramesRead);
        EXPECT_EQ(rates.Average, 3000u * 8 * 1.5 / 3);
        EXPECT_EQ(rates.Peak, 2000u * 8);
        EXPECT_EQ(StreamRates(stream, place, {1000}, std::nullopt).From, BitrateSource::None);
    }
}

#ifndef _WIN32
// A file from ffmpeg and libxvid, against the packet sizes ffprobe gives; through the read
// cache the index costs a read or two.
TEST(IndexRatesTest, MatchesFfprobesPacketSizes) {
    if (std::system("ffmpeg -v error -f lavfi -i nullsrc -t 0.1 -c:v libxvid -f null - "
                    ">/dev/null 2>&1") != 0) {
        GTEST_SKIP() << "ffmpeg with libxvid is not installed";
    }
    test::TempDir dir;
    const std::string path = dir.Path("x.avi");
    const std::string quoted = test::ShellQuote(path);
    ASSERT_EQ(std::system(("ffmpeg -v error -f lavfi -i testsrc=size=320x240:rate=25 -t 4 "
                           "-c:v libxvid -b:v 800k -vtag XVID " +
                           quoted)
                              .c_str()),
              0);
    std::vector<std::uint64_t> sizes;
    std::istringstream probe(test::RunCommand("ffprobe -v error -select_streams v -show_entries "
                                              "packet=size -of csv=p=0 " +
                                              quoted)
                                 .Out);
    for (std::uint64_t size; probe >> size;) {
        sizes.push_back(size);
    }
    ASSERT_EQ(sizes.size(), 100u);
    std::uint64_t total = 0, peak = 0;
    for (std::size_t i = 0; i < sizes.size(); ++i) {
        total += sizes[i];
        std::uint64_t window = 0;
        for (std::size_t j = i; j < std::min(i + 25, sizes.size()); ++j) {
            window += sizes[j];
        }
        peak = std::max(peak, window);
    }

    TFileStream64 file(path, kModeRead | kShareDenyNone);
    TCachedReadStream64 cache(&file);
    TVmAVIFileReader reader(&cache);
    reader.Scan();
    const IndexPlace place = FindIndexPlace(reader);
    test::CountingFileLayer counter;
    const Rates rates = RatesFromIndex(cache, place, 25);
    EXPECT_LE(counter.Reads, 2);
    EXPECT_EQ(rates.Frames, 100u);
    EXPECT_EQ(rates.Average, total * 8 / 4);
    EXPECT_EQ(rates.Peak, peak * 8);
}
#endif
