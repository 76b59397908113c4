#include "avi_media_source.h"

#include <vector>

#include <mfapi.h>
#include <mferror.h>
#include <vfw.h>

namespace voxa::test {
namespace {

class AviSource;

// The four event calls of a source or stream, on its own queue.
template <typename Interface>
class WithEvents : public Interface {
 public:
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

// The stream lives inside its source and counts references there.
class AviStream final : public WithEvents<IMFMediaStream> {
 public:
  explicit AviStream(AviSource* source) : source_(source) {}
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
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

class AviSource final : public WithEvents<IMFMediaSource> {
 public:
  HRESULT Open(const char* path);
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (iid != IID_IUnknown && iid != IID_IMFMediaEventGenerator && iid != IID_IMFMediaSource) {
      *out = nullptr;
      return E_NOINTERFACE;
    }
    *out = static_cast<IMFMediaSource*>(this);
    AddRef();
    return S_OK;
  }
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
  // From the start or from where it stopped; seeking is not needed.
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
    if (next_ >= info_.dwLength) {
      stream_.Queue(MEEndOfStream);
      return Queue(MEEndOfPresentation);
    }
    LONG bytes = 0;
    AVIStreamRead(avi_, next_, 1, nullptr, 0, &bytes, nullptr);
    ComPtr<IMFMediaBuffer> buffer;
    ComPtr<IMFSample> sample;
    BYTE* data = nullptr;
    if (FAILED(MFCreateMemoryBuffer(bytes, buffer.put())) ||
        FAILED(buffer->Lock(&data, nullptr, nullptr))) {
      return E_FAIL;
    }
    AVIStreamRead(avi_, next_, 1, data, bytes, nullptr, nullptr);
    buffer->Unlock();
    buffer->SetCurrentLength(bytes);
    MFCreateSample(sample.put());
    sample->AddBuffer(buffer.get());
    sample->SetSampleTime(next_ * frame_duration_);
    sample->SetSampleDuration(frame_duration_);
    sample->SetUINT32(MFSampleExtension_CleanPoint, TRUE);
    if (token != nullptr) sample->SetUnknown(MFSampleExtension_Token, token);
    ++next_;
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

HRESULT AviStream::QueryInterface(REFIID iid, void** out) {
  if (iid != IID_IUnknown && iid != IID_IMFMediaEventGenerator && iid != IID_IMFMediaStream) {
    *out = nullptr;
    return E_NOINTERFACE;
  }
  *out = static_cast<IMFMediaStream*>(this);
  AddRef();
  return S_OK;
}
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
  IMFStreamDescriptor* streams[1] = {};
  HRESULT result = MFCreateMediaType(type.put());
  if (SUCCEEDED(result)) {
    type->SetGUID(MF_MT_MAJOR_TYPE, MFMediaType_Video);
    type->SetGUID(MF_MT_SUBTYPE, subtype);
    type->SetUINT32(MF_MT_COMPRESSED, TRUE);
    MFSetAttributeSize(type.get(), MF_MT_FRAME_SIZE, format.biWidth, format.biHeight);
    MFSetAttributeRatio(type.get(), MF_MT_FRAME_RATE, info_.dwRate, info_.dwScale);
    IMFMediaType* types[] = {type.get()};
    result = MFCreateStreamDescriptor(0, 1, types, stream_.descriptor_.put());
  }
  if (SUCCEEDED(result)) result = stream_.descriptor_->GetMediaTypeHandler(handler.put());
  if (SUCCEEDED(result)) result = handler->SetCurrentMediaType(type.get());
  streams[0] = stream_.descriptor_.get();
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

}  // namespace voxa::test
