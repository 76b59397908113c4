// The C API of include/voxa/voxa.h over the codec core.
#include "voxa/voxa.h"

#include <cstdint>
#include <initializer_list>

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

int voxa_inspect(const uint8_t* frame, size_t size, uint32_t width, uint32_t height,
                 voxa_frame_info* info) {
  if (info == nullptr || (frame == nullptr && size != 0) || !TakesSize(width, height)) {
    return VOXA_ERROR_INVALID_ARGUMENT;
  }
  *info = voxa_frame_info{size, 0, 0, 0, 0};
  FieldChunks chunks;
  if (!HasFrameMagic(frame, size) ||
      !FindFieldChunks(frame + kFrameMagicBytes, size - kFrameMagicBytes, &chunks)) {
    return VOXA_ERROR_NOT_VOXA;
  }
  info->fields = chunks.first_field.offset == chunks.second_field.offset ? 1 : 2;
  bool damaged = chunks.damaged;
  const uint64_t blocks = FieldBlockCount(width, height / 2);
  for (const Chunk* chunk : {&chunks.first_field, &chunks.second_field}) {
    RunReader runs(chunk->payload, chunk->payload + chunk->available, 0);
    for (uint64_t b = 0; b < blocks; ++b) {
      const RunReader::Block kind = runs.Next();
      if (kind == RunReader::Block::kExhausted) {
        damaged = true;
        break;
      }
      info->literal_blocks += kind == RunReader::Block::kLiteral;
      info->transparent_blocks += kind == RunReader::Block::kTransparent;
    }
  }
  info->damaged = damaged ? 1 : 0;
  return damaged ? VOXA_ERROR_DAMAGED : VOXA_OK;
}

}  // extern "C"
