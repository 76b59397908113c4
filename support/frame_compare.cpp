#include "support/frame_compare.h"

#include <cmath>
#include <cstdlib>
#include <limits>

namespace voxa {
namespace {

class Accumulator {
 public:
  void Add(double a, double b) {
    const double d = a - b;
    sum_ += d * d;
    ++count_;
    const int abs_d = static_cast<int>(std::lround(std::fabs(d)));
    if (abs_d > max_) max_ = abs_d;
  }
  double Psnr() const {
    if (count_ == 0 || sum_ == 0.0) return std::numeric_limits<double>::infinity();
    return 10.0 * std::log10(255.0 * 255.0 * count_ / sum_);
  }
  int max() const { return max_; }

 private:
  double sum_ = 0.0;
  uint64_t count_ = 0;
  int max_ = 0;
};

double Weighted(uint8_t value, uint8_t alpha) { return value * (alpha / 255.0); }

}  // namespace

FrameDifference CompareFrames(voxa_pixel_format format, uint32_t width, uint32_t height,
                              const std::vector<uint8_t>& reference,
                              const std::vector<uint8_t>& decoded) {
  Accumulator colour, alpha;
  uint64_t lost = 0, far_off = 0;
  const std::size_t pixels = static_cast<std::size_t>(width) * height;
  if (format == VOXA_BGRA) {
    for (std::size_t i = 0; i < pixels; ++i) {
      const uint8_t* a = &reference[4 * i];
      const uint8_t* b = &decoded[4 * i];
      bool off = false;
      for (int c = 0; c < 3; ++c) {
        const double ca = Weighted(a[c], a[3]), cb = Weighted(b[c], b[3]);
        colour.Add(ca, cb);
        off = off || std::fabs(ca - cb) > kFarOff;
      }
      alpha.Add(a[3], b[3]);
      lost += a[3] >= kVisibleAlpha && b[3] == 0;
      far_off += off;
    }
  } else {
    const std::size_t blocks = pixels / VOXA_Y16A_BLOCK_PIXELS;
    for (std::size_t n = 0; n < blocks; ++n) {
      const uint8_t* a = &reference[VOXA_Y16A_BLOCK_BYTES * n];
      const uint8_t* b = &decoded[VOXA_Y16A_BLOCK_BYTES * n];
      for (uint32_t i = 0; i < VOXA_Y16A_BLOCK_PIXELS; ++i) {
        const double ya = Weighted(a[VOXA_Y16A_LUMA + i], a[VOXA_Y16A_ALPHA + i]);
        const double yb = Weighted(b[VOXA_Y16A_LUMA + i], b[VOXA_Y16A_ALPHA + i]);
        colour.Add(ya, yb);
        alpha.Add(a[VOXA_Y16A_ALPHA + i], b[VOXA_Y16A_ALPHA + i]);
        lost += a[VOXA_Y16A_ALPHA + i] >= kVisibleAlpha && b[VOXA_Y16A_ALPHA + i] == 0;
        far_off += std::fabs(ya - yb) > kFarOff;
      }
      for (uint32_t k = 0; k < VOXA_Y16A_BLOCK_PIXELS / 2; ++k) {
        colour.Add(Weighted(a[VOXA_Y16A_U + k], a[VOXA_Y16A_ALPHA + 2 * k]),
                   Weighted(b[VOXA_Y16A_U + k], b[VOXA_Y16A_ALPHA + 2 * k]));
        colour.Add(Weighted(a[VOXA_Y16A_V + k], a[VOXA_Y16A_ALPHA + 2 * k + 1]),
                   Weighted(b[VOXA_Y16A_V + k], b[VOXA_Y16A_ALPHA + 2 * k + 1]));
      }
    }
  }
  return FrameDifference{colour.Psnr(), alpha.Psnr(), colour.max(), alpha.max(), lost, far_off};
}

}  // namespace voxa
