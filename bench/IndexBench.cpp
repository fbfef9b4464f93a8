// Rebuilds the index of a cut AVI file of at least 500 MB by reading its chunk headers, against
// FFmpeg's remux of the same file (ffmpeg -i cut.avi -map 0 -c copy out.avi), in one run; says
// the bytes each writes and the read calls the rebuild makes. Goal: at most a tenth of the
// remux's time. The files are made in VIDTAG_BENCH_DIR (default: the system's temporary folder)
// and kept there for the next run.
#include "CommandTime.h"
#include "engine/IndexJob.h"
#include "support/FaultyFileLayer.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

using namespace vidtag;
namespace fs = std::filesystem;

namespace {

constexpr std::uintmax_t kWanted = 520ull * 1024 * 1024;

fs::path Folder() {
    const char* named = std::getenv("VIDTAG_BENCH_DIR");
    const fs::path folder =
        named != nullptr ? fs::path(named) : fs::temp_directory_path() / "vidtag-index-bench";
    fs::create_directories(folder);
    return folder;
}

// A minute of MPEG-4 and MP3, looped without re-encoding until the file is large enough.
bool MakeWhole(const fs::path& folder, fs::path& whole) {
    whole = folder / "whole.avi";
    if (fs::exists(whole) && fs::file_size(whole) >= kWanted) {
        return true;
    }
    const fs::path minute = folder / "minute.avi";
    const std::string make =
        "ffmpeg -y -v error -f lavfi -i testsrc2=size=720x400:rate=25 -f lavfi -i "
        "sine=frequency=440:sample_rate=44100 -t 60 -c:v mpeg4 -q:v 2 -g 250 -c:a libmp3lame "
        "-b:a 128k " +
        bench::ShellQuoted(minute.string());
    if (!bench::TimeCommand(make).Ran) {
        return false;
    }
    const std::uintmax_t loops = kWanted / fs::file_size(minute) + 1;
    const std::string loop = "ffmpeg -y -v error -stream_loop " + std::to_string(loops) + " -i " +
                             bench::ShellQuoted(minute.string()) + " -map 0 -c copy " +
                             bench::ShellQuoted(whole.string());
    return bench::TimeCommand(loop).Ran && fs::file_size(whole) >= kWanted;
}

} // namespace

int main() {
    if (!bench::HaveCommand("ffmpeg")) {
        std::printf("ffmpeg is not installed\n");
        return 1;
    }
    const fs::path folder = Folder();
    fs::path whole;
    if (!MakeWhole(folder, whole)) {
        std::printf("the file could not be made\n");
        return 1;
    }
    // Cut where a download stops: inside a chunk, nine tenths of the way.
    const fs::path cut = folder / "cut.avi";
    fs::copy_file(whole, cut, fs::copy_options::overwrite_existing);
    fs::resize_file(cut, fs::file_size(whole) / 10 * 9 + 7);
    const std::uintmax_t length = fs::file_size(cut);
    const fs::path remuxed = folder / "remuxed.avi";
    const std::string remux = "ffmpeg -y -v error -i " + bench::ShellQuoted(cut.string()) +
                              " -map 0 -c copy " + bench::ShellQuoted(remuxed.string());
    // Both read the file once before timing, so that both find it in the cache.
    bench::TimeCommand("cat " + bench::ShellQuoted(cut.string()) + " >/dev/null");
    const bench::CommandTime ffmpeg = bench::TimeCommand(remux);

    JobOptions options;
    options.Journal = JournalUse::Required;
    options.JournalFile = (folder / "journal.jsonl").string();
    test::FaultyFileLayer counter; // counts, makes no faults
    const auto start = std::chrono::steady_clock::now();
    const IndexResult result = RebuildIndex(cut.string(), options);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

    std::printf("cut file           %12ju bytes\n", length);
    std::printf("ffmpeg remux       %9.3f s wall %8.3f s cpu  %12ju bytes written\n", ffmpeg.Wall,
                ffmpeg.Cpu, ffmpeg.Ran ? fs::file_size(remuxed) : 0);
    std::printf("vidtag rebuild     %9.3f s wall               %12lld bytes written, %d reads, "
                "%d writes, %u entries (%s)\n",
                seconds, static_cast<long long>(result.BytesWritten), counter.Reads, counter.Writes,
                result.Plan.Entries, IndexReasonName(result.Reason));
    if (ffmpeg.Wall > 0) {
        std::printf("rebuild / remux    %9.4f (goal: at most 0.1)\n", seconds / ffmpeg.Wall);
    }
    fs::remove(remuxed);
    fs::remove(cut);
    return result.Reason == IndexReason::None ? 0 : 1;
}
