#include "audio/FrameScan.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>

namespace vidtag::audio {

std::optional<AudioFrame> ScanFrames(ByteSpan bytes, FrameParser parse, NextCheck next) {
    std::optional<AudioFrame> unconfirmed;
    // Offsets are 32-bit: a track's first read is far shorter.
    bytes = bytes.first(std::min<std::size_t>(bytes.size(), UINT32_MAX));
    for (std::size_t at = 0; at < bytes.size(); ++at) {
        std::optional<AudioFrame> frame = parse(bytes.subspan(at));
        if (!frame || frame->Size == 0) {
            continue;
        }
        frame->Offset = static_cast<std::uint32_t>(at);
        const std::size_t rest = bytes.size() - at;
        const NextFrame after =
            frame->Size >= rest ? NextFrame::Beyond : next(*frame, bytes.subspan(at + frame->Size));
        if (after == NextFrame::Sync) {
            frame->Confirmed = true;
            return frame;
        }
        if (after == NextFrame::Beyond && !unconfirmed) {
            unconfirmed = frame;
        }
    }
    return unconfirmed;
}

} // namespace vidtag::audio
