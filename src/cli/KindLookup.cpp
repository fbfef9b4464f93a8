#include "KindLookup.h"

#include <algorithm>
#include <cctype>
#include <string>

namespace vidtag::cli {

namespace {

bool SameIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

std::vector<CodecKind> KindsWithCode(std::string_view text, bool exactCase) {
    std::vector<CodecKind> kinds;
    for (CodecKind kind = kFirstKind; kind <= kLastKind; ++kind) {
        const CodePair pair = CodePairOf(kind);
        for (const FourCC code : {pair.Handler, pair.Compression}) {
            const std::string codeText = FourCCBytes(code);
            if (exactCase ? codeText == text : SameIgnoringCase(codeText, text)) {
                kinds.push_back(kind);
                break;
            }
        }
    }
    return kinds;
}

} // namespace

std::vector<CodecKind> LookupKind(std::string_view text) {
    if (!text.empty() && text.size() <= 2 &&
        std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        const int number = std::stoi(std::string(text));
        if (number >= kFirstKind && number <= kLastKind) {
            return {static_cast<CodecKind>(number)};
        }
        return {};
    }
    for (CodecKind kind = kFirstKind; kind <= kLastKind; ++kind) {
        if (SameIgnoringCase(CodecNames[kind], text)) {
            return {kind};
        }
    }
    if (auto exact = KindsWithCode(text, true); !exact.empty()) {
        return exact;
    }
    return KindsWithCode(text, false);
}

bool NamesFFmpegKind(std::string_view text) {
    return text == std::to_string(kFFmpegKind) || SameIgnoringCase(text, KindName(kFFmpegKind)) ||
           SameIgnoringCase(text, FourCCBytes(kFFmpegCode));
}

} // namespace vidtag::cli
