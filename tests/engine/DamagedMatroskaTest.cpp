#include "codecs/CodecCatalog.h"
#include "engine/Engine.h"
#include "matroska/Ebml.h"
#include "matroska/MatroskaFile.h"
#include "streams/CachedReadStream64.h"
#include "streams/MemoryStream64.h"

#include "support/ShellCommand.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <regex>
#include <set>
#include <sstream>

using namespace vidtag;
using vidtag::test::Bytes;

// The damaged-file cases for Matroska files made by mkvmerge from the samples: every element
// header mkvinfo lists before the first Cluster is cut into, given a huge size, an unknown size
// and an id that does not parse. Each case must be analysed or refused, never written by the
// analysis, read alike through the cache, and converted, where it converts, in the 4 bytes of
// the code alone.

namespace {

const char* const kMatroskaSamples[] = {"kind06-div3.avi", "kind10-xvid.avi",
                                        "two-video-div3-mp43.avi"};

// The element positions mkvinfo gives, up to the first Cluster.
std::vector<std::size_t> HeaderElements(const std::string& path) {
    const std::string out = test::RunCommand("mkvinfo -v -v " + test::ShellQuote(path)).Out;
    std::vector<std::size_t> at;
    std::istringstream lines(out);
    const std::regex position(" at ([0-9]+)$");
    for (std::string line; std::getline(lines, line);) {
        if (line.find("Cluster") != std::string::npos) {
            break;
        }
        std::smatch match;
        if (std::regex_search(line, match, position)) {
            at.push_back(std::stoul(match[1]));
        }
    }
    return at;
}

bool InsideCode(std::size_t at, std::int64_t codePos) {
    return codePos > 0 && static_cast<std::int64_t>(at) >= codePos &&
           static_cast<std::int64_t>(at) < codePos + 4;
}

class DamagedMatroskaTest : public ::testing::TestWithParam<const char*> {
  protected:
    void SetUp() override {
        if (std::system("command -v mkvmerge >/dev/null && command -v mkvinfo >/dev/null") != 0) {
            GTEST_SKIP() << "mkvtoolnix is not installed";
        }
        SetStreamReading(true);
        SetRateReading(true);
        const std::string made = dir.Path("made.mkv");
        ASSERT_LT(test::RunCommand("mkvmerge -q -o " + test::ShellQuote(made) + " " +
                                   test::ShellQuote(test::SamplePath(GetParam())))
                      .Exit,
                  2);
        original = test::ReadFileBytes(made);
        elements = HeaderElements(made);
        ASSERT_GT(elements.size(), 10u);
    }
    void TearDown() override {
        SetRateReading(false);
        SetStreamReading(false);
    }

    void Check(const Bytes& damaged, const std::string& label) {
        SCOPED_TRACE(std::string(GetParam()) + ": " + label);
        TMemoryStream64 direct(damaged);
        const mkv::MatroskaFile plain = mkv::ReadMatroska(direct);
        TMemoryStream64 underCache(damaged);
        TCachedReadStream64 cached(&underCache, 256);
        const mkv::MatroskaFile through = mkv::ReadMatroska(cached);
        EXPECT_EQ(through.Reason, plain.Reason);
        EXPECT_EQ(through.CompressionPos, plain.CompressionPos);

        const std::string path = dir.Path("damaged.mkv");
        test::WriteFileBytes(path, damaged);
        const ConversionStatus status = ProcessFile(path, kNoKind);
        EXPECT_TRUE(status == kStatusDone || status == kStatusNotAvi) << int(status);
        ASSERT_TRUE(test::ReadFileBytes(path) == damaged) << "the analysis wrote";
        const TEngineState found = EngineState;
        if (status != kStatusDone || !IsKnownKind(found.OriginalKind)) {
            return;
        }
        ProcessFile(path, OfferedTargets(found.OriginalKind).Kinds[0]);
        conversions += EngineState.Status == kStatusDone ? 1 : 0;
        const Bytes after = test::ReadFileBytes(path);
        ASSERT_EQ(after.size(), damaged.size());
        for (std::size_t i = 0; i < after.size(); ++i) {
            ASSERT_TRUE(after[i] == damaged[i] || InsideCode(i, found.CompressionPos))
                << "byte " << i << " changed";
        }
    }

    test::TempDir dir;
    Bytes original;
    std::vector<std::size_t> elements;
    int conversions = 0;
};

TEST_P(DamagedMatroskaTest, CutAtEveryElementOfTheHeaders) {
    std::set<std::size_t> cuts;
    for (const std::size_t at : elements) {
        for (const std::size_t step : {0, 1, 2, 3, 5}) {
            cuts.insert(std::min(at + step, original.size()));
        }
    }
    for (const std::size_t cut : cuts) {
        Check(Bytes(original.begin(), original.begin() + static_cast<std::ptrdiff_t>(cut)),
              "cut at " + std::to_string(cut));
    }
}

TEST_P(DamagedMatroskaTest, HugeAndUnknownSizesAndIdsThatDoNotParse) {
    for (const std::size_t at : elements) {
        const int idLength = mkv::IdLength(original[at]);
        ASSERT_GT(idLength, 0) << at;
        const std::size_t sizeAt = at + static_cast<std::size_t>(idLength);
        const int sizeLength = mkv::SizeLength(original[sizeAt]);
        ASSERT_GT(sizeLength, 0) << at;
        const auto length = static_cast<std::size_t>(sizeLength);
        Bytes huge = original;
        Bytes unknown = original;
        for (std::size_t i = 0; i < length; ++i) {
            huge[sizeAt + i] = i == 0 ? static_cast<std::uint8_t>(0xFF >> length) : 0xFE;
            unknown[sizeAt + i] = 0xFF;
        }
        huge[sizeAt] |= static_cast<std::uint8_t>(0x80 >> (length - 1));
        unknown[sizeAt] = static_cast<std::uint8_t>((0x100 >> (length - 1)) - 1);
        Check(huge, "huge size at " + std::to_string(at));
        Check(unknown, "unknown size at " + std::to_string(at));
        Bytes badId = original;
        badId[at] = 0x00;
        Check(badId, "an id that does not parse at " + std::to_string(at));
    }
}

TEST_P(DamagedMatroskaTest, HealthyFileConverts) {
    Check(original, "healthy");
    EXPECT_EQ(conversions, 1);
}

INSTANTIATE_TEST_SUITE_P(Samples, DamagedMatroskaTest, ::testing::ValuesIn(kMatroskaSamples),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                             std::string name = info.param;
                             for (char& c : name) {
                                 c = std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
                             }
                             return name;
                         });

} // namespace
