#pragma once

#include "audio/AudioFacts.h"

namespace vidtag::audio {

// The first frame in the bytes a track's first chunks or blocks hold. The reader of the codec
// the container names goes first; the frame readers of the other codecs are tried too when the
// container names a codec with frame headers, PCM (which may carry AC-3 or DTS) or no codec,
// and their frames count only when the next frame confirms them.
std::optional<AudioFrame> FindFirstFrame(AudioCodec said, ByteSpan bytes);

// The track's facts: what the container said, with the first frame's word where the container
// says nothing or says otherwise, which Contradicted records. Junk before the frame is counted.
AudioFacts ReadAudioFacts(const ContainerAudio& said, ByteSpan firstBytes);

} // namespace vidtag::audio
