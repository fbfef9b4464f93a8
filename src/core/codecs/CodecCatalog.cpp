#include "codecs/CodecCatalog.h"

namespace vidtag {

namespace {

struct KindRow {
    const char* Name;
    CodePair Codes;
    TargetList Targets;
};

// One row per kind, indexed by kind. Kind 7 writes the compression code of kind 6; kinds 11 and
// 12 share their handler code. Kind 15 has no codes to write.
constexpr std::array<KindRow, 17> kKinds{{
    {"", {0, 0}, {{}, 0, false}},
    {"Microsoft MPEG4 V1", {FCC("mpg4"), FCC("MPG4")}, {{4}, 1, true}},
    {"Microsoft MPEG4 V2", {FCC("mp42"), FCC("MP42")}, {{5, 9}, 2, false}},
    {"Microsoft MPEG4 V3", {FCC("mp43"), FCC("MP43")}, {{6, 7, 8}, 3, false}},
    {"DivX V1", {FCC("div1"), FCC("DIV1")}, {{1}, 1, true}},
    {"DivX V2", {FCC("div2"), FCC("DIV2")}, {{2, 9}, 2, false}},
    {"DivX V3 Low", {FCC("div3"), FCC("DIV3")}, {{3, 8, 7}, 3, false}},
    {"DivX V3 Fast", {FCC("div4"), FCC("DIV3")}, {{3, 8, 6}, 3, false}},
    {"Angel Potion V1", {FCC("ap41"), FCC("AP41")}, {{3, 6, 7}, 3, false}},
    {"Angel Potion V2", {FCC("ap42"), FCC("AP42")}, {{2, 5}, 2, false}},
    {"XviD", {FCC("xvid"), FCC("XVID")}, {{11, 12, 13}, 3, false}},
    {"DivX 4", {FCC("divx"), FCC("DIVX")}, {{12, 10, 13}, 3, false}},
    {"DivX 5", {FCC("divx"), FCC("DX50")}, {{11, 10, 13}, 3, false}},
    {"3ivx", {FCC("3iv2"), FCC("3IV2")}, {{11, 12, 10}, 3, false}},
    {nullptr, {0, 0}, {{}, 0, false}},
    {"FFmpeg MPEG-4", {0, 0}, {{10, 11, 12, 13}, 4, false}},
    {"MPEG-4 Visual (MP4V)", {FCC("MP4V"), FCC("MP4V")}, {{10, 11, 12, 13}, 4, false}},
}};

struct CodeRow {
    FourCC Code;
    CodecKind Kind;
};

// "divx" is missing on purpose: its kind depends on the compression code.
constexpr std::array<CodeRow, 14> kHandlers{{
    {FCC("mpg4"), 1},
    {FCC("mp42"), 2},
    {FCC("mp43"), 3},
    {FCC("div1"), 4},
    {FCC("div2"), 5},
    {FCC("div3"), 6},
    {FCC("div4"), 7},
    {FCC("ap41"), 8},
    {FCC("ap42"), 9},
    {FCC("xvid"), 10},
    {FCC("XVID"), 10},
    {FCC("DIVX"), 11},
    {FCC("DX50"), 12},
    {FCC("3iv2"), 13},
}};

// What decides when the handler does not, compared in upper case. "DIV4" names DivX V3 Fast,
// whose own compression code is "DIV3".
constexpr std::array<CodeRow, 13> kCompressions{{
    {FCC("MPG4"), 1},
    {FCC("MP42"), 2},
    {FCC("MP43"), 3},
    {FCC("DIV1"), 4},
    {FCC("DIV2"), 5},
    {FCC("DIV3"), 6},
    {FCC("DIV4"), 7},
    {FCC("AP41"), 8},
    {FCC("AP42"), 9},
    {FCC("XVID"), 10},
    {FCC("DIVX"), 11},
    {FCC("DX50"), 12},
    {FCC("3IV2"), 13},
}};

// Only ASCII letters change case: a byte above 0x7F is no letter whatever the code page.
constexpr FourCC WithCase(FourCC code, bool upper) {
    FourCC out = 0;
    for (int i = 0; i < 4; ++i) {
        char c = FourCCChar(code, i);
        if (upper && c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        } else if (!upper && c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
        out |= static_cast<FourCC>(static_cast<unsigned char>(c)) << (8 * i);
    }
    return out;
}

constexpr std::array<const char*, 14> NamesOf() {
    std::array<const char*, 14> names{};
    for (std::size_t kind = 0; kind < names.size(); ++kind) {
        names[kind] = kKinds[kind].Name;
    }
    return names;
}

} // namespace

const std::array<const char*, 14> CodecNames = NamesOf();

CodePair CodePairOf(CodecKind kind) {
    return IsKnownKind(kind) || kind == kMp4vKind ? kKinds[kind].Codes : CodePair{0, 0};
}

const char* KindName(CodecKind kind) {
    return IsRecognisedKind(kind) ? kKinds[kind].Name : "";
}

const TargetList& OfferedTargets(CodecKind kind) {
    return kKinds[IsRecognisedKind(kind) ? kind : kUnknownKind].Targets;
}

CodecKind ClassifyCodec(FourCC handler, FourCC compression) {
    if (handler == FCC("divx")) {
        if (compression == FCC("DX50")) {
            return 12;
        }
        return compression == FCC("DIVX") ? 11 : kUnknownKind;
    }
    for (const CodeRow& row : kHandlers) {
        if (row.Code == handler) {
            return row.Kind;
        }
    }
    return kUnknownKind;
}

CodecKind ClassifyCodecRelaxed(FourCC handler, FourCC compression) {
    if (const CodecKind exact = ClassifyCodec(handler, compression); IsKnownKind(exact)) {
        return exact;
    }
    // Any "divx" falls through to the compression code, which tells DivX 4 from DivX 5 and, in
    // old DivX 3 files, names "DIV3".
    const FourCC looseHandler = WithCase(handler, false);
    if (looseHandler != FCC("divx")) {
        for (const CodeRow& row : kHandlers) {
            if (WithCase(row.Code, false) == looseHandler) {
                return row.Kind;
            }
        }
    }
    const FourCC looseCompression = WithCase(compression, true);
    for (const CodeRow& row : kCompressions) {
        if (row.Code == looseCompression) {
            return row.Kind;
        }
    }
    if (WithCase(handler, true) == kMp4vCode || looseCompression == kMp4vCode) {
        return kMp4vKind;
    }
    if (WithCase(handler, true) == kFFmpegCode || looseCompression == kFFmpegCode) {
        return kFFmpegKind;
    }
    return kUnknownKind;
}

CodecKind Classify(FourCC handler, FourCC compression, ClassificationRule rule) {
    switch (rule) {
    case ClassificationRule::Relaxed:
        return ClassifyCodecRelaxed(handler, compression);
    case ClassificationRule::WithDeviceCodes: {
        const CodecKind exact = ClassifyCodec(handler, compression);
        const bool mp4v =
            handler == kMp4vCode || (exact == kUnknownKind && compression == kMp4vCode);
        return exact == kUnknownKind && mp4v ? kMp4vKind : exact;
    }
    case ClassificationRule::Exact:
        break;
    }
    return ClassifyCodec(handler, compression);
}

int FamilyOf(CodecKind kind) {
    // Indexed by kind, 0 to 16.
    constexpr std::array<std::uint8_t, 17> kFamilies{0, 1, 2, 3, 1, 2, 3, 3, 3,
                                                     2, 4, 4, 4, 4, 0, 4, 4};
    return kind < kFamilies.size() ? kFamilies[kind] : 0;
}

} // namespace vidtag
