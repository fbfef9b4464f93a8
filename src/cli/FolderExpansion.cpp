#include "FolderExpansion.h"

#include "CliTexts.h"
#include "os/Utf8Path.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace vidtag::cli {

namespace fs = std::filesystem;

namespace {

bool HasAviExtension(const fs::path& path) {
    const std::string extension = os::Utf8FromPath(path.extension());
    std::string lower;
    for (const char c : extension) {
        lower += (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    }
    return lower == ".avi" || lower == ".mkv";
}

// One folder and, depth first, the folders in it. A folder that cannot be listed, or whose
// listing breaks off, is reported with the system's reason and the walk goes on with the rest.
// Symbolic links are not followed, whether they point at files or folders: a link may lead out
// of the tree or back into it.
void Walk(const fs::path& folder, int language,
          std::vector<std::pair<fs::path, std::string>>& out) {
    std::error_code error;
    std::vector<fs::path> folders;
    for (fs::directory_iterator it(folder, error); !error && it != fs::directory_iterator();
         it.increment(error)) {
        std::error_code typeError;
        const fs::file_status status = it->symlink_status(typeError);
        if (typeError) {
            continue; // gone since it was listed
        }
        if (fs::is_directory(status)) {
            folders.push_back(it->path());
        } else if (fs::is_regular_file(status) && HasAviExtension(it->path())) {
            out.push_back({it->path(), {}});
        }
    }
    if (error) {
        out.push_back({folder, Fill(MessageText(language, Message::CannotList), error.message())});
    }
    for (const fs::path& inner : folders) {
        Walk(inner, language, out);
    }
}

void ExpandFolder(const std::string& folder, int language, std::vector<FileArgument>& out) {
    std::vector<std::pair<fs::path, std::string>> found;
    Walk(os::PathFromUtf8(folder), language, found);
    if (found.empty()) {
        out.push_back({folder, MessageText(language, Message::NoAviInFolder)});
        return;
    }
    // A folder that could not be listed sorts just before what it would have held.
    std::sort(found.begin(), found.end());
    for (const auto& [path, error] : found) {
        out.push_back({os::Utf8FromPath(path), error});
    }
}

} // namespace

std::vector<FileArgument> ExpandArguments(const std::vector<std::string>& arguments, bool recursive,
                                          int language) {
    std::vector<FileArgument> files;
    for (const std::string& argument : arguments) {
        std::error_code error;
        if (!fs::is_directory(os::PathFromUtf8(argument), error)) {
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
