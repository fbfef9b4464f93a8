#include "ProgressLine.h"

#include "ConsoleText.h"
#include "PathText.h"

#include <cstdio>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace vidtag::cli {

namespace {

constexpr auto kShowAfter = std::chrono::seconds(1);
constexpr auto kRedrawEvery = std::chrono::milliseconds(100);
// Room for the folder on an 80-column terminal beside the counts.
constexpr std::size_t kFolderWidth = 56;

bool IsTerminal(std::FILE* stream) {
#ifdef _WIN32
    return _isatty(_fileno(stream)) != 0;
#else
    return isatty(fileno(stream)) != 0;
#endif
}

std::string FolderOf(const std::string& path) {
    const std::size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? "." : path.substr(0, slash == 0 ? 1 : slash);
}

// The end of the folder, which tells folders apart, cut at a character's start.
std::string Shortened(const std::string& folder) {
    if (folder.size() <= kFolderWidth) {
        return folder;
    }
    std::size_t from = folder.size() - (kFolderWidth - 3);
    while (from < folder.size() && (static_cast<unsigned char>(folder[from]) & 0xC0) == 0x80) {
        ++from;
    }
    return "..." + folder.substr(from);
}

} // namespace

ProgressLine::ProgressLine(bool shown, std::size_t found)
    : shown_(shown), found_(found), start_(std::chrono::steady_clock::now()),
      stdoutIsTerminal_(IsTerminal(stdout)) {}

void ProgressLine::Update(std::size_t done, const std::string& path) {
    if (!shown_) {
        return;
    }
    const auto now = std::chrono::steady_clock::now();
    if (now - start_ < kShowAfter || now - drawn_ < kRedrawEvery) {
        return;
    }
    std::string line(1, '\r');
    line.append(std::to_string(done)).append(1, '/').append(std::to_string(found_));
    // The folder in the form the reports show names in: a name's own escape sequences or line
    // feeds would steer the terminal.
    line.append(1, ' ').append(Shortened(DisplayName(FolderOf(path)))).append("\x1b[K");
    PutText(stderr, line);
    std::fflush(stderr);
    drawn_ = now;
    visible_ = true;
}

void ProgressLine::Clear() {
    if (visible_) {
        PutText(stderr, "\r\x1b[K");
        std::fflush(stderr);
        visible_ = false;
    }
}

void ProgressLine::ClearBefore(bool onStderr) {
    if (onStderr || stdoutIsTerminal_) {
        Clear();
    }
}

bool ProgressWanted(bool quiet, bool json) {
    return !quiet && IsTerminal(stderr) && !(json && !IsTerminal(stdout));
}

} // namespace vidtag::cli
