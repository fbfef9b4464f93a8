// Seeded randomized walks over damaged AVI files: every walk, driven the way the structure scan
// drives it, ends within a number of steps bounded by the file size, and never seeks before the
// start of the file.

#include "riff/VmRIFFStream.h"

#include "support/AviBuilder.h"
#include "support/MemoryStream.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <iostream>
#include <random>
#include <sstream>
#include <string>

using namespace vidtag;
using namespace vidtag::test;

namespace {

constexpr std::uint32_t kSeed = 20261208;
constexpr int kDefaultCases = 400;

// More cases for a longer hunt: VIDTAG_RIFF_WALK_CASES=100000.
int CaseCount() {
    const char* text = std::getenv("VIDTAG_RIFF_WALK_CASES");
    const int count = text != nullptr ? std::atoi(text) : 0;
    return count > 0 ? count : kDefaultCases;
}

std::int64_t StepBound(std::size_t size) {
    return 4 * static_cast<std::int64_t>(size) + 64;
}

class Damager {
  public:
    explicit Damager(std::uint32_t seed) : random_(seed) {}

    int Below(int n) { return std::uniform_int_distribution<int>(0, n - 1)(random_); }
    bool Chance(int percent) { return Below(100) < percent; }
    std::uint8_t Byte() { return static_cast<std::uint8_t>(Below(256)); }
    std::uint8_t AlnumByte() {
        static const char kAlnum[] =
            "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
        return static_cast<std::uint8_t>(kAlnum[Below(62)]);
    }
    template <class T> const T& Pick(const std::vector<T>& items) {
        return items[static_cast<std::size_t>(Below(static_cast<int>(items.size())))];
    }

    // A file to damage, with the offsets of its chunk headers.
    Bytes Base(std::vector<std::size_t>& headers, std::string& what) {
        if (Chance(15)) {
            return Nested(headers, what);
        }
        if (Chance(20)) {
            return HeaderSoup(headers, what);
        }
        AviOptions options;
        options.audio = Chance(50);
        options.frames = 1 + Below(6);
        options.frameSize = static_cast<std::size_t>(Below(40));
        options.index = Chance(70);
        options.moviAt = Chance(4) ? 0x20000 : 0;
        AviFile avi = BuildAvi(options);
        // Appended, not "text" + string: GCC 12 for i686 sees a false overlap in that one.
        what = "avi audio=";
        what += std::to_string(options.audio) + " frames=" + std::to_string(options.frames) +
                " frameSize=" + std::to_string(options.frameSize) +
                " index=" + std::to_string(options.index) +
                " moviAt=" + std::to_string(options.moviAt);
        for (const Placed* placed : {&avi.riff, &avi.hdrl, &avi.avih, &avi.video.list,
                                     &avi.video.strh, &avi.video.strf, &avi.movi}) {
            headers.push_back(placed->header);
        }
        if (options.audio) {
            for (const Placed* placed : {&avi.audio.list, &avi.audio.strh, &avi.audio.strf}) {
                headers.push_back(placed->header);
            }
        }
        for (const Placed& frame : avi.frames) {
            headers.push_back(frame.header);
            // Frame data that looks like identifiers now and then.
            if (Chance(30)) {
                const std::size_t length = avi.bytes[frame.header + 4]; // below 256
                for (std::size_t i = frame.data; i < frame.data + length; ++i) {
                    avi.bytes[i] = Chance(70) ? AlnumByte() : Byte();
                }
            }
        }
        if (options.index) {
            headers.push_back(avi.idx1.header);
        }
        if (options.moviAt != 0) {
            headers.push_back(avi.junk.header);
        }
        return avi.bytes;
    }

    // Lists inside lists with plain chunks between, all sizes true before the damage.
    Bytes Nested(std::vector<std::size_t>& headers, std::string& what) {
        RiffBuilder b;
        headers.push_back(b.BeginList(FCC("RIFF"), FCC("AVI ")).header);
        int open = 1;
        const int parts = 4 + Below(30);
        for (int i = 0; i < parts; ++i) {
            const int choice = Below(10);
            if (choice < 3) {
                static const std::vector<FourCC> kTypes{FCC("hdrl"), FCC("strl"), FCC("movi"),
                                                        FCC("rec "), FCC("odml"), FCC("abcd")};
                headers.push_back(b.BeginList(FCC("LIST"), Pick(kTypes)).header);
                ++open;
            } else if (choice < 5 && open > 1) {
                b.End();
                --open;
            } else {
                static const std::vector<FourCC> kIds{FCC("strh"), FCC("00dc"), FCC("01wb"),
                                                      FCC("ix00"), FCC("JUNK"), FCC("idx1"),
                                                      FCC("abcd")};
                Bytes data(static_cast<std::size_t>(Below(48)));
                for (auto& byte : data) {
                    byte = Chance(50) ? AlnumByte() : Byte();
                }
                headers.push_back(b.Chunk(Pick(kIds), data).header);
            }
        }
        what = "nested parts=" + std::to_string(parts);
        return b.Take();
    }

    // Headers back to back, each claiming to end where some other header starts: lists inside
    // lists that claim more or less than their parents, plain chunks that end inside lists.
    Bytes HeaderSoup(std::vector<std::size_t>& headers, std::string& what) {
        static const std::vector<FourCC> kTypes{FCC("hdrl"), FCC("strl"), FCC("rec "),
                                                FCC("odml"), FCC("INFO"), FCC("abcd")};
        static const std::vector<FourCC> kIds{FCC("JUNK"), FCC("00dc"), FCC("ix00"),
                                              FCC("idx1"), FCC("abcd"), FCC("strh")};
        RiffBuilder b;
        const int count = 5 + Below(60);
        std::vector<Placed> placed{b.ListHeader(FCC("RIFF"), 0, FCC("AVI "))};
        std::vector<bool> isList{true};
        const int listShare = 50 + Below(50);
        for (int i = 0; i < count; ++i) {
            isList.push_back(Chance(listShare));
            placed.push_back(isList.back() ? b.ListHeader(FCC("LIST"), 0, Pick(kTypes))
                                           : b.ChunkHeader(Pick(kIds), 0));
        }
        b.Fill(16 + static_cast<std::size_t>(Below(3)) * 12);
        for (std::size_t i = 0; i < placed.size(); ++i) {
            headers.push_back(placed[i].header);
            // The end: a later header, the end of the file or a few bytes off either.
            const std::size_t later =
                i + 1 + static_cast<std::size_t>(Below(static_cast<int>(placed.size() - i)));
            std::size_t end = later < placed.size() ? placed[later].header : b.Size();
            if (Chance(10)) {
                end += static_cast<std::size_t>(Below(5));
            }
            const std::size_t size = std::max(end, placed[i].data) - placed[i].data;
            b.PutU32At(placed[i].header + 4,
                       static_cast<std::uint32_t>(isList[i] ? size + 4 : size));
        }
        what = "soup headers=" + std::to_string(count);
        return b.Take();
    }

    // One to four damages; `what` tells which.
    void Damage(Bytes& bytes, const std::vector<std::size_t>& headers, std::string& what) {
        const int count = 1 + Below(4);
        for (int i = 0; i < count && !bytes.empty(); ++i) {
            const std::size_t header = Pick(headers);
            std::ostringstream note;
            switch (Below(7)) {
            case 0: { // truncate
                const auto size = static_cast<std::size_t>(Below(static_cast<int>(bytes.size())));
                bytes.resize(size);
                note << " truncate@" << size;
                break;
            }
            case 1: { // burst overwrite
                const auto at = static_cast<std::size_t>(Below(static_cast<int>(bytes.size())));
                const std::size_t length = 1 + static_cast<std::size_t>(Below(64));
                const int kind = Below(4);
                for (std::size_t j = at; j < at + length && j < bytes.size(); ++j) {
                    bytes[j] = kind == 0 ? 0 : kind == 1 ? 0xFF : kind == 2 ? AlnumByte() : Byte();
                }
                note << " burst" << kind << "@" << at << "+" << length;
                break;
            }
            case 2:
            case 3: { // a size field
                static const std::vector<std::uint32_t> kSizes{
                    0, 1, 2, 3, 4, 5, 7, 0xFFFFFFFF, 0xFFFFFFFE, 0x80000000, 0x7FFFFFFF, 13, 255};
                std::uint32_t size =
                    Chance(60) ? Pick(kSizes) : static_cast<std::uint32_t>(Below(600));
                if (Chance(20)) {
                    size |= 1;
                }
                if (header + 8 <= bytes.size()) {
                    for (int k = 0; k < 4; ++k) {
                        bytes[header + 4 + k] = static_cast<std::uint8_t>(size >> (8 * k));
                    }
                }
                note << " size@" << header << "=" << size;
                break;
            }
            case 4: { // an identifier or list type
                static const std::vector<FourCC> kIds{
                    FCC("LIST"), FCC("RIFF"), FCC("JUNK"), FCC("idx1"), FCC("ix00"), FCC("ix01"),
                    FCC("00dc"), FCC("01wb"), FCC("02dc"), FCC("abcd"), FCC("movi"), 0};
                const FourCC id = Pick(kIds);
                const std::size_t at = header + (Chance(25) ? 8 : 0);
                if (at + 4 <= bytes.size()) {
                    for (int k = 0; k < 4; ++k) {
                        bytes[at + k] = static_cast<std::uint8_t>(id >> (8 * k));
                    }
                }
                note << " id@" << at << "=" << FourCCToString(id);
                break;
            }
            case 5: { // bytes inserted or removed, so that what follows is out of step
                const auto at = static_cast<std::size_t>(Below(static_cast<int>(bytes.size())));
                const int shift = 1 + Below(3);
                if (Chance(50)) {
                    bytes.insert(bytes.begin() + static_cast<std::ptrdiff_t>(at),
                                 static_cast<std::size_t>(shift), 0);
                    note << " insert@" << at << "+" << shift;
                } else {
                    const auto end = std::min(bytes.size(), at + static_cast<std::size_t>(shift));
                    bytes.erase(bytes.begin() + static_cast<std::ptrdiff_t>(at),
                                bytes.begin() + static_cast<std::ptrdiff_t>(end));
                    note << " erase@" << at << "+" << shift;
                }
                break;
            }
            default: { // a list that swallows or ends early: size relative to the true one
                if (header + 8 <= bytes.size()) {
                    std::uint32_t size = 0;
                    for (int k = 0; k < 4; ++k) {
                        size |= static_cast<std::uint32_t>(bytes[header + 4 + k]) << (8 * k);
                    }
                    size += static_cast<std::uint32_t>(Below(41) - 20);
                    for (int k = 0; k < 4; ++k) {
                        bytes[header + 4 + k] = static_cast<std::uint8_t>(size >> (8 * k));
                    }
                    note << " nudge@" << header << "=" << size;
                }
                break;
            }
            }
            what += note.str();
        }
    }

  private:
    std::mt19937 random_;
};

enum class Driver {
    // Plain chunks are left right after they are entered, lists when they are done; the count
    // of strh chunks raises StreamCount. Unlike the structure scan, the walk does not stop at
    // movi or at a second RIFF part: it goes on to the end of the file.
    StructureScan,
    // Only the flags: Ascend when ChunkDone, Descend otherwise, so that plain chunks are
    // entered as well. StreamCount stays at 2.
    FlagsOnly,
};

struct WalkResult {
    std::int64_t steps = 0;
    bool ended = false;
    std::uint32_t maxDepth = 0;
};

WalkResult Walk(const Bytes& bytes, Driver driver, std::int64_t bound, TestMemoryStream& stream) {
    TVMRIFFStream riff(&stream);
    stream.SetPosition(0);
    riff.Reset();
    riff.StreamCount = driver == Driver::FlagsOnly ? 2 : 0;
    WalkResult result;
    while (!riff.AtEnd) {
        if (result.steps > bound) {
            return result;
        }
        ++result.steps;
        if (riff.ChunkDone) {
            riff.Ascend();
            continue;
        }
        if (!riff.Descend()) {
            continue;
        }
        result.maxDepth = std::max(result.maxDepth, riff.Depth);
        if (driver == Driver::StructureScan && riff.ChunkId != FCC("RIFF") &&
            riff.ChunkId != FCC("LIST")) {
            if (riff.ChunkId == FCC("strh")) {
                ++riff.StreamCount;
            }
            ++result.steps;
            riff.Ascend();
        }
    }
    (void)bytes;
    result.ended = true;
    return result;
}

} // namespace

TEST(RiffWalkTermination, DamagedFilesEndWithinABoundedNumberOfSteps) {
    Damager damager(kSeed);
    const int cases = CaseCount();
    std::int64_t worstSteps = 0;
    double worstRatio = 0;
    for (int index = 0; index < cases; ++index) {
        std::vector<std::size_t> headers;
        std::string what;
        Bytes bytes = damager.Base(headers, what);
        damager.Damage(bytes, headers, what);
        const std::int64_t bound = StepBound(bytes.size());
        for (const Driver driver : {Driver::StructureScan, Driver::FlagsOnly}) {
            TestMemoryStream stream(bytes);
            const WalkResult result = Walk(bytes, driver, bound, stream);
            const char* name = driver == Driver::StructureScan ? "structure scan" : "flags only";
            ASSERT_TRUE(result.ended)
                << "case " << index << " (seed " << kSeed << "), " << name << ": no end after "
                << result.steps << " steps over " << bytes.size() << " bytes; " << what;
            EXPECT_EQ(stream.negativeSeeks, 0) << "case " << index << ", " << name << "; " << what;
            worstSteps = std::max(worstSteps, result.steps);
            worstRatio = std::max(worstRatio, static_cast<double>(result.steps) /
                                                  static_cast<double>(bytes.size() + 1));
        }
    }
    RecordProperty("worst_steps", static_cast<int>(worstSteps));
    std::cout << cases << " damaged files, most steps " << worstSteps << ", most steps per byte "
              << worstRatio << "\n";
}

namespace {

// Nested pairs of lists: A (12 bytes of data, so that it ends where B's data starts) holding
// B, which claims everything to the end of the file and holds the next pair. Leaving A goes
// back into B's data; walking on from there in normal mode would walk the inner pairs again,
// doubling the work at each level.
Bytes OvershootingPairs(int levels, std::vector<Placed>* pairs = nullptr) {
    RiffBuilder b;
    b.BeginList(FCC("RIFF"), FCC("AVI "));
    const std::size_t end = 12 + 24 * static_cast<std::size_t>(levels) + 8 + 16;
    for (int i = 0; i < levels; ++i) {
        const Placed a = b.ListHeader(FCC("LIST"), 4 + 12, FCC("rec "));
        b.ListHeader(FCC("LIST"), static_cast<std::uint32_t>(end - (a.header + 12 + 8)),
                     FCC("rec "));
        if (pairs != nullptr) {
            pairs->push_back(a);
        }
    }
    b.Chunk(FCC("JUNK"), Bytes(16, 0));
    b.Chunk(FCC("JUNK"), Bytes(16, 0)); // after all of them, inside the RIFF
    Bytes bytes = b.Take();
    EXPECT_EQ(bytes.size(), end + 24);
    return bytes;
}

} // namespace

TEST(RiffWalkTermination, ListsClaimingMoreThanTheirParentAreNotWalkedAgainAndAgain) {
    for (const int levels : {4, 12, 40}) {
        const Bytes bytes = OvershootingPairs(levels);
        for (const Driver driver : {Driver::StructureScan, Driver::FlagsOnly}) {
            TestMemoryStream stream(bytes);
            const WalkResult result = Walk(bytes, driver, StepBound(bytes.size()), stream);
            EXPECT_TRUE(result.ended) << levels << " levels: no end after " << result.steps
                                      << " steps over " << bytes.size() << " bytes";
            // Every list is still entered as it is met.
            EXPECT_GE(result.maxDepth, static_cast<std::uint32_t>(2 * levels + 1));
            EXPECT_EQ(stream.negativeSeeks, 0);
            std::cout << levels << " levels, "
                      << (driver == Driver::StructureScan ? "structure scan" : "flags only") << ": "
                      << result.steps << " steps over " << bytes.size() << " bytes\n";
        }
    }
}

namespace {

// Every step of a walk that enters every chunk: what it found and where the stream stands.
std::vector<std::int64_t> Trace(const Bytes& bytes, bool windowScan, std::int64_t bufferSize) {
    TestMemoryStream stream(bytes);
    TVMRIFFStream riff(&stream);
    riff.WindowScan = windowScan;
    riff.ScanBufferSize = bufferSize;
    riff.StreamCount = 2;
    std::vector<std::int64_t> trace;
    while (!riff.AtEnd && trace.size() < 100000) {
        if (riff.ChunkDone) {
            riff.Ascend();
        } else {
            riff.Descend();
        }
        trace.insert(trace.end(),
                     {riff.ChunkId, riff.ChunkSize, riff.ListType, riff.Context, riff.Resync,
                      riff.ResyncPos, riff.DataPos, riff.Depth, stream.GetPosition()});
    }
    return trace;
}

} // namespace

TEST(RiffFastScan, DamageLongerThanTheBufferAndHeadersAcrossItsEdges) {
    constexpr std::int64_t kBuffer = 256;
    constexpr std::size_t kDamage = 12 + 20 * kBuffer;
    // Nothing to find, and letters that make the scan slide by two without finding a header.
    for (const Bytes& filler : {Bytes{0}, Bytes{0xFF, 0xFE}, Bytes{'a', 'b', 0, 0x80}}) {
        // A header at every offset of a stretch longer than the buffer, so that it straddles
        // each buffer edge there at every offset from 0 to 7; the end of the file 0, 5 or 40
        // bytes after it.
        for (std::size_t at = kDamage; at < kDamage + kBuffer + 8; ++at) {
            for (const std::size_t tail : {0, 5, 40}) {
                RiffBuilder b;
                b.ListHeader(FCC("RIFF"), 0xFFFF, FCC("AVI "));
                while (b.Size() < at) {
                    b.Raw(filler);
                }
                b.PutAt(at, Bytes(8 + tail, 0));
                b.PutCodeAt(at, FCC("00dc")).PutU32At(at + 4, 4);
                const Bytes bytes = b.Take();
                const auto reference = Trace(bytes, true, kBuffer);
                ASSERT_EQ(Trace(bytes, false, kBuffer), reference) << at << " " << tail;
                // Only a header an even number of bytes from the start of the scan is found.
                const bool found =
                    std::find(reference.begin(), reference.end(), FCC("00dc")) != reference.end();
                EXPECT_EQ(found, at % 2 == 0) << at << " " << tail;
            }
        }
    }
}
