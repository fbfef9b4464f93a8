#pragma once

#include "engine/JobTypes.h"
#include "streams/Stream64.h"

namespace vidtag {

// Analyses a file that starts with an EBML header into the analysis's state and container facts,
// and its stream and rates as far as asked. Status 4 with Container.Reason when its headers give
// no video track. Throws what the stream and allocation throw.
ConversionStatus AnalyseMatroska(TStream64& stream, ClassificationRule rule, Reading reading,
                                 Analysis& found);

// The codes the journal records for a Matroska file: its one code in both fields, written at
// the handler's position (the record's compression position stays 0). Back from a record: the
// code in the compression field alone.
CodePair JournalCodes(FourCC code);
CodePair StateCodes(CodePair recorded);

} // namespace vidtag
