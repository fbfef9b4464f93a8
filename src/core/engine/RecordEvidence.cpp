#include "engine/RecordEvidence.h"

#include "avi/VmAVIFile.h"
#include "engine/ContainerFace.h"
#include "streams/CachedReadStream64.h"

#include <cstdio>

namespace vidtag {

namespace {

// The ids of the file's own structure: a handler that reads as one was never a codec's code.
constexpr FourCC kStructureIds[] = {
    FCC("RIFF"), FCC("LIST"), FCC("JUNK"), FCC("AVI "), FCC("AVIX"), FCC("hdrl"), FCC("avih"),
    FCC("strl"), FCC("strh"), FCC("strf"), FCC("strd"), FCC("strn"), FCC("movi"), FCC("rec "),
    FCC("idx1"), FCC("indx"), FCC("odml"), FCC("dmlh"), FCC("INFO"), FCC("vids"), FCC("auds")};

// A handler a file can have been found with: blank, or four printable characters that are no
// id of the file's structure. Muxers write codes of their own there (ffds, the compression
// code), which a restore must be able to put back.
bool PlausibleHandler(FourCC handler) {
    if (handler == 0) {
        return true;
    }
    for (const char c : FourCCBytes(handler)) {
        if (c < 0x20 || c > 0x7E) {
            return false;
        }
    }
    for (const FourCC id : kStructureIds) {
        if (handler == id) {
            return false;
        }
    }
    return true;
}

std::string Mismatch(const char* field, std::int64_t recorded, std::int64_t found) {
    return std::string(field) + " " + std::to_string(recorded) +
           (found > 0 ? " is not where the file holds that code (" + std::to_string(found) + ")"
                      : " names a field the file does not have");
}

std::string ModeText(os::Attributes mode) {
    char text[16];
    std::snprintf(text, sizeof text, "%04o", static_cast<unsigned>(mode));
    return text;
}

} // namespace

CodePlaces FindCodePlaces(TStream64& file) {
    try {
        file.SetPosition(0);
        TCachedReadStream64 cached(&file);
        const ContainerFace& face = FaceOf(cached);
        Analysis found;
        if (face.Analyse(cached, ClassificationRule::Exact, Reading::Headers, found) !=
            kStatusDone) {
            return {};
        }
        return face.Record(found.State).Places;
    } catch (...) {
        return {};
    }
}

std::string PlaceMismatch(const JournalEntry& entry, const CodePlaces& places) {
    if (!places.Found) {
        return "the file holds no video stream header for handler_pos " +
               std::to_string(entry.HandlerPos) + " to name";
    }
    if (entry.HandlerPos != places.HandlerPos) {
        return Mismatch("handler_pos", entry.HandlerPos, places.HandlerPos);
    }
    if (entry.CompressionPos != places.CompressionPos) {
        return Mismatch("compression_pos", entry.CompressionPos, places.CompressionPos);
    }
    return {};
}

bool WritablePair(CodePair codes, CodecKind kind, bool withCompression) {
    const CodePair own = CodePairOf(kind);
    if (codes.Handler == own.Handler &&
        (!withCompression || codes.Compression == own.Compression)) {
        return true;
    }
    if (!PlausibleHandler(codes.Handler)) {
        return false;
    }
    return !withCompression ||
           Classify(codes.Handler, codes.Compression, ClassificationRule::Exact) == kind ||
           Classify(codes.Handler, codes.Compression, ClassificationRule::Relaxed) == kind;
}

os::Attributes SettledAttributes(const JournalEntry& entry, os::Attributes present,
                                 std::string& why) {
    why.clear();
    if (!entry.ModeFault.empty()) {
        why = entry.ModeFault;
        return present;
    }
    os::FileLayer& files = os::Files();
    const os::Attributes recorded = entry.Mode;
    // The write itself may have marked the file as changed (the archive attribute).
    for (const os::Attributes before : {recorded, files.AfterWriting(recorded)}) {
        if (before == present ||
            (files.IsReadOnly(before) && files.WithoutReadOnly(before) == present)) {
            return recorded;
        }
    }
    why = "the recorded mode " + ModeText(recorded) + " differs from the file's " +
          ModeText(present) + " by more than a conversion changes";
    return present;
}

} // namespace vidtag
