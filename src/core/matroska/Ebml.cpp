#include "matroska/Ebml.h"

#include <algorithm>
#include <array>

namespace vidtag::mkv {

namespace {

constexpr int kMaxIdLength = 4;
constexpr int kMaxSizeLength = 8;

// The leading zero bits of a byte, which tell a variable-length number's length; 8 for 0.
int LeadingZeros(std::uint8_t byte) {
    int zeros = 0;
    for (std::uint8_t mask = 0x80; mask != 0 && (byte & mask) == 0; mask >>= 1) {
        ++zeros;
    }
    return zeros;
}

} // namespace

int IdLength(std::uint8_t first) {
    const int length = LeadingZeros(first) + 1;
    return length <= kMaxIdLength ? length : 0;
}

int SizeLength(std::uint8_t first) {
    const int length = LeadingZeros(first) + 1;
    return length <= kMaxSizeLength ? length : 0;
}

bool Reader::ReadAt(std::int64_t pos, std::int64_t end, void* buffer, std::int64_t count) {
    end = std::min(end, limit_);
    // In this order none of the comparisons can overflow: pos and end lie within the file.
    if (pos < 0 || count < 0 || pos > end || count > end - pos) {
        return false;
    }
    ++reads_;
    if (stream_.Seek(pos, 0) != pos || stream_.Read(buffer, count) != count) {
        return false;
    }
    bytesRead_ += count;
    return true;
}

HeaderFault Reader::ReadHeader(std::int64_t pos, std::int64_t end, Element& element) {
    end = std::min(end, limit_);
    // The longest header is 12 bytes; near the end of the span fewer may be there.
    std::array<std::uint8_t, kMaxIdLength + kMaxSizeLength> bytes{};
    const std::int64_t want = std::min<std::int64_t>(bytes.size(), end - pos);
    if (want <= 0 || !ReadAt(pos, end, bytes.data(), want)) {
        return HeaderFault::Cut;
    }
    const int idLength = IdLength(bytes[0]);
    if (idLength == 0) {
        return HeaderFault::BadId;
    }
    if (idLength >= want) {
        return HeaderFault::Cut;
    }
    std::uint32_t id = 0;
    for (int i = 0; i < idLength; ++i) {
        id = id << 8 | bytes[static_cast<std::size_t>(i)];
    }
    const std::uint8_t first = bytes[static_cast<std::size_t>(idLength)];
    const int sizeLength = SizeLength(first);
    if (sizeLength == 0) {
        return HeaderFault::BadSize;
    }
    if (idLength + sizeLength > want) {
        return HeaderFault::Cut;
    }
    // The marker bit goes; a size whose remaining bits are all ones is unknown.
    std::uint64_t size = first & (0xFFu >> sizeLength);
    bool allOnes = size == (0xFFu >> sizeLength);
    for (int i = 1; i < sizeLength; ++i) {
        const std::uint8_t byte = bytes[static_cast<std::size_t>(idLength + i)];
        size = size << 8 | byte;
        allOnes = allOnes && byte == 0xFF;
    }
    element.Id = id;
    element.Pos = pos;
    element.DataPos = pos + idLength + sizeLength;
    element.UnknownSize = allOnes;
    if (allOnes) {
        element.End = end;
        return HeaderFault::None;
    }
    // Compared as unsigned numbers before any addition: a size of 2^56 cannot wrap.
    if (size > static_cast<std::uint64_t>(end - element.DataPos)) {
        element.End = end;
        return HeaderFault::PastParent;
    }
    element.End = element.DataPos + static_cast<std::int64_t>(size);
    return HeaderFault::None;
}

bool Reader::ReadUnsigned(const Element& element, std::uint64_t& value) {
    const std::int64_t size = element.End - element.DataPos;
    std::array<std::uint8_t, 8> bytes{};
    if (size > static_cast<std::int64_t>(bytes.size()) ||
        !ReadAt(element.DataPos, element.End, bytes.data(), size)) {
        return false;
    }
    value = 0;
    for (std::int64_t i = 0; i < size; ++i) {
        value = value << 8 | bytes[static_cast<std::size_t>(i)];
    }
    return true;
}

bool Reader::ReadString(const Element& element, std::size_t maxBytes, std::string& value) {
    const std::int64_t size = element.End - element.DataPos;
    if (size > static_cast<std::int64_t>(maxBytes)) {
        return false;
    }
    std::string bytes(static_cast<std::size_t>(size), '\0');
    if (!ReadAt(element.DataPos, element.End, bytes.data(), size)) {
        return false;
    }
    value = bytes.substr(0, bytes.find('\0'));
    return true;
}

} // namespace vidtag::mkv
