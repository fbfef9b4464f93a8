#include "FileLayer.h"

#include <windows.h>

#include <string>

namespace vidtag::os {

namespace {

// Names reach the layer as UTF-8 and go to the W functions: the A functions read them in the
// active code page, which is UTF-8 only where Windows honours the manifest's request (Windows 10
// version 1903 on). Empty when the name is not valid UTF-8, which no file is called.
std::wstring Wide(const char* name) {
    const int size = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, name, -1, nullptr, 0);
    if (size <= 0) {
        return {};
    }
    std::wstring wide(static_cast<std::size_t>(size), L'\0');
    ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, name, -1, wide.data(), size);
    wide.resize(wide.size() - 1);
    return wide;
}

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
    default:
        return FILE_SHARE_READ | FILE_SHARE_WRITE;
    }
}

class Win32FileLayer final : public FileLayer {
  public:
    FileHandle Open(const char* name, Access access, Share share) override {
        return ::CreateFileW(Wide(name).c_str(), AccessFlags(access), ShareFlags(share), nullptr,
                             OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    }

    FileHandle Create(const char* name) override {
        return ::CreateFileW(Wide(name).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
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
        const DWORD value = ::GetFileAttributesW(Wide(name).c_str());
        if (value == INVALID_FILE_ATTRIBUTES) {
            return false;
        }
        attributes = value;
        return true;
    }

    bool SetAttributes(const char* name, Attributes attributes) override {
        return ::SetFileAttributesW(Wide(name).c_str(), attributes) != 0;
    }

    bool IsReadOnly(Attributes attributes) override {
        return (attributes & FILE_ATTRIBUTE_READONLY) != 0;
    }
    Attributes WithoutReadOnly(Attributes attributes) override {
        return attributes & ~static_cast<Attributes>(FILE_ATTRIBUTE_READONLY);
    }
};

} // namespace

FileHandle InvalidHandle() {
    return INVALID_HANDLE_VALUE;
}

FileLayer& NativeFiles() {
    static Win32FileLayer layer;
    return layer;
}

} // namespace vidtag::os
