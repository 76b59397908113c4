// voxa.dll hosted by Wine's own DirectShow filters: quartz's AVI
// Decompressor decodes VOXA samples through it, and qcap's AVI Compressor,
// bound from the codec's moniker in the video compressor category, encodes
// through it. A source filter of our own pushes the samples (Wine's AVI
// Splitter cannot carry the format), qedit's Sample Grabber takes copies of
// what comes out and a Null Renderer ends the stream. Every sample must be
// the codec core's own frame or picture, byte for byte.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <mutex>
#include <ostream>
#include <string>
#include <vector>

#include <windows.h>

#include <dshow.h>
#include <qedit.h>
#include <vfw.h>

#include "codec/kernel_slots.h"
#include "codec/frame_codec.h"
#include "icm_test_support.h"
#include "push_source_filter.h"
#include "support/sample_frames.h"

// qedit.h declares the Sample Grabber's interfaces but neither its class
// nor the Null Renderer's; libstrmiids defines both.
extern "C" const CLSID CLSID_SampleGrabber;
extern "C" const CLSID CLSID_NullRenderer;

namespace voxa {
namespace {

using test::ComPtr;
using test::FindPin;
using test::MediaType;
using test::PushSourceFilter;

constexpr uint32_t kWidth = 128, kHeight = 64, kFrames = 6;
constexpr REFERENCE_TIME kFrameDuration = 400000;  // 25 frames a second, in 100 ns
// The size bound of a compressed frame, the codec's biSizeImage.
constexpr DWORD kFrameBound = kWidth * kHeight * 4 + 4096;
// Only a safety net: a graph that never completes fails instead of hanging.
constexpr LONG kCompletionMs = 60000;

FrameFormat Bgra() { return {PixelFormat::kRgba32, kWidth, kHeight}; }
FieldKernels Kernels() { return KernelsOfVariant(InstalledVariant()); }

// The sample title clip: raw BGRA, bottom line first.
std::vector<std::vector<uint8_t>> TitleClip() {
  const std::vector<uint8_t> picture =
      MakeSampleFrame(SampleKind::kTitle, VOXA_BGRA, kWidth, kHeight);
  std::vector<std::vector<uint8_t>> clip;
  for (uint32_t i = 0; i < kFrames; ++i)
    clip.push_back(MakeSampleClipFrame(picture, kWidth, kHeight, i));
  return clip;
}

std::vector<uint8_t> CoreEncode(const std::vector<uint8_t>& picture) {
  std::vector<uint8_t> frame(MaxCompressedFrameBytes(kWidth, kHeight));
  frame.resize(EncodeFrame(Bgra(), picture.data(), frame.data(), Kernels()));
  return frame;
}

std::vector<uint8_t> CoreDecode(const std::vector<uint8_t>& frame) {
  std::vector<uint8_t> picture(RawFrameBytes(PixelFormat::kRgba32, kWidth, kHeight));
  EXPECT_EQ(DecodeFrame(Bgra(), frame.data(), frame.size(), picture.data(), Kernels()),
            DecodeStatus::kDecoded);
  return picture;
}

// A FORMAT_VideoInfo type of 32-bit kWidth x kHeight frames, bottom-up.
MediaType VideoType(const GUID& subtype, DWORD compression, DWORD image_bytes, bool fixed_size) {
  VIDEOINFOHEADER info{};
  info.AvgTimePerFrame = kFrameDuration;
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = kWidth;
  info.bmiHeader.biHeight = kHeight;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = compression;
  info.bmiHeader.biSizeImage = image_bytes;
  MediaType type(MEDIATYPE_Video, subtype, FORMAT_VideoInfo, &info, sizeof info);
  type.get().bFixedSizeSamples = fixed_size;
  type.get().lSampleSize = image_bytes;
  return type;
}

// The subtype of a FOURCC: the FOURCC in the base GUID of such subtypes.
GUID FourccSubtype(DWORD fourcc) {
  GUID subtype = MEDIASUBTYPE_PCM;
  subtype.Data1 = fourcc;
  return subtype;
}

MediaType CompressedType() {
  return VideoType(FourccSubtype(test::kVoxaHandler), test::kVoxaHandler, kFrameBound, false);
}

MediaType RawType() { return VideoType(MEDIASUBTYPE_RGB32, BI_RGB, kWidth * kHeight * 4, true); }

// The first type `pin` offers with `subtype` (empty if none).
MediaType OfferOf(IPin* pin, const GUID& subtype) {
  MediaType found;
  ComPtr<IEnumMediaTypes> types;
  if (pin == nullptr || FAILED(pin->EnumMediaTypes(types.put()))) return found;
  AM_MEDIA_TYPE* type = nullptr;
  while (types->Next(1, &type, nullptr) == S_OK) {
    if (type->subtype == subtype && found.get().majortype == GUID_NULL) {
      MediaType::Copy(*type, found.put());
    }
    MediaType::Delete(type);
  }
  return found;
}

// A picture in the core's order (bottom line first) from a buffer of the
// given biHeight: negative for a top-down buffer.
std::vector<uint8_t> BottomUp(const std::vector<uint8_t>& bytes, LONG height) {
  if (height > 0) return bytes;
  const std::size_t line = kWidth * 4, lines = bytes.size() / line;
  std::vector<uint8_t> flipped(bytes.size());
  for (std::size_t y = 0; y < lines; ++y) {
    std::memcpy(&flipped[y * line], &bytes[(lines - 1 - y) * line], line);
  }
  return flipped;
}

std::string FirstDifference(const std::vector<uint8_t>& got, const std::vector<uint8_t>& want) {
  if (got.size() != want.size()) {
    return std::to_string(got.size()) + " bytes instead of " + std::to_string(want.size());
  }
  for (std::size_t i = 0; i < got.size(); ++i) {
    if (got[i] != want[i]) {
      return "byte " + std::to_string(i) + " is " + std::to_string(got[i]) + ", not " +
             std::to_string(want[i]);
    }
  }
  return "equal";
}

std::string Hex(HRESULT hr) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(hr));
  return text;
}

struct GrabbedSample {
  std::vector<uint8_t> bytes;
  bool sync_point;
};

// The Sample Grabber's callback: keeps a copy of every sample it passes on.
class SampleCollector final : public test::ComObject<ISampleGrabberCB, &IID_ISampleGrabberCB> {
 public:
  HRESULT STDMETHODCALLTYPE SampleCB(double, IMediaSample* sample) override {
    BYTE* data = nullptr;
    const LONG size = sample->GetActualDataLength();
    GrabbedSample copy{{}, sample->IsSyncPoint() == S_OK};
    if (SUCCEEDED(sample->GetPointer(&data)) && data != nullptr && size > 0) {
      copy.bytes.assign(data, data + size);
    }
    std::lock_guard<std::mutex> hold(lock_);
    samples_.push_back(std::move(copy));
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE BufferCB(double, BYTE*, LONG) override { return E_NOTIMPL; }

  std::vector<GrabbedSample> samples() {
    std::lock_guard<std::mutex> hold(lock_);
    return samples_;
  }

 private:
  ~SampleCollector() override = default;

  std::mutex lock_;
  std::vector<GrabbedSample> samples_;
};

// The codec's filter from the video compressor category: the moniker whose
// "FccHandler" is `handler`. `seen` lists the handlers found.
ComPtr<IBaseFilter> BindCompressor(const wchar_t* handler, std::string* seen) {
  ComPtr<ICreateDevEnum> devices;
  ComPtr<IEnumMoniker> monikers;
  if (FAILED(CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER,
                              IID_ICreateDevEnum, devices.put_void())) ||
      devices->CreateClassEnumerator(CLSID_VideoCompressorCategory, monikers.put(), 0) != S_OK) {
    return {};
  }
  ComPtr<IMoniker> moniker;
  while (monikers->Next(1, moniker.put(), nullptr) == S_OK) {
    ComPtr<IPropertyBag> bag;
    if (FAILED(moniker->BindToStorage(nullptr, nullptr, IID_IPropertyBag, bag.put_void())))
      continue;
    VARIANT value;
    VariantInit(&value);
    bool match = false;
    if (SUCCEEDED(bag->Read(L"FccHandler", &value, nullptr)) && value.vt == VT_BSTR) {
      match = std::wcscmp(value.bstrVal, handler) == 0;
      for (const wchar_t* c = value.bstrVal; *c != 0; ++c) seen->push_back(static_cast<char>(*c));
      seen->push_back(' ');
    }
    VariantClear(&value);
    if (!match) continue;
    ComPtr<IBaseFilter> filter;
    moniker->BindToObject(nullptr, nullptr, IID_IBaseFilter, filter.put_void());
    return filter;
  }
  return {};
}

// A graph of our source, a filter with the codec inside, the Sample
// Grabber and the Null Renderer, in that order.
class DirectShowTest : public testing::Test {
 protected:
  void SetUp() override {
    // Before anything loads the codec or lists the compressors.
    ASSERT_TRUE(test::RegisterDriverDll()) << test::DriverDllPath();
    ASSERT_HRESULT_SUCCEEDED(CoInitialize(nullptr));
    com_ready_ = true;
  }

  void TearDown() override {
    ComPtr<IMediaControl> control;
    if (graph_ && SUCCEEDED(graph_.As(&control))) control->Stop();
    control.Reset();
    collector_.Reset();
    grabber_.Reset();
    renderer_.Reset();
    grabber_filter_.Reset();
    codec_.Reset();
    source_.Reset();
    graph_.Reset();
    if (com_ready_) CoUninitialize();
  }

  // Adds the four filters and connects the source to the codec's filter.
  void Build(ComPtr<IBaseFilter> codec, const MediaType& source_type,
             std::vector<std::vector<uint8_t>> frames) {
    ASSERT_HRESULT_SUCCEEDED(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER,
                                              IID_IGraphBuilder, graph_.put_void()));
    source_ = PushSourceFilter::Create(source_type, std::move(frames));
    codec_ = std::move(codec);
    ASSERT_HRESULT_SUCCEEDED(CoCreateInstance(CLSID_SampleGrabber, nullptr, CLSCTX_INPROC_SERVER,
                                              IID_IBaseFilter, grabber_filter_.put_void()));
    ASSERT_HRESULT_SUCCEEDED(grabber_filter_.As(&grabber_));
    ASSERT_HRESULT_SUCCEEDED(CoCreateInstance(CLSID_NullRenderer, nullptr, CLSCTX_INPROC_SERVER,
                                              IID_IBaseFilter, renderer_.put_void()));
    collector_ = ComPtr<SampleCollector>(new SampleCollector);
    ASSERT_HRESULT_SUCCEEDED(grabber_->SetCallback(collector_.get(), 0));  // SampleCB
    ASSERT_HRESULT_SUCCEEDED(graph_->AddFilter(source_.get(), L"Source"));
    ASSERT_HRESULT_SUCCEEDED(graph_->AddFilter(codec_.get(), L"Codec"));
    ASSERT_HRESULT_SUCCEEDED(graph_->AddFilter(grabber_filter_.get(), L"Grabber"));
    ASSERT_HRESULT_SUCCEEDED(graph_->AddFilter(renderer_.get(), L"Renderer"));
    ASSERT_HRESULT_SUCCEEDED(graph_->ConnectDirect(
        source_->output_pin(), FindPin(codec_.get(), PINDIR_INPUT).get(), nullptr));
  }

  // Connects the codec's filter to the grabber, with `type` or with a type
  // they agree on, and the grabber to the renderer with the same type.
  void ConnectGrabber(const AM_MEDIA_TYPE* type) {
    ASSERT_HRESULT_SUCCEEDED(
        graph_->ConnectDirect(FindPin(codec_.get(), PINDIR_OUTPUT).get(),
                              FindPin(grabber_filter_.get(), PINDIR_INPUT).get(), type));
    MediaType grabbed;
    ASSERT_HRESULT_SUCCEEDED(grabber_->GetConnectedMediaType(grabbed.put()));
    ASSERT_HRESULT_SUCCEEDED(
        graph_->ConnectDirect(FindPin(grabber_filter_.get(), PINDIR_OUTPUT).get(),
                              FindPin(renderer_.get(), PINDIR_INPUT).get(), &grabbed.get()));
  }

  // Runs the graph without a clock (samples are rendered as they come),
  // pushes every frame and waits for the end of the stream.
  void RunToEnd() {
    ComPtr<IMediaFilter> timing;
    ComPtr<IMediaControl> control;
    ComPtr<IMediaEvent> events;
    ASSERT_HRESULT_SUCCEEDED(graph_.As(&timing));
    ASSERT_HRESULT_SUCCEEDED(graph_.As(&control));
    ASSERT_HRESULT_SUCCEEDED(graph_.As(&events, IID_IMediaEvent));
    ASSERT_HRESULT_SUCCEEDED(timing->SetSyncSource(nullptr));
    ASSERT_HRESULT_SUCCEEDED(control->Run());
    const HRESULT pushed = source_->PushAll();
    EXPECT_EQ(pushed, S_OK) << "a sample was refused downstream: " << Hex(pushed);
    LONG code = 0;
    EXPECT_EQ(events->WaitForCompletion(kCompletionMs, &code), S_OK);
    EXPECT_EQ(code, EC_COMPLETE);
    EXPECT_HRESULT_SUCCEEDED(control->Stop());
  }

  MediaType GrabbedType() {
    MediaType type;
    EXPECT_HRESULT_SUCCEEDED(grabber_->GetConnectedMediaType(type.put()));
    return type;
  }

  bool com_ready_ = false;
  ComPtr<IGraphBuilder> graph_;
  ComPtr<PushSourceFilter> source_;
  ComPtr<IBaseFilter> codec_, grabber_filter_, renderer_;
  ComPtr<ISampleGrabber> grabber_;
  ComPtr<SampleCollector> collector_;
};

// How the decompressor's output comes to be connected to the grabber.
enum class Output {
  kNegotiated,       // a type of the decompressor's own that the grabber takes
  kProposed,         // the decompressor's RGB32 type under the row's subtype
  kProposedTopDown,  // the same with a negative biHeight: a top-down buffer
};

struct DecodeCase {
  const char* name;
  const GUID* subtype;  // what the Sample Grabber is set to take
  Output output;
};

// quartz's AVI Decompressor offers RGB32 (bottom-up) among its types, but
// neither ARGB32 nor a top-down buffer: for those the host proposes its
// RGB32 type changed accordingly (the same 32-bit BI_RGB layout), which the
// decompressor puts to the codec as a query.
const DecodeCase kDecodeCases[] = {
    {"Rgb32", &MEDIASUBTYPE_RGB32, Output::kNegotiated},
    {"Argb32", &MEDIASUBTYPE_ARGB32, Output::kProposed},
    {"Rgb32TopDown", &MEDIASUBTYPE_RGB32, Output::kProposedTopDown},
};

void PrintTo(const DecodeCase& row, std::ostream* os) { *os << row.name; }

class DirectShowDecodeTest : public DirectShowTest,
                             public testing::WithParamInterface<DecodeCase> {};

TEST_P(DirectShowDecodeTest, AviDecompressorGivesTheCoreDecode) {
  const DecodeCase& row = GetParam();
  std::vector<std::vector<uint8_t>> frames;
  for (const auto& picture : TitleClip()) frames.push_back(CoreEncode(picture));

  ComPtr<IBaseFilter> decompressor;
  ASSERT_HRESULT_SUCCEEDED(CoCreateInstance(CLSID_AVIDec, nullptr, CLSCTX_INPROC_SERVER,
                                            IID_IBaseFilter, decompressor.put_void()));
  ASSERT_NO_FATAL_FAILURE(Build(std::move(decompressor), CompressedType(), frames));
  const MediaType wanted(MEDIATYPE_Video, *row.subtype, FORMAT_VideoInfo, nullptr, 0);
  ASSERT_HRESULT_SUCCEEDED(grabber_->SetMediaType(&wanted.get()));
  if (row.output == Output::kNegotiated) {
    ASSERT_NO_FATAL_FAILURE(ConnectGrabber(nullptr));
  } else {
    MediaType proposal = OfferOf(FindPin(codec_.get(), PINDIR_OUTPUT).get(), MEDIASUBTYPE_RGB32);
    ASSERT_NE(proposal.video_info(), nullptr) << "the decompressor offers no RGB32 type";
    proposal.get().subtype = *row.subtype;
    if (row.output == Output::kProposedTopDown) {
      reinterpret_cast<VIDEOINFOHEADER*>(proposal.get().pbFormat)->bmiHeader.biHeight =
          -static_cast<LONG>(kHeight);
    }
    ASSERT_NO_FATAL_FAILURE(ConnectGrabber(&proposal.get()));
  }
  ASSERT_NO_FATAL_FAILURE(RunToEnd());

  const MediaType grabbed = GrabbedType();
  EXPECT_EQ(grabbed.get().subtype, *row.subtype);
  const VIDEOINFOHEADER* info = grabbed.video_info();
  ASSERT_NE(info, nullptr);
  EXPECT_EQ(info->bmiHeader.biWidth, static_cast<LONG>(kWidth));
  const LONG height = static_cast<LONG>(kHeight);
  EXPECT_EQ(info->bmiHeader.biHeight, row.output == Output::kProposedTopDown ? -height : height);
  EXPECT_EQ(info->bmiHeader.biBitCount, 32);
  EXPECT_EQ(info->bmiHeader.biCompression, static_cast<DWORD>(BI_RGB));

  const std::vector<GrabbedSample> samples = collector_->samples();
  ASSERT_EQ(samples.size(), frames.size());
  for (std::size_t i = 0; i < frames.size(); ++i) {
    const std::vector<uint8_t> got = BottomUp(samples[i].bytes, info->bmiHeader.biHeight);
    const std::vector<uint8_t> want = CoreDecode(frames[i]);
    EXPECT_TRUE(got == want) << "frame " << i << ": " << FirstDifference(got, want);
  }
}

INSTANTIATE_TEST_SUITE_P(Subtypes, DirectShowDecodeTest, testing::ValuesIn(kDecodeCases),
                         [](const testing::TestParamInfo<DecodeCase>& info) {
                           return std::string(info.param.name);
                         });

TEST_F(DirectShowTest, AviCompressorGivesTheCoreEncode) {
  const std::vector<std::vector<uint8_t>> pictures = TitleClip();
  std::string seen;
  ComPtr<IBaseFilter> compressor = BindCompressor(L"VOXA", &seen);
  ASSERT_TRUE(compressor) << "no VOXA filter among the video compressors: " << seen;
  ASSERT_NO_FATAL_FAILURE(Build(std::move(compressor), RawType(), pictures));
  // The grabber takes what the compressor offers (Wine's qcap labels it
  // MEDIASUBTYPE_PCM; the header says what it is).
  ASSERT_NO_FATAL_FAILURE(ConnectGrabber(nullptr));
  ASSERT_NO_FATAL_FAILURE(RunToEnd());

  const MediaType grabbed = GrabbedType();
  const VIDEOINFOHEADER* info = grabbed.video_info();
  ASSERT_NE(info, nullptr);
  EXPECT_EQ(info->bmiHeader.biCompression, test::kVoxaHandler);
  EXPECT_EQ(info->bmiHeader.biBitCount, 32);
  EXPECT_EQ(info->bmiHeader.biWidth, static_cast<LONG>(kWidth));
  EXPECT_EQ(info->bmiHeader.biHeight, static_cast<LONG>(kHeight));
  EXPECT_EQ(info->bmiHeader.biSizeImage, kFrameBound);

  const std::vector<GrabbedSample> samples = collector_->samples();
  ASSERT_EQ(samples.size(), pictures.size());
  for (std::size_t i = 0; i < pictures.size(); ++i) {
    const std::vector<uint8_t> want = CoreEncode(pictures[i]);
    EXPECT_TRUE(samples[i].bytes == want)
        << "frame " << i << ": " << FirstDifference(samples[i].bytes, want);
    EXPECT_TRUE(samples[i].sync_point) << "frame " << i << " is not a key frame";
  }
}

}  // namespace
}  // namespace voxa
