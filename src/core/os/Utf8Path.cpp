#include "os/Utf8Path.h"

#ifdef _WIN32
#include <windows.h>

#include <cwchar>
#endif

namespace vidtag::os {

std::filesystem::path PathFromUtf8(const std::string& text) {
    return std::filesystem::path(std::u8string(text.begin(), text.end()));
}

std::string Utf8FromPath(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

#ifdef _WIN32
std::wstring WideFromUtf8(const char* text) {
    const int size = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text, -1, nullptr, 0);
    if (size <= 0) {
        return {};
    }
    std::wstring wide(static_cast<std::size_t>(size), L'\0');
    ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text, -1, wide.data(), size);
    wide.resize(wide.size() - 1);
    return wide;
}

std::string Utf8FromWide(const wchar_t* text, int length) {
    const int counted = length < 0 ? static_cast<int>(std::wcslen(text)) : length;
    if (counted == 0) {
        return {};
    }
    const int size = ::WideCharToMultiByte(CP_UTF8, 0, text, counted, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(size > 0 ? size : 0), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text, counted, out.data(), size, nullptr, nullptr);
    return out;
}

// Names reach the layer as UTF-8 and go to the W functions: the A functions read them in the
// active code page, which is UTF-8 only where Windows honours the manifest's request (Windows 10
// version 1903 on). The \\?\ form is taken as it stands, so the name is first made whole
// (backslashes, no "." or "..") the way the system makes the short forms whole; a relative name
// is made absolute then too, so that a long one opens without LongPathsEnabled.
std::wstring SystemName(const char* name) {
    const std::wstring wide = WideFromUtf8(name);
    if (wide.empty() || wide.rfind(L"\\\\?\\", 0) == 0 || wide.rfind(L"\\\\.\\", 0) == 0) {
        return wide;
    }
    const DWORD size = ::GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
    if (size == 0) {
        return wide;
    }
    std::wstring full(size, L'\0');
    const DWORD length = ::GetFullPathNameW(wide.c_str(), size, full.data(), nullptr);
    if (length == 0 || length >= size) {
        return wide;
    }
    full.resize(length);
    if (full.rfind(L"\\\\", 0) != 0) {
        return L"\\\\?\\" + full;
    }
    // A share, or a device such as \\.\NUL that a reserved name stands for.
    const bool device = full.size() > 3 && (full[2] == L'.' || full[2] == L'?') && full[3] == L'\\';
    return device ? full : L"\\\\?\\UNC\\" + full.substr(2);
}
#endif

} // namespace vidtag::os
