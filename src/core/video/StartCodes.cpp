#include "video/StartCodes.h"

#include <cstring>

namespace vidtag::video {

std::size_t FindStartCode(const std::uint8_t* data, std::size_t size, std::size_t from) noexcept {
    if (size < 4 || from > size - 4) {
        return size;
    }
    // Look for the prefix's last byte, 01, which compressed data holds about once in 256 bytes:
    // the C library's search covers many bytes at a time, where a loop in C++ moved by three at
    // best. Each candidate needs two zeros before it and a code byte after it.
    std::size_t one = from + 2;
    while (one <= size - 2) {
        const void* hit = std::memchr(data + one, 1, size - 1 - one);
        if (hit == nullptr) {
            break;
        }
        one = static_cast<std::size_t>(static_cast<const std::uint8_t*>(hit) - data);
        if (data[one - 1] == 0 && data[one - 2] == 0) {
            return one - 2;
        }
        ++one;
    }
    return size;
}

bool UnitWalker::Next(Unit& unit) noexcept {
    if (next_ >= size_) {
        return false;
    }
    const std::size_t start = next_ + 4;
    next_ = FindStartCode(data_, size_, start);
    // A prefix that the end of the buffer cut off from its code byte ends the payload too.
    std::size_t end = next_;
    if (end == size_ && end >= start + 3 && StartsWithPrefix(data_ + end - 3, 3)) {
        end -= 3;
    }
    unit = Unit{data_[start - 1], data_ + start, end - start};
    return true;
}

} // namespace vidtag::video
