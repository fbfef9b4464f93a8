#include "Settings.h"

#include "FrontState.h"

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace vidtag {

namespace {

constexpr int kTextBufferSize = 1024;

void LoadTexts() {
    const UINT base = Language == 1 ? VT_TEXT_BASE_RU : VT_TEXT_BASE_EN;
    char buffer[kTextBufferSize];
    for (int n = 1; n <= VT_TEXT_COUNT; ++n) {
        const int length = ::LoadStringA(ResourceModule(), base + n, buffer, kTextBufferSize);
        Texts[n].assign(buffer, length > 0 ? length : 0);
    }
}

// The first 4 bytes of the value whatever its type and size, the missing ones zero, so that a
// value written by hand as a single byte 01 means 1 as the DWORD does.
DWORD StoredValue(HKEY key, const char* name) {
    DWORD size = 0;
    if (::RegQueryValueExA(key, name, nullptr, nullptr, nullptr, &size) != ERROR_SUCCESS ||
        size == 0) {
        return 0;
    }
    std::vector<BYTE> data(size);
    if (::RegQueryValueExA(key, name, nullptr, nullptr, data.data(), &size) != ERROR_SUCCESS) {
        return 0;
    }
    DWORD value = 0;
    std::memcpy(&value, data.data(), std::min<std::size_t>(size, sizeof value));
    return value;
}

// Skips blanks, then takes one argument; returns the position after it.
const char* TakeArgument(const char* p, std::string& argument) {
    argument.clear();
    while (*p == ' ' || *p == '\t') {
        ++p;
    }
    bool quoted = false;
    for (; *p != '\0'; ++p) {
        if (*p == '"') {
            quoted = !quoted;
        } else if ((*p == ' ' || *p == '\t') && !quoted) {
            break;
        } else {
            argument += *p;
        }
    }
    return p;
}

} // namespace

void ReadSettings() {
    Language = 0;
    HKEY key = nullptr;
    if (::RegOpenKeyExA(HKEY_CURRENT_USER, kSettingsKey, 0, KEY_QUERY_VALUE, &key) ==
        ERROR_SUCCESS) {
        Language = StoredValue(key, "Language");
        ::RegCloseKey(key);
    }
    if (Language != 0 && Language != 1) {
        Language = 0;
    }
    LoadTexts();
}

void WriteSettings() {
    HKEY key = nullptr;
    if (::RegCreateKeyExA(HKEY_CURRENT_USER, kSettingsKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                          KEY_ALL_ACCESS, nullptr, &key, nullptr) != ERROR_SUCCESS) {
        return;
    }
    const DWORD value = Language;
    ::RegSetValueExA(key, "Language", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                     sizeof value);
    ::RegCloseKey(key);
}

std::string FirstArgument(const char* commandLine) {
    std::string argument;
    if (commandLine == nullptr) {
        return argument;
    }
    const char* rest = TakeArgument(commandLine, argument);
    TakeArgument(rest, argument);
    return argument;
}

} // namespace vidtag
