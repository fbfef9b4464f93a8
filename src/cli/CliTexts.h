#pragma once

#include "texts/TextFill.h"

#include <string>
#include <string_view>

namespace vidtag::cli {

// Messages of the console front end alone; the texts it shares with the dialog come from
// LocalizedTexts.h.
enum class Message {
    TargetsLabel,
    Locked,
    DryRun,
    NotOffered,
    NoTargets,
    NoFormatChunk,
    UnknownNotConverted,
    NotConfirmed,
    IsFolder,
    CannotList,
    NoAviInFolder,
    TimeNotKept,
    KindUnknown,
    KindAmbiguous,
    NoFiles,
    NotRegularFile,
    NamedPipe,
    Socket,
    Device,
    ReportNotWritten,
    ListKindsWithFiles,
    RelaxedHint,
    RelaxedOnly,
    KindNeverWritten,
    LockBusy,
    JournalFailed,
    SettledDone,
    SettledUndone,
    SettledRepaired,
    SettledForeign,
    NothingRecorded,
    CodesChanged,
    InterruptedLine,
    OriginalLine,
    JournalSkipped,
    RestoreWithoutJournal,
    CodesNotConfirmed,
    NoExactRestore,
    LockFailed,
    LockNeedsWriting,
    FieldsOverlap,
    RecordDamaged,
    SizeChanged,
    ModeLeft,
    NotCompacted,
    JournalUnreadable,
    DamagedRecordShown,
    StreamLabel,
    WarningLabel,
    NoteLabel,
    JournalLabel,
    CheckCannotTell,
    CheckMislabelled,
    CheckStillNeedsRetag,
    CheckNoRetagPlays,
    CheckNotAfterRetag,
    ProfileColumns,
    ProfileSizesOr,
    ProfilePacked,
    ProfileInterlace,
    ProfileNothing,
    ProfileQpel,
    ProfileGmc,
    ProfileMpegQuant,
    ProfileFromDivx,
    ProfileFromIso,
    ProfileFromDevice,
    ProfileFromUser,
    ProfileFolder,
    NoMatch,
    CannotExamine,
    InUse,
    ToAutoNeedsCheck,
    CheckWithRestore,
    ListProfilesWithFiles,
    RestoreWithTo,
    ProfileUnknown,
    LanguageUnknown,
    RunWithHelp,
    RepairLabel,
    RepairTargets,
    RepairUndecided,
    OutOfMemory,
    RebuildIndexAlone,
    ProfileAudio,
    ProfileAudioIn,
    ProfileUpTo,
    ProfileChannels,
    ProfileKilobits,
    ProfileTracks,
    Count
};

// English for language 0, Russian for 1. %1, %2 and %3 are filled by Fill.
const char* MessageText(int language, Message message);

using vidtag::Fill;

// A line under a file's name: "  targets: DivX 4, DivX 5" in the language given.
std::string LabelledLine(int language, Message label, std::string_view text);

} // namespace vidtag::cli
