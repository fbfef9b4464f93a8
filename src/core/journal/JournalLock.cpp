#include "journal/JournalLock.h"
#include "os/Utf8Path.h"

#include <filesystem>
#include <system_error>

namespace vidtag {

namespace fs = std::filesystem;

namespace {

// A lock file removed by hand while held is replaced by a new one; taking the lock again on that
// one is enough, and more attempts would only hide a program that keeps removing it.
constexpr int kAttempts = 3;

bool SameFileAt(const std::string& name, os::FileHandle handle) {
    const os::FileHandle now = os::Files().OpenAppend(name.c_str());
    if (now == os::InvalidHandle()) {
        return false;
    }
    os::FileIdentity held;
    os::FileIdentity named;
    const bool same = os::Files().Identify(handle, held) && os::Files().Identify(now, named) &&
                      held.SameFile(named);
    os::Files().Close(now);
    return same;
}

} // namespace

std::string ResolvedPath(const std::string& path) {
    std::error_code error;
    fs::path where = fs::absolute(os::PathFromUtf8(path), error);
    // A loop of links is cut short; the last name found is as good a place as any.
    for (int depth = 0; depth < 40 && fs::is_symlink(where, error); ++depth) {
        const fs::path target = fs::read_symlink(where, error);
        if (error) {
            break;
        }
        where = (where.parent_path() / target).lexically_normal();
    }
    return os::Utf8FromPath(where);
}

std::string LockPathOf(const std::string& journalPath) {
    return ResolvedPath(journalPath) + ".lock";
}

JournalLock::JournalLock(const std::string& journalPath, int waitMs) {
    const std::string lockPath = LockPathOf(journalPath);
    for (int attempt = 0; attempt < kAttempts && !held_ && error_.empty(); ++attempt) {
        held_ = TakeOnce(lockPath, waitMs);
    }
    if (!held_ && error_.empty()) {
        error_ = "its lock file " + lockPath + " keeps being replaced";
    }
}

bool JournalLock::TakeOnce(const std::string& lockPath, int waitMs) {
    if (handle_ != os::InvalidHandle()) {
        os::Files().Close(handle_);
    }
    handle_ = os::Files().OpenAppend(lockPath.c_str());
    if (handle_ == os::InvalidHandle()) {
        error_ = "its lock file " + lockPath + " cannot be opened: " + os::LastErrorText();
        return false;
    }
    if (!os::Files().Lock(handle_, waitMs)) {
        error_ = "another program held it for " + (waitMs % 1000 == 0
                                                       ? std::to_string(waitMs / 1000) + " seconds"
                                                       : std::to_string(waitMs) + " ms");
        return false;
    }
    if (SameFileAt(lockPath, handle_)) {
        return true;
    }
    os::Files().Unlock(handle_);
    return false;
}

JournalLock::~JournalLock() {
    if (handle_ == os::InvalidHandle()) {
        return;
    }
    if (held_) {
        os::Files().Unlock(handle_);
    }
    os::Files().Close(handle_);
}

} // namespace vidtag
