#include "tools/media_input.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

extern "C" {
#include <libavutil/dict.h>
#include <libavutil/imgutils.h>
#include <libavutil/pixdesc.h>
}

#include "tools/avi_headers.h"
#include "tools/output_file.h"
#include "tools/wording.h"

namespace voxa {
namespace {

constexpr AVRational kRawFrameRate{25, 1};

// FFmpeg's own VP8 and VP9 decoders drop the alpha channel that WebM keeps
// beside the picture; libvpx's decoders read it.
const AVCodec* FindDecoder(const AVStream& stream) {
  const AVDictionaryEntry* alpha = av_dict_get(stream.metadata, "alpha_mode", nullptr, 0);
  if (alpha != nullptr && std::strcmp(alpha->value, "1") == 0) {
    const char* name = stream.codecpar->codec_id == AV_CODEC_ID_VP9   ? "libvpx-vp9"
                       : stream.codecpar->codec_id == AV_CODEC_ID_VP8 ? "libvpx"
                                                                      : nullptr;
    if (name != nullptr) {
      if (const AVCodec* codec = avcodec_find_decoder_by_name(name)) return codec;
    }
  }
  return avcodec_find_decoder(stream.codecpar->codec_id);
}

std::string Seconds(double seconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%.2f s", seconds);
  return text;
}

// A numbered file name split around its number: title_%04d.png is "title_",
// "%04d", ".png" (with %% in them standing for %).
struct NumberedName {
  std::string prefix, suffix;
};

NumberedName SplitNumberedName(const std::string& name) {
  NumberedName parts;
  std::string* side = &parts.prefix;
  for (std::size_t i = 0; i < name.size(); ++i) {
    if (name[i] == '%' && i + 1 < name.size() && name[i + 1] == '%') {
      *side += '%';
      ++i;
    } else if (name[i] == '%' && side == &parts.prefix) {
      i = name.find('d', i);
      if (i == std::string::npos) break;
      side = &parts.suffix;
    } else {
      *side += name[i];
    }
  }
  return parts;
}

// A glob(3) pattern of the sequence's files, whose numbers all have the same
// number of digits, so that the sorted names are in number order.
std::string GlobOfSequence(const std::string& pattern, const std::vector<uint64_t>& numbers) {
  const std::filesystem::path path = pattern;
  const NumberedName parts = SplitNumberedName(path.filename().string());
  const std::size_t digits =
      SequenceFileName(path.filename().string(), numbers.front()).size() - parts.prefix.size() -
      parts.suffix.size();
  const auto escape = [](const std::string& text) {
    std::string escaped;
    for (char c : text) {
      if (std::strchr("*?[]{}\\", c) != nullptr) escaped += '\\';
      escaped += c;
    }
    return escaped;
  };
  std::string glob = escape(parts.prefix);
  for (std::size_t i = 0; i < digits; ++i) glob += "[0-9]";
  glob += escape(parts.suffix);
  // The files glob(3) finds are opened by the names it gives: a name that
  // starts with "/" or "./" is never taken for a protocol ("take:1_01.png").
  const std::filesystem::path folder =
      path.is_absolute() ? path.parent_path() : std::filesystem::path(".") / path.parent_path();
  return (folder / glob).string();
}

}  // namespace

void MediaInput::FindSequence(const std::string& pattern, bool fill_gaps, AVDictionary** options) {
  namespace fs = std::filesystem;
  const fs::path path = pattern;
  const std::string name = path.filename().string();
  const NumberedName parts = SplitNumberedName(name);
  const fs::path folder = path.parent_path().empty() ? fs::path(".") : path.parent_path();
  std::vector<uint64_t> numbers;
  std::error_code error;
  for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
    const std::string file = it->path().filename().string();
    if (file.size() <= parts.prefix.size() + parts.suffix.size() ||
        file.compare(0, parts.prefix.size(), parts.prefix) != 0 ||
        file.compare(file.size() - parts.suffix.size(), parts.suffix.size(), parts.suffix) != 0) {
      continue;
    }
    const std::string digits =
        file.substr(parts.prefix.size(), file.size() - parts.prefix.size() - parts.suffix.size());
    if (digits.size() > 18 || digits.find_first_not_of("0123456789") != std::string::npos) continue;
    const uint64_t number = std::strtoull(digits.c_str(), nullptr, 10);
    if (SequenceFileName(name, number) == file) numbers.push_back(number);
  }
  if (error) throw VideoError("cannot read the folder of '" + pattern + "': " + error.message());
  if (numbers.empty()) throw VideoError("no file matches '" + pattern + "'");
  std::sort(numbers.begin(), numbers.end());
  sequence_folder_ = folder.string();
  sequence_name_ = name;
  first_number_ = numbers.front();
  const auto shown = [&](uint64_t n) { return "'" + (folder / SequenceFileName(name, n)).string() + "'"; };
  for (std::size_t i = 0; i + 1 < numbers.size(); ++i) {
    if (numbers[i + 1] == numbers[i] + 1) continue;
    if (!fill_gaps) {
      throw VideoError(shown(numbers[i] + 1) + " is missing: the sequence runs from " +
                       shown(numbers.front()) + " to " + shown(numbers.back()) +
                       " (--fill-gaps shows the frame before each missing one)");
    }
    if (SequenceFileName(name, numbers.front()).size() != SequenceFileName(name, numbers.back()).size()) {
      throw VideoError("--fill-gaps needs the numbers of '" + pattern +
                       "' to have one width (such as %04d)");
    }
    numbers_ = numbers;
    first_missing_ = shown(numbers[i] + 1);
    av_dict_set(options, "pattern_type", "glob", 0);
    return;
  }
  av_dict_set(options, "start_number", std::to_string(numbers.front()).c_str(), 0);
}

MediaInput::MediaInput(const EncodeOptions& o)
    : path_(o.input), packet_(NewPacket()), frame_(NewFrame()) {
  QuietFfmpegLog();
  const std::string& path = o.input;
  const AVInputFormat* forced = nullptr;
  AVDictionary* options = nullptr;
  // Freed on every path, a refused sequence's too.
  struct DictionaryOwner {
    AVDictionary** d;
    ~DictionaryOwner() { av_dict_free(d); }
  } owner{&options};
  const AVRational rate = o.rate ? AVRational{o.rate->num, o.rate->den} : kRawFrameRate;
  const std::string rate_text = std::to_string(rate.num) + "/" + std::to_string(rate.den);
  std::string opened_as = InputUrl(path);
  if (o.raw_size) {
    forced = av_find_input_format("rawvideo");
    const std::string size = std::to_string(o.raw_size->width) + "x" + std::to_string(o.raw_size->height);
    av_dict_set(&options, "video_size", size.c_str(), 0);
    av_dict_set(&options, "pixel_format", "bgra", 0);
    av_dict_set(&options, "framerate", rate_text.c_str(), 0);
    raw_bottom_up_ = o.bottom_up;
    own_rate_ = false;
  } else if (path.find('%') != std::string::npos && path != "-") {
    forced = av_find_input_format("image2");
    av_dict_set(&options, "framerate", rate_text.c_str(), 0);
    FindSequence(path, o.fill_gaps, &options);
    if (!numbers_.empty()) opened_as = GlobOfSequence(path, numbers_);
    own_rate_ = false;
  }
  AVFormatContext* opened = NewInputContext();
  int status = avformat_open_input(&opened, opened_as.c_str(), forced, &options);
  if (status < 0) {
    throw VideoError("cannot read '" + path + "' as video: " + AvErrorText(status));
  }
  format_.reset(opened);
  if ((status = avformat_find_stream_info(format_.get(), nullptr)) < 0) {
    throw VideoError("cannot read '" + path + "' as video: " + AvErrorText(status));
  }
  stream_ = av_find_best_stream(format_.get(), AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
  if (stream_ < 0) throw VideoError("'" + path + "' holds no video");
  for (unsigned i = 0; i < format_->nb_streams; ++i) {
    if (format_->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_AUDIO) has_audio_ = true;
  }
  const AVStream& stream = *format_->streams[stream_];
  const AVCodecParameters& par = *stream.codecpar;
  if (FourccText(par.codec_tag) == "VOXA" || FourccText(par.codec_tag) == "voxa") {
    throw VideoError("'" + path + "' is VOXA video already ('voxa decode' reads it)");
  }
  const AVCodec* codec = FindDecoder(stream);
  if (codec == nullptr) {
    throw VideoError("'" + path + "' holds video that FFmpeg cannot decode (" +
                     (par.codec_tag != 0 ? "codec tag '" + FourccText(par.codec_tag) + "'"
                                         : std::string(avcodec_get_name(par.codec_id))) +
                     ")");
  }
  decoder_.reset(avcodec_alloc_context3(codec));
  if (!decoder_) throw std::bad_alloc();
  status = avcodec_parameters_to_context(decoder_.get(), &par);
  if (status >= 0) {
    decoder_->thread_count = static_cast<int>(o.threads);
    status = avcodec_open2(decoder_.get(), codec, nullptr);
  }
  if (status < 0) {
    throw VideoError("cannot decode the video of '" + path + "': " + AvErrorText(status));
  }
  if (par.width <= 0 || par.height <= 0) {
    throw VideoError("'" + path + "' does not say its picture size");
  }
  size_ = PictureSize{static_cast<uint32_t>(par.width), static_cast<uint32_t>(par.height)};
  if (o.raw_size) {
    const int64_t bytes = avio_size(format_->pb);
    const int64_t frame_bytes = int64_t{o.raw_size->width} * o.raw_size->height * 4;
    if (bytes >= 0 && (bytes == 0 || bytes % frame_bytes != 0)) {
      throw VideoError("'" + path + "' holds " + std::to_string(bytes) +
                       " bytes, not a whole number of " + std::to_string(o.raw_size->width) + "x" +
                       std::to_string(o.raw_size->height) + " BGRA frames of " +
                       std::to_string(frame_bytes) + " bytes");
    }
  }
  if (o.rate) own_rate_ = false;
  if (!own_rate_) {
    frame_rate_ = rate;
  } else if (stream.avg_frame_rate.num > 0 && stream.avg_frame_rate.den > 0) {
    frame_rate_ = stream.avg_frame_rate;
  } else if (stream.r_frame_rate.num > 0 && stream.r_frame_rate.den > 0) {
    frame_rate_ = stream.r_frame_rate;
  }
  av_reduce(&frame_rate_.num, &frame_rate_.den, frame_rate_.num, frame_rate_.den, INT32_MAX);
  if (!numbers_.empty()) {
    expected_frames_ = numbers_.back() - numbers_.front() + 1;
  } else if (stream.nb_frames > 0) {
    expected_frames_ = static_cast<uint64_t>(stream.nb_frames);
  } else if (stream.duration > 0) {
    expected_frames_ = static_cast<uint64_t>(
        av_rescale_q(stream.duration, stream.time_base, av_inv_q(frame_rate_)));
  } else if (format_->duration > 0) {
    expected_frames_ = static_cast<uint64_t>(
        av_rescale_q(format_->duration, AV_TIME_BASE_Q, av_inv_q(frame_rate_)));
  }
  description_ = codec->name;
  if (const char* profile = avcodec_profile_name(codec->id, par.profile)) {
    description_ += std::string(" (") + profile + ")";
  }
  if (const char* pixels = av_get_pix_fmt_name(static_cast<AVPixelFormat>(par.format))) {
    description_ += std::string(", ") + pixels;
  }
}

MediaInput::~MediaInput() { sws_freeContext(scaler_); }

bool MediaInput::ReadPicture(HeldPicture* picture) {
  if (repeats_ != 0) {
    // A missing number of the sequence: the picture before it again.
    --repeats_;
    ++bridged_;
    *picture = last_;
    return true;
  }
  while (!finished_) {
    if (ReceivePicture(picture)) return true;
    if (finished_) break;
    if (draining_) continue;
    const int status = av_read_frame(format_.get(), packet_.get());
    if (status == AVERROR_EOF) {
      draining_ = true;
      avcodec_send_packet(decoder_.get(), nullptr);
      continue;
    }
    if (status < 0) {
      std::string hint;
      if (std::strncmp(format_->iformat->name, "mov", 3) == 0 &&
          !(format_->pb->seekable & AVIO_SEEKABLE_NORMAL)) {
        // A movie's index may lie behind its pictures, where only a seek finds it.
        hint = " (a QuickTime or MP4 movie needs an input that can be seeked, not a pipe: "
               "give its name)";
      }
      throw VideoError("cannot read '" + path_ + "' after " + Counted(pictures_, "picture") + ": " +
                       AvErrorText(status) + hint);
    }
    if (packet_->stream_index != stream_) {
      av_packet_unref(packet_.get());
      continue;
    }
    const int sent = avcodec_send_packet(decoder_.get(), packet_.get());
    av_packet_unref(packet_.get());
    if (sent < 0 && sent != AVERROR(EAGAIN)) {
      throw VideoError(PictureName() + " cannot be decoded: " + AvErrorText(sent));
    }
  }
  return false;
}

bool MediaInput::ReceivePicture(HeldPicture* picture) {
  const int status = avcodec_receive_frame(decoder_.get(), frame_.get());
  if (status == AVERROR(EAGAIN)) return false;
  if (status == AVERROR_EOF) {
    finished_ = true;
    return false;
  }
  if (status < 0) {
    throw VideoError(PictureName() + " cannot be decoded: " + AvErrorText(status));
  }
  *picture = Convert(*frame_);
  NoteTiming(frame_->best_effort_timestamp);
  av_frame_unref(frame_.get());
  if (!numbers_.empty() && pictures_ + 1 < numbers_.size()) {
    repeats_ = numbers_[pictures_ + 1] - numbers_[pictures_] - 1;
    if (repeats_ != 0) last_ = *picture;
  }
  ++pictures_;
  return true;
}

std::string MediaInput::PictureName() const {
  if (sequence_name_.empty()) return "picture " + std::to_string(pictures_ + 1) + " of '" + path_ + "'";
  const uint64_t number =
      numbers_.empty() ? first_number_ + pictures_ : numbers_[std::min<uint64_t>(pictures_, numbers_.size() - 1)];
  return "'" + (std::filesystem::path(sequence_folder_) / SequenceFileName(sequence_name_, number)).string() + "'";
}

void MediaInput::NoteTiming(int64_t pts) {
  if (pts == AV_NOPTS_VALUE) return;
  if (last_pts_ != AV_NOPTS_VALUE && pts > last_pts_) {
    const int64_t step = pts - last_pts_;
    shortest_step_ = shortest_step_ == 0 ? step : std::min(shortest_step_, step);
    longest_step_ = std::max(longest_step_, step);
  }
  if (first_pts_ == AV_NOPTS_VALUE) first_pts_ = pts;
  last_pts_ = pts;
}

std::vector<std::string> MediaInput::Warnings() const {
  std::vector<std::string> warnings;
  if (has_audio_) {
    warnings.push_back("'" + path_ + "' has sound, which a VOXA AVI file does not carry: it is left out");
  }
  // Steps between pictures that differ by half a frame or more.
  if (own_rate_ && shortest_step_ > 0 && longest_step_ * 2 >= shortest_step_ * 3) {
    const AVRational base = format_->streams[stream_]->time_base;
    const double lasts = (last_pts_ - first_pts_ + shortest_step_) * av_q2d(base);
    const double stored = static_cast<double>(pictures_) / av_q2d(frame_rate_);
    warnings.push_back("'" + path_ + "' has a variable frame rate: its " + std::to_string(pictures_) +
                       " pictures, " + Seconds(lasts) + " long, are stored evenly at " +
                       RateText(frame_rate_) + " frames/s (" + Seconds(stored) +
                       "); --rate chooses another rate");
  }
  if (bridged_ != 0) {
    warnings.push_back(std::to_string(bridged_) + " missing frame" +
                       (bridged_ == 1 ? " of '" + path_ + "' shows the frame before it ("
                                      : "s of '" + path_ + "' show the frame before them (the first: ") +
                       first_missing_ + ")");
  }
  return warnings;
}

HeldPicture MediaInput::Convert(const AVFrame& frame) {
  if (frame.width != static_cast<int>(size_.width) ||
      frame.height != static_cast<int>(size_.height)) {
    throw VideoError(PictureName() + " is " +
                     std::to_string(frame.width) + "x" + std::to_string(frame.height) +
                     ", the first was " + std::to_string(size_.width) + "x" +
                     std::to_string(size_.height));
  }
  const auto source = static_cast<AVPixelFormat>(frame.format);
  if (source == AV_PIX_FMT_BGRA) {
    // The codec reads the picture where FFmpeg decoded it: a new reference
    // keeps it for as long as the coding threads need it. Raw frames stored
    // bottom line first are the same memory walked from its last line.
    std::shared_ptr<AVFrame> held(av_frame_clone(&frame), [](AVFrame* f) { av_frame_free(&f); });
    if (!held) throw std::bad_alloc();
    HeldPicture picture;
    uint8_t* top = held->data[0];
    std::ptrdiff_t stride = held->linesize[0];
    if (raw_bottom_up_) {
      top += static_cast<std::ptrdiff_t>(size_.height - 1) * stride;
      stride = -stride;
    }
    picture.view = voxa_picture{VOXA_BGRA, size_.width, size_.height, top, stride};
    picture.owner = std::move(held);
    return picture;
  }
  scaler_ = sws_getCachedContext(scaler_, frame.width, frame.height, source, frame.width,
                                 frame.height, AV_PIX_FMT_BGRA,
                                 SWS_POINT | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INT, nullptr,
                                 nullptr, nullptr);
  if (scaler_ == nullptr) {
    throw VideoError("cannot convert the pictures of '" + path_ + "' (" +
                     (av_get_pix_fmt_name(source) ? av_get_pix_fmt_name(source) : "?") +
                     ") to BGRA");
  }
  const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(source);
  if (desc != nullptr && !(desc->flags & AV_PIX_FMT_FLAG_RGB) && desc->nb_components >= 3) {
    // YUV: the matrix and range the stream declares (BT.601 when it says none).
    const int space =
        frame.colorspace == AVCOL_SPC_UNSPECIFIED ? SWS_CS_DEFAULT : frame.colorspace;
    const int full_range = frame.color_range == AVCOL_RANGE_JPEG ? 1 : 0;
    sws_setColorspaceDetails(scaler_, sws_getCoefficients(space), full_range,
                             sws_getCoefficients(SWS_CS_DEFAULT), 1, 0, 1 << 16, 1 << 16);
  }
  // Converted straight into the picture the codec reads, top line first.
  HeldPicture picture = NewPicture(VOXA_BGRA, size_, false);
  uint8_t* planes[4] = {picture.view.data, nullptr, nullptr, nullptr};
  int strides[4] = {static_cast<int>(picture.view.stride), 0, 0, 0};
  sws_scale(scaler_, frame.data, frame.linesize, 0, frame.height, planes, strides);
  return picture;
}

}  // namespace voxa
