#pragma once

#include "support/BuildPaths.h"

#include <cstdint>
#include <string>
#include <vector>

namespace vidtag::test {

using Bytes = std::vector<std::uint8_t>;

// A fresh folder under the system's temporary folder, removed with everything in it.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& Root() const { return root_; }
    std::string Path(const std::string& name) const;

  private:
    std::string root_;
};

Bytes ReadFileBytes(const std::string& path);
void WriteFileBytes(const std::string& path, const Bytes& bytes);
// The path of a file in samples/.
std::string SamplePath(const std::string& name);
// True when the test runs as a Windows program (natively or under Wine).
constexpr bool kOnWindows =
#ifdef _WIN32
    true;
#else
    false;
#endif

} // namespace vidtag::test
