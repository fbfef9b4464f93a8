#include "StreamJson.h"

#include <optional>
#include <utility>

namespace vidtag::cli {

namespace {

using Json = nlohmann::ordered_json;

const char* SyntaxName(video::Syntax syntax) {
    switch (syntax) {
    case video::Syntax::Mpeg4:
        return "mpeg4";
    case video::Syntax::MsMpeg4V1:
        return "msmpeg4v1";
    case video::Syntax::MsMpeg4:
        return "msmpeg4";
    case video::Syntax::Jpeg:
        return "mjpeg";
    case video::Syntax::H264:
        return "h264";
    case video::Syntax::H265:
        return "h265";
    case video::Syntax::Mpeg12:
        return "mpeg12";
    default:
        return "unknown";
    }
}

Json SpriteName(const std::optional<video::Sprite>& sprite) {
    if (!sprite) {
        return nullptr;
    }
    return *sprite == video::Sprite::Gmc      ? "gmc"
           : *sprite == video::Sprite::Static ? "static"
                                              : "none";
}

Json VopCounts(const video::StreamFacts& facts) {
    if (!facts.VopsRead) {
        return nullptr;
    }
    const video::VopCounts& vops = facts.Vops;
    return Json{{"I", vops.I}, {"P", vops.P}, {"B", vops.B}, {"S", vops.S}, {"N", vops.N}};
}

// The fields only an MPEG-4 Part 2 stream has.
void AddMpeg4(const video::StreamFacts& facts, Json& object) {
    object["profile_level"] = OptionalJson(facts.ProfileLevel);
    object["object_type"] = OptionalJson(facts.ObjectType);
    object["par"] = facts.Par ? Json::array({facts.Par->first, facts.Par->second}) : Json(nullptr);
    object["interlaced"] = OptionalJson(facts.Interlaced);
    object["qpel"] = OptionalJson(facts.Qpel);
    object["sprite"] = SpriteName(facts.SpriteKind);
    object["warp_points"] = OptionalJson(facts.WarpPoints);
    object["mpeg_quant"] = OptionalJson(facts.MpegQuant);
    object["custom_matrix"] = OptionalJson(facts.CustomMatrix);
    object["data_partitioned"] = OptionalJson(facts.DataPartitioned);
    object["rvlc"] = OptionalJson(facts.Rvlc);
    object["resync_markers"] = OptionalJson(facts.ResyncMarkers);
    object["low_delay"] = OptionalJson(facts.LowDelay);
    object["vbv_buffer_size"] = OptionalJson(facts.VbvBufferSize);
    object["vops"] = VopCounts(facts);
    object["max_b_run"] = facts.VopsRead ? Json(facts.MaxBRun) : Json(nullptr);
    object["packed"] = facts.VopsRead ? Json(facts.Packed) : Json(nullptr);
    object["divx_packed_flag"] = facts.DivxPackedFlag;
    object["user_data"] = facts.UserData;
    object["vol_damaged"] = facts.VolDamaged;
}

// The Microsoft MPEG-4 versions the first intra picture fits, as numbers; null for the other
// syntaxes and when no intra picture was read.
Json MsVersions(const video::StreamFacts& facts) {
    const bool ms = facts.StreamSyntax == video::Syntax::MsMpeg4V1 ||
                    facts.StreamSyntax == video::Syntax::MsMpeg4;
    if (!ms || facts.MsVersions == 0) {
        return nullptr;
    }
    Json versions = Json::array();
    for (const auto& [bit, number] :
         {std::pair{video::kMsV1, 1}, {video::kMsV2, 2}, {video::kMsV3, 3}}) {
        if ((facts.MsVersions & bit) != 0) {
            versions.push_back(number);
        }
    }
    return versions;
}

} // namespace

Json StreamObject(const video::StreamFacts& facts) {
    Json object;
    object["syntax"] = SyntaxName(facts.StreamSyntax);
    object["family_mismatch"] = facts.FamilyMismatch;
    object["frames_read"] = facts.FramesRead;
    if (!facts.FramesNote.empty()) {
        object["frames_note"] = facts.FramesNote;
    }
    object["width"] = OptionalJson(facts.Width);
    object["height"] = OptionalJson(facts.Height);
    object["fps"] = OptionalJson(facts.Fps);
    object["frames"] = OptionalJson(facts.Frames);
    object["ms_versions"] = MsVersions(facts);
    if (facts.StreamSyntax == video::Syntax::Mpeg4) {
        AddMpeg4(facts, object);
    }
    return object;
}

namespace {

constexpr std::pair<std::uint8_t, const char*> kContradictions[] = {
    {audio::kCodecContradicted, "codec"},
    {audio::kChannelsContradicted, "channels"},
    {audio::kRateContradicted, "sample_rate"},
    {audio::kBitrateContradicted, "bitrate"},
};

} // namespace

Json AudioArray(const std::vector<audio::AudioFacts>& tracks) {
    Json array = Json::array();
    for (const audio::AudioFacts& track : tracks) {
        Json object;
        object["codec"] = audio::AudioCodecJsonName(track.Codec);
        if (track.Said.FormatTag) {
            object["format_tag"] = *track.Said.FormatTag;
        }
        if (!track.Said.CodecId.empty()) {
            object["codec_id"] = track.Said.CodecId;
        }
        object["channels"] = OptionalJson(track.Channels);
        object["sample_rate"] = OptionalJson(track.SampleRate);
        object["bitrate"] = OptionalJson(track.Bitrate);
        object["vbr"] = OptionalJson(track.Vbr);
        if (track.JunkBytes > 0) {
            object["junk_bytes"] = track.JunkBytes;
        }
        if (track.Contradicted != 0) {
            Json said = Json::array();
            for (const auto& [bit, name] : kContradictions) {
                if ((track.Contradicted & bit) != 0) {
                    said.push_back(name);
                }
            }
            object["contradicted"] = std::move(said);
        }
        array.push_back(std::move(object));
    }
    return array;
}

} // namespace vidtag::cli
