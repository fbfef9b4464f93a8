#include "ScanSummary.h"

#include <cstdio>
#include <unistd.h>

namespace vidtag::bench {

// Colours only where a terminal shows them, as the library's own console output does.
ScanSummary::ScanSummary() : ConsoleReporter(::isatty(1) != 0 ? OO_ColorTabular : OO_Tabular) {}

void ScanSummary::ReportRuns(const std::vector<Run>& runs) {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
        if (run.run_type != Run::RT_Iteration || run.error_occurred || run.iterations == 0) {
            continue;
        }
        const auto iterations = static_cast<double>(run.iterations);
        Times times{run.real_accumulated_time / iterations, run.cpu_accumulated_time / iterations};
        // A command's own process only waits; the processes it started did the work.
        const auto child = run.counters.find(kChildCpu);
        if (child != run.counters.end()) {
            times.Cpu = child->second.value;
        }
        times_[run.run_name.function_name] = times;
    }
}

void ScanSummary::Print(std::ostream& out, std::int64_t bytes) const {
    const auto find = [this](const std::string& name) -> const Times* {
        const auto found = times_.find(name);
        return found != times_.end() ? &found->second : nullptr;
    };
    const auto megabytesPerSecond = [bytes](double seconds) {
        return seconds > 0 ? static_cast<double>(bytes) / seconds / 1e6 : 0.0;
    };
    char line[256];
    out << "\nDamaged file, " << bytes << " bytes (MB = 10^6 bytes; wall clock, and in brackets "
        << "processor time)\n";
    const Times* scan = find(kDamagedScan);
    const Times* cat = find(kCat);
    if (scan != nullptr) {
        std::snprintf(line, sizeof line,
                      "  scan          %8.3f s  %8.0f MB/s   (%.3f s  %.0f MB/s)\n", scan->Wall,
                      megabytesPerSecond(scan->Wall), scan->Cpu, megabytesPerSecond(scan->Cpu));
        out << line;
    }
    if (cat != nullptr) {
        std::snprintf(line, sizeof line,
                      "  cat           %8.3f s  %8.0f MB/s   (%.3f s  %.0f MB/s)\n", cat->Wall,
                      megabytesPerSecond(cat->Wall), cat->Cpu, megabytesPerSecond(cat->Cpu));
        out << line;
    }
    if (scan != nullptr && cat != nullptr && scan->Wall > 0 && scan->Cpu > 0) {
        std::snprintf(line, sizeof line, "  scan speed / cat speed: %.3f   (%.3f)\n",
                      cat->Wall / scan->Wall, cat->Cpu / scan->Cpu);
        out << line;
    }
    const Times* analysis = find(kDamagedAnalysis);
    const Times* probe = find(kFfprobe);
    if (probe != nullptr) {
        std::snprintf(line, sizeof line, "  ffprobe       %8.3f s                (%.3f s)\n",
                      probe->Wall, probe->Cpu);
        out << line;
    }
    if (analysis != nullptr && probe != nullptr && probe->Wall > 0 && probe->Cpu > 0) {
        std::snprintf(line, sizeof line,
                      "  analysis      %8.3f s, %.2f times ffprobe's   (%.3f s, %.2f times)\n",
                      analysis->Wall, analysis->Wall / probe->Wall, analysis->Cpu,
                      analysis->Cpu / probe->Cpu);
        out << line;
    }
}

} // namespace vidtag::bench
