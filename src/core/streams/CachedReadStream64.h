#pragma once

#include "streams/Stream64.h"

#include <cstdint>
#include <memory>

namespace vidtag {

// A read-only view of another stream that serves small reads from one fixed buffer, so that a
// walk reading a few bytes at a time costs a system call per buffer rather than per read. It
// keeps its own position and learns the size once, when it is made; the stream under it must
// not change size while the view is in use, and its own position is the view's to move.
// Every read, seek and size comes out exactly as the stream under it would give it. Writes move
// nothing and SetSize does nothing.
class TCachedReadStream64 : public TStream64 {
  public:
    static constexpr std::int64_t kDefaultBufferSize = 64 * 1024;

    // Starts at the position the source stands at.
    explicit TCachedReadStream64(TStream64* source, std::int64_t bufferSize = kDefaultBufferSize);

    TCachedReadStream64(const TCachedReadStream64&) = delete;
    TCachedReadStream64& operator=(const TCachedReadStream64&) = delete;

    void SetSize(std::int64_t newSize) override;
    std::int64_t Read(void* buffer, std::int64_t count) override;
    std::int64_t Write(const void* buffer, std::int64_t count) override;
    std::int64_t Seek(std::int64_t offset, std::uint16_t origin) override;

  private:
    bool Fill(std::int64_t position);
    std::int64_t ReadSource(std::int64_t position, void* buffer, std::int64_t count);

    TStream64* source_;
    std::int64_t capacity_;
    std::unique_ptr<std::uint8_t[]> buffer_;
    std::int64_t bufferStart_ = 0;
    std::int64_t bufferLength_ = 0;
    std::int64_t position_ = 0;
    std::int64_t size_ = 0;
    std::int64_t sourcePosition_ = -1; // -1: not known
};

} // namespace vidtag
