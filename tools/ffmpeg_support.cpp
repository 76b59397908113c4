#include "tools/ffmpeg_support.h"

#include <cstdlib>
#include <new>

#include "tools/interrupt.h"

extern "C" {
#include <libavutil/log.h>
}

namespace voxa {

std::string AvErrorText(int code) {
  char text[AV_ERROR_MAX_STRING_SIZE] = {};
  av_strerror(code, text, sizeof text);
  return text;
}

void QuietFfmpegLog() {
  const char* level = std::getenv("VOXA_FFMPEG_LOG");
  if (level == nullptr || *level == '\0') {
    av_log_set_level(AV_LOG_QUIET);
    return;
  }
  const std::string name = level;
  av_log_set_level(name == "debug"     ? AV_LOG_DEBUG
                   : name == "verbose" ? AV_LOG_VERBOSE
                   : name == "info"    ? AV_LOG_INFO
                   : name == "warning" ? AV_LOG_WARNING
                                       : AV_LOG_ERROR);
}

AVIOInterruptCB InterruptCallback() {
  return AVIOInterruptCB{[](void*) { return InterruptSignal() != 0 ? 1 : 0; }, nullptr};
}

AVFormatContext* NewInputContext() {
  AVFormatContext* context = avformat_alloc_context();
  if (context == nullptr) throw std::bad_alloc();
  context->interrupt_callback = InterruptCallback();
  return context;
}

std::string InputUrl(const std::string& path) { return path == "-" ? "pipe:0" : "file:" + path; }

FramePtr NewFrame() {
  FramePtr frame(av_frame_alloc());
  if (!frame) throw std::bad_alloc();
  return frame;
}

PacketPtr NewPacket() {
  PacketPtr packet(av_packet_alloc());
  if (!packet) throw std::bad_alloc();
  return packet;
}

std::string RateText(AVRational rate) {
  return std::to_string(rate.num) + "/" + std::to_string(rate.den);
}

}  // namespace voxa
