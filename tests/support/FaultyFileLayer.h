#pragma once

#include "os/FileLayer.h"

#include <cstdint>

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

  private:
    os::FileLayer& native_;
    os::FileLayer* previous_;
};

} // namespace vidtag::test
