#pragma once

#include "audio/AudioFacts.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>

namespace vidtag::audio {

// What the bytes where the next frame should start hold.
enum class NextFrame : std::uint8_t { Sync, NoSync, Beyond };

// The first frame in the bytes whose next frame's header follows it, with the bytes before it
// as its Offset; failing that, the first frame whose successor lies beyond the bytes, not
// confirmed. A header whose successor is missing inside the bytes is a false sync, and skipped.
// mayStart(byte) tells whether a sync word can begin with the byte; parse(bytes) gives the
// frame whose header starts the bytes, or nothing; next(first, bytes) tells whether the bytes
// after a frame begin with the header of a frame that can follow it. A template, so that the
// search for a byte that may start a sync inlines mayStart: a track of another codec, PCM
// above all, is searched through for every codec, and most of its bytes start none.
template <typename MayStart, typename Parse, typename Next>
std::optional<AudioFrame> ScanFrames(ByteSpan bytes, MayStart mayStart, Parse parse, Next next) {
    std::optional<AudioFrame> unconfirmed;
    // Offsets are 32-bit: a track's first read is far shorter.
    bytes = bytes.first(std::min<std::size_t>(bytes.size(), UINT32_MAX));
    for (std::size_t at = 0; at < bytes.size(); ++at) {
        at = static_cast<std::size_t>(
            std::find_if(bytes.begin() + static_cast<std::ptrdiff_t>(at), bytes.end(), mayStart) -
            bytes.begin());
        if (at == bytes.size()) {
            break;
        }
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
