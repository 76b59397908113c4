// The frame shared by every encoder, portable and vector: the walk over a
// field's lines and blocks and the run bookkeeping. Included only by the
// encoder translation units.
//
// Everything here has internal linkage on purpose. The vector units are
// compiled with vector instruction sets; an inline function with external
// linkage compiled there could be the copy the linker keeps for the whole
// library, and then the portable path would run vector code on a processor
// without it. For the same reason the run words are stored here rather than
// through the helpers of codec/field_payload.h.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "codec/field_payload.h"
#include "codec/run_words.h"

namespace voxa {
namespace {

// The current run word lives in a register; it is stored when a new word is
// opened and once more on return. A new word is opened only when a block's
// kind differs from the current sign, so a zero word (the opening word of a
// field) is extended either way. Runs go on across line ends, so one writer
// serves the whole field.
class RunWriter {
 public:
  RunWriter(uint8_t* out, uint8_t* run_word)
      : out_(out), run_word_(run_word), run_(LoadWord(run_word)) {}

  void Transparent() {
    if (run_ > 0) OpenWord();
    --run_;
  }

  // Where the literal block's 48 bytes go.
  uint8_t* Literal() {
    if (run_ < 0) OpenWord();
    ++run_;
    uint8_t* block = out_;
    out_ += kLiteralBlockBytes;
    return block;
  }

  // A block of either kind: where a literal block's 48 bytes go, or null
  // for a transparent one.
  uint8_t* Block(bool literal) {
    if (literal) return Literal();
    Transparent();
    return nullptr;
  }

  // The in/out arguments are handed back here and nowhere else: a kernel that
  // faults leaves them as they came.
  void Finish(uint8_t** out, uint8_t** run_word) {
    StoreWord(run_word_, run_);
    *out = out_;
    *run_word = run_word_;
  }

 private:
  void OpenWord() {
    StoreWord(run_word_, run_);
    run_word_ = out_;
    out_ += kRunWordBytes;
    run_ = 0;
  }

  uint8_t* out_;
  uint8_t* run_word_;
  int32_t run_;
};

enum class LineOrder { kTopDown, kBottomUp };

// Walks the field's lines in payload order and hands each to
// `code_line(line, blocks, runs)`. The payload holds the field from its top
// line down; in the bottom-up BGRA frames that line is the one at the
// highest address. A field without a whole block writes nothing, not even
// its run word.
template <typename CodeLine>
inline void WalkLines(uint8_t** out, const uint8_t* source, uint32_t width, uint32_t lines,
                      std::ptrdiff_t step, uint8_t** run_word, LineOrder order,
                      CodeLine code_line) {
  if (lines == 0 || width < kBlockPixels) return;
  const uint32_t blocks = width / kBlockPixels;
  RunWriter runs(*out, *run_word);
  for (uint32_t l = 0; l < lines; ++l) {
    const uint32_t row = order == LineOrder::kBottomUp ? lines - 1 - l : l;
    code_line(source + static_cast<std::ptrdiff_t>(row) * step, blocks, runs);
  }
  runs.Finish(out, run_word);
}

// Hands each block, in payload order, to `code_block(block, runs)`, which
// classifies and codes it: it calls runs.Transparent() or writes the 48
// bytes at runs.Literal().
template <typename CodeBlock>
inline void WalkField(uint8_t** out, const uint8_t* source, uint32_t width, uint32_t lines,
                      std::ptrdiff_t step, uint8_t** run_word, LineOrder order,
                      std::size_t block_bytes, CodeBlock code_block) {
  WalkLines(out, source, width, lines, step, run_word, order,
            [&](const uint8_t* block, uint32_t blocks, RunWriter& runs) {
              for (uint32_t b = 0; b < blocks; ++b, block += block_bytes) code_block(block, runs);
            });
}

// As WalkField, two blocks of a line at a time, for kernels that code a pair
// in one pass: `code_pair(first, second, runs)` gets consecutive blocks of
// the payload, and for the last block of a line of an odd count `second` is
// null. The run bookkeeping is the same, block by block.
template <typename CodePair>
inline void WalkFieldInPairs(uint8_t** out, const uint8_t* source, uint32_t width,
                             uint32_t lines, std::ptrdiff_t step, uint8_t** run_word,
                             LineOrder order, std::size_t block_bytes, CodePair code_pair) {
  WalkLines(out, source, width, lines, step, run_word, order,
            [&](const uint8_t* block, uint32_t blocks, RunWriter& runs) {
              uint32_t b = 0;
              for (; b + 2 <= blocks; b += 2, block += 2 * block_bytes) {
                code_pair(block, block + block_bytes, runs);
              }
              if (b < blocks) code_pair(block, nullptr, runs);
            });
}

}  // namespace
}  // namespace voxa
