#include "VmRIFFStream.h"

namespace vidtag {

TVMRIFFStream::TVMRIFFStream(TStream64* stream) : Stream(stream) {
    Reset();
}

void TVMRIFFStream::Reset() {
    ListEnd = 0;
    Context = 0;
    ResyncPos = 0;
    Depth = 0;
    Resync = false;
}

std::int64_t TVMRIFFStream::Seek(std::int64_t offset, std::uint16_t origin) {
    return Stream != nullptr ? Stream->Seek(offset, origin) : -1;
}

bool TVMRIFFStream::IsValidChunkId(FourCC) {
    return false;
}
bool TVMRIFFStream::IsKnownForm(FourCC, FourCC) {
    return false;
}
std::int64_t TVMRIFFStream::FindNextChunk() {
    return -1;
}
bool TVMRIFFStream::Descend() {
    return false;
}
std::int64_t TVMRIFFStream::Ascend() {
    return -1;
}

} // namespace vidtag
