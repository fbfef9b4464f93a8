#include "check/Repair.h"

#include <array>

namespace vidtag::check {

const char* FamilyName(int family) {
    constexpr std::array<const char*, 5> kNames{"", "Microsoft MPEG-4 V1", "Microsoft MPEG-4 V2",
                                                "Microsoft MPEG-4 V3", "MPEG-4 Part 2"};
    return family >= 1 && family <= 4 ? kNames[static_cast<std::size_t>(family)] : "";
}

int RepairFamily(CodecKind label, const video::StreamFacts& facts) {
    const int family = FamilyOf(label);
    if (family == 0 || !video::FamilyMismatch(family, facts.StreamSyntax)) {
        return 0;
    }
    const int proven = video::ProvenFamily(facts);
    return proven != family ? proven : 0;
}

std::vector<CodecKind> RepairTargets(CodecKind label, const video::StreamFacts& facts) {
    std::vector<CodecKind> kinds;
    const int family = RepairFamily(label, facts);
    for (CodecKind kind = kFirstKind; family != 0 && kind <= kLastKind; ++kind) {
        if (FamilyOf(kind) == family) {
            kinds.push_back(kind);
        }
    }
    return kinds;
}

bool IsRepair(CodecKind label, CodecKind target, const video::StreamFacts& facts) {
    const int family = RepairFamily(label, facts);
    return family != 0 && FamilyOf(target) == family &&
           (IsKnownKind(target) || target == kMp4vKind);
}

std::uint8_t UndecidedVersions(CodecKind label, const video::StreamFacts& facts) {
    if (facts.StreamSyntax != video::Syntax::MsMpeg4 ||
        !video::FamilyMismatch(FamilyOf(label), facts.StreamSyntax) ||
        video::ProvenFamily(facts) != 0) {
        return 0;
    }
    // Without an intra frame read, the picture headers still say V2 or V3.
    return facts.MsVersions != 0 ? facts.MsVersions
                                 : static_cast<std::uint8_t>(video::kMsV2 | video::kMsV3);
}

} // namespace vidtag::check
