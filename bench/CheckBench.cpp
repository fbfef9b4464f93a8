// The index reading of --check on a two-hour file (25 fps, 180,000 video frames, an MP3 stream
// beside them): with "idx1" alone, and as an OpenDML file of two parts with a standard index
// each. The counters give the read and seek calls that reach the system per reading, for the
// index alone and for a whole analysis with rate reading on and off (the difference is what
// --check costs). Then 1,000 small files analysed and checked as vidtag-cli --check runs them,
// and 1,000 with an audio track, whose tracks and size the check judges too
// (VIDTAG_BENCH_BATCH_ONLY=1 runs these two alone).
// An hour-long OpenDML file whose super index names its one standard index 16,384 times shows
// that each standard index is read once. Last, --check on an hour of real MPEG-4 frames (90,000,
// made with ffmpeg), whose first bytes it reads one by one, against ffprobe listing the same
// file's packet flags: both figures are printed.

#include "CommandTime.h"
#include "avi/VmAVIFile.h"
#include "check/IndexRates.h"
#include "check/TrackCheck.h"
#include "check/Verdict.h"
#include "engine/Engine.h"
#include "engine/Jobs.h"
#include "streams/CachedReadStream64.h"
#include "support/CountingFileLayer.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

using namespace vidtag;

namespace {

constexpr std::uint32_t kFrames = 2 * 3600 * 25;
constexpr std::uint32_t kMoviHole = 1400u << 20; // the frames themselves stay a hole

// Appends little-endian RIFF pieces; a hole stands for bytes the file leaves unwritten, and
// sizes and positions count it.
class Writer {
  public:
    void Code(const char* id) { bytes_.insert(bytes_.end(), id, id + 4); }
    void U32(std::uint32_t v) {
        for (int i = 0; i < 4; ++i) {
            bytes_.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
        }
    }
    void U16(std::uint16_t v) {
        bytes_.insert(bytes_.end(), {std::uint8_t(v), std::uint8_t(v >> 8)});
    }
    void U64At(std::size_t at, std::uint64_t v) { std::memcpy(&bytes_[at], &v, 8); }
    void Zeros(std::size_t n) { bytes_.insert(bytes_.end(), n, 0); }
    void Hole(std::uint64_t length) {
        holes_.emplace_back(bytes_.size(), length);
        holeTotal_ += length;
    }
    // The position in the file of what comes next, and its place in the bytes.
    std::uint64_t Pos() const { return bytes_.size() + holeTotal_; }
    std::size_t At() const { return bytes_.size(); }

    struct Open {
        std::size_t SizeAt;
        std::uint64_t Start;
    };
    Open Begin(const char* id, const char* type = nullptr) {
        Code(id);
        U32(0);
        const Open open{At() - 4, Pos()};
        if (type != nullptr) {
            Code(type);
        }
        return open;
    }
    void End(const Open& open) {
        const auto size = static_cast<std::uint32_t>(Pos() - open.Start);
        for (int i = 0; i < 4; ++i) {
            bytes_[open.SizeAt + i] = static_cast<std::uint8_t>(size >> (8 * i));
        }
    }

    void WriteTo(const std::string& path) const {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        std::size_t done = 0;
        std::uint64_t skipped = 0;
        for (const auto& [at, length] : holes_) {
            out.write(reinterpret_cast<const char*>(bytes_.data() + done),
                      static_cast<std::streamsize>(at - done));
            skipped += length;
            out.seekp(static_cast<std::streamoff>(at + skipped));
            done = at;
        }
        out.write(reinterpret_cast<const char*>(bytes_.data() + done),
                  static_cast<std::streamsize>(bytes_.size() - done));
    }

  private:
    std::vector<std::uint8_t> bytes_;
    std::vector<std::pair<std::size_t, std::uint64_t>> holes_;
    std::uint64_t holeTotal_ = 0;
};

std::uint32_t FrameSize(std::uint32_t i) {
    return i % 250 == 0 ? 40000 : 4000 + (i * 7919) % 3000;
}

void Headers(Writer& w, bool odml, std::size_t& indxData, std::uint32_t superEntries = 2) {
    const Writer::Open hdrl = w.Begin("LIST", "hdrl");
    w.Code("avih");
    w.U32(56);
    w.Zeros(56);
    const Writer::Open strl = w.Begin("LIST", "strl");
    w.Code("strh");
    w.U32(56);
    w.Code("vids");
    w.Code("XVID");
    w.Zeros(12);
    w.U32(1);  // scale
    w.U32(25); // rate
    w.Zeros(28);
    w.Code("strf");
    w.U32(40);
    w.U32(40);
    w.Zeros(12);
    w.Code("XVID");
    w.Zeros(20);
    if (odml) {
        w.Code("indx");
        w.U32(24 + superEntries * 16);
        indxData = w.At();
        w.U16(4);
        w.U16(0);
        w.U32(superEntries);
        w.Code("00dc");
        w.Zeros(12 + std::size_t{superEntries} * 16);
    }
    w.End(strl);
    const Writer::Open audio = w.Begin("LIST", "strl");
    w.Code("strh");
    w.U32(56);
    w.Code("auds");
    w.Zeros(52);
    w.End(audio);
    w.End(hdrl);
}

// A movi list that is a hole but for, in an OpenDML file, a standard index of its frames at
// its end; where that index lies.
std::uint64_t Part(Writer& w, bool odml, std::uint32_t first, std::uint32_t frames) {
    const Writer::Open movi = w.Begin("LIST", "movi");
    w.Hole(kMoviHole / (odml ? 2 : 1));
    const std::uint64_t ix = w.Pos();
    if (odml) {
        w.Code("ix00");
        w.U32(24 + 8 * frames);
        w.U16(2);
        w.U16(0x0100);
        w.U32(frames);
        w.Code("00dc");
        w.Zeros(12);
        for (std::uint32_t i = first; i < first + frames; ++i) {
            w.U32(0);
            w.U32(FrameSize(i));
        }
    }
    w.End(movi);
    return ix;
}

void Idx1(Writer& w) {
    w.Code("idx1");
    w.U32(16 * (kFrames + kFrames * 3 / 2));
    for (std::uint32_t i = 0; i < kFrames; ++i) {
        w.Code("00dc"), w.U32(0x10), w.U32(4), w.U32(FrameSize(i));
        for (std::uint32_t a = 0; a < 1 + i % 2; ++a) {
            w.Code("01wb"), w.U32(0), w.U32(4), w.U32(418);
        }
    }
}

std::string WriteFile(const std::string& path, bool odml) {
    Writer w;
    std::size_t indx = 0;
    const Writer::Open riff = w.Begin("RIFF", "AVI ");
    Headers(w, odml, indx);
    const std::uint64_t ix1 = Part(w, odml, 0, odml ? kFrames / 2 : kFrames);
    Idx1(w);
    w.End(riff);
    if (odml) {
        const Writer::Open avix = w.Begin("RIFF", "AVIX");
        const std::uint64_t ix2 = Part(w, odml, kFrames / 2, kFrames / 2);
        w.End(avix);
        w.U64At(indx + 24, ix1);
        w.U64At(indx + 40, ix2);
        for (const std::size_t entry : {indx + 24, indx + 40}) {
            const std::uint32_t size = 32 + 8 * (kFrames / 2);
            w.U64At(entry + 8, size | std::uint64_t{kFrames / 2} << 32);
        }
    }
    w.WriteTo(path);
    return path;
}

// An hour at 25 fps in one part without "idx1": its one standard index follows the frames, and
// the super index names it 16,384 times.
std::string WriteRepeatedIndexFile(const std::string& path) {
    constexpr std::uint32_t kHourFrames = 3600 * 25;
    constexpr std::uint32_t kEntries = 16384;
    Writer w;
    std::size_t indx = 0;
    const Writer::Open riff = w.Begin("RIFF", "AVI ");
    Headers(w, true, indx, kEntries);
    const std::uint64_t ix = Part(w, true, 0, kHourFrames);
    w.End(riff);
    for (std::uint32_t i = 0; i < kEntries; ++i) {
        const std::size_t entry = indx + 24 + std::size_t{i} * 16;
        w.U64At(entry, ix);
        w.U64At(entry + 8,
                (32 + 8 * std::uint64_t{kHourFrames}) | std::uint64_t{kHourFrames} << 32);
    }
    w.WriteTo(path);
    return path;
}

void ReadIndex(benchmark::State& state, const std::string& path) {
    test::CountingFileLayer counter;
    std::int64_t reads = 0, seeks = 0;
    check::Rates rates;
    for (auto _ : state) {
        TFileStream64 file(path, kModeRead | kShareDenyNone);
        TCachedReadStream64 cache(&file);
        TVmAVIFileReader reader(&cache);
        reader.Scan();
        const check::IndexPlace place = check::FindIndexPlace(reader);
        counter.ResetCounts();
        rates = check::RatesFromIndex(cache, place, 25);
        reads += counter.Reads;
        seeks += counter.Seeks;
    }
    const auto perRun = benchmark::Counter::kAvgIterations;
    state.counters["reads"] = benchmark::Counter(static_cast<double>(reads), perRun);
    state.counters["seeks"] = benchmark::Counter(static_cast<double>(seeks), perRun);
    state.counters["frames"] = static_cast<double>(rates.Frames);
}

// A whole analysis as vidtag-cli runs it, with the index read for its rates or not.
void Analyse(benchmark::State& state, const std::string& path, bool rates) {
    SetStreamReading(true);
    SetRateReading(rates);
    test::CountingFileLayer counter;
    for (auto _ : state) {
        ProcessFile(path, kNoKind);
    }
    SetRateReading(false);
    const auto perRun = benchmark::Counter::kAvgIterations;
    state.counters["reads"] = benchmark::Counter(static_cast<double>(counter.Reads), perRun);
    state.counters["seeks"] = benchmark::Counter(static_cast<double>(counter.Seeks), perRun);
    state.counters["frames"] = static_cast<double>(RateReport.Frames);
}

// 1,000 copies of a small sample, each analysed with its rates and checked, as vidtag-cli
// --check does; printed as a line of its own, since its target is for the whole batch.
void CheckSmallFiles(const std::filesystem::path& folder) {
    constexpr int kFiles = 1000;
    const std::filesystem::path root = folder / "check-files";
    std::filesystem::remove_all(root);
    std::filesystem::create_directories(root);
    std::vector<std::string> files;
    for (int i = 0; i < kFiles; ++i) {
        std::string name = std::to_string(i);
        name.append(".avi");
        const std::filesystem::path path = root / name;
        std::filesystem::copy_file(std::filesystem::path(VIDTAG_SAMPLES_DIR) / "kind10-xvid.avi",
                                   path);
        files.push_back(path.string());
    }
    const check::Profile& profile = *check::FindProfile("divx-home-theater");
    SetStreamReading(true);
    SetRateReading(true);
    int retag = 0;
    const auto start = std::chrono::steady_clock::now();
    for (const std::string& file : files) {
        if (ProcessFile(file, kNoKind) == kStatusDone &&
            check::CheckStream(EngineState.CurrentKind, StreamReport, RateReport, profile, file)
                    .Outcome == check::Verdict::Retag) {
            ++retag;
        }
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    SetRateReading(false);
    std::printf("%d small files analysed and checked: %.3f s (%.3f ms/file), %d need a retag\n",
                kFiles, seconds, seconds * 1000 / kFiles, retag);
    std::filesystem::remove_all(root);
}

// The same with a sample that has an audio track, through the analysis job as vidtag-cli runs
// it: the stream, its rates and every audio track read, then the whole check (the stream, the
// audio tracks, the file's size) on a profile that judges audio.
void CheckSmallFilesWithAudio(const std::filesystem::path& folder, const char* sample) {
    constexpr int kFiles = 1000;
    const std::filesystem::path root = folder / "check-audio-files";
    std::filesystem::remove_all(root);
    std::filesystem::create_directories(root);
    std::vector<std::string> files;
    for (int i = 0; i < kFiles; ++i) {
        const std::filesystem::path path = root / (std::to_string(i) + ".avi");
        std::filesystem::copy_file(std::filesystem::path(VIDTAG_SAMPLES_DIR) / sample, path);
        files.push_back(path.string());
    }
    const check::Profile& profile = *check::FindProfile("xbox-360");
    JobOptions options;
    options.Read = Reading::Frames;
    options.Journal = JournalUse::Off;
    int audio = 0;
    const auto start = std::chrono::steady_clock::now();
    for (const std::string& file : files) {
        const JobResult result = vidtag::Analyse(file, options);
        check::CheckResult check = check::CheckStream(
            result.File.State.CurrentKind, result.File.Stream, result.File.Rates, profile, file);
        check::AddTrackProblems(check, result.File.Audio, result.File.FileSize, result.File.Index,
                                profile, file, result.File.State.CurrentCompression);
        audio += check.Outcome == check::Verdict::ReencodeAudio ? 1 : 0;
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("%d copies of %s analysed and checked with their tracks: %.3f s (%.3f ms/file), "
                "%d need the audio re-encoded\n",
                kFiles, sample, seconds, seconds * 1000 / kFiles, audio);
    std::filesystem::remove_all(root);
}

// An hour of MPEG-4 frames at 352x288 and 25 fps with runs of two B-frames: ten seconds
// encoded, then copied 360 times over. Empty when ffmpeg is missing or fails.
std::string MakeHourOfFrames(const std::filesystem::path& folder) {
    const std::filesystem::path hour = folder / "one-hour-frames.avi";
    if (std::filesystem::exists(hour)) {
        return hour.string();
    }
    const std::string piece = bench::ShellQuoted((folder / "ten-seconds.m4v").string());
    const std::string made = bench::ShellQuoted(hour.string());
    const bool ran =
        bench::TimeCommand("ffmpeg -y -f lavfi -i testsrc=size=352x288:rate=25 -t 10 -c:v mpeg4 "
                           "-bf 2 -f m4v " +
                           piece)
            .Ran &&
        bench::TimeCommand("ffmpeg -y -stream_loop 359 -fflags +genpts -r 25 -i " + piece +
                           " -c copy -vtag XVID " + made)
            .Ran;
    return ran ? hour.string() : std::string();
}

double ProcessorSeconds() {
    return static_cast<double>(std::clock()) / CLOCKS_PER_SEC;
}

// What --check does to the file (the analysis with every frame's first bytes and the rates,
// then the verdict), the best of three runs, against the best of three ffprobe runs.
void CompareWithFfprobe(const std::filesystem::path& folder) {
    if (!bench::HaveCommand("ffmpeg") || !bench::HaveCommand("ffprobe")) {
        std::printf("ffmpeg or ffprobe not found: --check is not compared with ffprobe\n");
        return;
    }
    const std::string hour = MakeHourOfFrames(folder);
    if (hour.empty()) {
        std::printf("ffmpeg could not make the one-hour file\n");
        return;
    }
    const check::Profile& profile = *check::FindProfile("divx-portable");
    SetStreamReading(true);
    SetRateReading(true);
    double wall = 1e9, cpu = 1e9;
    check::Verdict verdict = check::Verdict::Unknown;
    for (int run = 0; run < 3; ++run) {
        const double cpuStart = ProcessorSeconds();
        const auto start = std::chrono::steady_clock::now();
        ProcessFile(hour, kNoKind);
        verdict =
            check::CheckStream(EngineState.CurrentKind, StreamReport, RateReport, profile, hour)
                .Outcome;
        wall = std::min(
            wall, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        cpu = std::min(cpu, ProcessorSeconds() - cpuStart);
    }
    SetRateReading(false);
    const std::uint32_t frames = StreamReport.FramesRead;
    const std::uint32_t bRun = StreamReport.MaxBRun;
    bench::CommandTime probe{true, 1e9, 1e9};
    for (int run = 0; run < 3 && probe.Ran; ++run) {
        const bench::CommandTime time =
            bench::TimeCommand("ffprobe -v error -select_streams v -show_entries packet=flags "
                               "-of csv=p=0 " +
                               bench::ShellQuoted(hour));
        probe = {time.Ran, std::min(probe.Wall, time.Wall), std::min(probe.Cpu, time.Cpu)};
    }
    std::printf("one hour of frames (%u read, B-frames up to %u in a row, verdict %s): --check "
                "%.3f s wall, %.3f s processor; ffprobe -show_entries packet=flags %.3f s wall, "
                "%.3f s processor%s\n",
                frames, bRun, check::VerdictName(verdict), wall, cpu, probe.Wall, probe.Cpu,
                probe.Ran ? "" : " (ffprobe failed)");
}

} // namespace

int main(int argc, char** argv) {
    const char* dir = std::getenv("VIDTAG_BENCH_DIR");
    const std::filesystem::path folder =
        dir != nullptr ? dir : std::filesystem::temp_directory_path() / "vidtag-bench";
    std::filesystem::create_directories(folder);
    // The batch figures alone, without the long-file benchmarks.
    if (std::getenv("VIDTAG_BENCH_BATCH_ONLY") != nullptr) {
        CheckSmallFiles(folder);
        CheckSmallFilesWithAudio(folder, "kind10-xvid.avi");
        CheckSmallFilesWithAudio(folder, "audio-first-div3.avi");
        return 0;
    }
    for (const bool odml : {false, true}) {
        const std::string name = odml ? "opendml" : "idx1";
        const std::string path =
            WriteFile((folder / ("two-hours-" + name + ".avi")).string(), odml);
        benchmark::RegisterBenchmark(("IndexRates/" + name).c_str(), ReadIndex, path)
            ->Unit(benchmark::kMillisecond)
            ->Iterations(10);
        for (const bool rates : {false, true}) {
            std::string label = "Analyse/";
            label.append(name).append(rates ? "/check" : "/plain");
            // The engine's own Analyse job is in scope too.
            using AnalyseBench = void (*)(benchmark::State&, const std::string&, bool);
            benchmark::RegisterBenchmark(label.c_str(), static_cast<AnalyseBench>(Analyse), path,
                                         rates)
                ->Unit(benchmark::kMillisecond)
                ->Iterations(10);
        }
    }
    const std::string repeated = WriteRepeatedIndexFile((folder / "repeated-index.avi").string());
    benchmark::RegisterBenchmark("IndexRates/repeated-super-index", ReadIndex, repeated)
        ->Unit(benchmark::kMillisecond)
        ->Iterations(10);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    CheckSmallFiles(folder);
    CheckSmallFilesWithAudio(folder, "kind10-xvid.avi");
    CheckSmallFilesWithAudio(folder, "audio-first-div3.avi");
    CompareWithFfprobe(folder);
    return 0;
}
