#include "CommandTime.h"

#include <chrono>
#include <cstdlib>
#include <sys/resource.h>
#include <sys/wait.h>

namespace vidtag::bench {

namespace {

double ChildrenCpu() {
    rusage usage{};
    ::getrusage(RUSAGE_CHILDREN, &usage);
    const auto seconds = [](const timeval& t) {
        return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
    };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

} // namespace

CommandTime TimeCommand(const std::string& command) {
    const double cpuBefore = ChildrenCpu();
    const auto start = std::chrono::steady_clock::now();
    const int status = std::system(("exec >/dev/null 2>&1; " + command).c_str());
    const std::chrono::duration<double> wall = std::chrono::steady_clock::now() - start;
    CommandTime time;
    time.Ran = status != -1 && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    time.Wall = wall.count();
    time.Cpu = ChildrenCpu() - cpuBefore;
    return time;
}

std::string ShellQuoted(const std::string& word) {
    std::string quoted = "'";
    for (const char c : word) {
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return quoted + "'";
}

bool HaveCommand(const std::string& name) {
    return TimeCommand("command -v " + ShellQuoted(name)).Ran;
}

} // namespace vidtag::bench
