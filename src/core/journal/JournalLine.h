#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace vidtag {

// One line of the conversion journal: a JSON object. The journal writes flat objects of strings
// and integers; it reads any JSON object, passing over what it does not use (later versions'
// fields, whatever their type), so that a journal edited by hand or written by a later version
// keeps its records. A reader of its own keeps the core free of any library beyond the standard
// one. In strings, \u00NN stands for the byte NN, so that a code holding any byte comes back
// exactly; escapes above \u00FF (surrogate pairs included) stand for their UTF-8 form, and other
// text (file names) is written as the UTF-8 it is. Bytes that are no UTF-8 are written escaped,
// so that every line is valid UTF-8.
class JournalLine {
  public:
    JournalLine& Put(const std::string& key, const std::string& text);
    JournalLine& Put(const std::string& key, std::int64_t number);
    JournalLine& Put(const std::string& key, std::uint64_t number);
    // The object put together, and its line feed. The fields put are not read back: a line is
    // either written or read.
    std::string Text() const;

    // The fields of a line (a carriage return before its end included), or nothing when it is
    // not one JSON object.
    static std::optional<JournalLine> Parse(const std::string& line);

    // A string field, or the text of any other value; empty when missing.
    std::string Text(const std::string& key) const;
    std::int64_t Number(const std::string& key) const;
    std::uint64_t Unsigned(const std::string& key) const;
    bool Has(const std::string& key) const { return fields_.count(key) != 0; }
    // Whether the field is a string.
    bool IsText(const std::string& key) const;
    // The names of the fields read, in no particular order.
    std::vector<std::string> Keys() const;

  private:
    void Field(const std::string& key, const std::string& value);

    std::string out_;
    // Strings decoded, with a leading '"'; any other value as its JSON text.
    std::map<std::string, std::string> fields_;
};

// Whether the bytes are UTF-8 throughout.
bool IsUtf8(const std::string& text);
// The bytes with each one that is no UTF-8 replaced by U+FFFD: a name as other readers may show it.
std::string ValidUtf8(const std::string& text);
// Bytes as lowercase hex digits, and back; nothing when the text is not hex digits in pairs.
std::string HexOf(const std::string& bytes);
std::optional<std::string> BytesOfHex(const std::string& hex);

// The value of a hexadecimal digit in either case; -1 for any other character.
int HexValue(char c);

} // namespace vidtag
