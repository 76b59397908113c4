// voxa encode, decode and info on real files through FFmpeg's libraries, run
// in-process: the frames in the AVI are the codec core's, the headers what a
// Windows host writes, threads change nothing, bad input leaves no output.
#include <gtest/gtest.h>

#include <fcntl.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "codec/kernel_slots.h"
#include "codec/frame_codec.h"
#include "codec/frame_container.h"
#include "tools/avi_headers.h"
#include "tools/avi_repair.h"
#include "tools/avi_stream.h"
#include "tools/file_descriptor.h"
#include "tools/frame_geometry.h"
#include "tools/media_output.h"
#include "tools/riff.h"
#include "support/sample_frames.h"
#include "tools/ffmpeg_commands.h"
#include "scratch_folder.h"

namespace voxa {
namespace {

namespace fs = std::filesystem;

class VideoFilesTest : public CommandTest {
 protected:
  VideoFilesTest() { video_ = FfmpegVideoCommands(); }

  // Runs and requires success.
  void Ok(std::vector<std::string> args) {
    ASSERT_EQ(Run(args), 0) << err_.str();
  }

  // A new file for the writers the tests make inputs with.
  UniqueFd NewFile(const std::string& name) const {
    return UniqueFd(open(Path(name).c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
  }

  // The sample clip as raw BGRA frames, bottom line first (--bottom-up).
  std::vector<std::vector<uint8_t>> Clip(PictureSize size, uint32_t frames) const {
    const std::vector<uint8_t> title =
        MakeSampleFrame(SampleKind::kTitle, VOXA_BGRA, size.width, size.height);
    std::vector<std::vector<uint8_t>> clip;
    for (uint32_t i = 0; i < frames; ++i) {
      clip.push_back(MakeSampleClipFrame(title, size.width, size.height, i));
    }
    return clip;
  }
  void WriteRaw(const std::string& name, const std::vector<std::vector<uint8_t>>& clip) const {
    std::vector<uint8_t> all;
    for (const auto& frame : clip) all.insert(all.end(), frame.begin(), frame.end());
    Write(name, all);
  }

  // A picture stored bottom line first, as libvoxa's picture.
  static voxa_picture BottomUp(const std::vector<uint8_t>& frame, PictureSize size) {
    const std::ptrdiff_t line = std::ptrdiff_t{4} * size.width;
    return voxa_picture{VOXA_BGRA, size.width, size.height,
                        const_cast<uint8_t*>(frame.data()) + (size.height - 1) * line, -line};
  }

  std::vector<std::vector<uint8_t>> AviFrames(const std::string& name) const {
    VoxaAviReader reader(Path(name));
    std::vector<std::vector<uint8_t>> frames;
    std::vector<uint8_t> frame;
    while (reader.ReadFrame(&frame)) frames.push_back(frame);
    return frames;
  }

};

TEST_F(VideoFilesTest, TheAviHoldsTheCoreFramesAndDecodesToTheCoreDecode) {
  const PictureSize size{96, 40};
  const auto clip = Clip(size, 5);
  WriteRaw("clip.bgra", clip);
  const FrameFormat format{PixelFormat::kRgba32, size.width, size.height};
  for (const char* kernels : {"portable", "auto"}) {
    const FieldKernels k =
        KernelsOfVariant(std::string(kernels) == "auto" ? InstalledVariant() : KernelVariant::kPortable);
    Ok({"encode", Path("clip.bgra"), Path("clip.avi"), "--size", "96x40", "--kernels", kernels,
        "--bottom-up", "--quiet", "-y"});
    const auto frames = AviFrames("clip.avi");
    ASSERT_EQ(frames.size(), clip.size());
    Ok({"decode", Path("clip.avi"), Path("back.bgra"), "--kernels", kernels, "--bottom-up",
        "--quiet", "-y"});
    const std::vector<uint8_t> back = Read("back.bgra");
    ASSERT_EQ(back.size(), clip.size() * clip[0].size());
    std::vector<uint8_t> coded(MaxCompressedFrameBytes(size.width, size.height));
    for (std::size_t i = 0; i < clip.size(); ++i) {
      coded.resize(MaxCompressedFrameBytes(size.width, size.height));
      coded.resize(EncodeFrame(format, clip[i].data(), coded.data(), k));
      EXPECT_EQ(frames[i], coded) << kernels << " frame " << i;
      std::vector<uint8_t> picture(clip[i].size(), 0);
      ASSERT_EQ(DecodeFrame(format, coded.data(), coded.size(), picture.data(), k),
                DecodeStatus::kDecoded);
      EXPECT_TRUE(std::equal(picture.begin(), picture.end(), back.begin() + i * picture.size()))
          << kernels << " frame " << i;
    }
  }
}

TEST_F(VideoFilesTest, ThreadsChangeNoByteOfTheOutput) {
  WriteRaw("clip.bgra", Clip({64, 30}, 11));
  Ok({"encode", Path("clip.bgra"), Path("one.avi"), "--size", "64x30", "--threads", "1", "--quiet"});
  Ok({"decode", Path("one.avi"), Path("one.bgra"), "--threads", "1", "--quiet"});
  Ok({"decode", Path("one.avi"), Path("one.y16a"), "--threads", "1", "--quiet"});
  for (const char* threads : {"2", "3", "8"}) {
    Ok({"encode", Path("clip.bgra"), Path("many.avi"), "--size", "64x30", "--threads", threads,
        "--overwrite"});
    EXPECT_EQ(Read("many.avi"), Read("one.avi")) << threads << " threads";
    EXPECT_NE(err_.str().find(std::string("with ") + threads + " threads"), std::string::npos);
    Ok({"decode", Path("one.avi"), Path("many.bgra"), "--threads", threads, "--quiet", "-y"});
    EXPECT_EQ(Read("many.bgra"), Read("one.bgra")) << threads << " threads";
    Ok({"decode", Path("one.avi"), Path("many.y16a"), "--threads", threads, "--quiet", "-y"});
    EXPECT_EQ(Read("many.y16a"), Read("one.y16a")) << threads << " threads";
  }
  EXPECT_EQ(Read("one.y16a").size(), 11u * 64 * 30 * 3);
}

TEST_F(VideoFilesTest, HeadersSayWhatAWindowsHostWrites) {
  // A QuickTime Animation movie at 30000/1001 frames/s as the input.
  const PictureSize size{720, 480};
  const auto clip = Clip(size, 3);
  {
    const UniqueFd file = NewFile("in.mov");
    MediaOutput movie({file.get()}, "in.mov", OutputFormat::kQtrle, size, AVRational{30000, 1001}, 1);
    for (const auto& frame : clip) movie.WritePicture(BottomUp(frame, size));
    movie.Finish();
  }
  Ok({"encode", Path("in.mov"), Path("out.avi"), "--quiet"});
  AviVideoHeaders h;
  std::string problem;
  ASSERT_TRUE(ReadAviVideoHeaders(Path("out.avi"), &h, &problem)) << problem;
  const auto frames = AviFrames("out.avi");
  ASSERT_EQ(frames.size(), 3u);
  uint32_t largest = 0;
  for (const auto& f : frames) largest = std::max(largest, static_cast<uint32_t>(f.size()));
  EXPECT_EQ(FourccText(h.handler), "VOXA");
  EXPECT_EQ(FourccText(h.compression), "VOXA");
  EXPECT_EQ(h.format_size, 40u);
  EXPECT_EQ(h.width, 720);
  EXPECT_EQ(h.height, 480);  // bottom-up, as the driver's frames are
  EXPECT_EQ(h.planes, 1);
  EXPECT_EQ(h.bit_count, 32);
  EXPECT_EQ(h.size_image, 720u * 480 * 4 + 4096);
  EXPECT_EQ(h.scale, 1001u);
  EXPECT_EQ(h.rate, 30000u);
  EXPECT_EQ(h.length, 3u);
  EXPECT_EQ(h.total_frames, 3u);
  EXPECT_NEAR(h.micro_sec_per_frame, 1e6 * 1001 / 30000, 1.0);
  EXPECT_EQ(h.suggested_buffer_size, largest);
  EXPECT_EQ(h.main_suggested_buffer_size, largest);
  EXPECT_EQ(h.max_bytes_per_sec, static_cast<uint32_t>(uint64_t{largest} * 30000 / 1001));
  EXPECT_EQ(static_cast<int32_t>(h.quality), -1);
  EXPECT_EQ(h.frame_rect[2], 720);
  EXPECT_EQ(h.frame_rect[3], 480);
}

TEST_F(VideoFilesTest, PadsToTheNextSizeWithTransparentPixels) {
  const PictureSize source{40, 9}, padded{48, 10};
  const auto clip = Clip(source, 2);
  WriteRaw("clip.bgra", clip);
  EXPECT_EQ(Run({"encode", Path("clip.bgra"), Path("x.avi"), "--size", "40x9", "--bottom-up"}), 1);
  EXPECT_FALSE(fs::exists(Path("x.avi")));
  Ok({"encode", Path("clip.bgra"), Path("x.avi"), "--size", "40x9", "--bottom-up", "--pad"});
  EXPECT_NE(err_.str().find("2 frames of 48x10 (padded from 40x9)"), std::string::npos) << err_.str();
  Ok({"decode", Path("x.avi"), Path("x.bgra"), "--bottom-up", "--quiet"});
  const std::vector<uint8_t> back = Read("x.bgra");
  ASSERT_EQ(back.size(), 2u * 48 * 10 * 4);
  for (std::size_t i = 0; i < clip.size(); ++i) {
    const HeldPicture big = PadBgraPicture(BottomUp(clip[i], source), padded);
    std::vector<uint8_t> coded(voxa_max_frame_bytes(padded.width, padded.height));
    std::size_t size = 0;
    ASSERT_EQ(voxa_encode(&big.view, VOXA_KERNELS_AUTO, coded.data(), coded.size(), &size), VOXA_OK);
    std::vector<uint8_t> want(std::size_t{48} * 10 * 4, 0);
    const voxa_picture into = BottomUp(want, padded);
    ASSERT_EQ(voxa_decode(coded.data(), size, VOXA_KERNELS_AUTO, &into), VOXA_OK);
    EXPECT_TRUE(std::equal(want.begin(), want.end(), back.begin() + i * want.size()));
    // The added column strip and bottom line are fully transparent.
    for (uint32_t y = 0; y < padded.height; ++y) {
      for (uint32_t x = 0; x < padded.width; ++x) {
        if (x < source.width && y < source.height) continue;
        const std::size_t at = i * want.size() + ((padded.height - 1 - y) * padded.width + x) * 4;
        ASSERT_EQ(back[at + 3], 0) << "frame " << i << " at " << x << "," << y;
      }
    }
  }
}

TEST_F(VideoFilesTest, InfoCountsTheBlocksOfEveryFrame) {
  WriteRaw("clip.bgra", Clip({64, 20}, 3));
  Ok({"encode", Path("clip.bgra"), Path("x.avi"), "--size", "64x20", "--quiet"});
  Ok({"info", "--per-frame", Path("x.avi")});
  const std::string report = out_.str();
  EXPECT_NE(report.find("video:    VOXA 64x20, 25/1 frames/s (25.000), 3 frames, 0.12 s"),
            std::string::npos)
      << report;
  EXPECT_NE(report.find("strf:     size 40, 64x20, planes 1, bits 32, compression VOXA, image "
                        "size 9216"),
            std::string::npos)
      << report;
  // 4 blocks a line, 20 lines: every frame's blocks are transparent or literal.
  const auto frames = AviFrames("x.avi");
  for (std::size_t i = 0; i < frames.size(); ++i) {
    const std::string head = "frame " + std::to_string(i + 1) + ": " + std::to_string(frames[i].size()) + " bytes, ";
    const std::size_t at = report.find(head);
    ASSERT_NE(at, std::string::npos) << report;
    unsigned transparent = 0, literal = 0;
    ASSERT_EQ(std::sscanf(report.c_str() + at + head.size(), "%u transparent blocks (%*[^)]), %u literal",
                          &transparent, &literal),
              2);
    EXPECT_EQ(transparent + literal, 80u);
    // A literal block takes 48 bytes; run words and chunk headers the rest.
    EXPECT_LT(literal * 48, frames[i].size());
  }
}

struct BadInput {
  const char* name;
  std::vector<std::string> args;  // "@" stands for the scratch folder
  const char* message;            // in the one line of the error
  std::vector<std::string> must_not_exist;
};

class BadInputTest : public VideoFilesTest, public testing::WithParamInterface<BadInput> {
 protected:
  void MakeInputs() {
    Write("text.avi", std::vector<uint8_t>{'n', 'o', 't', ' ', 'v', 'i', 'd', 'e', 'o', '\n'});
    WriteRaw("clip.bgra", Clip({32, 8}, 3));
    WriteRaw("odd.bgra", Clip({30, 8}, 2));
    Write("short.bgra", std::vector<uint8_t>(32 * 8 * 4 * 2 + 100, 0));
    {
      const UniqueFd file = NewFile("anim.mov");
      MediaOutput movie({file.get()}, "anim.mov", OutputFormat::kQtrle, {32, 8}, AVRational{25, 1}, 1);
      for (const auto& frame : Clip({32, 8}, 2)) movie.WritePicture(BottomUp(frame, {32, 8}));
      movie.Finish();
    }
    // Frame 2 of 4 cut short: its second field's payload ends early.
    const auto clip = Clip({32, 8}, 4);
    const FrameFormat format{PixelFormat::kRgba32, 32, 8};
    const UniqueFd file = NewFile("damaged.avi");
    VoxaAviWriter writer(file.get(), "damaged.avi", {32, 8}, AVRational{25, 1});
    for (std::size_t i = 0; i < clip.size(); ++i) {
      std::vector<uint8_t> frame(MaxCompressedFrameBytes(32, 8));
      frame.resize(EncodeFrame(format, clip[i].data(), frame.data(), kPortableKernels));
      if (i == 2) frame.resize(frame.size() - 30);
      writer.WriteFrame(frame);
    }
    writer.Finish();
  }
  std::vector<std::string> Expand(const std::vector<std::string>& args) const {
    std::vector<std::string> out;
    for (std::string a : args) {
      if (a.rfind("@/", 0) == 0) a = Path(a.substr(2));
      out.push_back(a);
    }
    return out;
  }
};

TEST_P(BadInputTest, OneLineNonZeroExitNoOutput) {
  MakeInputs();
  const BadInput& c = GetParam();
  EXPECT_EQ(Run(Expand(c.args)), 1);
  const std::string err = err_.str();
  EXPECT_EQ(err.rfind("voxa: ", 0), 0u) << err;
  EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
  EXPECT_NE(err.find(c.message), std::string::npos) << err;
  for (const std::string& name : c.must_not_exist) EXPECT_FALSE(fs::exists(Path(name))) << name;
  // Nor any file the run made under a temporary name.
  for (const auto& entry : fs::directory_iterator(Path(""))) {
    EXPECT_NE(entry.path().filename().string().rfind(".voxa-", 0), 0u) << entry.path();
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BadInputTest,
    testing::Values(
        BadInput{"not_video_encode", {"encode", "@/text.avi", "@/out.avi"}, "cannot read", {"out.avi"}},
        BadInput{"not_video_decode", {"decode", "@/text.avi", "@/out.bgra"}, "cannot read", {"out.bgra"}},
        BadInput{"not_video_info", {"info", "@/text.avi"}, "cannot read", {}},
        BadInput{"other_codec", {"decode", "@/anim.mov", "@/out_%04d.png"},
                 "holds no VOXA video: its video is qtrle", {"out_0001.png"}},
        BadInput{"voxa_as_encode_input", {"encode", "@/damaged.avi", "@/out.avi"},
                 "is VOXA video already", {"out.avi"}},
        BadInput{"damaged_frame_png", {"decode", "@/damaged.avi", "@/out_%04d.png", "--threads", "1"},
                 "out_0003.png) is damaged", {"out_0001.png", "out_0002.png", "out_0003.png"}},
        BadInput{"damaged_frame_mov", {"decode", "@/damaged.avi", "@/out.mov", "--threads", "3"},
                 "is damaged", {"out.mov"}},
        BadInput{"damaged_frame_info", {"info", "@/damaged.avi"}, "damaged.avi' is damaged (frame 3: ", {}},
        BadInput{"bad_width", {"encode", "@/odd.bgra", "@/out.avi", "--size", "30x8"},
                 "nearest sizes it takes: 16x8 (cropped) or 32x8", {"out.avi"}},
        BadInput{"raw_size_mismatch", {"encode", "@/short.bgra", "@/out.avi", "--size", "32x8"},
                 "not a whole number of 32x8 BGRA frames", {"out.avi"}},
        BadInput{"no_pictures", {"encode", "@/none_%04d.png", "@/out.avi"}, "none_%04d.png",
                 {"out.avi"}},
        BadInput{"no_folder", {"encode", "@/clip.bgra", "@/no/such/folder/out.avi", "--size", "32x8"},
                 "cannot create", {}}),
    [](const testing::TestParamInfo<BadInput>& info) { return std::string(info.param.name); });

// The repair of a file whose writing stopped at `written_end`: the frames
// written whole are kept (a frame ending exactly there too), the file is cut
// behind the last of them and gets their index; the RIFF and frame-list
// sizes and every frame count say so, and the file reads back as those frames.
// An OpenDML file of two RIFF parts, cut in its second, keeps the first part
// and ends as the writer would have closed it with the frames kept.
TEST_F(VideoFilesTest, RepairKeepsTheFramesWrittenWhole) {
  const FrameFormat format{PixelFormat::kRgba32, 64, 30};
  std::vector<std::vector<uint8_t>> frames;
  for (const auto& picture : Clip({64, 30}, 5)) {
    frames.emplace_back(MaxCompressedFrameBytes(64, 30));
    frames.back().resize(EncodeFrame(format, picture.data(), frames.back().data(), kPortableKernels));
  }
  {
    const UniqueFd file = NewFile("whole.avi");
    VoxaAviWriter writer(file.get(), "whole.avi", {64, 30}, AVRational{25, 1});
    for (const auto& frame : frames) writer.WriteFrame(frame);
    writer.Finish();
  }
  std::vector<uint8_t> whole = Read("whole.avi");
  const std::string text(whole.begin(), whole.end());
  const uint64_t movi = text.find("movi");  // the frame list's type
  ASSERT_NE(movi, std::string::npos);
  // FFmpeg keeps an OpenDML header list for a file of one RIFF part as a
  // JUNK chunk: made a list, it counts the frames as an OpenDML file does.
  const uint64_t odml = text.find("odml"), dmlh = text.find("dmlh");
  ASSERT_TRUE(odml != std::string::npos && dmlh != std::string::npos);
  std::copy_n("LIST", 4, whole.begin() + odml - 8);
  StoreLe32(&whole[dmlh + 8], static_cast<uint32_t>(frames.size()));
  std::vector<uint64_t> ends;  // where each frame chunk ends
  for (uint64_t at = movi + 4; ends.size() < frames.size(); at = ends.back()) {
    ends.push_back(at + 8 + frames[ends.size()].size());
  }
  // The frames as FFmpeg lays out a file past 1 GiB: two in the first RIFF
  // part, closed with its ix00 and idx1 and listed in the super index (the
  // strl's JUNK until then), the rest in an AVIX part, closed too or as a run
  // stopped in it leaves it. Fewer frames make a file of one RIFF part.
  std::vector<uint64_t> at2;  // the frame chunks of the last file made
  uint64_t avix = 0;
  auto opendml = [&](std::size_t count, bool unfinished) {
    std::vector<uint8_t> f(whole.begin(), whole.begin() + movi + 4);
    std::vector<uint32_t> super;
    uint32_t largest = 0;
    auto put = [&](uint64_t at, uint32_t v) { StoreLe32(&f[at], v); };
    auto add = [&](std::vector<uint32_t> words) { for (uint32_t w : words) f.resize(f.size() + 4), put(f.size() - 4, w); };
    auto add_frames = [&](std::size_t from, std::size_t to) {
      for (std::size_t i = from; i < to; ++i) {
        at2.push_back(f.size());
        add({Fourcc("00dc"), uint32_t(frames[i].size())});
        f.insert(f.end(), frames[i].begin(), frames[i].end());
        f.resize(f.size() + frames[i].size() % 2);
        largest = std::max(largest, uint32_t(frames[i].size()));
      }
    };
    auto ix = [&](std::size_t from, std::size_t to, uint64_t base) {
      const uint32_t n = uint32_t(to - from);
      super.insert(super.end(), {uint32_t(f.size()), 0, 32 + 8 * n, n});
      add({Fourcc("ix00"), 24 + 8 * n, 2 | 1 << 24, n, Fourcc("00dc"), uint32_t(base), 0, 0});
      for (std::size_t i = from; i < to; ++i) add({uint32_t(at2[i] + 8 - base), uint32_t(frames[i].size())});
    };
    at2.clear();
    add_frames(0, std::min<std::size_t>(count, 2));
    if (count >= 2) ix(0, 2, movi);
    put(movi - 4, uint32_t(f.size() - movi));
    add({Fourcc("idx1"), 16 * uint32_t(at2.size())});
    for (std::size_t i = 0; i < at2.size(); ++i) add({Fourcc("00dc"), 0x10, uint32_t(at2[i] - movi), uint32_t(frames[i].size())});
    put(4, uint32_t(f.size() - 8));
    avix = f.size();
    if (count > 2) add({Fourcc("RIFF"), UINT32_MAX, Fourcc("AVIX"), Fourcc("LIST"), UINT32_MAX, Fourcc("movi")});
    add_frames(2, count);
    if (count > 2 && !unfinished) {
      ix(2, count, avix + 20);
      put(avix + 4, uint32_t(f.size() - avix - 8));
      put(avix + 16, uint32_t(f.size() - avix - 20));
    }
    const uint64_t indx = text.find("JUNK"), strh = text.find("strh");  // the first JUNK is the strl's
    put(indx, super.empty() ? Fourcc("JUNK") : Fourcc("indx"));
    put(indx + 12, uint32_t(super.size() / 4));
    for (std::size_t i = 0; i < super.size(); ++i) put(indx + 32 + 4 * i, super[i]);
    put(odml - 8, count >= 2 && !unfinished ? Fourcc("LIST") : Fourcc("JUNK"));
    put(dmlh + 8, count >= 2 && !unfinished ? uint32_t(count) : 0);
    // Closing the first part, FFmpeg counts a frame more than it holds.
    put(text.find("avih") + 24, unfinished ? 3 : uint32_t(std::min<std::size_t>(count, 2)));
    put(strh + 40, unfinished ? 3 : uint32_t(count));
    put(strh + 44, unfinished ? 1 << 20 : largest);
    return f;
  };
  const std::vector<uint8_t> stopped = opendml(5, true);
  auto end2 = [&](std::size_t i) { return at2[i] + 8 + frames[i].size(); };
  const struct {
    uint64_t written_end;
    std::size_t kept;
    bool two_parts = false;
  } cases[] = {{ends[1], 2}, {ends[1] - 1, 1}, {ends[2] + 7, 3}, {ends[0] - 1, 0},
               {end2(3) - 1, 3, true}, {end2(3) + 5, 4, true}, {end2(4), 5, true},
               {avix + 12, 2, true}, {end2(0) + 3, 1, true}};
  for (const auto& c : cases) {
    Write("cut.avi", c.two_parts ? stopped : whole);
    std::string problem;
    {
      const UniqueFd file(open(Path("cut.avi").c_str(), O_RDWR | O_CLOEXEC));
      FileAt at(file.get());
      ASSERT_EQ(RepairAvi(at, c.written_end, &problem), static_cast<int64_t>(c.kept)) << problem;
    }
    const std::vector<uint8_t> cut = Read("cut.avi");
    if (c.two_parts) {
      const std::vector<uint8_t> want = opendml(c.kept, false);
      EXPECT_TRUE(cut == want) << "cut at " << c.written_end << ": differs from byte "
                               << std::mismatch(cut.begin(), cut.end(), want.begin(), want.end()).first - cut.begin();
      EXPECT_TRUE(AviFrames("cut.avi") == decltype(frames)(frames.begin(), frames.begin() + c.kept));
      continue;
    }
    const uint64_t index = c.kept == 0 ? movi + 4 : ends[c.kept - 1];
    ASSERT_EQ(cut.size(), index + 8 + 16 * c.kept) << c.written_end;
    EXPECT_EQ(LoadLe32(&cut[4]), cut.size() - 8) << "RIFF size";
    EXPECT_EQ(LoadLe32(&cut[movi - 4]), index - movi) << "frame list size";
    EXPECT_EQ(std::string(cut.begin() + index, cut.begin() + index + 4), "idx1");
    for (std::size_t i = 0; i < c.kept; ++i) {
      const uint8_t* entry = &cut[index + 8 + 16 * i];
      const uint64_t chunk = i == 0 ? movi + 4 : ends[i - 1];
      EXPECT_EQ(LoadLe32(entry + 4), 0x10u) << "key frame " << i;
      EXPECT_EQ(LoadLe32(entry + 8), chunk - movi) << "offset of " << i;
      EXPECT_EQ(LoadLe32(entry + 12), frames[i].size()) << "size of " << i;
    }
    AviVideoHeaders h;
    ASSERT_TRUE(ParseAviVideoHeaders(cut.data(), cut.size(), &h, &problem)) << problem;
    EXPECT_EQ(h.total_frames, c.kept);
    EXPECT_EQ(h.length, c.kept);
    EXPECT_EQ(h.all_frames, c.kept) << "the OpenDML count";
    if (c.kept > 0) {
      EXPECT_EQ(AviFrames("cut.avi"), std::vector<std::vector<uint8_t>>(frames.begin(), frames.begin() + c.kept));
    }
  }
}

// With --keep-partial the output is finished with the frames before the
// damaged one, so that it can be used.
TEST_F(VideoFilesTest, KeepPartialKeepsWhatWasWritten) {
  const std::vector<uint8_t> data(32 * 8 * 4, 0);
  // Damaged at frame 2: frames 0 and 1 written before the error.
  const auto clip = Clip({32, 8}, 3);
  {
    const UniqueFd file = NewFile("damaged.avi");
    VoxaAviWriter writer(file.get(), "damaged.avi", {32, 8}, AVRational{25, 1});
    const FrameFormat format{PixelFormat::kRgba32, 32, 8};
    for (std::size_t i = 0; i < clip.size(); ++i) {
      std::vector<uint8_t> frame(MaxCompressedFrameBytes(32, 8));
      frame.resize(EncodeFrame(format, clip[i].data(), frame.data(), kPortableKernels));
      if (i == 2) frame.resize(10);
      writer.WriteFrame(frame);
    }
    writer.Finish();
  }
  EXPECT_EQ(Run({"decode", Path("damaged.avi"), Path("out.bgra"), "--threads", "1", "--keep-partial"}), 1);
  EXPECT_EQ(Read("out.bgra").size(), 2 * data.size());
  EXPECT_NE(err_.str().find("kept the 2 frames decoded before the error"), std::string::npos) << err_.str();
  EXPECT_EQ(Run({"decode", Path("damaged.avi"), Path("out_%02d.png"), "--keep-partial"}), 1);
  EXPECT_TRUE(fs::exists(Path("out_01.png")));
  EXPECT_TRUE(fs::exists(Path("out_02.png")));
  EXPECT_FALSE(fs::exists(Path("out_03.png")));
  // A movie decoded up to the damaged frame is finished and can be read.
  EXPECT_EQ(Run({"decode", Path("damaged.avi"), Path("out.mov"), "--keep-partial"}), 1);
  Ok({"encode", Path("out.mov"), Path("again.avi"), "--quiet"});
  EXPECT_EQ(AviFrames("again.avi").size(), 2u);
}

}  // namespace
}  // namespace voxa
