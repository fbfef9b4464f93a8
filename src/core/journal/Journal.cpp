#include "journal/Journal.h"

#include "journal/ConversionHistory.h"
#include "journal/JournalLine.h"

#include <array>
#include <atomic>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <random>
#include <system_error>

namespace vidtag {

namespace fs = std::filesystem;

namespace {

// Past this size the journal is rewritten with each file's first and last state.
constexpr std::int64_t kCompactAbove = 4 * 1024 * 1024;
constexpr int kJournalLockMs = 2000;
constexpr std::uint32_t kReadChunk = 64 * 1024;

fs::path PathOf(const std::string& utf8) {
    return fs::path(std::u8string(utf8.begin(), utf8.end()));
}

std::string Utf8Of(const fs::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

std::string CodeText(FourCC code) {
    std::string text;
    for (int i = 0; i < 4; ++i) {
        text += FourCCChar(code, i);
    }
    return text;
}

FourCC CodeOf(const std::string& text) {
    return text.size() == 4 ? MakeFourCC(text[0], text[1], text[2], text[3]) : 0;
}

const std::array<const char*, 4> kStateNames{"pending", "done", "undone", "abandoned"};

bool StateOf(const std::string& name, EntryState& state) {
    for (std::size_t i = 1; i < kStateNames.size(); ++i) {
        if (name == kStateNames[i]) {
            state = static_cast<EntryState>(i);
            return true;
        }
    }
    return false;
}

std::string NewId() {
    static std::atomic<unsigned> counter{0};
    static const std::uint64_t process = [] {
        std::random_device random;
        return static_cast<std::uint64_t>(random()) << 32 | random();
    }();
    char id[40];
    std::snprintf(id, sizeof id, "%016llx-%u", static_cast<unsigned long long>(process), ++counter);
    return id;
}

std::string UtcNow() {
    const std::time_t now = std::time(nullptr);
    std::tm parts{};
#ifdef _WIN32
    gmtime_s(&parts, &now);
#else
    gmtime_r(&now, &parts);
#endif
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &parts);
    return text;
}

// Closes a handle of the current layer on every path.
class HandleGuard {
  public:
    explicit HandleGuard(os::FileHandle handle) : handle_(handle) {}
    ~HandleGuard() {
        if (handle_ != os::InvalidHandle()) {
            os::Files().Close(handle_);
        }
    }
    HandleGuard(const HandleGuard&) = delete;
    HandleGuard& operator=(const HandleGuard&) = delete;
    os::FileHandle Get() const { return handle_; }

  private:
    os::FileHandle handle_;
};

bool EndsWithLineFeed(os::FileHandle handle) {
    char last = '\n';
    if (os::Files().Seek(handle, -1, 2) >= 0) {
        os::Files().Read(handle, &last, 1);
    }
    return last == '\n';
}

} // namespace

std::string EntryLine(const JournalEntry& entry) {
    JournalLine line;
    line.Put("id", entry.Id)
        .Put("time", entry.Time)
        .Put("path", entry.Path)
        .Put("volume", entry.File.Volume)
        .Put("index", entry.File.Index)
        .Put("size", entry.File.Size)
        .Put("handler_pos", entry.HandlerPos)
        .Put("compression_pos", entry.CompressionPos)
        .Put("from_handler", CodeText(entry.From.Handler))
        .Put("from_compression", CodeText(entry.From.Compression))
        .Put("to_handler", CodeText(entry.To.Handler))
        .Put("to_compression", CodeText(entry.To.Compression))
        .Put("from_kind", std::int64_t{entry.FromKind})
        .Put("to_kind", std::int64_t{entry.ToKind})
        .Put("mode", std::uint64_t{entry.Mode});
    if (entry.State != EntryState::Pending) {
        line.Put("state", kStateNames[static_cast<std::size_t>(entry.State)]);
    }
    return line.Text();
}

void Journal::TakeLine(const std::string& text) {
    const auto line = JournalLine::Parse(text);
    EntryState state = EntryState::Pending;
    if (!line || !line->Has("id")) {
        ++skipped_;
        return;
    }
    if (!line->Has("path")) {
        const auto found = byId_.find(line->Text("id"));
        if (found != byId_.end() && StateOf(line->Text("state"), state)) {
            entries_[found->second].State = state;
        } else {
            ++skipped_;
        }
        return;
    }
    JournalEntry entry;
    entry.Id = line->Text("id");
    entry.Time = line->Text("time");
    entry.Path = line->Text("path");
    entry.File.Volume = line->Unsigned("volume");
    entry.File.Index = line->Unsigned("index");
    entry.File.Size = line->Number("size");
    entry.HandlerPos = line->Number("handler_pos");
    entry.CompressionPos = line->Number("compression_pos");
    entry.From = {CodeOf(line->Text("from_handler")), CodeOf(line->Text("from_compression"))};
    entry.To = {CodeOf(line->Text("to_handler")), CodeOf(line->Text("to_compression"))};
    entry.FromKind = static_cast<CodecKind>(line->Number("from_kind"));
    entry.ToKind = static_cast<CodecKind>(line->Number("to_kind"));
    entry.Mode = static_cast<os::Attributes>(line->Unsigned("mode"));
    if (line->Has("state") && !StateOf(line->Text("state"), entry.State)) {
        ++skipped_;
        return;
    }
    byId_[entry.Id] = entries_.size();
    entries_.push_back(std::move(entry));
}

bool Journal::Refresh() {
    if (path_.empty()) {
        error_ = "no state folder; VIDTAG_JOURNAL names one";
        return false;
    }
    std::error_code error;
    const fs::path where = PathOf(path_);
    if (fs::is_directory(where, error)) {
        error_ = "it is a folder";
        return false;
    }
    if (!fs::exists(where, error) && !error) {
        entries_.clear();
        byId_.clear();
        read_ = {};
        offset_ = 0;
        return true;
    }
    const HandleGuard handle(
        os::Files().Open(path_.c_str(), os::Access::Read, os::Share::ReadWrite));
    os::FileIdentity now;
    if (handle.Get() == os::InvalidHandle() || !os::Files().Identify(handle.Get(), now)) {
        error_ = os::LastErrorText();
        return false;
    }
    // Another journal in the same place (compacted, or replaced by hand): read it from the start.
    if (!now.SameFile(read_) || now.Size < offset_) {
        entries_.clear();
        byId_.clear();
        offset_ = 0;
        skipped_ = 0;
    }
    read_ = now;
    std::string text;
    if (os::Files().Seek(handle.Get(), offset_, 0) != offset_) {
        error_ = os::LastErrorText();
        return false;
    }
    std::vector<char> chunk(kReadChunk);
    for (std::uint32_t got; (got = os::Files().Read(handle.Get(), chunk.data(), kReadChunk)) > 0;) {
        text.append(chunk.data(), got);
    }
    std::size_t start = 0;
    for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
        if (end > start) {
            TakeLine(text.substr(start, end - start));
        }
    }
    // An unfinished last line is a record cut short; it is read again once a line feed ends it.
    tornTail_ = start < text.size();
    offset_ += static_cast<std::int64_t>(start);
    return true;
}

bool Journal::Replaced(os::FileHandle handle) {
    os::FileIdentity held;
    os::FileIdentity named;
    const HandleGuard current(
        os::Files().Open(path_.c_str(), os::Access::Read, os::Share::ReadWrite));
    return current.Get() != os::InvalidHandle() && os::Files().Identify(handle, held) &&
           os::Files().Identify(current.Get(), named) && !held.SameFile(named);
}

bool Journal::Append(const std::string& line, bool flush) {
    std::error_code ignored;
    fs::create_directories(PathOf(path_).parent_path(), ignored);
    for (int attempt = 0; attempt < 3; ++attempt) {
        const HandleGuard handle(os::Files().OpenAppend(path_.c_str()));
        if (handle.Get() == os::InvalidHandle()) {
            error_ =
                fs::is_directory(PathOf(path_), ignored) ? "it is a folder" : os::LastErrorText();
            return false;
        }
        // The lock only keeps appends apart from a compaction; appends alone never interleave.
        const bool locked = os::Files().Lock(handle.Get(), kJournalLockMs);
        if (locked && Replaced(handle.Get())) {
            os::Files().Unlock(handle.Get());
            continue;
        }
        // After a torn line the record starts a line of its own, so that it is not lost with it.
        const std::string text = EndsWithLineFeed(handle.Get()) ? line : "\n" + line;
        const auto size = static_cast<std::uint32_t>(text.size());
        const bool written = os::Files().Write(handle.Get(), text.data(), size) == size &&
                             (!flush || os::Files().Flush(handle.Get()));
        if (!written) {
            error_ = os::LastErrorText();
        }
        if (locked) {
            os::Files().Unlock(handle.Get());
        }
        return written;
    }
    error_ = "it keeps being replaced";
    return false;
}

bool Journal::Begin(JournalEntry& entry) {
    if (offset_ > kCompactAbove) {
        Compact();
    }
    entry.Id = NewId();
    entry.Time = UtcNow();
    entry.State = EntryState::Pending;
    if (!Append(EntryLine(entry), true)) {
        return false;
    }
    byId_[entry.Id] = entries_.size();
    entries_.push_back(entry);
    return true;
}

bool Journal::Settle(const JournalEntry& entry, EntryState state) {
    const bool written = Append(JournalLine()
                                    .Put("id", entry.Id)
                                    .Put("state", kStateNames[static_cast<std::size_t>(state)])
                                    .Text(),
                                false);
    const auto found = byId_.find(entry.Id);
    if (written && found != byId_.end()) {
        entries_[found->second].State = state;
    }
    return written;
}

// Best effort: a journal that cannot be compacted is still a journal.
void Journal::Compact() {
    const HandleGuard held(os::Files().OpenAppend(path_.c_str()));
    if (held.Get() == os::InvalidHandle() || !os::Files().Lock(held.Get(), kJournalLockMs)) {
        return;
    }
    const std::string fresh = path_ + ".new";
    bool written = Refresh();
    if (written) {
        const HandleGuard out(os::Files().Create(fresh.c_str()));
        written = out.Get() != os::InvalidHandle();
        for (const JournalEntry& entry : CompactedEntries(entries_)) {
            const std::string line = EntryLine(entry);
            const auto size = static_cast<std::uint32_t>(line.size());
            written = written && os::Files().Write(out.Get(), line.data(), size) == size;
        }
        written = written && os::Files().Flush(out.Get());
    }
    std::error_code error;
    if (written) {
        fs::rename(PathOf(fresh), PathOf(path_), error);
    }
    if (!written || error) {
        fs::remove(PathOf(fresh), error);
    }
    os::Files().Unlock(held.Get());
}

std::string JournalPath() {
    const std::string named = os::EnvironmentVariable("VIDTAG_JOURNAL");
    if (!named.empty()) {
        return named;
    }
    // Without a home folder there is no state folder: a relative path would put the journal
    // wherever the program happens to run.
#ifdef _WIN32
    const std::string base = os::EnvironmentVariable("LOCALAPPDATA");
    const fs::path folder = PathOf(base) / "Vidtag";
#else
    const std::string state = os::EnvironmentVariable("XDG_STATE_HOME");
    const bool useState = !state.empty() && state.front() == '/';
    const std::string base = useState ? state : os::EnvironmentVariable("HOME");
    const fs::path folder =
        (useState ? PathOf(state) : PathOf(base) / ".local" / "state") / "vidtag";
#endif
    return base.empty() ? std::string() : Utf8Of(folder / "journal.jsonl");
}

std::string AbsolutePath(const std::string& path) {
    std::error_code error;
    const fs::path absolute = fs::absolute(PathOf(path), error);
    return error ? path : Utf8Of(absolute.lexically_normal());
}

} // namespace vidtag
