#pragma once

#include "os/FileLayer.h"

#include <cstdint>
#include <stdexcept>
#include <string>

namespace vidtag {

class EStreamError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

class EFCreateError : public EStreamError {
  public:
    using EStreamError::EStreamError;
};

class EFOpenError : public EStreamError {
  public:
    using EStreamError::EStreamError;
};

// A seekable byte stream with 64-bit positions. Reads and writes return the bytes moved and
// never throw; seeks return the new position and never throw.
class TStream64 {
  public:
    virtual ~TStream64() = default;

    virtual void SetSize(std::int64_t newSize);
    virtual std::int64_t Read(void* buffer, std::int64_t count) = 0;
    virtual std::int64_t Write(const void* buffer, std::int64_t count) = 0;
    // origin 0: from the beginning, 1: from the current position, 2: from the end.
    virtual std::int64_t Seek(std::int64_t offset, std::uint16_t origin) = 0;

    std::int64_t GetPosition();
    void SetPosition(std::int64_t position);
    // Three seeks; the position is unchanged afterwards.
    std::int64_t GetSize();
};

// The position a seek asks for, given the stream's position and size. False for an origin other
// than 0, 1 and 2, a sum that overflows, or a position before the start; streams that keep their
// own position share this so that they answer alike.
bool SeekTarget(std::int64_t offset, std::uint16_t origin, std::int64_t position, std::int64_t size,
                std::int64_t& target);

// A stream over a handle someone else opened and closes. Every call is one system call.
class THandleStream64 : public TStream64 {
  public:
    explicit THandleStream64(os::FileHandle handle) : Handle(handle) {}

    void SetSize(std::int64_t newSize) override;
    // Only the low 32 bits of the count are passed on.
    std::int64_t Read(void* buffer, std::int64_t count) override;
    std::int64_t Write(const void* buffer, std::int64_t count) override;
    std::int64_t Seek(std::int64_t offset, std::uint16_t origin) override;

    // Waits until what was written is on the disk; false when the system says it is not.
    bool Flush();

    os::FileHandle Handle;
};

// Open modes: access in the two lowest bits, sharing in bits 4 to 7, or kCreateMode.
constexpr std::uint16_t kModeRead = 0x00;
constexpr std::uint16_t kModeWrite = 0x01;
constexpr std::uint16_t kModeReadWrite = 0x02;
constexpr std::uint16_t kShareExclusive = 0x10;
constexpr std::uint16_t kShareDenyWrite = 0x20; // others may read
constexpr std::uint16_t kShareDenyRead = 0x30;  // others may write
constexpr std::uint16_t kShareDenyNone = 0x40;  // others may read and write
constexpr std::uint16_t kCreateMode = 0xFFFF;

// A handle stream that opens (or, with kCreateMode, creates) a named file and owns the handle.
// Throws EFOpenError "Cannot open file NAME" or EFCreateError "Cannot create file NAME".
class TFileStream64 : public THandleStream64 {
  public:
    TFileStream64(const std::string& fileName, std::uint16_t mode);
    ~TFileStream64() override;

    TFileStream64(const TFileStream64&) = delete;
    TFileStream64& operator=(const TFileStream64&) = delete;
};

} // namespace vidtag
