#include "Engine.h"

#include "CachedReadStream64.h"
#include "Stream64.h"
#include "VmAVIFile.h"
#include "os/FileLayer.h"

#include <array>
#include <cstddef>
#include <memory>

namespace vidtag {

TEngineState EngineState;
ClassificationRule AnalysisRule = ClassificationRule::Exact;

namespace {

// Others may go on reading and writing while we look: the file may be playing somewhere.
constexpr std::uint16_t kAnalyseMode = kModeRead | kShareDenyNone;
// Read access too, so that the bytes can be checked before they are overwritten.
constexpr std::uint16_t kPatchMode = kModeReadWrite | kShareDenyNone;

constexpr std::int64_t kCodeSize = 4;

using CodeBytes = std::array<std::uint8_t, kCodeSize>;

// File order, first character first, whatever the machine's byte order.
CodeBytes BytesOf(FourCC code) {
    CodeBytes bytes{};
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        bytes[i] = static_cast<std::uint8_t>(FourCCChar(code, static_cast<int>(i)));
    }
    return bytes;
}

bool ReadCodeAt(THandleStream64& stream, std::int64_t position, FourCC& code) {
    CodeBytes bytes{};
    if (stream.Seek(position, 0) != position || stream.Read(bytes.data(), kCodeSize) != kCodeSize) {
        return false;
    }
    code = MakeFourCC(static_cast<char>(bytes[0]), static_cast<char>(bytes[1]),
                      static_cast<char>(bytes[2]), static_cast<char>(bytes[3]));
    return true;
}

bool WriteCodeAt(THandleStream64& stream, std::int64_t position, FourCC code) {
    const CodeBytes bytes = BytesOf(code);
    return stream.Seek(position, 0) == position &&
           stream.Write(bytes.data(), kCodeSize) == kCodeSize;
}

// One place to patch: what the file holds there now, and what goes there.
struct Slot {
    std::int64_t Position;
    FourCC Held;
    FourCC Wanted;
};

// Puts back what the file held wherever a write was attempted, so that a failure never leaves a
// new handler code beside an old compression code. Best effort: the failure is reported
// whatever this achieves.
void Undo(THandleStream64& stream, const Slot* slots, std::size_t attempted) noexcept {
    try {
        for (std::size_t i = attempted; i-- > 0;) {
            WriteCodeAt(stream, slots[i].Position, slots[i].Held);
        }
        stream.Flush();
    } catch (...) {
    }
}

// Clears the read-only attribute for the write and puts the exact attributes back on every
// path, once the file is closed. Failing to clear it is left to the open to report.
class WritableWhilePatching {
  public:
    WritableWhilePatching(const std::string& fileName, os::Attributes attributes)
        : FileName(fileName), Original(attributes),
          Changed(os::Files().IsReadOnly(attributes) &&
                  os::Files().SetAttributes(fileName.c_str(),
                                            os::Files().WithoutReadOnly(attributes))) {}
    ~WritableWhilePatching() {
        if (Changed) {
            os::Files().SetAttributes(FileName.c_str(), Original);
        }
    }
    WritableWhilePatching(const WritableWhilePatching&) = delete;
    WritableWhilePatching& operator=(const WritableWhilePatching&) = delete;

  private:
    const std::string& FileName;
    os::Attributes Original;
    bool Changed;
};

ConversionStatus Patch(const std::string& fileName, const Slot* slots, std::size_t count) {
    std::unique_ptr<TFileStream64> stream;
    try {
        stream = std::make_unique<TFileStream64>(fileName, kPatchMode);
    } catch (...) {
        return kStatusCannotWrite;
    }
    // The file may have been replaced or edited since the analysis; then the positions mean
    // nothing and writing would destroy unrelated data.
    for (std::size_t i = 0; i < count; ++i) {
        FourCC held = 0;
        if (!ReadCodeAt(*stream, slots[i].Position, held) || held != slots[i].Held) {
            return kStatusFileChanged;
        }
    }
    std::size_t attempted = 0;
    try {
        while (attempted < count) {
            const Slot& slot = slots[attempted++];
            if (!WriteCodeAt(*stream, slot.Position, slot.Wanted)) {
                Undo(*stream, slots, attempted);
                return kStatusCannotWrite;
            }
        }
        // Success is reported only once the bytes are on the disk.
        if (!stream->Flush()) {
            Undo(*stream, slots, attempted);
            return kStatusCannotWrite;
        }
    } catch (...) {
        Undo(*stream, slots, attempted);
        return kStatusCannotWrite;
    }
    return kStatusDone;
}

ConversionStatus Analyse(const std::string& fileName) {
    TEngineState& state = EngineState;
    state.HandlerPos = 0;
    state.CompressionPos = 0;
    state.CurrentKind = kUnknownKind;
    state.OriginalKind = kUnknownKind;
    state.CurrentHandler = 0;
    state.CurrentCompression = 0;

    std::unique_ptr<TFileStream64> stream;
    try {
        stream = std::make_unique<TFileStream64>(fileName, kAnalyseMode);
    } catch (...) {
        return kStatusCannotOpen;
    }
    std::int64_t headerPos = 0;
    std::int64_t formatPos = 0;
    try {
        // The walk reads a few bytes at a time, and over a damaged region it reads every byte:
        // straight from the file that is a system call per step, minutes for a large file.
        TCachedReadStream64 cached(stream.get());
        // Creating the reader can only fail for want of memory, which is the reader's failure.
        TVmAVIFileReader reader(&cached);
        if (reader.ErrorCode < 0) {
            return reader.ErrorCode == -3 ? kStatusCannotOpen : kStatusNotAvi;
        }
        reader.Scan();
        state.OriginalHandler = reader.VideoHandler();
        state.OriginalCompression = reader.VideoCompression();
        headerPos = reader.VideoHeaderPos;
        formatPos = reader.VideoFormatPos;
    } catch (...) {
        return kStatusScanFailed;
    }
    state.HandlerPos = headerPos + 4;
    state.CompressionPos = formatPos > 0 ? formatPos + 16 : 0;
    state.CurrentHandler = state.OriginalHandler;
    state.CurrentCompression = state.OriginalCompression;
    state.CurrentKind = state.OriginalKind =
        Classify(state.OriginalHandler, state.OriginalCompression, AnalysisRule);
    return kStatusDone;
}

ConversionStatus Convert(const std::string& fileName, CodecKind kind) {
    TEngineState& state = EngineState;
    // Nothing is ever written over codes the catalogue does not know, nor without an analysis
    // that found them: the positions would not point at codes.
    if (!IsRecognisedKind(state.CurrentKind)) {
        return kStatusCannotWrite;
    }
    const CodePair wanted = kind == state.OriginalKind
                                ? CodePair{state.OriginalHandler, state.OriginalCompression}
                                : CodePairOf(kind);
    const std::array<Slot, 2> slots{{
        {state.HandlerPos, state.CurrentHandler, wanted.Handler},
        {state.CompressionPos, state.CurrentCompression, wanted.Compression},
    }};
    const std::size_t count = state.CompressionPos > 0 ? 2 : 1;

    // Without the attributes they could not be put back after the read-only one was cleared.
    os::Attributes attributes = 0;
    if (!os::Files().GetAttributes(fileName.c_str(), attributes)) {
        return kStatusCannotWrite;
    }
    ConversionStatus status;
    {
        WritableWhilePatching writable(fileName, attributes);
        status = Patch(fileName, slots.data(), count);
    }
    if (status == kStatusDone) {
        state.CurrentKind = kind;
        state.CurrentHandler = wanted.Handler;
        if (count == 2) {
            state.CurrentCompression = wanted.Compression;
        }
    }
    return status;
}

} // namespace

bool FileIsReadable(const std::string& FileName) noexcept {
    // An embedded NUL would silently name another file than the one asked for.
    if (FileName.empty() || FileName.find('\0') != std::string::npos) {
        return false;
    }
    try {
        TFileStream64 stream(FileName, kAnalyseMode);
        return true;
    } catch (...) {
        return false;
    }
}

ConversionStatus ProcessFile(const std::string& FileName, CodecKind Kind) noexcept {
    TEngineState& state = EngineState;
    try {
        // A kind above 13 has no codes to write; the front ends never ask for one. It is refused
        // as a write that cannot be made (status 3) before the file is even opened.
        if (Kind > kLastKind) {
            return state.Status = kStatusCannotWrite;
        }
        state.Status = kStatusNotFound;
        if (!FileIsReadable(FileName)) {
            return state.Status;
        }
        state.Status = Kind == kNoKind ? Analyse(FileName) : Convert(FileName, Kind);
    } catch (...) {
        // Only running out of memory gets here; it is reported as the step that failed.
        state.Status = Kind == kNoKind ? kStatusScanFailed : kStatusCannotWrite;
    }
    return state.Status;
}

int StatusTextNumber(ConversionStatus status, CodecKind currentKind) noexcept {
    switch (status) {
    case kStatusDone:
        return currentKind <= kLastKind ? 0 : 6;
    case kStatusNotFound:
        return 2;
    case kStatusCannotOpen:
        return 3;
    case kStatusCannotWrite:
        return 4;
    case kStatusNotAvi:
        return 5;
    case kStatusScanFailed:
        return 16;
    case kStatusFileChanged:
        return 17;
    default:
        return 9; // "Error": no path produces any other status
    }
}

} // namespace vidtag
