#include "engine/CodePatch.h"

#include <algorithm>
#include <array>
#include <vector>

namespace vidtag {

namespace {

constexpr std::int64_t kCodeSize = 4;
constexpr std::int64_t kSector = 512;

void PutCode(std::uint8_t* at, FourCC code) {
    for (int i = 0; i < kCodeSize; ++i) {
        at[i] = static_cast<std::uint8_t>(FourCCChar(code, i));
    }
}

FourCC CodeIn(const std::uint8_t* at) {
    return MakeFourCC(static_cast<char>(at[0]), static_cast<char>(at[1]), static_cast<char>(at[2]),
                      static_cast<char>(at[3]));
}

bool ReadSpan(THandleStream64& stream, std::int64_t from, std::vector<std::uint8_t>& bytes) {
    const auto size = static_cast<std::int64_t>(bytes.size());
    return stream.Seek(from, 0) == from && stream.Read(bytes.data(), size) == size;
}

bool WriteSpan(THandleStream64& stream, std::int64_t from, const std::vector<std::uint8_t>& bytes) {
    const auto size = static_cast<std::int64_t>(bytes.size());
    return stream.Seek(from, 0) == from && stream.Write(bytes.data(), size) == size;
}

// Why the bytes up to end did not read: the file now ends before them (it changed since the
// analysis), or the system could not read them.
ConversionStatus ReadFailure(THandleStream64& stream, std::int64_t end) {
    const std::int64_t size = stream.Seek(0, 2);
    return size >= 0 && size < end ? kStatusFileChanged : kStatusCannotOpen;
}

// The span from the first code to the end of the last, read, checked, changed and written back
// whole: the bytes between the codes go back as they were.
ConversionStatus PatchSpan(THandleStream64& stream, const Slot* slots, std::size_t count) {
    std::int64_t from = slots[0].Position;
    std::int64_t to = slots[0].Position;
    for (std::size_t i = 1; i < count; ++i) {
        from = std::min(from, slots[i].Position);
        to = std::max(to, slots[i].Position);
    }
    std::vector<std::uint8_t> held(static_cast<std::size_t>(to + kCodeSize - from));
    if (!ReadSpan(stream, from, held)) {
        return ReadFailure(stream, to + kCodeSize);
    }
    std::vector<std::uint8_t> wanted = held;
    for (std::size_t i = 0; i < count; ++i) {
        const auto at = static_cast<std::size_t>(slots[i].Position - from);
        if (CodeIn(&held[at]) != slots[i].Held) {
            return kStatusFileChanged;
        }
        PutCode(&wanted[at], slots[i].Wanted);
    }
    std::vector<std::uint8_t> back(wanted.size());
    try {
        if (WriteSpan(stream, from, wanted) && stream.Flush() && ReadSpan(stream, from, back) &&
            back == wanted) {
            return kStatusDone;
        }
        WriteSpan(stream, from, held);
        stream.Flush();
    } catch (...) {
    }
    return kStatusCannotWrite;
}

bool WriteCodeAt(THandleStream64& stream, std::int64_t position, FourCC code) {
    std::array<std::uint8_t, kCodeSize> bytes{};
    PutCode(bytes.data(), code);
    return stream.Seek(position, 0) == position &&
           stream.Write(bytes.data(), kCodeSize) == kCodeSize;
}

// Puts back what the file held wherever a write was attempted. Best effort: the failure is
// reported whatever this achieves.
void Undo(THandleStream64& stream, const Slot* slots, std::size_t attempted) noexcept {
    try {
        for (std::size_t i = attempted; i-- > 0;) {
            WriteCodeAt(stream, slots[i].Position, slots[i].Held);
        }
        stream.Flush();
    } catch (...) {
    }
}

// Codes too far apart for one write: one write each, undone when any step fails. The journal
// record written before lets a later run finish the job if the process dies in between.
ConversionStatus PatchApart(THandleStream64& stream, const Slot* slots, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        FourCC held = 0;
        if (!ReadCodeAt(stream, slots[i].Position, held)) {
            return ReadFailure(stream, slots[i].Position + kCodeSize);
        }
        if (held != slots[i].Held) {
            return kStatusFileChanged;
        }
    }
    std::size_t attempted = 0;
    try {
        while (attempted < count) {
            const Slot& slot = slots[attempted++];
            if (!WriteCodeAt(stream, slot.Position, slot.Wanted)) {
                Undo(stream, slots, attempted);
                return kStatusCannotWrite;
            }
        }
        bool readBack = stream.Flush();
        for (std::size_t i = 0; readBack && i < count; ++i) {
            FourCC now = 0;
            readBack = ReadCodeAt(stream, slots[i].Position, now) && now == slots[i].Wanted;
        }
        if (!readBack) {
            Undo(stream, slots, attempted);
            return kStatusCannotWrite;
        }
    } catch (...) {
        Undo(stream, slots, attempted);
        return kStatusCannotWrite;
    }
    return kStatusDone;
}

} // namespace

bool ReadCodeAt(THandleStream64& stream, std::int64_t position, FourCC& code) {
    std::array<std::uint8_t, kCodeSize> bytes{};
    if (stream.Seek(position, 0) != position || stream.Read(bytes.data(), kCodeSize) != kCodeSize) {
        return false;
    }
    code = CodeIn(bytes.data());
    return true;
}

ConversionStatus PatchCodes(THandleStream64& stream, const Slot* slots, std::size_t count) {
    bool oneSector = true;
    for (std::size_t i = 1; i < count; ++i) {
        oneSector = oneSector && slots[i].Position / kSector == slots[0].Position / kSector &&
                    (slots[i].Position + kCodeSize - 1) / kSector == slots[0].Position / kSector;
    }
    oneSector =
        oneSector && (slots[0].Position + kCodeSize - 1) / kSector == slots[0].Position / kSector;
    return oneSector ? PatchSpan(stream, slots, count) : PatchApart(stream, slots, count);
}

} // namespace vidtag
