#include "FolderExpansion.h"

#include "CliTexts.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace vidtag::cli {

namespace fs = std::filesystem;

namespace {

// std::filesystem reads and writes narrow names in the locale's encoding; going through char8_t
// keeps them UTF-8 on every platform.
fs::path FromUtf8(const std::string& text) {
    return fs::path(std::u8string(text.begin(), text.end()));
}

std::string ToUtf8(const fs::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

bool HasAviExtension(const fs::path& path) {
    const std::string extension = ToUtf8(path.extension());
    std::string lower;
    for (const char c : extension) {
        lower += (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    }
    return lower == ".avi";
}

void ExpandFolder(const std::string& folder, int language, std::vector<FileArgument>& out) {
    std::vector<fs::path> found;
    std::error_code error;
    fs::recursive_directory_iterator it(FromUtf8(folder),
                                        fs::directory_options::skip_permission_denied, error);
    for (; !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
        std::error_code typeError;
        if (it->is_regular_file(typeError) && HasAviExtension(it->path())) {
            found.push_back(it->path());
        }
    }
    if (error) {
        out.push_back({folder, Fill(MessageText(language, Message::CannotList), error.message())});
        return;
    }
    if (found.empty()) {
        out.push_back({folder, MessageText(language, Message::NoAviInFolder)});
        return;
    }
    std::sort(found.begin(), found.end());
    for (const fs::path& path : found) {
        out.push_back({ToUtf8(path), {}});
    }
}

} // namespace

std::vector<FileArgument> ExpandArguments(const std::vector<std::string>& arguments, bool recursive,
                                          int language) {
    std::vector<FileArgument> files;
    for (const std::string& argument : arguments) {
        std::error_code error;
        if (!fs::is_directory(FromUtf8(argument), error)) {
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
