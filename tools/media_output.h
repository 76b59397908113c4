// Decoded pictures written out through FFmpeg's libraries: a PNG sequence,
// a QuickTime movie (ProRes 4444 or Animation, with alpha), or raw frames.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/ffmpeg_support.h"
#include "tools/frame_geometry.h"
#include "tools/video_verbs.h"

namespace voxa {

class MediaOutput {
 public:
  // Creates the output. Pictures given to WritePicture are 32-bit BGRA with
  // straight alpha, bottom line first, for every format but kY16a, whose
  // pictures are raw Y16A frames. Throws VideoError.
  // Messages call the output `name` (its final name).
  MediaOutput(const std::string& path, const std::string& name, OutputFormat format,
              PictureSize size, AVRational frame_rate, unsigned threads);
  ~MediaOutput();
  MediaOutput(const MediaOutput&) = delete;
  MediaOutput& operator=(const MediaOutput&) = delete;

  void WritePicture(const std::vector<uint8_t>& picture);
  // Flushes the encoder and finishes the file; once only.
  void Finish();

  // A description such as "ProRes 4444 (prores_ks, yuva444p10le) in QuickTime".
  const std::string& description() const { return description_; }

 private:
  void OpenEncoder(const char* encoder, AVPixelFormat pixels, const char* muxer,
                   AVRational frame_rate, unsigned threads);
  void Encode(const AVFrame* frame);

  std::string path_;
  std::string name_;
  OutputFormat format_;
  PictureSize size_;
  std::string description_;
  OutputPtr muxer_;
  AVIOContext* raw_ = nullptr;  // raw outputs
  CodecContextPtr encoder_;
  FramePtr frame_;
  PacketPtr packet_;
  SwsContext* scaler_ = nullptr;
  std::vector<uint8_t> top_down_;
  int64_t pictures_ = 0;
  bool finished_ = false;
};

}  // namespace voxa
