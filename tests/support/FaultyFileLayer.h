#pragma once

#include "os/FileLayer.h"

#include <cstdint>
#include <map>
#include <string>

namespace vidtag::test {

// Stands in front of the native file layer for as long as it lives and passes every call on,
// except the faults it is told to make. Calls are counted from 1 since installation.
class FaultyFileLayer final : public os::FileLayer {
  public:
    FaultyFileLayer();
    ~FaultyFileLayer() override;
    FaultyFileLayer(const FaultyFileLayer&) = delete;
    FaultyFileLayer& operator=(const FaultyFileLayer&) = delete;

    // Write number ShortWrite really writes only ShortWriteMoves bytes and reports that.
    int ShortWrite = 0;
    std::uint32_t ShortWriteMoves = 0;
    // Write or read number n throws std::bad_alloc instead of moving anything.
    int ThrowingWrite = 0;
    int ThrowingRead = 0;
    // Write number KillingWrite ends the process at once, before it moves anything, with exit
    // status kKilledStatus: what a kill or a power cut leaves on the disk.
    int KillingWrite = 0;
    static constexpr int kKilledStatus = 137;
    bool FailFlush = false;
    bool FailGetAttributes = false;
    // Writes through handles opened on FailWritesTo fail once WritesBeforeFailing went through:
    // a medium pulled out in the middle. With FailReads, every read through them fails.
    std::string FailWritesTo;
    int WritesBeforeFailing = 0;
    // The system error those failing writes leave (0: none, as a write that moves nothing).
    int WriteError = 0;
    // TakeOwnerOf fails with this system error, as for a user who may not give files away.
    int TakeOwnerError = 0;
    bool FailReads = false;
    // Lock fails with this system error; ReadHandleLockError only on handles opened for reading
    // alone, as NFS refuses an exclusive lock without write access.
    int LockError = 0;
    int ReadHandleLockError = 0;
    // Opening a read-only file for writing fails, as on Windows (whoever runs the tests).
    bool HonourReadOnly = false;

    int Writes = 0;
    int Reads = 0;
    int Flushes = 0;
    int SetAttributeCalls = 0;

    os::FileHandle Open(const char* name, os::Access access, os::Share share) override;
    os::FileHandle Create(const char* name) override;
    std::uint32_t Read(os::FileHandle handle, void* buffer, std::uint32_t count) override;
    std::uint32_t Write(os::FileHandle handle, const void* buffer, std::uint32_t count) override;
    std::int64_t Seek(os::FileHandle handle, std::int64_t offset, int origin) override;
    bool SetEndOfFile(os::FileHandle handle) override;
    bool Flush(os::FileHandle handle) override;
    void Close(os::FileHandle handle) override;
    bool GetAttributes(const char* name, os::Attributes& attributes) override;
    bool SetAttributes(const char* name, os::Attributes attributes) override;
    bool IsReadOnly(os::Attributes attributes) override;
    os::Attributes WithoutReadOnly(os::Attributes attributes) override;
    os::FileHandle OpenAppend(const char* name) override;
    bool Lock(os::FileHandle handle, int timeoutMs) override;
    bool TakeOwnerOf(os::FileHandle handle, const char* model) override;

  private:
    os::FileHandle Opened(os::FileHandle handle, const std::string& name, bool readOnly);

    os::FileLayer& native_;
    os::FileLayer* previous_;
    std::map<os::FileHandle, std::pair<bool, bool>> opened_; // on FailWritesTo, reading alone
    int failingWrites_ = 0;
};

} // namespace vidtag::test
