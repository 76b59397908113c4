// Picture sizes the codec takes, and padding a picture up to one.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace voxa {

struct PictureSize {
  uint32_t width;
  uint32_t height;
};

// The codec codes lines in blocks of 16 pixels and frames as two fields of
// height / 2 lines each: a width must be a positive multiple of 16 and a
// height positive and even (an odd height would lose its last line). A frame
// must also stay within what a Windows host can ask the driver for: its
// compressed size bound, width × height × 4 + 4096 bytes, fits in 31 bits.
bool IsCodableSize(PictureSize size);

// The smallest codable size at least as large in both directions.
PictureSize PaddedSize(PictureSize size);

// Empty when the codec takes the size; otherwise one sentence that says what
// is wrong and names the nearest sizes it takes (cropped and padded).
std::string CodableSizeProblem(PictureSize size);

// A raw BGRA picture (bottom line first) on a larger canvas: the picture
// keeps its top left corner; the new columns on the right and lines at the
// bottom are transparent black.
std::vector<uint8_t> PadBgraPicture(const std::vector<uint8_t>& bgra, PictureSize from,
                                    PictureSize to);

}  // namespace voxa
