// The two kernel shapes shared by every variant of the four kernel families
// (encode from and decode to 32-bit BGRA, encode from and decode to Y16A).
//
// Encoders code one field into a payload. `out` is where the next run word or
// literal block goes; `run_word` is the position of the run word being
// extended. Before the first call of a field the caller stores a run word 0 at
// the payload start, points `run_word` at it and `out` just behind it. Both
// are handed back on return. The output area must hold 4 + 48 bytes for every
// block of the field.
//
// Decoders write one field from a payload. `in` is the read position,
// `in_end` the end of the payload's bytes; `pending` the remainder of the
// current run word (0 at the start of a field). A decoder reads no byte at or
// past `in_end`: when the payload runs out it stops and leaves the remaining
// blocks as they are. It returns false in that case, true when every block of
// the field had its run word and literal bytes.
//
// Both take the field's lowest-addressed line in the frame, the width in
// pixels (W / 16 blocks a line), the line count and the distance in bytes
// between two lines of the field. 32-bit BGRA frames are bottom-up, so the
// BGRA kernels begin with the line at the highest address; Y16A frames are
// top-down and their kernels begin at the lowest. Either way the payload holds
// the field from its top line downward.
#pragma once

#include <cstddef>
#include <cstdint>

namespace voxa {

using EncodeFieldFn = void (*)(uint8_t** out, const uint8_t* source, uint32_t width,
                               uint32_t lines, std::ptrdiff_t step, uint8_t** run_word);

using DecodeFieldFn = bool (*)(uint8_t* destination, const uint8_t** in,
                               const uint8_t* in_end, uint32_t width, uint32_t lines,
                               std::ptrdiff_t step, int32_t* pending);

void EncodeRgbaField_portable(uint8_t** out, const uint8_t* source, uint32_t width,
                              uint32_t lines, std::ptrdiff_t step, uint8_t** run_word);
bool DecodeRgbaField_portable(uint8_t* destination, const uint8_t** in,
                              const uint8_t* in_end, uint32_t width, uint32_t lines,
                              std::ptrdiff_t step, int32_t* pending);
void EncodeY16aField_portable(uint8_t** out, const uint8_t* source, uint32_t width,
                              uint32_t lines, std::ptrdiff_t step, uint8_t** run_word);
bool DecodeY16aField_portable(uint8_t* destination, const uint8_t** in,
                              const uint8_t* in_end, uint32_t width, uint32_t lines,
                              std::ptrdiff_t step, int32_t* pending);

// One variant of each family, as a frame coder uses them.
struct FieldKernels {
  EncodeFieldFn encode_rgba;
  DecodeFieldFn decode_rgba;
  EncodeFieldFn encode_y16a;
  DecodeFieldFn decode_y16a;
};

inline constexpr FieldKernels kPortableKernels = {
    EncodeRgbaField_portable, DecodeRgbaField_portable, EncodeY16aField_portable,
    DecodeY16aField_portable};

}  // namespace voxa
