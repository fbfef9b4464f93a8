#include "os/SystemError.h"

#include <system_error>

namespace vidtag::os {

namespace {
thread_local int lastError = 0;
}

int LastSystemError() {
    return lastError;
}

void RememberSystemError(int code) {
    lastError = code;
}

bool IsSharingViolation(int code) {
#ifdef _WIN32
    // ERROR_SHARING_VIOLATION; POSIX has no sharing modes.
    return code == 32;
#else
    (void)code;
    return false;
#endif
}

std::string SystemErrorText(int code) {
    if (code == kNotRegularFile) {
        return "Not a regular file";
    }
    std::string text = std::system_category().message(code);
    // Windows ends its messages with ".\r\n".
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == '.')) {
        text.pop_back();
    }
    return text;
}

} // namespace vidtag::os
