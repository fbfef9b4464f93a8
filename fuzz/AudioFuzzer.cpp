// Feeds arbitrary bytes to the audio facts alone. The first byte names the codec the container
// claims (its value modulo the number of codecs); the next 18 bytes, when there, are read as a
// WAVEFORMATEX and as an A_MS/ACM track's private data too; the whole input after the first byte
// is the track's first bytes. Aborts when the facts break what the readers promise.

#include "audio/AudioReading.h"
#include "audio/AudioText.h"
#include "audio/MatroskaCodecId.h"
#include "audio/WaveFormat.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

using namespace vidtag::audio;

namespace {

void Fail(const char* what) {
    std::fprintf(stderr, "fuzz check failed: %s\n", what);
    std::abort();
}

void Check(const AudioFacts& facts, std::size_t size) {
    if (facts.Frame) {
        const AudioFrame& frame = *facts.Frame;
        if (frame.Offset >= size || frame.Size == 0 || !HasFrameHeader(frame.Codec)) {
            Fail("a frame outside the bytes, of no size, or of a codec without frame headers");
        }
        if (frame.Confirmed && size - frame.Offset <= frame.Size) {
            Fail("a frame confirmed by a successor beyond the bytes");
        }
        if (frame.SampleRate < 8000 || frame.SampleRate > 48000 || frame.Channels > 9) {
            Fail("a sample rate or a channel count no header codes");
        }
        if (facts.JunkBytes != frame.Offset || facts.Codec != frame.Codec) {
            Fail("the facts do not take the frame's offset and codec");
        }
    } else if (facts.JunkBytes != 0 || facts.Contradicted != 0) {
        Fail("junk or a contradiction without a frame");
    }
    if (AudioSummary(facts).empty() || AudioLine(facts, 1).empty()) {
        Fail("an empty line");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    // Each part is copied into a buffer of its own size, so that AddressSanitizer sees a read
    // past its end.
    const std::vector<std::uint8_t> rest(data + 1, data + size);
    const std::vector<std::uint8_t> format(rest.begin(),
                                           rest.begin() + (rest.size() < 18 ? rest.size() : 18));
    const auto claimed = static_cast<AudioCodec>(data[0] % 14);

    ContainerAudio said = AviAudio(ReadWaveFormat(format));
    said.Codec = claimed;
    Check(ReadAudioFacts(said, rest), rest.size());
    Check(ReadAudioFacts(MatroskaAudio("A_MS/ACM", data[0], data[0] * 1000.0, format), rest),
          rest.size());
    return 0;
}
