// Saving through avifil32 with voxa.dll as the compressor, as an editor's
// "save as" does (AVISaveV): from an uncompressed AVI stored bottom-up and
// from one stored top-down (as FFmpeg writes raw BGRA), the saved frames are
// the codec core's frames of the same pictures.
#include <gtest/gtest.h>

#include <windows.h>

#include <vfw.h>

#include <cstring>
#include <string>
#include <vector>

#include "codec/kernel_slots.h"
#include "codec/frame_codec.h"
#include "icm_test_support.h"
#include "test_frames.h"

namespace voxa {
namespace {

constexpr LONG kWidth = 64, kHeight = 30;
constexpr int kFrames = 4;
constexpr std::size_t kLine = kWidth * 4;

// An AVI file with one video stream of `frames`, uncompressed 32-bit BGRA
// whose lines are stored as `header` says (a negative height: top line first).
bool WriteRawAvi(const std::string& path, const BITMAPINFOHEADER& header,
                 const std::vector<std::vector<uint8_t>>& frames) {
  DeleteFileA(path.c_str());
  PAVIFILE file = nullptr;
  if (AVIFileOpenA(&file, path.c_str(), OF_CREATE | OF_WRITE, nullptr) != AVIERR_OK) return false;
  AVISTREAMINFOA info{};
  info.fccType = streamtypeVIDEO;
  info.dwScale = 1;
  info.dwRate = 25;
  info.dwSuggestedBufferSize = static_cast<DWORD>(frames[0].size());
  SetRect(&info.rcFrame, 0, 0, kWidth, kHeight);
  PAVISTREAM stream = nullptr;
  bool ok = AVIFileCreateStreamA(file, &stream, &info) == AVIERR_OK &&
            AVIStreamSetFormat(stream, 0, const_cast<BITMAPINFOHEADER*>(&header), sizeof header) ==
                AVIERR_OK;
  for (std::size_t i = 0; ok && i < frames.size(); ++i) {
    ok = AVIStreamWrite(stream, static_cast<LONG>(i), 1, const_cast<uint8_t*>(frames[i].data()),
                        static_cast<LONG>(frames[i].size()), AVIIF_KEYFRAME, nullptr,
                        nullptr) == AVIERR_OK;
  }
  if (stream != nullptr) AVIStreamRelease(stream);
  AVIFileRelease(file);
  return ok;
}

// Saves the video stream of `source` into `target` through the VOXA codec.
HRESULT SaveWithVoxa(const std::string& source, const std::string& target) {
  PAVIFILE file = nullptr;
  HRESULT result = AVIFileOpenA(&file, source.c_str(), OF_READ, nullptr);
  if (result != AVIERR_OK) return result;
  PAVISTREAM stream = nullptr;
  result = AVIFileGetStream(file, &stream, streamtypeVIDEO, 0);
  if (result == AVIERR_OK) {
    AVICOMPRESSOPTIONS options{};
    options.fccType = streamtypeVIDEO;
    options.fccHandler = test::kVoxaHandler;
    options.dwFlags = AVICOMPRESSF_VALID;
    LPAVICOMPRESSOPTIONS all[] = {&options};
    DeleteFileA(target.c_str());
    result = AVISaveVA(target.c_str(), nullptr, nullptr, 1, &stream, all);
    AVIStreamRelease(stream);
  }
  AVIFileRelease(file);
  return result;
}

// The stored frames of a file's video stream, as they lie in the file.
std::vector<std::vector<uint8_t>> ReadFrames(const std::string& path) {
  std::vector<std::vector<uint8_t>> frames;
  PAVIFILE file = nullptr;
  if (AVIFileOpenA(&file, path.c_str(), OF_READ, nullptr) != AVIERR_OK) return frames;
  PAVISTREAM stream = nullptr;
  if (AVIFileGetStream(file, &stream, streamtypeVIDEO, 0) == AVIERR_OK) {
    for (LONG i = AVIStreamStart(stream); i < AVIStreamEnd(stream); ++i) {
      LONG bytes = 0;
      if (AVIStreamRead(stream, i, 1, nullptr, 0, &bytes, nullptr) != AVIERR_OK) break;
      frames.emplace_back(static_cast<std::size_t>(bytes));
      AVIStreamRead(stream, i, 1, frames.back().data(), bytes, nullptr, nullptr);
    }
    AVIStreamRelease(stream);
  }
  AVIFileRelease(file);
  return frames;
}

TEST(AviSaveTest, TopDownAndBottomUpSourcesSaveTheSameFrames) {
  ASSERT_TRUE(test::RegisterDriverDll()) << test::DriverDllPath();
  AVIFileInit();
  const FrameFormat f{PixelFormat::kRgba32, kWidth, kHeight};
  const FieldKernels installed = KernelsOfVariant(InstalledVariant());
  test::Random random(41);
  std::vector<std::vector<uint8_t>> bottom_up, top_down, expected;
  for (int i = 0; i < kFrames; ++i) {
    bottom_up.push_back(random.Bytes(kLine * kHeight));
    top_down.emplace_back(kLine * kHeight);
    for (LONG y = 0; y < kHeight; ++y) {
      std::memcpy(&top_down.back()[y * kLine], &bottom_up.back()[(kHeight - 1 - y) * kLine], kLine);
    }
    expected.emplace_back(MaxCompressedFrameBytes(kWidth, kHeight));
    expected.back().resize(EncodeFrame(f, bottom_up.back().data(), expected.back().data(), installed));
  }
  BITMAPINFOHEADER header{};
  header.biSize = sizeof header;
  header.biWidth = kWidth;
  header.biPlanes = 1;
  header.biBitCount = 32;
  header.biCompression = BI_RGB;
  header.biSizeImage = kLine * kHeight;
  for (bool is_top_down : {false, true}) {
    const char* name = is_top_down ? "top-down" : "bottom-up";
    const std::string source = std::string("avi-save-") + name + ".avi";
    const std::string target = std::string("avi-save-") + name + "-voxa.avi";
    header.biHeight = is_top_down ? -kHeight : kHeight;
    ASSERT_TRUE(WriteRawAvi(source, header, is_top_down ? top_down : bottom_up)) << name;
    EXPECT_EQ(SaveWithVoxa(source, target), AVIERR_OK) << name;
    EXPECT_EQ(ReadFrames(target), expected) << name;
  }
  AVIFileExit();
}

}  // namespace
}  // namespace voxa
