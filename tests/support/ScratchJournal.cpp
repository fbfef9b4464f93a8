// Linked into every test program: before any test runs, the conversion journal is pointed into a
// scratch folder of the program's own, so that no test (nor any program a test starts, which
// inherits the variable) ever reads or writes a real user's journal.
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <system_error>

namespace {

namespace fs = std::filesystem;

class ScratchJournal {
  public:
    ScratchJournal() {
        std::random_device random;
        folder_ = fs::temp_directory_path() / ("vidtag-journal-" + std::to_string(random()));
        std::error_code ignored;
        fs::create_directories(folder_, ignored);
        const std::string journal = (folder_ / "journal.jsonl").string();
#ifdef _WIN32
        _putenv_s("VIDTAG_JOURNAL", journal.c_str());
#else
        setenv("VIDTAG_JOURNAL", journal.c_str(), 1);
#endif
    }
    ~ScratchJournal() {
        std::error_code ignored;
        fs::remove_all(folder_, ignored);
    }
    ScratchJournal(const ScratchJournal&) = delete;
    ScratchJournal& operator=(const ScratchJournal&) = delete;

  private:
    fs::path folder_;
};

const ScratchJournal scratch;

} // namespace
