// Times 1,000 conversions of small files, the way vidtag-cli runs them (analyse, convert), with
// the conversion journal and without it; the journal may cost one extra flush per conversion.
#include "engine/Engine.h"
#include "support/FaultyFileLayer.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

using namespace vidtag;
namespace fs = std::filesystem;

namespace {

constexpr int kFiles = 1000;

struct Measured {
    double Seconds = 0;
    int Flushes = 0;
    int Writes = 0;
    int Failures = 0;
};

Measured ConvertAll(const std::vector<std::string>& files, JournalUse use) {
    SetJournalUse(use);
    test::FaultyFileLayer counter; // counts, makes no faults
    Measured measured;
    const auto start = std::chrono::steady_clock::now();
    for (const std::string& file : files) {
        if (ProcessFile(file, kNoKind) != kStatusDone || ProcessFile(file, 12) != kStatusDone) {
            ++measured.Failures;
        }
    }
    measured.Seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    measured.Flushes = counter.Flushes;
    measured.Writes = counter.Writes;
    return measured;
}

void Report(const char* name, const Measured& m) {
    std::printf("%-16s %8.3f s  %6.3f ms/file  %.2f flushes/file  %.2f writes/file  %d failed\n",
                name, m.Seconds, m.Seconds * 1000 / kFiles, static_cast<double>(m.Flushes) / kFiles,
                static_cast<double>(m.Writes) / kFiles, m.Failures);
}

} // namespace

int main() {
    const char* dir = std::getenv("VIDTAG_BENCH_DIR");
    const fs::path root = fs::path(dir != nullptr ? dir : "bench-files") / "conversions";
    fs::remove_all(root);
    fs::create_directories(root);
    const std::string journal = (root / "journal.jsonl").string();
    setenv("VIDTAG_JOURNAL", journal.c_str(), 1);

    std::vector<std::string> without;
    std::vector<std::string> with;
    for (int i = 0; i < kFiles; ++i) {
        for (auto* list : {&without, &with}) {
            std::string name(list == &with ? "j" : "n");
            name.append(std::to_string(i)).append(".avi");
            const fs::path path = root / name;
            fs::copy_file(fs::path(VIDTAG_SAMPLES_DIR) / "kind10-xvid.avi", path);
            list->push_back(path.string());
        }
    }
    std::printf("%d conversions of %ju-byte files (analysis and conversion each), %s\n", kFiles,
                static_cast<std::uintmax_t>(fs::file_size(without.front())), root.string().c_str());
    Report("without journal", ConvertAll(without, JournalUse::Off));
    Report("with journal", ConvertAll(with, JournalUse::Required));
    std::printf("journal: %ju bytes\n", static_cast<std::uintmax_t>(fs::file_size(journal)));
    fs::remove_all(root);
    return 0;
}
