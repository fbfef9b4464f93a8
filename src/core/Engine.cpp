#include "Engine.h"

namespace vidtag {
TEngineState EngineState;
ConversionStatus ProcessFile(const std::string&, CodecKind) {
    return EngineState.Status = 1;
}
} // namespace vidtag
