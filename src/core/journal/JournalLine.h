#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>

namespace vidtag {

// One line of the conversion journal: a flat JSON object whose values are strings and integers.
// The engine needs nothing more, and a reader of its own keeps the core free of any library
// beyond the standard one. In strings, \u00NN stands for the byte NN, so that a code holding
// any byte comes back exactly; other text (file names) is written as the UTF-8 it is.
class JournalLine {
  public:
    JournalLine& Put(const std::string& key, const std::string& text);
    JournalLine& Put(const std::string& key, std::int64_t number);
    JournalLine& Put(const std::string& key, std::uint64_t number);
    // The object and its line feed.
    std::string Text() const;

    // The fields of a line, or nothing when it is not a flat object of strings and integers.
    static std::optional<JournalLine> Parse(const std::string& line);

    std::string Text(const std::string& key) const;
    std::int64_t Number(const std::string& key) const;
    std::uint64_t Unsigned(const std::string& key) const;
    bool Has(const std::string& key) const { return fields_.count(key) != 0; }

  private:
    void Field(const std::string& key, const std::string& value);

    std::string out_;
    std::map<std::string, std::string> fields_;
};

} // namespace vidtag
