#include "OutputCheck.h"

#include "CliTexts.h"
#include "ConsoleText.h"
#include "os/SystemError.h"

#include <cerrno>
#include <cstdio>
#include <iostream>

#ifndef _WIN32
#include <fcntl.h>
#include <unistd.h>
#endif

namespace vidtag::cli {

namespace {
int outputError = 0;
}

bool ReserveStandardDescriptors() {
    bool closed = false;
#ifndef _WIN32
    for (int fd = 0; fd <= 2; ++fd) {
        if (::fcntl(fd, F_GETFD) == -1 && errno == EBADF) {
            // The lowest free number is fd itself, the ones below being open by now.
            ::open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
            closed = closed || fd > 0;
        }
    }
#endif
    return closed;
}

void FlushOutput() {
    errno = 0;
    std::cout.flush();
    if ((std::fflush(stdout) != 0 || std::ferror(stdout)) && outputError == 0) {
        outputError = errno != 0 ? errno : EIO;
    }
}

int FinishOutput(int status, bool outputClosedAtStart, int language) {
    FlushOutput();
    if (!std::cout && outputError == 0) {
        outputError = EIO;
    }
    if (outputClosedAtStart) {
        outputError = EBADF;
    }
    if (outputError != 0) {
        PutText(stderr, "vidtag-cli: " +
                            Fill(MessageText(language, Message::ReportNotWritten),
                                 os::SystemErrorText(outputError)) +
                            "\n");
    }
    // Errors are part of the report too; when they are lost, so is the run's account.
    const bool errorsLost = std::fflush(stderr) != 0 || std::ferror(stderr);
    return (outputError != 0 || errorsLost) && status == 0 ? 1 : status;
}

} // namespace vidtag::cli
