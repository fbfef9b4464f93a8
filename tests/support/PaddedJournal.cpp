#include "support/PaddedJournal.h"

#include "journal/Journal.h"

#include <fstream>

namespace vidtag::test {

std::vector<JournalEntry> PadJournal(const std::string& path, std::size_t bytes, int chain) {
    const CodePair pairs[] = {{FCC("xvid"), FCC("XVID")}, {FCC("divx"), FCC("DX50")}};
    const CodecKind kinds[] = {10, 12};
    std::ofstream out(path, std::ios::binary | std::ios::app);
    std::vector<JournalEntry> last;
    for (std::size_t written = 0, file = 1; written < bytes; ++file) {
        JournalEntry entry;
        entry.Path = "/nowhere/padding-" + std::to_string(file) + ".avi";
        entry.File = {7, file, 4000};
        entry.HandlerPos = 112;
        entry.CompressionPos = 188;
        entry.State = EntryState::Done;
        for (int i = 0; i < chain; ++i) {
            entry.Id = "pad-" + std::to_string(file) + "-" + std::to_string(i);
            entry.Time = "2026-01-01T00:00:0" + std::to_string(i) + "Z";
            entry.From = pairs[i % 2];
            entry.To = pairs[(i + 1) % 2];
            entry.FromKind = kinds[i % 2];
            entry.ToKind = kinds[(i + 1) % 2];
            const std::string line = EntryLine(entry);
            out << line;
            written += line.size();
        }
        last.push_back(entry);
    }
    return last;
}

std::vector<JournalEntry> ReadJournal(const std::string& path) {
    Journal journal(path);
    journal.Refresh();
    return journal.Entries();
}

} // namespace vidtag::test
