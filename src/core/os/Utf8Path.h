#pragma once

#include <filesystem>
#include <string>

// File names travel through Vidtag as UTF-8; these are the only places where they change form.
namespace vidtag::os {

// std::filesystem reads and writes narrow names in the locale's encoding (the ANSI code page on
// Windows); going through char8_t keeps them UTF-8 on every platform.
std::filesystem::path PathFromUtf8(const std::string& text);
std::string Utf8FromPath(const std::filesystem::path& path);

#ifdef _WIN32
// Empty when the text is not valid UTF-8, which no file is called.
std::wstring WideFromUtf8(const char* text);
// length -1: up to the terminating NUL, which is not copied.
std::string Utf8FromWide(const wchar_t* text, int length = -1);
// The form every file call hands to the W functions: the full path in the \\?\ form, the only
// one longer than MAX_PATH that every Windows opens, whether the name was relative or absolute.
// Names already in the \\?\ or \\.\ form, and devices, are taken as they stand.
std::wstring SystemName(const char* name);
#endif

} // namespace vidtag::os
