#include "video/UserData.h"

#include <algorithm>

namespace vidtag::video {

namespace {

// Reads the decimal digits at text[at...], moving at past them; false when there are none.
// Digits beyond nine are skipped, so that the value cannot overflow.
bool ReadNumber(std::string_view text, std::size_t& at, std::uint32_t& value) {
    const std::size_t start = at;
    value = 0;
    while (at < text.size() && text[at] >= '0' && text[at] <= '9') {
        if (at - start < 9) {
            value = value * 10 + static_cast<std::uint32_t>(text[at] - '0');
        }
        ++at;
    }
    return at > start;
}

bool Follows(std::string_view text, std::size_t& at, std::string_view word) {
    if (text.substr(at, word.size()) != word) {
        return false;
    }
    at += word.size();
    return true;
}

// "DivX503b1393p" and "DivX503Build1393p": version 503, build 1393, packed.
bool ParseDivX(std::string_view text, EncoderString& out) {
    std::size_t at = 0;
    std::uint32_t version = 0;
    std::uint32_t build = 0;
    if (!Follows(text, at, "DivX") || !ReadNumber(text, at, version) ||
        !(Follows(text, at, "Build") || Follows(text, at, "b")) || !ReadNumber(text, at, build)) {
        return false;
    }
    out = {Encoder::DivX, version, build, at < text.size() && text[at] == 'p'};
    return true;
}

bool ParseXviD(std::string_view text, EncoderString& out) {
    std::size_t at = 0;
    std::uint32_t version = 0;
    if (!Follows(text, at, "XviD") || !ReadNumber(text, at, version)) {
        return false;
    }
    out = {Encoder::XviD, version, 0, false};
    return true;
}

// major.minor.micro as major * 1000000 + minor * 1000 + micro; the parts present are taken,
// each up to 999.
std::uint32_t DottedVersion(std::string_view text, std::size_t& at) {
    std::uint32_t parts[3] = {0, 0, 0};
    for (int i = 0; i < 3; ++i) {
        if ((i > 0 && !Follows(text, at, ".")) || !ReadNumber(text, at, parts[i])) {
            break;
        }
    }
    for (std::uint32_t& part : parts) {
        part = std::min<std::uint32_t>(part, 999);
    }
    return parts[0] * 1000000 + parts[1] * 1000 + parts[2];
}

bool ParseLavc(std::string_view text, EncoderString& out) {
    std::size_t at = 0;
    if (!Follows(text, at, "Lavc") || at >= text.size() || text[at] < '0' || text[at] > '9') {
        return false;
    }
    out = {Encoder::Lavc, DottedVersion(text, at), 0, false};
    return true;
}

// "FFmpeg v0.4.9 / libavcodec build: 4718", or older ones such as "FFmpeg0.4.9b4718".
bool ParseFFmpeg(std::string_view text, EncoderString& out) {
    std::size_t at = 0;
    if (!Follows(text, at, "FFmpeg")) {
        return false;
    }
    out = {Encoder::FFmpeg, 0, 0, false};
    if (Follows(text, at, " v")) {
        out.Version = DottedVersion(text, at);
    }
    const std::size_t build = text.find('b', at);
    if (build != std::string_view::npos) {
        std::size_t digits = text.find_first_of("0123456789", build);
        if (digits != std::string_view::npos) {
            ReadNumber(text, digits, out.Build);
        }
    }
    return true;
}

} // namespace

std::string PrintableText(const std::uint8_t* data, std::size_t size) {
    std::string text;
    for (std::size_t i = 0; i < size && text.size() < kMaxUserDataBytes; ++i) {
        if (data[i] >= 0x20 && data[i] <= 0x7E) {
            text.push_back(static_cast<char>(data[i]));
        }
    }
    return text;
}

EncoderString ParseEncoderString(std::string_view text) noexcept {
    EncoderString found;
    if (ParseDivX(text, found) || ParseXviD(text, found) || ParseLavc(text, found) ||
        ParseFFmpeg(text, found)) {
        return found;
    }
    return {};
}

} // namespace vidtag::video
