#include "push_source_filter.h"

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <new>

namespace voxa::test {
namespace {

constexpr wchar_t kPinId[] = L"Out";

// An enumerator of one item: Next hands it out once; Skip, Reset and Clone
// as COM has them.
template <typename Interface, const IID* kIid, typename Item>
class OneItemEnumerator : public ComObject<Interface, kIid> {
 public:
  HRESULT STDMETHODCALLTYPE Next(ULONG count, Item* items, ULONG* fetched) override {
    if (items == nullptr || (count > 1 && fetched == nullptr)) return E_POINTER;
    ULONG n = 0;
    if (count > 0 && position_ == 0) {
      if (const HRESULT result = Give(items); FAILED(result)) return result;
      n = 1;
      position_ = 1;
    }
    if (fetched != nullptr) *fetched = n;
    return n == count ? S_OK : S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE Skip(ULONG count) override {
    const ULONG left = 1 - position_;
    position_ += std::min(count, left);
    return count <= left ? S_OK : S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE Reset() override {
    position_ = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Clone(Interface** out) override {
    if (out == nullptr) return E_POINTER;
    *out = Copy(position_);
    return *out != nullptr ? S_OK : E_OUTOFMEMORY;
  }

 protected:
  explicit OneItemEnumerator(ULONG position) : position_(position) {}
  // Hands out a reference or copy of the item.
  virtual HRESULT Give(Item* out) = 0;
  virtual Interface* Copy(ULONG position) = 0;

 private:
  ULONG position_;
};

// Enumerators count their own references and keep their filter or pin alive.
class PinEnumerator final : public OneItemEnumerator<IEnumPins, &IID_IEnumPins, IPin*> {
 public:
  PinEnumerator(IBaseFilter* filter, IPin* pin, ULONG position)
      : OneItemEnumerator(position), filter_(filter), pin_(pin) {
    filter_->AddRef();
  }

 private:
  ~PinEnumerator() override { filter_->Release(); }
  HRESULT Give(IPin** out) override {
    *out = pin_;
    pin_->AddRef();
    return S_OK;
  }
  IEnumPins* Copy(ULONG position) override {
    return new (std::nothrow) PinEnumerator(filter_, pin_, position);
  }

  IBaseFilter* const filter_;
  IPin* const pin_;
};

class TypeEnumerator final
    : public OneItemEnumerator<IEnumMediaTypes, &IID_IEnumMediaTypes, AM_MEDIA_TYPE*> {
 public:
  TypeEnumerator(IPin* pin, const AM_MEDIA_TYPE& type, ULONG position)
      : OneItemEnumerator(position), pin_(pin), type_(type) {
    pin_->AddRef();
  }

 private:
  ~TypeEnumerator() override { pin_->Release(); }
  HRESULT Give(AM_MEDIA_TYPE** out) override {
    auto* copy = static_cast<AM_MEDIA_TYPE*>(CoTaskMemAlloc(sizeof(AM_MEDIA_TYPE)));
    if (copy == nullptr) return E_OUTOFMEMORY;
    if (FAILED(MediaType::Copy(type_, copy))) {
      CoTaskMemFree(copy);
      return E_OUTOFMEMORY;
    }
    *out = copy;
    return S_OK;
  }
  IEnumMediaTypes* Copy(ULONG position) override {
    return new (std::nothrow) TypeEnumerator(pin_, type_, position);
  }

  IPin* const pin_;            // counted: keeps the type below alive
  const AM_MEDIA_TYPE& type_;  // the filter's
};

}  // namespace

MediaType::MediaType() { std::memset(&type_, 0, sizeof type_); }

MediaType::MediaType(const GUID& major, const GUID& sub, const GUID& format, const void* block,
                     ULONG block_bytes)
    : MediaType() {
  type_.majortype = major;
  type_.subtype = sub;
  type_.formattype = format;
  if (block_bytes > 0) {
    type_.pbFormat = static_cast<BYTE*>(CoTaskMemAlloc(block_bytes));
    if (type_.pbFormat != nullptr) {
      std::memcpy(type_.pbFormat, block, block_bytes);
      type_.cbFormat = block_bytes;
    }
  }
}

MediaType::MediaType(const MediaType& other) : MediaType() {
  if (FAILED(Copy(other.type_, &type_))) std::memset(&type_, 0, sizeof type_);
}

MediaType::~MediaType() { FreeFields(&type_); }

HRESULT MediaType::Copy(const AM_MEDIA_TYPE& from, AM_MEDIA_TYPE* to) {
  *to = from;
  to->pbFormat = nullptr;
  to->cbFormat = 0;
  if (from.cbFormat > 0 && from.pbFormat != nullptr) {
    to->pbFormat = static_cast<BYTE*>(CoTaskMemAlloc(from.cbFormat));
    if (to->pbFormat == nullptr) {
      to->pUnk = nullptr;
      return E_OUTOFMEMORY;
    }
    std::memcpy(to->pbFormat, from.pbFormat, from.cbFormat);
    to->cbFormat = from.cbFormat;
  }
  if (to->pUnk != nullptr) to->pUnk->AddRef();
  return S_OK;
}

void MediaType::FreeFields(AM_MEDIA_TYPE* type) {
  CoTaskMemFree(type->pbFormat);
  type->pbFormat = nullptr;
  type->cbFormat = 0;
  if (type->pUnk != nullptr) {
    type->pUnk->Release();
    type->pUnk = nullptr;
  }
}

void MediaType::Delete(AM_MEDIA_TYPE* type) {
  if (type == nullptr) return;
  FreeFields(type);
  CoTaskMemFree(type);
}

bool MediaType::MatchedBy(const AM_MEDIA_TYPE& partial) const {
  auto allows = [](const GUID& wanted, const GUID& mine) {
    return wanted == GUID_NULL || wanted == mine;
  };
  if (!allows(partial.majortype, type_.majortype) || !allows(partial.subtype, type_.subtype) ||
      !allows(partial.formattype, type_.formattype)) {
    return false;
  }
  if (partial.formattype == GUID_NULL || partial.cbFormat == 0) return true;
  return partial.cbFormat == type_.cbFormat &&
         std::memcmp(partial.pbFormat, type_.pbFormat, type_.cbFormat) == 0;
}

AM_MEDIA_TYPE* MediaType::put() {
  FreeFields(&type_);
  std::memset(&type_, 0, sizeof type_);
  return &type_;
}

const VIDEOINFOHEADER* MediaType::video_info() const {
  if (type_.formattype != FORMAT_VideoInfo || type_.cbFormat < sizeof(VIDEOINFOHEADER)) {
    return nullptr;
  }
  return reinterpret_cast<const VIDEOINFOHEADER*>(type_.pbFormat);
}

ComPtr<IPin> FindPin(IBaseFilter* filter, PIN_DIRECTION direction) {
  ComPtr<IEnumPins> pins;
  if (FAILED(filter->EnumPins(pins.put()))) return {};
  ComPtr<IPin> pin;
  while (pins->Next(1, pin.put(), nullptr) == S_OK) {
    PIN_DIRECTION d;
    if (SUCCEEDED(pin->QueryDirection(&d)) && d == direction) return pin;
  }
  return {};
}

// The filter.

ComPtr<PushSourceFilter> PushSourceFilter::Create(const MediaType& type,
                                                  std::vector<std::vector<uint8_t>> frames) {
  return ComPtr<PushSourceFilter>(new PushSourceFilter(type, std::move(frames)));
}

PushSourceFilter::PushSourceFilter(const MediaType& type, std::vector<std::vector<uint8_t>> frames)
    : type_(type), frames_(std::move(frames)) {}

PushSourceFilter::~PushSourceFilter() {
  if (clock_ != nullptr) clock_->Release();
}

IPin* PushSourceFilter::output_pin() { return &pin_; }

std::size_t PushSourceFilter::LargestFrame() const {
  std::size_t largest = 0;
  for (const auto& frame : frames_) largest = std::max(largest, frame.size());
  return largest;
}

HRESULT PushSourceFilter::PushAll() {
  IMemInputPin* input;
  IMemAllocator* allocator;
  IPin* peer;
  {
    std::lock_guard<std::mutex> hold(lock_);
    if (pin_.peer_ == nullptr) return VFW_E_NOT_CONNECTED;
    if (state_ == State_Stopped) return VFW_E_WRONG_STATE;
    // Held for the delivery: a disconnection cannot come while the graph runs.
    input = pin_.input_;
    allocator = pin_.allocator_;
    peer = pin_.peer_;
    input->AddRef();
    allocator->AddRef();
    peer->AddRef();
  }
  const VIDEOINFOHEADER* info = type_.video_info();
  const REFERENCE_TIME duration = info != nullptr ? info->AvgTimePerFrame : 0;

  HRESULT result = S_OK;
  for (std::size_t i = 0; i < frames_.size() && result == S_OK; ++i) {
    const std::vector<uint8_t>& frame = frames_[i];
    IMediaSample* sample = nullptr;
    result = allocator->GetBuffer(&sample, nullptr, nullptr, 0);
    if (FAILED(result)) break;
    BYTE* data = nullptr;
    result = sample->GetPointer(&data);
    if (SUCCEEDED(result) && static_cast<std::size_t>(sample->GetSize()) < frame.size()) {
      result = VFW_E_BUFFER_OVERFLOW;
    }
    if (SUCCEEDED(result)) {
      std::memcpy(data, frame.data(), frame.size());
      REFERENCE_TIME start = static_cast<REFERENCE_TIME>(i) * duration, stop = start + duration;
      LONGLONG first = static_cast<LONGLONG>(i), last = first + 1;
      sample->SetActualDataLength(static_cast<LONG>(frame.size()));
      sample->SetTime(&start, &stop);
      sample->SetMediaTime(&first, &last);
      sample->SetSyncPoint(TRUE);  // every VOXA frame is a key frame, as is every raw one
      sample->SetDiscontinuity(i == 0);
      sample->SetPreroll(FALSE);
      result = input->Receive(sample);
    }
    sample->Release();
  }
  peer->EndOfStream();
  peer->Release();
  allocator->Release();
  input->Release();
  return result;
}

HRESULT PushSourceFilter::QueryInterface(REFIID iid, void** out) {
  if (out == nullptr) return E_POINTER;
  if (iid == IID_IUnknown || iid == IID_IPersist || iid == IID_IMediaFilter ||
      iid == IID_IBaseFilter) {
    *out = static_cast<IBaseFilter*>(this);
    AddRef();
    return S_OK;
  }
  *out = nullptr;
  return E_NOINTERFACE;
}

ULONG PushSourceFilter::AddRef() { return ++references_; }

ULONG PushSourceFilter::Release() {
  const ULONG left = --references_;
  if (left == 0) delete this;
  return left;
}

HRESULT PushSourceFilter::GetClassID(CLSID* clsid) {
  if (clsid == nullptr) return E_POINTER;
  *clsid = GUID_NULL;  // created directly, never through COM
  return S_OK;
}

HRESULT PushSourceFilter::Stop() {
  std::lock_guard<std::mutex> hold(lock_);
  if (state_ != State_Stopped && pin_.allocator_ != nullptr) pin_.allocator_->Decommit();
  state_ = State_Stopped;
  return S_OK;
}

// Leaving the stopped state commits the allocator, so that samples can be had.
HRESULT PushSourceFilter::Start(FILTER_STATE state) {
  std::lock_guard<std::mutex> hold(lock_);
  if (state_ == State_Stopped && pin_.allocator_ != nullptr) {
    const HRESULT hr = pin_.allocator_->Commit();
    if (FAILED(hr)) return hr;
  }
  state_ = state;
  return S_OK;
}

HRESULT PushSourceFilter::Pause() { return Start(State_Paused); }

HRESULT PushSourceFilter::Run(REFERENCE_TIME) { return Start(State_Running); }

HRESULT PushSourceFilter::GetState(DWORD, FILTER_STATE* state) {
  if (state == nullptr) return E_POINTER;
  std::lock_guard<std::mutex> hold(lock_);
  *state = state_;
  return S_OK;
}

HRESULT PushSourceFilter::SetSyncSource(IReferenceClock* clock) {
  std::lock_guard<std::mutex> hold(lock_);
  if (clock != nullptr) clock->AddRef();
  if (clock_ != nullptr) clock_->Release();
  clock_ = clock;
  return S_OK;
}

HRESULT PushSourceFilter::GetSyncSource(IReferenceClock** clock) {
  if (clock == nullptr) return E_POINTER;
  std::lock_guard<std::mutex> hold(lock_);
  *clock = clock_;
  if (clock_ != nullptr) clock_->AddRef();
  return S_OK;
}

HRESULT PushSourceFilter::EnumPins(IEnumPins** pins) {
  if (pins == nullptr) return E_POINTER;
  *pins = new (std::nothrow) PinEnumerator(this, &pin_, 0);
  return *pins != nullptr ? S_OK : E_OUTOFMEMORY;
}

HRESULT PushSourceFilter::FindPin(LPCWSTR id, IPin** pin) {
  if (id == nullptr || pin == nullptr) return E_POINTER;
  if (std::wcscmp(id, kPinId) != 0) {
    *pin = nullptr;
    return VFW_E_NOT_FOUND;
  }
  *pin = &pin_;
  pin_.AddRef();
  return S_OK;
}

HRESULT PushSourceFilter::QueryFilterInfo(FILTER_INFO* info) {
  if (info == nullptr) return E_POINTER;
  std::lock_guard<std::mutex> hold(lock_);
  std::memcpy(info->achName, name_, sizeof name_);
  info->pGraph = graph_;
  if (graph_ != nullptr) graph_->AddRef();
  return S_OK;
}

HRESULT PushSourceFilter::JoinFilterGraph(IFilterGraph* graph, LPCWSTR name) {
  std::lock_guard<std::mutex> hold(lock_);
  graph_ = graph;
  std::memset(name_, 0, sizeof name_);
  if (name != nullptr) std::wcsncpy(name_, name, MAX_FILTER_NAME - 1);
  return S_OK;
}

HRESULT PushSourceFilter::QueryVendorInfo(LPWSTR*) { return E_NOTIMPL; }

// The pin.

PushSourceFilter::OutputPin::~OutputPin() { ReleaseConnection(); }

HRESULT PushSourceFilter::OutputPin::QueryInterface(REFIID iid, void** out) {
  if (out == nullptr) return E_POINTER;
  if (iid == IID_IUnknown || iid == IID_IPin) {
    *out = static_cast<IPin*>(this);
    AddRef();
    return S_OK;
  }
  *out = nullptr;
  return E_NOINTERFACE;
}

ULONG PushSourceFilter::OutputPin::AddRef() { return filter_->AddRef(); }

ULONG PushSourceFilter::OutputPin::Release() { return filter_->Release(); }

// The output pin starts every connection: it offers its one type to the
// receiver, then settles the allocator with the receiver's IMemInputPin.
HRESULT PushSourceFilter::OutputPin::Connect(IPin* receiver, const AM_MEDIA_TYPE* type) {
  if (receiver == nullptr) return E_POINTER;
  std::lock_guard<std::mutex> hold(filter_->lock_);
  if (peer_ != nullptr) return VFW_E_ALREADY_CONNECTED;
  if (filter_->state_ != State_Stopped) return VFW_E_NOT_STOPPED;
  if (type != nullptr && !filter_->type_.MatchedBy(*type)) return VFW_E_TYPE_NOT_ACCEPTED;
  PIN_DIRECTION direction;
  if (FAILED(receiver->QueryDirection(&direction)) || direction != PINDIR_INPUT) {
    return VFW_E_INVALID_DIRECTION;
  }
  HRESULT hr = receiver->ReceiveConnection(this, &filter_->type_.get());
  if (FAILED(hr)) return hr;
  peer_ = receiver;
  peer_->AddRef();
  hr = receiver->QueryInterface(IID_IMemInputPin, reinterpret_cast<void**>(&input_));
  if (SUCCEEDED(hr)) hr = DecideAllocator();
  if (FAILED(hr)) {
    receiver->Disconnect();
    ReleaseConnection();
  }
  return hr;
}

// The receiver's allocator if it has one, else a memory allocator of our
// own, with buffers for the largest frame and the receiver's wishes.
HRESULT PushSourceFilter::OutputPin::DecideAllocator() {
  ALLOCATOR_PROPERTIES wanted{};
  input_->GetAllocatorRequirements(&wanted);  // E_NOTIMPL: no wishes
  IMemAllocator* allocator = nullptr;
  HRESULT hr = input_->GetAllocator(&allocator);
  if (FAILED(hr)) {
    hr = CoCreateInstance(CLSID_MemoryAllocator, nullptr, CLSCTX_INPROC_SERVER, IID_IMemAllocator,
                          reinterpret_cast<void**>(&allocator));
    if (FAILED(hr)) return hr;
  }
  const LONG largest = static_cast<LONG>(filter_->LargestFrame());
  wanted.cBuffers = std::max(wanted.cBuffers, 1L);
  wanted.cbBuffer =
      std::max({wanted.cbBuffer, largest, static_cast<LONG>(filter_->type_.get().lSampleSize)});
  wanted.cbAlign = std::max(wanted.cbAlign, 1L);
  ALLOCATOR_PROPERTIES actual{};
  hr = allocator->SetProperties(&wanted, &actual);
  if (SUCCEEDED(hr) && actual.cbBuffer < largest) hr = VFW_E_SIZENOTSET;
  if (SUCCEEDED(hr)) hr = input_->NotifyAllocator(allocator, FALSE);
  if (FAILED(hr)) {
    allocator->Release();
    return hr;
  }
  allocator_ = allocator;
  return S_OK;
}

void PushSourceFilter::OutputPin::ReleaseConnection() {
  if (allocator_ != nullptr) std::exchange(allocator_, nullptr)->Release();
  if (input_ != nullptr) std::exchange(input_, nullptr)->Release();
  if (peer_ != nullptr) std::exchange(peer_, nullptr)->Release();
}

HRESULT PushSourceFilter::OutputPin::ReceiveConnection(IPin*, const AM_MEDIA_TYPE*) {
  return E_UNEXPECTED;  // an output pin connects, it is not connected to
}

HRESULT PushSourceFilter::OutputPin::Disconnect() {
  std::lock_guard<std::mutex> hold(filter_->lock_);
  if (filter_->state_ != State_Stopped) return VFW_E_NOT_STOPPED;
  if (peer_ == nullptr) return S_FALSE;
  ReleaseConnection();
  return S_OK;
}

HRESULT PushSourceFilter::OutputPin::ConnectedTo(IPin** pin) {
  if (pin == nullptr) return E_POINTER;
  std::lock_guard<std::mutex> hold(filter_->lock_);
  *pin = peer_;
  if (peer_ == nullptr) return VFW_E_NOT_CONNECTED;
  peer_->AddRef();
  return S_OK;
}

HRESULT PushSourceFilter::OutputPin::ConnectionMediaType(AM_MEDIA_TYPE* type) {
  if (type == nullptr) return E_POINTER;
  std::lock_guard<std::mutex> hold(filter_->lock_);
  if (peer_ == nullptr) {
    std::memset(type, 0, sizeof *type);
    return VFW_E_NOT_CONNECTED;
  }
  return MediaType::Copy(filter_->type_.get(), type);
}

HRESULT PushSourceFilter::OutputPin::QueryPinInfo(PIN_INFO* info) {
  if (info == nullptr) return E_POINTER;
  info->pFilter = filter_;
  filter_->AddRef();
  info->dir = PINDIR_OUTPUT;
  std::memset(info->achName, 0, sizeof info->achName);
  std::wcsncpy(info->achName, kPinId, MAX_PIN_NAME - 1);
  return S_OK;
}

HRESULT PushSourceFilter::OutputPin::QueryDirection(PIN_DIRECTION* direction) {
  if (direction == nullptr) return E_POINTER;
  *direction = PINDIR_OUTPUT;
  return S_OK;
}

HRESULT PushSourceFilter::OutputPin::QueryId(LPWSTR* id) {
  if (id == nullptr) return E_POINTER;
  *id = static_cast<LPWSTR>(CoTaskMemAlloc(sizeof kPinId));
  if (*id == nullptr) return E_OUTOFMEMORY;
  std::memcpy(*id, kPinId, sizeof kPinId);
  return S_OK;
}

HRESULT PushSourceFilter::OutputPin::QueryAccept(const AM_MEDIA_TYPE* type) {
  if (type == nullptr) return E_POINTER;
  return filter_->type_.MatchedBy(*type) ? S_OK : S_FALSE;
}

HRESULT PushSourceFilter::OutputPin::EnumMediaTypes(IEnumMediaTypes** types) {
  if (types == nullptr) return E_POINTER;
  *types = new (std::nothrow) TypeEnumerator(this, filter_->type_.get(), 0);
  return *types != nullptr ? S_OK : E_OUTOFMEMORY;
}

HRESULT PushSourceFilter::OutputPin::QueryInternalConnections(IPin**, ULONG*) { return E_NOTIMPL; }

// Stream commands travel downstream: an output pin receives none.
HRESULT PushSourceFilter::OutputPin::EndOfStream() { return E_UNEXPECTED; }
HRESULT PushSourceFilter::OutputPin::BeginFlush() { return E_UNEXPECTED; }
HRESULT PushSourceFilter::OutputPin::EndFlush() { return E_UNEXPECTED; }
HRESULT PushSourceFilter::OutputPin::NewSegment(REFERENCE_TIME, REFERENCE_TIME, double) {
  return S_OK;
}

}  // namespace voxa::test
