#include "streams/CachedReadStream64.h"

#include <algorithm>
#include <cstring>

namespace vidtag {

namespace {
// Fills start on this boundary, so that the short backward steps of a walk that reads a header
// again stay inside the buffer.
constexpr std::int64_t kFillAlignment = 4096;
} // namespace

TCachedReadStream64::TCachedReadStream64(TStream64* source, std::int64_t bufferSize)
    : source_(source), capacity_(std::max<std::int64_t>(bufferSize, 16)),
      buffer_(new std::uint8_t[static_cast<std::size_t>(capacity_)]) {
    position_ = std::max<std::int64_t>(source_->Seek(0, 1), 0);
    // Two seeks instead of GetSize's three: the source's own position is ours from now on.
    size_ = source_->Seek(0, 2);
    sourcePosition_ = size_;
}

void TCachedReadStream64::SetSize(std::int64_t) {}

std::int64_t TCachedReadStream64::Write(const void*, std::int64_t) {
    return 0;
}

std::int64_t TCachedReadStream64::ReadSource(std::int64_t position, void* buffer,
                                             std::int64_t count) {
    if (sourcePosition_ != position) {
        sourcePosition_ = source_->Seek(position, 0);
        if (sourcePosition_ != position) {
            sourcePosition_ = -1;
            return 0;
        }
    }
    const std::int64_t done = source_->Read(buffer, count);
    sourcePosition_ = position + done;
    return done;
}

bool TCachedReadStream64::Fill(std::int64_t position) {
    const std::int64_t alignment = std::min(kFillAlignment, capacity_ / 2);
    const std::int64_t start = position - position % alignment;
    bufferStart_ = start;
    bufferLength_ = ReadSource(start, buffer_.get(), capacity_);
    return position < bufferStart_ + bufferLength_;
}

std::int64_t TCachedReadStream64::Read(void* buffer, std::int64_t count) {
    // A scan over a damaged region comes here once every two or four bytes.
    if (count > 0 && count <= 8 && position_ >= bufferStart_ &&
        position_ + count <= bufferStart_ + bufferLength_) {
        std::memcpy(buffer, buffer_.get() + (position_ - bufferStart_),
                    static_cast<std::size_t>(count));
        position_ += count;
        return count;
    }
    // The file streams pass on only the low half of the count.
    std::int64_t wanted = static_cast<std::uint32_t>(count);
    if (position_ >= size_ || wanted == 0) {
        return 0;
    }
    wanted = std::min(wanted, size_ - position_);
    auto* out = static_cast<std::uint8_t*>(buffer);
    if (wanted > capacity_) {
        const std::int64_t done = ReadSource(position_, out, wanted);
        position_ += done;
        return done;
    }
    std::int64_t done = 0;
    while (done < wanted) {
        const bool inside = position_ >= bufferStart_ && position_ < bufferStart_ + bufferLength_;
        if (!inside && !Fill(position_)) {
            break; // the source gave less than its size promised
        }
        const std::int64_t available = bufferStart_ + bufferLength_ - position_;
        const std::int64_t step = std::min(wanted - done, available);
        std::memcpy(out + done, buffer_.get() + (position_ - bufferStart_),
                    static_cast<std::size_t>(step));
        done += step;
        position_ += step;
    }
    return done;
}

std::int64_t TCachedReadStream64::Seek(std::int64_t offset, std::uint16_t origin) {
    if (origin == 1 && offset == 0) {
        return position_; // the position, asked with every identifier a scan tests
    }
    // Other origins are left to the source: only it knows what it makes of them.
    std::int64_t target = 0;
    if (SeekTarget(offset, origin, position_, size_, target) && target <= size_) {
        position_ = target;
        return target;
    }
    // Positions outside the file, and refusals, are the system's to decide.
    if (origin != 0 && origin != 2 && sourcePosition_ != position_) {
        sourcePosition_ = source_->Seek(position_, 0);
    }
    const std::int64_t result = source_->Seek(offset, origin);
    sourcePosition_ = result;
    if (result >= 0) {
        position_ = result;
    }
    return result;
}

} // namespace vidtag
