#include "journal/JournalIndex.h"

#include "journal/Journal.h"
#include "journal/JournalLine.h"

#include <algorithm>
#include <limits>

namespace vidtag {

namespace {

// Smaller numbers (kinds, positions, the parts of a time) are in nearly every line and name no
// file: they are not indexed, and a file whose index or size is one of them is looked for in
// every line.
constexpr std::uint64_t kIndexedFrom = 1000;
constexpr std::uint64_t kLargest = std::numeric_limits<std::uint64_t>::max();

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// Whether the line holds an escape \uXXXX of a printable ASCII character, which could spell a
// digit, a quote or a key's letter. The escapes of control characters and of bytes above ASCII
// (codes with such bytes, names) spell none of them.
bool SpellsText(std::string_view line) {
    for (std::size_t at = line.find("\\u"); at != std::string_view::npos;
         at = line.find("\\u", at + 2)) {
        if (line.size() - at < 6) {
            return false;
        }
        int value = 0;
        bool hex = true;
        for (std::size_t i = at + 2; i < at + 6; ++i) {
            const int digit = HexValue(line[i]);
            hex = hex && digit >= 0;
            value = value * 16 + std::max(digit, 0);
        }
        if (hex && value >= 0x20 && value < 0x7F) {
            return true;
        }
    }
    return false;
}

// Calls take(number) for every run of digits in the text, read in decimal as the journal's
// numbers are (leading zeros and all), and, after a minus sign, also for the number an unsigned
// field wraps it to. Runs too long for 64 bits name nothing.
template <typename Take> void ForEachNumber(std::string_view text, Take take) {
    for (std::size_t at = 0; at < text.size();) {
        if (!IsDigit(text[at])) {
            ++at;
            continue;
        }
        const bool negative = at > 0 && text[at - 1] == '-';
        std::uint64_t value = 0;
        bool fits = true;
        for (; at < text.size() && IsDigit(text[at]); ++at) {
            const auto digit = static_cast<std::uint64_t>(text[at] - '0');
            fits = fits && value <= (kLargest - digit) / 10;
            value = fits ? value * 10 + digit : value;
        }
        if (fits) {
            take(value);
            if (negative && value != 0) {
                take(kLargest - value + 1);
            }
        }
    }
}

// An id is searched for as it is written when it has no character that JSON may escape.
bool Plain(const std::string& id) {
    return !id.empty() && std::all_of(id.begin(), id.end(), [](char c) {
        return c > 0x20 && c < 0x7F && c != '"' && c != '\\' && c != '/';
    });
}

std::uint64_t Spread(std::uint64_t number) {
    return number * 0x9E3779B97F4A7C15ull;
}

} // namespace

JournalIndex::JournalIndex(const std::string& path) {
    Journal journal(path);
    shown_ = journal.Shown();
    read_ = journal.ReadNew(text_);
    if (!read_) {
        error_ = journal.Error();
        text_.clear();
        return;
    }
    IndexLines();
}

std::string_view JournalIndex::Text(std::uint32_t line) const {
    return std::string_view(text_).substr(lines_[line].Start, lines_[line].Length);
}

void JournalIndex::IndexLines() {
    std::size_t start = 0;
    for (std::size_t end; (end = text_.find('\n', start)) != std::string::npos; start = end + 1) {
        // A line ended on Windows keeps its carriage return, as the journal reads it.
        const std::size_t length = end - start - (end > start && text_[end - 1] == '\r' ? 1 : 0);
        if (length > 0) {
            lines_.push_back({start, length});
        }
    }
    // An unfinished last line is a record cut short.
    skipped_ += start < text_.size() ? 1 : 0;
    std::vector<std::uint64_t> keys;
    std::vector<std::uint32_t> owners;
    for (std::uint32_t line = 0; line < lines_.size(); ++line) {
        const std::string_view text = Text(line);
        if (text.front() != '{' || text.back() != '}') {
            // Only a line that is no object at all is left out; one with blanks around it is
            // still read.
            if (!JournalLine::Parse(std::string(text))) {
                ++skipped_;
                continue;
            }
            always_.push_back(line);
        } else if (SpellsText(text)) {
            always_.push_back(line);
        } else {
            IndexNumbers(line, keys, owners);
        }
    }
    unsigned bits = 1;
    while (bits < 32 && (std::size_t{1} << bits) < keys.size()) {
        ++bits;
    }
    bucketShift_ = 64 - bits;
    bucketStart_.assign((std::size_t{1} << bits) + 1, 0);
    for (const std::uint64_t key : keys) {
        ++bucketStart_[(Spread(key) >> bucketShift_) + 1];
    }
    for (std::size_t b = 1; b < bucketStart_.size(); ++b) {
        bucketStart_[b] += bucketStart_[b - 1];
    }
    bucketLines_.resize(keys.size());
    std::vector<std::uint32_t> next(bucketStart_.begin(), bucketStart_.end() - 1);
    for (std::size_t i = 0; i < keys.size(); ++i) {
        bucketLines_[next[Spread(keys[i]) >> bucketShift_]++] = owners[i];
    }
}

void JournalIndex::IndexNumbers(std::uint32_t line, std::vector<std::uint64_t>& keys,
                                std::vector<std::uint32_t>& owners) {
    ForEachNumber(Text(line), [&](std::uint64_t number) {
        if (number >= kIndexedFrom) {
            keys.push_back(number);
            owners.push_back(line);
        }
    });
}

bool JournalIndex::LinesOf(std::uint64_t number, std::vector<std::uint32_t>& lines) const {
    if (number < kIndexedFrom) {
        return false;
    }
    const std::uint64_t bucket = Spread(number) >> bucketShift_;
    lines.insert(lines.end(), bucketLines_.begin() + bucketStart_[bucket],
                 bucketLines_.begin() + bucketStart_[bucket + 1]);
    return true;
}

// Adds every line that holds the id of a line already taken: the record's state, and a later
// copy of the record, which takes its place. False when an id cannot be searched for.
bool JournalIndex::AddLinesOfIds(std::vector<std::uint32_t>& lines) const {
    const std::vector<std::uint32_t> found = lines;
    for (const std::uint32_t line : found) {
        const auto parsed = JournalLine::Parse(std::string(Text(line)));
        if (!parsed || !parsed->Has("id")) {
            continue;
        }
        const std::string id = parsed->Text("id");
        std::uint64_t largest = 0;
        ForEachNumber(id, [&](std::uint64_t number) { largest = std::max(largest, number); });
        std::vector<std::uint32_t> same;
        if (!Plain(id) || !LinesOf(largest, same)) {
            return false;
        }
        for (const std::uint32_t other : same) {
            if (Text(other).find(id) != std::string_view::npos) {
                lines.push_back(other);
            }
        }
    }
    return true;
}

namespace {

void SortedOnce(std::vector<std::uint32_t>& lines) {
    std::sort(lines.begin(), lines.end());
    lines.erase(std::unique(lines.begin(), lines.end()), lines.end());
}

} // namespace

std::vector<JournalEntry> JournalIndex::RecordsFor(const os::FileIdentity& file) const {
    std::vector<std::uint32_t> lines = always_;
    bool indexed = LinesOf(file.Index, lines) && LinesOf(file.Size, lines);
    SortedOnce(lines);
    indexed = indexed && AddLinesOfIds(lines);
    if (!indexed) {
        lines.resize(lines_.size());
        for (std::uint32_t line = 0; line < lines_.size(); ++line) {
            lines[line] = line;
        }
    }
    SortedOnce(lines);
    Journal records{std::string()};
    for (const std::uint32_t line : lines) {
        records.Take(std::string(Text(line)));
    }
    return records.Entries();
}

} // namespace vidtag
