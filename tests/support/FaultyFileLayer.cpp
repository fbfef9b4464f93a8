#include "support/FaultyFileLayer.h"

#include "os/SystemError.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <new>

namespace vidtag::test {

FaultyFileLayer::FaultyFileLayer()
    : native_(os::NativeFiles()), previous_(os::ReplaceFileLayer(this)) {}

FaultyFileLayer::~FaultyFileLayer() {
    os::ReplaceFileLayer(previous_);
}

os::FileHandle FaultyFileLayer::Opened(os::FileHandle handle, const std::string& name,
                                       bool readOnly) {
    opened_[handle] = {name == FailWritesTo, readOnly};
    return handle;
}

os::FileHandle FaultyFileLayer::Open(const char* name, os::Access access, os::Share share) {
    os::Attributes attributes = 0;
    if (HonourReadOnly && access != os::Access::Read && native_.GetAttributes(name, attributes) &&
        native_.IsReadOnly(attributes)) {
        os::RememberSystemError(EACCES);
        return os::InvalidHandle();
    }
    return Opened(native_.Open(name, access, share), name, access == os::Access::Read);
}

os::FileHandle FaultyFileLayer::OpenAppend(const char* name) {
    return Opened(native_.OpenAppend(name), name, false);
}

bool FaultyFileLayer::Lock(os::FileHandle handle, int timeoutMs) {
    const int error = LockError != 0 ? LockError : opened_[handle].second ? ReadHandleLockError : 0;
    if (error != 0) {
        os::RememberSystemError(error);
        return false;
    }
    return native_.Lock(handle, timeoutMs);
}

bool FaultyFileLayer::TakeOwnerOf(os::FileHandle handle, const char* model) {
    if (TakeOwnerError != 0) {
        os::RememberSystemError(TakeOwnerError);
        return false;
    }
    return native_.TakeOwnerOf(handle, model);
}

os::FileHandle FaultyFileLayer::Create(const char* name) {
    return native_.Create(name);
}

std::uint32_t FaultyFileLayer::Read(os::FileHandle handle, void* buffer, std::uint32_t count) {
    if (++Reads == ThrowingRead) {
        throw std::bad_alloc();
    }
    if (FailReads && opened_[handle].first) {
        return 0;
    }
    return native_.Read(handle, buffer, count);
}

std::uint32_t FaultyFileLayer::Write(os::FileHandle handle, const void* buffer,
                                     std::uint32_t count) {
    ++Writes;
    if (Writes == KillingWrite) {
        std::_Exit(kKilledStatus);
    }
    if (Writes == ThrowingWrite) {
        throw std::bad_alloc();
    }
    if (opened_[handle].first && ++failingWrites_ > WritesBeforeFailing) {
        if (WriteError != 0) {
            errno = WriteError;
        }
        return 0;
    }
    if (Writes == ShortWrite) {
        const std::uint32_t moves = std::min(count, ShortWriteMoves);
        return moves == 0 ? 0 : native_.Write(handle, buffer, moves);
    }
    return native_.Write(handle, buffer, count);
}

std::int64_t FaultyFileLayer::Seek(os::FileHandle handle, std::int64_t offset, int origin) {
    return native_.Seek(handle, offset, origin);
}

bool FaultyFileLayer::SetEndOfFile(os::FileHandle handle) {
    return native_.SetEndOfFile(handle);
}

bool FaultyFileLayer::Flush(os::FileHandle handle) {
    ++Flushes;
    return !FailFlush && native_.Flush(handle);
}

void FaultyFileLayer::Close(os::FileHandle handle) {
    opened_.erase(handle);
    native_.Close(handle);
}

bool FaultyFileLayer::GetAttributes(const char* name, os::Attributes& attributes) {
    return !FailGetAttributes && native_.GetAttributes(name, attributes);
}

bool FaultyFileLayer::SetAttributes(const char* name, os::Attributes attributes) {
    ++SetAttributeCalls;
    return native_.SetAttributes(name, attributes);
}

bool FaultyFileLayer::IsReadOnly(os::Attributes attributes) {
    return native_.IsReadOnly(attributes);
}

os::Attributes FaultyFileLayer::WithoutReadOnly(os::Attributes attributes) {
    return native_.WithoutReadOnly(attributes);
}

} // namespace vidtag::test
