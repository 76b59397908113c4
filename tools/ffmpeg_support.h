// Small helpers shared by the files that use FFmpeg's libraries.
#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/avutil.h>
#include <libswscale/swscale.h>
}

#include <memory>
#include <string>

namespace voxa {

// FFmpeg's text for an error code.
std::string AvErrorText(int code);

// FFmpeg logs nothing of its own (the tool says what went wrong in one line)
// unless VOXA_FFMPEG_LOG is set, e.g. to "verbose".
void QuietFfmpegLog();

struct AvDeleter {
  void operator()(AVCodecContext* p) const { avcodec_free_context(&p); }
  void operator()(AVFrame* p) const { av_frame_free(&p); }
  void operator()(AVPacket* p) const { av_packet_free(&p); }
  void operator()(SwsContext* p) const { sws_freeContext(p); }
};
// An opened input, and an output with the file FFmpeg opened for it (an
// output writing through the tool's own I/O context, AVFMT_FLAG_CUSTOM_IO,
// leaves that context to its owner).
struct InputDeleter {
  void operator()(AVFormatContext* p) const { avformat_close_input(&p); }
};
struct OutputDeleter {
  void operator()(AVFormatContext* p) const {
    if (!(p->oformat->flags & AVFMT_NOFILE) && !(p->flags & AVFMT_FLAG_CUSTOM_IO)) {
      avio_closep(&p->pb);
    }
    avformat_free_context(p);
  }
};
using InputPtr = std::unique_ptr<AVFormatContext, InputDeleter>;
using OutputPtr = std::unique_ptr<AVFormatContext, OutputDeleter>;
using CodecContextPtr = std::unique_ptr<AVCodecContext, AvDeleter>;
using FramePtr = std::unique_ptr<AVFrame, AvDeleter>;
using PacketPtr = std::unique_ptr<AVPacket, AvDeleter>;
using SwsPtr = std::unique_ptr<SwsContext, AvDeleter>;

// What FFmpeg's libraries ask while they read or write (a blocked read
// included): to stop once a signal came (tools/interrupt.h).
AVIOInterruptCB InterruptCallback();
// A new input context that asks it. Throws std::bad_alloc.
AVFormatContext* NewInputContext();
// The name FFmpeg opens for an input: a file whatever it is called
// ("take:1.avi" names no protocol), standard input for "-".
std::string InputUrl(const std::string& path);

FramePtr NewFrame();
PacketPtr NewPacket();

// "25/1" and the like.
std::string RateText(AVRational rate);

}  // namespace voxa
