#pragma once

#include "codecs/CodecCatalog.h"
#include "os/FileLayer.h"

#include <cstdint>
#include <string>

namespace vidtag {

enum class EntryState : std::uint8_t { Pending, Done, Undone, Abandoned };

// One recorded conversion: enough to tell afterwards, from the file alone, whether it happened,
// and to put the file back exactly.
struct JournalEntry {
    std::string Id;
    std::string Time; // UTC, "2026-12-08T14:02:11Z"
    std::string Path; // absolute, UTF-8
    os::FileIdentity File;
    std::int64_t HandlerPos = 0;
    std::int64_t CompressionPos = 0; // 0: the file has no format chunk
    CodePair From{};
    CodePair To{}; // what the file holds after the conversion
    CodecKind FromKind = kNoKind;
    CodecKind ToKind = kNoKind;
    os::Attributes Mode = 0; // before the read-only attribute was cleared
    // Why Mode cannot be put back (missing, or not a permission value); empty when it can.
    std::string ModeFault;
    EntryState State = EntryState::Pending;
    // Why the record cannot be trusted (a code not four bytes long, a kind the codes do not
    // make, a position outside the file); empty when it can. A damaged record is never obeyed.
    std::string Damage;
    // The line as it was read, for a damaged record or one with fields this version does not
    // know: compaction keeps it whole.
    std::string Line;
    // The bytes its lines took in the journal, its state's included.
    std::int64_t Bytes = 0;
};

} // namespace vidtag
