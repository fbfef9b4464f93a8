#include "streams/MemoryStream64.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>

namespace vidtag {

TMemoryStream64::TMemoryStream64(const void* data, std::size_t size)
    : Bytes(static_cast<const std::uint8_t*>(data), static_cast<const std::uint8_t*>(data) + size) {
}

void TMemoryStream64::SetSize(std::int64_t newSize) {
    Seek(newSize, 0);
    if (static_cast<std::uint64_t>(position_) > Bytes.max_size()) {
        return; // more than memory can address, as more than a disk holds
    }
    try {
        Bytes.resize(static_cast<std::size_t>(position_));
    } catch (const std::exception&) {
        // A disk that is full leaves the file as it was; so does memory that is.
    }
}

std::int64_t TMemoryStream64::Read(void* buffer, std::int64_t count) {
    const std::int64_t size = static_cast<std::int64_t>(Bytes.size());
    if (position_ >= size) {
        return 0;
    }
    const std::int64_t done =
        std::min<std::int64_t>(static_cast<std::uint32_t>(count), size - position_);
    std::memcpy(buffer, Bytes.data() + position_, static_cast<std::size_t>(done));
    position_ += done;
    return done;
}

std::int64_t TMemoryStream64::Write(const void* buffer, std::int64_t count) {
    const std::int64_t done = static_cast<std::uint32_t>(count);
    if (done == 0) {
        return 0;
    }
    if (position_ > std::numeric_limits<std::int64_t>::max() - done) {
        return 0;
    }
    const std::int64_t end = position_ + done;
    // Where size_t is 32 bits wide a larger end would wrap around.
    if (static_cast<std::uint64_t>(end) > Bytes.max_size()) {
        return 0;
    }
    try {
        if (static_cast<std::uint64_t>(end) > Bytes.size()) {
            Bytes.resize(static_cast<std::size_t>(end));
        }
    } catch (const std::exception&) {
        return 0; // out of room, as on a full disk
    }
    std::memcpy(Bytes.data() + position_, buffer, static_cast<std::size_t>(done));
    position_ = end;
    return done;
}

std::int64_t TMemoryStream64::Seek(std::int64_t offset, std::uint16_t origin) {
    std::int64_t target = 0;
    if (!SeekTarget(offset, origin, position_, static_cast<std::int64_t>(Bytes.size()), target)) {
        return -1;
    }
    position_ = target;
    return target;
}

} // namespace vidtag
