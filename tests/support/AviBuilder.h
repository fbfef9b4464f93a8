#pragma once

// RiffBuilder lays out RIFF and AVI files byte by byte for tests, including damaged ones: chunk
// and list sizes that are too large, odd, below 4 for a list, or reaching past the end of the
// file; chunks without their pad byte; raw bytes at chosen offsets; filler that pushes the next
// chunk past a chosen offset (such as 0x20000). BuildAvi makes a small valid AVI file and says
// where its stream headers lie.
//
// Layout rules (all numbers little-endian):
//   chunk: identifier (4), size (4), data (size bytes), a zero pad byte when size is odd;
//   list:  "RIFF" or "LIST" (4), size (4), type (4), contents; the size counts the type and the
//          contents (4 + contents), so that the list's data proper is size - 4 bytes.
//
// Example: an AVI file whose movi list claims to be 1000 bytes longer than it is.
//
//     RiffBuilder b;
//     b.BeginList(FCC("RIFF"), FCC("AVI "));
//     b.BeginList(FCC("LIST"), FCC("hdrl"));
//     b.Chunk(FCC("avih"), MainHeader(1));
//     const StreamPlaced video = b.StreamList(StrhData(FCC("vids"), FCC("DIVX")),
//                                             BitmapInfoHeader(FCC("DX50")));
//     b.End();                                   // hdrl, size computed
//     b.JunkUntil(0x20000);                      // next header starts at 0x20000
//     b.BeginList(FCC("LIST"), FCC("movi"));
//     b.Chunk(FCC("00dc"), Bytes(16, 0xAA));
//     b.EndWithSize(4 + 24 + 1000);              // movi, size too large
//     b.End();                                   // RIFF
//     Bytes file = b.Take();
//
// Offsets returned by the builder are byte offsets from the start of the file.

#include "codecs/FourCC.h"
#include "support/TempDir.h"

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace vidtag::test {

// Where a chunk or list landed.
struct Placed {
    std::size_t header = 0; // offset of the identifier
    std::size_t data = 0;   // offset of the first data byte (after the type for a list)
};

// Whether a pad byte follows odd-sized data.
enum class Pad { Even, None };

// A "LIST" "strl" with its "strh" and "strf".
struct StreamPlaced {
    Placed list;
    Placed strh;
    Placed strf;
};

class RiffBuilder {
  public:
    // --- Chunks and lists whose sizes agree with their contents ---

    // A plain chunk: identifier, data size, data, pad byte when the size is odd (unless
    // Pad::None).
    Placed Chunk(FourCC id, const Bytes& data, Pad pad = Pad::Even);
    // Opens a "RIFF" or "LIST" (or any identifier) with a type; the size is written by End.
    Placed BeginList(FourCC id, FourCC type);
    // Closes the innermost open list with its true size (4 + contents); when that is odd a pad
    // byte follows, unless Pad::None.
    Placed End(Pad pad = Pad::Even);
    // "LIST" "strl" holding "strh" and "strf" with the given data.
    StreamPlaced StreamList(const Bytes& strh, const Bytes& strf);

    // --- Wrong sizes ---

    // A plain chunk that declares declaredSize but holds data (too large, too small, odd, past
    // the end of the file ...). The pad byte follows the data when data.size() is odd.
    Placed ChunkWithSize(FourCC id, std::uint32_t declaredSize, const Bytes& data,
                         Pad pad = Pad::Even);
    // Closes the innermost open list writing declaredSize instead of the true size (2 or 0 for a
    // list "with a negative size", 0xFFFFFFFF, too small, too large). No pad byte is added.
    Placed EndWithSize(std::uint32_t declaredSize);
    // Headers alone, not tracked: what follows is up to the caller.
    Placed ChunkHeader(FourCC id, std::uint32_t declaredSize);
    Placed ListHeader(FourCC id, std::uint32_t declaredSize, FourCC type);

    // --- Raw bytes ---

    RiffBuilder& Raw(const Bytes& bytes);
    RiffBuilder& Raw(std::string_view text); // the characters, no terminator
    RiffBuilder& U32(std::uint32_t value);
    RiffBuilder& Code(FourCC code);
    RiffBuilder& Fill(std::size_t count, std::uint8_t byte = 0);
    // Appends `byte` until the file is `offset` bytes long (nothing when it is already longer).
    RiffBuilder& FillTo(std::size_t offset, std::uint8_t byte = 0);
    // A "JUNK" chunk that ends exactly at `offset`, so that the next chunk starts there. Needs
    // offset >= Size() + 8; an odd distance leaves the chunk odd-sized with its pad byte.
    Placed JunkUntil(std::size_t offset);

    // Overwrites (and when needed extends, with zeros) bytes at an offset.
    RiffBuilder& PutAt(std::size_t offset, const Bytes& bytes);
    RiffBuilder& PutU32At(std::size_t offset, std::uint32_t value);
    RiffBuilder& PutCodeAt(std::size_t offset, FourCC code);

    // --- Result ---

    std::size_t Size() const { return bytes_.size(); }
    const Bytes& Data() const { return bytes_; }
    // The bytes; lists still open are closed with their true sizes first.
    Bytes Take();

  private:
    Bytes bytes_;
    std::vector<Placed> open_; // lists begun and not ended
};

// --- Record contents ---

Bytes Le32(std::uint32_t value);
Bytes Le16(std::uint16_t value);
// A 56-byte "avih" main header naming `streams` streams.
Bytes MainHeader(std::uint32_t streams, std::uint32_t frames = 2);
// A 56-byte "strh" stream header: type ("vids", "auds") at 0, handler at 4.
Bytes StrhData(FourCC type, FourCC handler);
// A 40-byte BITMAPINFOHEADER with its compression code at 16.
Bytes BitmapInfoHeader(FourCC compression, std::int32_t width = 320, std::int32_t height = 240);
// An 18-byte WAVEFORMATEX (MPEG layer 3 by default).
Bytes WaveFormat(std::uint16_t formatTag = 0x55);

// --- A whole file ---

struct AviOptions {
    FourCC handler = FCC("DIVX");     // video strh handler
    FourCC compression = FCC("DX50"); // video strf compression
    bool audio = false;               // a second stream, "auds", after the video stream
    int frames = 2;                   // "00dc" chunks in movi (and "01wb" ones with audio)
    std::size_t frameSize = 16;
    bool index = true; // "idx1" after movi
    // When non-zero, a "JUNK" chunk after hdrl puts the movi list header at this offset (even,
    // and at least 8 bytes past the end of hdrl), e.g. 0x20000 to reach the strict movi rules.
    std::size_t moviAt = 0;
};

// Offsets into a file made by BuildAvi; 0 for parts that are absent.
struct AviFile {
    Bytes bytes;
    Placed riff;
    Placed hdrl;
    Placed avih;
    StreamPlaced video; // handler at video.strh.data + 4, compression at video.strf.data + 16
    StreamPlaced audio; // when AviOptions::audio
    Placed junk;        // when AviOptions::moviAt
    Placed movi;
    std::vector<Placed> frames; // the movi chunks in file order
    Placed idx1;
};

// RIFF "AVI " / LIST hdrl (avih, LIST strl (strh, strf) per stream) / [JUNK] / LIST movi
// (00dc [01wb] ...) / [idx1], all sizes correct.
AviFile BuildAvi(const AviOptions& options = {});

} // namespace vidtag::test
