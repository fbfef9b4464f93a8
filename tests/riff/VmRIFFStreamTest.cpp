#include "riff/VmRIFFStream.h"

#include "support/AviBuilder.h"
#include "support/MemoryStream.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

using namespace vidtag;
using namespace vidtag::test;

namespace {

constexpr FourCC kNoChunk = 0xFFFFFFFF;
constexpr std::int64_t kFar = 0x20000; // from here on the movi and idx1 context applies

// A walker over bytes in memory, positioned at 0 and reset, as a walk starts.
class RiffWalk : public ::testing::Test {
  protected:
    void Open(Bytes bytes) {
        stream = std::make_unique<TestMemoryStream>(std::move(bytes));
        riff = std::make_unique<TVMRIFFStream>(stream.get());
        stream->SetPosition(0);
        riff->Reset();
    }
    std::int64_t Position() { return stream->GetPosition(); }

    void TearDown() override {
        if (stream) {
            EXPECT_EQ(stream->negativeSeeks, 0);
        }
    }

    std::unique_ptr<TestMemoryStream> stream;
    std::unique_ptr<TVMRIFFStream> riff;
};

// RIFF "AVI " of declared size `declared`, then `contents`, in a file padded to `fileSize`.
Bytes RiffFile(std::uint32_t declared, const Bytes& contents, std::size_t fileSize) {
    RiffBuilder b;
    b.ListHeader(FCC("RIFF"), declared, FCC("AVI "));
    b.Raw(contents);
    b.FillTo(fileSize);
    return b.Take();
}

} // namespace

// --- The first steps of a walk ---

TEST_F(RiffWalk, FirstDescendEntersTheRiffHeader) {
    Open(RiffFile(1000, {}, 1008));
    ASSERT_TRUE(riff->Descend());
    EXPECT_EQ(riff->ChunkId, FCC("RIFF"));
    EXPECT_EQ(riff->ListType, FCC("AVI "));
    EXPECT_EQ(riff->ChunkSize, 996);
    EXPECT_EQ(riff->DataPos, 12);
    EXPECT_EQ(riff->Depth, 1u);
    EXPECT_EQ(riff->ListEnd, 1008);
    EXPECT_EQ(Position(), 12);
    EXPECT_TRUE(riff->HasChunk);
    EXPECT_FALSE(riff->AtEnd);
    EXPECT_FALSE(riff->ChunkDone);
    EXPECT_FALSE(riff->Resync);
    ASSERT_GE(riff->Tags.size(), 1u);
    EXPECT_EQ(riff->Tags[0].Id, FCC("RIFF"));
    EXPECT_EQ(riff->Tags[0].ListType, FCC("AVI "));
    EXPECT_EQ(riff->Tags[0].DataPos, 12);
    EXPECT_EQ(riff->Tags[0].Size, 996);
}

TEST_F(RiffWalk, ConstructionAndResetStartEmpty) {
    TestMemoryStream memory(Bytes(16, 0));
    TVMRIFFStream fresh(&memory);
    EXPECT_EQ(fresh.Stream, &memory);
    EXPECT_EQ(fresh.Depth, 0u);
    EXPECT_EQ(fresh.ResyncPos, 0);
    EXPECT_EQ(fresh.ListEnd, 0);
    EXPECT_EQ(fresh.Context, 0u);
    EXPECT_FALSE(fresh.Resync);
    EXPECT_FALSE(fresh.AtEnd);
    EXPECT_FALSE(fresh.HasChunk);
    EXPECT_TRUE(fresh.Tags.empty());
    EXPECT_EQ(fresh.Seek(5, 0), 5);
    EXPECT_EQ(memory.GetPosition(), 5);
}

TEST_F(RiffWalk, ResetClearsOnlyTheWalkingMode) {
    RiffBuilder b;
    b.ListHeader(FCC("RIFF"), 2, FCC("AVI ")); // negative size: resynchronising from here on
    b.Fill(20);
    Open(b.Take());
    ASSERT_TRUE(riff->Descend());
    ASSERT_TRUE(riff->Resync);
    riff->StreamCount = 3;
    riff->Context = FCC("movi");
    riff->Reset();
    EXPECT_FALSE(riff->Resync);
    EXPECT_EQ(riff->Depth, 0u);
    EXPECT_EQ(riff->ListEnd, 0);
    EXPECT_EQ(riff->Context, 0u);
    EXPECT_EQ(riff->ResyncPos, 0);
    // Everything else stays.
    EXPECT_EQ(riff->ChunkId, FCC("RIFF"));
    EXPECT_EQ(riff->ChunkSize, -2);
    EXPECT_EQ(riff->ListType, FCC("AVI "));
    EXPECT_EQ(riff->DataPos, 12);
    EXPECT_TRUE(riff->HasChunk);
    EXPECT_EQ(riff->StreamCount, 3);
    EXPECT_EQ(riff->Tags.size(), 16u);
}

// --- Normal mode ---

TEST_F(RiffWalk, OddPlainChunkIsLeftAtItsEvenEnd) {
    RiffBuilder b;
    b.BeginList(FCC("RIFF"), FCC("AVI "));
    b.JunkUntil(92);
    const Placed odd = b.Chunk(FCC("abcd"), Bytes(5, 7)); // data at 100, pad byte at 105
    b.End();
    Open(b.Take());
    ASSERT_EQ(odd.data, 100u);
    ASSERT_TRUE(riff->Descend()); // RIFF, data 12, size 94: its data ends at 106
    ASSERT_EQ(riff->ChunkSize, 94);
    ASSERT_TRUE(riff->Descend()); // JUNK
    riff->Ascend();
    ASSERT_FALSE(riff->ChunkDone);
    ASSERT_TRUE(riff->Descend());
    EXPECT_EQ(riff->ChunkId, FCC("abcd"));
    EXPECT_EQ(riff->ChunkSize, 5);
    EXPECT_EQ(riff->DataPos, 100);
    EXPECT_EQ(riff->Depth, 2u);
    EXPECT_EQ(riff->Ascend(), 106);
    EXPECT_EQ(Position(), 106);
    EXPECT_EQ(riff->Depth, 1u);
    EXPECT_EQ(riff->ChunkId, FCC("RIFF"));
    EXPECT_EQ(riff->ChunkSize, 94);
    EXPECT_TRUE(riff->ChunkDone);
    EXPECT_TRUE(riff->AtEnd); // the file ends there too
    EXPECT_FALSE(riff->Resync);
}

TEST_F(RiffWalk, OddPlainChunkInsideALongerParent) {
    RiffBuilder b;
    b.BeginList(FCC("RIFF"), FCC("AVI "));
    b.Chunk(FCC("abcd"), Bytes(5, 7));
    b.Chunk(FCC("efgh"), Bytes(2, 7));
    b.End();
    Open(b.Take());
    ASSERT_TRUE(riff->Descend());
    ASSERT_TRUE(riff->Descend());
    EXPECT_EQ(riff->Ascend(), 26);
    EXPECT_FALSE(riff->ChunkDone);
    EXPECT_FALSE(riff->AtEnd);
    ASSERT_TRUE(riff->Descend());
    EXPECT_EQ(riff->ChunkId, FCC("efgh"));
    EXPECT_EQ(riff->DataPos, 34);
}

TEST_F(RiffWalk, AscendDoesNotMoveWhenAlreadyAtTheEnd) {
    RiffBuilder b;
    b.BeginList(FCC("RIFF"), FCC("AVI "));
    b.Chunk(FCC("abcd"), {});
    b.Chunk(FCC("efgh"), Bytes(4, 1));
    b.End();
    Open(b.Take());
    ASSERT_TRUE(riff->Descend());
    ASSERT_TRUE(riff->Descend());
    EXPECT_TRUE(riff->ChunkDone);  // size 0
    EXPECT_EQ(riff->Ascend(), -1); // already at its end: no move, so no result
    EXPECT_EQ(Position(), 20);
    EXPECT_EQ(riff->Depth, 1u);
}

TEST_F(RiffWalk, ListOfSizeFourIsDoneAtOnce) {
    RiffBuilder b;
    b.BeginList(FCC("RIFF"), FCC("AVI "));
    const Placed list = b.BeginList(FCC("LIST"), FCC("INFO"));
    b.End(); // declared size 4
    b.Chunk(FCC("abcd"), Bytes(4, 0));
    b.End();
    Open(b.Take());
    ASSERT_TRUE(riff->Descend());
    ASSERT_TRUE(riff->Descend());
    EXPECT_EQ(riff->ChunkId, FCC("LIST"));
    EXPECT_EQ(riff->ListType, FCC("INFO"));
    EXPECT_EQ(riff->ChunkSize, 0);
    EXPECT_EQ(riff->ListEnd, static_cast<std::int64_t>(list.data));
    EXPECT_TRUE(riff->ChunkDone);
    EXPECT_FALSE(riff->Resync);
    EXPECT_EQ(riff->Ascend(), -1); // its end is where the stream is
    EXPECT_EQ(riff->Depth, 1u);
    EXPECT_FALSE(riff->ChunkDone);
    ASSERT_TRUE(riff->Descend());
    EXPECT_EQ(riff->ChunkId, FCC("abcd"));
}

TEST_F(RiffWalk, ListOfSizeTwoHasANegativeSizeAndResynchronises) {
    RiffBuilder b;
    b.BeginList(FCC("RIFF"), FCC("AVI "));
    b.ListHeader(FCC("LIST"), 2, FCC("hdrl"));
    b.Fill(16);
    b.End();
    Open(b.Take());
    ASSERT_TRUE(riff->Descend());
    ASSERT_FALSE(riff->Resync);
    ASSERT_TRUE(riff->Descend());
    EXPECT_EQ(riff->ChunkId, FCC("LIST"));
    EXPECT_EQ(riff->ChunkSize, -2);
    EXPECT_EQ(riff->DataPos, 24);
    EXPECT_EQ(riff->ListEnd, 22); // 24 + (-2 rounded up to even)
    EXPECT_TRUE(riff->Resync);
    EXPECT_FALSE(riff->ChunkDone);
    EXPECT_EQ(riff->Depth, 2u);
}

TEST_F(RiffWalk, PlainSizeWithTheTopBitSetRescansFromThePreviousData) {
    // The avih data starts with something that looks like a header: the scan finds it without
    // meeting an implausible identifier, so the walk stays in normal mode.
    RiffBuilder b;
    b.BeginList(FCC("RIFF"), FCC("AVI "));
    b.BeginList(FCC("LIST"), FCC("hdrl"));
    Bytes avih = MainHeader(1);
    avih[0] = 'a', avih[1] = 'b', avih[2] = '0', avih[3] = '1';
    avih[4] = 8, avih[5] = avih[6] = avih[7] = 0;
    const Placed main = b.Chunk(FCC("avih"), avih);
    const Placed bad = b.ChunkWithSize(FCC("strh"), 0x80000010, Bytes(16, 0));
    b.End();
    b.End();
    Open(b.Take());
    ASSERT_TRUE(riff->Descend());
    ASSERT_TRUE(riff->Descend());
    ASSERT_TRUE(riff->Descend());
    ASSERT_EQ(riff->DataPos, static_cast<std::int64_t>(main.data));
    riff->Ascend();
    ASSERT_EQ(Position(), static_cast<std::int64_t>(bad.header));
    ASSERT_TRUE(riff->Descend());
    EXPECT_EQ(riff->ChunkId, FCC("ab01"));
    EXPECT_EQ(riff->ChunkSize, 8);
    EXPECT_EQ(riff->DataPos, static_cast<std::int64_t>(main.data + 8));
    EXPECT_EQ(riff->ResyncPos, static_cast<std::int64_t>(main.data + 2));
    EXPECT_FALSE(riff->Resync);
    EXPECT_EQ(riff->Depth, 3u);
}

TEST_F(RiffWalk, PlainSizeWithTheTopBitSetScansOverDamage) {
    // An ordinary avih: the scan passes its data (switching modes) and finds strh itself, whose
    // size the scan does not judge.
    RiffBuilder b;
    b.BeginList(FCC("RIFF"), FCC("AVI "));
    b.BeginList(FCC("LIST"), FCC("hdrl"));
    const Placed main = b.Chunk(FCC("avih"), MainHeader(1));
    const Placed bad = b.ChunkWithSize(FCC("strh"), 0x80000010, Bytes(16, 0));
    b.End();
    b.End();
    Open(b.Take());
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(riff->Descend());
    }
    ASSERT_EQ(riff->DataPos, static_cast<std::int64_t>(main.data));
    riff->Ascend();
    ASSERT_TRUE(riff->Descend());
    EXPECT_EQ(riff->ChunkId, FCC("strh"));
    EXPECT_EQ(riff->ChunkSize, 0x80000010);
    EXPECT_EQ(riff->DataPos, static_cast<std::int64_t>(bad.data));
    EXPECT_EQ(riff->ResyncPos, static_cast<std::int64_t>(bad.header + 2));
    EXPECT_TRUE(riff->Resync);
}

TEST_F(RiffWalk, PlainChunkPastItsListSetsResync) {
    RiffBuilder b;
    b.BeginList(FCC("RIFF"), FCC("AVI "));
    b.BeginList(FCC("LIST"), FCC("hdrl"));
    const Placed big = b.ChunkWithSize(FCC("avih"), 200, Bytes(56, 0));
    b.End(); // the list ends after 56 bytes of avih data
    const Placed next = b.Chunk(FCC("JUNK"), Bytes(8, 0));
    b.Fill(200);
    b.End();
    Open(b.Take());
    ASSERT_TRUE(riff->Descend());
    ASSERT_TRUE(riff->Descend());
    ASSERT_TRUE(riff->Descend());
    EXPECT_EQ(riff->ChunkId, FCC("avih"));
    EXPECT_EQ(riff->ChunkSize, 200);
    EXPECT_EQ(riff->DataPos, static_cast<std::int64_t>(big.data));
    EXPECT_TRUE(riff->Resync);
    EXPECT_EQ(riff->ResyncPos, 0);
    // No scan has run since Reset: Descend scans from where the stream is (inside avih), ...
    ASSERT_TRUE(riff->Descend());
    EXPECT_EQ(riff->ChunkId, FCC("JUNK"));
    EXPECT_EQ(riff->DataPos, static_cast<std::int64_t>(next.data));
    EXPECT_EQ(riff->ResyncPos, static_cast<std::int64_t>(next.header + 2));
    EXPECT_EQ(riff->Depth, 4u);
}

TEST_F(RiffWalk, FirstAscendAfterTheSizeTestScansFromTheStart) {
    RiffBuilder b;
    b.BeginList(FCC("RIFF"), FCC("AVI "));
    b.BeginList(FCC("LIST"), FCC("hdrl"));
    b.ChunkWithSize(FCC("avih"), 200, Bytes(56, 0));
    b.End();
    b.Fill(200);
    b.End();
    Open(b.Take());
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(riff->Descend());
    }
    ASSERT_TRUE(riff->Resync);
    // ... while Ascend, with ResyncPos still 0, scans from the start and finds the RIFF header.
    EXPECT_EQ(riff->Ascend(), -1);
    EXPECT_EQ(riff->ResyncPos, 0);
    EXPECT_EQ(Position(), 12);
    // avih is left; hdrl ends beyond 12, so the pop stops there and reloads it.
    EXPECT_EQ(riff->Depth, 2u);
    EXPECT_EQ(riff->ChunkId, FCC("LIST"));
    EXPECT_FALSE(riff->ChunkDone);
    // Descend treats ResyncPos 0 as no position and scans on from 12.
    ASSERT_TRUE(riff->Descend());
    EXPECT_EQ(riff->ChunkId, FCC("LIST"));
    EXPECT_EQ(riff->ListType, FCC("hdrl"));
    EXPECT_EQ(riff->DataPos, 24);
    EXPECT_EQ(riff->ResyncPos, 14);
}

TEST_F(RiffWalk, DescendAtTheEndFailsAndAscendThenChangesNothing) {
    RiffBuilder b;
    b.BeginList(FCC("RIFF"), FCC("AVI "));
    b.Chunk(FCC("abcd"), Bytes(4, 0));
    b.End();
    Open(b.Take());
    ASSERT_TRUE(riff->Descend());
    ASSERT_TRUE(riff->Descend());
    riff->Ascend();
    ASSERT_TRUE(riff->ChunkDone);
    ASSERT_TRUE(riff->AtEnd);
    riff->ChunkDone = true; // a caller ignoring the flags and descending once more
    EXPECT_FALSE(riff->Descend());
    EXPECT_TRUE(riff->AtEnd);
    EXPECT_FALSE(riff->HasChunk);
    const std::int64_t position = Position();
    const TVMRIFFStream before = *riff;
    EXPECT_EQ(riff->Ascend(), -1);
    EXPECT_FALSE(riff->ChunkDone);
    EXPECT_EQ(Position(), position);
    EXPECT_EQ(riff->Depth, before.Depth);
    EXPECT_EQ(riff->ChunkId, before.ChunkId);
    EXPECT_EQ(riff->ChunkSize, before.ChunkSize);
    EXPECT_EQ(riff->ListEnd, before.ListEnd);
    EXPECT_EQ(riff->AtEnd, before.AtEnd);
    EXPECT_EQ(riff->ResyncPos, before.ResyncPos);
}

TEST_F(RiffWalk, AscendFromDepthOneLeavesTheOutermostLevel) {
    Open(RiffFile(12, Bytes(8, 0), 40));
    ASSERT_TRUE(riff->Descend());
    EXPECT_EQ(riff->Ascend(), 20);
    EXPECT_EQ(riff->Depth, 0u);
    EXPECT_EQ(riff->ChunkId, kNoChunk);
    EXPECT_EQ(riff->ListEnd, 0);
    EXPECT_FALSE(riff->ChunkDone);
    EXPECT_FALSE(riff->AtEnd);
    EXPECT_EQ(riff->ListType, FCC("AVI ")); // not reloaded
    // With nothing on the stack a further Ascend moves nothing.
    EXPECT_EQ(riff->Ascend(), -1);
    EXPECT_EQ(Position(), 20);
}

TEST_F(RiffWalk, AscendReloadsTheParentButNotListTypeOrDataPos) {
    RiffBuilder b;
    b.BeginList(FCC("RIFF"), FCC("AVI "));
    const Placed hdrl = b.BeginList(FCC("LIST"), FCC("hdrl"));
    const Placed avih = b.Chunk(FCC("avih"), MainHeader(1));
    b.Chunk(FCC("JUNK"), Bytes(4, 0));
    b.End();
    b.End();
    Open(b.Take());
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(riff->Descend());
    }
    EXPECT_EQ(riff->ListType, 0u); // a plain chunk read in normal mode
    EXPECT_EQ(riff->Tags[2].ListType, 0u);
    riff->Ascend();
    EXPECT_EQ(riff->ChunkId, FCC("LIST"));
    EXPECT_EQ(riff->ChunkSize, static_cast<std::int64_t>(avih.data + 56 + 12 - hdrl.data));
    EXPECT_EQ(riff->ListType, 0u);
    EXPECT_EQ(riff->DataPos, static_cast<std::int64_t>(avih.data));
    EXPECT_EQ(riff->ListEnd, static_cast<std::int64_t>(avih.data + 56 + 12));
}

TEST_F(RiffWalk, ListHeaderInNormalModeClearsTheContext) {
    AviOptions options;
    options.moviAt = kFar;
    const AviFile avi = BuildAvi(options);
    Open(avi.bytes);
    riff->StreamCount = 1;
    riff->Context = FCC("idx1");
    stream->SetPosition(static_cast<std::int64_t>(avi.movi.header));
    ASSERT_TRUE(riff->Descend());
    EXPECT_EQ(riff->ListType, FCC("movi"));
    EXPECT_EQ(riff->Context, 0u);
    ASSERT_TRUE(riff->Descend()); // the first 00dc judged far out sets the movi context
    EXPECT_EQ(riff->ChunkId, FCC("00dc"));
    EXPECT_EQ(riff->Context, FCC("movi"));
}

TEST_F(RiffWalk, LeavingAListThatAChildListOutgrewGoesBackAndWalksAgainWithinTheBudget) {
    // hdrl claims 12 bytes of data, but holds a strl that claims 40.
    RiffBuilder b;
    b.BeginList(FCC("RIFF"), FCC("AVI "));
    const Placed hdrl = b.ListHeader(FCC("LIST"), 4 + 12, FCC("hdrl"));
    b.ListHeader(FCC("LIST"), 4 + 40, FCC("strl"));
    const Placed strh = b.Chunk(FCC("strh"), Bytes(32, 0));
    const Placed junk = b.Chunk(FCC("JUNK"), Bytes(4, 0));
    b.End();
    const Bytes bytes = b.Take();
    for (const bool budgetSpent : {false, true}) {
        SCOPED_TRACE(budgetSpent ? "budget spent" : "within the budget");
        Open(bytes);
        ASSERT_TRUE(riff->Descend()); // RIFF
        ASSERT_TRUE(riff->Descend()); // hdrl, ends at 36
        ASSERT_TRUE(riff->Descend()); // strl, ends at 76: a list is held to its own end only
        EXPECT_FALSE(riff->Resync);
        EXPECT_EQ(riff->ListEnd, static_cast<std::int64_t>(strh.data + 32));
        ASSERT_TRUE(riff->Descend()); // strh
        EXPECT_FALSE(riff->Resync);
        riff->Ascend();
        ASSERT_TRUE(riff->ChunkDone);  // strl holds nothing more
        EXPECT_EQ(riff->Ascend(), -1); // strl left where it ends
        ASSERT_TRUE(riff->ChunkDone);  // and hdrl is overdue
        EXPECT_FALSE(riff->Resync);
        EXPECT_EQ(riff->Steps, 6);
        if (budgetSpent) {
            riff->Steps = riff->StepBudget() + 1;
        }
        // Leaving hdrl moves back to its end, where strl's data starts.
        EXPECT_EQ(riff->Ascend(), static_cast<std::int64_t>(hdrl.data + 12));
        EXPECT_EQ(Position(), static_cast<std::int64_t>(hdrl.data + 12));
        EXPECT_EQ(riff->Depth, 1u);
        // Within the budget strl's data is walked again, at the RIFF level; past it the walk
        // goes on by scanning forward from there. Both find the same two chunks here.
        EXPECT_EQ(riff->Resync, budgetSpent);
        ASSERT_TRUE(riff->Descend());
        EXPECT_EQ(riff->ChunkId, FCC("strh"));
        EXPECT_EQ(riff->DataPos, static_cast<std::int64_t>(strh.data));
        riff->Ascend();
        ASSERT_TRUE(riff->Descend());
        EXPECT_EQ(riff->ChunkId, FCC("JUNK"));
        EXPECT_EQ(riff->DataPos, static_cast<std::int64_t>(junk.data));
        EXPECT_EQ(riff->Depth, 2u);
    }
}

TEST_F(RiffWalk, ListOfUnknownTypeIsEnteredInNormalMode) {
    RiffBuilder b;
    b.BeginList(FCC("LIST"), FCC("abcd"));
    b.Chunk(FCC("efgh"), {});
    b.End();
    Open(b.Take());
    ASSERT_TRUE(riff->Descend());
    EXPECT_EQ(riff->ChunkId, FCC("LIST"));
    EXPECT_EQ(riff->ListType, FCC("abcd"));
    EXPECT_EQ(riff->ChunkSize, 8);
    EXPECT_FALSE(riff->Resync);
}

TEST_F(RiffWalk, ListOfUnknownTypeIsRejectedByAScan) {
    RiffBuilder b;
    b.BeginList(FCC("LIST"), FCC("abcd"));
    b.Chunk(FCC("efgh"), {});
    b.End();
    Open(b.Take());
    EXPECT_EQ(riff->FindNextChunk(), 12);
    EXPECT_EQ(riff->ChunkId, FCC("efgh"));
    EXPECT_EQ(riff->ChunkSize, 0);
    EXPECT_EQ(riff->ListType, FCC("abcd")); // read, rejected, kept
    EXPECT_TRUE(riff->Resync);
    EXPECT_EQ(Position(), 20);
}

TEST_F(RiffWalk, DeepNestingGrowsTheStackBySixteen) {
    constexpr int kLevels = 40;
    RiffBuilder b;
    for (int i = 0; i < kLevels; ++i) {
        b.BeginList(FCC("LIST"), FCC("rec "));
    }
    b.Chunk(FCC("abcd"), Bytes(2, 0));
    Open(b.Take());
    for (int i = 1; i <= kLevels + 1; ++i) {
        ASSERT_TRUE(riff->Descend());
        ASSERT_EQ(riff->Depth, static_cast<std::uint32_t>(i));
        EXPECT_EQ(riff->Tags.size(), static_cast<std::size_t>((i / 16 + 1) * 16));
        EXPECT_EQ(riff->Tags[i - 1].DataPos, 12 * i + (i == kLevels + 1 ? -4 : 0));
    }
    EXPECT_FALSE(riff->Resync);
    for (int depth = kLevels; depth >= 0; --depth) {
        riff->Ascend();
        ASSERT_EQ(riff->Depth, static_cast<std::uint32_t>(depth));
    }
    EXPECT_EQ(riff->Tags.size(), 48u); // never shrinks
    riff->Reset();
    EXPECT_EQ(riff->Tags.size(), 48u);
}

// --- Identifiers and context ---

class ChunkIds : public RiffWalk {
  protected:
    void SetUp() override { Open(Bytes(kFar + 64, 0)); }
    // Judges `id` at `position` in context `context`; returns validity and the context after.
    bool Judge(const char (&id)[5], FourCC context, std::int64_t position = kFar + 8) {
        stream->SetPosition(position);
        riff->Context = context;
        return riff->IsValidChunkId(MakeFourCC(id[0], id[1], id[2], id[3]));
    }
};

TEST_F(ChunkIds, MoviContextWithTwoStreams) {
    riff->StreamCount = 2;
    const FourCC movi = FCC("movi");
    for (const char* ok : {"00dc", "01wb", "ix01", "00db", "ix00"}) {
        const FourCC id = MakeFourCC(ok[0], ok[1], ok[2], ok[3]);
        stream->SetPosition(kFar + 8);
        riff->Context = movi;
        EXPECT_TRUE(riff->IsValidChunkId(id)) << ok;
        EXPECT_EQ(riff->Context, movi) << ok;
    }
    for (const char* bad : {"02dc", "ix02", "00pc", "abcd", "01tx", "00dd"}) {
        const FourCC id = MakeFourCC(bad[0], bad[1], bad[2], bad[3]);
        stream->SetPosition(kFar + 8);
        riff->Context = movi;
        EXPECT_FALSE(riff->IsValidChunkId(id)) << bad;
        EXPECT_EQ(riff->Context, movi) << bad;
    }
    EXPECT_TRUE(Judge("JUNK", movi));
    EXPECT_EQ(riff->Context, 0u);
    EXPECT_TRUE(Judge("LIST", movi));
    EXPECT_EQ(riff->Context, 0u);
    EXPECT_TRUE(Judge("RIFF", movi));
    EXPECT_EQ(riff->Context, 0u);
    EXPECT_TRUE(Judge("idx1", movi));
    EXPECT_EQ(riff->Context, FCC("idx1"));
}

TEST_F(ChunkIds, StreamCountZeroLeavesOnlyTheGeneralRule) {
    riff->StreamCount = 0;
    EXPECT_TRUE(Judge("00dc", 0));
    EXPECT_EQ(riff->Context, 0u);
    EXPECT_FALSE(Judge("00dc", FCC("movi")));
    EXPECT_FALSE(Judge("ix00", FCC("movi")));
    EXPECT_TRUE(Judge("00dc", FCC("idx1"))); // general rule, context kept
    EXPECT_EQ(riff->Context, FCC("idx1"));
}

TEST_F(ChunkIds, InRangeStreamDataStartsTheMoviContext) {
    riff->StreamCount = 2;
    EXPECT_TRUE(Judge("01db", 0));
    EXPECT_EQ(riff->Context, FCC("movi"));
    EXPECT_TRUE(Judge("ix01", 0)); // an index identifier does not
    EXPECT_EQ(riff->Context, 0u);
    riff->Context = 0;
    EXPECT_FALSE(riff->IsValidChunkId(MakeFourCC('0', '\x01', 'd', 'c')));
    // Bytes above 127 are not alphanumeric.
    EXPECT_FALSE(riff->IsValidChunkId(MakeFourCC('a', 'b', '\xE9', 'd')));
}

TEST_F(ChunkIds, IndexContext) {
    riff->StreamCount = 2;
    EXPECT_TRUE(Judge("01wb", FCC("idx1")));
    EXPECT_EQ(riff->Context, FCC("idx1"));
    EXPECT_TRUE(Judge("abcd", FCC("idx1")));
    EXPECT_EQ(riff->Context, FCC("idx1"));
    EXPECT_TRUE(Judge("02dc", FCC("idx1"))); // out of range: the general rule
    EXPECT_EQ(riff->Context, FCC("idx1"));
    EXPECT_FALSE(Judge("ab\0d", FCC("idx1")));
}

TEST_F(ChunkIds, BelowTheContextLimitEveryContextIsDropped) {
    riff->StreamCount = 2;
    EXPECT_TRUE(Judge("00dc", FCC("movi"), 0x100));
    EXPECT_EQ(riff->Context, FCC("movi")); // cleared, then set again by 00dc
    stream->SetPosition(0x108);
    EXPECT_TRUE(riff->IsValidChunkId(FCC("abcd")));
    EXPECT_EQ(riff->Context, 0u);
    EXPECT_TRUE(Judge("abcd", FCC("idx1"), kFar - 1));
    EXPECT_EQ(riff->Context, 0u);
    EXPECT_FALSE(Judge("abcd", FCC("movi"), kFar));
}

TEST_F(ChunkIds, KnownForms) {
    EXPECT_TRUE(riff->IsKnownForm(FCC("RIFF"), FCC("AVI ")));
    EXPECT_TRUE(riff->IsKnownForm(FCC("RIFF"), FCC("AVIX")));
    EXPECT_FALSE(riff->IsKnownForm(FCC("RIFF"), FCC("WAVE")));
    EXPECT_FALSE(riff->IsKnownForm(FCC("RIFF"), FCC("movi")));
    for (const FourCC type : {FCC("hdrl"), FCC("strl"), FCC("rec "), FCC("odml"), FCC("INFO")}) {
        riff->Context = FCC("idx1");
        EXPECT_TRUE(riff->IsKnownForm(FCC("LIST"), type));
        EXPECT_EQ(riff->Context, FCC("idx1"));
    }
    EXPECT_FALSE(riff->IsKnownForm(FCC("LIST"), FCC("abcd")));
    EXPECT_FALSE(riff->IsKnownForm(FCC("LIST"), FCC("AVI ")));
    EXPECT_FALSE(riff->IsKnownForm(FCC("JUNK"), FCC("movi")));
    riff->Context = 0;
    EXPECT_TRUE(riff->IsKnownForm(FCC("LIST"), FCC("movi")));
    EXPECT_EQ(riff->Context, FCC("movi"));
}

// --- The forward scan ---

TEST_F(RiffWalk, ScanFindsAListTwoZeroBytesOn) {
    RiffBuilder b;
    b.Fill(2);
    b.ListHeader(FCC("LIST"), 4, FCC("movi"));
    Open(b.Take());
    EXPECT_EQ(riff->FindNextChunk(), 2);
    EXPECT_EQ(riff->ChunkId, FCC("LIST"));
    EXPECT_EQ(riff->ListType, FCC("movi"));
    EXPECT_EQ(riff->ChunkSize, 0);
    EXPECT_EQ(riff->Context, FCC("movi"));
    EXPECT_TRUE(riff->Resync);
    EXPECT_EQ(Position(), 14);
}

TEST_F(RiffWalk, ScanMissesAListThreeZeroBytesOn) {
    RiffBuilder b;
    b.Fill(3);
    b.ListHeader(FCC("LIST"), 4, FCC("movi"));
    Open(b.Take());
    // Windows at 0, 4 ("IST\x04"), 8 and 12 ("ovi", then the end): nothing is found.
    EXPECT_EQ(riff->FindNextChunk(), -1);
    EXPECT_TRUE(riff->Resync);
}

TEST_F(RiffWalk, ScanSlidesOnlyWhenTheSecondHalfIsAlphanumeric) {
    // "\1\2ab" slides by two to "abcd", which is plausible.
    Open(Bytes{1, 2, 'a', 'b', 'c', 'd', 6, 0, 0, 0});
    EXPECT_EQ(riff->FindNextChunk(), 2);
    EXPECT_EQ(riff->ChunkId, FCC("abcd"));
    EXPECT_EQ(riff->ChunkSize, 6);
    EXPECT_EQ(Position(), 10);
    // "\1\2\3a" does not slide: the next window starts at 4, and "abcd" at 3 is not seen.
    Open(Bytes{1, 2, 3, 'a', 'b', 'c', 'd', 6, 0, 0, 0, 0, 0, 0, 0, 0});
    EXPECT_EQ(riff->FindNextChunk(), -1);
    // The size cut short after a plausible identifier.
    Open(Bytes{'a', 'b', 'c', 'd', 6, 0});
    EXPECT_EQ(riff->FindNextChunk(), -1);
    EXPECT_EQ(riff->ChunkId, FCC("abcd"));
}

TEST_F(RiffWalk, ScanOfARiffHeaderSubtractsTheType) {
    Open(RiffFile(1000, {}, 64));
    EXPECT_EQ(riff->FindNextChunk(), 0);
    EXPECT_EQ(riff->ChunkSize, 996);
    EXPECT_FALSE(riff->Resync);
    Bytes cut = RiffFile(1000, {}, 12);
    cut.resize(11); // the type cut short
    Open(cut);
    EXPECT_EQ(riff->FindNextChunk(), -1);
}

TEST_F(RiffWalk, AbsentStreamFailsAtOnce) {
    TVMRIFFStream none(nullptr);
    EXPECT_EQ(none.FindNextChunk(), -1);
    EXPECT_FALSE(none.Descend());
    EXPECT_TRUE(none.AtEnd);
    EXPECT_EQ(none.Ascend(), -1);
    EXPECT_EQ(none.Seek(0, 0), -1);
}

// --- Resynchronising mode ---

TEST_F(RiffWalk, ResyncDescendStartsTwoBytesIntoTheLastHeader) {
    RiffBuilder b;
    b.ListHeader(FCC("RIFF"), 2, FCC("AVI ")); // negative size
    b.BeginList(FCC("LIST"), FCC("hdrl"));     // size 20 = "\x14\0\0\0"
    b.Chunk(FCC("avih"), Bytes(8, 0));
    b.End();
    Open(b.Take());
    ASSERT_TRUE(riff->Descend());
    ASSERT_TRUE(riff->Resync);
    EXPECT_EQ(riff->ResyncPos, 0);
    ASSERT_TRUE(riff->Descend()); // ResyncPos 0 is no position: scans from 12
    EXPECT_EQ(riff->ChunkId, FCC("LIST"));
    EXPECT_EQ(riff->ResyncPos, 14);
    EXPECT_EQ(riff->DataPos, 24);
    EXPECT_EQ(riff->ListEnd, 40);
    // From 14: "ST\x14\0" is rejected, "\0\0hd" slides to "hdrl", the list type, which is
    // plausible as a plain chunk whose size is "avih" read as a number.
    ASSERT_TRUE(riff->Descend());
    EXPECT_EQ(riff->ChunkId, FCC("hdrl"));
    EXPECT_EQ(riff->ChunkSize, FCC("avih"));
    EXPECT_EQ(riff->DataPos, 28);
    EXPECT_EQ(riff->ResyncPos, 22);
    // A plain chunk found by a scan keeps (and pushes) the last list type read.
    EXPECT_EQ(riff->ListType, FCC("hdrl"));
    EXPECT_EQ(riff->Tags[2].ListType, FCC("hdrl"));
    EXPECT_EQ(riff->Depth, 3u);
    // From 22: "rlav" is plausible too.
    ASSERT_TRUE(riff->Descend());
    EXPECT_EQ(riff->ChunkId, FCC("rlav"));
    EXPECT_EQ(riff->ResyncPos, 24);
    EXPECT_EQ(riff->Depth, 4u);
}

TEST_F(RiffWalk, ResyncAscendScansWithoutAddingTwoAndPopsWhatItLeft) {
    RiffBuilder b;
    b.ListHeader(FCC("RIFF"), 1000, FCC("AVI "));
    b.ListHeader(FCC("LIST"), 2, FCC("hdrl")); // negative size
    const Placed empty = b.Chunk(FCC("abcd"), {});
    const Placed junk = b.Chunk(FCC("JUNK"), Bytes(4, 0));
    b.Fill(40);
    Open(b.Take());
    ASSERT_TRUE(riff->Descend()); // RIFF
    ASSERT_TRUE(riff->Descend()); // LIST, data 24, size -2, end 22
    ASSERT_TRUE(riff->Resync);
    ASSERT_TRUE(riff->Descend()); // abcd, size 0: done at once
    ASSERT_EQ(riff->DataPos, static_cast<std::int64_t>(empty.data));
    ASSERT_EQ(riff->ResyncPos, static_cast<std::int64_t>(empty.header + 2));
    ASSERT_TRUE(riff->ChunkDone);
    EXPECT_EQ(riff->Ascend(), -1);
    EXPECT_EQ(riff->ResyncPos, static_cast<std::int64_t>(junk.header)); // nothing added
    EXPECT_EQ(Position(), static_cast<std::int64_t>(junk.data));
    // JUNK lies past abcd and past the LIST's end: both are left; the RIFF holds it.
    EXPECT_EQ(riff->Depth, 1u);
    EXPECT_EQ(riff->ChunkId, FCC("RIFF"));
    EXPECT_EQ(riff->ChunkSize, 996);
    EXPECT_EQ(riff->ListEnd, 1008);
    EXPECT_EQ(riff->ListType, FCC("hdrl"));                          // not reloaded
    EXPECT_EQ(riff->DataPos, static_cast<std::int64_t>(empty.data)); // not reloaded
    EXPECT_FALSE(riff->ChunkDone);
    // Descend starts its scan at the header found and so finds it again, then moves two on.
    ASSERT_TRUE(riff->Descend());
    EXPECT_EQ(riff->ChunkId, FCC("JUNK"));
    EXPECT_EQ(riff->DataPos, static_cast<std::int64_t>(junk.data));
    EXPECT_EQ(riff->ResyncPos, static_cast<std::int64_t>(junk.header + 2));
    EXPECT_EQ(riff->Depth, 2u);
}

TEST_F(RiffWalk, ResyncAscendLeavesEveryLevelTheHeaderLiesOutside) {
    RiffBuilder b;
    b.ListHeader(FCC("RIFF"), 2, FCC("AVI ")); // negative size, end 10
    b.Chunk(FCC("abcd"), Bytes(8, 0));
    const Placed junk = b.Chunk(FCC("JUNK"), Bytes(4, 0));
    Open(b.Take());
    ASSERT_TRUE(riff->Descend());
    ASSERT_TRUE(riff->Descend()); // abcd, scanned from 12
    ASSERT_EQ(riff->Depth, 2u);
    riff->Ascend();
    EXPECT_EQ(riff->ResyncPos, static_cast<std::int64_t>(junk.header));
    // The RIFF ends before the JUNK header too: the outermost level is left as well.
    EXPECT_EQ(riff->Depth, 0u);
    EXPECT_EQ(riff->ChunkId, kNoChunk);
    EXPECT_EQ(riff->ListEnd, 0);
    EXPECT_FALSE(riff->ChunkDone);
}

TEST_F(RiffWalk, ResyncAscendOutOfAnIndexChunkSeeksPastItsFirstEntries) {
    RiffBuilder b;
    b.ListHeader(FCC("RIFF"), 2, FCC("AVI ")); // negative size
    const Placed ix = b.Chunk(FCC("ix00"), Bytes(64, 0));
    Open(b.Take());
    riff->StreamCount = 1;
    ASSERT_TRUE(riff->Descend());
    ASSERT_TRUE(riff->Descend());
    ASSERT_EQ(riff->ChunkId, FCC("ix00"));
    EXPECT_EQ(riff->Ascend(), static_cast<std::int64_t>(ix.data + 32));
    EXPECT_EQ(riff->ResyncPos, -1); // nothing plausible after it
    EXPECT_TRUE(riff->AtEnd);
}

TEST_F(RiffWalk, ResyncAscendAfterAFailedScanDoesNotMove) {
    RiffBuilder b;
    b.ListHeader(FCC("RIFF"), 2, FCC("AVI "));
    b.Chunk(FCC("abcd"), Bytes(6, 0));
    Open(b.Take());
    ASSERT_TRUE(riff->Descend());
    ASSERT_TRUE(riff->Descend());
    riff->Ascend();
    ASSERT_EQ(riff->ResyncPos, -1);
    EXPECT_TRUE(riff->AtEnd);
    // A caller that goes on anyway: Descend scans from where the stream is and fails.
    EXPECT_FALSE(riff->Descend());
    EXPECT_EQ(riff->ResyncPos, -1);
    EXPECT_TRUE(riff->AtEnd);
}

TEST_F(RiffWalk, StrictMoviContextRejectsForeignChunksFarOut) {
    AviOptions options;
    options.moviAt = kFar;
    options.frames = 3;
    const AviFile avi = BuildAvi(options);
    Bytes bytes = avi.bytes;
    // Damage the second frame's identifier; a foreign plausible chunk in the third frame.
    RiffBuilder patch;
    patch.PutCodeAt(0, 0);
    const Bytes damaged = patch.Take();
    std::copy(damaged.begin(), damaged.end(), bytes.begin() + avi.frames[1].header);
    const Placed third = avi.frames[2];
    const std::size_t inside = third.data + 4;
    bytes[inside] = 'a', bytes[inside + 1] = 'b', bytes[inside + 2] = 'c', bytes[inside + 3] = 'd';
    Open(bytes);
    riff->StreamCount = 1;
    stream->SetPosition(static_cast<std::int64_t>(avi.movi.header));
    ASSERT_TRUE(riff->Descend()); // LIST movi
    ASSERT_TRUE(riff->Descend()); // 00dc, far out: context movi
    ASSERT_EQ(riff->Context, FCC("movi"));
    riff->Ascend();
    ASSERT_TRUE(riff->Descend()); // the damaged identifier: scan from the first frame's data
    EXPECT_TRUE(riff->Resync);
    EXPECT_EQ(riff->ChunkId, FCC("00dc"));
    EXPECT_EQ(riff->DataPos, static_cast<std::int64_t>(third.data)); // "abcd" was passed over
    ASSERT_TRUE(riff->Descend()); // from two bytes into the third frame: idx1 next
    EXPECT_EQ(riff->ChunkId, FCC("idx1"));
    EXPECT_EQ(riff->Context, FCC("idx1"));
}

TEST_F(RiffWalk, BelowTheLimitAForeignChunkIsFoundInMovi) {
    AviOptions options;
    options.frames = 3;
    const AviFile avi = BuildAvi(options);
    Bytes bytes = avi.bytes;
    for (const Placed& frame : avi.frames) { // frame bytes nothing could take for a header
        std::fill_n(bytes.begin() + static_cast<std::ptrdiff_t>(frame.data), 16, 0xAA);
    }
    for (int i = 0; i < 4; ++i) {
        bytes[avi.frames[1].header + i] = 0;
    }
    const std::size_t inside = avi.frames[2].data + 4;
    bytes[inside] = 'a', bytes[inside + 1] = 'b', bytes[inside + 2] = 'c', bytes[inside + 3] = 'd';
    Open(bytes);
    riff->StreamCount = 1;
    stream->SetPosition(static_cast<std::int64_t>(avi.movi.header));
    ASSERT_TRUE(riff->Descend());
    ASSERT_TRUE(riff->Descend());
    riff->Ascend();
    ASSERT_TRUE(riff->Descend()); // scan: finds the third 00dc
    ASSERT_EQ(riff->ChunkId, FCC("00dc"));
    ASSERT_TRUE(riff->Descend()); // then the foreign header inside its data
    EXPECT_EQ(riff->ChunkId, FCC("abcd"));
    EXPECT_EQ(riff->DataPos, static_cast<std::int64_t>(inside + 8));
}

// --- A whole walk the way the structure scan drives it ---

struct Seen {
    FourCC id;
    FourCC listType;
    std::int64_t dataPos;
    std::int64_t size;
};

// Descend, plain chunks left at once, lists left when done, to the end of the file.
std::vector<Seen> WalkAll(TVMRIFFStream& riff, TStream64& stream) {
    std::vector<Seen> seen;
    stream.SetPosition(0);
    riff.Reset();
    riff.StreamCount = 0;
    for (int guard = 0; !riff.AtEnd && guard < 10000; ++guard) {
        if (riff.ChunkDone) {
            riff.Ascend();
            continue;
        }
        if (!riff.Descend()) {
            continue;
        }
        const bool list = riff.ChunkId == FCC("RIFF") || riff.ChunkId == FCC("LIST");
        seen.push_back(
            {riff.ChunkId, list ? riff.ListType : 0, stream.GetPosition(), riff.ChunkSize});
        if (!list) {
            if (riff.ChunkId == FCC("strh")) {
                ++riff.StreamCount;
            }
            riff.Ascend();
        }
    }
    return seen;
}

TEST_F(RiffWalk, ValidAviWalksInNormalMode) {
    AviOptions options;
    options.audio = true;
    const AviFile avi = BuildAvi(options);
    Open(avi.bytes);
    const std::vector<Seen> seen = WalkAll(*riff, *stream);
    EXPECT_FALSE(riff->Resync);
    ASSERT_EQ(seen.size(), 2 + 1 + 3 + 3 + 1 + 4 + 1u);
    EXPECT_EQ(seen[0].id, FCC("RIFF"));
    EXPECT_EQ(seen[1].listType, FCC("hdrl"));
    EXPECT_EQ(seen[2].id, FCC("avih"));
    EXPECT_EQ(seen[4].id, FCC("strh"));
    EXPECT_EQ(seen[4].dataPos, static_cast<std::int64_t>(avi.video.strh.data));
    EXPECT_EQ(seen[5].id, FCC("strf"));
    EXPECT_EQ(seen[5].dataPos, static_cast<std::int64_t>(avi.video.strf.data));
    EXPECT_EQ(seen[7].dataPos, static_cast<std::int64_t>(avi.audio.strh.data));
    EXPECT_EQ(seen[9].listType, FCC("movi"));
    EXPECT_EQ(seen[9].dataPos, static_cast<std::int64_t>(avi.movi.data));
    EXPECT_EQ(seen[11].id, FCC("01wb"));
    EXPECT_EQ(seen.back().id, FCC("idx1"));
    EXPECT_EQ(seen.back().dataPos, static_cast<std::int64_t>(avi.idx1.data));
    EXPECT_TRUE(riff->AtEnd); // at the end of the file, still inside the RIFF
    EXPECT_EQ(riff->Depth, 1u);
}

TEST_F(RiffWalk, TruncatedAviStopsCleanly) {
    const AviFile avi = BuildAvi();
    Bytes bytes = avi.bytes;
    bytes.resize(avi.video.strf.data + 10);
    Open(bytes);
    const std::vector<Seen> seen = WalkAll(*riff, *stream);
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen.back().id, FCC("strf"));
    EXPECT_TRUE(riff->AtEnd);
}

TEST(RiffWalkOnFiles, SameWalkThroughAFileStream) {
    AviOptions options;
    options.audio = true;
    options.moviAt = 0x20000;
    AviFile avi = BuildAvi(options);
    // Damage: the first audio frame's identifier and the movi list's size.
    avi.bytes[avi.frames[1].header] = 0xFF;
    avi.bytes[avi.movi.header + 7] = 0x7F;
    TempDir dir;
    const std::string path = dir.Path("walk.avi");
    WriteFileBytes(path, avi.bytes);
    TFileStream64 file(path, kModeRead | kShareDenyNone);
    TVMRIFFStream onFile(&file);
    TestMemoryStream memory(avi.bytes);
    TVMRIFFStream inMemory(&memory);
    const std::vector<Seen> fromFile = WalkAll(onFile, file);
    const std::vector<Seen> fromMemory = WalkAll(inMemory, memory);
    ASSERT_EQ(fromFile.size(), fromMemory.size());
    ASSERT_GT(fromFile.size(), 10u);
    for (std::size_t i = 0; i < fromFile.size(); ++i) {
        EXPECT_EQ(fromFile[i].id, fromMemory[i].id) << i;
        EXPECT_EQ(fromFile[i].dataPos, fromMemory[i].dataPos) << i;
        EXPECT_EQ(fromFile[i].size, fromMemory[i].size) << i;
    }
    EXPECT_TRUE(onFile.Resync);
    EXPECT_EQ(memory.negativeSeeks, 0);
}
