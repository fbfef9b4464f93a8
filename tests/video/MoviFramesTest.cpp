// The walk through "movi" at its edges: which chunks it hands over, and where it stops.
#include "video/MoviFrames.h"
#include "streams/MemoryStream64.h"

#include "video/VideoTestSupport.h"

#include <gtest/gtest.h>

#include <cstring>
#include <sstream>
#include <string>
#include <vector>

using namespace vidtag;

namespace {

using Bytes = std::vector<std::uint8_t>;

struct Chunk {
    const char* Id;
    std::uint32_t Size;
    std::uint32_t Count = 1;
};

void PutChunk(Bytes& movi, const char* id, std::uint32_t size, std::uint32_t claimed) {
    movi.insert(movi.end(), id, id + 4);
    for (int i = 0; i < 4; ++i) {
        movi.push_back(static_cast<std::uint8_t>(claimed >> (8 * i)));
    }
    movi.resize(movi.size() + size + (size & 1), 0x5A);
}

// A "movi" list of the chunks, its size as given; "rec " opens a list holding the next chunk.
Bytes Movi(const std::vector<Chunk>& chunks, std::int64_t claimedExtra = 0) {
    Bytes data;
    for (const Chunk& chunk : chunks) {
        for (std::uint32_t i = 0; i < chunk.Count; ++i) {
            if (std::string(chunk.Id) == "rec ") {
                PutChunk(data, "LIST", 0, chunk.Size + 4);
                data.insert(data.end(), {'r', 'e', 'c', ' '});
            } else {
                PutChunk(data, chunk.Id, chunk.Size, chunk.Size);
            }
        }
    }
    Bytes file;
    PutChunk(file, "LIST", 0, static_cast<std::uint32_t>(data.size() + 4 + claimedExtra));
    file.insert(file.end(), {'m', 'o', 'v', 'i'});
    file.insert(file.end(), data.begin(), data.end());
    return file;
}

struct Case {
    const char* Name;
    std::vector<Chunk> Chunks;
    int Stream;
    std::uint32_t FramesRead;
    std::vector<std::uint32_t> ChunkSizes; // the first few only, when Walked is larger
    std::size_t Walked;                    // video chunks met, dropped frames included
    std::int64_t ClaimedExtra = 0;
    // A whole walk: then Walked counts its sizes too, and whether it reached the list's end.
    bool Whole = false;
    bool Complete = true;
};

TEST(MoviFrames, HandsOverTheStreamsFramesWithinTheBudget) {
    constexpr std::uint32_t kHalfMiB = 512 * 1024;
    const Case cases[] = {
        {"32 chunks with data at most", {{"00dc", 10, 40}}, 0, 32, {10, 10}, 32},
        {"1 MiB of data at most", {{"00dc", kHalfMiB, 3}}, 0, 2, {kHalfMiB, kHalfMiB}, 2},
        {"a chunk cut by the budget counts whole",
         {{"00dc", 3 * kHalfMiB}},
         0,
         1,
         {3 * kHalfMiB},
         1},
        {"4,096 chunks at most", {{"01wb", 0, 5000}, {"00dc", 10}}, 0, 0, {}, 0},
        {"4 MiB of the list at most", {{"01wb", 5 << 20}, {"00dc", 10}}, 0, 0, {}, 0},
        {"inside rec lists", {{"rec ", 18}, {"00db", 10}, {"01wb", 4}}, 0, 1, {10}, 1},
        {"dropped frames are no data", {{"00dc", 0}, {"00dc", 7}}, 0, 1, {0, 7}, 2},
        {"odd sizes are padded", {{"00dc", 3}, {"00dc", 4}}, 0, 2, {3, 4}, 2},
        {"only the stream's own number", {{"00dc", 5}, {"01dc", 6}, {"01db", 7}}, 1, 2, {6, 7}, 2},
        {"no such numbers past 99", {{"00dc", 5}}, 100, 0, {}, 0},
        {"a chunk past the list ends it", {{"00dc", 5}, {"00dc", 9}}, 0, 1, {5}, 1, -4},
        {"a list past the file ends nothing read", {{"00dc", 5}}, 0, 1, {5}, 1, 1000},
        {"whole: every chunk past the budget", {{"00dc", 10, 40}}, 0, 40, {10, 10}, 40, 0, true},
        {"whole: past 4,096 other chunks",
         {{"01wb", 0, 5000}, {"00dc", 10}},
         0,
         1,
         {10},
         1,
         0,
         true},
        {"whole: dropped frames and rec lists",
         {{"rec ", 18}, {"00db", 10}, {"00dc", 0}},
         0,
         1,
         {10, 0},
         2,
         0,
         true},
        {"whole: a chunk past the list is damage",
         {{"00dc", 5}, {"00dc", 9}},
         0,
         1,
         {5},
         1,
         -4,
         true,
         false},
        {"whole: a list past the file is not walked to its end",
         {{"00dc", 5}},
         0,
         1,
         {5},
         1,
         1000,
         true,
         false},
        {"whole: an unprintable id is damage",
         {{"00dc", 5}, {"\1\2dc", 4}, {"00dc", 6}},
         0,
         1,
         {5},
         1,
         0,
         true,
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        TMemoryStream64 stream(Movi(c.Chunks, c.ClaimedExtra));
        const video::MoviSpan movi{12, static_cast<std::int64_t>(stream.Bytes.size()) - 12 +
                                           c.ClaimedExtra};
        video::StreamReader reader;
        video::WholeWalk whole;
        video::ReadMoviFrames(stream, movi, c.Stream, reader, c.Whole ? &whole : nullptr);
        const video::StreamFacts& facts = reader.Facts();
        EXPECT_EQ(facts.FramesRead, c.FramesRead);
        const std::vector<std::uint32_t>& sizes = c.Whole ? whole.ChunkSizes : facts.ChunkSizes;
        ASSERT_EQ(sizes.size(), c.Walked);
        EXPECT_TRUE(std::equal(c.ChunkSizes.begin(), c.ChunkSizes.end(), sizes.begin()));
        EXPECT_EQ(whole.Complete, c.Complete);
    }
}

} // namespace

// The parts after the first: each "RIFF" "AVIX" gives its "movi" list, "JUNK" in front of it or
// not; a part of another type ends the search.
TEST(MoviFrames, FindsTheMoviListsOfTheFurtherParts) {
    const auto part = [](const Bytes& inner) {
        Bytes riff;
        PutChunk(riff, "RIFF", 0, static_cast<std::uint32_t>(inner.size() + 4));
        riff.insert(riff.end(), {'A', 'V', 'I', 'X'});
        riff.insert(riff.end(), inner.begin(), inner.end());
        return riff;
    };
    Bytes junk;
    PutChunk(junk, "JUNK", 6, 6);
    const Bytes first = Movi({{"00dc", 5}});
    Bytes inner = junk;
    inner.insert(inner.end(), first.begin(), first.end());
    Bytes file = part(inner);
    const std::size_t second = file.size();
    const Bytes secondPart = part(Movi({{"00dc", 7}, {"00dc", 2}}));
    file.insert(file.end(), secondPart.begin(), secondPart.end());
    Bytes other;
    PutChunk(other, "RIFF", 0, 4 + 12);
    other.insert(other.end(), {'A', 'V', 'I', ' '});
    const Bytes third = Movi({{"00dc", 1}});
    other.insert(other.end(), third.begin(), third.end());
    file.insert(file.end(), other.begin(), other.end());

    TMemoryStream64 stream(file);
    const std::vector<video::MoviSpan> lists = video::FurtherMoviLists(stream, 0);
    ASSERT_EQ(lists.size(), 2u);
    EXPECT_EQ(lists[0].DataPos, 12 + 14 + 12);
    EXPECT_EQ(lists[0].DataSize, 14);
    EXPECT_EQ(lists[1].DataPos, static_cast<std::int64_t>(second) + 12 + 12);
    EXPECT_EQ(lists[1].DataSize, 16 + 10);
}

namespace {

// A layer header at 25 ticks a second, and VOP headers of that layer by type ('N' uncoded).
Bytes VolBytes() {
    return test::Unit(0x20, "0 00000001 0 0001 0 00 1 0000000000011001 1 0 1 0000101000000 1 "
                            "0000011110000 1 0 1 0 0 0 1 1 0 0");
}

Bytes VopBytes(char type) {
    const std::string coding = type == 'I' ? "00" : type == 'P' ? "01" : type == 'B' ? "10" : "11";
    return test::Unit(0xB6, coding + " 0 1 00000 1 " + (type == 'N' ? "0" : "1") + " 1010");
}

// "movi" of one chunk per word: letters are VOPs, '+' puts 2 KiB of picture data in front of
// the next VOP, out of the walk's reach past the first frames.
Bytes MoviOfVops(const std::string& words) {
    Bytes data;
    std::istringstream in(words);
    for (std::string word; in >> word;) {
        Bytes chunk = word == "V" ? VolBytes() : Bytes{};
        for (const char c : word) {
            if (c == '+') {
                chunk.resize(chunk.size() + 2048, 0x5A);
            } else if (c != 'V') {
                const Bytes vop = VopBytes(c);
                chunk.insert(chunk.end(), vop.begin(), vop.end());
            }
        }
        PutChunk(data, "00dc", 0, static_cast<std::uint32_t>(chunk.size()));
        data.insert(data.end(), chunk.begin(), chunk.end());
        data.resize(data.size() + (chunk.size() & 1), 0);
    }
    Bytes file;
    PutChunk(file, "LIST", 0, static_cast<std::uint32_t>(data.size() + 4));
    file.insert(file.end(), {'m', 'o', 'v', 'i'});
    file.insert(file.end(), data.begin(), data.end());
    return file;
}

} // namespace

// Past the first frames only each frame's first bytes are read: the B-frames after them count,
// and a packed chunk shows by the placeholder after it, a P-VOP's, not a B- or I-VOP's.
TEST(MoviFrames, AWholeWalkReadsEveryFramesFirstBytes) {
    std::string first = "V ";
    for (int i = 0; i < 40; ++i) {
        first += "IB ";
    }
    const struct {
        const char* Later;
        std::uint32_t MaxBRun;
        std::uint64_t Placeholders;
    } rows[] = {
        {"P B B B P", 3, 0},
        {"P+B N P+B N I", 1, 2},
        {"P B N I N P", 1, 0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.Later);
        TMemoryStream64 stream(MoviOfVops(first + row.Later));
        video::StreamReader reader;
        video::WholeWalk whole;
        video::ReadMoviFrames(stream, {12, static_cast<std::int64_t>(stream.Bytes.size()) - 12}, 0,
                              reader, &whole);
        EXPECT_EQ(reader.Facts().MaxBRun, row.MaxBRun);
        EXPECT_EQ(whole.Placeholders, row.Placeholders);
        EXPECT_TRUE(whole.Complete);
    }
}
