#pragma once

#include "engine/JobTypes.h"
#include "streams/Stream64.h"

namespace vidtag {

// Analyses an AVI file into the analysis's state, and its stream and rates as far as asked.
// Status 2 or 4 when the reader refuses the file, 6 when its scan fails.
ConversionStatus AnalyseAvi(TStream64& stream, ClassificationRule rule, Reading reading,
                            Analysis& found);

} // namespace vidtag
