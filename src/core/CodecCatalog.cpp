#include "CodecCatalog.h"

namespace vidtag {

namespace {

struct KindRow {
    const char* Name;
    CodePair Codes;
    TargetList Targets;
};

// One row per kind, indexed by kind. Kind 7 writes the compression code of kind 6; kinds 11 and
// 12 share their handler code.
constexpr std::array<KindRow, 15> kKinds{{
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
}};

struct HandlerRow {
    FourCC Handler;
    CodecKind Kind;
};

// "divx" is missing on purpose: its kind depends on the compression code.
constexpr std::array<HandlerRow, 14> kHandlers{{
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
    return IsKnownKind(kind) ? kKinds[kind].Codes : CodePair{0, 0};
}

const TargetList& OfferedTargets(CodecKind kind) {
    return kKinds[IsKnownKind(kind) ? kind : kUnknownKind].Targets;
}

CodecKind ClassifyCodec(FourCC handler, FourCC compression) {
    if (handler == FCC("divx")) {
        if (compression == FCC("DX50")) {
            return 12;
        }
        return compression == FCC("DIVX") ? 11 : kUnknownKind;
    }
    for (const HandlerRow& row : kHandlers) {
        if (row.Handler == handler) {
            return row.Kind;
        }
    }
    return kUnknownKind;
}

} // namespace vidtag
