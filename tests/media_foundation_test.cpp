// The VOXA decoder transform with Wine's own Media Foundation as its host:
// the built voxamf.dll, registered as regsvr32 registers it, is inserted by
// the Media Session's topology loader between a media source of our own and
// the Sample Grabber, and chained by the Source Reader, for ARGB32 and RGB32;
// MFTEnumEx finds it after DllRegisterServer only. Every picture must be
// libvoxa's, byte for byte. The transform itself, linked directly, is tried
// on what those hosts never do. The disabled MediaFoundationInstalled tests
// look for an installed decoder instead: the installer tests run them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <ostream>
#include <string>
#include <vector>

#include <windows.h>

#include <mfapi.h>
#include <mferror.h>
#include <mfidl.h>
#include <mfreadwrite.h>
#include <vfw.h>

#include "avi_media_source.h"
#include "bitmap_header.h"
#include "mf/decoder_transform.h"
#include "mf/transform_ids.h"
#include "support/sample_frames.h"

namespace voxa {
namespace {

using test::ComPtr;

constexpr UINT32 kWidth = 128, kHeight = 72, kFrames = 6;
constexpr LONG kLine = kWidth * 4;
constexpr LONGLONG kFrameDuration = 400000;  // 25 frames a second, in 100 ns
constexpr DWORD kWaitMs = 60000;  // only a safety net for a host that never ends

// The sample title clip, coded by libvoxa.
std::vector<std::vector<uint8_t>> Frames() {
  const auto title = MakeSampleFrame(SampleKind::kTitle, VOXA_BGRA, kWidth, kHeight);
  std::vector<std::vector<uint8_t>> frames(kFrames, std::vector<uint8_t>(voxa_max_frame_bytes(kWidth, kHeight)));
  for (uint32_t i = 0; i < kFrames; ++i) {
    auto bgra = MakeSampleClipFrame(title, kWidth, kHeight, i);  // bottom line first
    const voxa_picture in{VOXA_BGRA, kWidth, kHeight, &bgra[(kHeight - 1) * kLine], -kLine};
    size_t size = 0;
    EXPECT_EQ(voxa_encode(&in, VOXA_KERNELS_AUTO, frames[i].data(), frames[i].size(), &size), VOXA_OK);
    frames[i].resize(size);
  }
  return frames;
}

// `voxa decode`'s picture of the first `size` bytes of a frame, top line
// first: the blocks a damaged frame leaves out are transparent.
std::vector<uint8_t> Picture(const std::vector<uint8_t>& frame, size_t size) {
  std::vector<uint8_t> picture(kLine * kHeight);
  const voxa_picture out{VOXA_BGRA, kWidth, kHeight, picture.data(), kLine};
  voxa_decode(frame.data(), size, VOXA_KERNELS_AUTO, &out);
  return picture;
}

// A picture's lines, top line first, from its top line and stride.
std::vector<uint8_t> Lines(const BYTE* top, LONG stride) {
  std::vector<uint8_t> picture;
  for (UINT32 y = 0; y < kHeight; ++y, top += stride) picture.insert(picture.end(), top, top + kLine);
  return picture;
}

// A sample's picture in a plain buffer: bottom-up unless the stride says otherwise.
std::vector<uint8_t> Lines(IMFSample* sample, LONG stride = -kLine) {
  ComPtr<IMFMediaBuffer> buffer;
  BYTE* data = nullptr;
  DWORD length = 0;
  std::vector<uint8_t> picture;
  if (SUCCEEDED(sample->ConvertToContiguousBuffer(buffer.put())) &&
      SUCCEEDED(buffer->Lock(&data, nullptr, &length))) {
    const LONG last = (LONG{kHeight} - 1) * std::abs(stride);
    if (LONG(length) >= last + kLine) picture = Lines(stride < 0 ? data + last : data, stride);
    buffer->Unlock();
  }
  return picture;
}

ComPtr<IMFMediaType> VideoType(const GUID& subtype, UINT32 width = kWidth, UINT32 height = kHeight,
                               LONG stride = 0, const GUID& major = MFMediaType_Video) {
  ComPtr<IMFMediaType> type;
  MFCreateMediaType(type.put());
  type->SetGUID(MF_MT_MAJOR_TYPE, major);
  type->SetGUID(MF_MT_SUBTYPE, subtype);
  if (width != 0) MFSetAttributeSize(type.get(), MF_MT_FRAME_SIZE, width, height);
  if (stride != 0) type->SetUINT32(MF_MT_DEFAULT_STRIDE, static_cast<UINT32>(stride));
  return type;
}

// The clip in an AVI file of the temporary folder, written with avifil32 as
// hosts store VOXA.
std::string WriteClip(const std::vector<std::vector<uint8_t>>& frames) {
  char folder[MAX_PATH] = {};
  GetTempPathA(MAX_PATH, folder);
  const std::string path = std::string(folder) + "voxa-media-foundation-test.avi";
  DeleteFileA(path.c_str());
  PAVIFILE file = nullptr;
  PAVISTREAM stream = nullptr;
  AVISTREAMINFOA info{};
  info.fccType = streamtypeVIDEO;
  info.fccHandler = mf::kVoxaFourcc;
  info.dwScale = 1;
  info.dwRate = 25;
  BITMAPINFOHEADER format = test::BitmapHeader(kWidth, kHeight, 32, mf::kVoxaFourcc);
  EXPECT_EQ(AVIFileOpenA(&file, path.c_str(), OF_CREATE | OF_WRITE, nullptr), 0);
  EXPECT_EQ(AVIFileCreateStreamA(file, &stream, &info), 0);
  EXPECT_EQ(AVIStreamSetFormat(stream, 0, &format, sizeof format), 0);
  for (LONG i = 0; stream != nullptr && i < LONG{kFrames}; ++i) {
    EXPECT_EQ(AVIStreamWrite(stream, i, 1, const_cast<uint8_t*>(frames[i].data()),
                             static_cast<LONG>(frames[i].size()), AVIIF_KEYFRAME, nullptr, nullptr), 0);
  }
  if (stream != nullptr) AVIStreamRelease(stream);
  if (file != nullptr) AVIFileRelease(file);
  return path;
}

// DllRegisterServer or DllUnregisterServer of the built DLL, as regsvr32 calls it.
HRESULT CallServer(const char* function) {
  HMODULE dll = LoadLibraryA(VOXAMF_DLL_PATH);
  auto call = reinterpret_cast<HRESULT(STDAPICALLTYPE*)()>(reinterpret_cast<void*>(GetProcAddress(dll, function)));
  const HRESULT result = call != nullptr ? call() : E_FAIL;
  if (dll != nullptr) FreeLibrary(dll);
  return result;
}

// Decoders MFTEnumEx lists for VOXA video in, `output` out.
UINT32 DecodersFound(const GUID& output) {
  const MFT_REGISTER_TYPE_INFO in{MFMediaType_Video, mf::kVoxaSubtype}, out{MFMediaType_Video, output};
  IMFActivate** found = nullptr;
  UINT32 count = 0;
  if (FAILED(MFTEnumEx(MFT_CATEGORY_VIDEO_DECODER, MFT_ENUM_FLAG_ALL, &in, &out, &found, &count))) return 0;
  for (UINT32 i = 0; i < count; ++i) found[i]->Release();
  CoTaskMemFree(found);
  return count;
}

struct Decoded {
  LONGLONG time, duration;
  std::vector<uint8_t> picture;  // top line first
};

class Grabber final : public test::ComObject<IMFSampleGrabberSinkCallback, &IID_IMFSampleGrabberSinkCallback> {
 public:
  HRESULT STDMETHODCALLTYPE OnClockStart(MFTIME, LONGLONG) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnClockStop(MFTIME) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnClockPause(MFTIME) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnClockRestart(MFTIME) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnClockSetRate(MFTIME, float) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnSetPresentationClock(IMFPresentationClock*) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnShutdown() override { return S_OK; }
  // Bottom-up, as the decoder's types say; one call at a time.
  HRESULT STDMETHODCALLTYPE OnProcessSample(REFGUID, DWORD, LONGLONG time, LONGLONG duration,
                                            const BYTE* data, DWORD size) override {
    if (size == DWORD{kLine} * kHeight) decoded.push_back({time, duration, Lines(data + size - kLine, -kLine)});
    return S_OK;
  }
  std::vector<Decoded> decoded;
};

// Every picture the Media Session gives the Sample Grabber, asked for `subtype`.
std::vector<Decoded> ThroughSession(IMFMediaSource* source, const GUID& subtype) {
  ComPtr<IMFPresentationDescriptor> pd;
  ComPtr<IMFStreamDescriptor> sd;
  ComPtr<Grabber> grabber(new Grabber);
  ComPtr<IMFActivate> sink;
  ComPtr<IMFTopology> topology;
  ComPtr<IMFTopologyNode> from, to;
  ComPtr<IMFMediaSession> session;
  BOOL selected = FALSE;
  source->CreatePresentationDescriptor(pd.put());
  pd->GetStreamDescriptorByIndex(0, &selected, sd.put());
  EXPECT_HRESULT_SUCCEEDED(MFCreateSampleGrabberSinkActivate(VideoType(subtype, 0).get(), grabber.get(), sink.put()));
  sink->SetUINT32(MF_SAMPLEGRABBERSINK_IGNORE_CLOCK, TRUE);
  // A partial topology, source to sink: the loader finds the decoder.
  MFCreateTopology(topology.put());
  MFCreateTopologyNode(MF_TOPOLOGY_SOURCESTREAM_NODE, from.put());
  from->SetUnknown(MF_TOPONODE_SOURCE, source);
  from->SetUnknown(MF_TOPONODE_PRESENTATION_DESCRIPTOR, pd.get());
  from->SetUnknown(MF_TOPONODE_STREAM_DESCRIPTOR, sd.get());
  MFCreateTopologyNode(MF_TOPOLOGY_OUTPUT_NODE, to.put());
  to->SetObject(sink.get());
  topology->AddNode(from.get());
  topology->AddNode(to.get());
  from->ConnectOutput(0, to.get(), 0);
  MFCreateMediaSession(nullptr, session.put());
  EXPECT_HRESULT_SUCCEEDED(session->SetTopology(0, topology.get()));
  PROPVARIANT start;
  PropVariantInit(&start);
  EXPECT_HRESULT_SUCCEEDED(session->Start(&GUID_NULL, &start));
  for (MediaEventType wanted : {MESessionEnded, MESessionClosed}) {
    if (wanted == MESessionClosed) session->Close();
    for (const DWORD deadline = GetTickCount() + kWaitMs; GetTickCount() < deadline;) {
      ComPtr<IMFMediaEvent> event;
      MediaEventType got = MEUnknown;
      HRESULT status = S_OK;
      if (FAILED(session->GetEvent(MF_EVENT_FLAG_NO_WAIT, event.put()))) {
        Sleep(10);
        continue;
      }
      event->GetType(&got);
      event->GetStatus(&status);
      EXPECT_HRESULT_SUCCEEDED(status) << "session event " << got;
      if (got == wanted || FAILED(status)) break;
    }
  }
  session->Shutdown();
  sink->ShutdownObject();
  return grabber->decoded;
}

// Every picture the Source Reader reads, asked for `subtype`.
std::vector<Decoded> ThroughReader(IMFMediaSource* source, const GUID& subtype) {
  ComPtr<IMFSourceReader> reader;
  std::vector<Decoded> decoded;
  const DWORD video = MF_SOURCE_READER_FIRST_VIDEO_STREAM;
  EXPECT_HRESULT_SUCCEEDED(MFCreateSourceReaderFromMediaSource(source, nullptr, reader.put()));
  EXPECT_HRESULT_SUCCEEDED(reader->SetCurrentMediaType(video, nullptr, VideoType(subtype, 0).get()));
  for (DWORD flags = 0; !(flags & MF_SOURCE_READERF_ENDOFSTREAM) && decoded.size() <= kFrames;) {
    ComPtr<IMFSample> sample;
    LONGLONG time = 0, duration = 0;
    if (FAILED(reader->ReadSample(video, 0, nullptr, &flags, &time, sample.put()))) break;
    if (sample && SUCCEEDED(sample->GetSampleDuration(&duration))) decoded.push_back({time, duration, Lines(sample.get())});
  }
  return decoded;
}

using Host = std::vector<Decoded> (*)(IMFMediaSource*, const GUID&);

// Every frame of the clip through `host`: the codec's picture at its time.
void ExpectEveryFrameDecoded(Host host, const GUID& subtype) {
  const auto frames = Frames();
  const std::string clip = WriteClip(frames);
  ComPtr<IMFMediaSource> source = test::OpenAviSource(clip.c_str());
  ASSERT_TRUE(source);
  const auto decoded = host(source.get(), subtype);
  source->Shutdown();
  DeleteFileA(clip.c_str());
  ASSERT_EQ(decoded.size(), kFrames);
  for (UINT32 i = 0; i < kFrames; ++i) {
    EXPECT_EQ(decoded[i].time, i * kFrameDuration) << "frame " << i;
    EXPECT_EQ(decoded[i].duration, kFrameDuration) << "frame " << i;
    EXPECT_TRUE(decoded[i].picture == Picture(frames[i], frames[i].size())) << "frame " << i;
  }
}

class MediaFoundationTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_HRESULT_SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED));
    ASSERT_HRESULT_SUCCEEDED(MFStartup(MF_VERSION, MFSTARTUP_FULL));
    AVIFileInit();
    if (register_) {
      ASSERT_EQ(CallServer("DllRegisterServer"), S_OK);
    }
  }
  void TearDown() override {
    AVIFileExit();
    MFShutdown();
    CoUninitialize();
  }
  bool register_ = true;  // the built DLL; or whatever is installed
};

struct HostRow {
  const char* name;
  Host host;
  const GUID* subtype;
};
void PrintTo(const HostRow& row, std::ostream* out) { *out << row.name; }
class HostTest : public MediaFoundationTest, public testing::WithParamInterface<HostRow> {};

TEST_P(HostTest, EveryFrameIsTheCodecsPicture) { ExpectEveryFrameDecoded(GetParam().host, *GetParam().subtype); }

INSTANTIATE_TEST_SUITE_P(MediaFoundation, HostTest,
                         testing::Values(HostRow{"SessionArgb32", ThroughSession, &MFVideoFormat_ARGB32},
                                         HostRow{"SessionRgb32", ThroughSession, &MFVideoFormat_RGB32},
                                         HostRow{"ReaderArgb32", ThroughReader, &MFVideoFormat_ARGB32},
                                         HostRow{"ReaderRgb32", ThroughReader, &MFVideoFormat_RGB32}),
                         [](const testing::TestParamInfo<HostRow>& row) { return std::string(row.param.name); });

TEST_F(MediaFoundationTest, FoundAfterRegistrationOnly) {
  EXPECT_EQ(DecodersFound(MFVideoFormat_ARGB32), 1u);
  EXPECT_EQ(DecodersFound(MFVideoFormat_RGB32), 1u);
  EXPECT_EQ(DecodersFound(MFVideoFormat_NV12), 0u);
  ASSERT_EQ(CallServer("DllUnregisterServer"), S_OK);
  EXPECT_EQ(DecodersFound(MFVideoFormat_ARGB32), 0u);
  HKEY key;
  EXPECT_NE(RegOpenKeyExA(HKEY_CLASSES_ROOT, "CLSID\\{1B2A84A1-75B1-45B1-A68E-8DA858EBD088}", 0, KEY_READ, &key),
            ERROR_SUCCESS);
  EXPECT_EQ(CallServer("DllUnregisterServer"), S_OK);  // again: nothing to remove
}

// What an installer left: the decoder MFTEnumEx finds, through the session.
class MediaFoundationInstalled : public MediaFoundationTest {
  void SetUp() override {
    register_ = false;
    MediaFoundationTest::SetUp();
  }
};
TEST_F(MediaFoundationInstalled, DISABLED_Decodes) {
  EXPECT_EQ(DecodersFound(MFVideoFormat_ARGB32), 1u);
  ExpectEveryFrameDecoded(ThroughSession, MFVideoFormat_ARGB32);
}
TEST_F(MediaFoundationInstalled, DISABLED_Absent) { EXPECT_EQ(DecodersFound(MFVideoFormat_ARGB32), 0u); }

// ---- the transform itself, linked directly: what the hosts above never do ----

class MediaFoundationTransformTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_HRESULT_SUCCEEDED(MFStartup(MF_VERSION, MFSTARTUP_FULL));
    ASSERT_HRESULT_SUCCEEDED(mf::DecoderTransform::Create(IID_IMFTransform, t_.put_void()));
  }
  void TearDown() override {
    t_.Reset();
    MFShutdown();
  }
  void SetTypes(LONG stride) {
    ASSERT_EQ(t_->SetInputType(0, VideoType(mf::kVoxaSubtype).get(), 0), S_OK);
    ASSERT_EQ(t_->SetOutputType(0, VideoType(MFVideoFormat_ARGB32, kWidth, kHeight, stride).get(), 0), S_OK);
  }
  HRESULT Input(size_t size) {
    const auto sample = test::NewSample(frame_.data(), static_cast<DWORD>(size), 7 * kFrameDuration, kFrameDuration);
    return t_->ProcessInput(0, sample.get(), 0);
  }
  HRESULT Output(IMFSample* sample = nullptr) {
    MFT_OUTPUT_DATA_BUFFER out{0, sample, 0, nullptr};
    DWORD status = 0;
    const HRESULT result = t_->ProcessOutput(0, 1, &out, &status);
    if (sample == nullptr && out.pSample != nullptr) produced_ = ComPtr<IMFSample>(out.pSample);
    return result;
  }
  ComPtr<IMFTransform> t_;
  ComPtr<IMFSample> produced_;  // the transform's own sample
  const std::vector<uint8_t> frame_ = Frames()[1];
};

TEST_F(MediaFoundationTransformTest, MediaTypes) {
  const GUID& voxa = mf::kVoxaSubtype;
  const HRESULT invalid = MF_E_INVALIDMEDIATYPE;
  ComPtr<IMFMediaType> offered;
  EXPECT_EQ(t_->SetOutputType(0, VideoType(MFVideoFormat_ARGB32).get(), 0), MF_E_TRANSFORM_TYPE_NOT_SET);
  EXPECT_EQ(t_->GetOutputAvailableType(0, 0, offered.put()), MF_E_TRANSFORM_TYPE_NOT_SET);
  const struct { const char* name; ComPtr<IMFMediaType> type; HRESULT wanted; } inputs[] = {
      {"audio", VideoType(voxa, kWidth, kHeight, 0, MFMediaType_Audio), invalid},
      {"another subtype", VideoType(MFVideoFormat_RGB32), invalid},
      {"no frame size", VideoType(voxa, 0, 0), invalid},
      {"a width not a multiple of 16", VideoType(voxa, kWidth - 8), invalid},
      {"an odd height", VideoType(voxa, kWidth, kHeight - 1), invalid},
      {"no lines", VideoType(voxa, kWidth, 0), invalid},
      {"too large for the codec", VideoType(voxa, 65536, 32768), invalid},
      {"VOXA 128x72", VideoType(voxa), S_OK},
  };
  for (const auto& row : inputs) {
    EXPECT_EQ(t_->SetInputType(0, row.type.get(), MFT_SET_TYPE_TEST_ONLY), row.wanted) << row.name;
    EXPECT_EQ(t_->SetInputType(0, row.type.get(), 0), row.wanted) << row.name;
  }
  for (DWORD i = 0; i < 2; ++i) {
    GUID subtype = GUID_NULL;
    ASSERT_EQ(t_->GetOutputAvailableType(0, i, offered.put()), S_OK);
    offered->GetGUID(MF_MT_SUBTYPE, &subtype);
    EXPECT_TRUE(subtype == (i == 0 ? MFVideoFormat_ARGB32 : MFVideoFormat_RGB32)) << i;
    EXPECT_EQ(static_cast<INT32>(MFGetAttributeUINT32(offered.get(), MF_MT_DEFAULT_STRIDE, 0)), -kLine) << i;
    EXPECT_EQ(t_->SetOutputType(0, offered.get(), MFT_SET_TYPE_TEST_ONLY), S_OK) << i;
  }
  EXPECT_EQ(t_->GetOutputAvailableType(0, 2, offered.put()), MF_E_NO_MORE_TYPES);
  // What Wine's session sets: the input type with the subtype changed.
  ComPtr<IMFMediaType> session = VideoType(MFVideoFormat_RGB32);
  session->SetUINT32(MF_MT_COMPRESSED, TRUE);
  const struct { const char* name; ComPtr<IMFMediaType> type; HRESULT wanted; } outputs[] = {
      {"NV12", VideoType(MFVideoFormat_NV12), invalid},
      {"another frame size", VideoType(MFVideoFormat_ARGB32, kWidth / 2), invalid},
      {"no frame size", VideoType(MFVideoFormat_ARGB32, 0, 0), invalid},
      {"a stride shorter than a line", VideoType(MFVideoFormat_ARGB32, kWidth, kHeight, kLine - 4), invalid},
      {"top-down", VideoType(MFVideoFormat_ARGB32, kWidth, kHeight, kLine), S_OK},
      {"bottom-up, padded lines", VideoType(MFVideoFormat_RGB32, kWidth, kHeight, -kLine - 64), S_OK},
      {"Wine's session's", std::move(session), S_OK},
  };
  for (const auto& row : outputs) EXPECT_EQ(t_->SetOutputType(0, row.type.get(), 0), row.wanted) << row.name;
  MFT_OUTPUT_STREAM_INFO info{};
  ASSERT_EQ(t_->GetOutputStreamInfo(0, &info), S_OK);
  EXPECT_EQ(info.cbSize, DWORD{kLine} * kHeight);
  EXPECT_TRUE(info.dwFlags & MFT_OUTPUT_STREAM_CAN_PROVIDE_SAMPLES);
}

enum class Buffer { kPlain, kSurfaceTopDown, kSurfaceBottomUp, kNone, kTooSmall };
struct DecodeRow {
  const char* name;
  LONG stride;    // of the output type; 0: none (bottom-up)
  Buffer buffer;  // the caller's (filled with garbage), or none
  int cut;        // the frame's bytes are divided by this
};
void PrintTo(const DecodeRow& row, std::ostream* out) { *out << row.name; }
class DecodeTest : public MediaFoundationTransformTest, public testing::WithParamInterface<DecodeRow> {};

TEST_P(DecodeTest, PictureAndTimesOfTheFrame) {
  const DecodeRow& row = GetParam();
  const LONG stride = row.stride != 0 ? row.stride : -kLine;
  const size_t size = frame_.size() / row.cut;
  SetTypes(row.stride);
  EXPECT_EQ(Output(), MF_E_TRANSFORM_NEED_MORE_INPUT);
  ASSERT_EQ(Input(size), S_OK);
  EXPECT_EQ(Input(size), MF_E_NOTACCEPTING);
  ComPtr<IMFSample> sample = test::NewSample(nullptr, std::abs(stride) * kHeight - 1, 0, 0);
  if (row.buffer == Buffer::kTooSmall) {
    EXPECT_EQ(Output(sample.get()), MF_E_BUFFERTOOSMALL);
  }
  ComPtr<IMFMediaBuffer> buffer;
  ComPtr<IMF2DBuffer> surface;
  BYTE* data = nullptr;
  LONG pitch = std::abs(stride);
  sample->RemoveAllBuffers();
  if (row.buffer == Buffer::kSurfaceTopDown || row.buffer == Buffer::kSurfaceBottomUp) {
    MFCreate2DMediaBuffer(kWidth, kHeight, MFVideoFormat_ARGB32.Data1, row.buffer == Buffer::kSurfaceBottomUp,
                          buffer.put());
    buffer.As(&surface);
    surface->Lock2D(&data, &pitch);
  } else {
    MFCreateMemoryBuffer(pitch * kHeight, buffer.put());
    buffer->Lock(&data, nullptr, nullptr);
  }
  for (LONG y = 0; y < LONG{kHeight}; ++y) std::fill_n(data + y * pitch, kLine, 0xcd);
  surface ? surface->Unlock2D() : buffer->Unlock();
  sample->AddBuffer(buffer.get());
  ASSERT_EQ(Output(row.buffer == Buffer::kNone ? nullptr : sample.get()), S_OK);
  if (row.buffer == Buffer::kNone) sample = std::move(produced_);
  ASSERT_TRUE(sample);
  if (surface) {
    ASSERT_EQ(surface->Lock2D(&data, &pitch), S_OK);
    EXPECT_EQ(pitch < 0, row.buffer == Buffer::kSurfaceBottomUp);
    EXPECT_TRUE(Lines(data, pitch) == Picture(frame_, size));
    surface->Unlock2D();
  } else {
    EXPECT_TRUE(Lines(sample.get(), stride) == Picture(frame_, size));
  }
  LONGLONG time = 0, duration = 0;
  EXPECT_TRUE(SUCCEEDED(sample->GetSampleTime(&time)) && time == 7 * kFrameDuration) << time;
  EXPECT_TRUE(SUCCEEDED(sample->GetSampleDuration(&duration)) && duration == kFrameDuration) << duration;
  EXPECT_EQ(MFGetAttributeUINT32(sample.get(), MFSampleExtension_CleanPoint, FALSE), UINT32{TRUE});
  EXPECT_EQ(Output(), MF_E_TRANSFORM_NEED_MORE_INPUT);
}

INSTANTIATE_TEST_SUITE_P(MediaFoundation, DecodeTest,
                         testing::Values(DecodeRow{"PlainBottomUp", 0, Buffer::kPlain, 1},
                                         DecodeRow{"PlainTopDown", kLine, Buffer::kPlain, 1},
                                         DecodeRow{"PlainPaddedBottomUp", -kLine - 64, Buffer::kPlain, 1},
                                         DecodeRow{"SurfaceTopDown", 0, Buffer::kSurfaceTopDown, 1},
                                         DecodeRow{"SurfaceBottomUpOverATopDownType", kLine, Buffer::kSurfaceBottomUp, 1},
                                         DecodeRow{"TransformsOwnSample", kLine, Buffer::kNone, 1},
                                         DecodeRow{"DamagedFrameMissingBlocksTransparent", 0, Buffer::kPlain, 2},
                                         DecodeRow{"EmptySampleTransparent", kLine, Buffer::kPlain, 1 << 30},
                                         DecodeRow{"BufferTooSmallThenLargeEnough", 0, Buffer::kTooSmall, 1}),
                         [](const testing::TestParamInfo<DecodeRow>& row) { return std::string(row.param.name); });

TEST_F(MediaFoundationTransformTest, FlushDropsTheFrameAndDrainEndsWithIt) {
  SetTypes(0);
  ASSERT_EQ(Input(frame_.size()), S_OK);
  EXPECT_EQ(t_->ProcessMessage(MFT_MESSAGE_COMMAND_FLUSH, 0), S_OK);
  EXPECT_EQ(Output(), MF_E_TRANSFORM_NEED_MORE_INPUT);
  ASSERT_EQ(Input(frame_.size()), S_OK);
  EXPECT_EQ(t_->ProcessMessage(MFT_MESSAGE_COMMAND_DRAIN, 0), S_OK);
  EXPECT_EQ(Output(), S_OK);
  EXPECT_EQ(Input(frame_.size()), MF_E_NOTACCEPTING);
  EXPECT_EQ(Output(), MF_E_TRANSFORM_NEED_MORE_INPUT);
  EXPECT_EQ(Input(frame_.size()), S_OK);
}

}  // namespace
}  // namespace voxa
