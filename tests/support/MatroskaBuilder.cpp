#include "support/MatroskaBuilder.h"

#include "matroska/Ebml.h"

namespace vidtag::test {

Bytes IdBytes(std::uint32_t id) {
    Bytes bytes;
    for (int shift = 24; shift >= 0; shift -= 8) {
        const auto byte = static_cast<std::uint8_t>(id >> shift);
        if (byte != 0 || !bytes.empty()) {
            bytes.push_back(byte);
        }
    }
    return bytes;
}

Bytes SizeBytes(std::uint64_t size, int length) {
    if (length == 0) {
        length = 1;
        while (length < 8 && size >= (std::uint64_t{1} << (7 * length)) - 1) {
            ++length;
        }
    }
    Bytes bytes(static_cast<std::size_t>(length));
    for (int i = length - 1; i >= 0; --i, size >>= 8) {
        bytes[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(size);
    }
    bytes[0] = static_cast<std::uint8_t>(bytes[0] | (0x80u >> (length - 1)));
    return bytes;
}

Bytes UnknownSize(int length) {
    Bytes bytes(static_cast<std::size_t>(length), 0xFF);
    bytes[0] = static_cast<std::uint8_t>((0x100u >> (length - 1)) - 1);
    return bytes;
}

Bytes ElementSized(std::uint32_t id, const Bytes& sizeField, const Bytes& data) {
    return Join({IdBytes(id), sizeField, data});
}

Bytes Element(std::uint32_t id, const Bytes& data) {
    return ElementSized(id, SizeBytes(data.size()), data);
}

Bytes Unsigned(std::uint32_t id, std::uint64_t value) {
    Bytes data;
    do {
        data.insert(data.begin(), static_cast<std::uint8_t>(value));
        value >>= 8;
    } while (value != 0);
    return Element(id, data);
}

Bytes Text(std::uint32_t id, const std::string& text) {
    return Element(id, Bytes(text.begin(), text.end()));
}

Bytes Join(const std::vector<Bytes>& parts) {
    Bytes all;
    for (const Bytes& part : parts) {
        all.insert(all.end(), part.begin(), part.end());
    }
    return all;
}

Bytes EbmlHeader(const std::string& docType) {
    return Element(mkv::kEbmlHeaderId,
                   Join({Unsigned(0x4286, 1), Unsigned(0x42F7, 1), Text(mkv::kDocTypeId, docType),
                         Unsigned(0x4287, 4), Unsigned(0x4285, 2)}));
}

Bytes TrackEntry(const EntryFields& fields) {
    Bytes data;
    if (fields.Crc) {
        data = Element(mkv::kCrc32Id, Bytes(4, 0));
    }
    data = Join({data, Unsigned(mkv::kTrackNumberId, fields.Number),
                 Unsigned(mkv::kTrackTypeId, fields.Type), Text(mkv::kCodecIdId, fields.CodecId)});
    if (fields.Enabled >= 0) {
        data =
            Join({data, Unsigned(mkv::kFlagEnabledId, static_cast<std::uint64_t>(fields.Enabled))});
    }
    if (fields.Default >= 0) {
        data =
            Join({data, Unsigned(mkv::kFlagDefaultId, static_cast<std::uint64_t>(fields.Default))});
    }
    if (!fields.Private.empty()) {
        data = Join({data, Element(mkv::kCodecPrivateId, fields.Private)});
    }
    return Element(mkv::kTrackEntryId, Join({data, fields.Extra}));
}

Bytes MkvFile(const std::vector<Bytes>& topLevel, const std::string& docType) {
    return Join({EbmlHeader(docType), Element(mkv::kSegmentId, Join(topLevel))});
}

} // namespace vidtag::test
