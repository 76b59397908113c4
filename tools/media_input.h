// Pictures from any video or image input FFmpeg's libraries read, as the
// codec takes them: 32-bit BGRA with straight alpha.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tools/ffmpeg_support.h"
#include "tools/frame_geometry.h"
#include "tools/video_commands.h"

namespace voxa {

class MediaInput {
 public:
  // Opens the input of `options` (a file, "-" for standard input, or a
  // numbered sequence such as title_%04d.png, found from whatever number it
  // starts at). With a raw size the file holds raw BGRA frames of that
  // size, top line first (as FFmpeg's raw video is) unless bottom_up (as
  // Windows bitmaps and the frame commands store them). Sequences and raw frames go at the options' rate
  // or 25 frames a second, anything else at its own rate unless the options
  // give one. Throws VideoError.
  explicit MediaInput(const EncodeOptions& options);
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
  // a picture of another size than the first. A picture FFmpeg decoded as
  // BGRA is handed on as it lies in FFmpeg's frame, without a copy.
  bool ReadPicture(HeldPicture* picture);

  // What the run should hear of: audio left out, a variable frame rate,
  // gaps bridged. Complete after the last picture.
  std::vector<std::string> Warnings() const;

 private:
  // Opens a numbered sequence; the first number it has, and the gaps.
  void FindSequence(const std::string& pattern, bool fill_gaps, AVDictionary** options);
  bool ReceivePicture(HeldPicture* picture);
  void NoteTiming(int64_t pts);
  // The picture being read, as the user counts: its file of a sequence, or
  // "picture N of 'input'" counted from 1.
  std::string PictureName() const;
  HeldPicture Convert(const AVFrame& frame);

  std::string path_;
  InputPtr format_;
  CodecContextPtr decoder_;
  int stream_ = -1;
  bool raw_bottom_up_ = false;
  bool own_rate_ = true;      // the input's own timing decides the frame rate
  bool has_audio_ = false;
  // A sequence's files: the folder, the pattern and the first number.
  std::string sequence_folder_, sequence_name_;
  uint64_t first_number_ = 0;
  // Sequence numbers present, when gaps are bridged; pictures still to
  // repeat for the gap after the one last read.
  std::vector<uint64_t> numbers_;
  uint64_t repeats_ = 0;
  uint64_t bridged_ = 0;
  std::string first_missing_;
  HeldPicture last_;
  // The input's timing, to tell a variable frame rate.
  int64_t first_pts_ = AV_NOPTS_VALUE;
  int64_t last_pts_ = AV_NOPTS_VALUE;
  int64_t shortest_step_ = 0;
  int64_t longest_step_ = 0;
  PictureSize size_{0, 0};
  AVRational frame_rate_{25, 1};
  uint64_t expected_frames_ = 0;
  std::string description_;
  PacketPtr packet_;
  FramePtr frame_;
  SwsContext* scaler_ = nullptr;
  bool draining_ = false;
  bool finished_ = false;
  uint64_t pictures_ = 0;
};

}  // namespace voxa
