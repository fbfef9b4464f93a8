#include "os/Paths.h"
#include "os/SystemError.h"
#include "os/Utf8Path.h"

#include <windows.h>

namespace vidtag::os {

namespace {

// Functions that Windows XP lacks are looked up when first needed.
template <typename Function> Function Kernel32Function(const char* name) {
    const FARPROC found = ::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), name);
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(found));
}

EntryType TypeOf(const WIN32_FIND_DATAW& data) {
    const bool link = (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 &&
                      (data.dwReserved0 == IO_REPARSE_TAG_SYMLINK ||
                       data.dwReserved0 == IO_REPARSE_TAG_MOUNT_POINT);
    if (link) {
        return EntryType::Link;
    }
    return (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? EntryType::Folder
                                                                   : EntryType::File;
}

bool IsSlash(char c) {
    return c == '\\' || c == '/';
}

// The system trims a trailing dot or space off a name, unless it comes in the \\?\ form.
bool TrimmedBySystem(const std::string& name) {
    return !name.empty() && (name.back() == '.' || name.back() == ' ') && name != "." &&
           name != "..";
}

std::wstring WithoutPrefix(const std::wstring& path) {
    if (path.rfind(L"\\\\?\\UNC\\", 0) == 0) {
        return L"\\\\" + path.substr(8);
    }
    return path.rfind(L"\\\\?\\", 0) == 0 ? path.substr(4) : path;
}

// Records written before paths were canonical hold "C:\?\C:\..." for a name given as
// "\\?\C:\...".
std::string Repaired(const std::string& name) {
    const bool broken = name.size() > 7 && name[1] == ':' && IsSlash(name[2]) && name[3] == '?' &&
                        IsSlash(name[4]) && name[6] == ':';
    return broken ? name.substr(5) : name;
}

std::wstring FinalPath(HANDLE handle) {
    using Function = DWORD(WINAPI*)(HANDLE, LPWSTR, DWORD, DWORD);
    static const auto finalPath = Kernel32Function<Function>("GetFinalPathNameByHandleW");
    if (finalPath == nullptr) {
        return {};
    }
    const DWORD size = finalPath(handle, nullptr, 0, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (size == 0) {
        return {};
    }
    std::wstring path(size, L'\0');
    const DWORD length =
        finalPath(handle, path.data(), size, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (length == 0 || length >= size) {
        return {};
    }
    path.resize(length);
    return path;
}

std::wstring UpperCase(std::string_view text) {
    std::wstring wide = WideFromUtf8(std::string(text).c_str());
    if (!wide.empty()) {
        ::LCMapStringW(LOCALE_INVARIANT, LCMAP_UPPERCASE, wide.c_str(),
                       static_cast<int>(wide.size()), wide.data(), static_cast<int>(wide.size()));
    }
    return wide;
}

// Backtracks to the last * only: each * takes the fewest characters that let the rest match.
bool Matches(const std::wstring& name, const std::wstring& pattern) {
    std::size_t n = 0, p = 0, star = std::wstring::npos, resume = 0;
    while (n < name.size()) {
        if (p < pattern.size() && (pattern[p] == L'?' || pattern[p] == name[n])) {
            ++n;
            ++p;
        } else if (p < pattern.size() && pattern[p] == L'*') {
            star = p++;
            resume = n;
        } else if (star != std::wstring::npos) {
            p = star + 1;
            n = ++resume;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == L'*') {
        ++p;
    }
    return p == pattern.size();
}

} // namespace

bool ListFolder(const std::string& folder, std::vector<FolderEntry>& entries) {
    const std::wstring pattern = SystemName(JoinPath(folder, "*").c_str());
    WIN32_FIND_DATAW data{};
    const HANDLE search = ::FindFirstFileExW(pattern.c_str(), FindExInfoStandard, &data,
                                             FindExSearchNameMatch, nullptr, 0);
    if (search == INVALID_HANDLE_VALUE) {
        const DWORD code = ::GetLastError();
        // A drive's root holds no "." or "..", so an empty one matches nothing.
        if (code == ERROR_FILE_NOT_FOUND) {
            return true;
        }
        RememberSystemError(static_cast<int>(code));
        return false;
    }
    do {
        const std::string name = Utf8FromWide(data.cFileName);
        if (name != "." && name != "..") {
            entries.push_back({name, TypeOf(data), 0});
        }
    } while (::FindNextFileW(search, &data));
    const DWORD code = ::GetLastError();
    ::FindClose(search);
    if (code != ERROR_NO_MORE_FILES) {
        RememberSystemError(static_cast<int>(code));
        return false;
    }
    return true;
}

bool IsFolder(const std::string& name) {
    const DWORD attributes = ::GetFileAttributesW(SystemName(name.c_str()).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// A name the system would trim is joined to the folder's \\?\ form, which keeps it; so is every
// name below it, the folder's path then being in that form.
std::string JoinPath(const std::string& folder, const std::string& name) {
    const std::string base = TrimmedBySystem(name) && folder.rfind("\\\\?\\", 0) != 0
                                 ? Utf8FromWide(SystemName(folder.c_str()).c_str())
                                 : folder;
    return base.empty() || IsSlash(base.back()) ? base + name : base + "\\" + name;
}

bool MatchesPattern(std::string_view name, std::string_view pattern) {
    return Matches(UpperCase(name), UpperCase(pattern));
}

namespace {

// The last name as the system reads it: without the dots and spaces it trims.
std::string_view LastName(std::string_view path) {
    std::size_t end = path.size();
    while (end > 0 && (path[end - 1] == '.' || path[end - 1] == ' ')) {
        --end;
    }
    const std::size_t slash = path.find_last_of("\\/", end == 0 ? 0 : end - 1);
    const std::size_t start = slash == std::string_view::npos ? 0 : slash + 1;
    return path.substr(start, end - start);
}

} // namespace

bool NamesFile(const std::string& recorded, const std::string& canonical) {
    return SamePath(recorded, canonical) || (SamePath(LastName(recorded), LastName(canonical)) &&
                                             SamePath(CanonicalPath(recorded), canonical));
}

std::string CanonicalPath(const std::string& name) {
    const std::wstring system = SystemName(Repaired(name).c_str());
    // No access asked: the file's name is all that is read, whoever holds it open.
    const HANDLE handle =
        ::CreateFileW(system.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    std::wstring path;
    if (handle != INVALID_HANDLE_VALUE) {
        path = FinalPath(handle);
        ::CloseHandle(handle);
    }
    return Utf8FromWide(WithoutPrefix(path.empty() ? system : path).c_str());
}

bool SamePath(std::string_view a, std::string_view b) {
    using Function = int(WINAPI*)(LPCWCH, int, LPCWCH, int, BOOL);
    static const auto compare = Kernel32Function<Function>("CompareStringOrdinal");
    if (compare == nullptr) {
        return UpperCase(a) == UpperCase(b);
    }
    const std::wstring first = WideFromUtf8(std::string(a).c_str());
    const std::wstring second = WideFromUtf8(std::string(b).c_str());
    // No file is called by bytes that are not UTF-8; such a record matches only itself.
    if ((first.empty() && !a.empty()) || (second.empty() && !b.empty())) {
        return a == b;
    }
    return compare(first.c_str(), static_cast<int>(first.size()), second.c_str(),
                   static_cast<int>(second.size()), TRUE) == CSTR_EQUAL;
}

} // namespace vidtag::os
