#pragma once

#include "codecs/CodecCatalog.h"

namespace vidtag::mkv {

// The kind a Matroska track's compression code makes. A Matroska file has no handler code, so
// the compression code alone decides:
// - exact rule: the code as a kind of the catalogue writes it, case-sensitive. DivX V3 Low and
//   DivX V3 Fast both write "DIV3", which is taken as DivX V3 Low, the kind DivX 3 files
//   usually are; "DIV4" is taken as DivX V3 Fast.
// - relaxed rule: the catalogue's relaxed rule with no handler: any case, and "FMP4" as kind 15.
// Kinds whose handler alone tells them apart (none but the two DivX V3 kinds) thus cannot be
// told apart in Matroska.
CodecKind ClassifyCompression(FourCC compression, ClassificationRule rule);

// The code a conversion to the kind writes into a Matroska track: its compression code, "DIV4"
// for DivX V3 Fast so that the two DivX V3 kinds stay apart. 0 for a kind with no codes.
FourCC CompressionCodeOf(CodecKind kind);

} // namespace vidtag::mkv
