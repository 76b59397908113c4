#include "tools/avi_stream.h"

#include <cctype>

#include "tools/avi_headers.h"
#include "tools/avi_repair.h"
#include "tools/video_commands.h"

namespace voxa {
namespace {

constexpr uint32_t kVoxaTag = MKTAG('V', 'O', 'X', 'A');
constexpr uint32_t kSizeBoundSlack = 4096;
// The bits a pixel of the frames the codec was given: 32-bit BGRA.
constexpr int kSourceBitCount = 32;

uint32_t UpperTag(uint32_t tag) {
  uint32_t upper = 0;
  for (int i = 0; i < 4; ++i) {
    const int c = std::toupper(static_cast<int>((tag >> (8 * i)) & 0xFF));
    upper |= static_cast<uint32_t>(c & 0xFF) << (8 * i);
  }
  return upper;
}

}  // namespace

uint32_t VoxaFormatSizeImage(PictureSize size) {
  return size.width * size.height * 4 + kSizeBoundSlack;
}

VoxaAviWriter::VoxaAviWriter(int fd, const std::string& name, PictureSize size,
                             AVRational frame_rate)
    : fd_(fd), name_(name), size_(size), avio_(DescriptorAvio(fd)), packet_(NewPacket()) {
  QuietFfmpegLog();
  AVFormatContext* made = nullptr;
  int status = avformat_alloc_output_context2(&made, nullptr, "avi", nullptr);
  if (status < 0 || made == nullptr) {
    throw VideoError("cannot set up an AVI file: " + AvErrorText(status));
  }
  format_.reset(made);
  format_->pb = avio_.get();
  format_->flags |= AVFMT_FLAG_CUSTOM_IO;
  format_->interrupt_callback = InterruptCallback();
  // No encoder name in an INFO list: a Windows host writes none.
  format_->flags |= AVFMT_FLAG_BITEXACT;
  AVStream* stream = avformat_new_stream(format_.get(), nullptr);
  if (stream == nullptr) throw std::bad_alloc();
  AVCodecParameters* par = stream->codecpar;
  par->codec_type = AVMEDIA_TYPE_VIDEO;
  par->codec_id = AV_CODEC_ID_NONE;  // FFmpeg has no VOXA codec: the tag says it all
  par->codec_tag = kVoxaTag;         // strh fccHandler and strf biCompression
  par->width = static_cast<int>(size.width);
  par->height = static_cast<int>(size.height);
  par->bits_per_coded_sample = kSourceBitCount;
  stream->time_base = av_inv_q(frame_rate);
  stream->avg_frame_rate = frame_rate;
  stream->r_frame_rate = frame_rate;
  status = avformat_write_header(format_.get(), nullptr);
  if (status < 0) throw VideoError("cannot write the AVI headers: " + AvErrorText(status));
}

void VoxaAviWriter::WriteFrame(const std::vector<uint8_t>& frame) {
  packet_->data = const_cast<uint8_t*>(frame.data());
  packet_->size = static_cast<int>(frame.size());
  packet_->stream_index = 0;
  packet_->pts = packet_->dts = av_rescale_q(frames_, av_inv_q(format_->streams[0]->avg_frame_rate),
                                             format_->streams[0]->time_base);
  packet_->duration = 0;
  packet_->flags = AV_PKT_FLAG_KEY;
  int status = av_write_frame(format_.get(), packet_.get());
  packet_->data = nullptr;
  packet_->size = 0;
  if (status >= 0) {
    avio_flush(format_->pb);
    status = format_->pb->error;
  }
  if (status < 0) {
    throw VideoError("cannot write frame " + std::to_string(frames_ + 1) + " to '" + name_ +
                     "': " + AvErrorText(status));
  }
  written_end_ = avio_tell(format_->pb);
  ++frames_;
}

int64_t VoxaAviWriter::Salvage(std::string* problem) {
  finished_ = true;
  // What the muxer still holds may land behind the last whole frame: it is
  // cut off again. The muxer writes nothing more.
  format_->pb = nullptr;
  avio_.reset();
  FileAt file(fd_);
  const int64_t kept = RepairAvi(file, static_cast<uint64_t>(written_end_), problem);
  if (kept < 0 || !PatchAviHeaders(file, VoxaFormatSizeImage(size_), problem)) return -1;
  return kept;
}

void VoxaAviWriter::Finish() {
  if (finished_) return;
  finished_ = true;
  int status = av_write_trailer(format_.get());
  if (status < 0) throw VideoError("cannot finish '" + name_ + "': " + AvErrorText(status));
  avio_flush(format_->pb);
  if (format_->pb->error < 0) {
    throw VideoError("cannot write '" + name_ + "': " + AvErrorText(format_->pb->error));
  }
  // libavformat stores width × height × bits / 8 as biSizeImage, where a
  // Windows host stores the size bound that the driver proposed, and a fixed
  // 1 MiB and no data rate in the main header, where avifil32 stores the
  // largest chunk and the rate that makes.
  std::string problem;
  FileAt file(fd_);
  if (!PatchAviHeaders(file, VoxaFormatSizeImage(size_), &problem)) {
    throw VideoError("cannot finish '" + name_ + "': " + problem);
  }
}

VoxaAviReader::VoxaAviReader(const std::string& path) : path_(path), packet_(NewPacket()) {
  QuietFfmpegLog();
  AVFormatContext* opened = NewInputContext();
  int status = avformat_open_input(&opened, InputUrl(path).c_str(), nullptr, nullptr);
  if (status < 0) throw VideoError("cannot read '" + path + "' as video: " + AvErrorText(status));
  format_.reset(opened);
  for (unsigned i = 0; i < format_->nb_streams && stream_ < 0; ++i) {
    if (format_->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_VIDEO) stream_ = static_cast<int>(i);
  }
  if (stream_ < 0) {
    // Some containers tell their streams only after a look at the data.
    status = avformat_find_stream_info(format_.get(), nullptr);
    if (status >= 0) stream_ = av_find_best_stream(format_.get(), AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
  }
  if (stream_ < 0) throw VideoError("'" + path + "' holds no video");
  const AVStream& stream = *format_->streams[stream_];
  const AVCodecParameters& par = *stream.codecpar;
  if (UpperTag(par.codec_tag) != kVoxaTag) {
    throw VideoError("'" + path + "' holds no VOXA video: its video is " +
                     (par.codec_id != AV_CODEC_ID_NONE ? std::string(avcodec_get_name(par.codec_id))
                                                       : "of another codec") +
                     (par.codec_tag != 0 ? " (codec tag '" + FourccText(par.codec_tag) + "')" : ""));
  }
  if (par.width <= 0 || par.height == 0) {
    throw VideoError("'" + path + "' declares no picture size for its VOXA video");
  }
  size_ = PictureSize{static_cast<uint32_t>(par.width),
                      static_cast<uint32_t>(par.height < 0 ? -par.height : par.height)};
  if (size_.width % kWidthStep != 0) {
    throw VideoError("'" + path + "' declares " + std::to_string(size_.width) +
                     " pixels a line, which VOXA frames cannot have (a multiple of 16)");
  }
  if (voxa_max_frame_bytes(size_.width, size_.height) == 0) {
    throw VideoError("'" + path + "' declares pictures too large for the codec");
  }
  if (stream.avg_frame_rate.num > 0 && stream.avg_frame_rate.den > 0) {
    frame_rate_ = stream.avg_frame_rate;
  } else if (stream.r_frame_rate.num > 0 && stream.r_frame_rate.den > 0) {
    frame_rate_ = stream.r_frame_rate;
  }
  if (stream.nb_frames > 0) expected_frames_ = static_cast<uint64_t>(stream.nb_frames);
}

const char* VoxaAviReader::container() const { return format_->iformat->name; }

bool VoxaAviReader::ReadFrame(std::vector<uint8_t>* frame) {
  for (;;) {
    const int status = av_read_frame(format_.get(), packet_.get());
    if (status == AVERROR_EOF) return false;
    if (status < 0) throw VideoError("cannot read '" + path_ + "': " + AvErrorText(status));
    if (packet_->stream_index == stream_) {
      frame->assign(packet_->data, packet_->data + packet_->size);
      av_packet_unref(packet_.get());
      return true;
    }
    av_packet_unref(packet_.get());
  }
}

}  // namespace voxa
