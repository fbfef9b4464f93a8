#include "journal/Journal.h"

#include "journal/ConversionHistory.h"
#include "journal/JournalLine.h"
#include "journal/RecordCheck.h"
#include "os/SystemError.h"
#include "os/Utf8Path.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <optional>
#include <random>
#include <set>
#include <system_error>

namespace vidtag {

namespace fs = std::filesystem;

namespace {

constexpr std::uint32_t kReadChunk = 64 * 1024;

FourCC CodeOf(const std::string& text) {
    return text.size() == 4 ? MakeFourCC(text[0], text[1], text[2], text[3]) : 0;
}

const std::array<const char*, 4> kStateNames{"pending", "done", "undone", "abandoned"};

// The fields a record of this version holds; a record with any other is kept whole.
const std::set<std::string> kKnownFields{"id",
                                         "time",
                                         "path",
                                         "path_hex",
                                         "volume",
                                         "index",
                                         "size",
                                         "generation",
                                         "handler_pos",
                                         "compression_pos",
                                         "from_handler",
                                         "to_handler",
                                         "from_compression",
                                         "to_compression",
                                         "from_kind",
                                         "to_kind",
                                         "mode",
                                         "state",
                                         "compacted_size"};

// The fields of an index record: a kind that readers before it take for a damaged record of
// codes (it has none), which they keep and never act on.
const char* const kIndexKind = "index";

// "pos:before:after" for each change, the bytes as hex, separated by ';'.
std::string ChangesText(const std::vector<ByteChange>& changes) {
    std::string text;
    for (const ByteChange& change : changes) {
        if (!text.empty()) {
            text.push_back(';');
        }
        text.append(std::to_string(change.Pos));
        text.push_back(':');
        text.append(HexOf(change.Before));
        text.push_back(':');
        text.append(HexOf(change.After));
    }
    return text;
}

std::optional<std::vector<ByteChange>> ChangesOf(const std::string& text) {
    std::vector<ByteChange> changes;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t end = std::min(text.find(';', at), text.size());
        const std::string item = text.substr(at, end - at);
        const std::size_t first = item.find(':');
        const std::size_t second = item.find(':', first == std::string::npos ? 0 : first + 1);
        if (first == 0 || first == std::string::npos || second == std::string::npos ||
            item.find_first_not_of("0123456789") != first || first > 15) {
            return std::nullopt;
        }
        const auto before = BytesOfHex(item.substr(first + 1, second - first - 1));
        const auto after = BytesOfHex(item.substr(second + 1));
        if (!before || !after || before->size() != after->size() || before->empty()) {
            return std::nullopt;
        }
        changes.push_back({std::stoll(item.substr(0, first)), *before, *after});
        at = end + 1;
    }
    return changes;
}

// Why an index record cannot be trusted; empty when it can. Its changes lie within the shorter
// of its two lengths.
std::string IndexDamage(const JournalLine& line, JournalEntry& entry) {
    const auto changes = ChangesOf(line.Text("changes"));
    if (!line.IsText("changes") || !changes) {
        return "changes is not a list of positions and bytes";
    }
    entry.Changes = *changes;
    const std::int64_t shorter = std::min(entry.File.Size, entry.NewSize);
    if (entry.File.Size <= 0 || entry.NewSize <= 0) {
        return "the record's lengths are not those of a file";
    }
    for (const ByteChange& change : entry.Changes) {
        if (change.Pos < 0 ||
            change.Pos > shorter - static_cast<std::int64_t>(change.After.size())) {
            return "a change at " + std::to_string(change.Pos) + " lies outside the file (" +
                   std::to_string(shorter) + " bytes)";
        }
    }
    return {};
}

bool OnlyKnownFields(const JournalLine& line) {
    const std::vector<std::string> keys = line.Keys();
    return std::all_of(keys.begin(), keys.end(),
                       [](const std::string& key) { return kKnownFields.count(key) != 0; });
}

// Why a recorded mode cannot be put back; empty when it can. A mode is a whole number within
// the attribute word: POSIX permission bits, or the Win32 attribute word.
std::string ModeFault(const JournalLine& line) {
    if (!line.Has("mode")) {
        return "no mode is recorded";
    }
    const std::string text = line.Text("mode");
#ifdef _WIN32
    constexpr std::uint64_t kLargest = 0xFFFFFFFF;
#else
    constexpr std::uint64_t kLargest = 07777;
#endif
    const bool digits = !line.IsText("mode") && !text.empty() && text.size() <= 10 &&
                        text.find_first_not_of("0123456789") == std::string::npos;
    if (!digits || line.Unsigned("mode") > kLargest) {
        return "the recorded mode " + text + " is no permission value";
    }
    return {};
}

// The path's exact bytes: path_hex where the name is no UTF-8, else path.
std::string PathOf(const JournalLine& line) {
    if (line.Has("path_hex")) {
        if (const auto bytes = BytesOfHex(line.Text("path_hex"))) {
            return *bytes;
        }
    }
    return line.Text("path");
}

bool StateOf(const std::string& name, EntryState& state) {
    for (std::size_t i = 1; i < kStateNames.size(); ++i) {
        if (name == kStateNames[i]) {
            state = static_cast<EntryState>(i);
            return true;
        }
    }
    return false;
}

} // namespace

std::string NewRecordId() {
    static std::atomic<unsigned> counter{0};
    static const std::uint64_t process = [] {
        std::random_device random;
        return static_cast<std::uint64_t>(random()) << 32 | random();
    }();
    char id[40];
    std::snprintf(id, sizeof id, "%016llx-%u", static_cast<unsigned long long>(process), ++counter);
    return id;
}

namespace {

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

std::string NoStateFolderReason() {
#ifdef _WIN32
    return "LOCALAPPDATA is not set, and VIDTAG_JOURNAL names no other file";
#else
    return "HOME is not set, and VIDTAG_JOURNAL names no other file";
#endif
}

std::string NotRegularReason(fs::file_type type) {
    const char* what = type == fs::file_type::fifo     ? "a named pipe"
                       : type == fs::file_type::socket ? "a socket"
                                                       : "a device";
    return std::string("it is not a regular file but ") + what;
}

// The reason the file layer recorded for a failed open, else the last system error.
std::string SystemReason() {
    const int code = os::LastSystemError();
    return code != 0 ? os::SystemErrorText(code) : os::LastErrorText();
}

} // namespace

// A write that moves only part of the text (a full disk) goes on with the rest: the call that
// then moves nothing tells why. The reason is that call's own, never one left over from before.
bool WriteWhole(os::FileHandle handle, const std::string& text, std::string& error) {
    for (std::size_t done = 0; done < text.size();) {
        const std::size_t left = text.size() - done;
        const auto count = static_cast<std::uint32_t>(std::min<std::size_t>(left, 1u << 30));
        os::ClearLastError();
        const std::uint32_t moved = os::Files().Write(handle, text.data() + done, count);
        if (moved == 0) {
            error = os::LastErrorTextOr("short write");
            return false;
        }
        done += moved;
    }
    return true;
}

namespace {

// Every kind of record opens with the file it speaks of.
JournalLine& PutFile(JournalLine& line, const JournalEntry& entry) {
    return line.Put("id", entry.Id)
        .Put("time", entry.Time)
        .Put("path", IsUtf8(entry.Path) ? entry.Path : ValidUtf8(entry.Path))
        .Put("volume", entry.File.Volume)
        .Put("index", entry.File.Index)
        .Put("size", entry.File.Size)
        .Put("generation", entry.File.Generation);
}

// ...and closes with the name's exact bytes, where it is no UTF-8 (a POSIX name is any bytes),
// beside the one other readers can show, and its state once it has one.
std::string CloseLine(JournalLine& line, const JournalEntry& entry) {
    if (!IsUtf8(entry.Path)) {
        line.Put("path_hex", HexOf(entry.Path));
    }
    if (entry.State != EntryState::Pending) {
        line.Put("state", kStateNames[static_cast<std::size_t>(entry.State)]);
    }
    return line.Text();
}

std::string IndexEntryLine(const JournalEntry& entry) {
    JournalLine line;
    PutFile(line, entry)
        .Put("kind", kIndexKind)
        .Put("new_size", entry.NewSize)
        .Put("changes", ChangesText(entry.Changes));
    if (!entry.UndoesId.empty()) {
        line.Put("undoes", entry.UndoesId);
    }
    return CloseLine(line, entry);
}

} // namespace

std::string EntryLine(const JournalEntry& entry) {
    if (entry.Kind == RecordKind::Index) {
        return IndexEntryLine(entry);
    }
    JournalLine line;
    PutFile(line, entry)
        .Put("handler_pos", entry.HandlerPos)
        .Put("compression_pos", entry.CompressionPos)
        .Put("from_handler", FourCCBytes(entry.From.Handler))
        .Put("from_compression", FourCCBytes(entry.From.Compression))
        .Put("to_handler", FourCCBytes(entry.To.Handler))
        .Put("to_compression", FourCCBytes(entry.To.Compression))
        .Put("from_kind", std::int64_t{entry.FromKind})
        .Put("to_kind", std::int64_t{entry.ToKind})
        .Put("mode", std::uint64_t{entry.Mode});
    return CloseLine(line, entry);
}

void Journal::Forget() {
    entries_.clear();
    byId_.clear();
    read_ = {};
    offset_ = 0;
    skipped_ = 0;
    tornTail_ = false;
    compactedSize_ = 0;
}

void Journal::TakeLine(const std::string& text) {
    const auto line = JournalLine::Parse(text);
    EntryState state = EntryState::Pending;
    if (!line || !line->Has("id")) {
        ++skipped_;
        return;
    }
    // The first line of a compacted journal says how long the compaction left it.
    if (offset_ == 0 && entries_.empty() && line->Has("compacted_size")) {
        compactedSize_ = line->Number("compacted_size");
    }
    if (!line->Has("path")) {
        const auto found = byId_.find(line->Text("id"));
        if (found != byId_.end() && StateOf(line->Text("state"), state)) {
            entries_[found->second].State = state;
            entries_[found->second].Bytes += static_cast<std::int64_t>(text.size() + 1);
        } else {
            ++skipped_;
        }
        return;
    }
    JournalEntry entry;
    entry.Id = line->Text("id");
    entry.Time = line->Text("time");
    entry.Path = PathOf(*line);
    entry.File.Volume = line->Unsigned("volume");
    entry.File.Index = line->Unsigned("index");
    entry.File.Size = line->Number("size");
    entry.File.Generation = line->Unsigned("generation");
    if (line->Has("kind")) {
        // A kind this version does not know is kept whole and never acted on, like a damaged
        // record.
        entry.Kind = RecordKind::Index;
        entry.NewSize = line->Number("new_size");
        entry.UndoesId = line->Text("undoes");
        entry.Damage =
            line->Text("kind") == kIndexKind
                ? IndexDamage(*line, entry)
                : "a record of the kind " + line->Text("kind") + " this version does not know";
        entry.Line = text;
    } else {
        entry.HandlerPos = line->Number("handler_pos");
        entry.CompressionPos = line->Number("compression_pos");
        entry.From = {CodeOf(line->Text("from_handler")), CodeOf(line->Text("from_compression"))};
        entry.To = {CodeOf(line->Text("to_handler")), CodeOf(line->Text("to_compression"))};
        entry.FromKind = static_cast<CodecKind>(line->Number("from_kind"));
        entry.ToKind = static_cast<CodecKind>(line->Number("to_kind"));
        entry.ModeFault = ModeFault(*line);
        entry.Mode =
            entry.ModeFault.empty() ? static_cast<os::Attributes>(line->Unsigned("mode")) : 0;
        entry.Damage = RecordDamage(*line, entry);
        if (!entry.Damage.empty() || !OnlyKnownFields(*line)) {
            entry.Line = text;
        }
    }
    if (line->Has("state") && !StateOf(line->Text("state"), entry.State)) {
        ++skipped_;
        return;
    }
    entry.Bytes = static_cast<std::int64_t>(text.size() + 1);
    // A record this process appended itself is already known; it is read again in its place.
    const auto known = byId_.find(entry.Id);
    if (known != byId_.end()) {
        entries_[known->second] = std::move(entry);
        return;
    }
    byId_[entry.Id] = entries_.size();
    entries_.push_back(std::move(entry));
}

const JournalEntry* Journal::Find(const std::string& id) const {
    const auto found = byId_.find(id);
    return found != byId_.end() ? &entries_[found->second] : nullptr;
}

bool Journal::Refresh() {
    std::string text;
    if (!ReadNew(text)) {
        return false;
    }
    std::size_t start = 0;
    for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
        // A line ended on Windows keeps its carriage return; JSON reads it as a blank.
        const std::size_t length = end - start - (end > start && text[end - 1] == '\r' ? 1 : 0);
        if (length > 0) {
            TakeLine(text.substr(start, length));
        }
        offset_ += static_cast<std::int64_t>(end + 1 - start);
    }
    // An unfinished last line is a record cut short; it is read again once a line feed ends it.
    tornTail_ = start < text.size();
    return true;
}

void Journal::Take(const std::string& line) {
    TakeLine(line);
}

bool Journal::ReadNew(std::string& text) {
    text.clear();
    if (path_.empty()) {
        error_ = NoStateFolderReason();
        return false;
    }
    std::error_code error;
    const fs::path where = os::PathFromUtf8(path_);
    const fs::file_status status = fs::status(where, error);
    if (fs::is_directory(status)) {
        error_ = "it is a folder";
        return false;
    }
    if (status.type() == fs::file_type::not_found) {
        Forget();
        return true;
    }
    if (!fs::is_regular_file(status) && !error) {
        error_ = NotRegularReason(status.type());
        return false;
    }
    // The reason of the caller's own failed open stays for the caller to report.
    const int callersError = os::LastSystemError();
    os::RememberSystemError(0);
    const HandleGuard handle(
        os::Files().Open(path_.c_str(), os::Access::Read, os::Share::ReadWriteDelete));
    os::FileIdentity now;
    const bool opened =
        handle.Get() != os::InvalidHandle() && os::Files().Identify(handle.Get(), now);
    if (!opened) {
        error_ = SystemReason();
    }
    os::RememberSystemError(callersError);
    if (!opened) {
        return false;
    }
    // Another journal in the same place (compacted, or replaced by hand): read it from the start.
    if (!now.SameFile(read_) || now.Size < offset_) {
        Forget();
    }
    read_ = now;
    os::ClearLastError();
    if (os::Files().Seek(handle.Get(), offset_, 0) != offset_) {
        error_ = os::LastErrorTextOr("the journal could not be read from where it was left");
        return false;
    }
    // Room for what is there now, so that a large journal is not copied each time it grows.
    if (const std::int64_t left = now.Size - offset_;
        left > 0 && static_cast<std::uint64_t>(left) < text.max_size()) {
        text.reserve(static_cast<std::size_t>(left));
    }
    std::vector<char> chunk(kReadChunk);
    std::uint32_t got = 0;
    for (os::ClearLastError(); (got = os::Files().Read(handle.Get(), chunk.data(), kReadChunk)) > 0;
         os::ClearLastError()) {
        text.append(chunk.data(), got);
    }
    // The end of the file reads as nothing without a reason; a failed read gives one.
    if (const std::string reason = os::LastErrorTextOr(""); !reason.empty()) {
        error_ = reason;
        return false;
    }
    return true;
}

bool Journal::Append(const std::string& line, bool flush) {
    const HandleGuard handle(os::Files().OpenAppend(path_.c_str()));
    if (handle.Get() == os::InvalidHandle()) {
        std::error_code ignored;
        error_ = fs::is_directory(os::PathFromUtf8(path_), ignored) ? "it is a folder"
                                                                    : os::LastErrorText();
        return false;
    }
    // After a torn line the record starts a line of its own, so that it is not lost with it.
    const std::string text = EndsWithLineFeed(handle.Get()) ? line : "\n" + line;
    if (!WriteWhole(handle.Get(), text, error_)) {
        return false;
    }
    os::ClearLastError();
    if (flush && !os::Files().Flush(handle.Get())) {
        error_ = os::LastErrorTextOr("the journal could not be flushed");
        return false;
    }
    return true;
}

bool Journal::Begin(JournalEntry& entry) {
    entry.Id = NewRecordId();
    entry.Time = UtcNow();
    entry.State = EntryState::Pending;
    notice_.clear();
    if (!Writable()) {
        return false;
    }
    const JournalLock lock(path_, waitMs_);
    if (!lock.Held()) {
        error_ = lock.Error();
        return false;
    }
    if (DueForCompaction()) {
        Compact();
    }
    if (!Append(EntryLine(entry), true)) {
        return false;
    }
    byId_[entry.Id] = entries_.size();
    entries_.push_back(entry);
    return true;
}

bool Journal::Settle(const JournalEntry& entry, EntryState state) {
    const JournalLock lock(path_, waitMs_);
    if (!lock.Held()) {
        error_ = lock.Error();
        return false;
    }
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

// The journal's folder is made, and whatever is in the journal's place must be a file: a pipe
// or a device would take the record and keep nothing.
bool Journal::Writable() {
    if (path_.empty()) {
        error_ = NoStateFolderReason();
        return false;
    }
    std::error_code error;
    // The reason of the call that failed, rather than that of the open which would fail after it.
    if (!fs::create_directories(os::PathFromUtf8(path_).parent_path(), error) && error) {
        error_ = error.message();
        while (!error_.empty() &&
               (error_.back() == '\n' || error_.back() == '\r' || error_.back() == '.')) {
            error_.pop_back();
        }
        return false;
    }
    const fs::file_status status = fs::status(os::PathFromUtf8(path_), error);
    if (fs::is_directory(status)) {
        error_ = "it is a folder";
        return false;
    }
    if (fs::exists(status) && !fs::is_regular_file(status)) {
        error_ = NotRegularReason(status.type());
        return false;
    }
    return true;
}

std::string Journal::Shown() const {
    if (!path_.empty()) {
        return path_;
    }
#ifdef _WIN32
    return "%LOCALAPPDATA%\\Vidtag\\journal.jsonl";
#else
    return "$HOME/.local/state/vidtag/journal.jsonl";
#endif
}

std::string ShownJournalPath() {
    return Journal(JournalPath()).Shown();
}

namespace {

// The folder the program started in. The dialog's file picker makes the folder of the file
// picked the current one, so a relative journal resolved at its first use would follow the
// first file picked.
const fs::path& StartFolder() {
    static const fs::path folder = [] {
        std::error_code error;
        return fs::current_path(error);
    }();
    return folder;
}

// Taken while the program starts, before any file picker has run.
[[maybe_unused]] const bool kStartFolderTaken = !StartFolder().empty();

// A name relative to another drive (C:name on Windows) stays relative when joined; the current
// folder of that drive is then the only one it can mean.
std::string AbsoluteFromStart(const std::string& path) {
    const fs::path joined = (StartFolder() / os::PathFromUtf8(path)).lexically_normal();
    return joined.is_absolute() ? os::Utf8FromPath(joined) : AbsolutePath(path);
}

} // namespace

std::string JournalPath() {
    const std::string named = os::EnvironmentVariable("VIDTAG_JOURNAL");
    if (!named.empty()) {
        thread_local std::string given;
        thread_local std::string absolute;
        if (named != given) {
            given = named;
            absolute = AbsoluteFromStart(named);
        }
        return absolute;
    }
    // Without a home folder there is no state folder: a relative path would put the journal
    // wherever the program happens to run.
#ifdef _WIN32
    const std::string base = os::EnvironmentVariable("LOCALAPPDATA");
    const fs::path folder = os::PathFromUtf8(base) / "Vidtag";
#else
    const std::string state = os::EnvironmentVariable("XDG_STATE_HOME");
    const bool useState = !state.empty() && state.front() == '/';
    const std::string base = useState ? state : os::EnvironmentVariable("HOME");
    const fs::path folder =
        (useState ? os::PathFromUtf8(state) : os::PathFromUtf8(base) / ".local" / "state") /
        "vidtag";
#endif
    return base.empty() ? std::string() : os::Utf8FromPath(folder / "journal.jsonl");
}

std::string AbsolutePath(const std::string& path) {
    std::error_code error;
    const fs::path absolute = fs::absolute(os::PathFromUtf8(path), error);
    return error ? path : os::Utf8FromPath(absolute.lexically_normal());
}

} // namespace vidtag
