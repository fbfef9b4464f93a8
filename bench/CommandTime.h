#pragma once

#include <string>

namespace vidtag::bench {

struct CommandTime {
    bool Ran = false; // the command started and exited with status 0
    double Wall = 0;  // seconds
    double Cpu = 0;   // seconds of user and system time of the processes it started
};

// Runs a shell command with its output discarded. The processor time is what a busy machine
// distorts least, so that a comparison of two programs on it still means something.
CommandTime TimeCommand(const std::string& command);

// A word the shell passes on unchanged, whatever it holds.
std::string ShellQuoted(const std::string& word);

// Whether the shell finds a program of that name.
bool HaveCommand(const std::string& name);

} // namespace vidtag::bench
