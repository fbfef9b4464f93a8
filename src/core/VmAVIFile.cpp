#include "VmAVIFile.h"

namespace vidtag {
TVmAVIFileReader::TVmAVIFileReader(TStream64* fileStream)
    : RiffStream(std::make_unique<TVMRIFFStream>(fileStream)) {}
TVmAVIFileReader::~TVmAVIFileReader() = default;
} // namespace vidtag
