#include "PathText.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace vidtag::cli {

namespace {

// The length of the UTF-8 sequence that starts at text[i], or 0 when none does.
std::size_t SequenceLength(std::string_view text, std::size_t i) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char lead = byte(i);
    if (lead < 0x80) {
        return 1;
    }
    std::size_t length = lead >= 0xC2 && lead <= 0xDF   ? 2
                         : lead >= 0xE0 && lead <= 0xEF ? 3
                         : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                        : 0;
    if (length == 0 || i + length > text.size()) {
        return 0;
    }
    for (std::size_t k = 1; k < length; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80) {
            return 0;
        }
    }
    // Overlong forms, UTF-16 surrogates and code points above U+10FFFF.
    const unsigned char second = byte(i + 1);
    if ((lead == 0xE0 && second < 0xA0) || (lead == 0xED && second > 0x9F) ||
        (lead == 0xF0 && second < 0x90) || (lead == 0xF4 && second > 0x8F)) {
        return 0;
    }
    return length;
}

std::string Hex(unsigned char byte) {
    char text[5];
    std::snprintf(text, sizeof text, "\\x%02x", byte);
    return text;
}

} // namespace

bool IsValidUtf8(std::string_view text) {
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t length = SequenceLength(text, i);
        if (length == 0) {
            return false;
        }
        i += length;
    }
    return true;
}

std::string DisplayName(std::string_view name) {
    std::string shown;
    for (std::size_t i = 0; i < name.size();) {
        const auto c = static_cast<unsigned char>(name[i]);
        const std::size_t length = SequenceLength(name, i);
        // U+0080 to U+009F are control characters too (0x9B starts an escape sequence).
        const bool c1 = length == 2 && c == 0xC2 && static_cast<unsigned char>(name[i + 1]) < 0xA0;
        if (c == '\n' || c == '\t' || c == '\r') {
            shown += c == '\n' ? "\\n" : c == '\t' ? "\\t" : "\\r";
        } else if (c < 0x20 || c == 0x7F || length == 0) {
            shown += Hex(c);
        } else if (c1) {
            shown += Hex(c) + Hex(static_cast<unsigned char>(name[i + 1]));
        } else {
            shown.append(name.substr(i, length));
        }
        i += length == 0 ? 1 : length;
    }
    return shown;
}

std::string ShellWord(std::string_view name) {
    const bool plain = !name.empty() && std::all_of(name.begin(), name.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
               (c != '\0' && std::strchr("_./-+:,@%=", c) != nullptr);
    });
    if (plain) {
        return std::string(name);
    }
#ifdef _WIN32
    std::string quoted(1, '"');
    quoted.append(name);
    return quoted + '"';
#else
    if (DisplayName(name) == name) {
        std::string quoted = "'";
        for (const char c : name) {
            quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
        }
        return quoted + "'";
    }
    // DisplayName's escapes are the ones $'...' reads; the name's own backslashes and quotes
    // are escaped too. Both are ASCII, so cutting there never splits a UTF-8 sequence.
    std::string quoted = "$'";
    std::size_t start = 0;
    for (std::size_t i = 0; i <= name.size(); ++i) {
        if (i == name.size() || name[i] == '\\' || name[i] == '\'') {
            quoted += DisplayName(name.substr(start, i - start));
            if (i < name.size()) {
                quoted += name[i] == '\\' ? "\\\\" : "\\'";
            }
            start = i + 1;
        }
    }
    return quoted + "'";
#endif
}

std::string Base64(std::string_view bytes) {
    static constexpr char kDigits[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        unsigned value = static_cast<unsigned char>(bytes[i]) << 16;
        const std::size_t left = bytes.size() - i;
        if (left > 1) {
            value |= static_cast<unsigned char>(bytes[i + 1]) << 8;
        }
        if (left > 2) {
            value |= static_cast<unsigned char>(bytes[i + 2]);
        }
        out += kDigits[(value >> 18) & 63];
        out += kDigits[(value >> 12) & 63];
        out += left > 1 ? kDigits[(value >> 6) & 63] : '=';
        out += left > 2 ? kDigits[value & 63] : '=';
    }
    return out;
}

} // namespace vidtag::cli
