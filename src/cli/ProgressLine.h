#pragma once

#include <chrono>
#include <cstddef>
#include <string>

namespace vidtag::cli {

// "12/1000 /mnt/share/films/1998" on stderr, redrawn in place: the files done of those found,
// and the folder of the file the run waits for. Drawn only once the run has taken about a
// second, so that a short run never shows it.
class ProgressLine {
  public:
    ProgressLine(bool shown, std::size_t found);

    // The run has finished `done` files and waits for the one at path.
    void Update(std::size_t done, const std::string& path);
    // Takes the line away before anything else is printed; the next Update draws it again.
    void Clear();
    // Before a report: the line goes only when the report shares its terminal, so that output
    // into a file or a pipe leaves it standing.
    void ClearBefore(bool onStderr);

  private:
    bool shown_;
    std::size_t found_;
    std::chrono::steady_clock::time_point start_;
    std::chrono::steady_clock::time_point drawn_;
    bool visible_ = false;
    bool stdoutIsTerminal_;
};

// Whether a run shows the progress line: only to a person watching stderr, never with -q, and
// not with --json when stdout goes to a program.
bool ProgressWanted(bool quiet, bool json);

} // namespace vidtag::cli
