#include "journal/JournalLine.h"

#include <cstdio>
#include <cstdlib>

namespace vidtag {

namespace {

std::string Quoted(const std::string& text) {
    std::string out(1, '"');
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (byte < 0x20 || byte == 0x7F) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", byte);
            out += escaped;
        } else {
            out += c;
        }
    }
    out += '"';
    return out;
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

class Cursor {
  public:
    explicit Cursor(const std::string& text) : text_(text) {}

    void SkipBlanks() {
        while (pos_ < text_.size() && (text_[pos_] == ' ' || text_[pos_] == '\t')) {
            ++pos_;
        }
    }
    bool Take(char c) {
        SkipBlanks();
        if (pos_ < text_.size() && text_[pos_] == c) {
            ++pos_;
            return true;
        }
        return false;
    }
    bool Peek(char c) {
        SkipBlanks();
        return pos_ < text_.size() && text_[pos_] == c;
    }
    bool AtEnd() {
        SkipBlanks();
        return pos_ == text_.size();
    }
    bool String(std::string& out) {
        if (!Take('"')) {
            return false;
        }
        while (pos_ < text_.size() && text_[pos_] != '"') {
            char c = text_[pos_++];
            if (c == '\\') {
                if (pos_ >= text_.size()) {
                    return false;
                }
                const char kind = text_[pos_++];
                if (kind == 'u') {
                    int value = 0;
                    for (int i = 0; i < 4; ++i) {
                        const int digit = pos_ < text_.size() ? HexValue(text_[pos_++]) : -1;
                        if (digit < 0) {
                            return false;
                        }
                        value = value * 16 + digit;
                    }
                    if (value > 0xFF) {
                        return false;
                    }
                    c = static_cast<char>(value);
                } else if (kind == '"' || kind == '\\' || kind == '/') {
                    c = kind;
                } else {
                    return false;
                }
            }
            out += c;
        }
        return Take('"');
    }
    bool Integer(std::string& out) {
        SkipBlanks();
        const std::size_t start = pos_;
        if (pos_ < text_.size() && text_[pos_] == '-') {
            ++pos_;
        }
        while (pos_ < text_.size() && text_[pos_] >= '0' && text_[pos_] <= '9') {
            ++pos_;
        }
        out = text_.substr(start, pos_ - start);
        return !out.empty() && out != "-";
    }

  private:
    const std::string& text_;
    std::size_t pos_ = 0;
};

} // namespace

void JournalLine::Field(const std::string& key, const std::string& value) {
    out_.append(out_.empty() ? "{" : ",");
    out_.append(Quoted(key));
    out_.append(":");
    out_.append(value);
}

JournalLine& JournalLine::Put(const std::string& key, const std::string& text) {
    Field(key, Quoted(text));
    fields_[key] = text;
    return *this;
}

JournalLine& JournalLine::Put(const std::string& key, std::int64_t number) {
    Field(key, std::to_string(number));
    fields_[key] = std::to_string(number);
    return *this;
}

JournalLine& JournalLine::Put(const std::string& key, std::uint64_t number) {
    Field(key, std::to_string(number));
    fields_[key] = std::to_string(number);
    return *this;
}

std::string JournalLine::Text() const {
    std::string text = out_.empty() ? std::string("{") : out_;
    text.append("}\n");
    return text;
}

std::optional<JournalLine> JournalLine::Parse(const std::string& line) {
    Cursor cursor(line);
    JournalLine parsed;
    if (!cursor.Take('{')) {
        return std::nullopt;
    }
    if (cursor.Take('}')) {
        return cursor.AtEnd() ? std::optional(parsed) : std::nullopt;
    }
    do {
        std::string key;
        std::string value;
        if (!cursor.String(key) || !cursor.Take(':')) {
            return std::nullopt;
        }
        if (!(cursor.Peek('"') ? cursor.String(value) : cursor.Integer(value))) {
            return std::nullopt;
        }
        parsed.fields_[key] = value;
    } while (cursor.Take(','));
    if (!cursor.Take('}') || !cursor.AtEnd()) {
        return std::nullopt;
    }
    return parsed;
}

std::string JournalLine::Text(const std::string& key) const {
    const auto found = fields_.find(key);
    return found != fields_.end() ? found->second : std::string();
}

std::int64_t JournalLine::Number(const std::string& key) const {
    return std::strtoll(Text(key).c_str(), nullptr, 10);
}

std::uint64_t JournalLine::Unsigned(const std::string& key) const {
    return std::strtoull(Text(key).c_str(), nullptr, 10);
}

} // namespace vidtag
