#pragma once

namespace vidtag::check {

// What a player reads of an AVI file's index and extent.
struct IndexFacts {
    bool Idx1 = false;         // an "idx1" chunk
    bool HasIndexFlag = false; // the main header's AVIF_HASINDEX
    bool SuperIndex = false;   // an OpenDML "indx"
    int Parts = 0;             // RIFF parts: "AVI " and each "AVIX"
    bool CutShort = false;     // the first RIFF part or its "movi" list runs past the file's end
};

} // namespace vidtag::check
