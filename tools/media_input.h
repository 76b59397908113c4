// Pictures from any video or image input FFmpeg's libraries read, as the
// codec takes them: 32-bit BGRA with straight alpha, bottom line first.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tools/ffmpeg_support.h"
#include "tools/frame_geometry.h"

namespace voxa {

class MediaInput {
 public:
  // Opens `path` (a file, or an image sequence such as title_%04d.png). With
  // `raw_size` the file holds raw BGRA frames of that size, bottom line
  // first (as the frame verbs and Windows bitmaps store them), at 25 frames
  // a second. `threads` goes to the decoder. Throws VideoError.
  MediaInput(const std::string& path, std::optional<PictureSize> raw_size, unsigned threads);
  ~MediaInput();
  MediaInput(const MediaInput&) = delete;
  MediaInput& operator=(const MediaInput&) = delete;

  PictureSize size() const { return size_; }
  AVRational frame_rate() const { return frame_rate_; }
  // What the container says, 0 when it does not tell.
  uint64_t expected_frames() const { return expected_frames_; }
  // E.g. "png, rgba" or "prores (4444), yuva444p12le".
  const std::string& description() const { return description_; }

  // The next picture; false after the last. Throws VideoError on bad data or
  // a picture of another size than the first.
  bool ReadPicture(std::vector<uint8_t>* bgra);

 private:
  bool ReceivePicture(std::vector<uint8_t>* bgra);
  void Convert(const AVFrame& frame, std::vector<uint8_t>* bgra);

  std::string path_;
  InputPtr format_;
  CodecContextPtr decoder_;
  int stream_ = -1;
  bool raw_bottom_up_ = false;
  PictureSize size_{0, 0};
  AVRational frame_rate_{25, 1};
  uint64_t expected_frames_ = 0;
  std::string description_;
  PacketPtr packet_;
  FramePtr frame_;
  SwsContext* scaler_ = nullptr;
  std::vector<uint8_t> top_down_;
  bool draining_ = false;
  bool finished_ = false;
  uint64_t pictures_ = 0;
};

}  // namespace voxa
