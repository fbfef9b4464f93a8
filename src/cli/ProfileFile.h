#pragma once

#include "check/Profiles.h"

#include <stdexcept>
#include <string>
#include <vector>

namespace vidtag::cli {

// A profile file that cannot be used: the file, the field ("" for the whole file) and why.
struct ProfileFileError : std::runtime_error {
    ProfileFileError(const std::string& file, const std::string& field, const std::string& why);
};

// The folder of the user's profile files: $XDG_CONFIG_HOME/vidtag/profiles (~/.config when
// unset), %APPDATA%\Vidtag\profiles on Windows; "" without a home folder.
std::string UserProfileFolder();

// A device profile from a JSON file. Every field is optional; an unknown field, a value of the
// wrong type, a code that is not four characters, a negative number or a size without its
// width, height or fps throws.
check::Profile LoadProfileFile(const std::string& path);

// What --check names: a built-in profile, a path ending in ".json", or NAME.json in the user's
// folder. Throws ProfileFileError for a bad file, std::invalid_argument for a name nothing has.
check::Profile ResolveProfile(const std::string& argument);

// The user's profile files, by file name; throws for the first bad one.
std::vector<check::Profile> UserProfiles();

} // namespace vidtag::cli
