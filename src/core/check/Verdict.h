#pragma once

#include "check/IndexRates.h"
#include "check/Profiles.h"
#include "codecs/CodecCatalog.h"
#include "codecs/FourCC.h"
#include "video/StreamFacts.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vidtag::check {

// From best to worst up to Reencode; the last two override them. RebuildIndex writes a new
// index in place (a remux or a re-encode writes one too); ReencodeAudio keeps the video and
// re-encodes audio tracks; Split cuts a file too large into parts.
enum class Verdict : std::uint8_t {
    Plays,
    Retag,
    RebuildIndex,
    Remux,
    ReencodeAudio,
    Split,
    Reencode,
    Mislabelled,
    Unknown
};

enum class Fix : std::uint8_t { Retag, Mislabelled, Reencode, Remux, Audio, Split, Index };

struct Problem {
    const char* Id = ""; // "label", "family", "size", ... as the JSON names them
    std::string Text;    // for the user, its fix in brackets: "QPel (needs re-encoding)"
    Fix Needs = Fix::Reencode;
};

struct CheckResult {
    std::string ProfileName;
    std::string ProfileRef; // what --check takes to name the profile again: its name or its file
    Verdict Outcome = Verdict::Unknown;
    CodecKind RetagTo = kNoKind; // set only for Verdict::Retag
    std::vector<Problem> Problems;
    std::vector<std::string> Notes; // change no verdict, but the user needs them
    std::optional<std::uint64_t> AvgBitrate;
    std::optional<std::uint64_t> PeakBitrate;
    BitrateSource BitrateFrom = BitrateSource::None;
    std::string UnknownReason; // why, for Verdict::Unknown
    // Unknown only because damaged movie data left the bitrates unmeasured: the problems found
    // ask no more than a retag.
    bool RatesUnmeasured = false;
    // The one command that makes the file play when its audio or its index needs work: empty
    // otherwise.
    std::string Command;
};

// What a file labelled `kind` with this stream needs to play on the profile's players. The
// family check uses the facts' own FamilyMismatch and the kind's family alike, so asking for a
// kind the file would be retagged to gives the verdict after that retag; a kind of the family the
// stream's headers prove is judged as the repaired label. A label that lies about such a stream
// gets a retag to the profile's kind of that family (problem "family", fix retag) when the file
// would then play, and stays mislabelled otherwise. fileName goes into the
// command a note prints. The texts are English for language 0, Russian for 1; the ids and
// names are the same in both.
CheckResult CheckStream(CodecKind kind, const video::StreamFacts& facts, const Rates& rates,
                        const Profile& profile, std::string_view fileName, int language = 0);

// Turns a retag verdict into what the file needs when the retag cannot be written: the label
// problem then says why (reason, the conversion's own words) and needs re-encoding. `kind` is
// the file's label. Any other verdict stays.
void ForbidRetag(CheckResult& result, CodecKind kind, std::string_view reason, int language = 0);

// "plays as it is", "plays after a retag to DivX 5", "will not play: QPel (needs re-encoding)".
std::string Summary(const CheckResult& result, int language = 0);

// "plays", "retag", "rebuild_index", "remux", "reencode_audio", "split", "reencode",
// "mislabelled", "unknown".
const char* VerdictName(Verdict verdict);
// The verdict a problem of this fix makes.
Verdict VerdictOfFix(Fix fix);
// "retag", "mislabelled", "reencode", "remux", "audio", "split", "index".
const char* FixName(Fix fix);
// "index", "frames_read", "chunks"; nullptr for None.
const char* BitrateSourceName(BitrateSource source);

// Whether converting a stream from one compression code to another may change its picture in
// FFmpeg-based players: they pick decoder workarounds by the code when a family-4 stream names
// no encoder in its user data.
bool NeedsDecodeByCodeWarning(FourCC fromCompression, FourCC toCompression,
                              const video::StreamFacts& facts);
// The same for the codes the catalogue writes for two kinds (kind 15's code is "FMP4").
bool NeedsDecodeByCodeWarning(CodecKind from, CodecKind to, const video::StreamFacts& facts);
// The warning's text.
std::string DecodeByCodeWarningText(int language = 0);

// A word for a command line, quoted only when it needs to be: in single quotes for POSIX
// shells, in double quotes on Windows.
std::string ShellQuoted(std::string_view word);

// The name with its extension, if it has one, replaced by tail: ("film.mkv", ".fixed.avi") gives
// "film.fixed.avi".
std::string ReplacedExtension(std::string_view name, std::string_view tail);

} // namespace vidtag::check
