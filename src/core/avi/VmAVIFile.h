#pragma once

#include "codecs/FourCC.h"
#include "riff/VmRIFFStream.h"
#include "streams/Stream64.h"

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

namespace vidtag {

struct ChunkNode {
    FourCC Id = 0;
    std::int64_t DataPos = 0;
    std::int64_t DataSize = 0;
    std::int32_t NextSibling = -1;
    FourCC ListType = 0;
    std::int32_t FirstChild = -1;
    std::int32_t LastChild = -1;
};

constexpr std::int32_t kNoNode = -1;
constexpr std::int32_t kNodesPerPage = 512;
// No real file comes near this many chunks in front of its movie data; a damaged file of tiny
// chunks could, and would grow the tree until memory ran out. Adding a node past it fails the
// way running out of memory fails.
constexpr std::int32_t kMaxChunkNodes = 4 * 1024 * 1024;

// A copy of the "strh" data of the video stream (handler code at byte 4).
using StreamHeaderRecord = std::array<std::uint8_t, 64>;
// A copy of the "strf" data of the video stream, a bitmap information header (compression code
// at byte 16).
using BitmapInfoRecord = std::array<std::uint8_t, 40>;
constexpr std::int64_t kHandlerOffset = 4;
constexpr std::int64_t kCompressionOffset = 16;

// Looks into an AVI file: validates the RIFF signature, builds the chunk tree up to the movie
// data, and takes the video stream's header and format out of it. Never owns the file stream.
class TVmAVIFileReader {
  public:
    explicit TVmAVIFileReader(TStream64* fileStream); // Create
    ~TVmAVIFileReader();                              // Destroy

    TVmAVIFileReader(const TVmAVIFileReader&) = delete;
    TVmAVIFileReader& operator=(const TVmAVIFileReader&) = delete;

    void CheckFile();
    void Clear();

    // Throws std::out_of_range, changing nothing, when parent is neither kNoNode nor a node.
    // Searches and getters treat an index that names no node as the end of a chain.
    std::int32_t AddNode(std::int32_t parent, FourCC id, FourCC listType, std::int64_t dataPos,
                         std::int64_t dataSize);
    std::int32_t FindChild(std::int32_t parent, FourCC id) const;
    std::int32_t FindNext(std::int32_t node, FourCC id) const;
    std::int32_t FindList(std::int32_t parent, FourCC id, FourCC listType) const;
    std::int32_t FindNextList(std::int32_t node, FourCC id, FourCC listType) const;
    std::int32_t GetNext(std::int32_t node) const;
    std::int64_t GetDataPos(std::int32_t node) const;
    std::int64_t GetDataSize(std::int32_t node) const;
    // Throws std::out_of_range for an index that names no node.
    const ChunkNode& Node(std::int32_t node) const;

    void Scan();
    void ReadStreamHeaders();

    FourCC VideoHandler() const;
    FourCC VideoCompression() const;

    // The first "movi" list of the first "AVI " part, kNoNode when the scan found none. Its data
    // position is just after the list type, its size excludes it.
    std::int32_t MoviList() const;

    // A directory of pages; a page holds kNodesPerPage nodes and never moves once allocated.
    std::vector<std::unique_ptr<ChunkNode[]>> NodePages;
    std::int32_t ErrorCode = 0;
    std::int64_t FileSize = 0;
    StreamHeaderRecord VideoStreamHeader{};
    std::int64_t VideoHeaderPos = 0;
    BitmapInfoRecord VideoFormat{};
    std::int64_t VideoFormatPos = 0;
    // The number of the "strl" list, counted from 0, whose header VideoStreamHeader holds: the
    // NN of its chunks in the movie data. -1 when no video stream header was taken.
    std::int32_t VideoStreamNumber = -1;
    // The size of the "strf" data VideoFormat was taken from; beyond its first 40 bytes some
    // muxers put the decoder's configuration.
    std::int64_t VideoFormatSize = 0;
    std::int32_t NodeCount = 0;
    bool HeadersRead = false;
    std::unique_ptr<TVMRIFFStream> RiffStream;

  private:
    bool IsNode(std::int32_t node) const;
    ChunkNode& At(std::int32_t node);
    const ChunkNode& At(std::int32_t node) const;

    std::int32_t LastTopNode = kNoNode;
};

} // namespace vidtag
