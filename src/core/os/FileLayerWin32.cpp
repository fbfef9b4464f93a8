#include "os/FileLayer.h"
#include "os/SystemError.h"
#include "os/Utf8Path.h"

#include <windows.h>

#include <chrono>
#include <string>
#include <thread>

namespace vidtag::os {

namespace {

DWORD AccessFlags(Access access) {
    switch (access) {
    case Access::Read:
        return GENERIC_READ;
    case Access::Write:
        return GENERIC_WRITE;
    default:
        return GENERIC_READ | GENERIC_WRITE;
    }
}

DWORD ShareFlags(Share share) {
    switch (share) {
    case Share::None:
        return 0;
    case Share::Read:
        return FILE_SHARE_READ;
    case Share::Write:
        return FILE_SHARE_WRITE;
    case Share::ReadWrite:
        return FILE_SHARE_READ | FILE_SHARE_WRITE;
    default:
        return FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    }
}

// The conversion lock covers one byte far beyond the end of any file, so that it keeps other
// conversions out without stopping anyone from reading or writing the video.
constexpr DWORD kLockOffsetLow = 0xFFFFFFF0;
constexpr DWORD kLockOffsetHigh = 0x7FFFFFFF;

class Win32FileLayer final : public FileLayer {
  public:
    FileHandle Open(const char* name, Access access, Share share) override {
        const HANDLE handle =
            ::CreateFileW(SystemName(name).c_str(), AccessFlags(access), ShareFlags(share), nullptr,
                          OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle == INVALID_HANDLE_VALUE) {
            RememberSystemError(static_cast<int>(::GetLastError()));
            return handle;
        }
        // A pipe, a console or a device opens like a file but may block for ever when read.
        if (::GetFileType(handle) != FILE_TYPE_DISK) {
            ::CloseHandle(handle);
            RememberSystemError(kNotRegularFile);
            return INVALID_HANDLE_VALUE;
        }
        return handle;
    }

    FileHandle Create(const char* name) override {
        return ::CreateFileW(SystemName(name).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                             CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    }

    std::uint32_t Read(FileHandle handle, void* buffer, std::uint32_t count) override {
        DWORD done = 0;
        return ::ReadFile(handle, buffer, count, &done, nullptr) ? done : 0;
    }

    std::uint32_t Write(FileHandle handle, const void* buffer, std::uint32_t count) override {
        DWORD done = 0;
        return ::WriteFile(handle, buffer, count, &done, nullptr) ? done : 0;
    }

    std::int64_t Seek(FileHandle handle, std::int64_t offset, int origin) override {
        LONG high = static_cast<LONG>(offset >> 32);
        const DWORD low = ::SetFilePointer(handle, static_cast<LONG>(offset & 0xFFFFFFFF), &high,
                                           static_cast<DWORD>(origin));
        if (low == INVALID_SET_FILE_POINTER && ::GetLastError() != NO_ERROR) {
            return -1;
        }
        return static_cast<std::int64_t>(
            static_cast<std::uint64_t>(static_cast<DWORD>(high)) << 32 | low);
    }

    bool SetEndOfFile(FileHandle handle) override { return ::SetEndOfFile(handle) != 0; }

    bool Flush(FileHandle handle) override { return ::FlushFileBuffers(handle) != 0; }

    void Close(FileHandle handle) override { ::CloseHandle(handle); }

    bool GetAttributes(const char* name, Attributes& attributes) override {
        const DWORD value = ::GetFileAttributesW(SystemName(name).c_str());
        if (value == INVALID_FILE_ATTRIBUTES) {
            return false;
        }
        attributes = value;
        return true;
    }

    bool SetAttributes(const char* name, Attributes attributes) override {
        return ::SetFileAttributesW(SystemName(name).c_str(), attributes) != 0;
    }

    bool IsReadOnly(Attributes attributes) override {
        return (attributes & FILE_ATTRIBUTE_READONLY) != 0;
    }
    Attributes WithoutReadOnly(Attributes attributes) override {
        return attributes & ~static_cast<Attributes>(FILE_ATTRIBUTE_READONLY);
    }

    // Appending access alone makes every write land at the end. Deleting is shared so that the
    // journal can be replaced by its compacted copy while others hold it open.
    FileHandle OpenAppend(const char* name) override {
        return ::CreateFileW(SystemName(name).c_str(), FILE_APPEND_DATA | GENERIC_READ,
                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                             OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    }

    bool Lock(FileHandle handle, int timeoutMs) override {
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        for (;;) {
            OVERLAPPED where{};
            where.Offset = kLockOffsetLow;
            where.OffsetHigh = kLockOffsetHigh;
            if (::LockFileEx(handle, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0,
                             &where)) {
                return true;
            }
            const DWORD code = ::GetLastError();
            if (code != ERROR_LOCK_VIOLATION || std::chrono::steady_clock::now() >= deadline) {
                RememberSystemError(static_cast<int>(code));
                return false;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    }

    void Unlock(FileHandle handle) override {
        OVERLAPPED where{};
        where.Offset = kLockOffsetLow;
        where.OffsetHigh = kLockOffsetHigh;
        ::UnlockFileEx(handle, 0, 1, 0, &where);
    }

    // Write-through: the new name is on the disk when the call returns, like the data flushed
    // before it.
    bool Rename(const char* from, const char* to) override {
        if (!::MoveFileExW(SystemName(from).c_str(), SystemName(to).c_str(),
                           MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
            RememberSystemError(static_cast<int>(::GetLastError()));
            return false;
        }
        return true;
    }

    bool Identify(FileHandle handle, FileIdentity& identity) override {
        BY_HANDLE_FILE_INFORMATION info{};
        if (!::GetFileInformationByHandle(handle, &info)) {
            return false;
        }
        identity.Volume = info.dwVolumeSerialNumber;
        identity.Index = static_cast<std::uint64_t>(info.nFileIndexHigh) << 32 | info.nFileIndexLow;
        identity.Size = static_cast<std::int64_t>(
            static_cast<std::uint64_t>(info.nFileSizeHigh) << 32 | info.nFileSizeLow);
        return true;
    }

    bool GetModifiedTime(FileHandle handle, FileTime& time) override {
        FILETIME written{};
        if (!::GetFileTime(handle, nullptr, nullptr, &written)) {
            RememberSystemError(static_cast<int>(::GetLastError()));
            return false;
        }
        time = static_cast<FileTime>(static_cast<std::uint64_t>(written.dwHighDateTime) << 32 |
                                     written.dwLowDateTime);
        return true;
    }

    // Needs a handle with write access; the attributes still allow it then.
    bool SetModifiedTime(FileHandle handle, FileTime time) override {
        FILETIME written{};
        written.dwLowDateTime = static_cast<DWORD>(time & 0xFFFFFFFF);
        written.dwHighDateTime = static_cast<DWORD>(static_cast<std::uint64_t>(time) >> 32);
        if (!::SetFileTime(handle, nullptr, nullptr, &written)) {
            RememberSystemError(static_cast<int>(::GetLastError()));
            return false;
        }
        return true;
    }

    Attributes AfterWriting(Attributes attributes) override {
        return attributes | FILE_ATTRIBUTE_ARCHIVE;
    }

    bool TakeOwnerOf(FileHandle, const char*) override { return true; }
};

} // namespace

FileHandle InvalidHandle() {
    return INVALID_HANDLE_VALUE;
}

bool IsLockBusy(int systemError) {
    return systemError == ERROR_LOCK_VIOLATION;
}

// Windows locks ranges through any handle; a share that refuses (ERROR_NOT_SUPPORTED,
// ERROR_INVALID_PARAMETER) refuses whatever the access.
bool LockNeedsWriteAccess(int) {
    return false;
}

std::string LastErrorText() {
    const DWORD code = ::GetLastError();
    wchar_t* text = nullptr;
    const DWORD length = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::string reason = length > 0 ? Utf8FromWide(text, static_cast<int>(length)) : "";
    ::LocalFree(text);
    while (!reason.empty() && (reason.back() == '\n' || reason.back() == '\r' ||
                               reason.back() == '.' || reason.back() == ' ')) {
        reason.pop_back();
    }
    return reason.empty() ? "error " + std::to_string(code) : reason;
}

void ClearLastError() {
    ::SetLastError(0);
}

std::string LastErrorTextOr(const char* fallback) {
    return ::GetLastError() != 0 ? LastErrorText() : fallback;
}

std::string EnvironmentVariable(const char* name) {
    const std::string narrow(name);
    const std::wstring wide(narrow.begin(), narrow.end());
    const DWORD size = ::GetEnvironmentVariableW(wide.c_str(), nullptr, 0);
    if (size == 0) {
        return {};
    }
    std::wstring value(size, L'\0');
    const DWORD length = ::GetEnvironmentVariableW(wide.c_str(), value.data(), size);
    return Utf8FromWide(value.c_str(), static_cast<int>(length));
}

FileLayer& NativeFiles() {
    static Win32FileLayer layer;
    return layer;
}

} // namespace vidtag::os
