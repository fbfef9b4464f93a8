#include "check/Verdict.h"

#include "check/CheckTexts.h"
#include "check/Repair.h"

#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <string_view>

using namespace vidtag;
using namespace vidtag::check;
using video::StreamFacts;
using video::Syntax;

namespace {

// A DivX 5 stream that every profile takes: 176x144 at 15 fps, no tools, half a megabit.
StreamFacts SmallStream() {
    StreamFacts f;
    f.StreamSyntax = Syntax::Mpeg4;
    f.FramesRead = 32;
    f.Width = 176;
    f.Height = 144;
    f.Fps = 15;
    f.ObjectType = 1;
    f.Interlaced = false;
    f.Qpel = false;
    f.SpriteKind = video::Sprite::None;
    f.MpegQuant = false;
    f.VopsRead = true;
    f.VolFound = true;
    f.EncoderName = video::Encoder::DivX;
    return f;
}

Rates SmallRates() {
    return {500000, 700000, BitrateSource::Index, 100, 0};
}

// "verdict:id,id" for a result, e.g. "retag:label".
std::string Outline(const CheckResult& r) {
    std::string out = std::string(VerdictName(r.Outcome)) + ":";
    for (const Problem& problem : r.Problems) {
        out += problem.Id;
        out += ',';
    }
    if (out.back() == ',') {
        out.pop_back();
    }
    return out;
}

void Size(StreamFacts& f, std::uint32_t w, std::uint32_t h, double fps) {
    f.Width = w;
    f.Height = h;
    f.Fps = fps;
}

struct Row {
    CodecKind Kind;
    std::function<void(StreamFacts&, Rates&)> Tweak;
    // For handheld | portable | home theater | hd720, or one for all four.
    std::string Expected;

    std::string For(std::size_t profile) const {
        std::vector<std::string> parts{""};
        for (const char c : Expected) {
            if (c == '|') {
                parts.emplace_back();
            } else {
                parts.back().push_back(c);
            }
        }
        return parts[parts.size() == 1 ? 0 : profile];
    }
};

} // namespace

// Each row against the four profiles: the problems the table names, in the order they are
// checked, and the verdict they make.
TEST(VerdictTest, ProblemTableAgainstEveryProfile) {
    const auto none = [](StreamFacts&, Rates&) {};
    const std::string big = "reencode:size,fps,macroblocks|reencode:size,macroblocks|";
    const Row rows[] = {
        {12, none, "plays:"},
        {10, none, "retag:label"},
        {13, [](auto& f, auto&) { Size(f, 640, 480, 25); },
         "reencode:label,size,fps,macroblocks|reencode:label,size|retag:label|retag:label"},
        {12, [](auto& f, auto&) { Size(f, 720, 576, 25); }, big + "plays:|plays:"},
        {11, [](auto& f, auto&) { Size(f, 720, 480, 30000.0 / 1001); }, big + "plays:|plays:"},
        {12, [](auto& f, auto&) { Size(f, 352, 288, 30); },
         "reencode:size,fps,macroblocks|reencode:fps|plays:|plays:"},
        {12, [](auto& f, auto&) { Size(f, 720, 576, 32.142); },
         "reencode:size,fps,macroblocks|reencode:size,fps,macroblocks|reencode:fps,macroblocks|"
         "reencode:fps"},
        {12, [](auto& f, auto&) { Size(f, 1280, 720, 30); },
         big + "reencode:size,macroblocks|plays:"},
        {12, [](auto& f, auto&) { Size(f, 1920, 1080, 25); },
         big + "reencode:size,macroblocks|reencode:size,macroblocks"},
        {12, [](auto& f, auto&) { f.Width.reset(), f.Fps = 60; }, "reencode:fps"},
        {12, [](auto&, auto& r) { r.Average = 5000000, r.Peak = 9000000; },
         "reencode:avg_bitrate,peak_bitrate|reencode:avg_bitrate,peak_bitrate|"
         "reencode:avg_bitrate,peak_bitrate|plays:"},
        {12, [](auto& f, auto&) { f.VbvBufferSize = 4194304; },
         "reencode:vbv|reencode:vbv|reencode:vbv|plays:"},
        {12, [](auto& f, auto&) { f.MaxBRun = 1; }, "reencode:b_frames|plays:|plays:|plays:"},
        {12, [](auto& f, auto&) { f.MaxBRun = 2, f.Packed = true; },
         "reencode:b_frames,packed|reencode:b_frames|reencode:b_frames|plays:"},
        {12, [](auto& f, auto&) { f.Interlaced = true; },
         "reencode:interlaced|reencode:interlaced|plays:|plays:"},
        {10, [](auto& f, auto&) { f.Qpel = true; }, "reencode:label,qpel"},
        {12, [](auto& f, auto&) { f.SpriteKind = video::Sprite::Static, f.MpegQuant = true; },
         "reencode:gmc,mpeg_quant"},
        {12, [](auto& f, auto&) { f.StreamSyntax = Syntax::MsMpeg4; }, "mislabelled:family"},
        // DIV3 over MPEG-4 with QPel at 720p25: the tools are not read.
        {6, [](auto& f, auto&) { f.Qpel = true, Size(f, 1280, 720, 25); },
         "mislabelled:family,size,fps,macroblocks|mislabelled:family,size,macroblocks|"
         "mislabelled:family,size,macroblocks|mislabelled:family"},
        {3,
         [](auto& f, auto&) {
             f = {}, f.StreamSyntax = Syntax::MsMpeg4, f.FramesRead = 3, f.Fps = 15;
         },
         "retag:label"},
        // V1's frames under a V3 or V2 label, and other codecs' data under any label.
        {6, [](auto& f, auto&) { f.StreamSyntax = Syntax::MsMpeg4V1; }, "mislabelled:family"},
        {2, [](auto& f, auto&) { f.StreamSyntax = Syntax::MsMpeg4V1; }, "mislabelled:family"},
        {10, [](auto& f, auto&) { f.StreamSyntax = Syntax::H264; }, "mislabelled:family"},
        {12, [](auto& f, auto&) { f.StreamSyntax = Syntax::Mpeg12; }, "mislabelled:family"},
        {6, [](auto& f, auto&) { f.StreamSyntax = Syntax::Jpeg; }, "mislabelled:family"},
        {12, [](auto& f, auto&) { f.StreamSyntax = Syntax::Unknown; }, "unknown:"},
        // No VOL, no frame rate: nothing to judge the profile's limits by.
        {12, [](auto& f, auto&) { f.VolFound = false; }, "unknown:"},
        {10, [](auto& f, auto&) { f.Fps.reset(); }, "unknown:label"},
        {7, [](auto& f, auto&) { f.StreamSyntax = Syntax::MsMpeg4; }, "plays:"},
        {2, [](auto& f, auto&) { f.StreamSyntax = Syntax::MsMpeg4; },
         "reencode:family_unsupported"},
        {10, [](auto& f, auto&) { f = {}; }, "unknown:label"},
        {12, [](auto& f, auto&) { f.VolDamaged = true; }, "unknown:"},
        {kUnknownKind, none, "unknown:"},
        // A label that lies is repaired to the profile's kind of the family the headers prove,
        // when that makes the file play; never on a damaged VOL, frames not read, or a
        // Microsoft version the first intra frame does not tell alone.
        {6, none, "retag:family"},
        {6, [](auto& f, auto&) { Size(f, 352, 288, 25); },
         "mislabelled:family,size,fps,macroblocks|retag:family|retag:family|retag:family"},
        {6, [](auto& f, auto&) { f.VolDamaged = true; }, "mislabelled:family"},
        {6, [](auto& f, auto&) { f.FramesRead = 0; }, "mislabelled:family"},
        {12, [](auto& f, auto&) { f.StreamSyntax = Syntax::MsMpeg4, f.MsVersions = video::kMsV3; },
         "retag:family"},
        {11,
         [](auto& f, auto&) {
             f.StreamSyntax = Syntax::MsMpeg4, f.MsVersions = video::kMsV2 | video::kMsV3;
         },
         "mislabelled:family"},
        {10, [](auto& f, auto&) { f.StreamSyntax = Syntax::MsMpeg4, f.MsVersions = video::kMsV2; },
         "mislabelled:family"},
        {6, [](auto& f, auto&) { f.StreamSyntax = Syntax::MsMpeg4V1, f.MsVersions = video::kMsV1; },
         "mislabelled:family"},
    };
    const char* names[] = {"divx-handheld", "divx-portable", "divx-home-theater", "divx-hd720"};
    ASSERT_GE(Profiles().size(), 4u);
    EXPECT_EQ(FindProfile("divx-HD720"), nullptr);
    for (const Row& row : rows) {
        for (std::size_t p = 0; p < 4; ++p) {
            SCOPED_TRACE("kind " + std::to_string(row.Kind) + ", " + row.Expected + " on " +
                         names[p]);
            const Profile* profile = FindProfile(names[p]);
            ASSERT_NE(profile, nullptr);
            StreamFacts facts = SmallStream();
            Rates rates = SmallRates();
            row.Tweak(facts, rates);
            const CheckResult r = CheckStream(row.Kind, facts, rates, *profile, "a.avi");
            EXPECT_EQ(Outline(r), row.For(p));
            const bool retag = r.Outcome == Verdict::Retag;
            const int family = RepairFamily(row.Kind, facts) != 0 ? RepairFamily(row.Kind, facts)
                                                                  : FamilyOf(row.Kind);
            EXPECT_EQ(r.RetagTo, retag ? (family == 4 ? 12 : 6) : kNoKind);
            EXPECT_EQ(r.Notes.size(), facts.Packed ? 1u : 0u);
        }
    }
}

TEST(VerdictTest, SummaryAndNotesSpeakToTheUser) {
    const Profile& theater = *FindProfile("divx-home-theater");
    StreamFacts facts = SmallStream();
    EXPECT_EQ(Summary(CheckStream(12, facts, SmallRates(), theater, "")), "plays as it is");
    EXPECT_EQ(Summary(CheckStream(13, facts, SmallRates(), theater, "")),
              "plays after a retag to DivX 5");
    facts.Qpel = true;
    facts.Packed = true;
    const CheckResult r = CheckStream(10, facts, SmallRates(), theater, "my trip.avi");
    EXPECT_EQ(Summary(r), "will not play: XviD is not a DivX code (retag to DivX 5); QPel "
                          "(needs re-encoding)");
    ASSERT_EQ(r.Notes.size(), 1u);
    const char* q = test::kOnWindows ? "\"" : "'";
    const std::string command = std::string("ffmpeg -i ") + q + "my trip.avi" + q +
                                " -codec copy -bsf:v mpeg4_unpack_bframes " + q +
                                "my trip-unpacked.avi" + q;
    EXPECT_NE(r.Notes[0].find(command), std::string::npos) << r.Notes[0];

    const CheckResult ru = CheckStream(10, facts, SmallRates(), theater, "my trip.avi", 1);
    EXPECT_EQ(Summary(ru, 1), "не воспроизведётся: XviD — не код DivX (смените метку на DivX 5); "
                              "QPel (нужно перекодировать)");
    EXPECT_EQ(ru.Problems[0].Id, std::string("label"));
    ASSERT_EQ(ru.Notes.size(), 1u);
    EXPECT_NE(ru.Notes[0].find(command), std::string::npos) << ru.Notes[0];
}

// Each Russian text takes the values its English one takes, so none is lost or left as "%2".
TEST(VerdictTest, RussianTextsTakeTheSameValues) {
    const auto placeholders = [](std::string_view text) {
        std::string found;
        for (std::size_t at = text.find('%'); at != std::string_view::npos && at + 1 < text.size();
             at = text.find('%', at + 1)) {
            found += text[at + 1];
        }
        std::sort(found.begin(), found.end());
        return found;
    };
    for (std::size_t i = 0; i < static_cast<std::size_t>(CheckText::Count); ++i) {
        const auto text = static_cast<CheckText>(i);
        SCOPED_TRACE(CheckTextOf(0, text));
        EXPECT_STRNE(CheckTextOf(1, text), "");
        EXPECT_EQ(placeholders(CheckTextOf(1, text)), placeholders(CheckTextOf(0, text)));
    }
    EXPECT_STREQ(CheckTextOf(0, CheckText::Count), "");
}

// FFmpeg picks workarounds by the code only when no encoder string names the encoder.
TEST(VerdictTest, DecodeByCodeWarning) {
    struct Case {
        CodecKind From, To;
        video::Encoder Encoder;
        std::uint8_t ObjectType;
        std::optional<bool> VolControl;
        bool Warns;
    } cases[] = {
        {10, 12, video::Encoder::None, 1, true, true},
        {10, 12, video::Encoder::XviD, 1, true, false},
        {12, 13, video::Encoder::None, 0, false, false},
        {11, 12, video::Encoder::None, 0, false, true},
        {11, 12, video::Encoder::None, 0, true, false},
        {11, 12, video::Encoder::None, 0, std::nullopt, false},
        {15, 10, video::Encoder::None, 1, true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.From) + " to " + std::to_string(c.To));
        StreamFacts facts = SmallStream();
        facts.EncoderName = c.Encoder;
        facts.ObjectType = c.ObjectType;
        facts.VolControlParameters = c.VolControl;
        EXPECT_EQ(NeedsDecodeByCodeWarning(c.From, c.To, facts), c.Warns);
    }
    StreamFacts anonymous = SmallStream();
    anonymous.EncoderName = video::Encoder::None;
    EXPECT_TRUE(NeedsDecodeByCodeWarning(FCC("xvid"), FCC("DX50"), anonymous));
    const CheckResult r = CheckStream(10, anonymous, SmallRates(), Profiles()[3], "");
    EXPECT_EQ(r.Notes, std::vector<std::string>{DecodeByCodeWarningText()});
}
