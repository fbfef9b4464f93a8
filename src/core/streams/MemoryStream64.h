#pragma once

#include "streams/Stream64.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vidtag {

// A stream over bytes in memory that answers every call the way a file on disk would: reads
// past the end move nothing, seeks beyond the end are allowed and a write there extends the
// data, filling the gap with zeros; a seek to a negative position is refused with -1 and leaves
// the position alone. Counts are cut to their low 32 bits, as the file streams cut them.
class TMemoryStream64 : public TStream64 {
  public:
    TMemoryStream64() = default;
    explicit TMemoryStream64(std::vector<std::uint8_t> bytes) : Bytes(std::move(bytes)) {}
    TMemoryStream64(const void* data, std::size_t size);

    void SetSize(std::int64_t newSize) override;
    std::int64_t Read(void* buffer, std::int64_t count) override;
    std::int64_t Write(const void* buffer, std::int64_t count) override;
    std::int64_t Seek(std::int64_t offset, std::uint16_t origin) override;

    std::vector<std::uint8_t> Bytes;

  private:
    std::int64_t position_ = 0;
};

} // namespace vidtag
