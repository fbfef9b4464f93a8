#pragma once

#include <string>

namespace vidtag {

// The registry key under HKEY_CURRENT_USER that holds the value "Language".
inline constexpr const char* kSettingsKey = "Software\\Orvelle\\Vidtag";

// Reads Language as the value's first 4 bytes, whatever its type, the missing bytes zero
// (anything but 0 and 1, or nothing, is English), and loads its Texts.
void ReadSettings();
// Stores Language; a key that cannot be written loses the choice silently.
void WriteSettings();

// The first argument after the program's own name: blanks separate, double quotes group blanks
// and are dropped.
std::string FirstArgument(const char* commandLine);

} // namespace vidtag
