// The FFmpeg-free pieces of the video verbs: codable sizes and padding, the
// ordered worker pool, the progress line, the AVI header reader, the sample
// clip, and the command line of the new verbs.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "tools/avi_headers.h"
#include "tools/frame_geometry.h"
#include "tools/ordered_pool.h"
#include "tools/progress.h"
#include "tools/riff.h"
#include "support/sample_frames.h"
#include "scratch_folder.h"

namespace voxa {
namespace {

namespace fs = std::filesystem;

struct SizeCase {
  PictureSize size;
  bool codable;
  PictureSize padded;
  const char* message_part;  // in CodableSizeProblem; "" for codable sizes
};

class CodableSizeTest : public testing::TestWithParam<SizeCase> {};

TEST_P(CodableSizeTest, SaysWhatIsWrongAndTheNearestSizes) {
  const SizeCase& c = GetParam();
  EXPECT_EQ(IsCodableSize(c.size), c.codable);
  const PictureSize padded = PaddedSize(c.size);
  EXPECT_EQ(padded.width, c.padded.width);
  EXPECT_EQ(padded.height, c.padded.height);
  const std::string problem = CodableSizeProblem(c.size);
  if (c.codable) {
    EXPECT_EQ(problem, "");
  } else {
    EXPECT_NE(problem.find(c.message_part), std::string::npos) << problem;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, CodableSizeTest,
    testing::Values(
        SizeCase{{720, 576}, true, {720, 576}, ""},
        SizeCase{{16, 2}, true, {16, 2}, ""},
        SizeCase{{718, 576}, false, {720, 576},
                 "width 718 is not a multiple of 16; nearest sizes it takes: 704x576 (cropped) "
                 "or 720x576 (padded: --pad)"},
        SizeCase{{1920, 1081}, false, {1920, 1082},
                 "height 1081 is odd; nearest sizes it takes: 1920x1080 (cropped) or 1920x1082"},
        SizeCase{{33, 7}, false, {48, 8},
                 "width 33 is not a multiple of 16 and height 7 is odd; nearest sizes it takes: "
                 "32x6 (cropped) or 48x8"},
        SizeCase{{10, 1}, false, {16, 2}, "takes: 16x2 (padded: --pad)"},
        SizeCase{{0, 576}, false, {16, 576}, "a 0x576 picture is empty"},
        SizeCase{{32768, 16384}, false, {32768, 16384}, "too large for the codec"},
        SizeCase{{23168, 23168}, true, {23168, 23168}, ""}));

// Pixel (x, y), y counted from the top, of a BGRA picture.
uint32_t PixelAt(const voxa_picture& picture, uint32_t x, uint32_t y) {
  const uint8_t* p = picture.data + static_cast<std::ptrdiff_t>(y) * picture.stride + x * 4;
  return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

// The source stored bottom line first (a negative stride), the padded
// picture top line first.
TEST(PadBgraPicture, KeepsTheTopLeftCornerAndAddsTransparentPixels) {
  const PictureSize from{3, 3}, to{16, 4};
  std::vector<uint8_t> picture(3 * 3 * 4);
  // Stored bottom line first: bytes of the pixel at (x, y from the top).
  for (uint32_t y = 0; y < 3; ++y) {
    for (uint32_t x = 0; x < 3; ++x) {
      uint8_t* p = &picture[((2 - y) * 3 + x) * 4];
      p[0] = static_cast<uint8_t>(10 * y + x);
      p[1] = 0x40;
      p[2] = 0x80;
      p[3] = 0xFF;
    }
  }
  const voxa_picture source{VOXA_BGRA, from.width, from.height, &picture[2 * 3 * 4], -3 * 4};
  const HeldPicture padded = PadBgraPicture(source, to);
  ASSERT_EQ(padded.view.width, 16u);
  ASSERT_EQ(padded.view.height, 4u);
  ASSERT_EQ(padded.view.stride, 16 * 4);
  for (uint32_t y = 0; y < to.height; ++y) {
    for (uint32_t x = 0; x < to.width; ++x) {
      const uint32_t want = (x < 3 && y < 3) ? (0xFF804000u | (10 * y + x)) : 0u;
      EXPECT_EQ(PixelAt(padded.view, x, y), want) << "at " << x << "," << y;
    }
  }
}

class OrderedPoolTest : public testing::TestWithParam<unsigned> {};

TEST_P(OrderedPoolTest, HandsResultsBackInSubmissionOrder) {
  OrderedPool<int> pool(GetParam());
  std::vector<int> results;
  for (int i = 0; i < 40; ++i) {
    // Later jobs finish first: the order must come from the pool.
    pool.Submit([i] {
      std::this_thread::sleep_for(std::chrono::microseconds((40 - i) % 7 * 300));
      return i * i;
    });
    while (pool.Pending() > 5) results.push_back(pool.TakeNext());
  }
  while (pool.Pending() != 0) results.push_back(pool.TakeNext());
  ASSERT_EQ(results.size(), 40u);
  for (int i = 0; i < 40; ++i) EXPECT_EQ(results[i], i * i);
}

TEST_P(OrderedPoolTest, PassesAJobsExceptionToWhoeverTakesItsResult) {
  OrderedPool<int> pool(GetParam());
  pool.Submit([] { return 1; });
  pool.Submit([]() -> int { throw std::runtime_error("frame 1 is damaged"); });
  pool.Submit([] { return 3; });
  EXPECT_EQ(pool.TakeNext(), 1);
  try {
    pool.TakeNext();
    ADD_FAILURE() << "no exception";
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "frame 1 is damaged");
  }
  EXPECT_EQ(pool.TakeNext(), 3);
}

TEST_P(OrderedPoolTest, RunsOnWorkerThreadsOnlyWhenThereAreSeveral) {
  OrderedPool<std::thread::id> pool(GetParam());
  for (int i = 0; i < 8; ++i) pool.Submit([] { return std::this_thread::get_id(); });
  for (int i = 0; i < 8; ++i) {
    const bool on_caller = pool.TakeNext() == std::this_thread::get_id();
    EXPECT_EQ(on_caller, GetParam() <= 1);
  }
  EXPECT_EQ(pool.threads(), GetParam() <= 1 ? 1u : GetParam());
}

INSTANTIATE_TEST_SUITE_P(Threads, OrderedPoolTest, testing::Values(0u, 1u, 2u, 5u));

struct ProgressCase {
  uint64_t done, total;
  double seconds;
  const char* line;
};

class ProgressLineTest : public testing::TestWithParam<ProgressCase> {};

TEST_P(ProgressLineTest, ShowsBarCountAndRate) {
  const ProgressCase& c = GetParam();
  EXPECT_EQ(ProgressLine("encode", c.done, c.total, c.seconds), c.line);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, ProgressLineTest,
    testing::Values(
        ProgressCase{0, 40, 0.0, "encode [------------------------------] 0/40 frames"},
        ProgressCase{10, 40, 2.0,
                     "encode [#######-----------------------] 10/40 frames, 5.0 frames/s"},
        ProgressCase{40, 40, 0.5,
                     "encode [##############################] 40/40 frames, 80.0 frames/s"},
        // More frames than the container announced: a full bar, the true count.
        ProgressCase{45, 40, 1.0,
                     "encode [##############################] 45/40 frames, 45.0 frames/s"},
        ProgressCase{7, 0, 2.0, "encode 7 frames, 3.5 frames/s"}));

// An AVI header list built chunk by chunk.
class RiffBuilder {
 public:
  RiffBuilder& Chunk(const char* id, std::vector<uint8_t> payload) {
    Id(id);
    Le32(static_cast<uint32_t>(payload.size()));
    bytes_.insert(bytes_.end(), payload.begin(), payload.end());
    if (payload.size() % 2) bytes_.push_back(0);
    return *this;
  }
  RiffBuilder& List(const char* type, const RiffBuilder& inner) {
    Id("LIST");
    Le32(static_cast<uint32_t>(inner.bytes_.size() + 4));
    Id(type);
    bytes_.insert(bytes_.end(), inner.bytes_.begin(), inner.bytes_.end());
    return *this;
  }
  std::vector<uint8_t> Riff() const {
    RiffBuilder r;
    r.Id("RIFF");
    r.Le32(static_cast<uint32_t>(bytes_.size() + 4));
    r.Id("AVI ");
    r.bytes_.insert(r.bytes_.end(), bytes_.begin(), bytes_.end());
    return r.bytes_;
  }

 private:
  void Id(const char* id) { bytes_.insert(bytes_.end(), id, id + 4); }
  void Le32(uint32_t v) {
    for (int i = 0; i < 4; ++i) bytes_.push_back(static_cast<uint8_t>(v >> (8 * i)));
  }
  std::vector<uint8_t> bytes_;
};

std::vector<uint8_t> Words(std::initializer_list<uint32_t> words, std::size_t size) {
  std::vector<uint8_t> out(size, 0);
  std::size_t at = 0;
  for (uint32_t w : words) {
    StoreLe32(&out[at], w);
    at += 4;
  }
  return out;
}

uint32_t Tag(const char* t) { return LoadLe32(reinterpret_cast<const uint8_t*>(t)); }

std::vector<uint8_t> SampleAvi() {
  // avih: 40000 us, 0 bytes/s, 0, flags 0x910, 12 frames, 0, 1 stream, 1 MiB.
  const auto avih = Words({40000, 0, 0, 0x910, 12, 0, 1, 1u << 20, 720, 576}, 56);
  const auto audio_strh = Words({Tag("auds"), 0, 0, 0, 0, 1, 48000}, 56);
  // strh: vids VOXA, flags, priority/language, initial frames, scale 1001,
  // rate 30000, start, length 12, buffer 186468, quality -1, sample size 0,
  // rcFrame 0,0,720,576.
  auto strh = Words({Tag("vids"), Tag("VOXA"), 0, 0, 0, 1001, 30000, 0, 12, 186468,
                     0xFFFFFFFFu, 0, 0, (576u << 16) | 720u},
                    56);
  const auto strf = Words({40, 720, 576, (32u << 16) | 1u, Tag("VOXA"), 1658880, 0, 0, 0, 0}, 40);
  RiffBuilder audio, video, hdrl, file;
  audio.Chunk("strh", audio_strh).Chunk("strf", std::vector<uint8_t>(18, 0));
  video.Chunk("strh", strh).Chunk("strf", strf).Chunk("JUNK", std::vector<uint8_t>(5, 0));
  hdrl.Chunk("avih", avih).List("strl", audio).List("strl", video);
  // An odd-sized chunk first: the reader must step over its pad byte.
  file.Chunk("JUNK", std::vector<uint8_t>(3, 0)).List("hdrl", hdrl).List("movi", RiffBuilder());
  return file.Riff();
}

TEST(AviHeaders, ReadsTheVideoStreamPastAnAudioStream) {
  const std::vector<uint8_t> avi = SampleAvi();
  AviVideoHeaders h;
  std::string problem;
  ASSERT_TRUE(ParseAviVideoHeaders(avi.data(), avi.size(), &h, &problem)) << problem;
  EXPECT_EQ(h.micro_sec_per_frame, 40000u);
  EXPECT_EQ(h.main_flags, 0x910u);
  EXPECT_EQ(h.total_frames, 12u);
  EXPECT_EQ(h.main_suggested_buffer_size, 1u << 20);
  EXPECT_EQ(FourccText(h.handler), "VOXA");
  EXPECT_EQ(h.scale, 1001u);
  EXPECT_EQ(h.rate, 30000u);
  EXPECT_EQ(h.length, 12u);
  EXPECT_EQ(h.suggested_buffer_size, 186468u);
  EXPECT_EQ(static_cast<int32_t>(h.quality), -1);
  EXPECT_EQ(h.frame_rect[2], 720);
  EXPECT_EQ(h.frame_rect[3], 576);
  EXPECT_EQ(h.format_size, 40u);
  EXPECT_EQ(h.width, 720);
  EXPECT_EQ(h.height, 576);
  EXPECT_EQ(h.planes, 1);
  EXPECT_EQ(h.bit_count, 32);
  EXPECT_EQ(FourccText(h.compression), "VOXA");
  EXPECT_EQ(h.size_image, 1658880u);
  EXPECT_EQ(LoadLe32(&avi[h.size_image_offset]), 1658880u);
}

// An OpenDML file: the extended header's count of all frames, and its RIFF
// parts counted.
TEST(AviHeaders, OpenDmlFilesTellAllTheirFrames) {
  RiffBuilder dmlh, hdrl, file;
  dmlh.Chunk("dmlh", Words({720}, 248));
  hdrl.Chunk("avih", Words({40000, 0, 0, 0x910, 174, 0, 1, 1u << 20, 64, 32}, 56))
      .List("strl", RiffBuilder()
                        .Chunk("strh", Words({Tag("vids"), Tag("VOXA"), 0, 0, 0, 1, 25, 0, 174}, 56))
                        .Chunk("strf", Words({40, 64, 32, (32u << 16) | 1u, Tag("VOXA")}, 40)))
      .List("odml", dmlh);
  file.List("hdrl", hdrl).List("movi", RiffBuilder());
  std::vector<uint8_t> avi = file.Riff();
  for (int i = 0; i < 4; ++i) {
    std::vector<uint8_t> more = RiffBuilder().List("movi", RiffBuilder()).Riff();
    std::copy_n("AVIX", 4, more.begin() + 8);
    avi.insert(avi.end(), more.begin(), more.end());
  }
  AviVideoHeaders h;
  std::string problem;
  ASSERT_TRUE(ParseAviVideoHeaders(avi.data(), avi.size(), &h, &problem)) << problem;
  EXPECT_EQ(h.total_frames, 174u);
  EXPECT_EQ(h.all_frames, 720u);
  const fs::path path = fs::temp_directory_path() / "voxa-odml-test.avi";
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(avi.data()), static_cast<std::streamsize>(avi.size()));
  EXPECT_EQ(CountRiffParts(path.string()), 5u);
  fs::remove(path);
}

TEST(AviHeaders, RefusesCutAndForeignData) {
  const std::vector<uint8_t> avi = SampleAvi();
  AviVideoHeaders h;
  std::string problem;
  // Cut inside the video stream's format: the header list is not whole.
  EXPECT_FALSE(ParseAviVideoHeaders(avi.data(), avi.size() - 60, &h, &problem));
  EXPECT_NE(problem.find("header list"), std::string::npos) << problem;
  // Cut 4 bytes into the header list's last chunk: the list runs past the data.
  EXPECT_FALSE(ParseAviVideoHeaders(avi.data(), avi.size() - 12 - 4, &h, &problem));
  std::vector<uint8_t> wave = avi;
  std::copy_n("WAVE", 4, wave.begin() + 8);
  EXPECT_FALSE(ParseAviVideoHeaders(wave.data(), wave.size(), &h, &problem));
  EXPECT_NE(problem.find("not an AVI file"), std::string::npos) << problem;
}

TEST(AviHeaders, PatchWritesWhatAvifilWrites) {
  const fs::path path = fs::temp_directory_path() / "voxa-avi-headers-test.avi";
  const std::vector<uint8_t> avi = SampleAvi();
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(avi.data()), static_cast<std::streamsize>(avi.size()));
  std::string problem;
  {
    std::FILE* file = std::fopen(path.string().c_str(), "r+b");
    ASSERT_NE(file, nullptr);
    FileAt at(fileno(file));
    EXPECT_TRUE(PatchAviHeaders(at, 1662976, &problem)) << problem;
    std::fclose(file);
  }
  AviVideoHeaders h;
  ASSERT_TRUE(ReadAviVideoHeaders(path.string(), &h, &problem)) << problem;
  fs::remove(path);
  EXPECT_EQ(h.size_image, 1662976u);
  EXPECT_EQ(h.main_suggested_buffer_size, 186468u);
  // The largest chunk, 30000/1001 times a second.
  EXPECT_EQ(h.max_bytes_per_sec, 5588451u);
  EXPECT_EQ(h.scale, 1001u);  // untouched
  EXPECT_EQ(h.width, 720);
}

TEST(SampleClip, MovesRightFourPixelsAFrameAndFadesIn) {
  const uint32_t w = 64, h = 4;
  std::vector<uint8_t> picture(w * h * 4);
  for (std::size_t i = 0; i < picture.size(); ++i) picture[i] = static_cast<uint8_t>(i % 251 + 1);
  for (uint32_t index : {0u, 1u, 3u, 7u, 60u, 61u}) {
    const std::vector<uint8_t> frame = MakeSampleClipFrame(picture, w, h, index);
    const uint32_t shift = 4 * (index % 60);
    const uint32_t fade = std::min(index + 1, 4u);
    for (std::size_t p = 0; p < w * h; ++p) {
      const uint32_t x = p % w;
      for (int c = 0; c < 4; ++c) {
        const uint8_t got = frame[p * 4 + c];
        if (x < shift) {
          ASSERT_EQ(got, 0) << "frame " << index << " pixel " << p;
          continue;
        }
        const uint8_t source = picture[(p - shift) * 4 + c];
        const uint8_t want = c < 3 ? source : static_cast<uint8_t>((source * fade + 2) / 4);
        ASSERT_EQ(got, want) << "frame " << index << " pixel " << p << " byte " << c;
      }
    }
  }
}

using VideoCommandLineTest = CommandTest;

TEST_F(VideoCommandLineTest, RefusesBadOptionsBeforeAnythingElse) {
  struct Case {
    std::vector<std::string> args;
    const char* message;
  };
  const Case cases[] = {
      {{"encode", "in.png", "out.avi", "--threads", "0"}, "bad --threads '0'"},
      {{"encode", "in.png", "out.avi", "--threads", "x"}, "bad --threads 'x'"},
      {{"encode", "in.raw", "out.avi", "--size", "720"}, "bad --size '720'"},
      {{"encode", "in.png", "out.avi", "--kernels", "avx"}, "unknown --kernels 'avx'"},
      {{"encode", "in.png", "--pad"}, "encode takes 2 files, got 1"},
      {{"decode", "in.avi", "out_%04d.png", "--format", "gif"}, "unknown --format 'gif'"},
      {{"decode", "in.avi", "out.png"}, "needs a frame number in its name"},
      {{"decode", "in.avi", "out.mp4"}, "cannot tell the output format from 'out.mp4'"},
      {{"info", "--frames", "a.avi"}, "unknown option '--frames' for info"},
      {{"sample", "--size", "32x4", "--frames", "0", "x"}, "bad --frames '0'"},
      // --name=value, and "--" before operands that look like options.
      {{"encode", "in.raw", "out.avi", "--size=720"}, "bad --size '720'"},
      {{"encode", "in.raw", "out.avi", "--size=720x576", "--size=720x576"}, "option --size given twice"},
      {{"encode", "in.raw", "out.avi", "--bottom-up=yes"}, "option --bottom-up takes no value"},
      {{"info", "--", "--per-frame", "a.avi"}, "info takes 1 file, got 2"},
      {{"sample", "--size=32x4", "--format=rgb", "x"}, "unknown --format 'rgb' (bgra or y16a)"},
      // Line orders are for raw frames.
      {{"encode", "in.png", "out.avi", "--bottom-up"}, "--bottom-up is for raw frames"},
      {{"encode", "in.raw", "out.avi", "--size", "32x4", "--bottom-up", "--top-down"},
       "opposite line orders"},
      {{"decode", "in.avi", "out.y16a", "--bottom-up"}, "--bottom-up is for raw BGRA frames"},
      {{"decode", "in.avi", "out_%04d.png", "--bottom-up"}, "--bottom-up is for raw BGRA frames"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Run(c.args), 2) << c.args[0] << " " << c.args[1];
    EXPECT_NE(err_.str().find(c.message), std::string::npos) << err_.str();
  }
}

TEST_F(VideoCommandLineTest, WithoutTheVideoFilesTheVerbsAreNotAvailable) {
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"encode", "in.png", "out.avi"},
        std::vector<std::string>{"decode", "in.avi", "out_%04d.png"},
        std::vector<std::string>{"info", "in.avi"}}) {
    EXPECT_EQ(Run(args), 2);
    EXPECT_NE(err_.str().find("'" + args[0] + "' is not available in this build"),
              std::string::npos)
        << err_.str();
  }
}

TEST_F(VideoCommandLineTest, ComparesClipsFrameByFrame) {
  const std::string clip = Path("clip"), one = Path("one");
  ASSERT_EQ(Run({"sample", "--size", "32x4", "--frames", "3", clip}), 0) << err_.str();
  EXPECT_NE(err_.str().find("wrote 3 frames of a 32x4 title clip, 1536 bytes"), std::string::npos);
  ASSERT_EQ(Run({"compare", "--size", "32x4", clip, clip}), 0) << err_.str();
  EXPECT_NE(out_.str().find("3 frames: PSNR colour (alpha-weighted) inf (identical) (worst frame "
                            "inf (identical)), alpha inf (identical)"),
            std::string::npos)
      << out_.str();
  ASSERT_EQ(Run({"sample", "--size", "32x4", one}), 0);
  EXPECT_EQ(Run({"compare", "--size", "32x4", clip, one}), 1);
  EXPECT_NE(err_.str().find("holds 3 frames"), std::string::npos) << err_.str();

  // One fully transparent pixel of the last frame made barely visible.
  std::vector<uint8_t> bytes;
  {
    std::ifstream in(clip, std::ios::binary);
    bytes.assign(std::istreambuf_iterator<char>(in), {});
  }
  uint64_t transparent = 0;
  for (std::size_t i = 3; i < bytes.size(); i += 4) transparent += bytes[i] == 0;
  ASSERT_GT(transparent, 0u);
  std::size_t last_transparent = bytes.size() - 1;
  while (bytes[last_transparent] != 0) last_transparent -= 4;
  bytes[last_transparent] = 1;
  const std::string changed = Path("changed");
  std::ofstream(changed, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  ASSERT_EQ(Run({"compare", "--size", "32x4", clip, changed}), 0) << err_.str();
  EXPECT_NE(out_.str().find("fully transparent pixels " + std::to_string(transparent) +
                            ", 1 of them not in the decoded"),
            std::string::npos)
      << out_.str();
}

}  // namespace
}  // namespace voxa
