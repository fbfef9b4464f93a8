#include "check/ContainerCheck.h"
#include "codecs/CodecCatalog.h"
#include "engine/Engine.h"
#include "engine/MatroskaReport.h"

#include "support/ShellCommand.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cstdlib>

using namespace vidtag;
using vidtag::test::Bytes;
using vidtag::test::RunCommand;
using vidtag::test::ShellQuote;

// Files made by mkvmerge from the AVI samples, and by ffmpeg: every retag changes 4 bytes only,
// mkvinfo and ffprobe read the code Vidtag found and wrote, mkvmerge still parses the file, and
// the journal puts the original back byte for byte.

namespace {

struct Fixture {
    const char* Sample;
    CodecKind Before;         // the kind of the track mkvmerge made
    const char* Options = ""; // of mkvmerge
    const char* Frames = "";  // why the frames were not read; "" when they were, as in the AVI
};

// DivX V3 Fast writes DIV3, as DivX V3 Low does: a Matroska track has no handler to tell them
// apart, and is read as DivX V3 Low.
constexpr Fixture kFixtures[] = {
    {"kind01-mpg4.avi", 1},
    {"kind02-mp42.avi", 2},
    {"kind03-mp43.avi", 3},
    {"kind04-div1.avi", 4},
    {"kind05-div2.avi", 5},
    {"kind06-div3.avi", 6},
    {"kind07-div4.avi", 6},
    {"kind08-ap41.avi", 8},
    {"kind09-ap42.avi", 9},
    {"kind10-xvid.avi", 10},
    {"kind11-divx.avi", 11},
    {"kind12-divx.avi", 12},
    {"kind13-3iv2.avi", 13},
    {"case-divx-DX50.avi", 12},
    {"two-video-div3-mp43.avi", 6},
    // Frames stored compressed leave CodecPrivate as it is: header removal is undone, zlib is not
    // (mkvmerge 74's "mpeg4_p2" frames are ones that FFmpeg cannot decode either).
    {"kind10-xvid.avi", 10, "--compression 0:mpeg4_p2"},
    {"kind12-divx.avi", 12, "--compression 0:zlib", "stored compressed (zlib)"},
};

bool Have(const char* tool) {
    return std::system((std::string("command -v ") + tool + " >/dev/null 2>&1").c_str()) == 0;
}

bool HaveOracles() {
    static const bool have = Have("mkvmerge") && Have("mkvinfo") && Have("ffprobe") && Have("jq");
    return have;
}

std::string FfprobeTag(const std::string& path) {
    std::string out = RunCommand("ffprobe -v error -select_streams v:0 -show_entries "
                                 "stream=codec_tag_string -of default=nw=1:nk=1 " +
                                 ShellQuote(path))
                          .Out;
    return out.substr(0, out.find('\n'));
}

// mkvinfo's line for the private data of the first track whose CodecPrivate names a FourCC.
bool MkvinfoShows(const std::string& path, const std::string& code) {
    const std::string out = RunCommand("mkvinfo " + ShellQuote(path)).Out;
    return out.find("FourCC: 0x") != std::string::npos &&
           out.find("\"" + code + "\"") != std::string::npos;
}

bool MkvmergeParses(const std::string& path) {
    const test::CommandResult json =
        RunCommand("mkvmerge -J " + ShellQuote(path) + " | jq -e .container.recognized");
    return json.Exit == 0 && json.Out.find("true") != std::string::npos;
}

// The positions where two files of one size differ.
std::vector<std::size_t> Differences(const Bytes& a, const Bytes& b) {
    std::vector<std::size_t> at;
    for (std::size_t i = 0; i < a.size() && i < b.size(); ++i) {
        if (a[i] != b[i]) {
            at.push_back(i);
        }
    }
    return at;
}

class MkvmergeFixtures : public ::testing::TestWithParam<Fixture> {
  protected:
    void SetUp() override {
        if (!HaveOracles()) {
            GTEST_SKIP() << "mkvtoolnix, ffprobe or jq is not installed";
        }
    }
    test::TempDir dir_;
};

TEST_P(MkvmergeFixtures, RetagChangesFourBytesThatEveryReaderSees) {
    const Fixture& f = GetParam();
    const std::string path = dir_.Path("f.mkv");
    ASSERT_LT(RunCommand("mkvmerge -q -o " + ShellQuote(path) + " " + f.Options + " " +
                         ShellQuote(test::SamplePath(f.Sample)))
                  .Exit,
              2);
    const Bytes original = test::ReadFileBytes(path);
    SetStreamReading(true);
    ASSERT_EQ(ProcessFile(path, kNoKind), kStatusDone);
    SetStreamReading(false);
    ASSERT_TRUE(EngineState.Matroska);
    EXPECT_EQ(EngineState.CurrentKind, f.Before);
    EXPECT_EQ(StreamReport.FramesNote.empty(), *f.Frames == '\0') << StreamReport.FramesNote;
    EXPECT_NE(StreamReport.FramesNote.find(f.Frames), std::string::npos);
    const std::string before = FourCCToString(EngineState.CurrentCompression);
    EXPECT_EQ(FfprobeTag(path), before);
    EXPECT_TRUE(MkvinfoShows(path, before));

    const CodecKind target = OfferedTargets(f.Before).View().front();
    ASSERT_EQ(ProcessFile(path, target), kStatusDone);
    const std::int64_t pos = EngineState.CompressionPos;
    const std::string after = FourCCToString(EngineState.CurrentCompression);
    const std::vector<std::size_t> changed = Differences(original, test::ReadFileBytes(path));
    EXPECT_EQ(test::ReadFileBytes(path).size(), original.size());
    for (const std::size_t at : changed) {
        EXPECT_TRUE(static_cast<std::int64_t>(at) >= pos && static_cast<std::int64_t>(at) < pos + 4)
            << at;
    }
    EXPECT_EQ(ProcessFile(path, kNoKind), kStatusDone);
    EXPECT_EQ(EngineState.CurrentKind, target);
    EXPECT_EQ(FfprobeTag(path), after);
    EXPECT_TRUE(MkvinfoShows(path, after));
    EXPECT_TRUE(MkvmergeParses(path));

    ASSERT_EQ(RestoreFile(path), kStatusDone);
    EXPECT_EQ(test::ReadFileBytes(path), original);
}

INSTANTIATE_TEST_SUITE_P(Samples, MkvmergeFixtures, ::testing::ValuesIn(kFixtures),
                         [](const auto& info) {
                             std::string name = info.param.Sample;
                             std::string out = *info.param.Options == '\0' ? "" : "compressed_";
                             for (const char c : name.substr(0, name.size() - 4)) {
                                 out += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
                             }
                             return out;
                         });

// ffmpeg writes the codec into the CodecID: nothing to change, and nothing is written.
TEST(MkvmergeFixturesIso, AnIsoTrackIsAnalysedAndNeverWritten) {
    if (!Have("ffmpeg")) {
        GTEST_SKIP() << "ffmpeg is not installed";
    }
    test::TempDir dir;
    const std::string path = dir.Path("iso.mkv");
    ASSERT_EQ(RunCommand("ffmpeg -v error -y -i " +
                         ShellQuote(test::SamplePath("kind10-xvid.avi")) + " -an -c:v copy " +
                         ShellQuote(path))
                  .Exit,
              0);
    const Bytes original = test::ReadFileBytes(path);
    ASSERT_EQ(ProcessFile(path, kNoKind), kStatusDone);
    EXPECT_EQ(MatroskaReport.CodecId, "V_MPEG4/ISO/ASP");
    EXPECT_EQ(EngineState.CompressionPos, 0);
    EXPECT_NE(MatroskaReport.WriteRefusal.find("no code to change"), std::string::npos);
    EXPECT_EQ(ProcessFile(path, 12), kStatusCannotWrite);
    EXPECT_EQ(JournalReport.Refused, Refusal::ContainerRefused);
    EXPECT_EQ(test::ReadFileBytes(path), original);
}

// The container problem's command, run: ffmpeg makes an AVI file of the judged track (the second,
// marked default, of two) with the code asked for, which Vidtag reads as the kind, and the
// verdict is "remux" whatever a retag would have done.
TEST(MkvmergeFixturesRemux, TheCommandMakesAnAviFileOfTheJudgedTrackWithTheCode) {
    if (!HaveOracles() || !Have("ffmpeg")) {
        GTEST_SKIP() << "mkvtoolnix or ffmpeg is not installed";
    }
    test::TempDir dir;
    const std::string big = dir.Path("big.avi");
    const std::string mkv = dir.Path("in.mkv");
    const std::string avi = dir.Path("in.avi");
    ASSERT_EQ(RunCommand("ffmpeg -v error -f lavfi -i testsrc=size=320x240:rate=10:duration=1 "
                         "-c:v mpeg4 -vtag XVID " +
                         ShellQuote(big))
                  .Exit,
              0);
    ASSERT_LT(RunCommand("mkvmerge -q -o " + ShellQuote(mkv) + " --default-track-flag 0:0 " +
                         ShellQuote(big) + " --default-track-flag 0:1 " +
                         ShellQuote(test::SamplePath("kind12-divx.avi")))
                  .Exit,
              2);
    ASSERT_EQ(ProcessFile(mkv, kNoKind), kStatusDone);
    EXPECT_EQ(MatroskaReport.Track, 2u);
    check::CheckResult plays;
    check::AddContainerProblem(plays, EngineState.CurrentCompression, mkv, 0,
                               MatroskaReport.VideoIndex);
    ASSERT_EQ(plays.Notes.size(), 1u);
    const std::string command = plays.Notes[0].substr(plays.Notes[0].find("ffmpeg"));
    ASSERT_EQ(RunCommand(command + " -v error -y").Exit, 0) << command;
    EXPECT_EQ(FfprobeTag(avi), "DX50");
    EXPECT_EQ(RunCommand("ffprobe -v error -show_entries stream=width,height -of csv=p=0 " +
                         ShellQuote(avi))
                  .Out,
              "160,120\n");
    ASSERT_EQ(ProcessFile(avi, kNoKind), kStatusDone);
    EXPECT_FALSE(EngineState.Matroska);
    EXPECT_EQ(EngineState.CurrentKind, 12);

    for (const auto& [before, after] :
         {std::pair{check::Verdict::Plays, check::Verdict::Remux},
          std::pair{check::Verdict::Retag, check::Verdict::Remux},
          std::pair{check::Verdict::Reencode, check::Verdict::Reencode}}) {
        check::CheckResult result;
        result.Outcome = before;
        result.RetagTo = before == check::Verdict::Retag ? 11 : kNoKind;
        check::AddContainerProblem(result, FCC("DX50"), "a b.mkv");
        EXPECT_EQ(result.Outcome, after);
        ASSERT_EQ(result.Problems.size(), 1u);
        EXPECT_STREQ(result.Problems[0].Id, "container");
        ASSERT_EQ(result.Notes.size(), 1u);
        EXPECT_NE(result.Notes[0].find(before == check::Verdict::Retag ? "-vtag DIVX 'a b.avi'"
                                                                       : "-vtag DX50 'a b.avi'"),
                  std::string::npos)
            << result.Notes[0];
    }
}

} // namespace
