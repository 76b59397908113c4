// Built-in sample pictures: a video title (mostly transparent, anti-aliased
// text-like strokes on a translucent bar) and an opaque picture. What the
// tool's sample command writes, and what the tests, the benchmark, the
// fuzzer's seeds and the host test program code and check. Written on
// libvoxa's public definitions only (include/voxa/voxa.h).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "voxa/voxa.h"

namespace voxa {

enum class SampleKind { kTitle, kOpaque };

bool ParseSampleKind(const std::string& name, SampleKind* kind);

// A raw frame in the given format, lines back to back: BGRA bottom line
// first (as a Windows bitmap and the tool's frame commands store it), Y16A
// top line first.
std::vector<uint8_t> MakeSampleFrame(SampleKind kind, voxa_pixel_format format, uint32_t width,
                                     uint32_t height);

// Frame `index` of the sample clip made from `picture` (raw BGRA, bottom-up):
// the picture moved right by 4 pixels a frame (wrapping after 240), pixels
// moved in from the left edge transparent, faded in over the first 4 frames.
std::vector<uint8_t> MakeSampleClipFrame(const std::vector<uint8_t>& picture, uint32_t width,
                                         uint32_t height, uint32_t index);

// Straight-alpha BGRA (bottom-up) to Y16A (top-down): BT.601 studio range,
// chroma of each pixel pair from the pair's average, rounded as the codec's
// encoder rounds.
std::vector<uint8_t> BgraToY16a(const std::vector<uint8_t>& bgra, uint32_t width,
                                uint32_t height);

}  // namespace voxa
