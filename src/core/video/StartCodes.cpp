#include "video/StartCodes.h"

namespace vidtag::video {

std::size_t FindStartCode(const std::uint8_t* data, std::size_t size, std::size_t from) noexcept {
    if (size < 4) {
        return size;
    }
    // Look at the third byte of each candidate: above 1 it cannot be part of any prefix that
    // covers it at positions 0 to 2, so the search moves on by three bytes at once.
    std::size_t i = from;
    while (i + 3 < size) {
        const std::uint8_t third = data[i + 2];
        if (third > 1) {
            i += 3;
        } else if (third == 1) {
            if (data[i] == 0 && data[i + 1] == 0) {
                return i;
            }
            i += 3;
        } else {
            ++i;
        }
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
