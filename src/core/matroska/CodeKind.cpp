#include "matroska/CodeKind.h"

namespace vidtag::mkv {

namespace {

constexpr CodecKind kDivX3Fast = 7;
constexpr FourCC kDivX3FastCode = FCC("DIV4");

} // namespace

CodecKind ClassifyCompression(FourCC compression, ClassificationRule rule) {
    if (rule == ClassificationRule::Relaxed) {
        return ClassifyCodecRelaxed(0, compression);
    }
    if (compression == kDivX3FastCode) {
        return kDivX3Fast;
    }
    // The label devices want is known to vidtag-cli, which writes it, and to no other kind.
    if (rule == ClassificationRule::WithDeviceCodes && compression == kMp4vCode) {
        return kMp4vKind;
    }
    for (CodecKind kind = kFirstKind; kind <= kLastKind; ++kind) {
        if (CodePairOf(kind).Compression == compression) {
            return kind;
        }
    }
    return kUnknownKind;
}

FourCC CompressionCodeOf(CodecKind kind) {
    return kind == kDivX3Fast ? kDivX3FastCode : CodePairOf(kind).Compression;
}

} // namespace vidtag::mkv
