#include "check/Profiles.h"

#include <algorithm>
#include <array>

namespace vidtag::check {

namespace {

constexpr std::array<SizeRate, 1> kHandheldSizes{{{176, 144, 15}}};
constexpr std::array<SizeRate, 2> kPortableSizes{{{352, 240, 30}, {352, 288, 25}}};
constexpr std::array<SizeRate, 2> kHomeTheaterSizes{{{720, 480, 30}, {720, 576, 25}}};
constexpr std::array<SizeRate, 1> kHd720Sizes{{{1280, 720, 30}}};

constexpr std::array<Profile, 4> kProfiles{{
    {"divx-handheld", kHandheldSizes, 1485, 262144, 537600, 800000, 0, false, false},
    {"divx-portable", kPortableSizes, 36000, 3145728, 4854000, 8000000, 1, true, false},
    {"divx-home-theater", kHomeTheaterSizes, 40500, 3145728, 4854000, 8000000, 1, true, true},
    {"divx-hd720", kHd720Sizes, 108000, 6291456, 9708400, 16000000, 2, true, true},
}};

// DivX's own list of its codes is DIVX, DIV6, DX50, DIV4, DIV3 and DVX1; of the catalogue's
// kinds these are DivX 4 and DivX 5, and the two DivX V3 kinds.
constexpr std::array<CodecKind, 2> kMpeg4Accepted{11, 12};
constexpr std::array<CodecKind, 2> kV3Accepted{6, 7};

} // namespace

std::span<const Profile> Profiles() {
    return kProfiles;
}

const Profile* FindProfile(std::string_view name) {
    const auto found = std::find_if(kProfiles.begin(), kProfiles.end(),
                                    [name](const Profile& p) { return name == p.Name; });
    return found != kProfiles.end() ? &*found : nullptr;
}

std::string ProfileNames() {
    std::string names;
    for (const Profile& profile : kProfiles) {
        if (!names.empty()) {
            names += ", ";
        }
        names += profile.Name;
    }
    return names;
}

std::span<const CodecKind> AcceptedKinds(int family) {
    if (family == 4) {
        return kMpeg4Accepted;
    }
    if (family == 3) {
        return kV3Accepted;
    }
    return {};
}

bool IsAcceptedKind(CodecKind kind) {
    const std::span<const CodecKind> accepted = AcceptedKinds(FamilyOf(kind));
    return std::find(accepted.begin(), accepted.end(), kind) != accepted.end();
}

CodecKind RetagKind(int family) {
    if (family == 4) {
        return 12;
    }
    return family == 3 ? 6 : kNoKind;
}

} // namespace vidtag::check
