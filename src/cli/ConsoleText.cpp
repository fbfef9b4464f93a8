#include "ConsoleText.h"

#ifdef _WIN32
#include <io.h>
#include <windows.h>

#include <string>
#endif

namespace vidtag::cli {

namespace {

#ifdef _WIN32
// Bytes that are not UTF-8 become U+FFFD rather than cutting the line short.
std::wstring WideText(std::string_view text) {
    const int length = static_cast<int>(text.size());
    const int size = ::MultiByteToWideChar(CP_UTF8, 0, text.data(), length, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(size > 0 ? size : 0), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, text.data(), length, wide.data(), size);
    return wide;
}

bool WroteToConsole(std::FILE* stream, std::string_view text) {
    const auto handle = reinterpret_cast<HANDLE>(::_get_osfhandle(::_fileno(stream)));
    DWORD mode = 0;
    if (handle == INVALID_HANDLE_VALUE || !::GetConsoleMode(handle, &mode)) {
        return false;
    }
    // What is still buffered was written first.
    std::fflush(stream);
    const std::wstring wide = WideText(text);
    for (std::size_t done = 0; done < wide.size();) {
        DWORD written = 0;
        const auto left = static_cast<DWORD>(wide.size() - done);
        if (!::WriteConsoleW(handle, wide.data() + done, left, &written, nullptr) || written == 0) {
            break;
        }
        done += written;
    }
    return true;
}
#endif

} // namespace

void PutText(std::FILE* stream, std::string_view text) {
#ifdef _WIN32
    if (WroteToConsole(stream, text)) {
        return;
    }
#endif
    std::fwrite(text.data(), 1, text.size(), stream);
}

} // namespace vidtag::cli
