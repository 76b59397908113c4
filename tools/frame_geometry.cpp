#include "tools/frame_geometry.h"

#include <algorithm>
#include <cstring>

#include "codec/field_payload.h"

namespace voxa {
namespace {

constexpr uint64_t kSizeBoundSlack = 4096;
constexpr uint64_t kLargestBound = 0x7FFFFFFF;

uint64_t RoundUp(uint64_t value, uint64_t step) { return (value + step - 1) / step * step; }

std::string SizeText(uint64_t width, uint64_t height) {
  return std::to_string(width) + "x" + std::to_string(height);
}

bool FitsBound(uint64_t width, uint64_t height) {
  return width * height * 4 + kSizeBoundSlack <= kLargestBound;
}

}  // namespace

bool IsCodableSize(PictureSize size) {
  return size.width != 0 && size.width % kBlockPixels == 0 && size.height != 0 &&
         size.height % 2 == 0 && FitsBound(size.width, size.height);
}

PictureSize PaddedSize(PictureSize size) {
  const uint64_t width = RoundUp(std::max<uint32_t>(size.width, 1), kBlockPixels);
  const uint64_t height = RoundUp(std::max<uint32_t>(size.height, 1), 2);
  return PictureSize{static_cast<uint32_t>(std::min<uint64_t>(width, UINT32_MAX / 2)),
                     static_cast<uint32_t>(std::min<uint64_t>(height, UINT32_MAX / 2))};
}

std::string CodableSizeProblem(PictureSize size) {
  if (IsCodableSize(size)) return "";
  const std::string given = SizeText(size.width, size.height);
  if (size.width == 0 || size.height == 0) return "a " + given + " picture is empty";
  const PictureSize padded = PaddedSize(size);
  if (!FitsBound(padded.width, padded.height)) {
    return "a " + given + " picture is too large for the codec (width x height x 4 must stay "
           "below 2 GiB)";
  }
  std::string what;
  if (size.width % kBlockPixels != 0) {
    what = "width " + std::to_string(size.width) + " is not a multiple of 16";
  }
  if (size.height % 2 != 0) {
    what += (what.empty() ? "height " : " and height ") + std::to_string(size.height) +
            " is odd";
  }
  const uint32_t cropped_width = size.width / kBlockPixels * kBlockPixels;
  const uint32_t cropped_height = size.height / 2 * 2;
  std::string nearest;
  if (cropped_width != 0 && cropped_height != 0) {
    nearest = SizeText(cropped_width, cropped_height) + " (cropped) or ";
  }
  nearest += SizeText(padded.width, padded.height) + " (padded: --pad)";
  return "the codec cannot take " + given + " pictures: " + what +
         "; nearest sizes it takes: " + nearest;
}

std::vector<uint8_t> PadBgraPicture(const std::vector<uint8_t>& bgra, PictureSize from,
                                    PictureSize to) {
  std::vector<uint8_t> out(std::size_t{to.width} * to.height * 4, 0);
  const std::size_t from_line = std::size_t{from.width} * 4;
  const std::size_t to_line = std::size_t{to.width} * 4;
  // Picture line y (from the top) is stored line height - 1 - y.
  for (uint32_t y = 0; y < from.height && y < to.height; ++y) {
    std::memcpy(out.data() + (to.height - 1 - y) * to_line,
                bgra.data() + (from.height - 1 - y) * from_line,
                std::min(from_line, to_line));
  }
  return out;
}

}  // namespace voxa
