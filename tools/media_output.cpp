#include "tools/media_output.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "tools/file_descriptor.h"

extern "C" {
#include <libavutil/opt.h>
#include <libavutil/pixdesc.h>
}

namespace voxa {
namespace {

// Pictures of at least this many lines are high definition: BT.709 colour.
constexpr uint32_t kHdLines = 720;

}  // namespace

MediaOutput::MediaOutput(Target target, const std::string& name, OutputFormat format,
                         PictureSize size, AVRational frame_rate, unsigned threads, bool bottom_up)
    : target_(target), name_(name), format_(format), size_(size), frame_(NewFrame()),
      packet_(NewPacket()) {
  QuietFfmpegLog();
  if (target.sequence == nullptr) avio_ = DescriptorAvio(target.fd);
  switch (format) {
    case OutputFormat::kBgra:
    case OutputFormat::kY16a: {
      description_ = format == OutputFormat::kY16a ? "raw Y16A frames"
                     : bottom_up                   ? "raw BGRA frames, bottom line first"
                                                   : "raw BGRA frames, top line first";
      return;
    }
    case OutputFormat::kPng:
      OpenEncoder("png", AV_PIX_FMT_RGBA, nullptr, frame_rate, threads);
      description_ = "PNG sequence (RGBA)";
      return;
    case OutputFormat::kProres:
      OpenEncoder("prores_ks", AV_PIX_FMT_YUVA444P10LE, "mov", frame_rate, threads);
      description_ = "ProRes 4444 (prores_ks, yuva444p10le) in QuickTime";
      return;
    case OutputFormat::kQtrle:
      OpenEncoder("qtrle", AV_PIX_FMT_ARGB, "mov", frame_rate, threads);
      description_ = "QuickTime Animation (qtrle, argb) in QuickTime";
      return;
  }
}

void MediaOutput::OpenEncoder(const char* name, AVPixelFormat pixels, const char* muxer,
                              AVRational frame_rate, unsigned threads) {
  const AVCodec* codec = avcodec_find_encoder_by_name(name);
  if (codec == nullptr) throw VideoError(std::string("this FFmpeg has no ") + name + " encoder");
  int status = 0;
  if (muxer != nullptr) {
    AVFormatContext* made = nullptr;
    status = avformat_alloc_output_context2(&made, nullptr, muxer, nullptr);
    if (status < 0 || made == nullptr) {
      throw VideoError("cannot set up '" + name_ + "': " + AvErrorText(status));
    }
    muxer_.reset(made);
    muxer_->pb = avio_.get();
    muxer_->flags |= AVFMT_FLAG_BITEXACT | AVFMT_FLAG_CUSTOM_IO;
    muxer_->interrupt_callback = InterruptCallback();
  }
  encoder_.reset(avcodec_alloc_context3(codec));
  if (!encoder_) throw std::bad_alloc();
  encoder_->width = static_cast<int>(size_.width);
  encoder_->height = static_cast<int>(size_.height);
  encoder_->pix_fmt = pixels;
  encoder_->time_base = av_inv_q(frame_rate);
  encoder_->framerate = frame_rate;
  encoder_->thread_count = static_cast<int>(threads);
  if (muxer_ && (muxer_->oformat->flags & AVFMT_GLOBALHEADER)) {
    encoder_->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  }
  const bool yuv = pixels == AV_PIX_FMT_YUVA444P10LE;
  const bool hd = size_.height >= kHdLines;
  if (yuv) {
    encoder_->color_range = AVCOL_RANGE_MPEG;
    encoder_->colorspace = hd ? AVCOL_SPC_BT709 : AVCOL_SPC_SMPTE170M;
    encoder_->color_primaries = hd ? AVCOL_PRI_BT709 : AVCOL_PRI_SMPTE170M;
    encoder_->color_trc = hd ? AVCOL_TRC_BT709 : AVCOL_TRC_SMPTE170M;
    av_opt_set(encoder_->priv_data, "profile", "4444", 0);
  }
  status = avcodec_open2(encoder_.get(), codec, nullptr);
  if (status < 0) throw VideoError(std::string("cannot open the ") + name + " encoder: " + AvErrorText(status));
  if (muxer_) {
    AVStream* stream = avformat_new_stream(muxer_.get(), nullptr);
    if (stream == nullptr) throw std::bad_alloc();
    status = avcodec_parameters_from_context(stream->codecpar, encoder_.get());
    if (status < 0) throw VideoError("cannot set up '" + name_ + "': " + AvErrorText(status));
    stream->time_base = encoder_->time_base;
    stream->avg_frame_rate = frame_rate;
    status = avformat_write_header(muxer_.get(), nullptr);
    if (status < 0) throw VideoError("cannot write '" + name_ + "': " + AvErrorText(status));
  }

  scaler_ = sws_getContext(encoder_->width, encoder_->height, AV_PIX_FMT_BGRA, encoder_->width,
                           encoder_->height, pixels,
                           SWS_POINT | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INP, nullptr, nullptr,
                           nullptr);
  if (scaler_ == nullptr) throw VideoError("cannot convert BGRA pictures for the encoder");
  if (yuv) {
    const int* table = sws_getCoefficients(hd ? SWS_CS_ITU709 : SWS_CS_ITU601);
    sws_setColorspaceDetails(scaler_, sws_getCoefficients(SWS_CS_DEFAULT), 1, table, 0, 0,
                             1 << 16, 1 << 16);
  }
  DescribeFrame();
}

// The encoder's picture, as the next frame's buffer is made for.
void MediaOutput::DescribeFrame() {
  frame_->format = encoder_->pix_fmt;
  frame_->width = encoder_->width;
  frame_->height = encoder_->height;
  frame_->color_range = encoder_->color_range;
  frame_->colorspace = encoder_->colorspace;
  frame_->color_primaries = encoder_->color_primaries;
  frame_->color_trc = encoder_->color_trc;
}

MediaOutput::~MediaOutput() { sws_freeContext(scaler_); }

void MediaOutput::WritePicture(const voxa_picture& picture) {
  if (!encoder_) {
    const std::size_t bytes = RawFrameBytes(picture.format, size_);
    const uint8_t* stored = picture.data;
    if (picture.stride < 0 && size_.height != 0) {
      stored += static_cast<std::ptrdiff_t>(size_.height - 1) * picture.stride;
    }
    avio_write(avio_.get(), stored, static_cast<int>(bytes));
    if (avio_->error < 0) {
      throw VideoError("cannot write '" + name_ + "': " + AvErrorText(avio_->error));
    }
    ++pictures_;
    return;
  }
  int status = av_frame_get_buffer(frame_.get(), 0);
  if (status >= 0) status = av_frame_make_writable(frame_.get());
  if (status < 0) throw VideoError("out of memory for a picture: " + AvErrorText(status));
  // The encoders take pictures top line first, as the picture is.
  const uint8_t* planes[4] = {picture.data, nullptr, nullptr, nullptr};
  const int strides[4] = {static_cast<int>(picture.stride), 0, 0, 0};
  sws_scale(scaler_, planes, strides, 0, static_cast<int>(size_.height), frame_->data,
            frame_->linesize);
  frame_->pts = pictures_;
  frame_->key_frame = 0;
  frame_->pict_type = AV_PICTURE_TYPE_NONE;
  Encode(frame_.get());
  av_frame_unref(frame_.get());
  DescribeFrame();
  ++pictures_;
}

void MediaOutput::Encode(const AVFrame* frame) {
  int status = avcodec_send_frame(encoder_.get(), frame);
  if (status < 0) throw VideoError("cannot encode picture " + std::to_string(pictures_) + ": " + AvErrorText(status));
  for (;;) {
    status = avcodec_receive_packet(encoder_.get(), packet_.get());
    if (status == AVERROR(EAGAIN) || status == AVERROR_EOF) return;
    if (status < 0) throw VideoError("cannot encode picture " + std::to_string(pictures_) + ": " + AvErrorText(status));
    Write(packet_.get());
  }
}

void MediaOutput::Write(AVPacket* packet) {
  if (!muxer_) {
    // A PNG sequence: every packet is a whole PNG file.
    const bool written = WriteAll(target_.sequence->NextFrame(), packet->data,
                                  static_cast<std::size_t>(packet->size));
    av_packet_unref(packet);
    if (!written) throw VideoError("cannot write a frame of '" + name_ + "': " + std::strerror(errno));
    return;
  }
  packet->stream_index = 0;
  av_packet_rescale_ts(packet, encoder_->time_base, muxer_->streams[0]->time_base);
  const int status = av_interleaved_write_frame(muxer_.get(), packet);
  if (status < 0) throw VideoError("cannot write '" + name_ + "': " + AvErrorText(status));
}

void MediaOutput::Finish() {
  if (finished_) return;
  finished_ = true;
  if (encoder_) Encode(nullptr);
  if (muxer_) {
    const int status = av_write_trailer(muxer_.get());
    if (status < 0) throw VideoError("cannot finish '" + name_ + "': " + AvErrorText(status));
  }
  if (avio_) {
    avio_flush(avio_.get());
    if (avio_->error < 0) throw VideoError("cannot write '" + name_ + "': " + AvErrorText(avio_->error));
  }
}

}  // namespace voxa
