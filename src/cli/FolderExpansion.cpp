#include "FolderExpansion.h"

#include "CliTexts.h"
#include "os/Paths.h"
#include "os/SystemError.h"
#include "os/Utf8Path.h"

#include <algorithm>
#include <filesystem>

namespace vidtag::cli {

namespace {

bool HasAviExtension(const std::string& name) {
    const std::size_t dot = name.rfind('.');
    std::string lower;
    for (const char c : name.substr(dot == std::string::npos ? name.size() : dot)) {
        lower += (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    }
    return lower == ".avi" || lower == ".mkv";
}

using Found = std::vector<std::pair<std::string, std::string>>;

// The reason an entry or a folder could not be read, as an error argument of its own.
void Refused(const std::string& path, int code, int language, Found& out) {
    out.push_back(
        {path, Fill(MessageText(language, Message::CannotList), os::SystemErrorText(code))});
}

// One folder and, depth first, the folders in it. A folder that cannot be listed, or whose
// listing breaks off, and an entry that cannot be examined are reported with the system's reason,
// and the walk goes on with the rest. Symbolic links are not followed, whether they point at
// files or folders: a link may lead out of the tree or back into it. Every other entry named .avi
// is listed, whatever its type.
void Walk(const std::string& folder, int language, Found& out) {
    std::vector<os::FolderEntry> entries;
    if (!os::ListFolder(folder, entries)) {
        Refused(folder, os::LastSystemError(), language, out);
    }
    std::vector<std::string> folders;
    for (const os::FolderEntry& entry : entries) {
        const std::string path = os::JoinPath(folder, entry.Name);
        if (entry.Error != 0) {
            out.push_back({path, Fill(MessageText(language, Message::CannotExamine),
                                      os::SystemErrorText(entry.Error))});
        } else if (entry.Type == os::EntryType::Folder) {
            folders.push_back(path);
        } else if (entry.Type != os::EntryType::Link && HasAviExtension(entry.Name)) {
            // A named pipe, socket or device goes in too: the engine refuses it at once and
            // says what it is, as for one named on the command line.
            out.push_back({path, {}});
        }
    }
    for (const std::string& inner : folders) {
        Walk(inner, language, out);
    }
}

// Paths sort by their parts, so that a folder's files come together before its subfolders'.
bool PathOrder(const std::pair<std::string, std::string>& a,
               const std::pair<std::string, std::string>& b) {
    return std::pair(os::PathFromUtf8(a.first), a.second) <
           std::pair(os::PathFromUtf8(b.first), b.second);
}

void ExpandFolder(const std::string& folder, int language, std::vector<FileArgument>& out) {
    Found found;
    Walk(folder, language, found);
    if (found.empty()) {
        out.push_back({folder, MessageText(language, Message::NoAviInFolder)});
        return;
    }
    // A folder that could not be listed sorts just before what it would have held.
    std::sort(found.begin(), found.end(), PathOrder);
    for (const auto& [path, error] : found) {
        out.push_back({path, error});
    }
}

#ifdef _WIN32
// Where the last part of a path starts; the \\?\ prefix is no part of it.
std::size_t LastPart(const std::string& path) {
    const std::size_t slash = path.find_last_of("\\/:");
    return slash == std::string::npos ? 0 : slash + 1;
}

bool IsPattern(const std::string& argument) {
    return argument.find_first_of("*?", LastPart(argument)) != std::string::npos;
}

std::string Folded(const std::string& text) {
    std::string lower = text;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; });
    return lower;
}

// cmd.exe hands wildcards to the program. They match the files of the pattern's own folder, in
// any case, sorted as Explorer lists them; -r does not carry a pattern into subfolders.
void ExpandPattern(const std::string& argument, int language, std::vector<FileArgument>& out) {
    const std::size_t start = LastPart(argument);
    const std::string folder = argument.substr(0, start);
    const std::string pattern = argument.substr(start);
    std::vector<os::FolderEntry> entries;
    if (!os::ListFolder(folder.empty() ? "." : folder, entries)) {
        out.push_back({argument, Fill(MessageText(language, Message::CannotList),
                                      os::SystemErrorText(os::LastSystemError()))});
        return;
    }
    std::vector<std::string> names;
    for (const os::FolderEntry& entry : entries) {
        if (entry.Type == os::EntryType::File && os::MatchesPattern(entry.Name, pattern)) {
            names.push_back(entry.Name);
        }
    }
    if (names.empty()) {
        out.push_back({argument, Fill(MessageText(language, Message::NoMatch), argument)});
        return;
    }
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
        return std::pair(Folded(a), a) < std::pair(Folded(b), b);
    });
    for (const std::string& name : names) {
        out.push_back({folder + name, {}});
    }
}
#endif

} // namespace

std::vector<FileArgument> ExpandArguments(const std::vector<std::string>& arguments, bool recursive,
                                          int language) {
    std::vector<FileArgument> files;
    for (const std::string& argument : arguments) {
#ifdef _WIN32
        if (IsPattern(argument)) {
            ExpandPattern(argument, language, files);
            continue;
        }
#endif
        if (!os::IsFolder(argument)) {
            files.push_back({argument, {}});
        } else if (recursive) {
            ExpandFolder(argument, language, files);
        } else {
            files.push_back({argument, MessageText(language, Message::IsFolder)});
        }
    }
    return files;
}

} // namespace vidtag::cli
