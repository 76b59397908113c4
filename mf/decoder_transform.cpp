#include "mf/decoder_transform.h"

#include <cstdint>

#include <mfapi.h>
#include <mferror.h>

#include "mf/com_ptr.h"
#include "mf/output_picture.h"
#include "voxa/voxa.h"

namespace voxa::mf {
namespace {

constexpr LONGLONG kEarliest = INT64_MIN;
constexpr LONGLONG kLatest = INT64_MAX;

// The instance's lock, held for one method.
class Hold {
 public:
  explicit Hold(CRITICAL_SECTION* lock) : lock_(lock) { EnterCriticalSection(lock_); }
  ~Hold() { LeaveCriticalSection(lock_); }
  Hold(const Hold&) = delete;
  Hold& operator=(const Hold&) = delete;

 private:
  CRITICAL_SECTION* const lock_;
};

// Sets *slot to `value` (a counted reference, or null), releasing the old one.
template <typename T>
void Replace(T** slot, T* value) {
  if (*slot != nullptr) (*slot)->Release();
  *slot = value;
}

// The attributes of a frame that its picture carries.
const GUID* const kCarriedAttributes[] = {&MFSampleExtension_CleanPoint,
                                          &MFSampleExtension_Discontinuity};

HRESULT CarryTiming(IMFSample* from, IMFSample* to) {
  LONGLONG value = 0;
  HRESULT result = S_OK;
  if (SUCCEEDED(from->GetSampleTime(&value))) result = to->SetSampleTime(value);
  if (SUCCEEDED(result) && SUCCEEDED(from->GetSampleDuration(&value))) {
    result = to->SetSampleDuration(value);
  }
  for (const GUID* key : kCarriedAttributes) {
    UINT32 flag = 0;
    if (SUCCEEDED(result) && SUCCEEDED(from->GetUINT32(*key, &flag))) {
      result = to->SetUINT32(*key, flag);
    }
  }
  return result;
}

}  // namespace

DecoderTransform::DecoderTransform() : lower_bound_(kEarliest), upper_bound_(kLatest) {
  InitializeCriticalSection(&lock_);
  AddServerReference();
}

DecoderTransform::~DecoderTransform() {
  Replace(&pending_, static_cast<IMFSample*>(nullptr));
  Replace(&input_type_, static_cast<IMFMediaType*>(nullptr));
  Replace(&output_type_, static_cast<IMFMediaType*>(nullptr));
  Replace(&attributes_, static_cast<IMFAttributes*>(nullptr));
  DeleteCriticalSection(&lock_);
  ReleaseServerReference();
}

HRESULT DecoderTransform::Create(REFIID iid, void** out) {
  DecoderTransform* made = new DecoderTransform;
  if (made == nullptr) return E_OUTOFMEMORY;
  const HRESULT result = made->QueryInterface(iid, out);
  made->Release();
  return result;
}

// ---- IUnknown ----

HRESULT DecoderTransform::QueryInterface(REFIID iid, void** out) {
  if (out == nullptr) return E_POINTER;
  if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IMFTransform)) {
    *out = static_cast<IMFTransform*>(this);
    AddRef();
    return S_OK;
  }
  *out = nullptr;
  return E_NOINTERFACE;
}

ULONG DecoderTransform::AddRef() { return static_cast<ULONG>(InterlockedIncrement(&references_)); }

ULONG DecoderTransform::Release() {
  const LONG left = InterlockedDecrement(&references_);
  if (left == 0) delete this;
  return static_cast<ULONG>(left);
}

// ---- streams: one in, one out, fixed ----

HRESULT DecoderTransform::GetStreamLimits(DWORD* input_minimum, DWORD* input_maximum,
                                          DWORD* output_minimum, DWORD* output_maximum) {
  if (input_minimum == nullptr || input_maximum == nullptr || output_minimum == nullptr ||
      output_maximum == nullptr) {
    return E_POINTER;
  }
  *input_minimum = *input_maximum = *output_minimum = *output_maximum = 1;
  return S_OK;
}

HRESULT DecoderTransform::GetStreamCount(DWORD* inputs, DWORD* outputs) {
  if (inputs == nullptr || outputs == nullptr) return E_POINTER;
  *inputs = *outputs = 1;
  return S_OK;
}

// Fixed streams are numbered from 0: no ids to give.
HRESULT DecoderTransform::GetStreamIDs(DWORD, DWORD*, DWORD, DWORD*) { return E_NOTIMPL; }

HRESULT DecoderTransform::GetInputStreamInfo(DWORD stream, MFT_INPUT_STREAM_INFO* info) {
  if (info == nullptr) return E_POINTER;
  if (stream != 0) return MF_E_INVALIDSTREAMNUMBER;
  // A frame a sample, of any size, decoded at once.
  *info = MFT_INPUT_STREAM_INFO{0, MFT_INPUT_STREAM_WHOLE_SAMPLES |
                                       MFT_INPUT_STREAM_SINGLE_SAMPLE_PER_BUFFER, 0, 0, 0};
  return S_OK;
}

HRESULT DecoderTransform::GetOutputStreamInfo(DWORD stream, MFT_OUTPUT_STREAM_INFO* info) {
  if (info == nullptr) return E_POINTER;
  if (stream != 0) return MF_E_INVALIDSTREAMNUMBER;
  Hold hold(&lock_);
  DWORD bytes = 0;
  if (output_type_ != nullptr) {
    bytes = output_layout_.sample_bytes;
  } else if (input_type_ != nullptr) {
    bytes = PictureBytes(input_format_);
  }
  *info = MFT_OUTPUT_STREAM_INFO{MFT_OUTPUT_STREAM_WHOLE_SAMPLES |
                                     MFT_OUTPUT_STREAM_SINGLE_SAMPLE_PER_BUFFER |
                                     MFT_OUTPUT_STREAM_FIXED_SAMPLE_SIZE |
                                     MFT_OUTPUT_STREAM_CAN_PROVIDE_SAMPLES,
                                 bytes, 0};
  return S_OK;
}

HRESULT DecoderTransform::GetAttributes(IMFAttributes** attributes) {
  if (attributes == nullptr) return E_POINTER;
  Hold hold(&lock_);
  // Empty: not Direct3D-aware, synchronous.
  if (attributes_ == nullptr) {
    const HRESULT result = MFCreateAttributes(&attributes_, 0);
    if (FAILED(result)) return result;
  }
  attributes_->AddRef();
  *attributes = attributes_;
  return S_OK;
}

HRESULT DecoderTransform::GetInputStreamAttributes(DWORD, IMFAttributes**) { return E_NOTIMPL; }
HRESULT DecoderTransform::GetOutputStreamAttributes(DWORD, IMFAttributes**) { return E_NOTIMPL; }
HRESULT DecoderTransform::DeleteInputStream(DWORD) { return E_NOTIMPL; }
HRESULT DecoderTransform::AddInputStreams(DWORD, DWORD*) { return E_NOTIMPL; }

// ---- media types ----

HRESULT DecoderTransform::GetInputAvailableType(DWORD stream, DWORD index, IMFMediaType** type) {
  if (type == nullptr) return E_POINTER;
  if (stream != 0) return MF_E_INVALIDSTREAMNUMBER;
  if (index > 0) return MF_E_NO_MORE_TYPES;
  return MakeInputType(type);
}

HRESULT DecoderTransform::GetOutputAvailableType(DWORD stream, DWORD index, IMFMediaType** type) {
  if (type == nullptr) return E_POINTER;
  if (stream != 0) return MF_E_INVALIDSTREAMNUMBER;
  Hold hold(&lock_);
  if (input_type_ == nullptr) return MF_E_TRANSFORM_TYPE_NOT_SET;
  return MakeOutputType(input_type_, index, type);
}

HRESULT DecoderTransform::SetInputType(DWORD stream, IMFMediaType* type, DWORD flags) {
  if (stream != 0) return MF_E_INVALIDSTREAMNUMBER;
  if ((flags & ~DWORD{MFT_SET_TYPE_TEST_ONLY}) != 0) return E_INVALIDARG;
  const bool test_only = (flags & MFT_SET_TYPE_TEST_ONLY) != 0;
  Hold hold(&lock_);
  InputFormat format;
  if (type != nullptr) {
    const HRESULT result = ReadInputType(type, &format);
    if (FAILED(result) || test_only) return result;
  } else if (test_only) {
    return S_OK;
  }
  if (pending_ != nullptr) return MF_E_TRANSFORM_CANNOT_CHANGE_MEDIATYPE_WHILE_PROCESSING;
  IMFMediaType* copy = nullptr;
  if (type != nullptr) {
    const HRESULT result = CopyType(type, &copy);
    if (FAILED(result)) return result;
  }
  Replace(&input_type_, copy);
  input_format_ = format;
  // The output type stays while it fits the new input.
  OutputLayout layout;
  if (output_type_ != nullptr &&
      (copy == nullptr || FAILED(ReadOutputType(output_type_, format, &layout)))) {
    Replace(&output_type_, static_cast<IMFMediaType*>(nullptr));
  } else if (output_type_ != nullptr) {
    output_layout_ = layout;
  }
  return S_OK;
}

HRESULT DecoderTransform::SetOutputType(DWORD stream, IMFMediaType* type, DWORD flags) {
  if (stream != 0) return MF_E_INVALIDSTREAMNUMBER;
  if ((flags & ~DWORD{MFT_SET_TYPE_TEST_ONLY}) != 0) return E_INVALIDARG;
  const bool test_only = (flags & MFT_SET_TYPE_TEST_ONLY) != 0;
  Hold hold(&lock_);
  if (type == nullptr) {
    if (!test_only) Replace(&output_type_, static_cast<IMFMediaType*>(nullptr));
    return S_OK;
  }
  if (input_type_ == nullptr) return MF_E_TRANSFORM_TYPE_NOT_SET;
  OutputLayout layout;
  HRESULT result = ReadOutputType(type, input_format_, &layout);
  if (FAILED(result) || test_only) return result;
  IMFMediaType* copy = nullptr;
  result = CopyType(type, &copy);
  if (FAILED(result)) return result;
  Replace(&output_type_, copy);
  output_layout_ = layout;
  return S_OK;
}

HRESULT DecoderTransform::GetInputCurrentType(DWORD stream, IMFMediaType** type) {
  if (type == nullptr) return E_POINTER;
  if (stream != 0) return MF_E_INVALIDSTREAMNUMBER;
  Hold hold(&lock_);
  if (input_type_ == nullptr) return MF_E_TRANSFORM_TYPE_NOT_SET;
  return CopyType(input_type_, type);
}

HRESULT DecoderTransform::GetOutputCurrentType(DWORD stream, IMFMediaType** type) {
  if (type == nullptr) return E_POINTER;
  if (stream != 0) return MF_E_INVALIDSTREAMNUMBER;
  Hold hold(&lock_);
  if (output_type_ == nullptr) return MF_E_TRANSFORM_TYPE_NOT_SET;
  return CopyType(output_type_, type);
}

// ---- status ----

HRESULT DecoderTransform::GetInputStatus(DWORD stream, DWORD* flags) {
  if (flags == nullptr) return E_POINTER;
  if (stream != 0) return MF_E_INVALIDSTREAMNUMBER;
  Hold hold(&lock_);
  if (!TypesSet()) return MF_E_TRANSFORM_TYPE_NOT_SET;
  *flags = pending_ == nullptr && !draining_ ? MFT_INPUT_STATUS_ACCEPT_DATA : 0;
  return S_OK;
}

HRESULT DecoderTransform::GetOutputStatus(DWORD* flags) {
  if (flags == nullptr) return E_POINTER;
  Hold hold(&lock_);
  if (!TypesSet()) return MF_E_TRANSFORM_TYPE_NOT_SET;
  *flags = pending_ != nullptr ? MFT_OUTPUT_STATUS_SAMPLE_READY : 0;
  return S_OK;
}

HRESULT DecoderTransform::SetOutputBounds(LONGLONG lower, LONGLONG upper) {
  if (lower > upper) return E_INVALIDARG;
  Hold hold(&lock_);
  lower_bound_ = lower;
  upper_bound_ = upper;
  return S_OK;
}

// ---- messages and events ----

HRESULT DecoderTransform::ProcessEvent(DWORD, IMFMediaEvent*) { return E_NOTIMPL; }

HRESULT DecoderTransform::ProcessMessage(MFT_MESSAGE_TYPE message, ULONG_PTR parameter) {
  Hold hold(&lock_);
  switch (message) {
    case MFT_MESSAGE_COMMAND_FLUSH:
      DropPending();
      draining_ = false;
      return S_OK;
    case MFT_MESSAGE_COMMAND_DRAIN:
      // The waiting frame, if any, is the last output before new input.
      draining_ = pending_ != nullptr;
      return S_OK;
    case MFT_MESSAGE_SET_D3D_MANAGER:
      // System memory only: a manager is refused, its removal is no change.
      return parameter == 0 ? S_OK : E_NOTIMPL;
    default:
      // Begin and end of streaming and of a stream, ticks, resource notices:
      // nothing to allocate or release, a frame is decoded whole when asked.
      return S_OK;
  }
}

void DecoderTransform::DropPending() { Replace(&pending_, static_cast<IMFSample*>(nullptr)); }

// ---- samples ----

HRESULT DecoderTransform::ProcessInput(DWORD stream, IMFSample* sample, DWORD flags) {
  if (sample == nullptr) return E_POINTER;
  if (flags != 0) return E_INVALIDARG;
  if (stream != 0) return MF_E_INVALIDSTREAMNUMBER;
  Hold hold(&lock_);
  if (!TypesSet()) return MF_E_TRANSFORM_TYPE_NOT_SET;
  if (pending_ != nullptr || draining_) return MF_E_NOTACCEPTING;
  LONGLONG time = 0;
  if (SUCCEEDED(sample->GetSampleTime(&time)) && (time < lower_bound_ || time > upper_bound_)) {
    return S_OK;  // outside the output bounds: taken, and dropped
  }
  sample->AddRef();
  pending_ = sample;
  return S_OK;
}

HRESULT DecoderTransform::NewOutputSample(IMFSample** sample) {
  ComPtr<IMFSample> made;
  ComPtr<IMFMediaBuffer> buffer;
  HRESULT result = MFCreateSample(made.put());
  if (SUCCEEDED(result)) result = MFCreateMemoryBuffer(output_layout_.sample_bytes, buffer.put());
  if (SUCCEEDED(result)) result = made->AddBuffer(buffer.get());
  if (SUCCEEDED(result)) *sample = made.Detach();
  return result;
}

HRESULT DecoderTransform::DecodePending(IMFSample* sample) {
  ComPtr<IMFMediaBuffer> buffer;
  DWORD buffers = 0;
  HRESULT result = sample->GetBufferCount(&buffers);
  if (SUCCEEDED(result) && buffers == 0) {
    // A sample without memory gets the picture's.
    result = MFCreateMemoryBuffer(output_layout_.sample_bytes, buffer.put());
    if (SUCCEEDED(result)) result = sample->AddBuffer(buffer.get());
  } else if (SUCCEEDED(result)) {
    result = sample->ConvertToContiguousBuffer(buffer.put());
  }
  OutputPicture picture;
  if (SUCCEEDED(result)) result = picture.Lock(buffer.get(), input_format_, output_layout_);
  if (FAILED(result)) return result;

  // A frame that cannot be read is no frame: its picture is transparent.
  ComPtr<IMFMediaBuffer> input;
  BYTE* frame = nullptr;
  DWORD size = 0;
  if (SUCCEEDED(pending_->ConvertToContiguousBuffer(input.put())) &&
      SUCCEEDED(input->Lock(&frame, nullptr, &size))) {
    picture.Decode(frame, size);
    input->Unlock();
  } else {
    picture.Decode(nullptr, 0);
  }
  return CarryTiming(pending_, sample);
}

HRESULT DecoderTransform::ProcessOutput(DWORD, DWORD count, MFT_OUTPUT_DATA_BUFFER* buffers,
                                        DWORD* status) {
  if (buffers == nullptr || status == nullptr) return E_POINTER;
  if (count != 1) return E_INVALIDARG;
  *status = 0;
  MFT_OUTPUT_DATA_BUFFER& output = buffers[0];
  output.dwStatus = 0;
  output.pEvents = nullptr;
  if (output.dwStreamID != 0) return MF_E_INVALIDSTREAMNUMBER;
  Hold hold(&lock_);
  if (!TypesSet()) return MF_E_TRANSFORM_TYPE_NOT_SET;
  if (pending_ == nullptr) {
    draining_ = false;
    return MF_E_TRANSFORM_NEED_MORE_INPUT;
  }
  ComPtr<IMFSample> sample;
  HRESULT result = S_OK;
  if (output.pSample != nullptr) {
    output.pSample->AddRef();
    *sample.put() = output.pSample;
  } else {
    result = NewOutputSample(sample.put());
  }
  if (SUCCEEDED(result)) result = DecodePending(sample.get());
  // A buffer too small for the picture keeps the frame for another try.
  if (FAILED(result)) return result;
  DropPending();
  if (output.pSample == nullptr) output.pSample = sample.Detach();
  return S_OK;
}

}  // namespace voxa::mf
