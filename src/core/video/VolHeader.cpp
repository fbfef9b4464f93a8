#include "video/HeaderParsers.h"

#include <limits>

namespace vidtag::video {

namespace {

constexpr unsigned kRectangular = 0;
constexpr unsigned kBinary = 1;
constexpr unsigned kBinaryOnly = 2;
constexpr unsigned kGrayscale = 3;

// video_object_type_indication of the studio objects, whose layer header has another layout.
constexpr unsigned kSimpleStudio = 15;
constexpr unsigned kCoreStudio = 16;

// What later fields depend on, kept while the header is read.
struct Layout {
    unsigned VerId = 1;
    unsigned Shape = kRectangular;
};

// Reads count bits into out; false (out untouched) when they ran out.
template <typename T> bool Take(BitReader& bits, unsigned count, std::optional<T>& out) {
    const auto value = bits.Bits(count);
    if (bits.Overrun()) {
        return false;
    }
    out = static_cast<T>(value);
    return true;
}

// Reads a field the caller needs itself; false when the bits ran out.
bool Read(BitReader& bits, unsigned count, unsigned& out) {
    out = bits.Bits(count);
    return !bits.Overrun();
}

bool Skip(BitReader& bits, std::size_t count) {
    bits.Skip(count);
    return !bits.Overrun();
}

std::optional<std::pair<std::uint8_t, std::uint8_t>> ParOf(unsigned aspectRatioInfo) {
    switch (aspectRatioInfo) {
    case 1:
        return std::pair<std::uint8_t, std::uint8_t>{1, 1};
    case 2:
        return std::pair<std::uint8_t, std::uint8_t>{12, 11};
    case 3:
        return std::pair<std::uint8_t, std::uint8_t>{10, 11};
    case 4:
        return std::pair<std::uint8_t, std::uint8_t>{16, 11};
    case 5:
        return std::pair<std::uint8_t, std::uint8_t>{40, 33};
    default:
        return std::nullopt; // forbidden or reserved, or extended (read from the fields)
    }
}

bool ReadIdentity(BitReader& bits, StreamFacts& facts, Layout& layout) {
    unsigned identified = 0;
    if (!Take(bits, 1, facts.RandomAccessible) || !Take(bits, 8, facts.ObjectType) ||
        !Read(bits, 1, identified)) {
        return false;
    }
    if (!identified) {
        // Then the layer is of its visual object's version, as Xvid reads it.
        facts.VerId = static_cast<std::uint8_t>(layout.VerId);
        return true;
    }
    if (!Take(bits, 4, facts.VerId) || !Take(bits, 3, facts.LayerPriority)) {
        return false;
    }
    layout.VerId = *facts.VerId;
    return true;
}

bool ReadAspect(BitReader& bits, StreamFacts& facts) {
    if (!Take(bits, 4, facts.AspectRatioInfo)) {
        return false;
    }
    if (*facts.AspectRatioInfo != 15) {
        facts.Par = ParOf(*facts.AspectRatioInfo);
        return true;
    }
    unsigned width = 0;
    unsigned height = 0;
    if (!Read(bits, 8, width) || !Read(bits, 8, height)) {
        return false;
    }
    facts.Par = std::pair<std::uint8_t, std::uint8_t>(width, height);
    return true;
}

// Two halves of a field, split by a marker bit.
bool ReadSplit(BitReader& bits, unsigned firstBits, unsigned secondBits, std::uint64_t& value) {
    unsigned first = 0;
    unsigned second = 0;
    if (!Read(bits, firstBits, first) || !Skip(bits, 1) || !Read(bits, secondBits, second)) {
        return false;
    }
    value = (std::uint64_t{first} << secondBits) | second;
    return true;
}

bool ReadVbv(BitReader& bits, StreamFacts& facts) {
    constexpr std::uint64_t kBitRateUnit = 400;      // bits per second
    constexpr std::uint64_t kBufferSizeUnit = 16384; // bits
    std::uint64_t rate = 0;
    if (!ReadSplit(bits, 15, 15, rate) || !Skip(bits, 1)) {
        return false;
    }
    const std::uint64_t perSecond = rate * kBitRateUnit;
    facts.VbvBitRate = static_cast<std::uint32_t>(
        std::min<std::uint64_t>(perSecond, std::numeric_limits<std::uint32_t>::max()));
    std::uint64_t size = 0;
    if (!ReadSplit(bits, 15, 3, size)) {
        return false;
    }
    facts.VbvBufferSize = static_cast<std::uint32_t>(size * kBufferSizeUnit);
    // vbv_occupancy: 11 bits, marker, 15 bits, marker.
    return Skip(bits, 11 + 1 + 15 + 1);
}

bool ReadControl(BitReader& bits, StreamFacts& facts) {
    unsigned present = 0;
    if (!Read(bits, 1, present)) {
        return false;
    }
    facts.VolControlParameters = present != 0;
    if (!present) {
        return true;
    }
    unsigned vbv = 0;
    if (!Take(bits, 2, facts.ChromaFormat) || !Take(bits, 1, facts.LowDelay) ||
        !Read(bits, 1, vbv)) {
        return false;
    }
    return !vbv || ReadVbv(bits, facts);
}

// Shape, time base and size; false also for a time resolution of 0, which no stream may have.
bool ReadTiming(BitReader& bits, StreamFacts& facts, Layout& layout) {
    if (!Read(bits, 2, layout.Shape)) {
        return false;
    }
    facts.Shape = static_cast<std::uint8_t>(layout.Shape);
    if (layout.Shape == kGrayscale && layout.VerId != 1 && !Skip(bits, 4)) {
        return false; // video_object_layer_shape_extension
    }
    unsigned resolution = 0;
    if (!Skip(bits, 1) || !Read(bits, 16, resolution) || resolution == 0) {
        return false;
    }
    facts.TimeIncrementResolution = static_cast<std::uint16_t>(resolution);
    if (!Skip(bits, 1) || !Take(bits, 1, facts.FixedVopRate)) {
        return false;
    }
    if (*facts.FixedVopRate && !Skip(bits, TimeIncrementBits(resolution))) {
        return false;
    }
    if (layout.Shape != kRectangular) {
        return true;
    }
    return Skip(bits, 1) && Take(bits, 13, facts.Width) && Skip(bits, 1) &&
           Take(bits, 13, facts.Height) && Skip(bits, 1);
}

bool ReadSprite(BitReader& bits, StreamFacts& facts, const Layout& layout) {
    unsigned sprite = 0;
    if (!Read(bits, layout.VerId == 1 ? 1 : 2, sprite) || sprite > 2) {
        return false; // 3 is reserved
    }
    facts.SpriteKind = static_cast<Sprite>(sprite);
    if (sprite == 0) {
        return true;
    }
    const bool isStatic = sprite == 1;
    // sprite_width, sprite_height, sprite_left_coordinate, sprite_top_coordinate, each 13 bits
    // and a marker.
    if (isStatic && !Skip(bits, 4 * 14)) {
        return false;
    }
    // no_of_sprite_warping_points, then sprite_warping_accuracy and sprite_brightness_change,
    // then for a static sprite low_latency_sprite_enable.
    return Take(bits, 6, facts.WarpPoints) && Skip(bits, 2 + 1 + (isStatic ? 1 : 0));
}

// Up to 64 values of 8 bits; a 0 ends the list early.
bool SkipQuantMatrix(BitReader& bits) {
    for (int i = 0; i < 64; ++i) {
        const auto value = bits.Bits(8);
        if (bits.Overrun()) {
            return false;
        }
        if (value == 0) {
            break;
        }
    }
    return true;
}

bool ReadQuant(BitReader& bits, StreamFacts& facts) {
    if (!Take(bits, 1, facts.MpegQuant)) {
        return false;
    }
    if (!*facts.MpegQuant) {
        facts.CustomMatrix = false;
        return true;
    }
    unsigned intra = 0;
    if (!Read(bits, 1, intra)) {
        return false;
    }
    if (intra) {
        facts.CustomMatrix = true;
        if (!SkipQuantMatrix(bits)) {
            return false;
        }
    }
    unsigned inter = 0;
    if (!Read(bits, 1, inter)) {
        return false;
    }
    facts.CustomMatrix = intra || inter;
    return !inter || SkipQuantMatrix(bits);
}

// define_vop_complexity_estimation_header: which counts each VOP header then carries.
bool SkipComplexityEstimation(BitReader& bits) {
    unsigned method = 0;
    if (!Read(bits, 2, method) || method > 1) {
        return false; // 2 and 3 are reserved
    }
    // Each set: a disable bit, then as many flags as the set has when it is enabled.
    auto set = [&bits](unsigned flags) {
        unsigned disabled = 0;
        return Read(bits, 1, disabled) && (disabled || Skip(bits, flags));
    };
    const bool read = set(6) && set(4) && Skip(bits, 1) && set(4) && set(6) && Skip(bits, 1);
    return read && (method == 0 || set(2));
}

bool ReadErrorTools(BitReader& bits, StreamFacts& facts, const Layout& layout) {
    unsigned disabled = 0;
    if (!Read(bits, 1, disabled)) {
        return false;
    }
    facts.ResyncMarkers = !disabled;
    if (!Take(bits, 1, facts.DataPartitioned)) {
        return false;
    }
    if (!*facts.DataPartitioned) {
        facts.Rvlc = false;
    } else if (!Take(bits, 1, facts.Rvlc)) {
        return false;
    }
    if (layout.VerId == 1) {
        facts.NewPred = false;
        facts.ReducedResolution = false;
        return true;
    }
    if (!Take(bits, 1, facts.NewPred)) {
        return false;
    }
    // requested_upstream_message_type and newpred_segment_type.
    if (*facts.NewPred && !Skip(bits, 2 + 1)) {
        return false;
    }
    return Take(bits, 1, facts.ReducedResolution);
}

bool ReadScalability(BitReader& bits, StreamFacts& facts, const Layout& layout) {
    if (!Take(bits, 1, facts.Scalable)) {
        return false;
    }
    if (!*facts.Scalable) {
        return true;
    }
    unsigned hierarchy = 0;
    // ref_layer_id, ref_layer_sampling_direc, four sampling factors of 5 bits, enhancement_type.
    if (!Read(bits, 1, hierarchy) || !Skip(bits, 4 + 1 + 4 * 5 + 1)) {
        return false;
    }
    // use_ref_shape, use_ref_texture and four shape sampling factors.
    return layout.Shape != kBinary || hierarchy != 0 || Skip(bits, 1 + 1 + 4 * 5);
}

VolResult ReadBinaryOnlyTail(BitReader& bits, StreamFacts& facts, const Layout& layout) {
    if (layout.VerId != 1) {
        if (!Take(bits, 1, facts.Scalable)) {
            return VolResult::Damaged;
        }
        // ref_layer_id and four shape sampling factors.
        if (*facts.Scalable && !Skip(bits, 4 + 4 * 5)) {
            return VolResult::Damaged;
        }
    }
    unsigned disabled = 0;
    if (!Read(bits, 1, disabled)) {
        return VolResult::Damaged;
    }
    facts.ResyncMarkers = !disabled;
    return VolResult::Complete;
}

VolResult ReadTools(BitReader& bits, StreamFacts& facts, const Layout& layout) {
    if (!Take(bits, 1, facts.Interlaced) || !Take(bits, 1, facts.ObmcDisabled) ||
        !ReadSprite(bits, facts, layout)) {
        return VolResult::Damaged;
    }
    if (layout.VerId != 1 && layout.Shape != kRectangular && !Skip(bits, 1)) {
        return VolResult::Damaged; // sadct_disable
    }
    if (!Take(bits, 1, facts.Not8Bit)) {
        return VolResult::Damaged;
    }
    // quant_precision and bits_per_pixel.
    if (*facts.Not8Bit && !Skip(bits, 4 + 4)) {
        return VolResult::Damaged;
    }
    if (layout.Shape == kGrayscale) {
        return VolResult::Partial; // auxiliary components, which this reader does not follow
    }
    if (!ReadQuant(bits, facts)) {
        return VolResult::Damaged;
    }
    if (layout.VerId == 1) {
        facts.Qpel = false;
    } else if (!Take(bits, 1, facts.Qpel)) {
        return VolResult::Damaged;
    }
    unsigned estimationDisabled = 0;
    if (!Read(bits, 1, estimationDisabled)) {
        return VolResult::Damaged;
    }
    facts.ComplexityEstimation = !estimationDisabled;
    if (!estimationDisabled && !SkipComplexityEstimation(bits)) {
        return VolResult::Damaged;
    }
    if (!ReadErrorTools(bits, facts, layout) || !ReadScalability(bits, facts, layout)) {
        return VolResult::Damaged;
    }
    return VolResult::Complete;
}

} // namespace

std::optional<std::uint8_t> ParseVisualObjectVerId(BitReader& bits) noexcept {
    const bool identified = bits.Bit();
    const auto verId = identified ? bits.Bits(4) : 1U;
    if (bits.Overrun() || verId == 0) {
        return std::nullopt;
    }
    return static_cast<std::uint8_t>(verId);
}

VolResult ParseVol(BitReader& bits, StreamFacts& facts, unsigned objectVerId) noexcept {
    Layout layout;
    layout.VerId = objectVerId;
    if (!ReadIdentity(bits, facts, layout)) {
        return VolResult::Damaged;
    }
    if (*facts.ObjectType == kSimpleStudio || *facts.ObjectType == kCoreStudio) {
        return VolResult::Partial;
    }
    if (!ReadAspect(bits, facts) || !ReadControl(bits, facts) || !ReadTiming(bits, facts, layout)) {
        return VolResult::Damaged;
    }
    if (layout.Shape == kBinaryOnly) {
        return ReadBinaryOnlyTail(bits, facts, layout);
    }
    return ReadTools(bits, facts, layout);
}

} // namespace vidtag::video
