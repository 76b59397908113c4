// Built-in sample pictures: a video title (mostly transparent, anti-aliased
// text-like strokes on a translucent bar) and an opaque picture.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "codec/frame_container.h"

namespace voxa {

enum class SampleKind { kTitle, kOpaque };

bool ParseSampleKind(const std::string& name, SampleKind* kind);

// A raw frame in the given format: BGRA bottom-up or Y16A top-down.
std::vector<uint8_t> MakeSampleFrame(SampleKind kind, PixelFormat format, uint32_t width,
                                     uint32_t height);

// Straight-alpha BGRA (bottom-up) to Y16A (top-down): BT.601 studio range,
// chroma of each pixel pair from the pair's average.
std::vector<uint8_t> BgraToY16a(const std::vector<uint8_t>& bgra, uint32_t width,
                                uint32_t height);

}  // namespace voxa
