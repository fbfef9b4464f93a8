#include "check/NativeTrack.h"

#include "texts/TextFill.h"
#include "texts/TextTable.h"

#include <algorithm>
#include <array>

namespace vidtag::check {

namespace {

struct NativeId {
    std::string_view CodecId;
    int Family;
};

constexpr std::array<NativeId, 4> kNativeIds{{
    {"V_MPEG4/ISO/SP", 4},
    {"V_MPEG4/ISO/ASP", 4},
    {"V_MPEG4/ISO/AP", 4},
    {"V_MPEG4/MS/V3", 3},
}};

// The CodecID ffmpeg's Matroska muxer writes for MPEG-4 Part 2.
constexpr std::string_view kFfmpegMpeg4Id = "V_MPEG4/ISO/ASP";

enum class Word : std::uint8_t { NoCode, NotRead, Remux, Count };

constexpr TextTable<Word> kWords{{
    {
        "the track's CodecID names its codec, so it has no code to change",
        "CodecID %1, which the players do not read (they read %2; needs remuxing)",
        "remux: %1",
    },
    {
        "CodecID дорожки называет её кодек, и кода для замены в ней нет",
        "CodecID %1, который проигрыватели не читают (они читают %2; нужен перенос)",
        "перенос: %1",
    },
}};

bool Lists(const std::vector<std::string>& ids, std::string_view id) {
    return std::find(ids.begin(), ids.end(), id) != ids.end();
}

std::string IdList(const std::vector<std::string>& ids) {
    std::string text;
    for (const std::string& id : ids) {
        text += (text.empty() ? "" : ", ") + id;
    }
    return text;
}

} // namespace

int FamilyOfCodecId(std::string_view codecId) {
    const auto found = std::find_if(kNativeIds.begin(), kNativeIds.end(),
                                    [codecId](const NativeId& n) { return n.CodecId == codecId; });
    return found != kNativeIds.end() ? found->Family : 0;
}

CodecKind NativeKind(std::string_view codecId, const Profile& profile) {
    const int family = FamilyOfCodecId(codecId);
    if (family == 0) {
        return kNoKind;
    }
    const CodecKind own = RetagKind(profile, family);
    if (own != kNoKind) {
        return own;
    }
    return family == 4 ? kMp4vKind : KindOfCode(FCC("MP43"));
}

void JudgeCodecId(CheckResult& result, std::string_view codecId, const Profile& profile,
                  std::string_view fileName, int videoStream, int language) {
    ForbidRetag(result, NativeKind(codecId, profile), TextOf(kWords, language, Word::NoCode),
                language);
    // A stream the players do not decode needs more than another CodecID.
    if (!profile.MatroskaCodecIds || !AcceptsContainer(profile, ContainerNames()[1]) ||
        Lists(*profile.MatroskaCodecIds, codecId) || result.Outcome >= Verdict::Reencode) {
        return;
    }
    result.Problems.push_back({"codec_id",
                               Fill(TextOf(kWords, language, Word::NotRead), std::string(codecId),
                                    IdList(*profile.MatroskaCodecIds)),
                               Fix::Remux});
    if (result.Outcome <= Verdict::Remux) {
        result.Outcome = Verdict::Remux;
    }
    if (FamilyOfCodecId(codecId) != 4 || !Lists(*profile.MatroskaCodecIds, kFfmpegMpeg4Id)) {
        return;
    }
    const std::string in = fileName.empty() ? std::string("IN.mkv") : std::string(fileName);
    const std::string command =
        "ffmpeg -n -i " + ShellQuoted(in) + " -map 0:v:" + std::to_string(videoStream) +
        " -map 0:a? -map 0:s? -c copy " + ShellQuoted(ReplacedExtension(in, ".fixed.mkv"));
    result.Notes.push_back(Fill(TextOf(kWords, language, Word::Remux), command));
}

} // namespace vidtag::check
