#include "engine/RetagRule.h"

#include "check/Repair.h"
#include "check/Verdict.h"

#include <algorithm>

namespace vidtag {

Refusal Retaggable(const Analysis& file) {
    if (file.Status != kStatusDone) {
        return Refusal::None;
    }
    // A container that does not let its code change says why, whatever the kind.
    if (!file.Container.WriteRefusal.empty()) {
        return Refusal::ContainerRefused;
    }
    if (file.State.CurrentKind == kUnknownKind) {
        return Refusal::UnknownCodes;
    }
    return Refusal::None;
}

bool Offers(CodecKind kind, CodecKind target, const video::StreamFacts& stream, bool deviceTarget) {
    const auto targets = OfferedTargets(kind).View();
    if (std::find(targets.begin(), targets.end(), target) != targets.end()) {
        return true;
    }
    // A device's own label is offered only where a device profile names it.
    if (target == kMp4vKind && deviceTarget && FamilyOf(kind) == FamilyOf(target)) {
        return true;
    }
    // A label that lies about its stream is repaired to a kind of the stream's own family.
    return check::IsRepair(kind, target, stream) && (target != kMp4vKind || deviceTarget);
}

bool HandlerAloneMakes(CodecKind target, std::int64_t compressionPos, FourCC compression) {
    return compressionPos != 0 || ClassifyCodec(CodePairOf(target).Handler, compression) == target;
}

Refusal MayBecome(const Analysis& file, CodecKind target, const JobOptions& options) {
    if (const Refusal refused = Retaggable(file); refused != Refusal::None) {
        return refused;
    }
    const TEngineState& state = file.State;
    if (file.Status != kStatusDone || target == state.CurrentKind) {
        return Refusal::None;
    }
    if (!Offers(state.CurrentKind, target, file.Stream, options.DeviceTarget)) {
        return Refusal::NotOffered;
    }
    if (!HandlerAloneMakes(target, state.CompressionPos, state.CurrentCompression)) {
        return Refusal::NoFormatChunk;
    }
    return Refusal::None;
}

bool WarnsDecodeByCode(const Analysis& file, FourCC to) {
    return FamilyOf(file.State.CurrentKind) == 4 &&
           check::NeedsDecodeByCodeWarning(file.State.CurrentCompression, to, file.Stream);
}

} // namespace vidtag
