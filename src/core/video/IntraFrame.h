#pragma once

#include <cstddef>
#include <cstdint>

namespace vidtag::video {

// Whether a video frame whose first bytes these are is an intra picture: for MPEG-4 video its
// first VOP is coded as an I-VOP; for Microsoft MPEG-4 (no VOP start code among the bytes) its
// picture header says intra. The first few hundred bytes decide; an empty frame is no intra one.
bool StartsIntra(const std::uint8_t* data, std::size_t size) noexcept;

} // namespace vidtag::video
