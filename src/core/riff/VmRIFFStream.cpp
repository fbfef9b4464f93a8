#include "riff/VmRIFFStream.h"

#include "riff/ChunkIds.h"

#include <algorithm>
#include <cstring>

namespace vidtag {

using namespace riff;

namespace {

constexpr FourCC kJunk = FCC("JUNK");
constexpr FourCC kIdx1 = FCC("idx1");
constexpr FourCC kMovi = FCC("movi");

// Below this position every identifier is judged without the context of a movi or idx1 list.
constexpr std::int64_t kContextFreeLimit = 0x20000;

// The largest plain chunk size that normal mode believes.
constexpr std::int64_t kMaxPlainSize = 0x7FFFFFFF;

constexpr FourCC kNoChunk = 0xFFFFFFFF;

// Steps a walk may take before a move back ends normal mode: twice the stream's size in bytes
// plus this. A walk that never moves back takes about one step per four bytes, so only walks
// that go over the same bytes again and again reach it; the resynchronising walk that follows
// takes about one step per byte at most, which keeps every walk within four steps per byte.
constexpr std::int64_t kStepBudgetBase = 64;

// "ixNN" whatever NN is.
bool HasIndexShape(FourCC id) {
    return Char(id, 1) == 'i' && Char(id, 2) == 'x' && IsDigit(Char(id, 3)) && IsDigit(Char(id, 4));
}

// The stream number of "ixNN"; -1 for any other identifier.
int IndexNumber(FourCC id) {
    return HasIndexShape(id) ? 10 * (Char(id, 3) - '0') + (Char(id, 4) - '0') : -1;
}

std::int64_t RoundUpEven(std::int64_t value) {
    return (value + 1) & ~std::int64_t{1};
}

std::int64_t EndOf(const TPosTag& tag) {
    return tag.DataPos + RoundUpEven(tag.Size);
}

} // namespace

TVMRIFFStream::TVMRIFFStream(TStream64* stream) : Stream(stream) {
    Reset();
}

void TVMRIFFStream::Reset() {
    ListEnd = 0;
    Context = 0;
    ResyncPos = 0;
    Depth = 0;
    Resync = false;
    Steps = 0;
    // The bytes may have changed since the last walk.
    scanLength_ = 0;
    scanHitEnd_ = false;
}

std::int64_t TVMRIFFStream::StepBudget() {
    return Stream != nullptr ? 2 * Stream->GetSize() + kStepBudgetBase : kStepBudgetBase;
}

std::int64_t TVMRIFFStream::Seek(std::int64_t offset, std::uint16_t origin) {
    return Stream != nullptr ? Stream->Seek(offset, origin) : -1;
}

// Reads `count` bytes over the bytes `first` onwards of a little-endian 32-bit field, as a read
// straight into the field's memory would: on a short read the bytes that did arrive are stored
// and the others keep their values. True when all `count` bytes arrived.
bool TVMRIFFStream::ReadInto(std::uint32_t& field, int first, int count) {
    std::uint8_t bytes[4];
    for (int i = 0; i < 4; ++i) {
        bytes[i] = static_cast<std::uint8_t>(field >> (8 * i));
    }
    const std::int64_t got = Stream->Read(bytes + first, count);
    field = static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
            static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
    return got == count;
}

bool TVMRIFFStream::ReadSize() {
    std::uint32_t size = 0;
    const bool complete = ReadInto(size, 0, 4);
    ChunkSize = size;
    return complete;
}

bool TVMRIFFStream::IsValidChunkId(FourCC id) {
    return IsValidChunkIdAt(id, Stream != nullptr ? Stream->GetPosition() : 0);
}

bool TVMRIFFStream::IsValidChunkIdAt(FourCC id, std::int64_t position) {
    if (position < kContextFreeLimit) {
        Context = 0;
    }
    if (id == kIdx1) {
        Context = kIdx1;
        return true;
    }
    if (id == kJunk || id == kRiff || id == kList) {
        Context = 0;
        return true;
    }
    const int dataNumber = StreamDataNumber(id);
    const bool dataInRange = dataNumber >= 0 && dataNumber < StreamCount;
    if (Context == kIdx1 && dataInRange) {
        return true;
    }
    if (Context == kMovi) {
        const int indexNumber = IndexNumber(id);
        return dataInRange || (indexNumber >= 0 && indexNumber < StreamCount);
    }
    for (int n = 1; n <= 4; ++n) {
        if (!IsAlnum(Char(id, n))) {
            return false;
        }
    }
    if (dataInRange) {
        Context = kMovi;
    }
    return true;
}

bool TVMRIFFStream::IsKnownForm(FourCC id, FourCC listType) {
    if (id == kRiff) {
        return listType == FCC("AVI ") || listType == FCC("AVIX");
    }
    if (id == kList) {
        if (listType == kMovi) {
            Context = kMovi;
            return true;
        }
        return listType == FCC("hdrl") || listType == FCC("strl") || listType == FCC("rec ") ||
               listType == FCC("odml") || listType == FCC("INFO");
    }
    return false;
}

std::int64_t TVMRIFFStream::FindNextChunk() {
    if (Stream == nullptr) {
        return -1;
    }
    return WindowScan ? ScanWindowByWindow() : ScanFast();
}

std::int64_t TVMRIFFStream::ScanWindowByWindow() {
    // Every step moves the position by exactly the bytes it read, so the scan counts it rather
    // than asking the stream for each identifier it tests.
    std::int64_t position = Stream->GetPosition();
    if (!ReadInto(ChunkId, 0, 4)) {
        return -1;
    }
    position += 4;
    for (;;) {
        if (IsValidChunkIdAt(ChunkId, position)) {
            if (!ReadSize()) {
                return -1;
            }
            position += 4;
            if (!IsListId(ChunkId)) {
                break;
            }
            if (!ReadInto(ListType, 0, 4)) {
                return -1;
            }
            position += 4;
            ChunkSize -= 4;
            if (IsKnownForm(ChunkId, ListType)) {
                break;
            }
            // Never valid: the next pass reads four fresh bytes, the first of the list's data.
            ChunkId = 0;
            continue;
        }
        Resync = true;
        if (IsAlnum(Char(ChunkId, 3)) && IsAlnum(Char(ChunkId, 4))) {
            // Characters 3 and 4 may start a header: slide the window by two bytes.
            ChunkId >>= 16;
            if (!ReadInto(ChunkId, 2, 2)) {
                return -1;
            }
            position += 2;
        } else {
            if (!ReadInto(ChunkId, 0, 4)) {
                return -1;
            }
            position += 4;
        }
    }
    return position - (IsListId(ChunkId) ? 12 : 8);
}

bool TVMRIFFStream::Descend() {
    ++Steps;
    AtEnd = true;
    HasChunk = false;
    if (Stream == nullptr) {
        return false;
    }
    if (Resync) {
        if (ResyncPos > 0) {
            Stream->SetPosition(ResyncPos);
        }
        ResyncPos = FindNextChunk();
        if (ResyncPos == -1) {
            return false;
        }
        // The next scan starts inside this header and so finds the chunks in its data.
        ResyncPos += 2;
    } else {
        if (!ReadInto(ChunkId, 0, 4) || !ReadSize()) {
            return false;
        }
        ListType = 0;
        if (IsListId(ChunkId)) {
            // The type is not judged here: a list of any type is entered.
            Context = 0;
            if (!ReadInto(ListType, 0, 4)) {
                return false;
            }
            ChunkSize -= 4;
        } else if (!IsValidChunkId(ChunkId) || ChunkSize > kMaxPlainSize) {
            // Scan over again from the data of the chunk read last.
            Stream->SetPosition(DataPos);
            ResyncPos = FindNextChunk();
            if (ResyncPos == -1) {
                return false;
            }
            ResyncPos += 2;
        }
    }
    const std::int64_t position = Stream->GetPosition();
    DataPos = position;
    if (IsListId(ChunkId)) {
        ListEnd = DataPos + RoundUpEven(ChunkSize);
    }
    // A list header is compared with its own end here, so only plain chunks are held to the
    // enclosing list.
    if (!Resync && (ChunkSize < 0 || (ListEnd != 0 && DataPos + ChunkSize > ListEnd))) {
        Resync = true;
    }
    AtEnd = Stream->GetSize() <= position;
    HasChunk = true;
    ++Depth;
    if (Depth >= Tags.size()) {
        Tags.resize(Tags.size() + 16);
    }
    Tags[Depth - 1] = TPosTag{ChunkId, ListType, position, ChunkSize};
    ChunkDone = ChunkSize == 0;
    return true;
}

std::int64_t TVMRIFFStream::Ascend() {
    ++Steps;
    ChunkDone = false;
    std::int64_t result = -1;
    if (!HasChunk || Stream == nullptr) {
        return -1;
    }
    if (Resync) {
        if (Depth > 0 && HasIndexShape(Tags[Depth - 1].Id)) {
            const std::int64_t target = Tags[Depth - 1].DataPos + 32;
            if (Stream->GetPosition() != target) {
                result = Stream->Seek(target, 0);
            }
        }
        // 0 right after Reset: scan from the start of the file.
        if (ResyncPos != -1) {
            Stream->SetPosition(ResyncPos);
        }
        // Nothing added: the next Descend starts at this header and finds it again.
        ResyncPos = FindNextChunk();
        const std::int64_t position = Stream->GetPosition();
        // Leave every level that the header found lies outside of, and always at least one.
        while (Depth > 0) {
            --Depth;
            if (Depth == 0 || EndOf(Tags[Depth - 1]) > position) {
                break;
            }
        }
    } else if (Depth > 0) {
        const std::int64_t target = EndOf(Tags[Depth - 1]);
        const std::int64_t position = Stream->GetPosition();
        if (position != target) {
            result = Stream->Seek(target, 0);
        }
        // Behind the position: something inside the chunk (a list claiming more than its
        // parent holds) reached past its end, and the walk goes back to walk those bytes again
        // at this level, which is how a stream list after such a list is found in its place.
        // With such lists nested in pairs the walk doubles with every pair, and a few hundred
        // bytes would keep it going for ever: past the budget the move back is still made, but
        // the walk goes on by scanning, which only moves forward.
        if (target < position && !BoundLifted && Steps > StepBudget()) {
            Resync = true;
        }
        --Depth;
    }
    if (Depth > 0) {
        const TPosTag& top = Tags[Depth - 1];
        ChunkId = top.Id;
        ChunkSize = top.Size;
        if (IsListId(top.Id)) {
            ListEnd = EndOf(top);
        }
    } else {
        ListEnd = 0;
        ChunkId = kNoChunk;
    }
    const std::int64_t position = Stream->GetPosition();
    const bool pastEnd = Stream->GetSize() <= position || position < 0;
    AtEnd = pastEnd;
    if (Depth > 0) {
        const TPosTag& top = Tags[Depth - 1];
        ChunkDone = position >= top.DataPos + top.Size || pastEnd;
    }
    return result;
}

} // namespace vidtag
