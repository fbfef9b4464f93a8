#pragma once

#include <cstdlib>
#include <string>

namespace vidtag::test {

// Points this process's conversions, and those of the programs it starts, at another journal.
inline void SetJournalVariable(const std::string& path) {
#ifdef _WIN32
    _putenv_s("VIDTAG_JOURNAL", path.c_str());
#else
    setenv("VIDTAG_JOURNAL", path.c_str(), 1);
#endif
}

} // namespace vidtag::test
