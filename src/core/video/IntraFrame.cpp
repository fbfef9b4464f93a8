#include "video/IntraFrame.h"

#include "video/MsPictureHeader.h"
#include "video/StartCodes.h"

namespace vidtag::video {

namespace {

// vop_coding_type, the two bits after the VOP start code: 0 is an I-VOP.
constexpr std::uint8_t kIVop = 0;

} // namespace

bool StartsIntra(const std::uint8_t* data, std::size_t size) noexcept {
    // MPEG-4 video opens every frame with a start code; Microsoft MPEG-4 V2 and V3 never do, so
    // a start code that their data holds by chance further on is not taken for one.
    if (StartsWithPrefix(data, size)) {
        UnitWalker units(data, size);
        Unit unit{};
        while (units.Next(unit)) {
            if (unit.Code == code::kVop) {
                return unit.PayloadSize > 0 && (unit.Payload[0] >> 6) == kIVop;
            }
        }
    }
    // Microsoft MPEG-4 V1 opens each picture with the start code 00 00 01 00.
    const bool v1 = size >= 4 && StartsWithPrefix(data, size) && data[3] == code::kVideoObjectFirst;
    if (StartsWithPrefix(data, size) && !v1) {
        return false;
    }
    return ReadMsIntraPicture(data, size, v1, false).has_value();
}

} // namespace vidtag::video
