#pragma once

#include "streams/Stream64.h"
#include "support/TempDir.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace vidtag::test {

// A TStream64 over bytes in memory that behaves like a file: reads stop at the end (0 bytes at
// or past it), a seek may go past the end, a seek to a negative position fails with -1 and
// leaves the position alone, a write past the end extends the bytes with zeros. It counts its
// calls so that tests can check what a walk cost and that nothing sought before the start.
class TestMemoryStream : public TStream64 {
  public:
    TestMemoryStream() = default;
    explicit TestMemoryStream(Bytes bytes) : bytes_(std::move(bytes)) {}

    std::int64_t Read(void* buffer, std::int64_t count) override {
        ++reads;
        const auto size = static_cast<std::int64_t>(bytes_.size());
        const std::int64_t low = static_cast<std::uint32_t>(count); // as the file streams do
        const std::int64_t moved = position_ >= size ? 0 : std::min(low, size - position_);
        if (moved > 0) {
            std::memcpy(buffer, bytes_.data() + position_, static_cast<std::size_t>(moved));
        }
        position_ += moved;
        return moved;
    }

    std::int64_t Write(const void* buffer, std::int64_t count) override {
        const std::int64_t low = static_cast<std::uint32_t>(count);
        if (static_cast<std::int64_t>(bytes_.size()) < position_ + low) {
            bytes_.resize(static_cast<std::size_t>(position_ + low));
        }
        if (low > 0) {
            std::memcpy(bytes_.data() + position_, buffer, static_cast<std::size_t>(low));
        }
        position_ += low;
        return low;
    }

    std::int64_t Seek(std::int64_t offset, std::uint16_t origin) override {
        ++seeks;
        const std::int64_t base = origin == 0   ? 0
                                  : origin == 1 ? position_
                                                : static_cast<std::int64_t>(bytes_.size());
        const std::int64_t target = base + offset;
        if (target < 0) {
            ++negativeSeeks;
            return -1;
        }
        position_ = target;
        return position_;
    }

    const Bytes& Data() const { return bytes_; }

    long reads = 0;
    long seeks = 0;
    long negativeSeeks = 0; // refused seeks to a position before the start

  private:
    Bytes bytes_;
    std::int64_t position_ = 0;
};

} // namespace vidtag::test
