#include "CodePage.h"

#include "os/Utf8Path.h"

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
    return os::Utf8FromWide(wide.data(), wideSize);
}

} // namespace vidtag
