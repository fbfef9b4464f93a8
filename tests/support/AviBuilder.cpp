#include "support/AviBuilder.h"

#include <stdexcept>

namespace vidtag::test {

namespace {

void AppendU32(Bytes& bytes, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        bytes.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
    }
}

void StoreU32(Bytes& bytes, std::size_t offset, std::uint32_t value) {
    if (bytes.size() < offset + 4) {
        bytes.resize(offset + 4);
    }
    for (int i = 0; i < 4; ++i) {
        bytes[offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
    }
}

} // namespace

Placed RiffBuilder::Chunk(FourCC id, const Bytes& data, Pad pad) {
    return ChunkWithSize(id, static_cast<std::uint32_t>(data.size()), data, pad);
}

Placed RiffBuilder::ChunkWithSize(FourCC id, std::uint32_t declaredSize, const Bytes& data,
                                  Pad pad) {
    const Placed placed = ChunkHeader(id, declaredSize);
    Raw(data);
    if (pad == Pad::Even && data.size() % 2 != 0) {
        bytes_.push_back(0);
    }
    return placed;
}

Placed RiffBuilder::ChunkHeader(FourCC id, std::uint32_t declaredSize) {
    const Placed placed{bytes_.size(), bytes_.size() + 8};
    AppendU32(bytes_, id);
    AppendU32(bytes_, declaredSize);
    return placed;
}

Placed RiffBuilder::ListHeader(FourCC id, std::uint32_t declaredSize, FourCC type) {
    const Placed placed{bytes_.size(), bytes_.size() + 12};
    AppendU32(bytes_, id);
    AppendU32(bytes_, declaredSize);
    AppendU32(bytes_, type);
    return placed;
}

Placed RiffBuilder::BeginList(FourCC id, FourCC type) {
    const Placed placed = ListHeader(id, 0, type);
    open_.push_back(placed);
    return placed;
}

Placed RiffBuilder::End(Pad pad) {
    if (open_.empty()) {
        throw std::logic_error("RiffBuilder::End without an open list");
    }
    const std::size_t size = bytes_.size() - (open_.back().header + 8);
    const Placed placed = EndWithSize(static_cast<std::uint32_t>(size));
    if (pad == Pad::Even && size % 2 != 0) {
        bytes_.push_back(0);
    }
    return placed;
}

Placed RiffBuilder::EndWithSize(std::uint32_t declaredSize) {
    if (open_.empty()) {
        throw std::logic_error("RiffBuilder::EndWithSize without an open list");
    }
    const Placed placed = open_.back();
    open_.pop_back();
    StoreU32(bytes_, placed.header + 4, declaredSize);
    return placed;
}

StreamPlaced RiffBuilder::StreamList(const Bytes& strh, const Bytes& strf) {
    StreamPlaced placed;
    placed.list = BeginList(FCC("LIST"), FCC("strl"));
    placed.strh = Chunk(FCC("strh"), strh);
    placed.strf = Chunk(FCC("strf"), strf);
    End();
    return placed;
}

RiffBuilder& RiffBuilder::Raw(const Bytes& bytes) {
    bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
    return *this;
}

RiffBuilder& RiffBuilder::Raw(std::string_view text) {
    bytes_.insert(bytes_.end(), text.begin(), text.end());
    return *this;
}

RiffBuilder& RiffBuilder::U32(std::uint32_t value) {
    AppendU32(bytes_, value);
    return *this;
}

RiffBuilder& RiffBuilder::Code(FourCC code) {
    return U32(code);
}

RiffBuilder& RiffBuilder::Fill(std::size_t count, std::uint8_t byte) {
    bytes_.insert(bytes_.end(), count, byte);
    return *this;
}

RiffBuilder& RiffBuilder::FillTo(std::size_t offset, std::uint8_t byte) {
    if (bytes_.size() < offset) {
        Fill(offset - bytes_.size(), byte);
    }
    return *this;
}

Placed RiffBuilder::JunkUntil(std::size_t offset) {
    if (offset < bytes_.size() + 8) {
        throw std::logic_error("RiffBuilder::JunkUntil: no room for a JUNK header");
    }
    const std::size_t size = offset - bytes_.size() - 8;
    // An odd size is followed by its pad byte, which must still end at offset.
    return Chunk(FCC("JUNK"), Bytes(size - size % 2, 0), Pad::Even);
}

RiffBuilder& RiffBuilder::PutAt(std::size_t offset, const Bytes& bytes) {
    if (bytes_.size() < offset + bytes.size()) {
        bytes_.resize(offset + bytes.size());
    }
    std::copy(bytes.begin(), bytes.end(), bytes_.begin() + static_cast<std::ptrdiff_t>(offset));
    return *this;
}

RiffBuilder& RiffBuilder::PutU32At(std::size_t offset, std::uint32_t value) {
    StoreU32(bytes_, offset, value);
    return *this;
}

RiffBuilder& RiffBuilder::PutCodeAt(std::size_t offset, FourCC code) {
    return PutU32At(offset, code);
}

Bytes RiffBuilder::Take() {
    while (!open_.empty()) {
        End();
    }
    return std::move(bytes_);
}

Bytes Le32(std::uint32_t value) {
    Bytes bytes;
    AppendU32(bytes, value);
    return bytes;
}

Bytes Le16(std::uint16_t value) {
    return Bytes{static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8)};
}

Bytes MainHeader(std::uint32_t streams, std::uint32_t frames) {
    Bytes bytes(56, 0);
    StoreU32(bytes, 0, 40000); // microseconds per frame
    StoreU32(bytes, 12, 0x10); // flags: has index
    StoreU32(bytes, 16, frames);
    StoreU32(bytes, 24, streams);
    StoreU32(bytes, 32, 320);
    StoreU32(bytes, 36, 240);
    return bytes;
}

Bytes StrhData(FourCC type, FourCC handler) {
    Bytes bytes(56, 0);
    StoreU32(bytes, 0, type);
    StoreU32(bytes, 4, handler);
    StoreU32(bytes, 20, 1);  // scale
    StoreU32(bytes, 24, 25); // rate
    return bytes;
}

Bytes BitmapInfoHeader(FourCC compression, std::int32_t width, std::int32_t height) {
    Bytes bytes(40, 0);
    StoreU32(bytes, 0, 40);
    StoreU32(bytes, 4, static_cast<std::uint32_t>(width));
    StoreU32(bytes, 8, static_cast<std::uint32_t>(height));
    bytes[12] = 1;  // planes
    bytes[14] = 24; // bit count
    StoreU32(bytes, 16, compression);
    StoreU32(bytes, 20, static_cast<std::uint32_t>(width * height * 3));
    return bytes;
}

Bytes WaveFormat(std::uint16_t formatTag) {
    Bytes bytes(18, 0);
    bytes[0] = static_cast<std::uint8_t>(formatTag);
    bytes[1] = static_cast<std::uint8_t>(formatTag >> 8);
    bytes[2] = 2; // channels
    StoreU32(bytes, 4, 44100);
    StoreU32(bytes, 8, 16000);
    bytes[12] = 1; // block align
    return bytes;
}

AviFile BuildAvi(const AviOptions& options) {
    AviFile file;
    RiffBuilder b;
    const std::uint32_t streams = options.audio ? 2 : 1;
    file.riff = b.BeginList(FCC("RIFF"), FCC("AVI "));
    file.hdrl = b.BeginList(FCC("LIST"), FCC("hdrl"));
    file.avih =
        b.Chunk(FCC("avih"), MainHeader(streams, static_cast<std::uint32_t>(options.frames)));
    file.video =
        b.StreamList(StrhData(FCC("vids"), options.handler), BitmapInfoHeader(options.compression));
    if (options.audio) {
        file.audio = b.StreamList(StrhData(FCC("auds"), 0), WaveFormat());
    }
    b.End();
    if (options.moviAt != 0) {
        file.junk = b.JunkUntil(options.moviAt);
    }
    file.movi = b.BeginList(FCC("LIST"), FCC("movi"));
    const Bytes frame(options.frameSize, 0x5A);
    for (int i = 0; i < options.frames; ++i) {
        file.frames.push_back(b.Chunk(FCC("00dc"), frame));
        if (options.audio) {
            file.frames.push_back(b.Chunk(FCC("01wb"), Bytes(8, 0x33)));
        }
    }
    b.End();
    if (options.index) {
        Bytes entries;
        for (const Placed& chunk : file.frames) {
            const Bytes& data = b.Data();
            const auto at = [&](std::size_t offset) {
                return static_cast<std::uint32_t>(data[offset]) |
                       static_cast<std::uint32_t>(data[offset + 1]) << 8 |
                       static_cast<std::uint32_t>(data[offset + 2]) << 16 |
                       static_cast<std::uint32_t>(data[offset + 3]) << 24;
            };
            AppendU32(entries, at(chunk.header)); // identifier
            AppendU32(entries, 0x10);             // key frame
            // Offsets count from the movi list's type.
            AppendU32(entries, static_cast<std::uint32_t>(chunk.header - (file.movi.header + 8)));
            AppendU32(entries, at(chunk.header + 4)); // size
        }
        file.idx1 = b.Chunk(FCC("idx1"), entries);
    }
    file.bytes = b.Take();
    return file;
}

} // namespace vidtag::test
