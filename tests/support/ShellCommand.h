#pragma once

// Running programs through the shell, for the tests that drive vidtag-cli and ffmpeg from the
// outside (POSIX only).
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace vidtag::test {

// text in single quotes, each quote inside it closed, escaped and opened again.
std::string ShellQuote(std::string_view text);

struct CommandResult {
    int Exit = -1; // -1 when the command did not exit normally
    std::string Out;
};

// Reads the pipe to its end and closes it. A null pipe gives an empty result.
CommandResult FinishCommand(std::FILE* pipe);

// Runs a shell command line and collects its stdout.
CommandResult RunCommand(const std::string& command);

// The quoted path to vidtag-cli and the quoted arguments, ready to append redirections to.
std::string CliCommand(const std::string& cliPath, const std::vector<std::string>& arguments);

} // namespace vidtag::test
