#include "engine/RetagRule.h"
#include "engine/Jobs.h"

#include "support/AviBuilder.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <string>

using namespace vidtag;

namespace {

struct Labelled {
    CodecKind Kind;
    FourCC Handler;
    FourCC Compression;
};

// A file as an analysis leaves it: its kind and codes, a format chunk or none, the stream's own
// syntax, and the container's refusal to write.
// What the stream's own headers prove: nothing (not read), MPEG-4 Part 2 (a sound VOL and its
// frames), or MPEG-4 Part 2 whose VOL is damaged, which proves nothing either.
enum class Proof { Unread, Mpeg4, DamagedVol };

Analysis FileOf(Labelled label, bool formatChunk, Proof proof, const char* refusal = "") {
    Analysis file;
    file.Status = kStatusDone;
    file.State.CurrentKind = file.State.OriginalKind = label.Kind;
    file.State.CurrentHandler = label.Handler;
    file.State.CurrentCompression = formatChunk ? label.Compression : 0;
    file.State.HandlerPos = 112;
    file.State.CompressionPos = formatChunk ? 188 : 0;
    if (proof != Proof::Unread) {
        file.Stream.StreamSyntax = video::Syntax::Mpeg4;
        file.Stream.VolFound = true;
        file.Stream.VolDamaged = proof == Proof::DamagedVol;
        file.Stream.FramesRead = 1;
    }
    file.Container.WriteRefusal = refusal;
    return file;
}

constexpr Labelled kXvid{10, FCC("xvid"), FCC("XVID")};
constexpr Labelled kDivx4{11, FCC("divx"), FCC("DIVX")};
constexpr Labelled kDiv3{6, FCC("div3"), FCC("DIV3")};
constexpr Labelled kUnknown{kUnknownKind, FCC("abcd"), FCC("ABCD")};

TEST(RetagRule, MayThisFileBecomeThatKind) {
    struct Case {
        const char* Name;
        Labelled Label;
        bool FormatChunk;
        Proof Stream;
        const char* ContainerRefusal;
        CodecKind Target;
        bool DeviceTarget;
        Refusal Expected;
    };
    const Case cases[] = {
        {"a target of the family", kXvid, true, Proof::Mpeg4, "", 11, false, Refusal::None},
        {"the kind it has: nothing to write", kXvid, true, Proof::Mpeg4, "", 10, false,
         Refusal::None},
        {"another family", kXvid, true, Proof::Mpeg4, "", 1, false, Refusal::NotOffered},
        {"a lying label repaired to the stream's family", kDiv3, true, Proof::Mpeg4, "", 10, false,
         Refusal::None},
        {"no repair on a damaged VOL", kDiv3, true, Proof::DamagedVol, "", 10, false,
         Refusal::NotOffered},
        {"no repair without the stream's proof", kDiv3, true, Proof::Unread, "", 10, false,
         Refusal::NotOffered},
        {"a device's label needs a device check", kXvid, true, Proof::Mpeg4, "", kMp4vKind, false,
         Refusal::NotOffered},
        {"a device's label a device check chose", kXvid, true, Proof::Mpeg4, "", kMp4vKind, true,
         Refusal::None},
        {"a device's label of another family", kDiv3, true, Proof::Unread, "", kMp4vKind, true,
         Refusal::NotOffered},
        {"a repair to a device's label", kDiv3, true, Proof::Mpeg4, "", kMp4vKind, true,
         Refusal::None},
        {"divx alone cannot tell DivX 4 from 5", kXvid, false, Proof::Mpeg4, "", 11, false,
         Refusal::NoFormatChunk},
        {"without a format chunk, a handler that tells the kind", kDivx4, false, Proof::Mpeg4, "",
         10, false, Refusal::None},
        {"codes no kind has", kUnknown, true, Proof::Mpeg4, "", 10, false, Refusal::UnknownCodes},
        {"a container that refuses", kXvid, true, Proof::Mpeg4, "laced", 11, false,
         Refusal::ContainerRefused},
    };
    for (const Case& c : cases) {
        JobOptions options;
        options.DeviceTarget = c.DeviceTarget;
        const Analysis file = FileOf(c.Label, c.FormatChunk, c.Stream, c.ContainerRefusal);
        EXPECT_EQ(MayBecome(file, c.Target, options), c.Expected)
            << c.Name << ": " << RefusalName(MayBecome(file, c.Target, options));
    }
}

// The job applies the rule before it touches the file, and says why as a value.
TEST(RetagRule, TheJobRefusesBeforeItWrites) {
    struct Case {
        const char* Sample;
        CodecKind Target;
        bool DryRun;
        ConversionStatus Status;
        Refusal Expected;
        bool Written;
    };
    const Case cases[] = {
        {"kind10-xvid.avi", 1, false, kStatusDone, Refusal::NotOffered, false},
        {"no-strf-xvid.avi", 12, false, kStatusDone, Refusal::NoFormatChunk, false},
        {"not-riff-text.avi", 11, false, kStatusNotAvi, Refusal::None, false},
        {"kind11-divx.avi", 12, true, kStatusDone, Refusal::None, false},
        {"kind11-divx.avi", 12, false, kStatusDone, Refusal::None, true},
    };
    test::TempDir dir;
    for (const Case& c : cases) {
        const std::string path = dir.Path(c.Sample);
        const test::Bytes original = test::ReadFileBytes(test::SamplePath(c.Sample));
        test::WriteFileBytes(path, original);
        JobOptions options;
        options.Journal = JournalUse::Off;
        options.DryRun = c.DryRun;
        const JobResult result = Retag(path, c.Target, options);
        EXPECT_EQ(result.Status, c.Status) << c.Sample;
        EXPECT_EQ(result.Reason, c.Expected) << c.Sample << ": " << RefusalName(result.Reason);
        EXPECT_EQ(result.Converted, c.Written) << c.Sample;
        EXPECT_EQ(test::ReadFileBytes(path) != original, c.Written) << c.Sample;
        if (c.Written) {
            EXPECT_EQ(result.File.State.CurrentKind, c.Target) << c.Sample;
        }
    }
}

} // namespace
