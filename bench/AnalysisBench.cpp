#include "BenchFiles.h"
#include "CommandTime.h"
#include "ScanSummary.h"
#include "avi/VmAVIFile.h"
#include "engine/Engine.h"
#include "streams/CachedReadStream64.h"
#include "support/CountingFileLayer.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

using namespace vidtag;

namespace {

constexpr std::uint16_t kAnalyseMode = kModeRead | kShareDenyNone;

void SetCallCounters(benchmark::State& state, const test::CountingFileLayer& counter) {
    const auto perRun = benchmark::Counter::kAvgIterations;
    state.counters["reads"] = benchmark::Counter(static_cast<double>(counter.Reads), perRun);
    state.counters["seeks"] = benchmark::Counter(static_cast<double>(counter.Seeks), perRun);
    state.counters["calls"] = benchmark::Counter(static_cast<double>(counter.Calls()), perRun);
    state.counters["bytes"] = benchmark::Counter(static_cast<double>(counter.BytesRead), perRun);
}

// The reader's walk alone, straight over the file or through the read cache.
void Scan(benchmark::State& state, const std::string& path, bool cached) {
    test::CountingFileLayer counter;
    std::int32_t nodes = 0;
    FourCC handler = 0;
    for (auto _ : state) {
        TFileStream64 file(path, kAnalyseMode);
        std::unique_ptr<TCachedReadStream64> cache;
        if (cached) {
            cache = std::make_unique<TCachedReadStream64>(&file);
        }
        TVmAVIFileReader reader(cached ? static_cast<TStream64*>(cache.get()) : &file);
        if (reader.ErrorCode == 0) {
            reader.Scan();
        }
        nodes = reader.NodeCount;
        handler = reader.VideoHandler();
    }
    SetCallCounters(state, counter);
    // The damaged file is scanned from end to end: this is the scan's speed.
    state.SetBytesProcessed(state.iterations() *
                            static_cast<std::int64_t>(std::filesystem::file_size(path)));
    state.counters["nodes"] = nodes;
    state.counters["found"] = handler != 0 ? 1 : 0;
}

// An analysis as vidtag-cli runs it; without frames, as the dialog runs it.
void Analyse(benchmark::State& state, const std::string& path, bool frames) {
    SetStreamReading(frames);
    test::CountingFileLayer counter;
    ConversionStatus status = 0;
    for (auto _ : state) {
        status = ProcessFile(path, 0);
    }
    SetCallCounters(state, counter);
    state.counters["status"] = status;
    state.counters["kind"] = EngineState.OriginalKind;
    state.counters["frames_read"] = StreamReport.FramesRead;
    SetStreamReading(false);
}

constexpr int kSmallFiles = 1000;

// kSmallFiles copies of a small sample, made once.
std::vector<std::string> SmallFiles(const std::string& folder) {
    const std::filesystem::path dir = std::filesystem::path(folder) / "small";
    std::filesystem::create_directories(dir);
    std::vector<std::string> paths;
    for (int i = 0; i < kSmallFiles; ++i) {
        const auto path = dir / ("small-" + std::to_string(i) + ".avi");
        if (!std::filesystem::exists(path)) {
            std::filesystem::copy_file(std::string(VIDTAG_SAMPLES_DIR) + "/stream-vlc-remux.avi",
                                       path);
        }
        paths.push_back(path.string());
    }
    return paths;
}

// Every small file analysed once per iteration, as vidtag-cli -r over a folder would.
void AnalyseSmall(benchmark::State& state, const std::vector<std::string>& paths, bool frames) {
    SetStreamReading(frames);
    test::CountingFileLayer counter;
    for (auto _ : state) {
        for (const std::string& path : paths) {
            ProcessFile(path, 0);
        }
    }
    SetCallCounters(state, counter);
    state.counters["frames_read"] = StreamReport.FramesRead;
    SetStreamReading(false);
}

// Another program over the same file, for comparison: wall clock as the benchmark's time, the
// processor time of what it started as a counter.
void Command(benchmark::State& state, const std::string& command) {
    double cpu = 0;
    for (auto _ : state) {
        const bench::CommandTime time = bench::TimeCommand(command);
        if (!time.Ran) {
            state.SkipWithError(("failed: " + command).c_str());
            break;
        }
        state.SetIterationTime(time.Wall);
        cpu += time.Cpu;
    }
    state.counters[bench::kChildCpu] = benchmark::Counter(cpu, benchmark::Counter::kAvgIterations);
}

void RegisterComparisons(const std::string& damaged) {
    const std::string file = bench::ShellQuoted(damaged);
    benchmark::RegisterBenchmark(bench::kCat.c_str(), Command, "cat " + file + " > /dev/null")
        ->Unit(benchmark::kMillisecond)
        ->UseManualTime()
        ->Iterations(3);
    if (!bench::HaveCommand("ffprobe")) {
        std::cerr << "ffprobe not found: the analysis is not compared with it\n";
        return;
    }
    benchmark::RegisterBenchmark(bench::kFfprobe.c_str(), Command,
                                 "ffprobe -v error -show_format -show_streams " + file)
        ->Unit(benchmark::kMillisecond)
        ->UseManualTime()
        ->Iterations(3);
}

} // namespace

// VIDTAG_BENCH_MIB sets the size of the files (512 MiB unless set), VIDTAG_BENCH_DIR where they
// go. The uncached walk over the damaged file takes minutes; it runs only with VIDTAG_BENCH_SLOW.
int main(int argc, char** argv) {
    const char* mib = std::getenv("VIDTAG_BENCH_MIB");
    const char* dir = std::getenv("VIDTAG_BENCH_DIR");
    const bool slow = std::getenv("VIDTAG_BENCH_SLOW") != nullptr;
    const bench::BenchFiles files = bench::MakeBenchFiles(
        dir != nullptr ? dir : (std::filesystem::temp_directory_path() / "vidtag-bench").string(),
        mib != nullptr ? std::atoll(mib) : 512);

    for (const bool damaged : {false, true}) {
        const std::string& path = damaged ? files.Damaged : files.Healthy;
        const std::string name = damaged ? "damaged" : "healthy";
        // The damaged file is compared with other programs' wall clock times.
        benchmark::RegisterBenchmark(("Analyse/" + name).c_str(), Analyse, path, true)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime()
            ->Iterations(damaged ? 3 : 20);
        benchmark::RegisterBenchmark(("Analyse/" + name + "/no-frames").c_str(), Analyse, path,
                                     false)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime()
            ->Iterations(damaged ? 3 : 20);
        benchmark::RegisterBenchmark(("Scan/" + name + "/cached").c_str(), Scan, path, true)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime()
            ->Iterations(damaged ? 3 : 20);
        if (!damaged || slow) {
            benchmark::RegisterBenchmark(("Scan/" + name + "/direct").c_str(), Scan, path, false)
                ->Unit(benchmark::kMillisecond)
                ->Iterations(damaged ? 1 : 20);
        }
    }
    const std::vector<std::string> small = SmallFiles(
        dir != nullptr ? dir : (std::filesystem::temp_directory_path() / "vidtag-bench").string());
    for (const bool frames : {true, false}) {
        const std::string name = std::string("Analyse/1000-small") + (frames ? "" : "/no-frames");
        benchmark::RegisterBenchmark(name.c_str(), AnalyseSmall, small, frames)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime()
            ->Iterations(5);
    }
    RegisterComparisons(files.Damaged);
    benchmark::Initialize(&argc, argv);
    bench::ScanSummary summary;
    benchmark::RunSpecifiedBenchmarks(&summary);
    summary.Print(std::cout, files.Size);
    benchmark::Shutdown();
    return 0;
}
