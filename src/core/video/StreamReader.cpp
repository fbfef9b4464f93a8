#include "video/StreamReader.h"

#include "video/HeaderParsers.h"
#include "video/StartCodes.h"
#include "video/UserData.h"

#include <algorithm>
#include <limits>

namespace vidtag::video {

void StreamReader::TakeFormatExtra(const std::uint8_t* data, std::size_t size) noexcept {
    if (syntaxDecided_ && facts_.StreamSyntax != Syntax::Mpeg4) {
        return;
    }
    TakeUnits(data, size, false);
}

void StreamReader::TakeChunk(const std::uint8_t* data, std::size_t size,
                             std::size_t chunkSize) noexcept {
    if (size == 0) {
        TakeDroppedFrame();
        return;
    }
    ++facts_.FramesRead;
    TakeSize(std::max(size, chunkSize));
    // A one-byte chunk (DivX writes 7F for a frame held back) holds no header to tell by.
    if (!syntaxDecided_ && size >= 2) {
        DecideSyntax(data, size);
    }
    if (facts_.StreamSyntax == Syntax::Mpeg4) {
        TakeUnits(data, size, true);
    }
    TakeMsPicture(data, size, chunkSize <= size);
}

void StreamReader::TakeMsPicture(const std::uint8_t* data, std::size_t size, bool whole) noexcept {
    const Syntax syntax = facts_.StreamSyntax;
    if (msPicture_ || (syntax != Syntax::MsMpeg4V1 && syntax != Syntax::MsMpeg4)) {
        return;
    }
    msPicture_ = ReadMsIntraPicture(data, size, syntax == Syntax::MsMpeg4V1, whole);
}

void StreamReader::SettleMsVersions(StreamFacts& facts) const noexcept {
    facts.MsVersions = msPicture_ ? MsVersionsOf(*msPicture_, facts.Fps, facts.Height) : 0;
}

void StreamReader::TakeDroppedFrame() noexcept {
    TakeSize(0);
}

void StreamReader::TakeLabelFamily(int family) noexcept {
    family_ = family;
    facts_.FamilyMismatch = FamilyMismatch(family_, facts_.StreamSyntax);
}

void StreamReader::TakeSize(std::size_t size) noexcept {
    if (facts_.ChunkSizes.size() >= kMaxChunkSizes) {
        return;
    }
    try {
        facts_.ChunkSizes.push_back(static_cast<std::uint32_t>(
            std::min<std::size_t>(size, std::numeric_limits<std::uint32_t>::max())));
    } catch (...) {
        // Out of memory: the sizes stay short, the facts stay true.
    }
}

void StreamReader::DecideSyntax(const std::uint8_t* data, std::size_t size) noexcept {
    syntaxDecided_ = true;
    const Syntax syntax = ClassifyFirstChunk(data, size, timeIncrementBits_);
    if (syntax != Syntax::Mpeg4) {
        // What the format's extra bytes said of an MPEG-4 stream is not about this one.
        StreamFacts cleared;
        cleared.FramesRead = facts_.FramesRead;
        cleared.ChunkSizes = std::move(facts_.ChunkSizes);
        facts_ = std::move(cleared);
    }
    facts_.StreamSyntax = syntax;
    facts_.FamilyMismatch = FamilyMismatch(family_, syntax);
}

void StreamReader::TakeUnits(const std::uint8_t* data, std::size_t size, bool inChunk) noexcept {
    std::uint32_t codedVops = 0;
    UnitWalker walker(data, size);
    Unit unit{};
    while (walker.Next(unit)) {
        if (IsVolCode(unit.Code)) {
            TakeVol(unit.Payload, unit.PayloadSize);
        } else if (unit.Code == code::kVos && !facts_.ProfileLevel) {
            BitReader bits(unit.Payload, unit.PayloadSize);
            facts_.ProfileLevel = ParseVos(bits);
        } else if (unit.Code == code::kVisualObject) {
            TakeVisualObject(unit.Payload, unit.PayloadSize);
        } else if (unit.Code == code::kUserData) {
            TakeUserData(unit.Payload, unit.PayloadSize);
        } else if (unit.Code == code::kVop && inChunk) {
            codedVops += TakeVop(unit.Payload, unit.PayloadSize) ? 1 : 0;
        }
    }
    if (codedVops > 1) {
        facts_.Packed = true;
    }
}

void StreamReader::TakeVol(const std::uint8_t* data, std::size_t size) noexcept {
    if (volSeen_) {
        return;
    }
    volSeen_ = true;
    facts_.VolFound = true;
    BitReader bits(data, size);
    facts_.VolDamaged = ParseVol(bits, facts_, objectVerId_) == VolResult::Damaged;
    if (facts_.TimeIncrementResolution) {
        timeIncrementBits_ = TimeIncrementBits(*facts_.TimeIncrementResolution);
    }
}

void StreamReader::TakeVisualObject(const std::uint8_t* data, std::size_t size) noexcept {
    if (volSeen_) {
        return;
    }
    BitReader bits(data, size);
    if (const std::optional<std::uint8_t> verId = ParseVisualObjectVerId(bits)) {
        objectVerId_ = *verId;
    }
}

void StreamReader::TakeUserData(const std::uint8_t* data, std::size_t size) noexcept {
    try {
        std::string text = PrintableText(data, size);
        if (text.empty() ||
            std::find(facts_.UserData.begin(), facts_.UserData.end(), text) !=
                facts_.UserData.end() ||
            facts_.UserData.size() >= kMaxUserDataStrings) {
            return;
        }
        const EncoderString encoder = ParseEncoderString(text);
        facts_.DivxPackedFlag = facts_.DivxPackedFlag || encoder.DivxPacked;
        // Xvid writes a DivX string beside its own to mark packed frames for DivX decoders.
        const bool better = facts_.EncoderName == Encoder::None ||
                            (facts_.EncoderName == Encoder::DivX && encoder.Name == Encoder::XviD);
        if (encoder.Name != Encoder::None && better) {
            facts_.EncoderName = encoder.Name;
            facts_.EncoderVersion = encoder.Version;
            facts_.EncoderBuild = encoder.Build;
        }
        facts_.UserData.push_back(std::move(text));
    } catch (...) {
        // Out of memory: this string is left out.
    }
}

bool StreamReader::TakeVop(const std::uint8_t* data, std::size_t size) noexcept {
    if (timeIncrementBits_ == 0) {
        ++facts_.VopsUnread;
        return false;
    }
    BitReader bits(data, size);
    const std::optional<VopKind> kind = ParseVop(bits, timeIncrementBits_);
    if (!kind) {
        ++facts_.VopsUnread;
        return false;
    }
    facts_.VopsRead = true;
    VopCounts& counts = facts_.Vops;
    switch (*kind) {
    case VopKind::I:
        ++counts.I;
        break;
    case VopKind::P:
        ++counts.P;
        break;
    case VopKind::B:
        ++counts.B;
        break;
    case VopKind::S:
        ++counts.S;
        break;
    case VopKind::N:
        ++counts.N;
        return false; // a placeholder neither ends nor extends a run of B-VOPs
    }
    bRun_ = *kind == VopKind::B ? bRun_ + 1 : 0;
    facts_.MaxBRun = std::max(facts_.MaxBRun, bRun_);
    return true;
}

} // namespace vidtag::video
