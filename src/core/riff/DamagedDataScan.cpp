#include "riff/VmRIFFStream.h"

#include "riff/ChunkIds.h"

#include <algorithm>
#include <cstring>

namespace vidtag {

using namespace riff;

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

} // namespace vidtag
