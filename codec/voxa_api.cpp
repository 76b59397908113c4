// The C API of include/voxa/voxa.h over the codec core.
#include "voxa/voxa.h"

#include <algorithm>
#include <cstdint>

#include "codec/kernel_slots.h"
#include "codec/field_payload.h"
#include "codec/frame_codec.h"
#include "codec/frame_container.h"

namespace voxa {
namespace {

// The largest frame a Windows host can hand the driver: its size bound,
// width × height × 4 + 4096, fits in a signed 32-bit integer.
constexpr uint64_t kLargestBound = INT32_MAX;
constexpr uint64_t kBoundSlack = 4096;

bool TakesSize(uint32_t width, uint32_t height) {
  return width % kBlockPixels == 0 && uint64_t{width} * height * 4 + kBoundSlack <= kLargestBound;
}

// The kernels of one vector variant, or null where this processor or build
// lacks them. The processor is asked once, not at every frame.
template <KernelVariant kVariant>
const FieldKernels* VectorKernels() {
  static const FieldKernels kernels = KernelsOfVariant(kVariant);
  static const bool available = HasKernelVariant(kVariant);
  return available ? &kernels : nullptr;
}

// The kernels of a call, or null with the reason in *status.
const FieldKernels* Kernels(voxa_kernels kernels, int* status) {
  static const FieldKernels kPortable = kPortableKernels;
  const FieldKernels* vector = nullptr;
  switch (kernels) {
    case VOXA_KERNELS_AUTO: {
      // Chosen once, at the first call: the variant the driver installs.
      static const FieldKernels kAuto = KernelsOfVariant(InstalledVariant());
      return &kAuto;
    }
    case VOXA_KERNELS_PORTABLE: return &kPortable;
    case VOXA_KERNELS_SSE: vector = VectorKernels<KernelVariant::kSse>(); break;
    case VOXA_KERNELS_SSE2: vector = VectorKernels<KernelVariant::kSse2>(); break;
    case VOXA_KERNELS_AVX2: vector = VectorKernels<KernelVariant::kAvx2>(); break;
    default:
      *status = VOXA_ERROR_INVALID_ARGUMENT;
      return nullptr;
  }
  if (vector == nullptr) *status = VOXA_ERROR_KERNELS_UNAVAILABLE;
  return vector;
}

// Where the picture's stored line 0 lies and how far apart its stored lines
// are: BGRA frames are stored bottom line first, Y16A frames top line first.
struct StoredLines {
  uint8_t* line0;
  std::ptrdiff_t step;
  FrameFormat format;
};

bool Layout(const voxa_picture* p, StoredLines* lines) {
  if (p == nullptr || (p->format != VOXA_BGRA && p->format != VOXA_Y16A)) return false;
  if (!TakesSize(p->width, p->height)) return false;
  const PixelFormat format = p->format == VOXA_BGRA ? PixelFormat::kRgba32 : PixelFormat::kY16a;
  const std::ptrdiff_t line = static_cast<std::ptrdiff_t>(BytesPerPixel(format) * p->width);
  if (p->height == 0 || p->width == 0) {
    *lines = StoredLines{p->data, line, FrameFormat{format, p->width, p->height}};
    return true;
  }
  if (p->data == nullptr || (p->stride < line && p->stride > -line)) return false;
  const std::ptrdiff_t last = static_cast<std::ptrdiff_t>(p->height - 1) * p->stride;
  *lines = format == PixelFormat::kRgba32
               ? StoredLines{p->data + last, -p->stride, FrameFormat{format, p->width, p->height}}
               : StoredLines{p->data, p->stride, FrameFormat{format, p->width, p->height}};
  return true;
}

// The one walk through a frame's structure: its chunks and, for the chunks
// decoders use, every run word of the payload. voxa_inspect() counts with
// it and voxa_inspect_frame() reports each part; both see the chunks and
// fields exactly as FindFieldChunks() chooses them for the decoders.
class FrameWalk {
 public:
  // What a payload holds, beyond what voxa_frame_part reports: the blocks
  // that lie within its field, as a decoder takes them.
  struct Payload {
    uint64_t run_words = 0;
    uint64_t literal_blocks = 0;      // the whole payload's
    uint64_t transparent_blocks = 0;
    uint64_t coded_blocks = 0;        // zero words included
    uint64_t field_literal = 0;       // within the field's blocks
    uint64_t field_transparent = 0;
    bool exhausted = false;           // it ended before the field's blocks did
  };

  class Visitor {
   public:
    virtual ~Visitor() = default;
    virtual void Part(const voxa_frame_part& part) = 0;
    virtual void FieldPayload(const voxa_frame_part&, const Payload&) {}
  };

  // `field_blocks` is each field's block count, or -1 when the size is not
  // known (then nothing is checked against it and a payload is never found
  // exhausted).
  FrameWalk(const uint8_t* frame, std::size_t size, int64_t field_blocks, Visitor* visitor)
      : frame_(frame), size_(size), field_blocks_(field_blocks), visitor_(visitor) {}

  // The decoders' verdict: VOXA_OK, VOXA_ERROR_DAMAGED or VOXA_ERROR_NOT_VOXA.
  int Run() {
    if (!HasFrameMagic(frame_, size_)) {
      Problem(0, VOXA_PROBLEM_NO_MAGIC, 0, 0, 0, 0, false);
      return VOXA_ERROR_NOT_VOXA;
    }
    const uint8_t* data = frame_ + kFrameMagicBytes;
    const std::size_t data_size = size_ - kFrameMagicBytes;
    FieldChunks chosen;
    const bool any_field = FindFieldChunks(data, data_size, &chosen);
    bool damaged = any_field && chosen.damaged;
    ChunkWalker walker(data, data_size);
    Chunk chunk;
    uint32_t index = 0;
    int fields_found = 0;
    for (; walker.Next(&chunk); ++index) {
      unsigned fields = 0;
      if (any_field && chunk.offset == chosen.first_field.offset) fields |= VOXA_FIELD_FIRST;
      if (any_field && chunk.offset == chosen.second_field.offset) fields |= VOXA_FIELD_SECOND;
      const std::size_t at = chunk.offset + kFrameMagicBytes;
      voxa_frame_part part = NewPart(VOXA_PART_CHUNK, index, at);
      part.tag = chunk.tag;
      part.length = chunk.length;
      part.available = chunk.available;
      part.fields = fields;
      visitor_->Part(part);
      if (chunk.available < chunk.length) {
        // Damage when a decoder uses the chunk or had not found both
        // fields yet.
        Problem(index, VOXA_PROBLEM_CHUNK_CUT, at, 0, chunk.length - chunk.available, 0,
                any_field && (fields != 0 || fields_found < 2));
      }
      if (chunk.tag == kFirstFieldTag || chunk.tag == kSecondFieldTag) ++fields_found;
      if (fields == 0) continue;
      Payload payload;
      WalkPayload(index, at + kChunkHeaderBytes, chunk.payload, chunk.available, &payload);
      voxa_frame_part end = NewPart(VOXA_PART_FIELD, index, at + kChunkHeaderBytes);
      end.run_words = payload.run_words;
      end.literal_blocks = payload.literal_blocks;
      end.transparent_blocks = payload.transparent_blocks;
      end.fields = fields;
      visitor_->Part(end);
      visitor_->FieldPayload(end, payload);
      damaged = damaged || payload.exhausted;
    }
    if (walker.stop() == ChunkWalker::Stop::kHeaderCut) {
      Problem(index, VOXA_PROBLEM_HEADER_CUT, walker.position() + kFrameMagicBytes, 0,
              data_size - walker.position(), 0, any_field && fields_found < 2);
    }
    if (!any_field) {
      Problem(index, VOXA_PROBLEM_NO_FIELD_CHUNK, size_, 0, 0, 0, false);
      return VOXA_ERROR_NOT_VOXA;
    }
    return damaged ? VOXA_ERROR_DAMAGED : VOXA_OK;
  }

 private:
  static voxa_frame_part NewPart(voxa_part_kind kind, uint32_t chunk, std::size_t offset) {
    voxa_frame_part part{};
    part.kind = kind;
    part.chunk = chunk;
    part.offset = offset;
    return part;
  }

  void Problem(uint32_t chunk, voxa_problem problem, std::size_t offset, int32_t word,
               uint64_t count, uint64_t limit, bool damage) {
    voxa_frame_part part = NewPart(VOXA_PART_PROBLEM, chunk, offset);
    part.problem = problem;
    part.word = word;
    part.count = count;
    part.limit = limit;
    part.damage = damage ? 1 : 0;
    visitor_->Part(part);
  }

  // The run words of one payload, `at` bytes into the frame. A decoder
  // takes the field's blocks from the front of the payload (a zero word
  // stands for one block it leaves untouched) and reads no further.
  void WalkPayload(uint32_t chunk, std::size_t at, const uint8_t* payload, std::size_t size,
                   Payload* p) {
    const uint64_t blocks = field_blocks_ < 0 ? UINT64_MAX : static_cast<uint64_t>(field_blocks_);
    auto within = [&](uint64_t n) {
      const uint64_t left = blocks - std::min(blocks, p->coded_blocks);
      return std::min(n, left);
    };
    // Whether the payload runs out before the field's blocks: the damage a
    // decoder finds.
    auto short_of_field = [&](uint64_t more) {
      return field_blocks_ >= 0 && p->coded_blocks + more < blocks;
    };
    std::size_t pos = 0;
    int32_t previous = 0;
    bool ended_early = false;
    while (pos < size) {
      if (size - pos < kRunWordBytes) {
        p->exhausted = short_of_field(0);
        Problem(chunk, VOXA_PROBLEM_STRAY_BYTES, at + pos, 0, size - pos, 0, p->exhausted);
        ended_early = true;
        break;
      }
      const int32_t word = LoadWord(payload + pos);
      const std::size_t word_at = at + pos;
      pos += kRunWordBytes;
      ++p->run_words;
      voxa_frame_part part = NewPart(VOXA_PART_RUN_WORD, chunk, word_at);
      part.word = word;
      visitor_->Part(part);
      if (word == 0) {
        if (size != kRunWordBytes) Problem(chunk, VOXA_PROBLEM_ZERO_WORD, word_at, 0, 0, 0, false);
        p->coded_blocks += 1;
      } else if (word < 0) {
        const uint64_t n = Magnitude(word);
        p->field_transparent += within(n);
        p->transparent_blocks += n;
        p->coded_blocks += n;
      } else {
        const uint64_t n = Magnitude(word);
        const uint64_t left = size - pos;
        const uint64_t whole = std::min<uint64_t>(n, left / kLiteralBlockBytes);
        p->field_literal += within(whole);
        p->literal_blocks += whole;
        if (whole < n) {
          p->exhausted = short_of_field(whole);
          p->coded_blocks += whole;
          Problem(chunk, VOXA_PROBLEM_LITERALS_CUT, word_at, word, n * kLiteralBlockBytes, left,
                  p->exhausted);
          ended_early = true;
          break;
        }
        p->coded_blocks += n;
        pos += static_cast<std::size_t>(n * kLiteralBlockBytes);
      }
      if (previous != 0 && word != 0 && (previous < 0) == (word < 0)) {
        Problem(chunk, VOXA_PROBLEM_SAME_SIGN, word_at, word, 0, 0, false);
      }
      previous = word;
    }
    if (field_blocks_ < 0) return;
    if (!ended_early) p->exhausted = p->coded_blocks < blocks;
    const bool empty_field = blocks == 0 && p->run_words == 1 && size == kRunWordBytes &&
                             p->coded_blocks == 1;
    if (!empty_field && p->coded_blocks != blocks) {
      // When the payload simply stopped, this is where a decoder ran out.
      Problem(chunk, VOXA_PROBLEM_BLOCK_COUNT, at + size, 0, p->coded_blocks, blocks,
              p->exhausted && !ended_early);
    }
  }

  static uint64_t Magnitude(int32_t word) {
    return word < 0 ? static_cast<uint64_t>(-static_cast<int64_t>(word))
                    : static_cast<uint64_t>(word);
  }

  const uint8_t* frame_;
  std::size_t size_;
  int64_t field_blocks_;
  Visitor* visitor_;
};

// voxa_inspect()'s counts: the blocks decoders take, field by field (the
// only field chunk of a frame counts for both fields).
class CountingVisitor : public FrameWalk::Visitor {
 public:
  explicit CountingVisitor(voxa_frame_info* info) : info_(info) {}
  void Part(const voxa_frame_part&) override {}
  void FieldPayload(const voxa_frame_part& field, const FrameWalk::Payload& p) override {
    const int uses = (field.fields & VOXA_FIELD_FIRST ? 1 : 0) + (field.fields & VOXA_FIELD_SECOND ? 1 : 0);
    info_->fields += 1;
    info_->literal_blocks += uses * p.field_literal;
    info_->transparent_blocks += uses * p.field_transparent;
  }

 private:
  voxa_frame_info* info_;
};

class CallbackVisitor : public FrameWalk::Visitor {
 public:
  CallbackVisitor(voxa_part_callback callback, void* opaque) : callback_(callback), opaque_(opaque) {}
  void Part(const voxa_frame_part& part) override { callback_(opaque_, &part); }

 private:
  voxa_part_callback callback_;
  void* opaque_;
};

}  // namespace
}  // namespace voxa

using namespace voxa;

extern "C" {

unsigned voxa_version(void) { return VOXA_VERSION; }

const char* voxa_version_string(void) { return "1.0.0"; }

const char* voxa_status_string(int status) {
  switch (status) {
    case VOXA_OK: return "success";
    case VOXA_ERROR_INVALID_ARGUMENT: return "invalid argument";
    case VOXA_ERROR_BUFFER_TOO_SMALL: return "output buffer too small";
    case VOXA_ERROR_NOT_VOXA: return "not a VOXA frame";
    case VOXA_ERROR_DAMAGED: return "damaged VOXA frame, decoded as far as it goes";
    case VOXA_ERROR_KERNELS_UNAVAILABLE: return "these kernels are not available here";
    default: return "unknown status";
  }
}

int voxa_kernels_available(voxa_kernels kernels) {
  int status = VOXA_OK;
  return Kernels(kernels, &status) != nullptr ? VOXA_OK : status;
}

size_t voxa_max_frame_bytes(uint32_t width, uint32_t height) {
  if (!TakesSize(width, height)) return 0;
  return static_cast<size_t>(MaxCompressedFrameBytes(width, height));
}

int voxa_encode(const voxa_picture* picture, voxa_kernels kernels, uint8_t* out,
                size_t capacity, size_t* written) {
  StoredLines lines;
  if (!Layout(picture, &lines) || out == nullptr || written == nullptr) {
    return VOXA_ERROR_INVALID_ARGUMENT;
  }
  int status = VOXA_OK;
  const FieldKernels* k = Kernels(kernels, &status);
  if (k == nullptr) return status;
  if (capacity < voxa_max_frame_bytes(picture->width, picture->height)) {
    return VOXA_ERROR_BUFFER_TOO_SMALL;
  }
  *written = EncodeFrameLines(lines.format, lines.line0, lines.step, out, *k);
  return VOXA_OK;
}

int voxa_decode(const uint8_t* frame, size_t size, voxa_kernels kernels,
                const voxa_picture* picture) {
  StoredLines lines;
  if (!Layout(picture, &lines) || (frame == nullptr && size != 0)) {
    return VOXA_ERROR_INVALID_ARGUMENT;
  }
  int status = VOXA_OK;
  const FieldKernels* k = Kernels(kernels, &status);
  if (k == nullptr) return status;
  switch (DecodeFrameLines(lines.format, frame, size, lines.line0, lines.step, *k)) {
    case DecodeStatus::kDecoded: return VOXA_OK;
    case DecodeStatus::kNotAFrame: return VOXA_ERROR_NOT_VOXA;
    case DecodeStatus::kDamaged: return VOXA_ERROR_DAMAGED;
  }
  return VOXA_ERROR_DAMAGED;
}

voxa_kernels voxa_auto_kernels(void) {
  switch (InstalledVariant()) {
    case KernelVariant::kSse: return VOXA_KERNELS_SSE;
    case KernelVariant::kSse2: return VOXA_KERNELS_SSE2;
    case KernelVariant::kAvx2: return VOXA_KERNELS_AVX2;
    default: return VOXA_KERNELS_PORTABLE;
  }
}

int voxa_inspect(const uint8_t* frame, size_t size, uint32_t width, uint32_t height,
                 voxa_frame_info* info) {
  if (info == nullptr || (frame == nullptr && size != 0) || !TakesSize(width, height)) {
    return VOXA_ERROR_INVALID_ARGUMENT;
  }
  *info = voxa_frame_info{size, 0, 0, 0, 0};
  CountingVisitor counts(info);
  const int64_t blocks = static_cast<int64_t>(FieldBlockCount(width, height / 2));
  const int status = FrameWalk(frame, size, blocks, &counts).Run();
  info->damaged = status == VOXA_ERROR_DAMAGED ? 1 : 0;
  return status;
}

int voxa_inspect_frame(const uint8_t* frame, size_t size, uint32_t width, uint32_t height,
                       voxa_part_callback callback, void* opaque) {
  const bool unknown = width == VOXA_SIZE_UNKNOWN && height == VOXA_SIZE_UNKNOWN;
  if (callback == nullptr || (frame == nullptr && size != 0) ||
      (!unknown && !TakesSize(width, height))) {
    return VOXA_ERROR_INVALID_ARGUMENT;
  }
  CallbackVisitor visitor(callback, opaque);
  const int64_t blocks =
      unknown ? -1 : static_cast<int64_t>(FieldBlockCount(width, height / 2));
  return FrameWalk(frame, size, blocks, &visitor).Run();
}

}  // extern "C"
