#pragma once

#include <string>
#include <string_view>
#include <vector>

// Folder listing and path identity: what a folder holds, and which spelling of a path is the
// file's own.
namespace vidtag::os {

enum class EntryType { File, Folder, Link, Other };

// One name in a folder. Symbolic links and junctions are Link, whatever they point at: a walk
// that followed them could leave the tree or come back into it. Other: a pipe, socket or device.
struct FolderEntry {
    std::string Name;
    EntryType Type = EntryType::Other;
    // The system's reason when the entry was listed but could not be examined; 0 when it could.
    int Error = 0;
};

// The names in a folder without "." and "..", in no particular order. An entry that vanished
// between the listing and its examination is left out; one that could not be examined for any
// other reason is kept with the reason. False, with the reason left for LastSystemError(), when
// the folder cannot be listed or its listing breaks off.
bool ListFolder(const std::string& folder, std::vector<FolderEntry>& entries);

// Whether the name is a folder; a link to a folder counts.
bool IsFolder(const std::string& name);

// The path joined with one more name, with the platform's separator.
std::string JoinPath(const std::string& folder, const std::string& name);

// Whether a name matches a pattern in which * stands for any characters and ? for one, compared
// the way the file system compares names.
bool MatchesPattern(std::string_view name, std::string_view pattern);

// The full path of the file a name opens, as the file system spells it: on Windows the final path
// of an open handle without the \\?\ prefix (case as stored, short names expanded), elsewhere the
// real path with every link resolved. When the file cannot be opened, the name made absolute.
std::string CanonicalPath(const std::string& name);

// Whether two full paths name the same place the way the file system compares names: ordinal and
// case-insensitive on Windows, byte for byte elsewhere.
bool SamePath(std::string_view a, std::string_view b);

// Whether a path written down earlier, in whatever spelling, names the file whose canonical path
// is given: the same path, or, when their last names agree, the same once made canonical itself.
// Only those records cost a look at the file system.
bool NamesFile(const std::string& recorded, const std::string& canonical);

} // namespace vidtag::os
