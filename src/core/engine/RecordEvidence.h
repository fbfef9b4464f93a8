#pragma once

#include "engine/JobTypes.h"
#include "journal/JournalEntry.h"
#include "streams/Stream64.h"

#include <cstdint>
#include <string>

namespace vidtag {

// Analyses the open file for its code positions, as an analysis before a conversion does.
CodePlaces FindCodePlaces(TStream64& file);

// A record is evidence, never an order: why its positions are not the ones the file holds its
// codes at, or empty when they are.
std::string PlaceMismatch(const JournalEntry& entry, const CodePlaces& places);

// Whether Vidtag itself would write the pair as codes of the kind: the kind's own pair, or a pair
// the catalogue reads as that kind (a recorded original) whose handler could be a codec's: blank,
// or printable and no id of the file's structure. Without a format chunk the compression code is
// not written.
bool WritablePair(CodePair codes, CodecKind kind, bool withCompression);

// The attributes to give a file whose interrupted conversion recorded `recorded`, when it now
// has `present`: the recorded ones only when they differ by no more than a conversion changes
// (the read-only attribute cleared), else the present ones, with the reason in `why`.
os::Attributes SettledAttributes(const JournalEntry& entry, os::Attributes present,
                                 std::string& why);

} // namespace vidtag
