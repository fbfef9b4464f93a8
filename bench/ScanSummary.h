#pragma once

#include <benchmark/benchmark.h>

#include <cstdint>
#include <map>
#include <ostream>
#include <string>
#include <vector>

namespace vidtag::bench {

// The names under which the damaged file's scan, analysis and the two programs it is compared
// with run.
inline const std::string kDamagedScan = "Scan/damaged/cached";
inline const std::string kDamagedAnalysis = "Analyse/damaged";
inline const std::string kCat = "Read/damaged/cat";
inline const std::string kFfprobe = "Probe/damaged/ffprobe";
// The counter in which a command's benchmark leaves the processor time of what it started.
inline const std::string kChildCpu = "child_cpu_s";

// Shows every result as the console reporter does and keeps the times of the runs the summary
// compares: the damaged scan's speed beside cat's, the analysis beside ffprobe's.
class ScanSummary : public benchmark::ConsoleReporter {
  public:
    ScanSummary();
    void ReportRuns(const std::vector<Run>& runs) override;
    // The summary for files of `bytes` bytes; a comparison whose runs are missing is left out.
    void Print(std::ostream& out, std::int64_t bytes) const;

  private:
    struct Times {
        double Wall = 0; // seconds per iteration
        double Cpu = 0;
    };
    std::map<std::string, Times> times_;
};

} // namespace vidtag::bench
