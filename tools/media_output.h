// Decoded pictures written out through FFmpeg's libraries: a PNG sequence,
// a QuickTime movie (ProRes 4444 or Animation, with alpha), or raw frames.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/descriptor_avio.h"
#include "tools/ffmpeg_support.h"
#include "tools/frame_geometry.h"
#include "tools/output_file.h"
#include "tools/video_commands.h"

namespace voxa {

class MediaOutput {
 public:
  // Where the bytes go: a descriptor (which stays its owner's), or for a PNG
  // sequence a file of its own for each picture.
  struct Target {
    int fd = -1;
    OutputSequence* sequence = nullptr;
  };
  // Creates the output. Pictures given to WritePicture are 32-bit BGRA with
  // straight alpha for every format but kY16a, whose pictures are Y16A.
  // Raw frames are written as their pictures lie in memory, lines back to
  // back, top line first unless `bottom_up` (raw BGRA only). Throws
  // VideoError. Messages call the output `name` (its final name).
  MediaOutput(Target target, const std::string& name, OutputFormat format, PictureSize size,
              AVRational frame_rate, unsigned threads, bool bottom_up = false);
  ~MediaOutput();
  MediaOutput(const MediaOutput&) = delete;
  MediaOutput& operator=(const MediaOutput&) = delete;

  // A picture of the output's size; for raw frames one whose lines lie back
  // to back in the output's line order.
  void WritePicture(const voxa_picture& picture);
  // Flushes the encoder and finishes the file; once only.
  void Finish();

  // A description such as "ProRes 4444 (prores_ks, yuva444p10le) in QuickTime".
  const std::string& description() const { return description_; }

 private:
  void OpenEncoder(const char* encoder, AVPixelFormat pixels, const char* muxer,
                   AVRational frame_rate, unsigned threads);
  void DescribeFrame();
  void Encode(const AVFrame* frame);
  void Write(AVPacket* packet);

  Target target_;
  std::string name_;
  OutputFormat format_;
  PictureSize size_;
  std::string description_;
  AvioPtr avio_;      // raw outputs and movies write through it, after the muxer
  OutputPtr muxer_;   // movies; a PNG sequence writes each packet to a file
  CodecContextPtr encoder_;
  FramePtr frame_;
  PacketPtr packet_;
  SwsContext* scaler_ = nullptr;
  int64_t pictures_ = 0;
  bool finished_ = false;
};

}  // namespace voxa
