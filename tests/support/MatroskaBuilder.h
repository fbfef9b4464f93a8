#pragma once

// Matroska files byte by byte for the walker's edge tests: elements are an id (its bytes as
// written, marker bits included), a size and data. Sizes may be given a chosen length, made
// unknown (all ones) or set to any number, so that damaged files are as easy to make as sound
// ones. MkvFile lays out a small file whose video track's CodecPrivate is a bitmap header.
//
//     const Bytes entry = VideoEntry(1, "V_MS/VFW/FOURCC", BitmapInfoHeader(FCC("XVID")));
//     const Bytes file = MkvFile({Element(mkv::kTracksId, entry)});

#include "support/AviBuilder.h"

#include <cstdint>
#include <string>
#include <vector>

namespace vidtag::test {

// An id's bytes, without leading zero bytes.
Bytes IdBytes(std::uint32_t id);
// A size in length bytes (1 to 8; 0: the shortest); all ones when unknown.
Bytes SizeBytes(std::uint64_t size, int length = 0);
Bytes UnknownSize(int length = 8);

Bytes Element(std::uint32_t id, const Bytes& data);
// An element whose size field says size, whatever the data is.
Bytes ElementSized(std::uint32_t id, const Bytes& sizeField, const Bytes& data);
Bytes Unsigned(std::uint32_t id, std::uint64_t value);
Bytes Text(std::uint32_t id, const std::string& text);
Bytes Join(const std::vector<Bytes>& parts);

// The EBML header of a file of the document type.
Bytes EbmlHeader(const std::string& docType = "matroska");

struct EntryFields {
    std::uint64_t Number = 1;
    std::uint64_t Type = 1; // video
    std::string CodecId = "V_MS/VFW/FOURCC";
    Bytes Private;
    int Enabled = -1; // -1: no flag written
    int Default = -1;
    bool Crc = false;
    Bytes Extra = {}; // more elements of the entry, after the others
};
Bytes TrackEntry(const EntryFields& fields);

// The EBML header, then a Segment of known size holding the given top-level elements.
Bytes MkvFile(const std::vector<Bytes>& topLevel, const std::string& docType = "matroska");

} // namespace vidtag::test
