#include "JsonOutput.h"

#include "CheckOutput.h"
#include "PathText.h"
#include "StreamJson.h"
#include "TextOutput.h"
#include "check/Repair.h"

#include <nlohmann/json.hpp>

namespace vidtag::cli {

namespace {

using Json = nlohmann::ordered_json;

// Each byte of a code becomes the character of the same number, so that ASCII dumping turns
// everything outside printable ASCII into \u00NN and a damaged code is still shown byte for byte.
Json CodeValue(FourCC code) {
    std::string text;
    for (int i = 0; i < 4; ++i) {
        const auto byte = static_cast<unsigned char>(FourCCChar(code, i));
        if (byte < 0x80) {
            text += static_cast<char>(byte);
        } else {
            text += static_cast<char>(0xC0 | (byte >> 6));
            text += static_cast<char>(0x80 | (byte & 0x3F));
        }
    }
    return text;
}

bool IsCodeField(const std::string& key) {
    return key == "handler" || key == "compression" || key == "from_handler" ||
           key == "from_compression" || key == "original";
}

std::string Dump(const Json& object) {
    std::string line = "{";
    for (const auto& [key, value] : object.items()) {
        line += line.size() > 1 ? "," : "";
        line += Json(key).dump();
        line += ':';
        if (IsCodeField(key)) {
            // 0x7F passes ASCII dumping unescaped, yet it is no more printable than 0x1F. The
            // recorded original holds the journal's time too, whose bytes need not be UTF-8.
            std::string text = value.dump(-1, ' ', true, Json::error_handler_t::replace);
            std::string escaped;
            for (const char c : text) {
                escaped += c == '\x7F' ? std::string("\\u007f") : std::string(1, c);
            }
            line += escaped;
        } else {
            // File names on Linux need not be UTF-8, nor what the journal says; a stray byte must
            // not lose the whole line.
            line += value.dump(-1, ' ', false, Json::error_handler_t::replace);
        }
    }
    return line + "}";
}

// A container with one code has no handler; its headers say which track was taken and why
// nothing may be written, where nothing may.
void OneCodeFields(const FileReport& report, Json& object) {
    const ContainerFacts& found = report.Container;
    object["container"] = found.Name;
    object["handler"] = nullptr;
    object["handler_pos"] = nullptr;
    if (report.CompressionPos == 0) {
        object["compression"] = nullptr;
    }
    if (!found.CodecId.empty()) {
        object["codec_id"] = found.CodecId;
        object["track"] = found.Track;
    }
    if (!found.Choice.empty()) {
        object["track_choice"] = found.Choice;
    }
    if (!found.WriteRefusal.empty()) {
        object["unchangeable"] = found.WriteRefusal;
    }
    if (object.contains("original")) {
        object["original"]["handler"] = nullptr;
    }
    if (object.contains("from_handler")) {
        object["from_handler"] = nullptr;
    }
}

} // namespace

namespace {

Json IndexObject(const IndexReport& index) {
    const IndexResult& result = index.Result;
    const avi::IndexPlan& plan = result.Plan;
    Json object;
    object["outcome"] = index.Undo ? "undone"
                        : result.Reason == IndexReason::None
                            ? (index.DryRun ? "planned" : "rebuilt")
                            : IndexReasonName(result.Reason);
    object["text"] = index.Outcome;
    object["dry_run"] = index.DryRun;
    object["written"] = result.Written;
    object["bytes_written"] = result.BytesWritten;
    object["length"] = plan.Length;
    object["new_length"] = plan.NewLength;
    if (!index.Undo && result.Reason == IndexReason::None) {
        object["entries"] = plan.Entries;
        object["video_frames"] = plan.VideoFrames;
        object["key_frames"] = plan.KeyFrames;
        object["cut_bytes"] = plan.CutBytes;
        object["fields"] = Json::array();
        for (const avi::FieldChange& change : plan.Changes) {
            object["fields"].push_back(avi::IndexFieldName(change.Field));
        }
    }
    if (!index.Note.empty()) {
        object["recovered"] = index.Note;
    }
    return object;
}

} // namespace

std::string JsonLine(const FileReport& report, int language) {
    Json object;
    if (report.Index && !report.Index->Undo) {
        object["path"] = report.Path;
        if (!IsValidUtf8(report.Path)) {
            object["path_base64"] = Base64(report.Path);
        }
        object["status"] = report.Status;
        object["index"] = IndexObject(*report.Index);
        if (report.Index->Failed) {
            object["error"] = report.Index->Outcome;
        }
        return Dump(object);
    }
    object["path"] = report.Path;
    // "path" shows a name that is not UTF-8 with replacement characters; scripts need the bytes.
    if (!IsValidUtf8(report.Path)) {
        object["path_base64"] = Base64(report.Path);
    }
    object["status"] = report.Status;
    object["status_text"] = StatusText(report.Status, report.Kind, language);
    object["kind"] = report.Kind;
    object["kind_name"] = KindName(report.Kind);
    object["handler"] = CodeValue(report.Handler);
    object["compression"] = CodeValue(report.Compression);
    object["handler_pos"] = report.HandlerPos;
    object["compression_pos"] = report.CompressionPos;
    object["targets"] = Json::array();
    for (const CodecKind target : OfferedTargets(report.Kind).View()) {
        object["targets"].push_back(CodecNames[target]);
    }
    object["locked"] = OfferedTargets(report.Kind).Locked;
    // Only beside a label that lies about its stream: the kinds that repair it, none when the
    // stream's headers cannot tell its family.
    if (report.Status == kStatusDone &&
        video::FamilyMismatch(FamilyOf(JudgedKind(report)), report.Stream.StreamSyntax)) {
        object["repair_targets"] = Json::array();
        for (const CodecKind target : check::RepairTargets(JudgedKind(report), report.Stream)) {
            object["repair_targets"].push_back(KindName(target));
        }
    }
    if (!report.ArgumentOnly) {
        object["stream"] = StreamObject(report.Stream);
        // Only beside audio tracks, so that the lines of files without any stay as they were.
        if (!report.Audio.empty()) {
            object["audio"] = AudioArray(report.Audio);
        }
        // Only beside the other new facts, so that the lines of files without audio stay as
        // they were.
        if (!report.Audio.empty() && report.IndexRead) {
            const IndexFacts& index = *report.IndexRead;
            object["file"] = Json{{"size", report.FileSize},
                                  {"idx1", index.Idx1},
                                  {"has_index_flag", index.HasIndexFlag},
                                  {"opendml_index", index.SuperIndex},
                                  {"riff_parts", index.Parts},
                                  {"cut_short", index.CutShort},
                                  {"audio_tracks", report.Audio.size()},
                                  {"subtitle_tracks", report.SubtitleTracks}};
            // When the check read "idx1": how far the first audio track and the video lead
            // each other.
            if (const auto& leads = report.Rates.Interleave) {
                object["file"]["interleave"] = Json{{"audio_lead_ms", leads->AudioLeadMs},
                                                    {"video_lead_ms", leads->VideoLeadMs}};
            }
        }
    }
    if (report.Check) {
        object["check"] = CheckObject(*report.Check);
    }
    // Only where the relaxed rule is at work, so that default output stays as scripts know it.
    if (report.Rule == ClassificationRule::Relaxed && report.Status == kStatusDone &&
        IsRecognisedKind(report.Kind)) {
        object["match"] = report.Container.ExactMatch ? "exact" : "relaxed";
    }
    if (report.RelaxedKind != kNoKind) {
        object["relaxed_kind"] = report.RelaxedKind;
    }
    if (report.Original.Interrupted) {
        object["interrupted"] = true;
    }
    if (report.Original.Found) {
        Json original;
        original["kind"] = report.Original.Kind;
        original["kind_name"] = DisplayKindName(report.Original.Kind, language);
        original["handler"] = CodeValue(report.Original.Codes.Handler);
        original["compression"] = CodeValue(report.Original.Codes.Compression);
        original["time"] = report.Original.Time;
        object["original"] = original;
    }
    if (report.Conversion) {
        object["from_kind"] = report.FromKind;
        object["from_handler"] = CodeValue(report.FromHandler);
        object["from_compression"] = CodeValue(report.FromCompression);
        object["to_kind"] = report.ToKind;
        object["converted"] = report.Converted;
        object["dry_run"] = report.DryRun;
    }
    if (report.Container.Codes < 2) {
        OneCodeFields(report, object);
    }
    if (report.Index) {
        object["index"] = IndexObject(*report.Index);
    }
    if (!report.Warning.empty()) {
        object["warning"] = report.Warning;
    }
    if (!report.Note.empty()) {
        object["recovered"] = report.Note;
    }
    if (!report.Remark.empty()) {
        object["note"] = report.Remark;
    }
    if (!report.Error.empty()) {
        object["error"] = report.Error;
    }
    if (report.SystemError != 0) {
        object["os_error"] = SystemReason(report, language);
    }
    // Only beside a message that speaks of the journal's records, as "path" for the file.
    if (!report.Journal.empty()) {
        object["journal"] = report.Journal;
        if (!IsValidUtf8(report.Journal)) {
            object["journal_base64"] = Base64(report.Journal);
        }
    }
    return Dump(object);
}

} // namespace vidtag::cli
