#include "tools/frame_geometry.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace voxa {
namespace {

uint64_t RoundUp(uint64_t value, uint64_t step) { return (value + step - 1) / step * step; }

std::string SizeText(uint64_t width, uint64_t height) {
  return std::to_string(width) + "x" + std::to_string(height);
}

// libvoxa takes the size: a multiple of 16 wide, within the bound.
bool LibraryTakes(uint64_t width, uint64_t height) {
  return width <= UINT32_MAX && height <= UINT32_MAX &&
         voxa_max_frame_bytes(static_cast<uint32_t>(width), static_cast<uint32_t>(height)) != 0;
}

std::size_t LineBytes(voxa_pixel_format format, uint32_t width) {
  return std::size_t{width} * (format == VOXA_BGRA ? 4 : 3);
}

}  // namespace

bool IsCodableSize(PictureSize size) {
  return size.width != 0 && size.height != 0 && size.height % 2 == 0 &&
         LibraryTakes(size.width, size.height);
}

PictureSize PaddedSize(PictureSize size) {
  const uint64_t width = RoundUp(std::max<uint32_t>(size.width, 1), kWidthStep);
  const uint64_t height = RoundUp(std::max<uint32_t>(size.height, 1), 2);
  return PictureSize{static_cast<uint32_t>(std::min<uint64_t>(width, UINT32_MAX / 2)),
                     static_cast<uint32_t>(std::min<uint64_t>(height, UINT32_MAX / 2))};
}

std::string CodableSizeProblem(PictureSize size) {
  if (IsCodableSize(size)) return "";
  const std::string given = SizeText(size.width, size.height);
  if (size.width == 0 || size.height == 0) return "a " + given + " picture is empty";
  const PictureSize padded = PaddedSize(size);
  if (!LibraryTakes(padded.width, padded.height)) {
    return "a " + given + " picture is too large for the codec (width x height x 4 must stay "
           "below 2 GiB)";
  }
  std::string what;
  if (size.width % kWidthStep != 0) {
    what = "width " + std::to_string(size.width) + " is not a multiple of 16";
  }
  if (size.height % 2 != 0) {
    what += (what.empty() ? "height " : " and height ") + std::to_string(size.height) +
            " is odd";
  }
  const uint32_t cropped_width = size.width / kWidthStep * kWidthStep;
  const uint32_t cropped_height = size.height / 2 * 2;
  std::string nearest;
  if (cropped_width != 0 && cropped_height != 0) {
    nearest = SizeText(cropped_width, cropped_height) + " (cropped) or ";
  }
  nearest += SizeText(padded.width, padded.height) + " (padded: --pad)";
  return "the codec cannot take " + given + " pictures: " + what +
         "; nearest sizes it takes: " + nearest;
}

std::size_t RawFrameBytes(voxa_pixel_format format, PictureSize size) {
  return LineBytes(format, size.width) * size.height;
}

HeldPicture NewPicture(voxa_pixel_format format, PictureSize size, bool bottom_up) {
  auto bytes = std::make_shared<std::vector<uint8_t>>(RawFrameBytes(format, size), 0);
  const auto line = static_cast<std::ptrdiff_t>(LineBytes(format, size.width));
  uint8_t* top = bytes->data();
  if (bottom_up && size.height != 0) top += (size.height - 1) * line;
  HeldPicture picture;
  picture.view = voxa_picture{format, size.width, size.height, top, bottom_up ? -line : line};
  picture.owner = std::move(bytes);
  return picture;
}

uint8_t* StoredBytes(const HeldPicture& picture) {
  const voxa_picture& v = picture.view;
  if (v.stride >= 0 || v.height == 0) return v.data;
  return v.data + static_cast<std::ptrdiff_t>(v.height - 1) * v.stride;
}

HeldPicture PadBgraPicture(const voxa_picture& from, PictureSize to) {
  HeldPicture out = NewPicture(VOXA_BGRA, to, false);
  const std::size_t line = std::min(LineBytes(VOXA_BGRA, from.width), LineBytes(VOXA_BGRA, to.width));
  for (uint32_t y = 0; y < from.height && y < to.height; ++y) {
    std::memcpy(out.view.data + y * out.view.stride, from.data + static_cast<std::ptrdiff_t>(y) * from.stride,
                line);
  }
  return out;
}

}  // namespace voxa
