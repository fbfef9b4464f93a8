#include "journal/JournalLine.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace vidtag {

namespace {

// Deeper values than this are refused rather than walked: a line is never a stack's worth.
constexpr int kMaxDepth = 32;

// The length of the UTF-8 sequence that starts at pos, or 0 when the bytes there are not one
// (overlong forms, surrogates and code points past U+10FFFF included).
std::size_t Utf8Length(const std::string& text, std::size_t pos) {
    const auto at = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = at(pos);
    const std::size_t length = lead < 0x80                    ? 1
                               : lead >= 0xC2 && lead <= 0xDF ? 2
                               : lead >= 0xE0 && lead <= 0xEF ? 3
                               : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                              : 0;
    if (length == 0 || text.size() - pos < length) {
        return 0;
    }
    for (std::size_t i = 1; i < length; ++i) {
        if ((at(pos + i) & 0xC0) != 0x80) {
            return 0;
        }
    }
    const unsigned char second = length > 1 ? at(pos + 1) : 0x80;
    const bool bad = (lead == 0xE0 && second < 0xA0) || (lead == 0xED && second >= 0xA0) ||
                     (lead == 0xF0 && second < 0x90) || (lead == 0xF4 && second >= 0x90);
    return bad ? 0 : length;
}

// Control characters and bytes that are no UTF-8 go out as \u00NN, which this reader takes
// back as the byte itself: a code holding any byte comes back exactly, and the line stays valid
// UTF-8 for any other reader.
std::string Quoted(const std::string& text) {
    std::string out(1, '"');
    for (std::size_t pos = 0; pos < text.size();) {
        const char c = text[pos];
        const auto byte = static_cast<unsigned char>(c);
        const std::size_t length = Utf8Length(text, pos);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (byte < 0x20 || byte == 0x7F || length == 0) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", byte);
            out += escaped;
        } else {
            out.append(text, pos, length);
            pos += length;
            continue;
        }
        ++pos;
    }
    out += '"';
    return out;
}

void AppendUtf8(std::string& out, std::uint32_t point) {
    if (point < 0x800) {
        out += static_cast<char>(0xC0 | point >> 6);
    } else if (point < 0x10000) {
        out += static_cast<char>(0xE0 | point >> 12);
        out += static_cast<char>(0x80 | (point >> 6 & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | point >> 18);
        out += static_cast<char>(0x80 | (point >> 12 & 0x3F));
        out += static_cast<char>(0x80 | (point >> 6 & 0x3F));
    }
    out += static_cast<char>(0x80 | (point & 0x3F));
}

char EscapedChar(char kind) {
    switch (kind) {
    case '"':
    case '\\':
    case '/':
        return kind;
    case 'b':
        return '\b';
    case 'f':
        return '\f';
    case 'n':
        return '\n';
    case 'r':
        return '\r';
    case 't':
        return '\t';
    default:
        return 0;
    }
}

class Cursor {
  public:
    explicit Cursor(const std::string& text) : text_(text) {}

    void SkipBlanks() {
        while (pos_ < text_.size() && std::strchr(" \t\r\n", text_[pos_]) != nullptr &&
               text_[pos_] != '\0') {
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
            const char c = text_[pos_++];
            if (c != '\\') {
                out += c;
            } else if (!Escape(out)) {
                return false;
            }
        }
        return Take('"');
    }
    // Any JSON value as its text; strings decoded behind a '"'.
    bool Value(std::string& out, int depth) {
        SkipBlanks();
        if (Peek('"')) {
            out.assign(1, '"');
            return String(out);
        }
        const std::size_t start = pos_;
        const bool valid = Peek('{') || Peek('[') ? Nested(depth) : Scalar();
        out = text_.substr(start, pos_ - start);
        return valid;
    }

  private:
    bool Hex4(std::uint32_t& value) {
        value = 0;
        for (int i = 0; i < 4; ++i) {
            const int digit = pos_ < text_.size() ? HexValue(text_[pos_++]) : -1;
            if (digit < 0) {
                return false;
            }
            value = value * 16 + static_cast<std::uint32_t>(digit);
        }
        return true;
    }
    bool Escape(std::string& out) {
        if (pos_ >= text_.size()) {
            return false;
        }
        const char kind = text_[pos_++];
        if (kind != 'u') {
            const char c = EscapedChar(kind);
            out += c;
            return c != 0;
        }
        std::uint32_t point = 0;
        if (!Hex4(point)) {
            return false;
        }
        if (point <= 0xFF) {
            out += static_cast<char>(point);
            return true;
        }
        if (point >= 0xD800 && point <= 0xDBFF) {
            std::uint32_t low = 0;
            if (text_.compare(pos_, 2, "\\u") != 0 || (pos_ += 2, !Hex4(low)) || low < 0xDC00 ||
                low > 0xDFFF) {
                return false;
            }
            point = 0x10000 + ((point - 0xD800) << 10) + (low - 0xDC00);
        } else if (point >= 0xDC00 && point <= 0xDFFF) {
            return false;
        }
        AppendUtf8(out, point);
        return true;
    }
    // A number, true, false or null.
    bool Scalar() {
        for (const char* word : {"true", "false", "null"}) {
            if (text_.compare(pos_, std::strlen(word), word) == 0) {
                pos_ += std::strlen(word);
                return true;
            }
        }
        const char* begin = text_.c_str() + pos_;
        char* end = nullptr;
        std::strtod(begin, &end);
        const bool number = end != begin && (*begin == '-' || (*begin >= '0' && *begin <= '9'));
        pos_ += static_cast<std::size_t>(end - begin);
        return number;
    }
    bool Nested(int depth) {
        if (depth >= kMaxDepth) {
            return false;
        }
        const bool object = Take('{');
        if (!object) {
            Take('[');
        }
        const char close = object ? '}' : ']';
        if (Take(close)) {
            return true;
        }
        do {
            std::string skipped;
            if (object && (!String(skipped) || !Take(':'))) {
                return false;
            }
            if (!Value(skipped, depth + 1)) {
                return false;
            }
        } while (Take(','));
        return Take(close);
    }

    const std::string& text_;
    std::size_t pos_ = 0;
};

} // namespace

bool IsUtf8(const std::string& text) {
    for (std::size_t pos = 0, length; pos < text.size(); pos += length) {
        if ((length = Utf8Length(text, pos)) == 0) {
            return false;
        }
    }
    return true;
}

std::string ValidUtf8(const std::string& text) {
    std::string out;
    for (std::size_t pos = 0, length; pos < text.size(); pos += length == 0 ? 1 : length) {
        length = Utf8Length(text, pos);
        out += length == 0 ? std::string("\xEF\xBF\xBD") : text.substr(pos, length);
    }
    return out;
}

std::string HexOf(const std::string& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string hex;
    for (const char c : bytes) {
        hex += digits[static_cast<unsigned char>(c) >> 4];
        hex += digits[static_cast<unsigned char>(c) & 0xF];
    }
    return hex;
}

std::optional<std::string> BytesOfHex(const std::string& hex) {
    std::string bytes;
    for (std::size_t pos = 0; pos + 1 < hex.size(); pos += 2) {
        const int high = HexValue(hex[pos]);
        const int low = HexValue(hex[pos + 1]);
        if (high < 0 || low < 0) {
            return std::nullopt;
        }
        bytes += static_cast<char>(high << 4 | low);
    }
    return hex.size() % 2 == 0 ? std::optional(bytes) : std::nullopt;
}

void JournalLine::Field(const std::string& key, const std::string& value) {
    out_.append(out_.empty() ? "{" : ",");
    out_.append(Quoted(key));
    out_.append(":");
    out_.append(value);
}

JournalLine& JournalLine::Put(const std::string& key, const std::string& text) {
    Field(key, Quoted(text));
    return *this;
}

JournalLine& JournalLine::Put(const std::string& key, std::int64_t number) {
    Field(key, std::to_string(number));
    return *this;
}

JournalLine& JournalLine::Put(const std::string& key, std::uint64_t number) {
    Field(key, std::to_string(number));
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
        if (!cursor.String(key) || !cursor.Take(':') || !cursor.Value(value, 1)) {
            return std::nullopt;
        }
        parsed.fields_[key] = std::move(value);
    } while (cursor.Take(','));
    if (!cursor.Take('}') || !cursor.AtEnd()) {
        return std::nullopt;
    }
    return parsed;
}

std::string JournalLine::Text(const std::string& key) const {
    const auto found = fields_.find(key);
    if (found == fields_.end()) {
        return {};
    }
    return IsText(key) ? found->second.substr(1) : found->second;
}

std::vector<std::string> JournalLine::Keys() const {
    std::vector<std::string> keys;
    for (const auto& field : fields_) {
        keys.push_back(field.first);
    }
    return keys;
}

bool JournalLine::IsText(const std::string& key) const {
    const auto found = fields_.find(key);
    return found != fields_.end() && !found->second.empty() && found->second.front() == '"';
}

std::int64_t JournalLine::Number(const std::string& key) const {
    return std::strtoll(Text(key).c_str(), nullptr, 10);
}

std::uint64_t JournalLine::Unsigned(const std::string& key) const {
    return std::strtoull(Text(key).c_str(), nullptr, 10);
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

} // namespace vidtag
