// Small builders for raw frames, blocks and payloads used across the tests.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <vector>

#include "codec/field_payload.h"
#include "codec/frame_container.h"

namespace voxa::test {

struct Bgra {
  uint8_t b, g, r, a;
};

// A BGRA line of `blocks` blocks, every pixel `px`.
inline std::vector<uint8_t> BgraBlocks(uint32_t blocks, Bgra px) {
  std::vector<uint8_t> line(blocks * 64);
  for (std::size_t i = 0; i < line.size(); i += 4) {
    line[i] = px.b, line[i + 1] = px.g, line[i + 2] = px.r, line[i + 3] = px.a;
  }
  return line;
}

// A Y16A block: all lumas `y`, alphas `a`, chroma `u`, `v`.
inline std::vector<uint8_t> Y16aBlock(uint8_t y, uint8_t a, uint8_t u, uint8_t v) {
  std::vector<uint8_t> block(48);
  for (int i = 0; i < 16; ++i) block[kLumaOffset + i] = y, block[kAlphaOffset + i] = a;
  for (int k = 0; k < 8; ++k) block[kUOffset + k] = u, block[kVOffset + k] = v;
  return block;
}

// A literal block as stored: premultiplied values and inverse alphas.
inline std::vector<uint8_t> LiteralBlock(uint8_t y, uint8_t inverse_alpha, uint8_t u, uint8_t v) {
  return Y16aBlock(y, inverse_alpha, u, v);
}

// Payload bytes from run words and the literal blocks that follow each.
class PayloadBuilder {
 public:
  PayloadBuilder& Word(int32_t w) {
    bytes_.resize(bytes_.size() + 4);
    StoreWord(bytes_.data() + bytes_.size() - 4, w);
    return *this;
  }
  PayloadBuilder& Block(const std::vector<uint8_t>& block) {
    bytes_.insert(bytes_.end(), block.begin(), block.end());
    return *this;
  }
  const std::vector<uint8_t>& bytes() const { return bytes_; }

 private:
  std::vector<uint8_t> bytes_;
};

// A compressed frame from chunks (tag, payload), behind the magic.
inline std::vector<uint8_t> FrameFromChunks(
    std::initializer_list<std::pair<uint32_t, std::vector<uint8_t>>> chunks) {
  std::vector<uint8_t> frame(kFrameMagic, kFrameMagic + 4);
  for (const auto& [tag, payload] : chunks) {
    const std::size_t at = frame.size();
    frame.resize(at + 8);
    StoreLe32(&frame[at], tag);
    StoreLe32(&frame[at + 4], static_cast<uint32_t>(payload.size()));
    frame.insert(frame.end(), payload.begin(), payload.end());
  }
  return frame;
}

// A deterministic pseudo-random byte source.
class Random {
 public:
  explicit Random(uint32_t seed) : state_(seed) {}
  uint8_t Byte() {
    state_ = state_ * 1664525u + 1013904223u;
    return static_cast<uint8_t>(state_ >> 24);
  }
  std::vector<uint8_t> Bytes(std::size_t n) {
    std::vector<uint8_t> v(n);
    for (auto& b : v) b = Byte();
    return v;
  }

 private:
  uint32_t state_;
};

}  // namespace voxa::test
