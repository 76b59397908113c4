// voxa_avi: a short title clip through voxa.dll the way an editing program
// uses it. The clip is written to an AVI file through avifil32 with the
// codec as compressor, read back through avifil32's frame decompressor, and
// each frame is checked against the codec core run directly: the stored
// chunk must be the core's compressed frame byte for byte, and the picture
// avifil32 hands back must be the core's decode of it.
//
//   voxa_avi [--frames N | --input CLIP.bgra] [--output FILE] [--remove] [--dll PATH]
//
// The clip is the tool's sample clip, or with --input the 720x576 raw BGRA
// frames (bottom line first) of a file, such as 'voxa sample --frames' writes.
// Exit status 0 when every frame matched, 1 when anything differed or failed,
// 2 for a usage error.
//
//   voxa_avi --decode FILE.avi --dump OUT.bgra [--dll PATH]
//
// Reads a VOXA AVI file written by any program through avifil32's frame
// decompressor with voxa.dll, as a player would, and writes every picture it
// hands back (32-bit BGRA, bottom line first) to OUT, one after the other.
#include <windows.h>

#include <vfw.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "codec/kernel_slots.h"
#include "codec/field_kernels.h"
#include "codec/frame_codec.h"
#include "codec/frame_container.h"
#include "support/frame_compare.h"
#include "tests/bitmap_header.h"
#include "tests/host/register_driver.h"
#include "support/sample_frames.h"

namespace voxa {
namespace {

constexpr uint32_t kWidth = 720;
constexpr uint32_t kHeight = 576;
constexpr DWORD kFramesPerSecond = 25;
constexpr int kMaxFrames = 1000;
// At most this many differences are listed one by one.
constexpr int kMaxListed = 20;

struct Options {
  std::string input;   // raw frames to compress instead of the sample clip
  std::string decode;  // the AVI file to decode, in the decoding mode
  std::string dump;
  int frames = 10;
  std::string output = "voxa-clip.avi";
  bool keep = true;
  std::string dll = WindowsPath(VOXA_DLL_PATH);
};

void PrintUsage() {
  std::fprintf(stderr,
               "usage: voxa_avi [--frames N | --input CLIP.bgra] [--output FILE] [--keep|--remove]"
               " [--dll PATH]\n"
               "       voxa_avi --decode FILE.avi --dump OUT.bgra [--dll PATH]\n"
               "  --frames N     frames of the clip, 1 to %d (default 10)\n"
               "  --input FILE   compress the 720x576 BGRA frames of FILE instead\n"
               "  --output FILE  the AVI file to write (default voxa-clip.avi)\n"
               "  --remove       delete the file at the end (default: keep it)\n"
               "  --dll PATH     the voxa.dll to register (default: the one built with this program)\n"
               "  --decode FILE  decode FILE through avifil32 and write its pictures to --dump\n",
               kMaxFrames);
}

bool ParseOptions(int argc, char** argv, Options* options) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool has_value = i + 1 < argc;
    if (arg == "--frames" && has_value) {
      char* end = nullptr;
      const long n = std::strtol(argv[++i], &end, 10);
      if (*end != '\0' || n < 1 || n > kMaxFrames) return false;
      options->frames = static_cast<int>(n);
    } else if (arg == "--output" && has_value) {
      options->output = argv[++i];
    } else if (arg == "--input" && has_value) {
      options->input = argv[++i];
    } else if (arg == "--decode" && has_value) {
      options->decode = argv[++i];
    } else if (arg == "--dump" && has_value) {
      options->dump = argv[++i];
    } else if (arg == "--dll" && has_value) {
      options->dll = WindowsPath(argv[++i]);
    } else if (arg == "--keep") {
      options->keep = true;
    } else if (arg == "--remove") {
      options->keep = false;
    } else {
      return false;
    }
  }
  if (options->decode.empty() != options->dump.empty()) return false;
  return !options->output.empty() && !options->dll.empty();
}

std::vector<uint8_t> ClipFrame(const std::vector<uint8_t>& title, int index) {
  return MakeSampleClipFrame(title, kWidth, kHeight, static_cast<uint32_t>(index));
}

BITMAPINFOHEADER BgraHeader() {
  BITMAPINFOHEADER h = test::BitmapHeader(kWidth, kHeight, 32, BI_RGB);  // bottom-up
  h.biSizeImage = kWidth * kHeight * 4;
  return h;
}

class Stopwatch {
 public:
  Stopwatch() { QueryPerformanceFrequency(&frequency_); }
  void Start() { QueryPerformanceCounter(&start_); }
  void Stop() {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    ticks_ += now.QuadPart - start_.QuadPart;
  }
  double Milliseconds() const { return 1000.0 * ticks_ / frequency_.QuadPart; }

 private:
  LARGE_INTEGER frequency_{};
  LARGE_INTEGER start_{};
  long long ticks_ = 0;
};

// Collects what went wrong; the first few are printed as they come.
class Findings {
 public:
  void Add(const std::string& what) {
    if (count_ < kMaxListed) std::printf("DIFFERS: %s\n", what.c_str());
    if (count_ == kMaxListed) std::printf("DIFFERS: (further differences not listed)\n");
    ++count_;
  }
  void Fail(const std::string& what, long code) {
    char text[32];
    std::snprintf(text, sizeof text, " (0x%08lx)", static_cast<unsigned long>(code));
    Add(what + text);
  }
  int count() const { return count_; }

 private:
  int count_ = 0;
};

std::string FrameText(int index) { return "frame " + std::to_string(index) + ": "; }

// Mean squared error behind a PSNR in dB (0 for identical frames).
double MseOf(double psnr) {
  return std::isinf(psnr) ? 0.0 : 255.0 * 255.0 / std::pow(10.0, psnr / 10.0);
}
double PsnrOf(double mse) {
  return mse == 0.0 ? std::numeric_limits<double>::infinity()
                    : 10.0 * std::log10(255.0 * 255.0 / mse);
}
std::string DbText(double psnr) {
  if (std::isinf(psnr)) return "inf";
  char text[32];
  std::snprintf(text, sizeof text, "%.2f", psnr);
  return text;
}

// What the codec core gives for each source frame, run directly.
struct Expected {
  std::vector<std::vector<uint8_t>> compressed;
  std::vector<std::vector<uint8_t>> decoded;
};

struct Timings {
  Stopwatch avi_compress, avi_decompress, direct_encode, direct_decode;
};

bool MakeExpected(const std::vector<std::vector<uint8_t>>& clip, Expected* expected,
                  Timings* timings, Findings* findings) {
  const FrameFormat format{PixelFormat::kRgba32, kWidth, kHeight};
  // The kernels the driver installs on this processor.
  const FieldKernels kernels = KernelsOfVariant(InstalledVariant());
  std::vector<uint8_t> out(MaxCompressedFrameBytes(kWidth, kHeight));
  for (std::size_t i = 0; i < clip.size(); ++i) {
    timings->direct_encode.Start();
    const std::size_t size = EncodeFrame(format, clip[i].data(), out.data(), kernels);
    timings->direct_encode.Stop();
    expected->compressed.emplace_back(out.begin(), out.begin() + size);
    std::vector<uint8_t> picture(clip[i].size(), 0);
    timings->direct_decode.Start();
    const DecodeStatus status =
        DecodeFrame(format, out.data(), size, picture.data(), kernels);
    timings->direct_decode.Stop();
    if (status != DecodeStatus::kDecoded) {
      findings->Add(FrameText(static_cast<int>(i)) + "the codec core cannot decode its own frame");
      return false;
    }
    expected->decoded.push_back(std::move(picture));
  }
  return true;
}

bool WriteClip(const Options& options, const std::vector<std::vector<uint8_t>>& clip,
               Timings* timings, Findings* findings) {
  DeleteFileA(options.output.c_str());
  PAVIFILE file = nullptr;
  HRESULT hr = AVIFileOpenA(&file, options.output.c_str(), OF_CREATE | OF_WRITE, nullptr);
  if (hr != AVIERR_OK) {
    findings->Fail("AVIFileOpen cannot create " + options.output, hr);
    return false;
  }
  AVISTREAMINFOA info{};
  info.fccType = streamtypeVIDEO;
  info.fccHandler = kVoxaHandler;
  info.dwScale = 1;
  info.dwRate = kFramesPerSecond;
  info.dwQuality = static_cast<DWORD>(-1);
  SetRect(&info.rcFrame, 0, 0, kWidth, kHeight);
  std::strcpy(info.szName, "voxa title");
  PAVISTREAM raw = nullptr;
  PAVISTREAM compressed = nullptr;
  bool ok = false;
  do {
    if ((hr = AVIFileCreateStreamA(file, &raw, &info)) != AVIERR_OK) {
      findings->Fail("AVIFileCreateStream failed", hr);
      break;
    }
    AVICOMPRESSOPTIONS compress{};
    compress.fccType = streamtypeVIDEO;
    compress.fccHandler = kVoxaHandler;
    if ((hr = AVIMakeCompressedStream(&compressed, raw, &compress, nullptr)) != AVIERR_OK) {
      findings->Fail("AVIMakeCompressedStream found no VOXA compressor", hr);
      break;
    }
    BITMAPINFOHEADER format = BgraHeader();
    if ((hr = AVIStreamSetFormat(compressed, 0, &format, sizeof format)) != AVIERR_OK) {
      findings->Fail("AVIStreamSetFormat refused 32-bit BGRA", hr);
      break;
    }
    ok = true;
    for (std::size_t i = 0; i < clip.size() && ok; ++i) {
      // Flags 0: the codec's own key-frame flag goes into the index.
      LONG samples = 0, bytes = 0;
      timings->avi_compress.Start();
      hr = AVIStreamWrite(compressed, static_cast<LONG>(i), 1,
                          const_cast<uint8_t*>(clip[i].data()),
                          static_cast<LONG>(clip[i].size()), 0, &samples, &bytes);
      timings->avi_compress.Stop();
      if (hr != AVIERR_OK) {
        findings->Fail(FrameText(static_cast<int>(i)) + "AVIStreamWrite failed", hr);
        ok = false;
      }
    }
  } while (false);
  if (compressed != nullptr) AVIStreamRelease(compressed);
  if (raw != nullptr) AVIStreamRelease(raw);
  AVIFileRelease(file);
  return ok;
}

// Checks the stream's header and stored format, and the chunk of each frame
// against the core's compressed frame. Returns the sum of the chunk sizes.
uint64_t CheckChunks(PAVISTREAM stream, const Expected& expected, Findings* findings) {
  const LONG frames = static_cast<LONG>(expected.compressed.size());
  AVISTREAMINFOA info{};
  if (AVIStreamInfoA(stream, &info, sizeof info) != AVIERR_OK) {
    findings->Add("AVIStreamInfo failed");
  } else {
    if (info.fccHandler != kVoxaHandler) findings->Add("stream handler is not VOXA");
    if (info.dwLength != static_cast<DWORD>(frames)) {
      findings->Add("stream holds " + std::to_string(info.dwLength) + " frames, not " +
                    std::to_string(frames));
    }
  }
  BITMAPINFOHEADER stored{};
  LONG format_size = sizeof stored;
  if (AVIStreamReadFormat(stream, 0, &stored, &format_size) != AVIERR_OK) {
    findings->Add("AVIStreamReadFormat failed");
  } else if (stored.biCompression != kVoxaHandler || stored.biWidth != LONG{kWidth} ||
             stored.biHeight != LONG{kHeight}) {
    findings->Add("stored format is not VOXA 720x576");
  }

  uint64_t total = 0;
  std::vector<uint8_t> chunk;
  for (LONG i = 0; i < frames; ++i) {
    const std::vector<uint8_t>& want = expected.compressed[static_cast<std::size_t>(i)];
    LONG bytes = 0, samples = 0;
    HRESULT hr = AVIStreamRead(stream, i, 1, nullptr, 0, &bytes, &samples);
    if (hr != AVIERR_OK || bytes <= 0) {
      findings->Fail(FrameText(i) + "AVIStreamRead cannot size the chunk", hr);
      continue;
    }
    chunk.assign(static_cast<std::size_t>(bytes), 0);
    hr = AVIStreamRead(stream, i, 1, chunk.data(), bytes, &bytes, &samples);
    if (hr != AVIERR_OK) {
      findings->Fail(FrameText(i) + "AVIStreamRead failed", hr);
      continue;
    }
    chunk.resize(static_cast<std::size_t>(bytes));
    total += chunk.size();
    if (chunk != want) {
      std::size_t at = 0;
      while (at < chunk.size() && at < want.size() && chunk[at] == want[at]) ++at;
      findings->Add(FrameText(i) + "stored chunk of " + std::to_string(chunk.size()) +
                    " bytes differs from the core's " + std::to_string(want.size()) +
                    "-byte frame from byte " + std::to_string(at));
    }
    if (!AVIStreamIsKeyFrame(stream, i)) findings->Add(FrameText(i) + "not a key frame");
  }
  return total;
}

struct PictureResult {
  int compared = 0;
  double colour_mse = 0, alpha_mse = 0;
  double worst_colour_psnr = std::numeric_limits<double>::infinity();
};

// Decompresses every frame through avifil32 and compares it with the core's
// decode and with the source.
PictureResult CheckPictures(PAVISTREAM stream, const std::vector<std::vector<uint8_t>>& clip,
                            const Expected& expected, Timings* timings, Findings* findings) {
  PictureResult result;
  BITMAPINFOHEADER wanted = BgraHeader();
  PGETFRAME getter = AVIStreamGetFrameOpen(stream, &wanted);
  if (getter == nullptr) {
    findings->Add("AVIStreamGetFrameOpen found no VOXA decompressor to 32-bit BGRA");
    return result;
  }
  const int frames = static_cast<int>(clip.size());
  for (int i = 0; i < frames; ++i) {
    timings->avi_decompress.Start();
    const auto* dib = static_cast<const BITMAPINFOHEADER*>(AVIStreamGetFrame(getter, i));
    timings->avi_decompress.Stop();
    if (dib == nullptr) {
      findings->Add(FrameText(i) + "AVIStreamGetFrame returned no picture");
      continue;
    }
    if (dib->biWidth != LONG{kWidth} || dib->biHeight != LONG{kHeight} ||
        dib->biBitCount != 32 || dib->biCompression != BI_RGB) {
      findings->Add(FrameText(i) + "AVIStreamGetFrame returned another format");
      continue;
    }
    const auto* bits = reinterpret_cast<const uint8_t*>(dib) + dib->biSize +
                       dib->biClrUsed * sizeof(RGBQUAD);
    const std::vector<uint8_t> picture(bits, bits + clip[static_cast<std::size_t>(i)].size());
    const std::vector<uint8_t>& want = expected.decoded[static_cast<std::size_t>(i)];
    if (picture != want) {
      std::size_t differing = 0, first = picture.size();
      for (std::size_t k = 0; k < picture.size(); ++k) {
        if (picture[k] != want[k]) {
          if (differing++ == 0) first = k;
        }
      }
      findings->Add(FrameText(i) + std::to_string(differing) +
                    " bytes differ from the core's decode, the first at pixel " +
                    std::to_string(first / 4));
    }
    const FrameDifference d = CompareFrames(VOXA_BGRA, kWidth, kHeight,
                                            clip[static_cast<std::size_t>(i)], picture);
    ++result.compared;
    result.colour_mse += MseOf(d.colour_psnr);
    result.alpha_mse += MseOf(d.alpha_psnr);
    result.worst_colour_psnr = std::min(result.worst_colour_psnr, d.colour_psnr);
  }
  AVIStreamGetFrameClose(getter);
  if (result.compared != 0) {
    result.colour_mse /= result.compared;
    result.alpha_mse /= result.compared;
  }
  return result;
}

// The decoding mode: every frame of the first video stream through
// AVIStreamGetFrame to 32-bit BGRA, appended to the dump file.
int DecodeWithAvifil(const Options& options) {
  std::FILE* dump = std::fopen(options.dump.c_str(), "wb");
  if (dump == nullptr) {
    std::fprintf(stderr, "voxa_avi: cannot create %s\n", options.dump.c_str());
    return 1;
  }
  AVIFileInit();
  PAVIFILE file = nullptr;
  PAVISTREAM stream = nullptr;
  PGETFRAME getter = nullptr;
  int status = 1;
  LONG frames = 0, done = 0;
  BITMAPINFOHEADER stored{};
  do {
    HRESULT hr = AVIFileOpenA(&file, options.decode.c_str(), OF_READ, nullptr);
    if (hr != AVIERR_OK) {
      std::fprintf(stderr, "voxa_avi: AVIFileOpen cannot read %s (0x%08lx)\n",
                   options.decode.c_str(), static_cast<unsigned long>(hr));
      break;
    }
    if ((hr = AVIFileGetStream(file, &stream, streamtypeVIDEO, 0)) != AVIERR_OK) {
      std::fprintf(stderr, "voxa_avi: %s has no video stream\n", options.decode.c_str());
      break;
    }
    LONG format_size = sizeof stored;
    if (AVIStreamReadFormat(stream, 0, &stored, &format_size) != AVIERR_OK ||
        stored.biWidth <= 0 || stored.biHeight <= 0) {
      std::fprintf(stderr, "voxa_avi: cannot read the video format of %s\n",
                   options.decode.c_str());
      break;
    }
    BITMAPINFOHEADER wanted{};
    wanted.biSize = sizeof wanted;
    wanted.biWidth = stored.biWidth;
    wanted.biHeight = stored.biHeight;
    wanted.biPlanes = 1;
    wanted.biBitCount = 32;
    wanted.biCompression = BI_RGB;
    wanted.biSizeImage = static_cast<DWORD>(stored.biWidth * stored.biHeight * 4);
    getter = AVIStreamGetFrameOpen(stream, &wanted);
    if (getter == nullptr) {
      std::fprintf(stderr, "voxa_avi: AVIStreamGetFrameOpen found no decompressor to 32-bit BGRA\n");
      break;
    }
    frames = AVIStreamLength(stream);
    const std::size_t picture_bytes = wanted.biSizeImage;
    for (done = 0; done < frames; ++done) {
      const auto* dib = static_cast<const BITMAPINFOHEADER*>(AVIStreamGetFrame(getter, done));
      if (dib == nullptr || dib->biWidth != wanted.biWidth || dib->biHeight != wanted.biHeight ||
          dib->biBitCount != 32 || dib->biCompression != BI_RGB) {
        std::fprintf(stderr, "voxa_avi: frame %ld: AVIStreamGetFrame returned no 32-bit picture\n",
                     static_cast<long>(done));
        break;
      }
      const auto* bits = reinterpret_cast<const uint8_t*>(dib) + dib->biSize +
                         dib->biClrUsed * sizeof(RGBQUAD);
      if (std::fwrite(bits, 1, picture_bytes, dump) != picture_bytes) {
        std::fprintf(stderr, "voxa_avi: cannot write %s\n", options.dump.c_str());
        break;
      }
    }
    if (done == frames) status = 0;
  } while (false);
  if (getter != nullptr) AVIStreamGetFrameClose(getter);
  if (stream != nullptr) AVIStreamRelease(stream);
  if (file != nullptr) AVIFileRelease(file);
  AVIFileExit();
  if (std::fclose(dump) != 0) status = 1;
  if (status == 0) {
    std::printf("voxa_avi: decoded %ld frames of %ldx%ld through avifil32 into %s\n",
                static_cast<long>(frames), static_cast<long>(stored.biWidth),
                static_cast<long>(stored.biHeight), options.dump.c_str());
  }
  return status;
}

// Raw 720x576 BGRA frames, one after the other.
bool ReadClip(const std::string& path, std::vector<std::vector<uint8_t>>* clip) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) {
    std::fprintf(stderr, "voxa_avi: cannot open %s\n", path.c_str());
    return false;
  }
  std::vector<uint8_t> frame(std::size_t{kWidth} * kHeight * 4);
  std::size_t got = 0;
  while ((got = std::fread(frame.data(), 1, frame.size(), file)) == frame.size() &&
         clip->size() < static_cast<std::size_t>(kMaxFrames)) {
    clip->push_back(frame);
  }
  const bool at_end = got == 0 && std::feof(file);
  std::fclose(file);
  if (!at_end || clip->empty()) {
    std::fprintf(stderr, "voxa_avi: %s does not hold 1 to %d whole %ux%u BGRA frames\n",
                 path.c_str(), kMaxFrames, kWidth, kHeight);
    return false;
  }
  return true;
}

int Run(Options options) {
  if (GetFileAttributesA(options.dll.c_str()) == INVALID_FILE_ATTRIBUTES) {
    std::fprintf(stderr, "voxa_avi: no driver at %s\n", options.dll.c_str());
    return 1;
  }
  if (!RegisterDriverDll(options.dll)) {
    std::fprintf(stderr, "voxa_avi: cannot register %s as vidc.VOXA\n", options.dll.c_str());
    return 1;
  }
  if (!options.decode.empty()) return DecodeWithAvifil(options);

  std::vector<std::vector<uint8_t>> clip;
  if (!options.input.empty()) {
    if (!ReadClip(options.input, &clip)) return 1;
    options.frames = static_cast<int>(clip.size());
  } else {
    const std::vector<uint8_t> title =
        MakeSampleFrame(SampleKind::kTitle, VOXA_BGRA, kWidth, kHeight);
    for (int i = 0; i < options.frames; ++i) clip.push_back(ClipFrame(title, i));
  }

  std::printf("voxa_avi: %d frames of %ux%u BGRA with alpha through %s\n", options.frames,
              kWidth, kHeight, options.dll.c_str());
  Findings findings;
  Timings timings;
  Expected expected;
  if (!MakeExpected(clip, &expected, &timings, &findings)) return 1;

  AVIFileInit();
  uint64_t compressed_bytes = 0;
  PictureResult pictures;
  bool written = WriteClip(options, clip, &timings, &findings);
  if (written) {
    PAVIFILE file = nullptr;
    PAVISTREAM stream = nullptr;
    HRESULT hr = AVIFileOpenA(&file, options.output.c_str(), OF_READ, nullptr);
    if (hr != AVIERR_OK) {
      findings.Fail("AVIFileOpen cannot read " + options.output + " back", hr);
    } else if ((hr = AVIFileGetStream(file, &stream, streamtypeVIDEO, 0)) != AVIERR_OK) {
      findings.Fail(options.output + " has no video stream", hr);
    } else {
      compressed_bytes = CheckChunks(stream, expected, &findings);
      pictures = CheckPictures(stream, clip, expected, &timings, &findings);
    }
    if (stream != nullptr) AVIStreamRelease(stream);
    if (file != nullptr) AVIFileRelease(file);
  }
  AVIFileExit();

  const uint64_t raw_bytes = static_cast<uint64_t>(options.frames) * kWidth * kHeight * 4;
  uint64_t direct_bytes = 0;
  for (const auto& frame : expected.compressed) direct_bytes += frame.size();
  WIN32_FILE_ATTRIBUTE_DATA attributes{};
  uint64_t file_bytes = 0;
  if (GetFileAttributesExA(options.output.c_str(), GetFileExInfoStandard, &attributes)) {
    file_bytes = (uint64_t{attributes.nFileSizeHigh} << 32) | attributes.nFileSizeLow;
  }
  const double n = options.frames;
  std::printf("file:              %s (%llu bytes)\n", options.output.c_str(),
              static_cast<unsigned long long>(file_bytes));
  std::printf("frames:            %d\n", options.frames);
  std::printf("raw bytes:         %llu\n", static_cast<unsigned long long>(raw_bytes));
  std::printf("compressed bytes:  %llu (codec core direct: %llu)\n",
              static_cast<unsigned long long>(compressed_bytes),
              static_cast<unsigned long long>(direct_bytes));
  std::printf("ratio:             %.2f:1\n",
              compressed_bytes != 0 ? static_cast<double>(raw_bytes) / compressed_bytes : 0.0);
  if (pictures.compared != 0) {
    std::printf("round-trip PSNR:   colour %s dB (worst frame %s dB), alpha %s dB\n",
                DbText(PsnrOf(pictures.colour_mse)).c_str(),
                DbText(pictures.worst_colour_psnr).c_str(),
                DbText(PsnrOf(pictures.alpha_mse)).c_str());
  } else {
    std::printf("round-trip PSNR:   none (no picture came back)\n");
  }
  std::printf("compress:          %.3f ms/frame through avifil32 (codec core direct %.3f)\n",
              timings.avi_compress.Milliseconds() / n, timings.direct_encode.Milliseconds() / n);
  std::printf("decompress:        %.3f ms/frame through avifil32 (codec core direct %.3f)\n",
              timings.avi_decompress.Milliseconds() / n, timings.direct_decode.Milliseconds() / n);

  if (!options.keep) DeleteFileA(options.output.c_str());
  if (findings.count() != 0 || !written) {
    std::printf("voxa_avi: FAILED: %d differences\n", findings.count());
    return 1;
  }
  std::printf("voxa_avi: all %d frames matched: chunks identical to the codec core's, "
              "pictures identical to its decode\n",
              options.frames);
  return 0;
}

}  // namespace
}  // namespace voxa

int main(int argc, char** argv) {
  voxa::Options options;
  if (!voxa::ParseOptions(argc, argv, &options)) {
    voxa::PrintUsage();
    return 2;
  }
  return voxa::Run(options);
}
