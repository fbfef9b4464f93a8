#pragma once

#include "video/StreamFacts.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vidtag::test {

struct BitString {
    std::vector<std::uint8_t> Bytes; // zero-padded to whole bytes
    std::size_t BitCount = 0;
};

// A bit string written as '0' and '1', with spaces between fields for the reader's sake.
inline BitString Bits(std::string_view pattern) {
    BitString bits;
    for (const char c : pattern) {
        if (c != '0' && c != '1') {
            continue;
        }
        if (bits.BitCount % 8 == 0) {
            bits.Bytes.push_back(0);
        }
        if (c == '1') {
            bits.Bytes.back() |= static_cast<std::uint8_t>(0x80 >> (bits.BitCount % 8));
        }
        ++bits.BitCount;
    }
    return bits;
}

// A bit string's bytes behind a start code 00 00 01 code, with the rest of the last byte filled
// with next_start_code's stuffing (a 0 and ones).
inline std::vector<std::uint8_t> Unit(std::uint8_t code, std::string_view pattern) {
    std::string stuffed(pattern);
    stuffed += '0';
    while (Bits(stuffed).BitCount % 8 != 0) {
        stuffed += '1';
    }
    std::vector<std::uint8_t> bytes{0, 0, 1, code};
    const BitString bits = Bits(stuffed);
    bytes.insert(bytes.end(), bits.Bytes.begin(), bits.Bytes.end());
    return bytes;
}

template <typename T>
void Add(std::vector<std::string>& fields, const char* name, const std::optional<T>& value) {
    if (value) {
        fields.push_back(std::string(name) + "=" + std::to_string(static_cast<long long>(*value)));
    }
}

// The VOL fields present, in the order the layer header has them: "type=17 verid=2 w=720 ...".
inline std::vector<std::string> VolFields(const video::StreamFacts& f) {
    std::vector<std::string> fields;
    Add(fields, "random", f.RandomAccessible);
    Add(fields, "type", f.ObjectType);
    Add(fields, "verid", f.VerId);
    Add(fields, "prio", f.LayerPriority);
    Add(fields, "aspect", f.AspectRatioInfo);
    if (f.Par) {
        fields.push_back("par=" + std::to_string(f.Par->first) + ":" +
                         std::to_string(f.Par->second));
    }
    Add(fields, "ctl", f.VolControlParameters);
    Add(fields, "chroma", f.ChromaFormat);
    Add(fields, "lowdelay", f.LowDelay);
    Add(fields, "vbvrate", f.VbvBitRate);
    Add(fields, "vbvsize", f.VbvBufferSize);
    Add(fields, "shape", f.Shape);
    Add(fields, "res", f.TimeIncrementResolution);
    Add(fields, "fixed", f.FixedVopRate);
    Add(fields, "w", f.Width);
    Add(fields, "h", f.Height);
    Add(fields, "il", f.Interlaced);
    Add(fields, "obmcoff", f.ObmcDisabled);
    Add(fields, "sprite", f.SpriteKind);
    Add(fields, "warp", f.WarpPoints);
    Add(fields, "not8", f.Not8Bit);
    Add(fields, "mq", f.MpegQuant);
    Add(fields, "matrix", f.CustomMatrix);
    Add(fields, "qpel", f.Qpel);
    Add(fields, "ce", f.ComplexityEstimation);
    Add(fields, "resync", f.ResyncMarkers);
    Add(fields, "dp", f.DataPartitioned);
    Add(fields, "rvlc", f.Rvlc);
    Add(fields, "newpred", f.NewPred);
    Add(fields, "rr", f.ReducedResolution);
    Add(fields, "scal", f.Scalable);
    return fields;
}

inline std::string Joined(const std::vector<std::string>& fields) {
    std::string text;
    for (const std::string& field : fields) {
        text += (text.empty() ? "" : " ") + field;
    }
    return text;
}

} // namespace vidtag::test
