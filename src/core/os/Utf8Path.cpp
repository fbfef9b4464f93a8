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
#endif

} // namespace vidtag::os
