#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace vidtag::video {

// Which bit stream the first video frame with data holds, told from its first bytes. A syntax is
// named only when its own headers are there and parse; the last four are other codecs' data.
enum class Syntax : std::uint8_t {
    Unknown,   // no video chunk with data within the budget, or no header that parses
    Mpeg4,     // MPEG-4 Part 2: a VOL that parses, or a frame that starts with a VOP header
    MsMpeg4V1, // Microsoft MPEG-4 V1: its picture start code 00 00 01 00 and frame header
    MsMpeg4,   // Microsoft MPEG-4 V2 or V3: a picture header in front; only the label tells which
    Jpeg,      // JPEG pictures (Motion JPEG): FF D8 FF
    H264,      // H.264 NAL units
    H265,      // H.265 NAL units
    Mpeg12,    // MPEG-1 or MPEG-2 video: a sequence or picture header and its slices
};

enum class MoviReach : std::uint8_t { FirstFrames, Whole, Broken };
// Whether the syntax is another codec's, which no kind of the catalogue names.
constexpr bool OutsideFamily(Syntax syntax) {
    return syntax == Syntax::Jpeg || syntax == Syntax::H264 || syntax == Syntax::H265 ||
           syntax == Syntax::Mpeg12;
}

// The bits of StreamFacts::MsVersions.
constexpr std::uint8_t kMsV1 = 1;
constexpr std::uint8_t kMsV2 = 2;
constexpr std::uint8_t kMsV3 = 4;

enum class Sprite : std::uint8_t { None, Static, Gmc };

// Counts of the VOPs met in the frames read, by vop_coding_type; N counts the VOPs with
// vop_coded 0 (placeholders, whatever their type), which are not counted again as I, P, B or S.
struct VopCounts {
    std::uint32_t I = 0;
    std::uint32_t P = 0;
    std::uint32_t B = 0;
    std::uint32_t S = 0;
    std::uint32_t N = 0;
};

// Who wrote the stream, from the user data strings.
enum class Encoder : std::uint8_t { None, DivX, XviD, Lavc, FFmpeg };

// What the video stream's own headers say, read from the format's extra bytes and the first
// frames. Every field that could not be read stays absent; the MPEG-4 fields are absent for the
// other syntaxes.
struct StreamFacts {
    Syntax StreamSyntax = Syntax::Unknown;
    // The stream is not the bit stream its label's family names (see FamilyMismatch below).
    bool FamilyMismatch = false;
    // Video chunks with data that were read.
    std::uint32_t FramesRead = 0;
    // Why the walk read no frames, or stopped before its budget: how the container stores them
    // (laced, compressed). Empty when nothing but the budget stopped it.
    std::string FramesNote;
    // From the VOL, else from the format (biWidth, |biHeight|).
    std::optional<std::uint32_t> Width;
    std::optional<std::uint32_t> Height;
    // From the stream header: rate / scale, and its length.
    std::optional<double> Fps;
    std::optional<std::uint32_t> Frames;

    // MPEG-4 Part 2 only. Qpel, NewPred and ReducedResolution are false for verid 1, which
    // cannot code them; LowDelay and the VBV fields are absent without vol_control_parameters.
    std::optional<std::uint8_t> ProfileLevel; // profile_and_level_indication of the VOS
    std::optional<std::uint8_t> ObjectType;   // video_object_type_indication
    std::optional<std::uint8_t> VerId; // video_object_layer_verid, else visual_object_verid, else 1
    std::optional<std::pair<std::uint8_t, std::uint8_t>> Par; // pixel aspect ratio
    std::optional<bool> Interlaced;
    std::optional<bool> Qpel;
    std::optional<Sprite> SpriteKind;
    std::optional<std::uint8_t> WarpPoints; // no_of_sprite_warping_points, with a sprite
    std::optional<bool> MpegQuant;          // quant_type 1
    std::optional<bool> CustomMatrix;       // load_intra or load_inter quant matrix
    std::optional<bool> DataPartitioned;
    std::optional<bool> Rvlc;
    std::optional<bool> ResyncMarkers; // resync markers may be present (not disabled)
    std::optional<bool> LowDelay;
    // vol_control_parameters was set: FFmpeg takes a DivX-labelled stream without it, of object
    // type 0, for DivX 4's and decodes it with that encoder's workarounds.
    std::optional<bool> VolControlParameters;
    std::optional<std::uint32_t> VbvBitRate;    // bits per second, from vbv_parameters
    std::optional<std::uint32_t> VbvBufferSize; // bits, from vbv_parameters
    std::optional<std::uint16_t> TimeIncrementResolution;

    // The remaining VOL fields, as coded; absent when not coded or not reached.
    std::optional<bool> RandomAccessible;        // random_accessible_vol
    std::optional<std::uint8_t> LayerPriority;   // video_object_layer_priority, when given
    std::optional<std::uint8_t> AspectRatioInfo; // aspect_ratio_info; Par holds its meaning
    std::optional<std::uint8_t> ChromaFormat;    // 1 is 4:2:0, the only one defined
    std::optional<std::uint8_t> Shape; // 0 rectangular, 1 binary, 2 binary only, 3 grayscale
    std::optional<bool> FixedVopRate;
    std::optional<bool> ObmcDisabled;
    std::optional<bool> Not8Bit;
    std::optional<bool> ComplexityEstimation; // a complexity estimation header is present
    std::optional<bool> NewPred;              // newpred_enable
    std::optional<bool> ReducedResolution;    // reduced_resolution_vop_enable
    std::optional<bool> Scalable;             // scalability

    VopCounts Vops;
    // True once a VOP header was read. VOP headers can be read only after a VOL that gave
    // vop_time_increment_resolution; those met before one, and those cut off by the end of a
    // chunk, are counted in VopsUnread and nowhere else.
    bool VopsRead = false;
    // A VOL start code was met, in the format's extra bytes or in a frame: without one no
    // decoder can start an MPEG-4 stream.
    bool VolFound = false;
    std::uint32_t VopsUnread = 0;
    std::uint32_t MaxBRun = 0;   // the longest run of coded B-VOPs in coded order
    bool Packed = false;         // some chunk holds more than one coded VOP
    bool DivxPackedFlag = false; // a DivX user data string ends in 'p'

    // Printable ASCII only, at most 4 strings of at most 64 bytes.
    std::vector<std::string> UserData;
    Encoder EncoderName = Encoder::None;
    // DivX: 503 for "DivX503b1393p"; XviD: 69 for "XviD0069"; Lavc and FFmpeg: major *
    // 1000000 + minor * 1000 + micro, 58134100 for "Lavc58.134.100" (FFmpeg's micro versions
    // start at 100). 0 when unknown.
    std::uint32_t EncoderVersion = 0;
    std::uint32_t EncoderBuild = 0; // DivX, and FFmpeg's libavcodec build number

    // Microsoft MPEG-4 only: the versions whose picture headers the first intra frame read fits,
    // one bit each (kMsV1, kMsV2, kMsV3); 0 for the other syntaxes or without an intra frame.
    std::uint8_t MsVersions = 0;

    // The first VOL ran out of bits, or held a value no stream may hold, before its last field:
    // the fields before that point are kept. A VOL of a layout this reader does not follow
    // (studio objects, grayscale shape) leaves the later fields absent without being damaged.
    bool VolDamaged = false;

    // The byte sizes of the video chunks walked, in file order, zero-length ones (dropped
    // frames) included: what a bitrate over the frames read is computed from.
    std::vector<std::uint32_t> ChunkSizes;
    // How far the frames were walked: the first ones only, or every video chunk of the file,
    // whose first bytes then gave Vops, MaxBRun and Packed, and ChunkSizes all their sizes;
    // Broken when damaged movie data stopped that walk before its end.
    MoviReach Walked = MoviReach::FirstFrames;
};

// Whether a stream of this syntax cannot be what a kind's family names: family 4 (MPEG-4 Part 2)
// against an msmpeg4 syntax, families 1 to 3 against "mpeg4", V2 and V3 (families 2 and 3)
// against V1's frames, and every family against another codec's data. Never for Unknown.
constexpr bool FamilyMismatch(int family, Syntax syntax) {
    const bool ms = syntax == Syntax::MsMpeg4V1 || syntax == Syntax::MsMpeg4;
    const bool known = family >= 1 && family <= 4;
    return (family == 4 && ms) || (family >= 1 && family <= 3 && syntax == Syntax::Mpeg4) ||
           ((family == 2 || family == 3) && syntax == Syntax::MsMpeg4V1) ||
           (known && OutsideFamily(syntax));
}

// The family the stream's own headers prove, whatever its label: 4 for a VOL that parsed whole,
// 1, 2 or 3 when the first intra frame fits that Microsoft version and no other. 0 when they
// prove none: a damaged VOL, frames not read, a version that only the label could tell.
constexpr int ProvenFamily(const StreamFacts& facts) {
    switch (facts.StreamSyntax) {
    case Syntax::Mpeg4:
        return facts.VolFound && !facts.VolDamaged && facts.FramesRead > 0 ? 4 : 0;
    case Syntax::MsMpeg4V1:
        return facts.MsVersions == kMsV1 ? 1 : 0;
    case Syntax::MsMpeg4:
        return facts.MsVersions == kMsV2 ? 2 : facts.MsVersions == kMsV3 ? 3 : 0;
    default:
        return 0;
    }
}

} // namespace vidtag::video
