#include "os/FileLayer.h"
#include "os/SystemError.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#ifdef __linux__
#include <linux/fs.h>
#include <sys/ioctl.h>
#endif

namespace vidtag::os {

namespace {

// POSIX has no sharing modes: the Share argument is accepted and ignored, so other openers can
// always read and write.
class PosixFileLayer final : public FileLayer {
    static constexpr FileTime kNanoseconds = 1000000000;

    static FileHandle Refused(int code) {
        RememberSystemError(code);
        return InvalidHandle();
    }

    // Out of descriptors, the open waits for one that another thread closes rather than fail the
    // file: a low descriptor limit slows a run down, it does not change its results.
    static int OpenWaitingForDescriptor(const char* name, int flags) {
        constexpr auto kStep = std::chrono::milliseconds(5);
        constexpr int kSteps = 2000;
        int fd = ::open(name, flags);
        for (int step = 0; fd < 0 && (errno == EMFILE || errno == ENFILE) && step < kSteps;
             ++step) {
            std::this_thread::sleep_for(kStep);
            fd = ::open(name, flags);
        }
        return fd;
    }

  public:
    FileHandle Open(const char* name, Access access, Share) override {
        // A pipe, socket or device is never opened: opening a FIFO waits for a writer, and
        // opening some devices acts on the hardware. The open itself does not block either, and
        // the type is checked again on the descriptor, in case the name changed in between.
        struct stat info {};
        if (::stat(name, &info) == 0 && !S_ISREG(info.st_mode)) {
            return Refused(S_ISDIR(info.st_mode) ? EISDIR : kNotRegularFile);
        }
        const int flags = access == Access::Read    ? O_RDONLY
                          : access == Access::Write ? O_WRONLY
                                                    : O_RDWR;
        const int fd = OpenWaitingForDescriptor(name, flags | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
        if (fd < 0) {
            return Refused(errno);
        }
        if (::fstat(fd, &info) != 0) {
            const int code = errno;
            ::close(fd);
            return Refused(code);
        }
        if (!S_ISREG(info.st_mode)) {
            ::close(fd);
            return Refused(S_ISDIR(info.st_mode) ? EISDIR : kNotRegularFile);
        }
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
        return fd;
    }

    FileHandle Create(const char* name) override {
        const int fd = ::open(name, O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
        return fd < 0 ? InvalidHandle() : fd;
    }

    std::uint32_t Read(FileHandle handle, void* buffer, std::uint32_t count) override {
        ssize_t done;
        do {
            done = ::read(handle, buffer, count);
        } while (done < 0 && errno == EINTR);
        return done < 0 ? 0 : static_cast<std::uint32_t>(done);
    }

    std::uint32_t Write(FileHandle handle, const void* buffer, std::uint32_t count) override {
        ssize_t done;
        do {
            done = ::write(handle, buffer, count);
        } while (done < 0 && errno == EINTR);
        return done < 0 ? 0 : static_cast<std::uint32_t>(done);
    }

    std::int64_t Seek(FileHandle handle, std::int64_t offset, int origin) override {
        const int whence = origin == 0 ? SEEK_SET : origin == 1 ? SEEK_CUR : SEEK_END;
        return ::lseek(handle, static_cast<off_t>(offset), whence);
    }

    bool SetEndOfFile(FileHandle handle) override {
        const off_t here = ::lseek(handle, 0, SEEK_CUR);
        return here >= 0 && ::ftruncate(handle, here) == 0;
    }

    bool Flush(FileHandle handle) override { return ::fsync(handle) == 0; }

    void Close(FileHandle handle) override { ::close(handle); }

    bool GetAttributes(const char* name, Attributes& attributes) override {
        struct stat info {};
        if (::stat(name, &info) != 0) {
            RememberSystemError(errno);
            return false;
        }
        attributes = static_cast<Attributes>(info.st_mode & 07777);
        return true;
    }

    bool SetAttributes(const char* name, Attributes attributes) override {
        return ::chmod(name, static_cast<mode_t>(attributes & 07777)) == 0;
    }

    // Read-only means the owner may not write, as a file manager shows it.
    bool IsReadOnly(Attributes attributes) override { return (attributes & S_IWUSR) == 0; }
    Attributes WithoutReadOnly(Attributes attributes) override { return attributes | S_IWUSR; }

    FileHandle OpenAppend(const char* name) override {
        const int fd = ::open(name, O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
        return fd < 0 ? InvalidHandle() : fd;
    }

    // flock, not fcntl: an fcntl lock belongs to the process and vanishes as soon as any of its
    // descriptors on the file closes, and the engine opens the file again while it holds one.
    bool Lock(FileHandle handle, int timeoutMs) override {
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (::flock(handle, LOCK_EX | LOCK_NB) != 0) {
            const int code = errno;
            if ((code != EWOULDBLOCK && code != EINTR) ||
                std::chrono::steady_clock::now() >= deadline) {
                RememberSystemError(code == EINTR ? EWOULDBLOCK : code);
                return false;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        return true;
    }

    void Unlock(FileHandle handle) override { ::flock(handle, LOCK_UN); }

    bool Rename(const char* from, const char* to) override {
        if (::rename(from, to) != 0) {
            RememberSystemError(errno);
            return false;
        }
        return true;
    }

    bool Identify(FileHandle handle, FileIdentity& identity) override {
        struct stat info {};
        if (::fstat(handle, &info) != 0) {
            return false;
        }
        identity.Volume = static_cast<std::uint64_t>(info.st_dev);
        identity.Index = static_cast<std::uint64_t>(info.st_ino);
        identity.Size = static_cast<std::int64_t>(info.st_size);
        identity.Generation = 0;
#ifdef __linux__
        // ext4, XFS and Btrfs tell it; elsewhere the call fails and the identity goes without.
        unsigned int generation = 0;
        if (::ioctl(handle, FS_IOC_GETVERSION, &generation) == 0) {
            identity.Generation = generation;
        }
#endif
        return true;
    }

    bool GetModifiedTime(FileHandle handle, FileTime& time) override {
        struct stat info {};
        if (::fstat(handle, &info) != 0) {
            RememberSystemError(errno);
            return false;
        }
        time = static_cast<FileTime>(info.st_mtim.tv_sec) * kNanoseconds + info.st_mtim.tv_nsec;
        return true;
    }

    // The access time is left as it is.
    bool SetModifiedTime(FileHandle handle, FileTime time) override {
        struct timespec times[2] = {
            {0, UTIME_OMIT},
            {static_cast<time_t>(time / kNanoseconds), static_cast<long>(time % kNanoseconds)}};
        if (::futimens(handle, times) != 0) {
            RememberSystemError(errno);
            return false;
        }
        return true;
    }

    Attributes AfterWriting(Attributes attributes) override {
        return attributes;
    }

    bool TakeOwnerOf(FileHandle handle, const char* model) override {
        struct stat wanted {};
        struct stat now {};
        if (::stat(model, &wanted) != 0 || ::fstat(handle, &now) != 0) {
            RememberSystemError(errno);
            return false;
        }
        if (wanted.st_uid == now.st_uid && wanted.st_gid == now.st_gid) {
            return true;
        }
        if (::fchown(handle, wanted.st_uid, wanted.st_gid) != 0) {
            RememberSystemError(errno);
            return false;
        }
        return true;
    }
};

} // namespace

FileHandle InvalidHandle() {
    return -1;
}

bool IsLockBusy(int systemError) {
    return systemError == EWOULDBLOCK;
}

bool LockNeedsWriteAccess(int systemError) {
    return systemError == EBADF;
}

std::string LastErrorText() {
    return std::strerror(errno);
}

void ClearLastError() {
    errno = 0;
}

std::string LastErrorTextOr(const char* fallback) {
    return errno != 0 ? LastErrorText() : fallback;
}

std::string EnvironmentVariable(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

FileLayer& NativeFiles() {
    static PosixFileLayer layer;
    return layer;
}

} // namespace vidtag::os
