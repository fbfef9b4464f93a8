#include "CodePage.h"

#include <windows.h>

namespace vidtag {

std::string ActiveCodePageToUtf8(const std::string& text) {
    if (text.empty() || ::GetACP() == CP_UTF8) {
        return text;
    }
    const int length = static_cast<int>(text.size());
    const int wideSize = ::MultiByteToWideChar(CP_ACP, 0, text.data(), length, nullptr, 0);
    if (wideSize <= 0) {
        return {};
    }
    std::wstring wide(static_cast<std::size_t>(wideSize), L'\0');
    ::MultiByteToWideChar(CP_ACP, 0, text.data(), length, wide.data(), wideSize);
    const int size =
        ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), wideSize, nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<std::size_t>(size > 0 ? size : 0), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), wideSize, utf8.data(), size, nullptr, nullptr);
    return utf8;
}

} // namespace vidtag
