#include "avi/VmAVIFile.h"
#include "codecs/CodecCatalog.h"
#include "engine/Engine.h"
#include "streams/CachedReadStream64.h"
#include "streams/MemoryStream64.h"

#include "support/AnalysisFindings.h"

#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <new>
#include <random>

using namespace vidtag;
using vidtag::test::Bytes;

// Every case is a sample damaged one way: the analysis must end, write nothing, and agree with
// itself through the read cache; on a file, a conversion may change the two codes and nothing
// else, never the size. The bulk runs in memory; a share of the cases also runs on files.

namespace {

const char* const kSamples[] = {
    "audio-first-div3.avi",    "case-XVID-XVID.avi",   "case-divx-DX50.avi",
    "kind01-mpg4.avi",         "kind02-mp42.avi",      "kind03-mp43.avi",
    "kind04-div1.avi",         "kind05-div2.avi",      "kind06-div3.avi",
    "kind07-div4.avi",         "kind08-ap41.avi",      "kind09-ap42.avi",
    "kind10-xvid.avi",         "kind11-divx.avi",      "kind12-divx.avi",
    "kind13-3iv2.avi",         "no-strf-xvid.avi",     "opendml-avix-xvid.avi",
    "two-video-div3-mp43.avi", "stream-vlc-remux.avi",
};

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif
#else
constexpr bool kSanitized = false;
#endif

// Only one case in this many runs where runs are slow (sanitizers, Wine); VIDTAG_DAMAGE_THINNING
// overrides it.
int Thinning() {
    if (const char* value = std::getenv("VIDTAG_DAMAGE_THINNING")) {
        return std::max(1, std::atoi(value));
    }
    return kSanitized || test::kOnWindows ? 5 : 1;
}

// On files, only one case in this many of the cheap kinds, so that the suite stays quick.
constexpr int kFileShare = 12;

std::uint32_t WordAt(const Bytes& bytes, std::size_t at) {
    std::uint32_t value;
    std::memcpy(&value, &bytes[at], 4);
    return value;
}

void PutWord(Bytes& bytes, std::size_t at, std::uint32_t value) {
    std::memcpy(&bytes[at], &value, 4);
}

bool IdAt(const Bytes& bytes, std::size_t at, const char* id) {
    return at + 4 <= bytes.size() && std::memcmp(&bytes[at], id, 4) == 0;
}

// Header offsets of the chunks to damage on purpose, found in the healthy sample by its sizes.
struct Landmarks {
    std::size_t Hdrl = 0, Avih = 0, Strl = 0, Strh = 0, Strf = 0, Movi = 0;
};

void Locate(const Bytes& bytes, std::size_t from, std::size_t to, Landmarks& marks) {
    for (std::size_t at = from; at + 8 <= to && marks.Movi == 0;) {
        const std::uint32_t size = WordAt(bytes, at + 4);
        const bool list = IdAt(bytes, at, "LIST");
        auto first = [](std::size_t& slot, std::size_t at) { slot = slot == 0 ? at : slot; };
        if (list && IdAt(bytes, at + 8, "movi")) {
            marks.Movi = at;
        } else if (list) {
            first(IdAt(bytes, at + 8, "hdrl") ? marks.Hdrl : marks.Strl, at);
            if (IdAt(bytes, at + 8, "hdrl") || IdAt(bytes, at + 8, "strl")) {
                Locate(bytes, at + 12, std::min<std::size_t>(to, at + 8 + size), marks);
            }
        } else if (IdAt(bytes, at, "avih")) {
            first(marks.Avih, at);
        } else if (IdAt(bytes, at, "strh")) {
            first(marks.Strh, at);
        } else if (IdAt(bytes, at, "strf")) {
            first(marks.Strf, at);
        }
        at += 8 + size + (size & 1);
    }
}

using Findings = test::AnalysisFindings;
constexpr auto Analyse = test::AnalyseStream;

bool InsideCode(std::int64_t at, std::int64_t codePos) {
    return codePos > 0 && at >= codePos && at < codePos + 4;
}

class DamagedFilesTest : public ::testing::TestWithParam<const char*> {
  protected:
    // The analyses read the frames and the index's bitrates too, as vidtag-cli --check has them:
    // a damaged index must not change what the analysis finds either.
    void SetUp() override {
        SetStreamReading(true);
        SetRateReading(true);
        original = test::ReadFileBytes(test::SamplePath(GetParam()));
        ASSERT_TRUE(original.size() > 12 && IdAt(original, 0, "RIFF")) << GetParam();
        Locate(original, 12, original.size(), marks);
        ASSERT_NE(marks.Movi, 0u) << GetParam();
        headersEnd = marks.Movi + 12;
    }

    void Check(const Bytes& damaged, bool onFile, const std::string& label) {
        SCOPED_TRACE(std::string(GetParam()) + ": " + label);
        TMemoryStream64 direct(damaged);
        const Findings plain = Analyse(direct);
        EXPECT_TRUE(direct.Bytes == damaged) << "the analysis wrote";
        TMemoryStream64 underCache(damaged);
        TCachedReadStream64 cached(&underCache, 256);
        EXPECT_TRUE(Analyse(cached) == plain) << "the cache changed the result";
        if (onFile) {
            CheckOnFile(damaged);
        }
    }

    void CheckOnFile(const Bytes& damaged) {
        const std::string path = dir.Path("damaged.avi");
        test::WriteFileBytes(path, damaged);
        const ConversionStatus status = ProcessFile(path, kNoKind);
        EXPECT_TRUE(status == kStatusDone || status == kStatusCannotOpen ||
                    status == kStatusNotAvi || status == kStatusScanFailed)
            << int(status);
        ASSERT_TRUE(test::ReadFileBytes(path) == damaged) << "the analysis wrote";
        const TEngineState found = EngineState;
        ExpectSameWithoutFrames(path, found);
        if (status != kStatusDone || !IsKnownKind(found.OriginalKind) ||
            OfferedTargets(found.OriginalKind).Count == 0) {
            return;
        }
        ProcessFile(path, OfferedTargets(found.OriginalKind).Kinds[0]);
        ++conversions;
        const Bytes after = test::ReadFileBytes(path);
        ASSERT_EQ(after.size(), damaged.size());
        for (std::size_t i = 0; i < after.size(); ++i) {
            const auto at = static_cast<std::int64_t>(i);
            ASSERT_TRUE(after[i] == damaged[i] || InsideCode(at, found.HandlerPos) ||
                        InsideCode(at, found.CompressionPos))
                << "byte " << i << " changed";
        }
    }

    void TearDown() override {
        SetRateReading(false);
        SetStreamReading(false);
    }

    // Whatever the frames hold, reading them changes nothing the analysis found before.
    static void ExpectSameWithoutFrames(const std::string& path, const TEngineState& found) {
        SetStreamReading(false);
        ProcessFile(path, kNoKind);
        SetStreamReading(true);
        const TEngineState& plain = EngineState;
        EXPECT_EQ(plain.Status, found.Status);
        EXPECT_EQ(plain.OriginalKind, found.OriginalKind);
        EXPECT_EQ(plain.CurrentKind, found.CurrentKind);
        EXPECT_EQ(plain.HandlerPos, found.HandlerPos);
        EXPECT_EQ(plain.CompressionPos, found.CompressionPos);
        EXPECT_EQ(plain.OriginalHandler, found.OriginalHandler);
        EXPECT_EQ(plain.OriginalCompression, found.OriginalCompression);
        EXPECT_EQ(StreamReport.FramesRead, 0u);
    }

    Bytes original;
    Landmarks marks;
    std::size_t headersEnd = 0;
    test::TempDir dir;
    int conversions = 0;
};

TEST_P(DamagedFilesTest, Truncated) {
    const int thin = Thinning();
    std::vector<std::size_t> cuts;
    for (std::size_t cut = 0; cut < headersEnd; cut += 7) {
        cuts.push_back(cut);
    }
    const std::size_t data = original.size() - headersEnd;
    for (const std::size_t share : {1, 3, 5, 7}) {
        cuts.push_back(headersEnd + data * share / 8);
    }
    cuts.push_back(original.size() - 1);
    for (std::size_t i = 0; i < cuts.size() && !HasFailure(); i += thin) {
        const Bytes damaged(original.begin(), original.begin() + cuts[i]);
        Check(damaged, i % kFileShare == 0 || cuts[i] >= headersEnd,
              "cut at " + std::to_string(cuts[i]));
    }
}

TEST_P(DamagedFilesTest, Bursts) {
    const int thin = Thinning();
    std::mt19937 random(static_cast<unsigned>(std::hash<std::string>{}(GetParam()) & 0xFFFF));
    for (int burst = 0; burst < 200 && !HasFailure(); ++burst) {
        Bytes damaged = original;
        const bool inHeaders = random() % 5 != 0;
        const std::size_t span = inHeaders ? headersEnd : damaged.size();
        const std::size_t at = random() % span;
        const std::size_t length = std::min<std::size_t>(1 + random() % 24, damaged.size() - at);
        const bool zeros = random() % 2 == 0;
        for (std::size_t i = at; i < at + length; ++i) {
            damaged[i] = zeros ? 0 : static_cast<std::uint8_t>(random());
        }
        if (burst % thin == 0) {
            Check(damaged, burst % kFileShare == 0,
                  std::to_string(length) + (zeros ? " zeros at " : " random bytes at ") +
                      std::to_string(at));
        }
    }
}

TEST_P(DamagedFilesTest, TargetedSizesAndSignatures) {
    const int thin = Thinning();
    int done = 0;
    auto check = [&](const Bytes& damaged, const std::string& label) {
        Check(damaged, done++ % thin == 0, label);
    };
    const std::pair<const char*, std::size_t> targets[] = {
        {"hdrl", marks.Hdrl}, {"strl", marks.Strl}, {"strh", marks.Strh},
        {"strf", marks.Strf}, {"avih", marks.Avih}, {"movi", marks.Movi},
    };
    for (const auto& [name, header] : targets) {
        if (header == 0) {
            continue;
        }
        for (const std::uint32_t size : {0u, 2u, 3u, 0x7FFFFFFFu, 0xFFFFFFF8u, 0xFFFFFFFFu}) {
            Bytes damaged = original;
            PutWord(damaged, header + 4, size);
            check(damaged, std::string(name) + " size " + std::to_string(size));
        }
    }
    Bytes zeroedMovi = original;
    std::fill_n(zeroedMovi.begin() + static_cast<std::ptrdiff_t>(marks.Movi), 12, 0);
    check(zeroedMovi, "zeroed movi list header");

    Bytes noRiffSize = original;
    PutWord(noRiffSize, 4, 0);
    check(noRiffSize, "RIFF size 0");

    Bytes lowerCase = original;
    std::memcpy(lowerCase.data(), "riff", 4);
    check(lowerCase, "lower-case riff");

    for (const std::size_t extra : {1, 2, 3, 8}) {
        Bytes shifted(extra, 0x20);
        shifted.insert(shifted.end(), original.begin(), original.end());
        check(shifted, std::to_string(extra) + " bytes before RIFF");
    }
}

// A suite that never converts would check nothing of the patching.
TEST_P(DamagedFilesTest, HealthySampleConverts) {
    Check(original, true, "healthy");
    EXPECT_EQ(conversions, 1);
}

INSTANTIATE_TEST_SUITE_P(Samples, DamagedFilesTest, ::testing::ValuesIn(kSamples),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                             std::string name = info.param;
                             for (char& c : name) {
                                 c = std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
                             }
                             return name;
                         });

} // namespace
