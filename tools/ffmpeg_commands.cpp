#include "tools/ffmpeg_commands.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <iomanip>
#include <memory>
#include <mutex>
#include <optional>
#include <sstream>

#include "tools/avi_headers.h"
#include "tools/avi_stream.h"
#include "tools/frame_commands.h"
#include "tools/media_input.h"
#include "tools/media_output.h"
#include "tools/output_file.h"
#include "tools/ordered_pool.h"
#include "tools/progress.h"
#include "tools/wording.h"

namespace voxa {
namespace {

bool ShowProgress(bool quiet) { return !quiet && isatty(STDERR_FILENO) == 1; }

// Frames the pool holds at once: enough to keep every thread busy while the
// main thread reads and writes.
std::size_t InFlight(unsigned threads) { return std::size_t{threads} * 2; }

std::string Fixed(double value, int digits) {
  std::ostringstream s;
  s << std::fixed << std::setprecision(digits) << value;
  return s.str();
}

std::string SizeText(PictureSize size) {
  return std::to_string(size.width) + "x" + std::to_string(size.height);
}

double Seconds(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

std::string RateReport(uint64_t frames, double seconds) {
  return Fixed(seconds, 2) + " s, " + (seconds > 0 ? Fixed(frames / seconds, 1) : "-") +
         " frames/s";
}

// Picture buffers of one size, handed out as shared pointers that come back
// when the last user lets go. Safe to use from several threads.
class PictureBuffers {
 public:
  PictureBuffers(std::size_t bytes, bool clear) : state_(std::make_shared<State>()) {
    state_->bytes = bytes;
    state_->clear = clear;
  }
  std::shared_ptr<std::vector<uint8_t>> Get() {
    std::unique_ptr<std::vector<uint8_t>> buffer;
    {
      std::lock_guard<std::mutex> lock(state_->mutex);
      if (!state_->free.empty()) {
        buffer = std::move(state_->free.back());
        state_->free.pop_back();
      }
    }
    if (!buffer) {
      buffer = std::make_unique<std::vector<uint8_t>>(state_->bytes, 0);
    } else if (state_->clear) {
      std::fill(buffer->begin(), buffer->end(), 0);
    }
    std::weak_ptr<State> home = state_;
    return std::shared_ptr<std::vector<uint8_t>>(buffer.release(), [home](std::vector<uint8_t>* b) {
      std::unique_ptr<std::vector<uint8_t>> owned(b);
      if (const std::shared_ptr<State> state = home.lock()) {
        std::lock_guard<std::mutex> lock(state->mutex);
        state->free.push_back(std::move(owned));
      }
    });
  }

 private:
  struct State {
    std::size_t bytes = 0;
    bool clear = false;
    std::mutex mutex;
    std::vector<std::unique_ptr<std::vector<uint8_t>>> free;
  };
  std::shared_ptr<State> state_;
};

class FfmpegCommands : public VideoCommands {
 public:
  int Encode(const EncodeOptions& o, std::ostream& err) override;
  int Decode(const DecodeOptions& o, std::ostream& err) override;
  int Info(const InfoOptions& o, std::ostream& out) override;
  std::string LibraryVersions() override;
};

std::string VersionText(unsigned version) {
  return std::to_string(AV_VERSION_MAJOR(version)) + "." + std::to_string(AV_VERSION_MINOR(version)) +
         "." + std::to_string(AV_VERSION_MICRO(version));
}

std::string FfmpegCommands::LibraryVersions() {
  return "libavformat " + VersionText(avformat_version()) + ", libavcodec " +
         VersionText(avcodec_version()) + ", libswscale " + VersionText(swscale_version()) +
         ", libavutil " + VersionText(avutil_version());
}

void Warn(std::ostream& err, bool quiet, const std::string& warning) {
  if (!quiet) err << "voxa: warning: " << warning << "\n";
}

int FfmpegCommands::Encode(const EncodeOptions& o, std::ostream& err) {
  const auto start = std::chrono::steady_clock::now();
  OutputRules rules;
  rules.input = o.input;
  rules.overwrite = o.overwrite;
  rules.not_streamable =
      "an AVI file cannot go to standard output: its headers and index are written last";
  rules.seeks = true;
  OutputFile output(o.output, rules);
  MediaInput input(o);
  const PictureSize source = input.size();
  PictureSize coded = source;
  if (!IsCodableSize(source)) {
    coded = PaddedSize(source);
    if (!o.pad || !IsCodableSize(coded)) {
      throw VideoError("'" + o.input + "': " + CodableSizeProblem(source));
    }
  }
  const voxa_kernels kernels = o.kernels;
  const std::size_t bound = voxa_max_frame_bytes(coded.width, coded.height);

  std::optional<VoxaAviWriter> writer;
  uint64_t frames = 0, bytes = 0;
  try {
    writer.emplace(output.fd(), o.output, coded, input.frame_rate());
    Progress progress(err, ShowProgress(o.quiet), "encode", input.expected_frames());
    OrderedPool<std::vector<uint8_t>> pool(o.threads);
    auto write_next = [&] {
      const std::vector<uint8_t> frame = pool.TakeNext();
      writer->WriteFrame(frame);
      bytes += frame.size();
      progress.Update(++frames);
    };
    HeldPicture picture;
    while (input.ReadPicture(&picture)) {
      ThrowIfInterrupted();
      if (coded.width != source.width || coded.height != source.height) {
        picture = PadBgraPicture(picture.view, coded);
      }
      pool.Submit([kernels, bound, picture = std::move(picture)] {
        // Room for the largest frame, kept by each thread from frame to frame.
        thread_local std::vector<uint8_t> scratch;
        if (scratch.size() < bound) scratch.resize(bound);
        std::size_t size = 0;
        if (const int status = voxa_encode(&picture.view, kernels, scratch.data(), scratch.size(), &size)) {
          throw VideoError(std::string("cannot encode a picture: ") + voxa_status_string(status));
        }
        return std::vector<uint8_t>(scratch.begin(), scratch.begin() + static_cast<std::ptrdiff_t>(size));
      });
      picture = HeldPicture();
      while (pool.Pending() >= InFlight(pool.threads())) write_next();
    }
    while (pool.Pending() != 0) write_next();
    if (frames == 0) throw VideoError("'" + o.input + "' holds no pictures");
    writer->Finish();
    progress.Finish(frames);
  } catch (...) {
    if (writer && o.keep_partial) {
      // The frames written whole, indexed, in place of what would have been.
      // Whatever goes wrong here is said as a warning: the error reported
      // is the one that ended the run.
      std::string problem;
      const int64_t kept = writer->Salvage(&problem);
      writer.reset();
      try {
        if (kept < 0) throw OutputRefused(problem);
        output.Commit();
        Warn(err, false, "kept the " + Counted(static_cast<uint64_t>(kept), "frame") +
                             " written whole in '" + o.output + "'");
      } catch (const std::exception& e) {
        Warn(err, false, std::string("could not keep the frames written: ") + e.what());
      }
    }
    throw;
  }
  writer.reset();
  output.Commit();
  for (const std::string& warning : input.Warnings()) Warn(err, o.quiet, warning);
  if (o.quiet) return 0;
  const double seconds = Seconds(start);
  const uint64_t raw = frames * RawFrameBytes(VOXA_BGRA, coded);
  err << "encoded " << Counted(frames, "frame") << " of " << SizeText(coded);
  if (coded.width != source.width || coded.height != source.height) {
    err << " (padded from " << SizeText(source) << ")";
  }
  err << " at " << RateText(input.frame_rate()) << " frames/s from '" << o.input << "' ("
      << input.description() << ") into '" << o.output << "'\n"
      << "  " << bytes << " bytes of frames (raw BGRA " << raw << "), ratio "
      << Fixed(bytes ? static_cast<double>(raw) / bytes : 0.0, 2) << ":1; "
      << RateReport(frames, seconds) << " with " << o.threads
      << (o.threads == 1 ? " thread\n" : " threads\n");
  return 0;
}

// Where decoded pictures go: a file (or standard output) or a numbered
// sequence, each written beside its final name until the run succeeds.
class DecodeTarget {
 public:
  DecodeTarget(const DecodeOptions& o) {
    OutputRules rules;
    rules.input = o.input;
    rules.overwrite = o.overwrite;
    switch (o.format) {
      case OutputFormat::kPng:
        rules.not_streamable =
            "a PNG sequence cannot go to standard output: give --format bgra or y16a";
        sequence_.emplace(o.output, rules);
        return;
      case OutputFormat::kProres:
      case OutputFormat::kQtrle:
        rules.not_streamable =
            "a QuickTime movie cannot go to standard output (its index is written last): give "
            "--format bgra or y16a";
        rules.seeks = true;
        break;
      default:
        break;
    }
    file_.emplace(o.output, rules);
  }
  MediaOutput::Target target() {
    return sequence_ ? MediaOutput::Target{-1, &*sequence_} : MediaOutput::Target{file_->fd(), nullptr};
  }
  // Moves the output into place; a warning, or empty.
  std::string Commit() {
    if (sequence_) return sequence_->Commit();
    file_->Commit();
    return "";
  }

 private:
  std::optional<OutputFile> file_;
  std::optional<OutputSequence> sequence_;
};

int FfmpegCommands::Decode(const DecodeOptions& o, std::ostream& err) {
  const auto start = std::chrono::steady_clock::now();
  DecodeTarget target(o);
  VoxaAviReader reader(o.input);
  const PictureSize size = reader.size();
  const voxa_pixel_format format = o.format == OutputFormat::kY16a ? VOXA_Y16A : VOXA_BGRA;
  const voxa_kernels kernels = o.kernels;
  const std::size_t picture_bytes = RawFrameBytes(format, size);

  // A whole frame writes every byte of the picture but one line of an odd
  // height: buffers go round instead of being made anew for every frame.
  // Pictures are top-down (positive stride) unless raw frames are asked for
  // bottom line first, then the same buffer walked from its last line.
  PictureBuffers buffers(picture_bytes, size.height % 2 != 0);
  const auto line = static_cast<std::ptrdiff_t>(RawFrameBytes(format, PictureSize{size.width, 1}));
  const auto view = [&](uint8_t* bytes) {
    if (!o.bottom_up || size.height == 0) return voxa_picture{format, size.width, size.height, bytes, line};
    return voxa_picture{format, size.width, size.height, bytes + (size.height - 1) * line, -line};
  };
  std::optional<MediaOutput> output;
  uint64_t frames = 0, damaged = 0;
  std::string first_damage;
  bool first_frame_damaged = false;
  // Frames as the user counts them: from 1, as the PNGs written are numbered.
  const auto frame_name = [&](uint64_t index) {
    std::string name = "frame " + std::to_string(index + 1) + " of '" + o.input + "'";
    if (o.format == OutputFormat::kPng) name += " (" + SequenceFileName(o.output, index + 1) + ")";
    return name;
  };
  try {
    output.emplace(target.target(), o.output, o.format, size, reader.frame_rate(), o.threads,
                   o.bottom_up);
    Progress progress(err, ShowProgress(o.quiet), "decode", reader.expected_frames());
    // A damaged frame (going on past damage) shows the picture before it;
    // the first frame, having none, what of it decodes.
    struct Decoded {
      HeldPicture picture;  // no owner for a frame left out
      bool damaged = false;
    };
    OrderedPool<Decoded> pool(o.threads);
    HeldPicture previous;
    auto write_next = [&] {
      Decoded decoded = pool.TakeNext();
      HeldPicture picture = std::move(decoded.picture);
      if (!picture.owner || (decoded.damaged && previous.owner)) {
        // A frame left out: the previous picture again.
        if (!previous.owner) {
          throw VideoError(frame_name(frames) + " is empty and there is no picture before it");
        }
        picture = previous;
      } else if (decoded.damaged) {
        first_frame_damaged = true;
      }
      output->WritePicture(picture.view);
      previous = std::move(picture);
      progress.Update(++frames);
    };
    std::mutex damage_mutex;
    uint64_t first_damaged = 0;
    std::vector<uint8_t> frame;
    for (uint64_t index = 0; reader.ReadFrame(&frame); ++index) {
      ThrowIfInterrupted();
      if (frame.empty()) {
        pool.Submit([] { return Decoded(); });
      } else {
        pool.Submit([&, index, frame = std::move(frame)] {
          std::shared_ptr<std::vector<uint8_t>> bytes = buffers.Get();
          HeldPicture picture{view(bytes->data()), bytes};
          const int status = voxa_decode(frame.data(), frame.size(), kernels, &picture.view);
          if (status == VOXA_OK) return Decoded{std::move(picture)};
          const std::string problem =
              frame_name(index) + " " +
              (status == VOXA_ERROR_DAMAGED
                   ? "is damaged (a chunk or payload ends early; 'voxa info --per-frame' "
                     "lists the frames)"
                   : "is not a VOXA frame (no \"QTZ1\" magic or no field chunk)");
          if (!o.keep_going) throw VideoError(problem);
          std::lock_guard<std::mutex> lock(damage_mutex);
          if (damaged++ == 0 || index < first_damaged) {
            first_damage = problem;
            first_damaged = index;
          }
          return Decoded{std::move(picture), true};
        });
      }
      frame.clear();
      while (pool.Pending() >= InFlight(pool.threads())) write_next();
    }
    while (pool.Pending() != 0) write_next();
    if (frames == 0) throw VideoError("'" + o.input + "' holds no frames");
    output->Finish();
    progress.Finish(frames);
  } catch (...) {
    if (output && o.keep_partial) {
      // Flush the encoder and finish the file with the pictures so far.
      try {
        output->Finish();
        output.reset();
        const std::string leftover = target.Commit();
        if (!leftover.empty()) Warn(err, o.quiet, leftover);
        Warn(err, false, "kept the " + Counted(frames, "frame") + " decoded before the error in '" +
                             o.output + "'");
      } catch (const std::exception& e) {
        Warn(err, false, std::string("could not keep the pictures written: ") + e.what());
      }
    }
    throw;
  }
  const std::string description = output->description();
  output.reset();
  const std::string leftover = target.Commit();
  if (!leftover.empty()) Warn(err, o.quiet, leftover);
  if (!o.quiet) {
    err << "decoded " << Counted(frames, "frame") << " of " << SizeText(size) << " at "
        << RateText(reader.frame_rate()) << " frames/s from '" << o.input << "' into '"
        << o.output << "' (" << description << ")\n"
        << "  " << RateReport(frames, Seconds(start)) << " with " << o.threads
        << (o.threads == 1 ? " thread\n" : " threads\n");
  }
  if (damaged != 0) {
    std::string shown = damaged == 1 ? " was damaged and shows the picture before it"
                                     : " were damaged and show the picture before them";
    if (first_frame_damaged) {
      shown = damaged == 1 ? " was damaged:" : " were damaged; each shows the picture before it, but";
      shown += " frame 1, with no picture before it, shows what of it decodes (the rest "
               "transparent)";
    }
    throw VideoError(std::to_string(damaged) + " of the " + Counted(frames, "frame") + shown +
                     " (the first: " + first_damage + ")");
  }
  return 0;
}

struct FrameCount {
  uint64_t bytes = 0;
  uint64_t transparent = 0;
  uint64_t literal = 0;
  std::string problem;  // empty for a frame decoders decode in full
};

// The blocks decoders take from the frame (voxa_inspect()), and why they
// cannot take them all.
FrameCount CountFrame(const std::vector<uint8_t>& frame, PictureSize size) {
  FrameCount c;
  c.bytes = frame.size();
  voxa_frame_info info;
  const int status = voxa_inspect(frame.data(), frame.size(), size.width, size.height, &info);
  c.transparent = info.transparent_blocks;
  c.literal = info.literal_blocks;
  if (status != VOXA_OK) c.problem = DecodeProblem(frame.data(), frame.size(), size);
  return c;
}

std::string Percent(uint64_t part, uint64_t whole) {
  return whole == 0 ? "-" : Fixed(100.0 * part / whole, 1) + " %";
}

int FfmpegCommands::Info(const InfoOptions& o, std::ostream& out) {
  VoxaAviReader reader(o.input);
  const PictureSize size = reader.size();
  std::error_code error;
  const auto file_bytes = std::filesystem::file_size(o.input, error);
  out << "file:     " << o.input << " (" << reader.container();
  if (!error) out << ", " << file_bytes << " bytes";
  out << ")\n";
  AviVideoHeaders h;
  std::string problem;
  if (ReadAviVideoHeaders(o.input, &h, &problem)) {
    out << "avih:     " << h.micro_sec_per_frame << " us a frame, " << h.max_bytes_per_sec
        << " bytes/s at most, suggested buffer " << h.main_suggested_buffer_size << ", "
        << Counted(h.total_frames, "frame");
    if (h.all_frames != 0) {
      const uint32_t parts = CountRiffParts(o.input);
      out << " in the first of " << parts << " RIFF part" << (parts == 1 ? "" : "s") << "; "
          << h.all_frames << " in all (OpenDML)";
    }
    out << "\n";
    out << "strh:     handler " << FourccText(h.handler) << ", rate " << h.rate << "/" << h.scale
        << ", length " << h.length << ", suggested buffer " << h.suggested_buffer_size
        << ", quality " << static_cast<int32_t>(h.quality) << ", sample size " << h.sample_size
        << ", frame " << h.frame_rect[0] << "," << h.frame_rect[1] << "," << h.frame_rect[2]
        << "," << h.frame_rect[3] << "\n"
        << "strf:     size " << h.format_size << ", " << h.width << "x" << h.height << ", planes "
        << h.planes << ", bits " << h.bit_count << ", compression " << FourccText(h.compression)
        << ", image size " << h.size_image << "\n";
  }

  // Each of the two fields is height / 2 lines of blocks of 16 pixels.
  const uint64_t blocks = uint64_t{2} * (size.width / kWidthStep) * (size.height / 2);
  uint64_t frames = 0, empty = 0, bytes = 0, transparent = 0, literal = 0, damaged = 0;
  uint64_t smallest = UINT64_MAX, largest = 0;
  std::string first_problem;
  std::vector<uint8_t> frame;
  for (; reader.ReadFrame(&frame); ++frames) {
    if (frame.empty()) {
      ++empty;
      if (o.per_frame) out << "frame " << frames + 1 << ": empty (shows the previous picture)\n";
      continue;
    }
    const FrameCount c = CountFrame(frame, size);
    bytes += c.bytes;
    transparent += c.transparent;
    literal += c.literal;
    smallest = std::min(smallest, c.bytes);
    largest = std::max(largest, c.bytes);
    if (!c.problem.empty()) {
      if (damaged++ == 0) first_problem = "frame " + std::to_string(frames + 1) + ": " + c.problem;
    }
    if (o.per_frame) {
      out << "frame " << frames + 1 << ": " << c.bytes << " bytes, " << c.transparent
          << " transparent blocks (" << Percent(c.transparent, blocks) << "), " << c.literal
          << " literal blocks";
      if (!c.problem.empty()) out << "; DAMAGED: " << c.problem;
      out << "\n";
    }
  }
  const double seconds = frames * av_q2d(av_inv_q(reader.frame_rate()));
  out << "video:    VOXA " << SizeText(size) << ", " << RateText(reader.frame_rate())
      << " frames/s (" << Fixed(av_q2d(reader.frame_rate()), 3) << "), " << Counted(frames, "frame") << ", "
      << Fixed(seconds, 2) << " s\n";
  const uint64_t coded = frames - empty;
  if (coded != 0) {
    const uint64_t raw = coded * RawFrameBytes(VOXA_BGRA, size);
    out << "frames:   " << bytes << " bytes, " << bytes / coded << " a frame (smallest "
        << smallest << ", largest " << largest << ")";
    if (empty != 0) out << "; " << empty << " empty";
    out << "\n"
        << "ratio:    " << Fixed(static_cast<double>(raw) / bytes, 2)
        << ":1 to 32-bit BGRA\n"
        << "blocks:   " << blocks << " a frame; " << Percent(transparent, blocks * coded)
        << " transparent, " << Percent(literal, blocks * coded) << " literal\n";
  }
  if (damaged != 0) {
    throw VideoError(std::to_string(damaged) + " of the " + Counted(frames, "frame") + " of '" +
                     o.input + (damaged == 1 ? "' is" : "' are") + " damaged (" + first_problem + ")");
  }
  if (frames == 0) throw VideoError("'" + o.input + "' holds no frames");
  return 0;
}

}  // namespace

VideoCommands* FfmpegVideoCommands() {
  static FfmpegCommands commands;
  return &commands;
}

}  // namespace voxa
