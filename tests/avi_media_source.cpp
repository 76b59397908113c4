#include "avi_media_source.h"

#include <cstring>

#include <mfapi.h>
#include <mferror.h>
#include <vfw.h>

namespace voxa::test {
namespace {

// IUnknown, IMFMediaEventGenerator and one more interface; the four event
// calls on the object's own queue.
template <typename Interface, const IID* kIid>
class EventSource : public Interface {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    const bool known = iid == IID_IUnknown || iid == IID_IMFMediaEventGenerator || iid == *kIid;
    *out = known ? static_cast<Interface*>(this) : nullptr;
    if (known) this->AddRef();
    return known ? S_OK : E_NOINTERFACE;
  }
  HRESULT STDMETHODCALLTYPE GetEvent(DWORD flags, IMFMediaEvent** event) override {
    return events->GetEvent(flags, event);
  }
  HRESULT STDMETHODCALLTYPE BeginGetEvent(IMFAsyncCallback* callback, IUnknown* state) override {
    return events->BeginGetEvent(callback, state);
  }
  HRESULT STDMETHODCALLTYPE EndGetEvent(IMFAsyncResult* result, IMFMediaEvent** event) override {
    return events->EndGetEvent(result, event);
  }
  HRESULT STDMETHODCALLTYPE QueueEvent(MediaEventType type, REFGUID extended, HRESULT status,
                                       const PROPVARIANT* value) override {
    return events->QueueEventParamVar(type, extended, status, value);
  }
  HRESULT Queue(MediaEventType type, IUnknown* object = nullptr) {
    if (object != nullptr) return events->QueueEventParamUnk(type, GUID_NULL, S_OK, object);
    return events->QueueEventParamVar(type, GUID_NULL, S_OK, nullptr);
  }

  ComPtr<IMFMediaEventQueue> events;
};

class AviSource;

// The stream lives inside its source and counts references there.
class AviStream final : public EventSource<IMFMediaStream, &IID_IMFMediaStream> {
 public:
  explicit AviStream(AviSource* source) : source_(source) {}
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;
  HRESULT STDMETHODCALLTYPE GetMediaSource(IMFMediaSource** source) override;
  HRESULT STDMETHODCALLTYPE GetStreamDescriptor(IMFStreamDescriptor** descriptor) override {
    descriptor_->AddRef();
    *descriptor = descriptor_.get();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE RequestSample(IUnknown* token) override;

  ComPtr<IMFStreamDescriptor> descriptor_;

 private:
  AviSource* const source_;
};

class AviSource final : public EventSource<IMFMediaSource, &IID_IMFMediaSource> {
 public:
  HRESULT Open(const char* path);
  ULONG STDMETHODCALLTYPE AddRef() override { return InterlockedIncrement(&references_); }
  ULONG STDMETHODCALLTYPE Release() override {
    const LONG left = InterlockedDecrement(&references_);
    if (left == 0) delete this;
    return left;
  }
  HRESULT STDMETHODCALLTYPE GetCharacteristics(DWORD* characteristics) override {
    *characteristics = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE CreatePresentationDescriptor(IMFPresentationDescriptor** pd) override {
    return presentation_->Clone(pd);
  }
  // From where it stopped: the hosts of the tests never seek.
  HRESULT STDMETHODCALLTYPE Start(IMFPresentationDescriptor*, const GUID*,
                                  const PROPVARIANT*) override {
    stream_.Queue(MEStreamStarted);
    Queue(started_ ? MEUpdatedStream : MENewStream, static_cast<IMFMediaStream*>(&stream_));
    started_ = true;
    return Queue(MESourceStarted);
  }
  HRESULT STDMETHODCALLTYPE Stop() override {
    stream_.Queue(MEStreamStopped);
    return Queue(MESourceStopped);
  }
  HRESULT STDMETHODCALLTYPE Pause() override { return MF_E_INVALID_STATE_TRANSITION; }
  HRESULT STDMETHODCALLTYPE Shutdown() override {
    stream_.events->Shutdown();
    return events->Shutdown();
  }

  // The next frame as a sample on the stream's queue, or the end.
  HRESULT NextSample(IUnknown* token) {
    LONG bytes = 0;
    if (next_ >= info_.dwLength || AVIStreamRead(avi_, next_, 1, nullptr, 0, &bytes, nullptr) != 0) {
      stream_.Queue(MEEndOfStream);
      return Queue(MEEndOfPresentation);
    }
    ComPtr<IMFSample> sample = NewSample(nullptr, bytes, next_ * frame_duration_, frame_duration_);
    ComPtr<IMFMediaBuffer> buffer;
    BYTE* data = nullptr;
    if (FAILED(sample->GetBufferByIndex(0, buffer.put())) ||
        FAILED(buffer->Lock(&data, nullptr, nullptr))) {
      return E_FAIL;
    }
    AVIStreamRead(avi_, next_++, 1, data, bytes, nullptr, nullptr);
    buffer->Unlock();
    if (token != nullptr) sample->SetUnknown(MFSampleExtension_Token, token);
    return stream_.Queue(MEMediaSample, sample.get());
  }

 private:
  ~AviSource() {
    if (avi_ != nullptr) AVIStreamRelease(avi_);
  }

  LONG references_ = 1;
  PAVISTREAM avi_ = nullptr;
  AVISTREAMINFOA info_{};
  LONGLONG frame_duration_ = 0;  // in 100 ns
  DWORD next_ = 0;
  bool started_ = false;
  ComPtr<IMFPresentationDescriptor> presentation_;
  AviStream stream_{this};
};

ULONG AviStream::AddRef() { return source_->AddRef(); }
ULONG AviStream::Release() { return source_->Release(); }
HRESULT AviStream::GetMediaSource(IMFMediaSource** source) {
  source_->AddRef();
  *source = source_;
  return S_OK;
}
HRESULT AviStream::RequestSample(IUnknown* token) { return source_->NextSample(token); }

HRESULT AviSource::Open(const char* path) {
  BITMAPINFOHEADER format{};
  LONG format_bytes = sizeof format;
  if (AVIStreamOpenFromFileA(&avi_, path, streamtypeVIDEO, 0, OF_READ, nullptr) != 0 ||
      AVIStreamInfoA(avi_, &info_, sizeof info_) != 0 ||
      AVIStreamReadFormat(avi_, 0, &format, &format_bytes) != 0 || info_.dwRate == 0) {
    return E_FAIL;
  }
  frame_duration_ = 10000000LL * info_.dwScale / info_.dwRate;
  GUID subtype = MFVideoFormat_Base;
  subtype.Data1 = format.biCompression;
  ComPtr<IMFMediaType> type;
  ComPtr<IMFMediaTypeHandler> handler;
  MFCreateMediaType(type.put());
  type->SetGUID(MF_MT_MAJOR_TYPE, MFMediaType_Video);
  type->SetGUID(MF_MT_SUBTYPE, subtype);
  type->SetUINT32(MF_MT_COMPRESSED, TRUE);
  MFSetAttributeSize(type.get(), MF_MT_FRAME_SIZE, format.biWidth, format.biHeight);
  MFSetAttributeRatio(type.get(), MF_MT_FRAME_RATE, info_.dwRate, info_.dwScale);
  IMFMediaType* types[] = {type.get()};
  HRESULT result = MFCreateStreamDescriptor(0, 1, types, stream_.descriptor_.put());
  if (SUCCEEDED(result)) result = stream_.descriptor_->GetMediaTypeHandler(handler.put());
  if (SUCCEEDED(result)) result = handler->SetCurrentMediaType(type.get());
  IMFStreamDescriptor* streams[] = {stream_.descriptor_.get()};
  if (SUCCEEDED(result)) result = MFCreatePresentationDescriptor(1, streams, presentation_.put());
  if (SUCCEEDED(result)) result = presentation_->SelectStream(0);
  if (SUCCEEDED(result)) result = MFCreateEventQueue(events.put());
  if (SUCCEEDED(result)) result = MFCreateEventQueue(stream_.events.put());
  return result;
}

}  // namespace

ComPtr<IMFMediaSource> OpenAviSource(const char* path) {
  ComPtr<IMFMediaSource> source(new AviSource);
  if (FAILED(static_cast<AviSource*>(source.get())->Open(path))) source.Reset();
  return source;
}

ComPtr<IMFSample> NewSample(const uint8_t* bytes, DWORD size, LONGLONG time, LONGLONG duration) {
  ComPtr<IMFSample> sample;
  ComPtr<IMFMediaBuffer> buffer;
  BYTE* data = nullptr;
  MFCreateSample(sample.put());
  MFCreateMemoryBuffer(size == 0 ? 1 : size, buffer.put());
  if (bytes != nullptr && SUCCEEDED(buffer->Lock(&data, nullptr, nullptr))) {
    std::memcpy(data, bytes, size);
    buffer->Unlock();
  }
  buffer->SetCurrentLength(size);
  sample->AddBuffer(buffer.get());
  sample->SetSampleTime(time);
  sample->SetSampleDuration(duration);
  sample->SetUINT32(MFSampleExtension_CleanPoint, TRUE);
  return sample;
}

}  // namespace voxa::test
