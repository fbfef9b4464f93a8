#include "support/ShellCommand.h"

#include <sys/wait.h>

namespace vidtag::test {

std::string ShellQuote(std::string_view text) {
    std::string quoted = "'";
    for (const char c : text) {
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return quoted + "'";
}

CommandResult FinishCommand(std::FILE* pipe) {
    CommandResult result;
    if (pipe == nullptr) {
        return result;
    }
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) {
        result.Out.append(buffer, n);
    }
    const int status = pclose(pipe);
    result.Exit = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

CommandResult RunCommand(const std::string& command) {
    return FinishCommand(popen(command.c_str(), "r"));
}

std::string CliCommand(const std::string& cliPath, const std::vector<std::string>& arguments) {
    std::string command = ShellQuote(cliPath);
    for (const std::string& argument : arguments) {
        command.append(" ").append(ShellQuote(argument));
    }
    return command;
}

} // namespace vidtag::test
