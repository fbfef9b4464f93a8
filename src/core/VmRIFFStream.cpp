#include "VmRIFFStream.h"

#include <algorithm>
#include <cstring>

namespace vidtag {

namespace {

constexpr FourCC kRiff = FCC("RIFF");
constexpr FourCC kList = FCC("LIST");
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

// Character n (1 to 4, in file order) of an identifier.
constexpr unsigned char Char(FourCC id, int n) {
    return static_cast<unsigned char>(id >> (8 * (n - 1)));
}

constexpr bool IsDigit(unsigned char c) {
    return c >= '0' && c <= '9';
}

// ASCII digits and letters only; bytes above 127 are not alphanumeric.
constexpr bool IsAlnum(unsigned char c) {
    return IsDigit(c) || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

bool IsListId(FourCC id) {
    return id == kRiff || id == kList;
}

// The stream number of "NNdb", "NNdc" or "NNwb"; -1 for any other identifier.
int StreamDataNumber(FourCC id) {
    if (!IsDigit(Char(id, 1)) || !IsDigit(Char(id, 2))) {
        return -1;
    }
    const unsigned char c3 = Char(id, 3);
    const unsigned char c4 = Char(id, 4);
    const bool suffix = (c3 == 'd' && (c4 == 'b' || c4 == 'c')) || (c3 == 'w' && c4 == 'b');
    return suffix ? 10 * (Char(id, 1) - '0') + (Char(id, 2) - '0') : -1;
}

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

// The fast scan. The window-by-window scan tests windows two or four bytes apart, moving two
// only when characters 3 and 4 are alphanumeric; every identifier it accepts is alphanumeric
// throughout, so the windows it passes over are never headers. It therefore reaches every
// window whose four bytes are alphanumeric (a candidate), and whose first two are (below: an
// anchor), and between candidates it only rejects windows, which leaves nothing behind but
// Resync: below the context-free limit the window tested before them has already cleared
// Context, and the windows passed over all lie further on. The fast scan tests the windows
// the other would test up to the next candidate at once, searching the buffer for candidates a
// block at a time, and tests candidates as the other does. Near the end of the data, where
// short reads decide what the fields hold, it hands over to the window-by-window scan at a
// window that scan would test as well.

namespace {

constexpr std::int64_t kSmallestScanBuffer = 4096;
// A window tested in the buffer: the identifier, the size and a list type, and a margin.
constexpr std::int64_t kHeaderSpan = 16;
constexpr std::int64_t kBlock = 64;

std::uint32_t Load32(const std::uint8_t* bytes) {
    return static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
           static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
}

bool IsAnchor(const std::uint8_t* at) {
    return IsAlnum(at[0]) && IsAlnum(at[1]);
}

bool IsCandidate(const std::uint8_t* at) {
    return IsAnchor(at) && IsAlnum(at[2]) && IsAlnum(at[3]);
}

// Sixteen bytes at a time, as GCC and Clang vectorise them on every target. Vectors are only
// passed by reference: targets without SSE would pass them by value in another way.
using Bytes16 = std::uint8_t __attribute__((vector_size(16)));

// The bytes at `at`, each replaced by 0xFF when it is an ASCII letter or digit and 0 otherwise.
void AlnumLanes(const std::uint8_t* at, Bytes16& lanes) {
    Bytes16 c;
    std::memcpy(&c, at, sizeof c);
    const Bytes16 digit = reinterpret_cast<Bytes16>(static_cast<Bytes16>(c - '0') < 10);
    const Bytes16 letter = reinterpret_cast<Bytes16>(static_cast<Bytes16>((c | 0x20) - 'a') < 26);
    lanes = digit | letter;
}

bool AnyLane(const Bytes16& lanes) {
    std::uint64_t halves[2];
    std::memcpy(halves, &lanes, sizeof halves);
    return (halves[0] | halves[1]) != 0;
}

// Whether a block of kBlock windows, every other one tested, holds a candidate or an anchor.
// Reads kBlock + 3 bytes.
void ScanBlock(const std::uint8_t* block, bool& candidate, bool& anchor) {
    const Bytes16 tested = {0xFF, 0, 0xFF, 0, 0xFF, 0, 0xFF, 0, 0xFF, 0, 0xFF, 0, 0xFF, 0, 0xFF, 0};
    Bytes16 a0;
    Bytes16 a1;
    Bytes16 a2;
    Bytes16 a3;
    // Over holes and most binary data there is not a letter or digit in the block at all.
    Bytes16 any;
    AlnumLanes(block + kBlock - 13, any);
    for (int k = 0; k < kBlock; k += 16) {
        AlnumLanes(block + k, a0);
        any |= a0;
    }
    candidate = false;
    anchor = false;
    if (!AnyLane(any)) {
        return;
    }
    Bytes16 candidates = {};
    Bytes16 anchors = {};
    for (int k = 0; k < kBlock; k += 16) {
        AlnumLanes(block + k, a0);
        AlnumLanes(block + k + 1, a1);
        AlnumLanes(block + k + 2, a2);
        AlnumLanes(block + k + 3, a3);
        const Bytes16 first = a0 & a1 & tested;
        anchors |= first;
        candidates |= first & a2 & a3;
    }
    candidate = AnyLane(candidates);
    anchor = AnyLane(anchors);
}

} // namespace

void TVMRIFFStream::FillScanBuffer(std::int64_t position) {
    if (scanBuffer_.empty()) {
        // A small file needs no more than itself.
        const std::int64_t size = Stream->GetSize();
        scanCapacity_ = std::max(std::min(ScanBufferSize, std::max(size + 1, kSmallestScanBuffer)),
                                 kHeaderSpan + 4);
        scanBuffer_.resize(static_cast<std::size_t>(scanCapacity_));
    }
    scanStart_ = position;
    scanLength_ = 0;
    scanHitEnd_ = true;
    if (Stream->Seek(position, 0) != position) {
        return;
    }
    const std::int64_t got = Stream->Read(scanBuffer_.data(), scanCapacity_);
    scanLength_ = std::max<std::int64_t>(got, 0);
    scanHitEnd_ = got < scanCapacity_;
}

bool TVMRIFFStream::Buffered(std::int64_t position, std::int64_t span) {
    const std::int64_t end = scanStart_ + scanLength_;
    if (position >= scanStart_ && position + span <= end) {
        return true;
    }
    if (!(scanHitEnd_ && position >= scanStart_ && position <= end)) {
        FillScanBuffer(position);
    }
    return position >= scanStart_ && position + span <= scanStart_ + scanLength_;
}

std::int64_t TVMRIFFStream::SkipToCandidate(std::int64_t from, bool& handOver) {
    handOver = false;
    std::int64_t at = from;
    std::int64_t lastAnchor = -1;  // the last anchor met, or -1
    std::int64_t anchorBlock = -1; // a block holding anchors after lastAnchor, or -1
    auto settleAnchor = [&] {      // finds the last anchor of anchorBlock in the buffer
        if (anchorBlock >= 0) {
            for (std::int64_t o = anchorBlock + kBlock - 2; o >= anchorBlock; o -= 2) {
                if (IsAnchor(scanBuffer_.data() + (o - scanStart_))) {
                    lastAnchor = o;
                    break;
                }
            }
            anchorBlock = -1;
        }
    };
    std::int64_t found = -1;
    std::int64_t lastTested = -1;
    while (found < 0) {
        if (!Buffered(at, kHeaderSpan)) {
            break;
        }
        const std::uint8_t* base = scanBuffer_.data() + (at - scanStart_);
        const std::int64_t end = scanStart_ + scanLength_;
        // Whole blocks while every candidate in them can be tested from the buffer.
        while (at + kBlock + kHeaderSpan <= end) {
            bool candidate = false;
            bool anchor = false;
            ScanBlock(base, candidate, anchor);
            if (candidate) {
                break;
            }
            if (anchor) {
                anchorBlock = at;
            }
            at += kBlock;
            base += kBlock;
        }
        // One window at a time up to the next block, a candidate or the buffer's end.
        const std::int64_t stop = std::min(at + kBlock, end - kHeaderSpan + 1);
        for (; at < stop; at += 2, base += 2) {
            lastTested = at;
            if (IsCandidate(base)) {
                found = at;
                break;
            }
            if (IsAnchor(base)) {
                anchorBlock = -1;
                lastAnchor = at;
            }
        }
        if (found < 0 && at + kHeaderSpan > end) {
            if (scanHitEnd_) {
                break;
            }
            settleAnchor(); // before the buffer moves on
        }
    }
    if (found < 0) {
        handOver = true;
        if (lastTested < 0) {
            found = from;
        } else {
            // Past the last anchor the scan moves four bytes at a time.
            settleAnchor();
            const std::int64_t anchor = std::max(lastAnchor, from);
            found = anchor + (lastTested - anchor) / 4 * 4;
        }
    }
    return found;
}

std::int64_t TVMRIFFStream::ScanFast() {
    std::int64_t at = Stream->GetPosition();
    for (;;) {
        if (at < 0 || !Buffered(at, kHeaderSpan)) {
            Stream->SetPosition(at);
            return ScanWindowByWindow();
        }
        const std::uint8_t* window = scanBuffer_.data() + (at - scanStart_);
        const FourCC id = Load32(window);
        std::int64_t next;
        if (IsValidChunkIdAt(id, at + 4)) {
            ChunkId = id;
            ChunkSize = Load32(window + 4);
            if (!IsListId(id)) {
                Stream->SetPosition(at + 8);
                return at;
            }
            ListType = Load32(window + 8);
            ChunkSize -= 4;
            if (IsKnownForm(id, ListType)) {
                Stream->SetPosition(at + 12);
                return at;
            }
            // The identifier 0 takes the rejected header's place and is rejected in turn.
            ChunkId = 0;
            IsValidChunkIdAt(0, at + 12);
            next = at + 12;
        } else {
            next = IsAnchor(window + 2) ? at + 2 : at + 4;
        }
        Resync = true;
        bool handOver = false;
        at = SkipToCandidate(next, handOver);
        if (handOver) {
            Stream->SetPosition(at);
            return ScanWindowByWindow();
        }
    }
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
