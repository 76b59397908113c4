// The field payload: a block run-length code over blocks of 16 pixels.
//
// A payload is a sequence of 32-bit little-endian run words, each followed by
// the literal blocks it announces. A word of -n says the next n blocks are
// transparent (nothing else is stored for them); +n says the next n blocks are
// literal and their 48-byte records follow the word. A lone 0 is the whole
// payload of a field without blocks. Runs go on across line ends.
//
// Literal block, 48 bytes: premultiplied luma of pixels 0-15, inverse alpha of
// pixels 0-15, U of pairs 0-7 (premultiplied by the left pixel's alpha), V of
// pairs 0-7 (premultiplied by the right pixel's alpha).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace voxa {

constexpr uint32_t kBlockPixels = 16;
constexpr std::size_t kRunWordBytes = 4;
constexpr std::size_t kLiteralBlockBytes = 48;

// Offsets inside a literal block (and inside a Y16A block, which has the
// same layout with plain values and alpha instead of inverse alpha).
constexpr std::size_t kLumaOffset = 0;
constexpr std::size_t kAlphaOffset = 16;
constexpr std::size_t kUOffset = 32;
constexpr std::size_t kVOffset = 40;

// Blocks of alpha 0 or 1 only are stored as transparent.
constexpr uint8_t kLiteralAlphaThreshold = 2;

inline int32_t LoadRunWord(const uint8_t* p) {
  uint32_t v = static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
               static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
  int32_t s;
  std::memcpy(&s, &v, sizeof s);
  return s;
}

inline void StoreRunWord(uint8_t* p, int32_t word) {
  uint32_t v;
  std::memcpy(&v, &word, sizeof v);
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
  p[2] = static_cast<uint8_t>(v >> 16);
  p[3] = static_cast<uint8_t>(v >> 24);
}

// Blocks in a field of the given geometry.
inline uint64_t FieldBlockCount(uint32_t width, uint32_t lines) {
  return static_cast<uint64_t>(width / kBlockPixels) * lines;
}

// The most a field payload can take: one run word and every block literal.
inline uint64_t MaxFieldPayloadBytes(uint32_t width, uint32_t lines) {
  return kRunWordBytes + kLiteralBlockBytes * FieldBlockCount(width, lines);
}

// Decoder side of the run bookkeeping, bounded by the payload's end.
class RunReader {
 public:
  enum class Block { kTransparent, kLiteral, kUntouched, kExhausted };

  RunReader(const uint8_t* in, const uint8_t* end, int32_t pending)
      : in_(in), end_(end), pending_(pending) {}

  // Says what the next block is. For a literal block, literal() then points
  // at its 48 bytes. kExhausted means the payload ended before the block.
  Block Next() {
    if (pending_ == 0) {
      if (Remaining() < kRunWordBytes) return Block::kExhausted;
      pending_ = LoadRunWord(in_);
      in_ += kRunWordBytes;
    }
    if (pending_ < 0) {
      ++pending_;
      return Block::kTransparent;
    }
    if (pending_ > 0) {
      if (Remaining() < kLiteralBlockBytes) return Block::kExhausted;
      literal_ = in_;
      in_ += kLiteralBlockBytes;
      --pending_;
      return Block::kLiteral;
    }
    return Block::kUntouched;
  }

  const uint8_t* literal() const { return literal_; }

  void Finish(const uint8_t** in, int32_t* pending) const {
    *in = in_;
    *pending = pending_;
  }

 private:
  std::size_t Remaining() const { return static_cast<std::size_t>(end_ - in_); }

  const uint8_t* in_;
  const uint8_t* end_;
  int32_t pending_;
  const uint8_t* literal_ = nullptr;
};

}  // namespace voxa
