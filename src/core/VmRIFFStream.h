#pragma once

#include "FourCC.h"
#include "Stream64.h"

#include <cstdint>
#include <vector>

namespace vidtag {

// One entered chunk on the walker's stack.
struct TPosTag {
    FourCC Id = 0;
    FourCC ListType = 0;
    std::int64_t DataPos = 0;
    std::int64_t Size = 0;
};

// Grows by 16 entries whenever it is full and never shrinks.
using TPosTags = std::vector<TPosTag>;

// Walks the RIFF chunk headers of a stream. As soon as sizes stop agreeing or an identifier is
// implausible it switches for good into resynchronising mode, in which headers are found by
// scanning forward for an identifier that is plausible at that place of an AVI file.
class TVMRIFFStream {
  public:
    explicit TVMRIFFStream(TStream64* stream);

    void Reset();
    std::int64_t Seek(std::int64_t offset, std::uint16_t origin);
    bool IsValidChunkId(FourCC id);
    bool IsKnownForm(FourCC id, FourCC listType);
    std::int64_t FindNextChunk();
    bool Descend();
    std::int64_t Ascend();

    FourCC Context = 0;
    FourCC ChunkId = 0;
    std::int64_t ChunkSize = 0;
    FourCC ListType = 0;
    bool ChunkDone = false;
    bool AtEnd = false;
    bool HasChunk = false;
    std::uint32_t Depth = 0;
    TPosTags Tags;
    bool Resync = false;
    std::int64_t DataPos = 0;
    std::int64_t StreamCount = 0;
    TStream64* Stream = nullptr; // not owned
    std::int64_t ListEnd = 0;
    std::int64_t ResyncPos = 0;
};

} // namespace vidtag
