#include "os/Paths.h"
#include "os/SystemError.h"
#include "os/Utf8Path.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <fnmatch.h>
#include <sys/stat.h>
#include <system_error>

namespace vidtag::os {

namespace {

EntryType TypeOfMode(mode_t mode) {
    return S_ISREG(mode)   ? EntryType::File
           : S_ISDIR(mode) ? EntryType::Folder
           : S_ISLNK(mode) ? EntryType::Link
                           : EntryType::Other;
}

// The type the listing gave, or, where the file system gives none, the entry's own status.
FolderEntry Examine(DIR* folder, const dirent& item) {
    FolderEntry entry{item.d_name, EntryType::Other, 0};
    if (item.d_type != DT_UNKNOWN) {
        entry.Type = item.d_type == DT_REG   ? EntryType::File
                     : item.d_type == DT_DIR ? EntryType::Folder
                     : item.d_type == DT_LNK ? EntryType::Link
                                             : EntryType::Other;
        return entry;
    }
    struct stat info {};
    if (::fstatat(::dirfd(folder), item.d_name, &info, AT_SYMLINK_NOFOLLOW) != 0) {
        entry.Error = errno;
        return entry;
    }
    entry.Type = TypeOfMode(info.st_mode);
    return entry;
}

} // namespace

bool ListFolder(const std::string& folder, std::vector<FolderEntry>& entries) {
    DIR* listing = ::opendir(folder.c_str());
    if (listing == nullptr) {
        RememberSystemError(errno);
        return false;
    }
    for (;;) {
        errno = 0;
        const dirent* item = ::readdir(listing);
        if (item == nullptr) {
            break;
        }
        const std::string name = item->d_name;
        if (name == "." || name == "..") {
            continue;
        }
        FolderEntry entry = Examine(listing, *item);
        if (entry.Error != ENOENT) {
            entries.push_back(std::move(entry));
        }
    }
    const int code = errno;
    ::closedir(listing);
    if (code != 0) {
        RememberSystemError(code);
        return false;
    }
    return true;
}

bool IsFolder(const std::string& name) {
    struct stat info {};
    return ::stat(name.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

std::string JoinPath(const std::string& folder, const std::string& name) {
    return folder.empty() || folder.back() == '/' ? folder + name : folder + "/" + name;
}

bool MatchesPattern(std::string_view name, std::string_view pattern) {
    return ::fnmatch(std::string(pattern).c_str(), std::string(name).c_str(), FNM_NOESCAPE) == 0;
}

std::string CanonicalPath(const std::string& name) {
    if (char* real = ::realpath(name.c_str(), nullptr)) {
        std::string path = real;
        std::free(real);
        return path;
    }
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(PathFromUtf8(name), error);
    return error ? name : Utf8FromPath(absolute.lexically_normal());
}

bool SamePath(std::string_view a, std::string_view b) {
    return a == b;
}

bool NamesFile(const std::string& recorded, const std::string& canonical) {
    if (recorded == canonical) {
        return true;
    }
    const auto last = [](const std::string& path) { return path.substr(path.rfind('/') + 1); };
    return last(recorded) == last(canonical) && CanonicalPath(recorded) == canonical;
}

} // namespace vidtag::os
