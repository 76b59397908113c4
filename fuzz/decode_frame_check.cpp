#include "fuzz/decode_frame_check.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <string>
#include <utility>

#include "codec/kernel_slots.h"
#include "codec/field_payload.h"
#include "codec/frame_codec.h"
#include "voxa/voxa.h"

namespace voxa::fuzz {
namespace {

void DefaultFailure(const char* message) {
  std::fprintf(stderr, "CheckDecodeFrame: %s\n", message);
  std::fflush(stderr);
  std::abort();
}

CheckFailureHandler g_failure = DefaultFailure;

struct Input {
  PixelFormat format;
  uint32_t width;
  uint32_t height;
  bool round_trip;
  const uint8_t* frame;  // an exact-size copy: a read past it is a heap overflow
  std::size_t size;
};

void Fail(const Input& in, const char* what) {
  char text[512];
  std::snprintf(text, sizeof text, "%s (%s %ux%u, frame of %zu bytes%s)", what,
                in.format == PixelFormat::kRgba32 ? "BGRA" : "Y16A", in.width, in.height,
                in.size, in.round_trip ? ", round trip" : "");
  g_failure(text);
  std::abort();
}

void Expect(bool ok, const Input& in, const char* what) {
  if (!ok) Fail(in, what);
}

// What libvoxa's walk through a frame (voxa_inspect_frame) reports: every
// part lies inside the frame, a payload's totals account for no more bytes
// than the payload has, and whether it names any problem.
class InspectionCheck {
 public:
  explicit InspectionCheck(const Input& in) : in_(in) {}

  // Whether the walk finds the frame as an encoder writes it, with or
  // without its size; *verdict is what it says a decoder makes of it.
  bool WellFormed(bool with_size, int* verdict) {
    problems_ = 0;
    *verdict = voxa_inspect_frame(in_.frame, in_.size, with_size ? in_.width : VOXA_SIZE_UNKNOWN,
                                  with_size ? in_.height : VOXA_SIZE_UNKNOWN, OnPart, this);
    return problems_ == 0;
  }

 private:
  static void OnPart(void* self, const voxa_frame_part* part) {
    static_cast<InspectionCheck*>(self)->Check(*part);
  }

  void Check(const voxa_frame_part& p) {
    Expect(p.offset <= in_.size, in_, "voxa_inspect_frame reports a part past the frame");
    switch (p.kind) {
      case VOXA_PART_CHUNK:
        Expect(p.available <= p.length && p.offset + kChunkHeaderBytes + p.available <= in_.size,
               in_, "voxa_inspect_frame reports a chunk outside the frame");
        payload_ = p.available;
        break;
      case VOXA_PART_RUN_WORD:
        Expect(p.offset + kRunWordBytes <= in_.size, in_,
               "voxa_inspect_frame reports a run word outside the frame");
        break;
      case VOXA_PART_FIELD:
        Expect(p.run_words * kRunWordBytes + p.literal_blocks * kLiteralBlockBytes <= payload_, in_,
               "voxa_inspect_frame accounts for more bytes than the payload has");
        break;
      case VOXA_PART_PROBLEM:
        ++problems_;
        break;
    }
  }

  const Input& in_;
  std::size_t payload_ = 0;
  int problems_ = 0;
};

// A fixed byte pattern and its complement, long enough for the largest frame
// with its guards.
const std::vector<uint8_t>& Pattern(bool inverted) {
  static const std::vector<uint8_t>* const patterns = [] {
    const std::size_t max_line = kMaxWidthBlocks * kBlockPixels * 4;
    const std::size_t bytes = max_line * kMaxHeight + 2 * (2 * max_line + 64);
    auto* p = new std::vector<uint8_t>[2]{std::vector<uint8_t>(bytes),
                                          std::vector<uint8_t>(bytes)};
    for (std::size_t i = 0; i < bytes; ++i) {
      p[0][i] = static_cast<uint8_t>((static_cast<uint32_t>(i) * 2654435761u) >> 24);
      p[1][i] = static_cast<uint8_t>(~p[0][i]);
    }
    return p;
  }();
  return patterns[inverted ? 1 : 0];
}

// An uncompressed frame on the heap between two guard areas. Frame and guards
// start out with the pattern (or its complement); the guards must keep it.
// Each guard is two lines and a bit long: DecodeFrame forms the address of a
// field's first line even when the field has no lines, and that address stays
// inside the allocation.
class GuardedFrame {
 public:
  GuardedFrame(std::size_t bytes, std::size_t line_bytes, bool inverted)
      : bytes_(bytes),
        guard_bytes_(2 * line_bytes + 64),
        pattern_(Pattern(inverted).data()),
        storage_(new uint8_t[bytes + 2 * guard_bytes_]) {
    std::memcpy(storage_.get(), pattern_, bytes + 2 * guard_bytes_);
  }

  uint8_t* pixels() { return storage_.get() + guard_bytes_; }
  const uint8_t* pixels() const { return storage_.get() + guard_bytes_; }
  // The pixel bytes before any decode.
  const uint8_t* initial() const { return pattern_ + guard_bytes_; }

  bool GuardsIntact() const {
    const std::size_t after = guard_bytes_ + bytes_;
    return std::memcmp(storage_.get(), pattern_, guard_bytes_) == 0 &&
           std::memcmp(storage_.get() + after, pattern_ + after, guard_bytes_) == 0;
  }

  bool Unchanged(std::size_t from, std::size_t count) const {
    return std::memcmp(pixels() + from, initial() + from, count) == 0;
  }

  bool SamePixels(const GuardedFrame& other) const {
    return bytes_ == other.bytes_ && std::memcmp(pixels(), other.pixels(), bytes_) == 0;
  }

 private:
  std::size_t bytes_;
  std::size_t guard_bytes_;
  const uint8_t* pattern_;
  std::unique_ptr<uint8_t[]> storage_;
};

// The driver's kernels: the process-wide slots, as it codes frames through
// them. Unguarded here: a fault is a crash the fuzzer reports.
const FieldKernels& kDriverKernels = SlotKernels();

// Whether the driver's slots hold the very kernels under check, so that their
// results must agree byte for byte.
const FieldKernels& InstalledKernels() {
  static const FieldKernels installed = KernelsOfVariant(InstalledVariant());
  return installed;
}

bool DriverRunsSameDecoder(const Input& in, const FieldKernels& kernels) {
  const FieldKernels& installed = InstalledKernels();
  return in.format == PixelFormat::kRgba32 ? installed.decode_rgba == kernels.decode_rgba
                                           : installed.decode_y16a == kernels.decode_y16a;
}

bool DriverRunsSameEncoder(const Input& in, const FieldKernels& kernels) {
  const FieldKernels& installed = InstalledKernels();
  return in.format == PixelFormat::kRgba32 ? installed.encode_rgba == kernels.encode_rgba
                                           : installed.encode_y16a == kernels.encode_y16a;
}

std::size_t LineBytes(const Input& in) { return BytesPerPixel(in.format) * in.width; }

// Lines that belong to a field: all but the last of an odd height.
uint32_t FieldLines(const Input& in) { return in.height / 2 * 2; }

// The stored line no field covers keeps its bytes.
void ExpectLeftoverLineUntouched(const Input& in, const GuardedFrame& out, const char* what) {
  if (in.height % 2 == 0) return;
  Expect(out.Unchanged(FieldLines(in) * LineBytes(in), LineBytes(in)), in, what);
}

// The chunk walk and the field chunk search stay inside the data, and so
// does every part of libvoxa's walk. Returns whether that walk finds the
// frame well-formed for its size, and in *inspect_verdict what it says a
// decoder makes of the frame.
bool CheckContainerAndInspector(const Input& in, int* inspect_verdict) {
  if (HasFrameMagic(in.frame, in.size)) {
    const uint8_t* data = in.frame + kFrameMagicBytes;
    const std::size_t size = in.size - kFrameMagicBytes;
    ChunkWalker walker(data, size);
    Chunk chunk;
    std::size_t expected_offset = 0;
    bool saw_field = false;
    while (walker.Next(&chunk)) {
      Expect(walker.stop() == ChunkWalker::Stop::kNone ||
                 walker.stop() == ChunkWalker::Stop::kPayloadCut,
             in, "ChunkWalker returned a chunk after it stopped");
      Expect(chunk.offset == expected_offset, in, "ChunkWalker skipped or repeated bytes");
      Expect(chunk.payload == data + chunk.offset + kChunkHeaderBytes, in,
             "ChunkWalker's payload is not behind its header");
      Expect(chunk.available <= chunk.length, in, "ChunkWalker offers more than the length");
      Expect(chunk.offset + kChunkHeaderBytes + chunk.available <= size, in,
             "ChunkWalker's chunk runs past the data");
      Expect((chunk.available < chunk.length) ==
                 (walker.stop() == ChunkWalker::Stop::kPayloadCut),
             in, "ChunkWalker's cut chunk and its stop reason disagree");
      expected_offset = chunk.offset + kChunkHeaderBytes + chunk.available;
      saw_field = saw_field || chunk.tag == kFirstFieldTag || chunk.tag == kSecondFieldTag;
    }
    Expect(walker.stop() != ChunkWalker::Stop::kNone, in, "ChunkWalker ended without a reason");
    Expect(walker.position() <= size, in, "ChunkWalker's position is past the data");
    if (walker.stop() == ChunkWalker::Stop::kEnd) {
      Expect(walker.position() == size, in, "ChunkWalker ended before the data did");
    }
    if (walker.stop() == ChunkWalker::Stop::kHeaderCut) {
      Expect(size - walker.position() > 0 && size - walker.position() < kChunkHeaderBytes, in,
             "ChunkWalker's cut header is not between 1 and 7 bytes");
    }

    FieldChunks chunks;
    const bool found = FindFieldChunks(data, size, &chunks);
    // The search walks the same chunks in the same order, up to its second
    // field chunk.
    Expect(found == saw_field, in, "FindFieldChunks and the chunk walk disagree on field chunks");
    if (found) {
      for (const Chunk* c : {&chunks.first_field, &chunks.second_field}) {
        Expect(c->tag == kFirstFieldTag || c->tag == kSecondFieldTag, in,
               "FindFieldChunks chose a chunk that is not a field");
        Expect(c->payload >= data && c->available <= c->length &&
                   static_cast<std::size_t>(c->payload - data) + c->available <= size,
               in, "FindFieldChunks chose a payload outside the data");
      }
    }
  }

  InspectionCheck inspection(in);
  int verdict = VOXA_OK;
  inspection.WellFormed(false, &verdict);
  const bool well_formed = inspection.WellFormed(true, inspect_verdict);
  return well_formed;
}

void CheckDecode(const Input& in, const FieldKernels& kernels, bool inspector_ok,
                 int inspect_verdict) {
  const FrameFormat format{in.format, in.width, in.height};
  const std::size_t raw = static_cast<std::size_t>(RawFrameBytes(in.format, in.width, in.height));

  GuardedFrame first(raw, LineBytes(in), false);
  const DecodeStatus status = DecodeFrame(format, in.frame, in.size, first.pixels(), kernels);
  Expect(first.GuardsIntact(), in, "DecodeFrame wrote outside the frame");
  if (!HasFrameMagic(in.frame, in.size)) {
    Expect(status == DecodeStatus::kNotAFrame, in, "DecodeFrame took a frame without the magic");
  }
  if (status == DecodeStatus::kNotAFrame) {
    Expect(first.Unchanged(0, raw), in, "DecodeFrame wrote pixels for kNotAFrame");
    Expect(!inspector_ok, in, "the inspection accepts what DecodeFrame calls kNotAFrame");
  }
  if (inspector_ok) {
    Expect(status == DecodeStatus::kDecoded, in,
           "the inspection finds the frame well-formed for its size but DecodeFrame does not "
           "decode it in full");
  }
  ExpectLeftoverLineUntouched(in, first, "DecodeFrame wrote the line of an odd height");

  GuardedFrame again(raw, LineBytes(in), false);
  const DecodeStatus status_again =
      DecodeFrame(format, in.frame, in.size, again.pixels(), kernels);
  Expect(status_again == status && again.SamePixels(first), in,
         "two decodes of the same frame differ");

  // Every byte is either written (the same value whatever was there) or kept.
  GuardedFrame inverted(raw, LineBytes(in), true);
  const DecodeStatus status_inverted =
      DecodeFrame(format, in.frame, in.size, inverted.pixels(), kernels);
  Expect(inverted.GuardsIntact(), in, "DecodeFrame wrote outside the frame");
  Expect(status_inverted == status, in, "the decode status depends on the frame's old bytes");
  const uint8_t* a = first.pixels();
  const uint8_t* a0 = first.initial();
  const uint8_t* b = inverted.pixels();
  const uint8_t* b0 = inverted.initial();
  for (std::size_t i = 0; i < raw; ++i) {
    const bool written = a[i] == b[i];
    const bool kept = a[i] == a0[i] && b[i] == b0[i];
    if (!written && !kept) Fail(in, "a decoded byte depends on the frame's old bytes");
  }

  // The same frame through the driver's kernel entries.
  GuardedFrame driver(raw, LineBytes(in), false);
  const DecodeStatus driver_status =
      DecodeFrame(format, in.frame, in.size, driver.pixels(), kDriverKernels);
  Expect(driver.GuardsIntact(), in, "the driver's kernels wrote outside the frame");
  Expect(driver_status == status, in, "the driver's kernels and DecodeFrame's differ in status");
  if (DriverRunsSameDecoder(in, kernels)) {
    Expect(driver.SamePixels(first), in, "the driver's kernels and DecodeFrame's differ in pixels");
  }

  // libvoxa's walk tells the decoders' verdict without decoding.
  const int decoded = status == DecodeStatus::kDecoded   ? VOXA_OK
                      : status == DecodeStatus::kDamaged ? VOXA_ERROR_DAMAGED
                                                         : VOXA_ERROR_NOT_VOXA;
  Expect(inspect_verdict == decoded, in,
         "voxa_inspect_frame's verdict and DecodeFrame's status differ");
}

// value and alpha from before a Y16A round trip, the decoded value after it:
// premultiplied by alpha / 256 rounding down, then multiplied by 256 / alpha
// rounding down, the value can only lose what the first rounding lost.
bool Y16aValueSurvives(uint32_t value, uint32_t alpha, uint32_t decoded) {
  if (alpha == 0) return decoded == 0;
  return decoded <= value && (value - decoded) * alpha < 255 + alpha;
}

// `exact_values`: the portable kernels coded and decoded the frame, whose
// rounding the value bounds describe.
void CheckY16aRoundTrip(const Input& in, const uint8_t* source, const GuardedFrame& out,
                        bool exact_values) {
  const std::size_t line_bytes = LineBytes(in);
  for (uint32_t line = 0; line < FieldLines(in); ++line) {
    for (uint32_t b = 0; b < in.width / kBlockPixels; ++b) {
      const std::size_t at = line * line_bytes + b * 48;
      const uint8_t* s = source + at;
      const uint8_t* o = out.pixels() + at;
      uint8_t max_alpha = 0;
      for (uint32_t i = 0; i < kBlockPixels; ++i) {
        if (s[kAlphaOffset + i] > max_alpha) max_alpha = s[kAlphaOffset + i];
      }
      if (max_alpha < kLiteralAlphaThreshold) {
        bool clear = true;
        for (uint32_t i = 0; i < kBlockPixels; ++i) {
          clear = clear && o[kLumaOffset + i] == 16 && o[kAlphaOffset + i] == 0;
        }
        for (uint32_t k = 0; k < kBlockPixels / 2; ++k) {
          clear = clear && o[kUOffset + k] == 128 && o[kVOffset + k] == 128;
        }
        Expect(clear, in, "a Y16A block of alpha 0 and 1 did not come back as transparent black");
        continue;
      }
      for (uint32_t i = 0; i < kBlockPixels; ++i) {
        Expect(o[kAlphaOffset + i] == s[kAlphaOffset + i], in,
               "a Y16A alpha did not survive the round trip");
      }
      if (!exact_values) continue;
      for (uint32_t i = 0; i < kBlockPixels; ++i) {
        Expect(Y16aValueSurvives(s[kLumaOffset + i], s[kAlphaOffset + i], o[kLumaOffset + i]), in,
               "a Y16A luma came back out of its rounding bounds");
      }
      for (uint32_t k = 0; k < kBlockPixels / 2; ++k) {
        // A component that a transparent pixel could not carry is borrowed
        // from a neighbouring pair.
        const uint8_t a0 = s[kAlphaOffset + 2 * k], a1 = s[kAlphaOffset + 2 * k + 1];
        if (a0 != 0) {
          Expect(Y16aValueSurvives(s[kUOffset + k], a0, o[kUOffset + k]), in,
                 "a Y16A U came back out of its rounding bounds");
        }
        if (a1 != 0) {
          Expect(Y16aValueSurvives(s[kVOffset + k], a1, o[kVOffset + k]), in,
                 "a Y16A V came back out of its rounding bounds");
        }
      }
    }
  }
}

// Every decoder keeps every alpha and writes a pixel of alpha 0 as four zero
// bytes, whatever its partner in the pair.
void CheckRgbaRoundTrip(const Input& in, const uint8_t* source, const GuardedFrame& out) {
  const std::size_t line_bytes = LineBytes(in);
  constexpr std::size_t kBlockBytes = kBlockPixels * 4;
  for (uint32_t line = 0; line < FieldLines(in); ++line) {
    for (uint32_t b = 0; b < in.width / kBlockPixels; ++b) {
      const std::size_t at = line * line_bytes + b * kBlockBytes;
      const uint8_t* s = source + at;
      const uint8_t* o = out.pixels() + at;
      uint8_t max_alpha = 0;
      for (uint32_t i = 0; i < kBlockPixels; ++i) {
        if (s[4 * i + 3] > max_alpha) max_alpha = s[4 * i + 3];
      }
      if (max_alpha < kLiteralAlphaThreshold) {
        bool zero = true;
        for (std::size_t i = 0; i < kBlockBytes; ++i) zero = zero && o[i] == 0;
        Expect(zero, in, "a BGRA block of alpha 0 and 1 did not come back as zero bytes");
        continue;
      }
      for (uint32_t i = 0; i < kBlockPixels; ++i) {
        const uint8_t* sp = s + 4 * i;
        const uint8_t* op = o + 4 * i;
        Expect(op[3] == sp[3], in, "a BGRA alpha did not survive the round trip");
        if (sp[3] == 0) {
          Expect((op[0] | op[1] | op[2]) == 0, in,
                 "a BGRA pixel of alpha 0 did not come back as zero bytes");
        }
      }
    }
  }
}

// A frame the encoder makes from pixels taken from the input decodes in full
// and as the format promises.
void CheckRoundTrip(const Input& in, const FieldKernels& kernels) {
  const FrameFormat format{in.format, in.width, in.height};
  const std::size_t raw = static_cast<std::size_t>(RawFrameBytes(in.format, in.width, in.height));
  std::unique_ptr<uint8_t[]> source(new uint8_t[raw]);
  for (std::size_t i = 0; i < raw; ++i) source[i] = in.size == 0 ? 0 : in.frame[i % in.size];

  const std::size_t max = static_cast<std::size_t>(MaxCompressedFrameBytes(in.width, in.height));
  std::unique_ptr<uint8_t[]> encoded(new uint8_t[max]);
  const std::size_t size = EncodeFrame(format, source.get(), encoded.get(), kernels);
  Expect(size <= max, in, "EncodeFrame wrote more than MaxCompressedFrameBytes");
  Expect(size >= kFrameMagicBytes + 2 * (kChunkHeaderBytes + kRunWordBytes), in,
         "EncodeFrame wrote less than the magic and two chunks with a run word each");

  Input made = in;
  made.frame = encoded.get();
  made.size = size;
  int verdict = VOXA_OK;
  Expect(InspectionCheck(made).WellFormed(true, &verdict) && verdict == VOXA_OK, in,
         "the inspection finds fault with a frame EncodeFrame made");

  GuardedFrame out(raw, LineBytes(in), false);
  const DecodeStatus status = DecodeFrame(format, encoded.get(), size, out.pixels(), kernels);
  Expect(status == DecodeStatus::kDecoded, in, "an encoded frame does not decode in full");
  Expect(out.GuardsIntact(), in, "DecodeFrame wrote outside the frame");
  ExpectLeftoverLineUntouched(in, out, "DecodeFrame wrote the line of an odd height");
  if (in.format == PixelFormat::kY16a) {
    const bool portable = kernels.encode_y16a == kPortableKernels.encode_y16a &&
                          kernels.decode_y16a == kPortableKernels.decode_y16a;
    CheckY16aRoundTrip(in, source.get(), out, portable);
  } else {
    CheckRgbaRoundTrip(in, source.get(), out);
  }

  std::unique_ptr<uint8_t[]> driver(new uint8_t[max]);
  const std::size_t driver_size = EncodeFrame(format, source.get(), driver.get(), kDriverKernels);
  if (DriverRunsSameEncoder(in, kernels)) {
    Expect(driver_size == size && std::memcmp(driver.get(), encoded.get(), size) == 0, in,
           "the driver's kernels and EncodeFrame's make different frames");
  }
}

}  // namespace

std::vector<uint8_t> MakeCheckInput(PixelFormat format, uint32_t width, uint32_t height,
                                    bool round_trip, const std::vector<uint8_t>& frame,
                                    KernelVariant variant) {
  std::vector<uint8_t> input;
  input.push_back(static_cast<uint8_t>((format == PixelFormat::kY16a ? kFlagY16a : 0) |
                                       (round_trip ? kFlagRoundTrip : 0)));
  input.push_back(static_cast<uint8_t>(width / kBlockPixels));
  input.push_back(static_cast<uint8_t>(height));
  input.insert(input.end(), frame.begin(), frame.end());
  return WithVariant(std::move(input), variant);
}

std::vector<uint8_t> WithVariant(std::vector<uint8_t> input, KernelVariant variant) {
  const uint8_t bits = variant == KernelVariant::kSse    ? 1
                       : variant == KernelVariant::kSse2 ? 2
                       : variant == KernelVariant::kAvx2 ? 3
                                                         : 0;
  if (!input.empty()) {
    input[0] = static_cast<uint8_t>((input[0] & ~kVariantMask) | bits << kVariantShift);
  }
  return input;
}

void CheckDecodeFrame(const uint8_t* data, std::size_t size) {
  if (size < kCheckHeaderBytes) return;
  const int bits = (data[0] & kVariantMask) >> kVariantShift;
  const KernelVariant variant = bits == 1   ? KernelVariant::kSse
                                : bits == 2 ? KernelVariant::kSse2
                                : bits == 3 ? KernelVariant::kAvx2
                                            : KernelVariant::kPortable;
  CheckDecodeFrameWith(data, size,
                       HasKernelVariant(variant) ? KernelsOfVariant(variant) : kPortableKernels);
}

void CheckDecodeFrameWith(const uint8_t* data, std::size_t size, const FieldKernels& kernels) {
  if (size < kCheckHeaderBytes) return;
  Input in;
  in.format = (data[0] & kFlagY16a) != 0 ? PixelFormat::kY16a : PixelFormat::kRgba32;
  in.round_trip = (data[0] & kFlagRoundTrip) != 0;
  in.width = data[1] % (kMaxWidthBlocks + 1) * kBlockPixels;
  in.height = data[2] % (kMaxHeight + 1);
  in.size = size - kCheckHeaderBytes;
  std::unique_ptr<uint8_t[]> frame(new uint8_t[in.size]);
  if (in.size != 0) std::memcpy(frame.get(), data + kCheckHeaderBytes, in.size);
  in.frame = frame.get();

  int inspect_verdict = VOXA_OK;
  const bool inspector_ok = CheckContainerAndInspector(in, &inspect_verdict);
  CheckDecode(in, kernels, inspector_ok, inspect_verdict);
  if (in.round_trip) CheckRoundTrip(in, kernels);
}

CheckFailureHandler SetCheckFailureHandler(CheckFailureHandler handler) {
  const CheckFailureHandler previous = g_failure;
  g_failure = handler != nullptr ? handler : DefaultFailure;
  return previous;
}

}  // namespace voxa::fuzz
