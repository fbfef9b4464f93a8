#pragma once

#include "os/FileLayer.h"
#include "os/SystemError.h"

namespace vidtag {

// How long a write waits for another process's lock on the same file.
constexpr int kLockWaitMs = 2000;

// The exclusive lock a write holds on a file, let go when it goes out of scope; declared after
// the stream whose handle it locks, so that it goes first.
class FileLock {
  public:
    FileLock() = default;
    ~FileLock() {
        if (held_) {
            os::Files().Unlock(handle_);
        }
    }
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

    // False with the system's reason in Error.
    bool Take(os::FileHandle handle) {
        os::RememberSystemError(0);
        held_ = os::Files().Lock(handle, kLockWaitMs);
        handle_ = handle;
        Error = held_ ? 0 : os::LastSystemError();
        return held_;
    }
    int Error = 0;

  private:
    os::FileHandle handle_ = os::InvalidHandle();
    bool held_ = false;
};

} // namespace vidtag
