#include "codecs/CodecCatalog.h"
#include "engine/Engine.h"

#ifndef _WIN32
#include "support/ShellCommand.h"
#endif
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <sstream>

using namespace vidtag;
using vidtag::test::Bytes;

namespace {

struct Conversion {
    std::string Sample;
    std::string Path; // a copy of the sample, converted
    Bytes Original;
    CodecKind Kind;
    CodecKind Target;
};

// Converts a fresh copy of every sample to every target its kind is offered, leaving the engine
// state of that conversion for the check. Returns the number of conversions.
int ForEveryTarget(const test::TempDir& dir, const std::function<void(const Conversion&)>& check) {
    int conversions = 0;
    for (const auto& entry : std::filesystem::directory_iterator(test::SamplePath(""))) {
        const std::string sample = entry.path().filename().string();
        if (entry.path().extension() != ".avi" ||
            ProcessFile(entry.path().string(), 0) != kStatusDone ||
            !IsKnownKind(EngineState.CurrentKind)) {
            continue;
        }
        const CodecKind kind = EngineState.CurrentKind;
        const Bytes original = test::ReadFileBytes(entry.path().string());
        for (const CodecKind target : OfferedTargets(kind).View()) {
            SCOPED_TRACE(sample + " to kind " + std::to_string(target));
            const std::string path = dir.Path(std::to_string(target) + "-" + sample);
            test::WriteFileBytes(path, original);
            if (ProcessFile(path, 0) != kStatusDone || ProcessFile(path, target) != kStatusDone) {
                ADD_FAILURE() << "status " << int(EngineState.Status);
                continue;
            }
            check({sample, path, original, kind, target});
            ++conversions;
        }
    }
    return conversions;
}

TEST(EndToEndTest, EveryTargetChangesOnlyTheCodesAndConvertsBack) {
    test::TempDir dir;
    const int conversions = ForEveryTarget(dir, [](const Conversion& c) {
        const CodePair codes = CodePairOf(c.Target);
        Bytes expected = c.Original;
        std::memcpy(expected.data() + EngineState.HandlerPos, &codes.Handler, 4);
        if (EngineState.CompressionPos > 0) {
            std::memcpy(expected.data() + EngineState.CompressionPos, &codes.Compression, 4);
        }
        EXPECT_TRUE(test::ReadFileBytes(c.Path) == expected) << "more than the codes changed";
        EXPECT_EQ(ProcessFile(c.Path, c.Kind), kStatusDone);
        EXPECT_TRUE(test::ReadFileBytes(c.Path) == c.Original) << "not restored byte for byte";
    });
    EXPECT_GE(conversions, 40) << "samples missing";
}

#ifndef _WIN32
std::string Run(const std::string& command) {
    return test::RunCommand(command + " 2>/dev/null").Out;
}

// What ffprobe says of the last video stream, the one the engine patches.
struct Probe {
    std::string Decoder;
    std::string Tag;
    int Index = -1; // among the video streams
};

Probe ProbeFile(const std::string& path) {
    std::istringstream lines(Run("ffprobe -v error -show_entries "
                                 "stream=codec_name,codec_type,codec_tag_string -of csv=p=0 '" +
                                 path + "'"));
    Probe probe;
    for (std::string line; std::getline(lines, line);) {
        std::istringstream fields(line);
        std::string decoder, type, tag;
        std::getline(fields, decoder, ',');
        std::getline(fields, type, ',');
        std::getline(fields, tag, ',');
        if (type == "video") {
            probe = {decoder, tag, probe.Index + 1};
        }
    }
    return probe;
}

// FFmpeg's MPEG-4 decoder picks its IDCT and its encoder bug workarounds from the code ("XVID"
// selects the XviD IDCT); pinned, so that the bit stream alone decides the frames.
std::string FrameHashes(const std::string& path, int videoIndex) {
    return Run("ffmpeg -v error -bug 0 -idct simple -i '" + path +
               "' -map 0:v:" + std::to_string(videoIndex) + " -f framemd5 -");
}

TEST(EndToEndTest, DecodersSeeTheNewCodesAndTheSameFrames) {
    if (std::system("ffprobe -version >/dev/null 2>&1") != 0 ||
        std::system("ffmpeg -version >/dev/null 2>&1") != 0) {
        GTEST_SKIP() << "ffmpeg is not installed";
    }
    test::TempDir dir;
    std::map<std::string, std::pair<Probe, std::string>> originals;
    int framesCompared = 0;
    ForEveryTarget(dir, [&](const Conversion& c) {
        if (EngineState.CompressionPos == 0) {
            return; // without a format chunk there is nothing a decoder could be chosen by
        }
        auto& [before, frames] = originals[c.Sample];
        if (before.Index < 0) {
            before = ProbeFile(test::SamplePath(c.Sample));
            frames = FrameHashes(test::SamplePath(c.Sample), before.Index);
        }
        const Probe after = ProbeFile(c.Path);
        EXPECT_EQ(after.Tag, FourCCToString(CodePairOf(c.Target).Compression));
        // Some payloads are tagged with a code whose decoder cannot read them, or FFmpeg has no
        // decoder for the code at all: no frames to compare.
        if (before.Decoder == after.Decoder && frames.find("\n0,") != std::string::npos) {
            EXPECT_EQ(FrameHashes(c.Path, after.Index), frames);
            ++framesCompared;
        }
    });
    EXPECT_GE(framesCompared, 30);
}
#endif

} // namespace
