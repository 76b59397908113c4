#include "mf/output_picture.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

#include <mferror.h>

namespace voxa::mf {
namespace {

uint64_t Magnitude(LONG stride) {
  return static_cast<uint64_t>(stride < 0 ? -int64_t{stride} : int64_t{stride});
}

}  // namespace

OutputPicture::~OutputPicture() {
  if (surface_ != nullptr) {
    surface_->Unlock2D();
    surface_->Release();
  } else if (buffer_ != nullptr) {
    buffer_->Unlock();
  }
  if (buffer_ != nullptr) buffer_->Release();
}

HRESULT OutputPicture::Lock(IMFMediaBuffer* buffer, const InputFormat& format,
                            const OutputLayout& layout) {
  const uint64_t line = uint64_t{format.width} * kBytesPerPixel;
  const uint64_t picture_bytes = line * format.height;
  BYTE* top = nullptr;
  LONG stride = layout.stride;
  IMF2DBuffer2* sized = nullptr;
  IMF2DBuffer* surface = nullptr;
  HRESULT result;
  if (SUCCEEDED(buffer->QueryInterface(IID_IMF2DBuffer2, reinterpret_cast<void**>(&sized)))) {
    // The span of memory the surface covers: every line must lie within it.
    BYTE* start = nullptr;
    DWORD span = 0;
    result = sized->Lock2DSize(MF2DBuffer_LockFlags_Write, &top, &stride, &start, &span);
    surface = sized;
    if (SUCCEEDED(result)) {
      const int64_t first = top - start;
      const int64_t last = first + (int64_t{format.height} - 1) * stride;
      const int64_t lowest = first < last ? first : last, highest = first < last ? last : first;
      if (Magnitude(stride) < line || lowest < 0 || uint64_t(highest) + line > span) {
        surface->Unlock2D();
        result = MF_E_BUFFERTOOSMALL;
      }
    }
  } else if (SUCCEEDED(buffer->QueryInterface(IID_IMF2DBuffer, reinterpret_cast<void**>(&surface)))) {
    // Without the span, the surface's own picture size must be this one's.
    DWORD contiguous = 0;
    result = surface->GetContiguousLength(&contiguous);
    if (SUCCEEDED(result) && contiguous < picture_bytes) result = MF_E_BUFFERTOOSMALL;
    if (SUCCEEDED(result)) result = surface->Lock2D(&top, &stride);
    if (SUCCEEDED(result) && Magnitude(stride) < line) {
      surface->Unlock2D();
      result = MF_E_BUFFERTOOSMALL;
    }
  } else {
    BYTE* data = nullptr;
    DWORD capacity = 0;
    result = buffer->Lock(&data, &capacity, nullptr);
    if (SUCCEEDED(result) && capacity < layout.sample_bytes) {
      buffer->Unlock();
      result = MF_E_BUFFERTOOSMALL;
    }
    // The type's stride: a bottom-up picture's top line is the last in memory.
    if (SUCCEEDED(result)) top = stride < 0 ? data + (format.height - 1) * Magnitude(stride) : data;
  }
  if (FAILED(result)) {
    if (surface != nullptr) surface->Release();
    return result;
  }
  buffer->AddRef();
  buffer_ = buffer;
  surface_ = surface;
  length_ = layout.sample_bytes;
  if (surface != nullptr && FAILED(surface->GetContiguousLength(&length_))) length_ = 0;
  picture_ = voxa_picture{VOXA_BGRA, format.width, format.height, top, stride};
  return S_OK;
}

int OutputPicture::Decode(const uint8_t* frame, size_t size) {
  const size_t line = size_t{picture_.width} * kBytesPerPixel;
  for (uint32_t y = 0; y < picture_.height; ++y) {
    std::memset(picture_.data + static_cast<std::ptrdiff_t>(y) * picture_.stride, 0, line);
  }
  const int status = voxa_decode(frame, size, VOXA_KERNELS_AUTO, &picture_);
  buffer_->SetCurrentLength(length_);
  return status;
}

}  // namespace voxa::mf
