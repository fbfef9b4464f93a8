#pragma once

#include <string>
#include <string_view>

namespace vidtag::cli {

bool IsValidUtf8(std::string_view text);

// A name as one line of text that cannot steer the terminal: control characters become \n, \t,
// \r or \xHH, and bytes that are not UTF-8 become \xHH. Backslashes stay, as Windows paths need.
std::string DisplayName(std::string_view name);

// The name as one word of the shell the user types commands into, so that a command can be
// pasted: bare when no character in it means anything to the shell; else in single quotes, or,
// when it holds control characters or bytes that are not UTF-8, in $'...' with DisplayName's
// escapes. On Windows in double quotes, which no Windows name contains.
std::string ShellWord(std::string_view name);

std::string Base64(std::string_view bytes);

} // namespace vidtag::cli
