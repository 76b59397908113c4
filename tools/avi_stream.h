// VOXA video in AVI files, through libavformat: the frames are stored as the
// driver writes them, one chunk each, and the headers say what a Windows
// host's say (tools/avi_headers.h checks them).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/descriptor_avio.h"
#include "tools/ffmpeg_support.h"
#include "tools/frame_geometry.h"

namespace voxa {

// What a Windows host stores as the format's biSizeImage: the compressed
// size bound the driver proposes, width × height × 4 + 4096.
uint32_t VoxaFormatSizeImage(PictureSize size);

class VoxaAviWriter {
 public:
  // Writes a video stream of that size and rate to `fd`, an empty file
  // open for reading and writing (which stays its owner's); messages call it
  // `name`. Throws VideoError.
  VoxaAviWriter(int fd, const std::string& name, PictureSize size, AVRational frame_rate);
  // Without Finish, the file is left as far as it got.
  VoxaAviWriter(const VoxaAviWriter&) = delete;
  VoxaAviWriter& operator=(const VoxaAviWriter&) = delete;

  // Appends a compressed frame, marked as a key frame, and hands it to the
  // system. Throws VideoError.
  void WriteFrame(const std::vector<uint8_t>& frame);
  // Writes the index and the final headers; once only.
  void Finish();
  // After a failure: makes the file readable with the frames written whole
  // (tools/avi_repair.h). Returns how many, or -1 with a reason.
  int64_t Salvage(std::string* problem);

 private:
  int fd_;
  std::string name_;
  PictureSize size_;
  AvioPtr avio_;  // goes after the muxer, which writes through it
  OutputPtr format_;
  PacketPtr packet_;
  int64_t frames_ = 0;
  int64_t written_end_ = 0;  // every byte before it reached the system
  bool finished_ = false;
};

class VoxaAviReader {
 public:
  // Opens a file whose first video stream is VOXA. Throws VideoError.
  explicit VoxaAviReader(const std::string& path);
  VoxaAviReader(const VoxaAviReader&) = delete;
  VoxaAviReader& operator=(const VoxaAviReader&) = delete;

  PictureSize size() const { return size_; }
  AVRational frame_rate() const { return frame_rate_; }
  uint64_t expected_frames() const { return expected_frames_; }
  const char* container() const;

  // The next frame's bytes; false after the last. An empty frame is one a
  // host left out (it shows the previous picture again).
  bool ReadFrame(std::vector<uint8_t>* frame);

 private:
  std::string path_;
  InputPtr format_;
  PacketPtr packet_;
  int stream_ = -1;
  PictureSize size_{0, 0};
  AVRational frame_rate_{25, 1};
  uint64_t expected_frames_ = 0;
};

}  // namespace voxa
