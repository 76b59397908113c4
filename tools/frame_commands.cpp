#include "tools/frame_commands.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <iomanip>
#include <limits>
#include <sstream>
#include <vector>

#include "support/frame_compare.h"
#include "support/sample_frames.h"
#include "tools/interrupt.h"
#include "tools/output_file.h"
#include "tools/wording.h"

namespace voxa {
namespace {

// Large enough for any frame a host sends; small enough that a typing error
// does not ask for more memory than the machine has.
constexpr uint64_t kMaxRawFrameBytes = uint64_t{1} << 30;
constexpr unsigned long kMaxSampleFrames = 100000;
constexpr std::size_t kChunkHeaderBytes = 8;
constexpr std::size_t kRunWordsPerLine = 12;

struct FrameFormat {
  voxa_pixel_format format;
  PictureSize size;
};

const char* FormatName(voxa_pixel_format format) { return format == VOXA_BGRA ? "BGRA" : "Y16A"; }

std::string SizeText(PictureSize size) {
  return std::to_string(size.width) + "x" + std::to_string(size.height);
}

// "nearest: 32 or 48": the multiples of `step` around `value`.
std::string Nearest(uint32_t value, uint32_t step) {
  const uint32_t below = value / step * step;
  return "nearest: " + (below != 0 ? std::to_string(below) + " or " : std::string()) +
         std::to_string(below + step);
}

// --size (needed) and --format: bgra (also called rgba) or y16a. A frame of
// odd height loses a line to the two fields, so only `inspect`, which looks
// at frames as hosts made them, takes one.
FrameFormat ParseFrameFormat(const CommandLine& cl, bool odd_height = false) {
  const std::optional<std::string> size = cl.Option("--size");
  if (!size) throw UsageError(cl.verb + " needs --size WxH");
  FrameFormat f{VOXA_BGRA, ParseSize(*size)};
  if (f.size.width == 0 || f.size.height == 0) {
    throw UsageError("--size " + *size + " is empty: a frame has at least 16x2 pixels");
  }
  if (f.size.height % 2 != 0 && !odd_height) {
    throw UsageError("height " + std::to_string(f.size.height) +
                     " is odd: the two fields of a frame would lose a line (" +
                     Nearest(f.size.height, 2) + ")");
  }
  if (f.size.width % kWidthStep != 0) {
    throw UsageError("width " + std::to_string(f.size.width) + " is not a multiple of 16 (" +
                     Nearest(f.size.width, kWidthStep) + ")");
  }
  const std::string format = cl.Option("--format").value_or("bgra");
  if (format == "bgra" || format == "rgba") {
    f.format = VOXA_BGRA;
  } else if (format == "y16a") {
    f.format = VOXA_Y16A;
  } else {
    throw UsageError("unknown --format '" + format + "' (bgra or y16a)");
  }
  if (RawFrameBytes(f.format, f.size) > kMaxRawFrameBytes) {
    throw UsageError("frame size " + *size + " is too large");
  }
  return f;
}

// A raw frame of these commands as libvoxa's picture: BGRA stored bottom
// line first (a negative stride from its last line), Y16A top line first.
voxa_picture FramePicture(const FrameFormat& f, uint8_t* frame) {
  const auto line = static_cast<std::ptrdiff_t>(RawFrameBytes(f.format, PictureSize{f.size.width, 1}));
  if (f.format == VOXA_Y16A || f.size.height == 0) {
    return voxa_picture{f.format, f.size.width, f.size.height, frame, line};
  }
  return voxa_picture{f.format, f.size.width, f.size.height, frame + (f.size.height - 1) * line, -line};
}

// A FIFO is waited on in a wait a signal ends (tools/interrupt.h).
std::vector<uint8_t> ReadFile(const std::string& path) {
  const UniqueFd in = OpenForReading(path);
  if (!in) throw DataError("cannot open '" + path + "': " + std::strerror(errno));
  std::vector<uint8_t> data;
  uint8_t buffer[1 << 16];
  for (long got; (got = ReadSome(in.get(), buffer, sizeof buffer)) != 0;) {
    ThrowIfInterrupted();
    if (got < 0) throw DataError("cannot read '" + path + "'");
    data.insert(data.end(), buffer, buffer + got);
    if (data.size() > kMaxRawFrameBytes * 2) throw DataError("'" + path + "' is too large");
  }
  return data;
}

// The frame commands replace their output, but never destroy it: it is
// written beside and moved into place (tools/output_file.h).
void WriteFile(const std::string& path, const std::string& input, const uint8_t* data,
               std::size_t size) {
  OutputRules rules;
  rules.input = input;
  rules.overwrite = true;
  rules.not_streamable = "the frame commands write files, not standard output";
  OutputFile file(path, rules);
  if (!WriteAll(file.fd(), data, size)) {
    throw DataError("cannot write '" + path + "': " + std::strerror(errno));
  }
  file.Commit();
}

std::vector<uint8_t> ReadRawFrame(const std::string& path, const FrameFormat& f) {
  std::vector<uint8_t> data = ReadFile(path);
  const uint64_t expected = RawFrameBytes(f.format, f.size);
  if (data.size() != expected) {
    throw DataError("'" + path + "' holds " + std::to_string(data.size()) + " bytes; a " +
                    SizeText(f.size) + " " + FormatName(f.format) + " frame has " +
                    std::to_string(expected));
  }
  return data;
}

std::string FormatPsnr(double db) {
  if (std::isinf(db)) return "inf (identical)";
  std::ostringstream s;
  s << std::fixed << std::setprecision(2) << db << " dB";
  return s.str();
}

int EncodeFrameCommand(const CommandLine& cl, std::ostream& out) {
  const FrameFormat f = ParseFrameFormat(cl);
  const voxa_kernels kernels = ParseKernels(cl);
  std::vector<uint8_t> raw = ReadRawFrame(cl.operands[0], f);
  std::vector<uint8_t> frame(voxa_max_frame_bytes(f.size.width, f.size.height));
  const voxa_picture picture = FramePicture(f, raw.data());
  std::size_t size = 0;
  if (const int status = voxa_encode(&picture, kernels, frame.data(), frame.size(), &size)) {
    throw DataError(std::string("cannot encode: ") + voxa_status_string(status));
  }
  WriteFile(cl.operands[1], cl.operands[0], frame.data(), size);
  out << "encoded " << raw.size() << " bytes into " << size << " bytes (ratio "
      << std::fixed << std::setprecision(2)
      << (size ? static_cast<double>(raw.size()) / size : 0.0) << ":1)\n";
  return kExitOk;
}

int DecodeFrameCommand(const CommandLine& cl, std::ostream& out) {
  const FrameFormat f = ParseFrameFormat(cl);
  const voxa_kernels kernels = ParseKernels(cl);
  const std::vector<uint8_t> frame = ReadFile(cl.operands[0]);
  std::vector<uint8_t> raw;
  if (const std::optional<std::string> base = cl.Option("--onto")) {
    raw = ReadRawFrame(*base, f);
  } else {
    raw.assign(RawFrameBytes(f.format, f.size), 0);
  }
  const voxa_picture picture = FramePicture(f, raw.data());
  switch (voxa_decode(frame.data(), frame.size(), kernels, &picture)) {
    case VOXA_OK:
      break;
    case VOXA_ERROR_DAMAGED:
      throw DataError("'" + cl.operands[0] +
                      "' is damaged (a chunk or payload ends early); "
                      "'voxa inspect' tells where");
    default:
      throw DataError("'" + cl.operands[0] +
                      "' is not a VOXA frame (no \"QTZ1\" magic or no field chunk)");
  }
  WriteFile(cl.operands[1], cl.operands[0], raw.data(), raw.size());
  out << "decoded " << frame.size() << " bytes into " << raw.size() << " bytes\n";
  return kExitOk;
}

std::string Hex(uint32_t v) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(v));
  return text;
}

std::string TagName(uint32_t tag) {
  if (tag == VOXA_FIRST_FIELD_TAG) return Hex(tag) + " (field 32)";
  if (tag == VOXA_SECOND_FIELD_TAG) return Hex(tag) + " (field 0x80000020)";
  return Hex(tag) + " (not a field)";
}

bool IsFieldTag(uint32_t tag) { return tag == VOXA_FIRST_FIELD_TAG || tag == VOXA_SECOND_FIELD_TAG; }

// The report of `voxa inspect`, from the parts of voxa_inspect_frame(): each
// chunk with what is wrong with it, and for a chunk decoders use its
// payload's totals, run words and problems.
class InspectReport {
 public:
  explicit InspectReport(std::ostream& out) : out_(out) {}

  static void OnPart(void* report, const voxa_frame_part* part) {
    static_cast<InspectReport*>(report)->Add(*part);
  }

  void Add(const voxa_frame_part& part) {
    switch (part.kind) {
      case VOXA_PART_CHUNK: {
        Flush();
        std::ostringstream head;
        head << "chunk " << part.chunk << " at offset " << part.offset << ": tag "
             << TagName(part.tag) << ", length " << part.length << '\n';
        chunk_ = head.str();
        ignored_field_ = IsFieldTag(part.tag) && part.fields == 0;
        both_fields_ = both_fields_ || part.fields == (VOXA_FIELD_FIRST | VOXA_FIELD_SECOND);
        payload_ = part.offset + kChunkHeaderBytes;
        break;
      }
      case VOXA_PART_RUN_WORD:
        words_.push_back(part.word);
        break;
      case VOXA_PART_FIELD:
        totals_ = "  " + std::to_string(part.run_words) + " run words, " +
                  std::to_string(part.literal_blocks) + " literal blocks, " +
                  std::to_string(part.transparent_blocks) + " transparent blocks\n";
        break;
      case VOXA_PART_PROBLEM:
        ++problems_;
        if (part.problem == VOXA_PROBLEM_CHUNK_CUT) {
          chunk_ += "error: " + ProblemText(part, payload_) + "\n";
        } else if (part.problem == VOXA_PROBLEM_NO_MAGIC || part.problem == VOXA_PROBLEM_HEADER_CUT ||
                   part.problem == VOXA_PROBLEM_NO_FIELD_CHUNK) {
          Flush();
          out_ << "error: " << ProblemText(part, payload_) << '\n';
        } else {
          payload_errors_ += "error: " + ProblemText(part, payload_) + "\n";
        }
        break;
    }
  }

  // Ends the report; returns whether the frame is as an encoder writes it.
  bool Finish() {
    Flush();
    if (both_fields_) out_ << "note: only one field chunk: decoders use it for both fields\n";
    return problems_ == 0;
  }

 private:
  void Flush() {
    out_ << chunk_;
    if (ignored_field_) out_ << "  (a third field chunk: decoders ignore it)\n";
    out_ << totals_;
    for (std::size_t i = 0; i < words_.size(); ++i) {
      out_ << (i % kRunWordsPerLine == 0 ? "    " : " ");
      if (words_[i] > 0) out_ << '+';
      out_ << words_[i];
      if (i % kRunWordsPerLine == kRunWordsPerLine - 1 || i + 1 == words_.size()) out_ << '\n';
    }
    out_ << payload_errors_;
    chunk_.clear();
    totals_.clear();
    payload_errors_.clear();
    words_.clear();
    ignored_field_ = false;
  }

  std::ostream& out_;
  std::string chunk_, totals_, payload_errors_;
  std::vector<int32_t> words_;
  std::size_t payload_ = 0;
  bool ignored_field_ = false;
  bool both_fields_ = false;
  int problems_ = 0;
};

int InspectCommand(const CommandLine& cl, std::ostream& out) {
  uint32_t width = VOXA_SIZE_UNKNOWN, height = VOXA_SIZE_UNKNOWN;
  if (cl.Option("--size")) {
    const FrameFormat f = ParseFrameFormat(cl, true);
    width = f.size.width;
    height = f.size.height;
  }
  const std::vector<uint8_t> frame = ReadFile(cl.operands[0]);
  out << "frame: " << frame.size() << " bytes\n";
  InspectReport report(out);
  voxa_inspect_frame(frame.data(), frame.size(), width, height, InspectReport::OnPart, &report);
  if (!report.Finish()) throw DataError("'" + cl.operands[0] + "' is malformed (see above)");
  return kExitOk;
}

int SampleCommand(const CommandLine& cl, std::ostream& out) {
  const FrameFormat f = ParseFrameFormat(cl);
  const uint32_t width = f.size.width, height = f.size.height;
  SampleKind kind;
  const std::string name = cl.Option("--kind").value_or("title");
  if (!ParseSampleKind(name, &kind)) {
    throw UsageError("unknown --kind '" + name + "' (title or opaque)");
  }
  if (!cl.Option("--frames")) {
    const std::vector<uint8_t> raw = MakeSampleFrame(kind, f.format, width, height);
    WriteFile(cl.operands[0], "", raw.data(), raw.size());
    out << "wrote a " << SizeText(f.size) << " " << name << " frame, " << raw.size() << " bytes\n";
    return kExitOk;
  }
  // The sample clip: the picture moving and fading in, frame after frame.
  const unsigned long frames = ParseCount(cl, "--frames", 1, kMaxSampleFrames);
  if (RawFrameBytes(f.format, f.size) * frames > kMaxRawFrameBytes * 2) {
    throw UsageError("a clip of " + std::to_string(frames) + " such frames is too large");
  }
  const std::vector<uint8_t> picture = MakeSampleFrame(kind, VOXA_BGRA, width, height);
  std::vector<uint8_t> clip;
  for (unsigned long i = 0; i < frames; ++i) {
    std::vector<uint8_t> frame = MakeSampleClipFrame(picture, width, height, static_cast<uint32_t>(i));
    if (f.format == VOXA_Y16A) frame = BgraToY16a(frame, width, height);
    clip.insert(clip.end(), frame.begin(), frame.end());
  }
  WriteFile(cl.operands[0], "", clip.data(), clip.size());
  out << "wrote " << Counted(frames, "frame") << " of a " << SizeText(f.size) << " " << name << " clip, "
      << clip.size() << " bytes\n";
  return kExitOk;
}

// The frames of `raw`, each with its lines in the opposite order.
std::vector<uint8_t> UpsideDown(const FrameFormat& f, const std::vector<uint8_t>& raw) {
  const std::size_t line = RawFrameBytes(f.format, PictureSize{f.size.width, 1});
  std::vector<uint8_t> flipped(raw.size());
  for (std::size_t at = 0; at < raw.size(); at += line) {
    const std::size_t frame = at / (line * f.size.height), y = at / line % f.size.height;
    const std::size_t to = (frame * f.size.height + f.size.height - 1 - y) * line;
    std::copy_n(raw.begin() + static_cast<std::ptrdiff_t>(at), line,
                flipped.begin() + static_cast<std::ptrdiff_t>(to));
  }
  return flipped;
}

// Visible pixels of the reference frames that are transparent in the others.
uint64_t VisibleLost(const FrameFormat& f, const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
  const std::size_t frame_bytes = RawFrameBytes(f.format, f.size);
  uint64_t lost = 0;
  for (std::size_t at = 0; at < a.size(); at += frame_bytes) {
    const auto from = static_cast<std::ptrdiff_t>(at), to = static_cast<std::ptrdiff_t>(at + frame_bytes);
    lost += CompareFrames(f.format, f.size.width, f.size.height,
                          std::vector<uint8_t>(a.begin() + from, a.begin() + to),
                          std::vector<uint8_t>(b.begin() + from, b.begin() + to))
                .visible_lost;
  }
  return lost;
}

// Raw files of one frame or more, the same number in both. Fails when
// visible pixels of the reference are lost.
int CompareCommand(const CommandLine& cl, std::ostream& out) {
  const FrameFormat f = ParseFrameFormat(cl);
  const uint64_t frame_bytes = RawFrameBytes(f.format, f.size);
  const std::vector<uint8_t> a = ReadFile(cl.operands[0]);
  const std::vector<uint8_t> b = ReadFile(cl.operands[1]);
  for (const auto* file : {&a, &b}) {
    const std::string& path = cl.operands[file == &a ? 0 : 1];
    if (file->empty() || file->size() % frame_bytes != 0) {
      throw DataError("'" + path + "' holds " + std::to_string(file->size()) +
                      " bytes, not a whole number of " + SizeText(f.size) + " " +
                      FormatName(f.format) + " frames of " + std::to_string(frame_bytes) + " bytes");
    }
  }
  if (a.size() != b.size()) {
    throw DataError("'" + cl.operands[0] + "' holds " + std::to_string(a.size() / frame_bytes) +
                    " frames, '" + cl.operands[1] + "' " + std::to_string(b.size() / frame_bytes));
  }
  const std::size_t frames = a.size() / frame_bytes;
  // Mean squared errors, averaged over the frames, behind the PSNR.
  auto mse = [](double psnr) { return std::isinf(psnr) ? 0.0 : 255.0 * 255.0 / std::pow(10.0, psnr / 10.0); };
  auto psnr = [](double mse) {
    return mse == 0.0 ? std::numeric_limits<double>::infinity() : 10.0 * std::log10(255.0 * 255.0 / mse);
  };
  double colour_mse = 0, alpha_mse = 0, worst = std::numeric_limits<double>::infinity();
  int max_colour = 0, max_alpha = 0;
  uint64_t visible_lost = 0, far_off = 0;
  // Pixels fully transparent in the reference, and those of them that are
  // not in the decoded frames.
  uint64_t transparent = 0, lost = 0;
  const std::size_t pixels = std::size_t{f.size.width} * f.size.height;
  for (std::size_t p = 0; p < pixels * frames; ++p) {
    std::size_t at = p * 4 + 3;
    if (f.format == VOXA_Y16A) {
      at = p / VOXA_Y16A_BLOCK_PIXELS * VOXA_Y16A_BLOCK_BYTES + VOXA_Y16A_ALPHA + p % VOXA_Y16A_BLOCK_PIXELS;
    }
    if (a[at] == 0) {
      ++transparent;
      if (b[at] != 0) ++lost;
    }
  }
  for (std::size_t i = 0; i < frames; ++i) {
    const auto from = static_cast<std::ptrdiff_t>(i * frame_bytes);
    const auto to = static_cast<std::ptrdiff_t>((i + 1) * frame_bytes);
    const FrameDifference d = CompareFrames(f.format, f.size.width, f.size.height,
                                            std::vector<uint8_t>(a.begin() + from, a.begin() + to),
                                            std::vector<uint8_t>(b.begin() + from, b.begin() + to));
    colour_mse += mse(d.colour_psnr) / frames;
    alpha_mse += mse(d.alpha_psnr) / frames;
    worst = std::min(worst, d.colour_psnr);
    max_colour = std::max(max_colour, d.max_colour_difference);
    max_alpha = std::max(max_alpha, d.max_alpha_difference);
    visible_lost += d.visible_lost;
    far_off += d.far_off;
  }
  if (frames > 1) out << frames << " frames: ";
  out << "PSNR colour (alpha-weighted) " << FormatPsnr(psnr(colour_mse));
  if (frames > 1) out << " (worst frame " << FormatPsnr(worst) << ")";
  out << ", alpha " << FormatPsnr(psnr(alpha_mse)) << "; largest difference colour "
      << max_colour << ", alpha " << max_alpha << "; fully transparent pixels " << transparent
      << ", " << lost << " of them not in the decoded; visible pixels lost " << visible_lost
      << "; pixels off by more than " << kFarOff << " (premultiplied) " << far_off << "\n";
  if (visible_lost == 0) return kExitOk;
  std::string lost_text = std::to_string(visible_lost) + " visible pixel" +
                          (visible_lost == 1 ? " of '" : "s of '") + cl.operands[0] +
                          (visible_lost == 1 ? "' is" : "' are") + " transparent in '" + cl.operands[1] + "'";
  if (VisibleLost(f, a, UpsideDown(f, b)) == 0) {
    lost_text += "; upside down it loses none: the line orders may differ (voxa decode writes "
                 "the top line first, sample and the frame commands the bottom line first; "
                 "decode --bottom-up writes theirs)";
  }
  throw DataError(lost_text);
}

// The first problem a decoder stops at.
struct FirstDamage {
  std::string text;
  std::size_t payload = 0;

  static void OnPart(void* self, const voxa_frame_part* part) {
    auto* d = static_cast<FirstDamage*>(self);
    if (part->kind == VOXA_PART_CHUNK) d->payload = part->offset + kChunkHeaderBytes;
    if (part->kind == VOXA_PART_PROBLEM && part->damage && d->text.empty()) {
      d->text = ProblemText(*part, d->payload);
    }
  }
};

}  // namespace

bool IsFrameCommand(const std::string& verb) {
  return verb == "encode-frame" || verb == "decode-frame" || verb == "inspect" ||
         verb == "sample" || verb == "compare";
}

int RunFrameCommand(const CommandLine& cl, std::ostream& out, std::ostream& err) {
  // Summaries go with the other messages; the reports of inspect and
  // compare are the command's data.
  if (cl.verb == "encode-frame") return EncodeFrameCommand(cl, err);
  if (cl.verb == "decode-frame") return DecodeFrameCommand(cl, err);
  if (cl.verb == "inspect") return InspectCommand(cl, out);
  if (cl.verb == "sample") return SampleCommand(cl, err);
  return CompareCommand(cl, out);
}

std::string ProblemText(const voxa_frame_part& p, std::size_t payload) {
  const std::string in_payload = std::to_string(p.offset - std::min(p.offset, payload));
  switch (p.problem) {
    case VOXA_PROBLEM_NO_MAGIC:
      return "the frame does not start with the magic \"QTZ1\"";
    case VOXA_PROBLEM_CHUNK_CUT:
      return "the chunk's length runs " + std::to_string(p.count) +
             " bytes past the end of the frame";
    case VOXA_PROBLEM_HEADER_CUT:
      return std::to_string(p.count) + " bytes at offset " + std::to_string(p.offset) +
             " are too few for a chunk header";
    case VOXA_PROBLEM_NO_FIELD_CHUNK:
      return "the frame has no field chunk (tag 0x00000020 or 0x80000020)";
    case VOXA_PROBLEM_STRAY_BYTES:
      return "payload ends with " + std::to_string(p.count) + " stray bytes at offset " +
             in_payload + ", too few for a run word";
    case VOXA_PROBLEM_LITERALS_CUT:
      return "run word +" + std::to_string(p.word) + " at offset " + in_payload + " announces " +
             std::to_string(p.count) + " bytes of literal blocks but only " +
             std::to_string(p.limit) + " follow";
    case VOXA_PROBLEM_ZERO_WORD:
      return "zero run word at offset " + in_payload + " (only a field without blocks has one)";
    case VOXA_PROBLEM_SAME_SIGN:
      return "run words at offset " + in_payload +
             " and before it have the same sign (an encoder would have extended one word)";
    case VOXA_PROBLEM_BLOCK_COUNT:
      return "the field has " + std::to_string(p.limit) + " blocks but the payload codes " +
             std::to_string(p.count);
  }
  return "a problem this tool does not know (" + std::to_string(p.problem) + ")";
}

std::string DecodeProblem(const uint8_t* frame, std::size_t size, PictureSize picture) {
  FirstDamage damage;
  const int status = voxa_inspect_frame(frame, size, picture.width, picture.height,
                                        FirstDamage::OnPart, &damage);
  if (status == VOXA_ERROR_NOT_VOXA) return "not a VOXA frame (no \"QTZ1\" magic or no field chunk)";
  if (status == VOXA_OK) return "";
  return damage.text.empty() ? voxa_status_string(status) : damage.text;
}

}  // namespace voxa
