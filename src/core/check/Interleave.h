#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace vidtag::check {

// How far one stream's data runs ahead of the other's in the file's order, in milliseconds: a
// player reading the file front to back holds that much of the stream that leads.
struct Interleave {
    std::uint64_t AudioLeadMs = 0; // audio delivered past the time of the video frame read
    std::uint64_t VideoLeadMs = 0; // video delivered past the time of the audio chunk read
};

// What gives an audio track's chunks their time, from its stream header and format.
struct AudioClock {
    int Stream = -1; // the NN of its "NNwb" chunks
    // A stream header's sample size of 0: each chunk lasts Scale / Rate seconds. Else its bytes
    // last as long as BytesPerSecond (the format's nAvgBytesPerSec) says.
    bool ChunkTimed = false;
    std::uint32_t Scale = 0;
    std::uint32_t Rate = 0;
    std::uint32_t BytesPerSecond = 0;
};

// The clock of an audio stream numbered 0 to 99, or none when its headers give no time.
std::optional<AudioClock> MakeAudioClock(int stream, std::uint32_t scale, std::uint32_t rate,
                                         std::uint32_t sampleSize, std::uint32_t bytesPerSecond);

// The index's entries of the video stream and of one audio track, in file order, in; the
// leads out. Each video frame lasts 1 / fps seconds, dropped (empty) ones included. A lead is
// measured as each chunk with data is met: audio's at a video frame, against the frame's start,
// and video's at an audio chunk, against the chunk's start. So the tail of the longer stream,
// after the other has ended, leads nothing, and neither does a dropped frame, which shows
// nothing the audio must wait for.
class InterleaveTally {
  public:
    InterleaveTally(const AudioClock& clock, double fps) : clock_(clock), fps_(fps) {}

    void Video(std::uint32_t size);
    void Audio(std::uint32_t size);
    // None until both streams had a chunk.
    std::optional<Interleave> Result() const;

  private:
    double AudioSeconds() const;

    AudioClock clock_;
    double fps_;
    std::uint64_t frames_ = 0;
    std::uint64_t chunks_ = 0;
    std::uint64_t bytes_ = 0;
    double audioLead_ = 0;
    double videoLead_ = 0;
};

// "interleave: audio up to 40 ms ahead of video, video up to 12 ms ahead of audio". English for
// language 0, Russian for 1.
std::string InterleaveLine(const Interleave& leads, int language = 0);

} // namespace vidtag::check
