// Picture sizes the codec takes, the pictures the tool holds, and padding a
// picture up to a size the codec takes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "voxa/voxa.h"

namespace voxa {

// libvoxa codes lines in blocks of this many pixels (voxa.h): widths are
// multiples of it.
constexpr uint32_t kWidthStep = 16;

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

// Bytes of a raw frame: BGRA width × 4 a line, Y16A width × 3.
std::size_t RawFrameBytes(voxa_pixel_format format, PictureSize size);

// A picture in the tool's memory: libvoxa's view of it (top line at `data`,
// a negative stride for one stored bottom line first) and whatever keeps
// that memory alive (a buffer of the tool's, or a frame FFmpeg decoded).
struct HeldPicture {
  voxa_picture view{};
  std::shared_ptr<const void> owner;
};

// A new picture of the format and size, zeros, lines back to back; stored
// bottom line first when `bottom_up` (the view still starts at its top line).
HeldPicture NewPicture(voxa_pixel_format format, PictureSize size, bool bottom_up);

// Where the bytes of a picture of lines back to back (as NewPicture makes
// them) start: its lowest address, whatever the stride's sign.
uint8_t* StoredBytes(const HeldPicture& picture);

// A BGRA picture on a larger canvas, top-down: the picture keeps its top
// left corner; the new columns on the right and lines at the bottom are
// transparent black.
HeldPicture PadBgraPicture(const voxa_picture& picture, PictureSize to);

}  // namespace voxa
