#pragma once

#include <cstdint>

namespace vidtag::check {

// The words of the device check. %1 to %3 are filled by Fill, in the order the code gives them.
enum class CheckText : std::uint8_t {
    MislabelledSuffix,
    ReencodeSuffix,
    StreamIsMpeg4,
    StreamIsMsMpeg4,
    FamilyUnsupported,
    NotADivxCode,
    Or,
    Size,
    Fps,
    FpsAtSize,
    Macroblocks,
    AvgBitrate,
    PeakBitrate,
    Kbits,
    BFramesNotAllowed,
    BFramesInARow,
    PackedNotAllowed,
    Vbv,
    InterlacedNotAllowed,
    Qpel,
    Gmc,
    StaticSprite,
    MpegQuant,
    UnknownLabel,
    NoFrameRead,
    HeadersDamaged,
    NotAnalysed,
    StreamNotRead,
    PackedNote,
    DecodeByCode,
    Plays,
    PlaysAfterRetag,
    CannotTell,
    WillNotPlay,
    RatesDamaged,
    StreamIsMsMpeg4V1,
    StreamIsOther,
    UnknownSyntax,
    NoVol,
    NoFrameRate,
    PackedNoteWithoutCommand,
    RetagNotWritable,
    FamilyNotAccepted,
    NotAnAcceptedCode,
    ContainerNotAccepted,
    FrameMacroblocks,
    GmcWarpPoints,
    LevelClaimed,
    CodeNotWritten,
    NoCommonCode,
    NoCommonCodeAll,
    Count
};

// English for language 0, Russian for 1; "" past the end.
const char* CheckTextOf(int language, CheckText text);

} // namespace vidtag::check
