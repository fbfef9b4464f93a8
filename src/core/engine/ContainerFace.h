#pragma once

#include "engine/JobTypes.h"
#include "streams/Stream64.h"

namespace vidtag {

// The analysed codes and their places as the journal records them.
struct RecordedCodes {
    CodePlaces Places;
    CodePair Codes{};
};

// What the engine needs of a container, the same for each: whether a file is one, its analysis
// (where the codes lie and what they hold, the video frames for the stream reader, its refusal to
// write, its name, in the Analysis), how its codes are recorded in the journal and read back, the
// kind a recorded pair makes, and what a retag to a kind writes. Nothing above this table asks
// which container a file is. A container holds two codes of four bytes (a handler and a
// compression code) or one, its compression code, recorded in the handler's fields.
struct ContainerFace {
    const char* Name;
    // Whether the stream starts as this container's files do.
    bool (*Recognises)(TStream64& stream);
    // Reads the codes, where they lie and the kind they make, and as much of the stream as asked.
    // Throws what the stream and allocation throw.
    ConversionStatus (*Analyse)(TStream64& stream, ClassificationRule rule, Reading reading,
                                Analysis& found);
    RecordedCodes (*Record)(const TEngineState& state);
    // A recorded pair as the analysis's state holds it.
    CodePair (*Held)(CodePair recorded);
    CodecKind (*Classify)(CodePair recorded, ClassificationRule rule);
    // The codes a retag of the analysed file to the kind writes, as recorded: the codes found
    // for the original kind, else the kind's own.
    CodePair (*Writes)(const TEngineState& state, CodecKind kind);
};

// The face of the file the stream holds, by its signature; AVI, whose reader says why a file is
// no AVI file, when no other recognises it. Leaves the stream where it was.
const ContainerFace& FaceOf(TStream64& stream);

// The face of an analysed file.
const ContainerFace& FaceOf(const TEngineState& state);

} // namespace vidtag
