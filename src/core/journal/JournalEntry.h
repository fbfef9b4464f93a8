#pragma once

#include "codecs/CodecCatalog.h"
#include "os/FileLayer.h"

#include <cstdint>
#include <string>
#include <vector>

namespace vidtag {

enum class EntryState : std::uint8_t { Pending, Done, Undone, Abandoned };

// What a record describes: a conversion of codes, or an index rebuild (or the undoing of one),
// which changes header fields and the file's length.
enum class RecordKind : std::uint8_t { Codes, Index };

// Bytes at a position of the file, before and after a write.
struct ByteChange {
    std::int64_t Pos = 0;
    std::string Before;
    std::string After;
};

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
    // An index record: the file's length before is File.Size, after is NewSize; Changes are the
    // fields written within the shorter of the two. UndoesId names the rebuild a restore undoes.
    RecordKind Kind = RecordKind::Codes;
    std::int64_t NewSize = 0;
    std::vector<ByteChange> Changes;
    std::string UndoesId;
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
