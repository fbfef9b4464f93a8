#include "journal/RecordCheck.h"

#include <array>

namespace vidtag {

namespace {

constexpr std::array<const char*, 4> kCodeFields{"from_handler", "from_compression", "to_handler",
                                                 "to_compression"};
// No code can lie inside the RIFF header.
constexpr std::int64_t kFirstCodePos = 12;

bool MadeBy(CodePair codes, CodecKind kind) {
    return Classify(codes.Handler, codes.Compression, ClassificationRule::Exact) == kind ||
           Classify(codes.Handler, codes.Compression, ClassificationRule::Relaxed) == kind;
}

std::string CodesText(CodePair codes) {
    return FourCCToString(codes.Handler) + "/" + FourCCToString(codes.Compression);
}

std::string KindDamage(const char* field, std::int64_t number, CodePair codes, bool checkCodes) {
    if (number < kFirstKind || number > kMp4vKind) {
        return std::string(field) + " " + std::to_string(number) + " is no kind of the catalogue";
    }
    const auto kind = static_cast<CodecKind>(number);
    if (checkCodes && !MadeBy(codes, kind)) {
        return std::string(field) + " " + std::to_string(kind) + " is not the kind of " +
               CodesText(codes);
    }
    return {};
}

bool Inside(std::int64_t pos, std::int64_t size) {
    return pos >= kFirstCodePos && pos <= size - 4;
}

} // namespace

std::string RecordDamage(const JournalLine& line, const JournalEntry& entry) {
    for (const char* field : kCodeFields) {
        if (!line.IsText(field) || line.Text(field).size() != 4) {
            return std::string(field) + " is not four bytes";
        }
    }
    std::string damage = KindDamage("from_kind", line.Number("from_kind"), entry.From, true);
    // Without a format chunk only the handler was written, beside a compression code the file
    // does not have.
    if (damage.empty()) {
        damage = KindDamage("to_kind", line.Number("to_kind"), entry.To, entry.CompressionPos > 0);
    }
    if (!damage.empty()) {
        return damage;
    }
    const std::string size =
        " lies outside the file (" + std::to_string(entry.File.Size) + " bytes)";
    if (!Inside(entry.HandlerPos, entry.File.Size)) {
        return "handler_pos " + std::to_string(entry.HandlerPos) + size;
    }
    if (entry.CompressionPos != 0 && !Inside(entry.CompressionPos, entry.File.Size)) {
        return "compression_pos " + std::to_string(entry.CompressionPos) + size;
    }
    return {};
}

} // namespace vidtag
