#pragma once

#include <string>

namespace vidtag::os {

// The system's own reason for the last failed open of this thread: an errno value, or a
// GetLastError() value on Windows; 0 when the native layer recorded none. The engine turns
// every failure into a status; front ends read this to say why a file that exists could not be
// opened.
int LastSystemError();
void RememberSystemError(int code);

// Recorded for a name that is neither a regular file nor a folder (a pipe, socket or device):
// reading it could block for ever or have side effects.
constexpr int kNotRegularFile = -1;

// Whether the code says that another program holds the file open without sharing it.
bool IsSharingViolation(int code);

// The system's text for a code, without a trailing full stop.
std::string SystemErrorText(int code);

} // namespace vidtag::os
