#include "support/sample_frames.h"

#include <algorithm>
#include <cmath>

#include "support/frame_compare.h"

namespace voxa {
namespace {

// BT.601 studio range in 16 fractional bits, 32768 added for rounding to
// nearest: luma 0.098 B + 0.504 G + 0.257 R + 16; chroma of a pixel pair
// from its channel sums, halved toward zero and centred on 128.
int32_t RgbToLuma(int32_t b, int32_t g, int32_t r) {
  return ((6423 * b + 33030 * g + 16843 * r + 32768) >> 16) + 16;
}

int32_t PairSumsToU(int32_t sum_b, int32_t sum_g, int32_t sum_r) {
  return ((28770 * sum_b - 19071 * sum_g - 9699 * sum_r + 32768) >> 16) / 2 + 128;
}

int32_t PairSumsToV(int32_t sum_b, int32_t sum_g, int32_t sum_r) {
  return ((28770 * sum_r - 24117 * sum_g - 4653 * sum_b + 32768) >> 16) / 2 + 128;
}

struct Rgba {
  float b, g, r, a;
};

// Porter-Duff "over" on straight-alpha colour.
Rgba Over(const Rgba& top, const Rgba& bottom) {
  const float a = top.a + bottom.a * (1.0f - top.a);
  if (a <= 0.0f) return Rgba{0, 0, 0, 0};
  auto mix = [&](float t, float u) { return (t * top.a + u * bottom.a * (1.0f - top.a)) / a; };
  return Rgba{mix(top.b, bottom.b), mix(top.g, bottom.g), mix(top.r, bottom.r), a};
}

float Coverage(float distance) {
  // Distance in pixels to a shape's edge, negative inside: one pixel of ramp.
  return std::clamp(0.5f - distance, 0.0f, 1.0f);
}

float SegmentDistance(float px, float py, float ax, float ay, float bx, float by) {
  const float dx = bx - ax, dy = by - ay;
  const float len2 = dx * dx + dy * dy;
  float t = len2 > 0 ? ((px - ax) * dx + (py - ay) * dy) / len2 : 0.0f;
  t = std::clamp(t, 0.0f, 1.0f);
  const float ex = px - (ax + t * dx), ey = py - (ay + t * dy);
  return std::sqrt(ex * ex + ey * ey);
}

// Strokes of a few letter-like glyphs, in units of the glyph height.
struct Stroke {
  float ax, ay, bx, by;
};
const Stroke kGlyphStrokes[] = {
    {0.0f, 0.0f, 0.25f, 1.0f}, {0.25f, 1.0f, 0.5f, 0.0f},                             // V
    {0.75f, 0.0f, 1.1f, 0.0f}, {1.1f, 0.0f, 1.1f, 1.0f}, {1.1f, 1.0f, 0.75f, 1.0f},  // O
    {0.75f, 1.0f, 0.75f, 0.0f},
    {1.35f, 0.0f, 1.85f, 1.0f}, {1.85f, 0.0f, 1.35f, 1.0f},                           // X
    {2.1f, 1.0f, 2.35f, 0.0f}, {2.35f, 0.0f, 2.6f, 1.0f}, {2.2f, 0.6f, 2.5f, 0.6f},  // A
};

Rgba TitlePixel(float x, float y, uint32_t width, uint32_t height) {
  Rgba out{0, 0, 0, 0};
  // A translucent lower-third bar with soft ends.
  const float bar_top = height * 0.70f, bar_bottom = height * 0.86f;
  const float bar_left = width * 0.08f, bar_right = width * 0.92f;
  const float bar_d = std::max({bar_top - y, y - bar_bottom, bar_left - x, x - bar_right});
  const float bar = Coverage(bar_d);
  if (bar > 0.0f) out = Over(Rgba{0.45f, 0.20f, 0.10f, 0.6f * bar}, out);
  // Glyphs with a drop shadow, repeated along the bar.
  const float glyph_h = (bar_bottom - bar_top) * 0.6f;
  const float stroke = std::max(1.5f, glyph_h * 0.09f);
  const float origin_y = bar_top + (bar_bottom - bar_top - glyph_h) / 2;
  float best = 1e9f, shadow = 1e9f;
  for (float origin_x = bar_left + glyph_h * 0.5f; origin_x + glyph_h * 2.6f < bar_right;
       origin_x += glyph_h * 3.2f) {
    for (const Stroke& s : kGlyphStrokes) {
      const float ax = origin_x + s.ax * glyph_h, ay = origin_y + s.ay * glyph_h;
      const float bx = origin_x + s.bx * glyph_h, by = origin_y + s.by * glyph_h;
      best = std::min(best, SegmentDistance(x, y, ax, ay, bx, by) - stroke);
      shadow = std::min(shadow, SegmentDistance(x - 3, y - 3, ax, ay, bx, by) - stroke);
    }
  }
  const float shadow_cov = std::clamp(0.5f - shadow / 3.0f, 0.0f, 1.0f);
  if (shadow_cov > 0.0f) out = Over(Rgba{0, 0, 0, 0.5f * shadow_cov}, out);
  const float text = Coverage(best);
  if (text > 0.0f) {
    const float shade = y < origin_y + glyph_h / 2 ? 1.0f : 0.8f;
    out = Over(Rgba{0.6f * shade, 0.95f * shade, 1.0f * shade, text}, out);
  }
  // A small round logo in the upper right corner.
  const float cx = width * 0.88f, cy = height * 0.12f, radius = height * 0.05f;
  const float logo = Coverage(std::hypot(x - cx, y - cy) - radius);
  if (logo > 0.0f) out = Over(Rgba{0.1f, 0.7f, 0.95f, 0.85f * logo}, out);
  return out;
}

Rgba OpaquePixel(float x, float y, uint32_t width, uint32_t height, uint32_t* noise) {
  const float u = x / width, v = y / height;
  // Smooth gradients, a few rings and a little grain: a camera-like picture.
  *noise = *noise * 1664525u + 1013904223u;
  const float grain = ((*noise >> 24) / 255.0f - 0.5f) * 0.04f;
  const float ring = 0.5f + 0.5f * std::sin(std::hypot(u - 0.3f, v - 0.6f) * 40.0f);
  return Rgba{std::clamp(0.2f + 0.6f * v + grain, 0.0f, 1.0f),
              std::clamp(0.3f + 0.4f * ring * u + grain, 0.0f, 1.0f),
              std::clamp(0.9f - 0.7f * u + grain, 0.0f, 1.0f), 1.0f};
}

uint8_t ToByte(float v) { return static_cast<uint8_t>(std::lround(std::clamp(v, 0.0f, 1.0f) * 255.0f)); }

}  // namespace

bool ParseSampleKind(const std::string& name, SampleKind* kind) {
  if (name == "title") {
    *kind = SampleKind::kTitle;
  } else if (name == "opaque") {
    *kind = SampleKind::kOpaque;
  } else {
    return false;
  }
  return true;
}

std::vector<uint8_t> MakeSampleFrame(SampleKind kind, voxa_pixel_format format, uint32_t width,
                                     uint32_t height) {
  std::vector<uint8_t> bgra(static_cast<std::size_t>(width) * height * 4);
  uint32_t noise = 12345;
  for (uint32_t y = 0; y < height; ++y) {
    // Bottom-up: the picture's top line is the last stored line.
    uint8_t* line = bgra.data() + static_cast<std::size_t>(height - 1 - y) * width * 4;
    for (uint32_t x = 0; x < width; ++x) {
      const float fx = x + 0.5f, fy = y + 0.5f;
      const Rgba p = kind == SampleKind::kTitle ? TitlePixel(fx, fy, width, height)
                                                : OpaquePixel(fx, fy, width, height, &noise);
      line[4 * x + 0] = ToByte(p.b);
      line[4 * x + 1] = ToByte(p.g);
      line[4 * x + 2] = ToByte(p.r);
      line[4 * x + 3] = ToByte(p.a);
    }
  }
  return format == VOXA_BGRA ? bgra : BgraToY16a(bgra, width, height);
}

std::vector<uint8_t> MakeSampleClipFrame(const std::vector<uint8_t>& picture, uint32_t width,
                                         uint32_t height, uint32_t index) {
  constexpr uint32_t kShiftPerFrame = 4;
  constexpr uint32_t kShiftWrap = 240;
  constexpr uint32_t kFadeFrames = 4;
  const uint32_t shift = std::min((kShiftPerFrame * (index % (kShiftWrap / kShiftPerFrame))),
                                  width);
  const uint32_t fade_step = std::min(index + 1, kFadeFrames);
  std::vector<uint8_t> frame(picture.size(), 0);
  const std::size_t line_bytes = std::size_t{width} * 4;
  for (uint32_t y = 0; y < height; ++y) {
    const uint8_t* from = picture.data() + y * line_bytes;
    uint8_t* to = frame.data() + y * line_bytes + std::size_t{shift} * 4;
    std::copy(from, from + line_bytes - std::size_t{shift} * 4, to);
  }
  if (fade_step < kFadeFrames) {
    for (std::size_t i = 3; i < frame.size(); i += 4) {
      frame[i] = static_cast<uint8_t>((frame[i] * fade_step + kFadeFrames / 2) / kFadeFrames);
    }
  }
  return frame;
}

std::vector<uint8_t> BgraToY16a(const std::vector<uint8_t>& bgra, uint32_t width,
                                uint32_t height) {
  std::vector<uint8_t> out(static_cast<std::size_t>(width) * height * 3);
  for (uint32_t y = 0; y < height; ++y) {
    const uint8_t* src = bgra.data() + static_cast<std::size_t>(height - 1 - y) * width * 4;
    uint8_t* dst = out.data() + static_cast<std::size_t>(y) * width * 3;
    for (uint32_t b = 0; b < width / VOXA_Y16A_BLOCK_PIXELS; ++b, src += VOXA_Y16A_BLOCK_PIXELS * 4, dst += VOXA_Y16A_BLOCK_BYTES) {
      for (uint32_t i = 0; i < VOXA_Y16A_BLOCK_PIXELS; ++i) {
        const uint8_t* p = src + 4 * i;
        dst[VOXA_Y16A_LUMA + i] = static_cast<uint8_t>(RgbToLuma(p[0], p[1], p[2]));
        dst[VOXA_Y16A_ALPHA + i] = p[3];
      }
      for (uint32_t k = 0; k < VOXA_Y16A_BLOCK_PIXELS / 2; ++k) {
        const uint8_t* l = src + 8 * k;
        const uint8_t* r = l + 4;
        const int32_t sb = l[0] + r[0], sg = l[1] + r[1], sr = l[2] + r[2];
        dst[VOXA_Y16A_U + k] = static_cast<uint8_t>(PairSumsToU(sb, sg, sr));
        dst[VOXA_Y16A_V + k] = static_cast<uint8_t>(PairSumsToV(sb, sg, sr));
      }
    }
  }
  return out;
}

}  // namespace voxa
