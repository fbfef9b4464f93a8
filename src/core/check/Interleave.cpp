#include "check/Interleave.h"

#include "texts/TextFill.h"
#include "texts/TextTable.h"

#include <algorithm>
#include <cmath>

namespace vidtag::check {

namespace {

enum class Word : std::uint8_t { Line, Count };

constexpr TextTable<Word> kWords{{
    {"interleave: audio up to %1 ms ahead of video, video up to %2 ms ahead of audio"},
    {"чередование: звук опережает видео до %1 мс, видео опережает звук до %2 мс"},
}};

// A lead no file gives, so that a damaged header's rate still gives a number.
constexpr double kMostMs = 1e15;

std::uint64_t Milliseconds(double seconds) {
    return static_cast<std::uint64_t>(std::llround(std::clamp(seconds * 1000, 0.0, kMostMs)));
}

} // namespace

std::optional<AudioClock> MakeAudioClock(int stream, std::uint32_t scale, std::uint32_t rate,
                                         std::uint32_t sampleSize, std::uint32_t bytesPerSecond) {
    AudioClock clock{stream, sampleSize == 0, scale, rate, bytesPerSecond};
    const bool timed = clock.ChunkTimed ? scale != 0 && rate != 0 : bytesPerSecond != 0;
    if (stream < 0 || stream > 99 || !timed) {
        return std::nullopt;
    }
    return clock;
}

double InterleaveTally::AudioSeconds() const {
    return clock_.ChunkTimed ? static_cast<double>(chunks_) * clock_.Scale / clock_.Rate
                             : static_cast<double>(bytes_) / clock_.BytesPerSecond;
}

void InterleaveTally::Video(std::uint32_t size) {
    if (chunks_ > 0 && size > 0) {
        audioLead_ = std::max(audioLead_, AudioSeconds() - static_cast<double>(frames_) / fps_);
    }
    ++frames_;
}

void InterleaveTally::Audio(std::uint32_t size) {
    if (frames_ > 0 && size > 0) {
        videoLead_ = std::max(videoLead_, static_cast<double>(frames_) / fps_ - AudioSeconds());
    }
    ++chunks_;
    bytes_ += size;
}

std::optional<Interleave> InterleaveTally::Result() const {
    if (frames_ == 0 || chunks_ == 0 || !(fps_ > 0) || !std::isfinite(fps_)) {
        return std::nullopt;
    }
    return Interleave{Milliseconds(audioLead_), Milliseconds(videoLead_)};
}

std::string InterleaveLine(const Interleave& leads, int language) {
    return Fill(TextOf(kWords, language, Word::Line), std::to_string(leads.AudioLeadMs),
                std::to_string(leads.VideoLeadMs));
}

} // namespace vidtag::check
