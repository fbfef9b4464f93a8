#pragma once

#include <string>
#include <vector>

namespace vidtag::cli {

// One file to process, or an argument that cannot be processed, with the reason.
struct FileArgument {
    std::string Path;
    std::string Error;
};

// Files stay as given. A folder becomes its files whose names end in .avi in any case, at any
// depth and sorted, when recursive; otherwise it is an error for that argument. Links inside
// folders are not followed; a folder that cannot be listed becomes an error argument of its own,
// sorted among the files. Paths are UTF-8.
std::vector<FileArgument> ExpandArguments(const std::vector<std::string>& arguments, bool recursive,
                                          int language);

} // namespace vidtag::cli
