#include "avi/IndexPlan.h"

#include "codecs/FourCC.h"
#include "riff/ChunkIds.h"

#include <algorithm>
#include <array>
#include <optional>

namespace vidtag::avi {

namespace {

constexpr FourCC kAvi = FCC("AVI ");
constexpr FourCC kHdrl = FCC("hdrl");
constexpr FourCC kMovi = FCC("movi");
constexpr FourCC kIdx1 = FCC("idx1");
constexpr FourCC kAvih = FCC("avih");
constexpr FourCC kStrl = FCC("strl");
constexpr FourCC kStrh = FCC("strh");
constexpr FourCC kVids = FCC("vids");
constexpr FourCC kDmlh = FCC("dmlh");
constexpr FourCC kIndx = FCC("indx");
constexpr FourCC kRec = FCC("rec ");
constexpr FourCC kAvix = FCC("AVIX");

constexpr std::uint32_t kHasIndex = 0x10;     // AVIF_HASINDEX
constexpr std::uint32_t kKeyFrameFlag = 0x10; // AVIIF_KEYFRAME
constexpr std::int64_t kAvihFlags = 12;       // within avih's data
constexpr std::int64_t kAvihTotalFrames = 16;
constexpr std::int64_t kStrhLength = 32; // within strh's data
constexpr std::uint32_t kEntryBytes = 16;
// A header list larger than this is no list of headers.
constexpr std::uint32_t kMaxHeaderList = 16 * 1024 * 1024;
constexpr std::int64_t kLargestRiff = 0xFFFFFFFFLL;

std::string Le32(std::uint32_t value) {
    std::string bytes(4, '\0');
    for (int i = 0; i < 4; ++i) {
        bytes[static_cast<std::size_t>(i)] = static_cast<char>(value >> (8 * i));
    }
    return bytes;
}

std::string IdBytes(FourCC id) {
    return Le32(id);
}

// A chunk id of printable characters: anything else is where the data stops making sense.
bool PlausibleId(FourCC id) {
    for (int n = 1; n <= 4; ++n) {
        const unsigned char c = riff::Char(id, n);
        if (!riff::IsAlnum(c) && c != ' ' && c != '_') {
            return false;
        }
    }
    return true;
}

// What the header list says, as positions of the fields' chunks' data.
struct Headers {
    std::int64_t Avih = -1;
    std::int64_t VideoStrh = -1;
    int VideoStream = -1;
    std::int64_t Dmlh = -1;
    bool SuperIndex = false;
    std::uint32_t Flags = 0;
};

struct IndexEntry {
    FourCC Id = 0;
    std::uint32_t Flags = 0;
    std::uint32_t Offset = 0;
    std::uint32_t Size = 0;
};

class Planner {
  public:
    Planner(TStream64& file, KeyFrameTest isKey) : file_(file), isKey_(isKey) {}

    IndexPlan Run() {
        plan_.Length = file_.GetSize();
        if (plan_.Length < 0) {
            return Refuse(IndexRefusal::ReadFailed);
        }
        std::array<std::uint8_t, 12> riff{};
        if (At(0, riff.data(), riff.size()) < riff.size() ||
            riff::Load32(riff.data()) != riff::kRiff || riff::Load32(riff.data() + 8) != kAvi) {
            return Refuse(IndexRefusal::NotAvi);
        }
        if (!WalkTop()) {
            return plan_;
        }
        return Finish();
    }

  private:
    IndexPlan Refuse(IndexRefusal why) {
        plan_.Refused = why;
        plan_.Changes.clear();
        plan_.Tail.clear();
        return plan_;
    }

    std::size_t At(std::int64_t pos, void* buffer, std::size_t count) {
        if (pos >= plan_.Length) {
            return 0;
        }
        count = static_cast<std::size_t>(
            std::min<std::int64_t>(static_cast<std::int64_t>(count), plan_.Length - pos));
        if (file_.Seek(pos, 0) != pos) {
            return 0;
        }
        const std::int64_t got = file_.Read(buffer, static_cast<std::int64_t>(count));
        return got > 0 ? static_cast<std::size_t>(got) : 0;
    }

    std::string BytesAt(std::int64_t pos, std::size_t count) {
        std::string bytes(count, '\0');
        bytes.resize(At(pos, bytes.data(), count));
        return bytes;
    }

    void Change(IndexField field, std::int64_t pos, const std::string& after) {
        const std::string before = BytesAt(pos, after.size());
        if (before != after) {
            plan_.Changes.push_back({field, pos, before, after});
        }
    }

    // A chunk whose header or data runs past the end of the file becomes a JUNK chunk holding
    // every byte it has; a cut header is completed by the bytes it lacks. Returns where the JUNK
    // chunk ends, its pad byte included.
    std::int64_t MakeJunk(std::int64_t pos, IndexField field) {
        const std::int64_t present = plan_.Length - pos;
        std::string header = IdBytes(FCC("JUNK"));
        if (present >= 8) {
            const std::int64_t data = present - 8;
            header += Le32(static_cast<std::uint32_t>(data));
            Change(field, pos, header);
            if (data % 2 != 0) {
                plan_.Tail.push_back('\0');
            }
            plan_.CutBytes += data;
            return plan_.Length + (data % 2);
        }
        header += Le32(0);
        const auto kept = static_cast<std::size_t>(present);
        Change(field, pos, header.substr(0, kept));
        plan_.Tail += header.substr(kept);
        return pos + 8;
    }

    bool ReadHeaders(std::int64_t pos, std::uint32_t size) {
        if (size > kMaxHeaderList || pos + 8 + size > plan_.Length) {
            plan_.Refused = IndexRefusal::NoMovieList;
            return false;
        }
        const std::string list = BytesAt(pos + 8, size);
        if (list.size() != size) {
            plan_.Refused = IndexRefusal::ReadFailed;
            return false;
        }
        int stream = 0;
        WalkHeaderList(reinterpret_cast<const std::uint8_t*>(list.data()), 4, size, pos + 8,
                       stream);
        return true;
    }

    // The children of a list held in memory from `from` to `end`; base is the file position of
    // the memory's first byte.
    void WalkHeaderList(const std::uint8_t* data, std::uint32_t from, std::uint32_t end,
                        std::int64_t base, int& stream) {
        for (std::uint32_t at = from; at < end && end - at >= 8;) {
            const FourCC id = riff::Load32(data + at);
            const std::uint32_t size = riff::Load32(data + at + 4);
            if (size > end - at - 8) {
                return;
            }
            const std::uint8_t* body = data + at + 8;
            if (id == riff::kList && size >= 4) {
                const FourCC type = riff::Load32(body);
                WalkHeaderList(data, at + 12, at + 8 + size, base, stream);
                stream += type == kStrl ? 1 : 0;
            } else if (id == kAvih && size >= kAvihTotalFrames + 4) {
                headers_.Avih = base + at + 8;
                headers_.Flags = riff::Load32(body + kAvihFlags);
            } else if (id == kStrh && size >= kStrhLength + 4 && riff::Load32(body) == kVids &&
                       headers_.VideoStream < 0) {
                headers_.VideoStream = stream;
                headers_.VideoStrh = base + at + 8;
            } else if (id == kDmlh && size >= 4) {
                headers_.Dmlh = base + at + 8;
            } else if (id == kIndx) {
                headers_.SuperIndex = true;
            }
            at += 8 + size + (size & 1);
            if (at > end) {
                return;
            }
        }
    }

    // The chunks of the movie data from pos to end; entering 'rec ' lists. False when the walk
    // cannot go on (a refusal is set).
    bool WalkMovi(std::int64_t pos, std::int64_t end, bool cutList, std::int64_t& last) {
        std::array<std::uint8_t, 12 + kKeyBytes> head{};
        while (pos < end) {
            const std::size_t got = end - pos >= 8 ? At(pos, head.data(), head.size()) : 0;
            const FourCC id = got >= 8 ? riff::Load32(head.data()) : 0;
            const std::uint32_t size = got >= 8 ? riff::Load32(head.data() + 4) : 0;
            const bool whole = got >= 8 && PlausibleId(id) && pos + 8 + size <= end;
            if (!whole) {
                if (!cutList || (got < 8 && end - pos >= 8)) {
                    plan_.Refused = cutList ? IndexRefusal::ReadFailed : IndexRefusal::DamagedList;
                    return false;
                }
                last = MakeJunk(pos, IndexField::CutChunk);
                return true;
            }
            const std::int64_t chunkEnd = pos + 8 + size;
            if (id == riff::kList && size >= 4 && riff::Load32(head.data() + 8) == kRec) {
                std::int64_t inner = chunkEnd;
                if (!WalkMovi(pos + 12, chunkEnd, false, inner)) {
                    return false;
                }
            } else if (riff::Char(id, 1) == 'i' && riff::Char(id, 2) == 'x') {
                plan_.Refused = IndexRefusal::OpenDml;
                return false;
            } else if (const int stream = riff::StreamDataNumber(id); stream >= 0) {
                AddEntry(id, stream, pos, size, head.data() + 8, got - 8);
            }
            pos = chunkEnd + (size & 1);
            if (pos > plan_.Length) {
                // The file ends where the pad byte of its last chunk would be.
                plan_.Tail.push_back('\0');
            }
            last = pos;
        }
        return true;
    }

    void AddEntry(FourCC id, int stream, std::int64_t pos, std::uint32_t size,
                  const std::uint8_t* data, std::size_t got) {
        std::uint32_t flags = kKeyFrameFlag;
        if (stream == headers_.VideoStream) {
            ++plan_.VideoFrames;
            const std::size_t shown = std::min<std::size_t>(got, size);
            flags = size > 0 && isKey_(data, shown) ? kKeyFrameFlag : 0;
            plan_.KeyFrames += flags != 0 ? 1 : 0;
        }
        entries_.push_back({id, flags, static_cast<std::uint32_t>(pos - moviData_), size});
    }

    // The top-level chunks: the headers, the movie list and what follows it.
    bool WalkTop() {
        std::array<std::uint8_t, 12> head{};
        std::int64_t pos = 12;
        bool moviSeen = false;
        while (pos < plan_.Length) {
            const std::size_t got = At(pos, head.data(), head.size());
            const FourCC id = got >= 8 ? riff::Load32(head.data()) : 0;
            const std::uint32_t size = got >= 8 ? riff::Load32(head.data() + 4) : 0;
            const FourCC type = got >= 12 ? riff::Load32(head.data() + 8) : 0;
            if (id == riff::kRiff && type == kAvix) {
                plan_.Refused = IndexRefusal::OpenDml;
                return false;
            }
            const bool whole = got >= 8 && pos + 8 + size <= plan_.Length;
            if (!moviSeen && id == riff::kList && type == kHdrl) {
                if (!ReadHeaders(pos, size)) {
                    return false;
                }
            } else if (!moviSeen && id == riff::kList && type == kMovi) {
                moviSeen = true;
                if (!Movi(pos, size, pos)) {
                    return false;
                }
                if (plan_.MoviCut) {
                    return true;
                }
                continue;
            } else if (!moviSeen && !whole) {
                break;
            } else if (moviSeen && (!whole || !PlausibleId(id))) {
                plan_.HadIndex = plan_.HadIndex || id == kIdx1;
                MakeJunk(pos, id == kIdx1 ? IndexField::OldIndex : IndexField::CutChunk);
                return true;
            } else if (moviSeen && id == kIdx1) {
                plan_.HadIndex = true;
                oldIndex_ = pos;
                oldEntries_ = size / kEntryBytes;
            }
            pos += 8 + static_cast<std::int64_t>(size) + (size & 1);
            if (pos > plan_.Length) {
                plan_.Tail.push_back('\0');
            }
        }
        if (!moviSeen) {
            plan_.Refused = IndexRefusal::NoMovieList;
            return false;
        }
        return true;
    }

    // The movie list at pos; leaves pos after it when the list is whole.
    bool Movi(std::int64_t at, std::uint32_t size, std::int64_t& pos) {
        if (headers_.Avih < 0 || headers_.VideoStrh < 0) {
            plan_.Refused = IndexRefusal::NoMovieList;
            return false;
        }
        if (headers_.SuperIndex) {
            plan_.Refused = IndexRefusal::OpenDml;
            return false;
        }
        moviPos_ = at;
        moviData_ = at + 8;
        const std::int64_t declaredEnd = at + 8 + static_cast<std::int64_t>(size);
        plan_.MoviCut = declaredEnd > plan_.Length;
        std::int64_t last = at + 12;
        if (!WalkMovi(at + 12, std::min(declaredEnd, plan_.Length), plan_.MoviCut, last)) {
            return false;
        }
        moviEnd_ = last;
        pos = plan_.MoviCut ? last : declaredEnd + (size & 1);
        return true;
    }

    IndexPlan Finish() {
        if (plan_.VideoFrames == 0 || entries_.empty()) {
            return Refuse(IndexRefusal::NoVideoChunk);
        }
        const bool cut = !plan_.Changes.empty() || !plan_.Tail.empty();
        // Players that seek only in a file flagged AVIF_HASINDEX ignore an unflagged idx1, whole
        // or not.
        const bool flagged = (headers_.Flags & kHasIndex) != 0;
        if (!cut && oldIndex_ >= 0 && oldEntries_ >= entries_.size() && flagged) {
            return Refuse(IndexRefusal::Healthy);
        }
        // A whole idx1 that covers too little, or is not flagged, stays in the file as JUNK.
        if (oldIndex_ >= 0) {
            Change(IndexField::OldIndex, oldIndex_, IdBytes(FCC("JUNK")));
        }
        // The new index starts on an even position.
        if ((plan_.Length + static_cast<std::int64_t>(plan_.Tail.size())) % 2 != 0) {
            plan_.Tail.push_back('\0');
        }
        const std::uint64_t indexBytes = std::uint64_t{kEntryBytes} * entries_.size();
        plan_.NewLength = plan_.Length + static_cast<std::int64_t>(plan_.Tail.size()) + 8 +
                          static_cast<std::int64_t>(indexBytes);
        if (plan_.NewLength - 8 > kLargestRiff) {
            return Refuse(IndexRefusal::OpenDml);
        }
        plan_.Tail += IdBytes(kIdx1) + Le32(static_cast<std::uint32_t>(indexBytes));
        for (const IndexEntry& entry : entries_) {
            plan_.Tail +=
                IdBytes(entry.Id) + Le32(entry.Flags) + Le32(entry.Offset) + Le32(entry.Size);
        }
        plan_.Entries = static_cast<std::uint32_t>(entries_.size());
        Change(IndexField::RiffSize, 4, Le32(static_cast<std::uint32_t>(plan_.NewLength - 8)));
        if (plan_.MoviCut) {
            Change(IndexField::MoviSize, moviPos_ + 4,
                   Le32(static_cast<std::uint32_t>(moviEnd_ - moviData_)));
        }
        Change(IndexField::IndexFlag, headers_.Avih + kAvihFlags, Le32(headers_.Flags | kHasIndex));
        Change(IndexField::TotalFrames, headers_.Avih + kAvihTotalFrames, Le32(plan_.VideoFrames));
        Change(IndexField::StreamLength, headers_.VideoStrh + kStrhLength, Le32(plan_.VideoFrames));
        if (headers_.Dmlh >= 0) {
            Change(IndexField::OdmlFrames, headers_.Dmlh, Le32(plan_.VideoFrames));
        }
        std::sort(plan_.Changes.begin(), plan_.Changes.end(),
                  [](const FieldChange& a, const FieldChange& b) { return a.Pos < b.Pos; });
        return plan_;
    }

    TStream64& file_;
    KeyFrameTest isKey_;
    IndexPlan plan_;
    Headers headers_;
    std::vector<IndexEntry> entries_;
    std::int64_t moviPos_ = -1;
    std::int64_t moviData_ = 0;
    std::int64_t moviEnd_ = 0;
    std::int64_t oldIndex_ = -1;
    std::uint32_t oldEntries_ = 0;
};

} // namespace

const char* IndexFieldName(IndexField field) noexcept {
    switch (field) {
    case IndexField::RiffSize:
        return "riff-size";
    case IndexField::MoviSize:
        return "movi-size";
    case IndexField::IndexFlag:
        return "avih-flags";
    case IndexField::TotalFrames:
        return "avih-total-frames";
    case IndexField::StreamLength:
        return "strh-length";
    case IndexField::OdmlFrames:
        return "dmlh-total-frames";
    case IndexField::CutChunk:
        return "cut-chunk";
    case IndexField::OldIndex:
        return "old-idx1";
    }
    return "";
}

IndexPlan PlanIndex(TStream64& file, KeyFrameTest isKey) {
    return Planner(file, isKey).Run();
}

} // namespace vidtag::avi
