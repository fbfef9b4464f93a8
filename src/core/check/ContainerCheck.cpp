#include "check/ContainerCheck.h"

#include <algorithm>

namespace vidtag::check {

std::string RemuxCommand(std::string_view in, std::string_view out, FourCC code, int videoStream) {
    return "ffmpeg -i " + ShellQuoted(in) + " -map 0:v:" + std::to_string(videoStream) +
           " -map 0:a? -c copy -vtag " + ShellQuoted(FourCCToString(code)) + " " + ShellQuoted(out);
}

void AddContainerProblem(CheckResult& result, FourCC code, std::string_view fileName, int language,
                         int videoStream) {
    const bool russian = language == 1;
    result.Problems.push_back(
        {"container",
         russian ? "файл Matroska (нужен перенос в AVI)" : "Matroska file (needs remuxing to AVI)",
         Fix::Remux});
    if (result.Outcome == Verdict::Retag) {
        code = CodePairOf(result.RetagTo).Compression;
    }
    if (result.Outcome == Verdict::Plays || result.Outcome == Verdict::Retag) {
        result.Outcome = Verdict::Remux;
        result.RetagTo = kNoKind;
    }
    if (code == 0) {
        return;
    }
    const std::string in = fileName.empty() ? std::string("IN.mkv") : std::string(fileName);
    const std::string out =
        fileName.empty() ? std::string("OUT.avi") : ReplacedExtension(fileName, ".avi");
    result.Notes.push_back((russian ? "перенос в AVI: " : "remux to AVI: ") +
                           RemuxCommand(in, out, code, videoStream));
}

} // namespace vidtag::check
