#pragma once

#include "journal/JournalEntry.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vidtag {

// The journal as a run found it: read once and then shared, read-only, by every thread of the
// run. A journal of a whole collection has a record per file or more, and parsing every line for
// every file costs far more than the file's own analysis; a file's records are found by their
// numbers instead. A record that names the file holds its index or its size as a number, and a
// record's numbers are read in decimal, so such a line holds those digits: every line without
// them (and without an escape that could spell them) is passed over unparsed. The lines of the
// ids found come too, so that each record comes with its state.
class JournalIndex {
  public:
    // Reads the journal at path; a missing journal is an empty one.
    explicit JournalIndex(const std::string& path);

    // Whether the journal could be read; Error says why not.
    bool Read() const { return read_; }
    const std::string& Error() const { return error_; }
    // The path as messages show it.
    const std::string& Shown() const { return shown_; }
    // Lines found torn or no JSON object at all while the journal was read.
    int SkippedLines() const { return skipped_; }

    // The records that may concern the file, in the journal's order, with their states:
    // HistoryOf, LastOfIdentity and SizeChangedSince answer from them as from all of its records.
    std::vector<JournalEntry> RecordsFor(const os::FileIdentity& file) const;

  private:
    struct Line {
        std::size_t Start;
        std::size_t Length;
    };

    void IndexLines();
    void IndexNumbers(std::uint32_t line, std::vector<std::uint64_t>& keys,
                      std::vector<std::uint32_t>& owners);
    std::string_view Text(std::uint32_t line) const;
    // The lines holding the number, among others of the same bucket; nothing when the number is
    // too small to be indexed.
    bool LinesOf(std::uint64_t number, std::vector<std::uint32_t>& lines) const;
    bool AddLinesOfIds(std::vector<std::uint32_t>& lines) const;

    std::string text_;
    std::vector<Line> lines_;
    // The lines that hold each number, by bucket: bucketStart_[b] to bucketStart_[b + 1] in
    // bucketLines_.
    std::vector<std::uint32_t> bucketStart_;
    std::vector<std::uint32_t> bucketLines_;
    unsigned bucketShift_ = 64;
    // Lines with an escape that could spell a digit, a quote or a key: parsed for every file.
    std::vector<std::uint32_t> always_;
    std::string error_;
    std::string shown_;
    int skipped_ = 0;
    bool read_ = false;
};

} // namespace vidtag
