// The constant tables of the vector kernels: rows of 16-bit words, each row
// one value repeated across the lanes of a vector operand, in a 4-lane form
// (8-byte rows, SSE kernels) and an 8-lane form (16-byte rows, SSE2 kernels).
//
// The rows are constant data, laid out at compile time: a table is prepared
// by publishing the form the installed kernels read, at most once per
// process, and the first preparation decides the form. Nothing is written at
// run time, so concurrent first uses cannot race. A vector kernel reads the
// form of its own lane count (`form`), so the tool and the tests can run any
// variant beside the installed one.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

namespace voxa {

constexpr std::size_t kTableBoundary = 128;

class ConstantTable {
 public:
  constexpr ConstantTable(const uint16_t* four_lanes, const uint16_t* eight_lanes)
      : forms_{four_lanes, eight_lanes} {}
  ConstantTable(const ConstantTable&) = delete;
  ConstantTable& operator=(const ConstantTable&) = delete;

  // Publishes the form with 4 or 8 lanes, unless a form is published already.
  void Prepare(int lanes) {
    const uint16_t* expected = nullptr;
    rows_.compare_exchange_strong(expected, forms_[lanes == 8 ? 1 : 0],
                                  std::memory_order_acq_rel);
  }

  // Null until prepared.
  const uint16_t* rows() const { return rows_.load(std::memory_order_acquire); }

  // Either form, published or not.
  const uint16_t* form(int lanes) const { return forms_[lanes == 8 ? 1 : 0]; }

 private:
  const uint16_t* forms_[2];
  std::atomic<const uint16_t*> rows_{nullptr};
};

// Classification masks and the alpha inversion (every vector kernel).
ConstantTable& AlphaScaleTable();
// Luma and chroma weights of the BGRA encoders.
ConstantTable& EncoderWeightTable();
// Colour conversion weights of the BGRA decoders.
ConstantTable& DecoderWeightTable();

// Row indices, the same in both forms unless named for one.
enum AlphaScaleRow { kFlipRow, kY16aThresholdRow, kAllOnesRow, kBgraThresholdRow };
enum EncoderWeightRow {
  kBlueLumaRow, kGreenLumaRow, kRedLumaRow, kLumaOffsetRow, kBlueRedChromaRow,
  kGreenChromaRow, kBlueOfVRow, kGreenOfURow, kRedOfURow, kChromaOffsetRow
};
enum DecoderWeightRow4 { kLumaGainRow4, kLumaOffsetRow4, kChromaCentreRow4 };
enum DecoderWeightRow8 { kLumaGainRow8, kChromaCentreRow8, kLumaOffsetRow8 };
constexpr int kGreenFromURow = 3, kGreenFromVRow = 4, kBlueFromURow = 5, kRedFromVRow = 6;

}  // namespace voxa
