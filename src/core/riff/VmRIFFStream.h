#pragma once

#include "codecs/FourCC.h"
#include "streams/Stream64.h"

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
//
// A caller positions Stream where the walk starts, calls Reset, and then loops while AtEnd is
// false: Ascend when ChunkDone is set, Descend otherwise. Nothing throws; running out of data
// shows as false or -1 results and AtEnd. Every walk ends within a number of steps linear in
// the size of the stream, whatever the stream holds: leaving a list moves back to its end
// when a child list outgrew it, and lists that overrun their parents in nested pairs would
// double the walk at every pair, so once a walk has taken more steps than its budget (linear
// in the stream's size) such a move back switches to resynchronising mode.
class TVMRIFFStream {
  public:
    // The stream is not owned. Every other field starts at zero, false or empty.
    explicit TVMRIFFStream(TStream64* stream);

    // Back to normal mode with an empty stack and no steps taken; the other fields keep their
    // values.
    void Reset();
    // Stream->Seek, no walking state changes.
    std::int64_t Seek(std::int64_t offset, std::uint16_t origin);
    // Whether `id` is a plausible chunk identifier at the current position; keeps Context.
    bool IsValidChunkId(FourCC id);
    // "RIFF" "AVI "/"AVIX" and the AVI list types; a "movi" list sets Context.
    bool IsKnownForm(FourCC id, FourCC listType);
    // Scans forward, two or four bytes at a time, for a plausible header and reads it; its
    // offset, or -1 at the end of the data. Meeting an implausible identifier sets Resync.
    std::int64_t FindNextChunk();
    // Reads the next chunk header and pushes it; false (and AtEnd) at the end of the data.
    bool Descend();
    // Leaves the current chunk and pops the stack; the position of its first move, or -1.
    std::int64_t Ascend();
    // The steps a walk of the stream may take before a move back ends normal mode.
    std::int64_t StepBudget();

    FourCC Context = 0;           // 0, "movi" or "idx1": where the walk believes it is
    FourCC ChunkId = 0;           // current chunk; 0xFFFFFFFF once the outermost is left
    std::int64_t ChunkSize = 0;   // data size, without the type for "RIFF" and "LIST"
    FourCC ListType = 0;          // type of the last "RIFF" or "LIST" read
    bool ChunkDone = false;       // the current level is finished: ascend next
    bool AtEnd = false;           // at or past the end, or the last Descend failed
    bool HasChunk = false;        // the last Descend succeeded
    std::uint32_t Depth = 0;      // entries in use on Tags
    TPosTags Tags;                // the chunk stack, top at Depth - 1
    bool Resync = false;          // resynchronising mode; only Reset clears it
    std::int64_t DataPos = 0;     // just after the header of the chunk read last
    std::int64_t StreamCount = 0; // the caller's count of stream headers met so far
    TStream64* Stream = nullptr;  // not owned
    std::int64_t ListEnd = 0;     // end of the innermost open list, 0 when none
    std::int64_t ResyncPos = 0;   // where the next scan starts; -1 after a failed scan
    std::int64_t Steps = 0;       // Descend and Ascend calls since Reset
    bool BoundLifted = false;     // no step budget: for tests that compare with the bounded walk
    bool WindowScan = false;      // scan window by window: the reference for the fast scan
    // The fast scan's buffer, at most; tests make it small to put its edges everywhere.
    std::int64_t ScanBufferSize = std::int64_t{1} << 20;

  private:
    bool ReadInto(std::uint32_t& field, int first, int count);
    bool ReadSize(); // ChunkSize := 0, then the next 4 bytes into its low half
    // IsValidChunkId with the stream's position already known.
    bool IsValidChunkIdAt(FourCC id, std::int64_t position);

    // FindNextChunk reading the stream a window at a time.
    std::int64_t ScanWindowByWindow();
    // FindNextChunk over the scan buffer, with the same results.
    std::int64_t ScanFast();
    // Whether the scan buffer holds `span` bytes from `position`, refilling it when needed.
    bool Buffered(std::int64_t position, std::int64_t span);
    void FillScanBuffer(std::int64_t position);
    // From `from`, a window the scan would test, to the first window that may be a header, or
    // (handOver set) to a window near the end of the data where the stream is read again.
    std::int64_t SkipToCandidate(std::int64_t from, bool& handOver);

    std::vector<std::uint8_t> scanBuffer_;
    std::int64_t scanCapacity_ = 0;
    std::int64_t scanStart_ = 0;
    std::int64_t scanLength_ = 0;
    bool scanHitEnd_ = false; // the data ends where the buffer's bytes end
};

} // namespace vidtag
