// A DirectShow source filter for tests: one output pin that offers a single
// media type and pushes given frames, one sample each, into the downstream
// pin from the caller's thread. mingw-w64 ships no DirectShow base classes,
// so the filter, its pin and their enumerators are written out here, with
// only what a graph and the filters after it call.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <utility>
#include <vector>

#include <dshow.h>

namespace voxa::test {

// An owning COM pointer: releases what it holds when it goes.
template <typename T>
class ComPtr {
 public:
  ComPtr() = default;
  // Takes over a reference the caller already owns.
  explicit ComPtr(T* p) : p_(p) {}
  ComPtr(const ComPtr&) = delete;
  ComPtr& operator=(const ComPtr&) = delete;
  ComPtr(ComPtr&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
  ComPtr& operator=(ComPtr&& other) noexcept {
    if (this != &other) {
      Reset();
      p_ = std::exchange(other.p_, nullptr);
    }
    return *this;
  }
  ~ComPtr() { Reset(); }

  void Reset() {
    if (p_ != nullptr) std::exchange(p_, nullptr)->Release();
  }
  T* get() const { return p_; }
  T* operator->() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }
  // For calls that hand out a new reference: drops the current one first.
  T** put() {
    Reset();
    return &p_;
  }
  void** put_void() { return reinterpret_cast<void**>(put()); }

  // `iid` for interfaces whose mingw-w64 header attaches no IID to the type.
  template <typename U>
  HRESULT As(ComPtr<U>* out, REFIID iid = __uuidof(U)) const {
    return p_->QueryInterface(iid, out->put_void());
  }

 private:
  T* p_ = nullptr;
};

// A COM object of one interface: QueryInterface, AddRef and Release, the
// object deleted with its last reference.
template <typename Interface, const IID* kIid>
class ComObject : public Interface {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (out == nullptr) return E_POINTER;
    if (iid == IID_IUnknown || iid == *kIid) {
      *out = static_cast<Interface*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG left = --references_;
    if (left == 0) delete this;
    return left;
  }

 protected:
  virtual ~ComObject() = default;

 private:
  std::atomic<ULONG> references_{1};
};

// An AM_MEDIA_TYPE whose format block (from CoTaskMemAlloc, as DirectShow
// hands them out) and pUnk it owns.
class MediaType {
 public:
  MediaType();
  // A type with the given format block, copied.
  MediaType(const GUID& major, const GUID& sub, const GUID& format, const void* block,
            ULONG block_bytes);
  MediaType(const MediaType& other);
  MediaType& operator=(const MediaType&) = delete;
  ~MediaType();

  // Deep copies: `to`'s earlier contents are not freed.
  static HRESULT Copy(const AM_MEDIA_TYPE& from, AM_MEDIA_TYPE* to);
  // Frees what a type that DirectShow filled in owns, and the type itself
  // for one from an enumerator.
  static void FreeFields(AM_MEDIA_TYPE* type);
  static void Delete(AM_MEDIA_TYPE* type);

  // Whether `partial` allows this type: GUID_NULL fields allow anything, a
  // format block, if given, must be equal.
  bool MatchedBy(const AM_MEDIA_TYPE& partial) const;

  // Frees the current contents, for an out parameter.
  AM_MEDIA_TYPE* put();
  const AM_MEDIA_TYPE& get() const { return type_; }
  AM_MEDIA_TYPE& get() { return type_; }
  // The video header of a FORMAT_VideoInfo type, or null.
  const VIDEOINFOHEADER* video_info() const;

 private:
  AM_MEDIA_TYPE type_;
};

// The first pin of `filter` in `direction`, or null.
ComPtr<IPin> FindPin(IBaseFilter* filter, PIN_DIRECTION direction);

class PushSourceFilter final : public IBaseFilter {
 public:
  // A filter that offers `type` (a FORMAT_VideoInfo type, whose
  // AvgTimePerFrame spaces the samples' times) and pushes `frames`.
  // The caller owns the one reference.
  static ComPtr<PushSourceFilter> Create(const MediaType& type,
                                         std::vector<std::vector<uint8_t>> frames);

  IPin* output_pin();

  // Pushes every frame into the connected pin, key frames with consecutive
  // times, then ends the stream; the graph must be running. S_OK if the
  // downstream pin took every sample with S_OK, else the first other result
  // (the frames after it are not sent; the end of the stream is).
  HRESULT PushAll();

  // IUnknown
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;
  // IPersist
  HRESULT STDMETHODCALLTYPE GetClassID(CLSID* clsid) override;
  // IMediaFilter
  HRESULT STDMETHODCALLTYPE Stop() override;
  HRESULT STDMETHODCALLTYPE Pause() override;
  HRESULT STDMETHODCALLTYPE Run(REFERENCE_TIME start) override;
  HRESULT STDMETHODCALLTYPE GetState(DWORD timeout_ms, FILTER_STATE* state) override;
  HRESULT STDMETHODCALLTYPE SetSyncSource(IReferenceClock* clock) override;
  HRESULT STDMETHODCALLTYPE GetSyncSource(IReferenceClock** clock) override;
  // IBaseFilter
  HRESULT STDMETHODCALLTYPE EnumPins(IEnumPins** pins) override;
  HRESULT STDMETHODCALLTYPE FindPin(LPCWSTR id, IPin** pin) override;
  HRESULT STDMETHODCALLTYPE QueryFilterInfo(FILTER_INFO* info) override;
  HRESULT STDMETHODCALLTYPE JoinFilterGraph(IFilterGraph* graph, LPCWSTR name) override;
  HRESULT STDMETHODCALLTYPE QueryVendorInfo(LPWSTR* info) override;

 private:
  // The output pin. It lives inside the filter and counts its references
  // there, as pins do: a reference to the pin keeps the filter.
  class OutputPin final : public IPin {
   public:
    explicit OutputPin(PushSourceFilter* filter) : filter_(filter) {}
    ~OutputPin();

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE Connect(IPin* receiver, const AM_MEDIA_TYPE* type) override;
    HRESULT STDMETHODCALLTYPE ReceiveConnection(IPin* connector,
                                                const AM_MEDIA_TYPE* type) override;
    HRESULT STDMETHODCALLTYPE Disconnect() override;
    HRESULT STDMETHODCALLTYPE ConnectedTo(IPin** pin) override;
    HRESULT STDMETHODCALLTYPE ConnectionMediaType(AM_MEDIA_TYPE* type) override;
    HRESULT STDMETHODCALLTYPE QueryPinInfo(PIN_INFO* info) override;
    HRESULT STDMETHODCALLTYPE QueryDirection(PIN_DIRECTION* direction) override;
    HRESULT STDMETHODCALLTYPE QueryId(LPWSTR* id) override;
    HRESULT STDMETHODCALLTYPE QueryAccept(const AM_MEDIA_TYPE* type) override;
    HRESULT STDMETHODCALLTYPE EnumMediaTypes(IEnumMediaTypes** types) override;
    HRESULT STDMETHODCALLTYPE QueryInternalConnections(IPin** pins, ULONG* count) override;
    HRESULT STDMETHODCALLTYPE EndOfStream() override;
    HRESULT STDMETHODCALLTYPE BeginFlush() override;
    HRESULT STDMETHODCALLTYPE EndFlush() override;
    HRESULT STDMETHODCALLTYPE NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop,
                                         double rate) override;

   private:
    friend class PushSourceFilter;
    // With the filter's lock held.
    HRESULT DecideAllocator();
    void ReleaseConnection();

    PushSourceFilter* const filter_;
    IPin* peer_ = nullptr;
    IMemInputPin* input_ = nullptr;
    IMemAllocator* allocator_ = nullptr;
  };

  PushSourceFilter(const MediaType& type, std::vector<std::vector<uint8_t>> frames);
  ~PushSourceFilter();
  HRESULT Start(FILTER_STATE state);
  std::size_t LargestFrame() const;

  std::atomic<ULONG> references_{1};
  std::mutex lock_;
  FILTER_STATE state_ = State_Stopped;
  IFilterGraph* graph_ = nullptr;  // not counted: the graph holds the filter
  WCHAR name_[MAX_FILTER_NAME] = {};
  IReferenceClock* clock_ = nullptr;
  const MediaType type_;
  const std::vector<std::vector<uint8_t>> frames_;
  OutputPin pin_{this};
};

}  // namespace voxa::test
