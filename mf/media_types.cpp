#include "mf/media_types.h"

#include <cstddef>
#include <cstdint>

#include <mfapi.h>
#include <mferror.h>

#include "mf/com_ptr.h"
#include "mf/transform_ids.h"
#include "voxa/voxa.h"

namespace voxa::mf {
namespace {

// A sample's size is a DWORD, and hosts keep it in a signed 32-bit integer.
constexpr uint64_t kLargestSample = INT32_MAX;

const GUID* const kOutputSubtypes[] = {&MFVideoFormat_ARGB32, &MFVideoFormat_RGB32};

bool HasGuid(IMFMediaType* type, REFGUID key, REFGUID value) {
  GUID found;
  return SUCCEEDED(type->GetGUID(key, &found)) && IsEqualGUID(found, value);
}

// Copies one attribute when `from` has it.
HRESULT CopyItem(IMFMediaType* from, IMFMediaType* to, REFGUID key) {
  PROPVARIANT value;
  PropVariantInit(&value);
  if (FAILED(from->GetItem(key, &value))) return S_OK;
  const HRESULT result = to->SetItem(key, value);
  PropVariantClear(&value);
  return result;
}

// The first failure of a type's steps, or S_OK with the type handed out.
template <std::size_t kSteps>
HRESULT Finish(const HRESULT (&steps)[kSteps], ComPtr<IMFMediaType>* made, IMFMediaType** type) {
  for (const HRESULT step : steps) {
    if (FAILED(step)) return step;
  }
  *type = made->Detach();
  return S_OK;
}

}  // namespace

HRESULT ReadInputType(IMFMediaType* type, InputFormat* format) {
  UINT32 width = 0, height = 0;
  if (type == nullptr || !HasGuid(type, MF_MT_MAJOR_TYPE, MFMediaType_Video) ||
      !HasGuid(type, MF_MT_SUBTYPE, kVoxaSubtype) ||
      FAILED(MFGetAttributeSize(type, MF_MT_FRAME_SIZE, &width, &height))) {
    return MF_E_INVALIDMEDIATYPE;
  }
  // Two fields of equal height, whole blocks of 16 pixels, a bound the
  // codec takes, and a picture whose size fits a sample.
  if (width == 0 || height == 0 || height % 2 != 0 || voxa_max_frame_bytes(width, height) == 0 ||
      uint64_t{width} * kBytesPerPixel * height > kLargestSample) {
    return MF_E_INVALIDMEDIATYPE;
  }
  format->width = width;
  format->height = height;
  return S_OK;
}

HRESULT ReadOutputType(IMFMediaType* type, const InputFormat& input, OutputLayout* layout) {
  if (type == nullptr || !HasGuid(type, MF_MT_MAJOR_TYPE, MFMediaType_Video)) {
    return MF_E_INVALIDMEDIATYPE;
  }
  GUID subtype;
  if (FAILED(type->GetGUID(MF_MT_SUBTYPE, &subtype)) ||
      (!IsEqualGUID(subtype, MFVideoFormat_ARGB32) && !IsEqualGUID(subtype, MFVideoFormat_RGB32))) {
    return MF_E_INVALIDMEDIATYPE;
  }
  UINT32 width = 0, height = 0;
  if (FAILED(MFGetAttributeSize(type, MF_MT_FRAME_SIZE, &width, &height)) ||
      width != input.width || height != input.height) {
    return MF_E_INVALIDMEDIATYPE;
  }
  const int64_t line = int64_t{width} * kBytesPerPixel;
  UINT32 stored = 0;
  int64_t stride = -line;
  if (SUCCEEDED(type->GetUINT32(MF_MT_DEFAULT_STRIDE, &stored))) stride = static_cast<INT32>(stored);
  const uint64_t pitch = static_cast<uint64_t>(stride < 0 ? -stride : stride);
  if (pitch < static_cast<uint64_t>(line) || pitch * height > kLargestSample) {
    return MF_E_INVALIDMEDIATYPE;
  }
  layout->subtype = subtype;
  layout->stride = static_cast<LONG>(stride);
  layout->sample_bytes = static_cast<DWORD>(pitch * height);
  return S_OK;
}

HRESULT MakeInputType(IMFMediaType** type) {
  ComPtr<IMFMediaType> made;
  const HRESULT result = MFCreateMediaType(made.put());
  if (FAILED(result)) return result;
  const HRESULT steps[] = {made->SetGUID(MF_MT_MAJOR_TYPE, MFMediaType_Video),
                           made->SetGUID(MF_MT_SUBTYPE, kVoxaSubtype)};
  return Finish(steps, &made, type);
}

HRESULT MakeOutputType(IMFMediaType* input, DWORD index, IMFMediaType** type) {
  if (index >= sizeof kOutputSubtypes / sizeof kOutputSubtypes[0]) return MF_E_NO_MORE_TYPES;
  InputFormat format;
  HRESULT result = ReadInputType(input, &format);
  if (FAILED(result)) return result;
  const UINT32 line = format.width * kBytesPerPixel;
  const INT32 bottom_up = -static_cast<INT32>(line);
  ComPtr<IMFMediaType> made;
  result = MFCreateMediaType(made.put());
  if (FAILED(result)) return result;
  IMFMediaType* const t = made.get();
  // The input's rate, aspect ratio and interlace mode where it has them.
  const HRESULT steps[] = {
      t->SetGUID(MF_MT_MAJOR_TYPE, MFMediaType_Video),
      t->SetGUID(MF_MT_SUBTYPE, *kOutputSubtypes[index]),
      MFSetAttributeSize(t, MF_MT_FRAME_SIZE, format.width, format.height),
      CopyItem(input, t, MF_MT_FRAME_RATE),
      MFSetAttributeRatio(t, MF_MT_PIXEL_ASPECT_RATIO, 1, 1),
      CopyItem(input, t, MF_MT_PIXEL_ASPECT_RATIO),
      t->SetUINT32(MF_MT_INTERLACE_MODE, MFVideoInterlace_Progressive),
      CopyItem(input, t, MF_MT_INTERLACE_MODE),
      t->SetUINT32(MF_MT_DEFAULT_STRIDE, static_cast<UINT32>(bottom_up)),
      t->SetUINT32(MF_MT_FIXED_SIZE_SAMPLES, TRUE),
      t->SetUINT32(MF_MT_SAMPLE_SIZE, line * format.height),
      t->SetUINT32(MF_MT_ALL_SAMPLES_INDEPENDENT, TRUE),
  };
  return Finish(steps, &made, type);
}

HRESULT CopyType(IMFMediaType* from, IMFMediaType** to) {
  ComPtr<IMFMediaType> made;
  HRESULT result = MFCreateMediaType(made.put());
  if (SUCCEEDED(result)) result = from->CopyAllItems(made.get());
  if (SUCCEEDED(result)) *to = made.Detach();
  return result;
}

}  // namespace voxa::mf
