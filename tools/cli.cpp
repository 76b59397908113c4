#include "tools/cli.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iomanip>
#include <limits>
#include <map>
#include <optional>
#include <set>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "codec/color_kernels.h"
#include "codec/field_payload.h"
#include "codec/frame_codec.h"
#include "tools/frame_compare.h"
#include "tools/frame_inspect.h"
#include "tools/sample_frames.h"
#include "tools/video_verbs.h"

namespace voxa {
namespace {

// Large enough for any frame a host sends; small enough that a typing error
// does not ask for more memory than the machine has.
constexpr uint64_t kMaxRawFrameBytes = uint64_t{1} << 30;

const char kUsage[] =
    "usage: voxa encode INPUT OUTPUT.avi [--kernels auto|portable|sse|sse2] [--threads N]"
    " [--size WxH] [--pad] [--quiet] [--keep-partial]\n"
    "       voxa decode INPUT.avi OUTPUT [--kernels auto|portable|sse|sse2] [--threads N]"
    " [--format png|prores|qtrle|bgra|y16a] [--quiet] [--keep-partial]\n"
    "       voxa info [--per-frame] FILE.avi\n"
    "       voxa encode-frame --size WxH [--format rgba|y16a] [--kernels auto|portable|sse|sse2] IN OUT\n"
    "       voxa decode-frame --size WxH [--format rgba|y16a] [--kernels auto|portable|sse|sse2]"
    " [--onto BASE] IN OUT\n"
    "       voxa inspect [--size WxH] FRAME\n"
    "       voxa sample --size WxH [--format rgba|y16a] [--kind title|opaque] [--frames N] OUT\n"
    "       voxa compare --size WxH [--format rgba|y16a] REFERENCE DECODED\n";

// Upper limits that catch typing errors.
constexpr unsigned long kMaxThreads = 256;
constexpr unsigned long kMaxSampleFrames = 100000;

struct UsageError : std::runtime_error {
  using std::runtime_error::runtime_error;
};
struct DataError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

struct Verb {
  std::set<std::string> options;  // each takes a value
  std::size_t operands;
  std::set<std::string> flags = {};  // options without a value
};

const std::map<std::string, Verb> kVerbs = {
    {"encode", {{"--kernels", "--threads", "--size"}, 2, {"--pad", "--quiet", "--keep-partial"}}},
    {"decode", {{"--kernels", "--threads", "--format"}, 2, {"--quiet", "--keep-partial"}}},
    {"info", {{}, 1, {"--per-frame"}}},
    {"encode-frame", {{"--size", "--format", "--kernels"}, 2}},
    {"decode-frame", {{"--size", "--format", "--kernels", "--onto"}, 2}},
    {"inspect", {{"--size"}, 1}},
    {"sample", {{"--size", "--format", "--kind", "--frames"}, 1}},
    {"compare", {{"--size", "--format"}, 2}},
};

struct CommandLine {
  std::string verb;
  std::map<std::string, std::string> options;
  std::set<std::string> flags;
  std::vector<std::string> operands;

  std::optional<std::string> Option(const std::string& name) const {
    auto it = options.find(name);
    if (it == options.end()) return std::nullopt;
    return it->second;
  }
  bool Flag(const std::string& name) const { return flags.count(name) != 0; }
};

CommandLine Parse(const std::vector<std::string>& args) {
  if (args.empty()) throw UsageError("no command given");
  CommandLine cl;
  cl.verb = args[0];
  auto verb = kVerbs.find(cl.verb);
  if (verb == kVerbs.end()) throw UsageError("unknown command '" + cl.verb + "'");
  for (std::size_t i = 1; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a.size() > 1 && a[0] == '-') {
      if (verb->second.flags.count(a) != 0) {
        cl.flags.insert(a);
        continue;
      }
      if (verb->second.options.count(a) == 0) {
        throw UsageError("unknown option '" + a + "' for " + cl.verb);
      }
      if (i + 1 >= args.size()) throw UsageError("option " + a + " needs a value");
      if (!cl.options.emplace(a, args[++i]).second) {
        throw UsageError("option " + a + " given twice");
      }
    } else {
      cl.operands.push_back(a);
    }
  }
  if (cl.operands.size() != verb->second.operands) {
    throw UsageError(cl.verb + " takes " + std::to_string(verb->second.operands) +
                     (verb->second.operands == 1 ? " file" : " files") + ", got " +
                     std::to_string(cl.operands.size()));
  }
  return cl;
}

uint32_t ParseDimension(const std::string& text, const std::string& whole) {
  if (text.empty() || text.size() > 5 ||
      text.find_first_not_of("0123456789") != std::string::npos) {
    throw UsageError("bad --size '" + whole + "' (expected WIDTHxHEIGHT, e.g. 720x576)");
  }
  return static_cast<uint32_t>(std::stoul(text));
}

PictureSize ParseSize(const std::string& size) {
  const std::size_t x = size.find('x');
  if (x == std::string::npos) {
    throw UsageError("bad --size '" + size + "' (expected WIDTHxHEIGHT, e.g. 720x576)");
  }
  return PictureSize{ParseDimension(size.substr(0, x), size),
                     ParseDimension(size.substr(x + 1), size)};
}

FrameFormat ParseFrameFormat(const CommandLine& cl) {
  const std::optional<std::string> size = cl.Option("--size");
  if (!size) throw UsageError(cl.verb + " needs --size WxH");
  FrameFormat f;
  const PictureSize picture = ParseSize(*size);
  f.width = picture.width;
  f.height = picture.height;
  if (f.width % kBlockPixels != 0) {
    const uint32_t below = f.width / kBlockPixels * kBlockPixels;
    throw UsageError("width " + std::to_string(f.width) +
                     " is not a multiple of 16 (nearest: " + std::to_string(below) + " or " +
                     std::to_string(below + kBlockPixels) + ")");
  }
  const std::string format = cl.Option("--format").value_or("rgba");
  if (format == "rgba") {
    f.format = PixelFormat::kRgba32;
  } else if (format == "y16a") {
    f.format = PixelFormat::kY16a;
  } else {
    throw UsageError("unknown --format '" + format + "' (rgba or y16a)");
  }
  if (RawFrameBytes(f.format, f.width, f.height) > kMaxRawFrameBytes) {
    throw UsageError("frame size " + *size + " is too large");
  }
  return f;
}

// "auto" is what the driver would install on this processor; the others run
// one variant, when this processor has it.
KernelVariant ParseKernelVariant(const CommandLine& cl) {
  const std::string name = cl.Option("--kernels").value_or("auto");
  KernelVariant variant;
  if (name == "auto") {
    variant = InstalledVariant();
  } else if (name == "portable") {
    variant = KernelVariant::kPortable;
  } else if (name == "sse") {
    variant = KernelVariant::kSse;
  } else if (name == "sse2") {
    variant = KernelVariant::kSse2;
  } else {
    throw UsageError("unknown --kernels '" + name + "' (auto, portable, sse or sse2)");
  }
  if (!HasKernelVariant(variant)) {
    throw UsageError("--kernels " + name + ": this processor or build has no such kernels");
  }
  return variant;
}

FieldKernels ParseKernels(const CommandLine& cl) { return KernelsOfVariant(ParseKernelVariant(cl)); }

unsigned long ParseCount(const CommandLine& cl, const std::string& option, unsigned long fallback,
                         unsigned long largest) {
  const std::optional<std::string> text = cl.Option(option);
  if (!text) return fallback;
  if (text->empty() || text->size() > 6 ||
      text->find_first_not_of("0123456789") != std::string::npos || std::stoul(*text) == 0 ||
      std::stoul(*text) > largest) {
    throw UsageError("bad " + option + " '" + *text + "' (a number from 1 to " +
                     std::to_string(largest) + ")");
  }
  return std::stoul(*text);
}

// Default: one thread per processor.
unsigned ParseThreads(const CommandLine& cl) {
  const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
  return static_cast<unsigned>(ParseCount(cl, "--threads", std::min<unsigned long>(cores, kMaxThreads),
                                          kMaxThreads));
}

bool EndsWith(const std::string& text, const std::string& end) {
  if (text.size() < end.size()) return false;
  std::string tail = text.substr(text.size() - end.size());
  for (char& c : tail) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return tail == end;
}

// --format, or what the output's name asks for.
OutputFormat ParseOutputFormat(const CommandLine& cl) {
  const std::string& output = cl.operands[1];
  const std::map<std::string, OutputFormat> names = {
      {"png", OutputFormat::kPng},     {"prores", OutputFormat::kProres},
      {"qtrle", OutputFormat::kQtrle}, {"bgra", OutputFormat::kBgra},
      {"y16a", OutputFormat::kY16a}};
  OutputFormat format;
  if (const std::optional<std::string> name = cl.Option("--format")) {
    const auto it = names.find(*name);
    if (it == names.end()) {
      throw UsageError("unknown --format '" + *name + "' (png, prores, qtrle, bgra or y16a)");
    }
    format = it->second;
  } else if (EndsWith(output, ".png")) {
    format = OutputFormat::kPng;
  } else if (EndsWith(output, ".mov")) {
    format = OutputFormat::kProres;
  } else if (EndsWith(output, ".bgra") || EndsWith(output, ".rgba") || EndsWith(output, ".raw")) {
    format = OutputFormat::kBgra;
  } else if (EndsWith(output, ".y16a")) {
    format = OutputFormat::kY16a;
  } else {
    throw UsageError("cannot tell the output format from '" + output +
                     "': name it .png (with a frame number such as %04d), .mov, .bgra or "
                     ".y16a, or give --format");
  }
  if (format == OutputFormat::kPng && output.find('%') == std::string::npos) {
    throw UsageError("a PNG sequence needs a frame number in its name, e.g. frame_%04d.png");
  }
  return format;
}

VideoVerbs& RequireVideo(VideoVerbs* video, const std::string& verb) {
  if (video == nullptr) {
    throw UsageError("'" + verb + "' is not available in this build (it needs FFmpeg's "
                     "libraries: the Linux build of the tool has it)");
  }
  return *video;
}

int EncodeVerb(const CommandLine& cl, VideoVerbs* video, std::ostream& out, std::ostream& err) {
  EncodeOptions o;
  o.input = cl.operands[0];
  o.output = cl.operands[1];
  o.kernels = ParseKernelVariant(cl);
  o.threads = ParseThreads(cl);
  if (const std::optional<std::string> size = cl.Option("--size")) o.raw_size = ParseSize(*size);
  o.pad = cl.Flag("--pad");
  o.quiet = cl.Flag("--quiet");
  o.keep_partial = cl.Flag("--keep-partial");
  return RequireVideo(video, cl.verb).Encode(o, out, err);
}

int DecodeVerb(const CommandLine& cl, VideoVerbs* video, std::ostream& out, std::ostream& err) {
  DecodeOptions o;
  o.input = cl.operands[0];
  o.output = cl.operands[1];
  o.kernels = ParseKernelVariant(cl);
  o.threads = ParseThreads(cl);
  o.format = ParseOutputFormat(cl);
  o.quiet = cl.Flag("--quiet");
  o.keep_partial = cl.Flag("--keep-partial");
  return RequireVideo(video, cl.verb).Decode(o, out, err);
}

int InfoVerb(const CommandLine& cl, VideoVerbs* video, std::ostream& out) {
  InfoOptions o;
  o.input = cl.operands[0];
  o.per_frame = cl.Flag("--per-frame");
  return RequireVideo(video, cl.verb).Info(o, out);
}

std::vector<uint8_t> ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw DataError("cannot open '" + path + "': " + std::strerror(errno));
  std::vector<uint8_t> data;
  char buffer[1 << 16];
  while (in.read(buffer, sizeof buffer) || in.gcount() > 0) {
    data.insert(data.end(), buffer, buffer + in.gcount());
    if (data.size() > kMaxRawFrameBytes * 2) throw DataError("'" + path + "' is too large");
  }
  if (in.bad()) throw DataError("cannot read '" + path + "'");
  return data;
}

void WriteFile(const std::string& path, const uint8_t* data, std::size_t size) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (!out) throw DataError("cannot create '" + path + "': " + std::strerror(errno));
  out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  out.close();
  if (!out) {
    std::remove(path.c_str());
    throw DataError("cannot write '" + path + "'");
  }
}

std::vector<uint8_t> ReadRawFrame(const std::string& path, const FrameFormat& f) {
  std::vector<uint8_t> data = ReadFile(path);
  const uint64_t expected = RawFrameBytes(f.format, f.width, f.height);
  if (data.size() != expected) {
    throw DataError("'" + path + "' holds " + std::to_string(data.size()) +
                    " bytes; a " + std::to_string(f.width) + "x" + std::to_string(f.height) +
                    (f.format == PixelFormat::kRgba32 ? " BGRA" : " Y16A") + " frame has " +
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

int EncodeFrameVerb(const CommandLine& cl, std::ostream& out) {
  const FrameFormat f = ParseFrameFormat(cl);
  const FieldKernels kernels = ParseKernels(cl);
  const std::vector<uint8_t> raw = ReadRawFrame(cl.operands[0], f);
  std::vector<uint8_t> frame(MaxCompressedFrameBytes(f.width, f.height));
  const std::size_t size = EncodeFrame(f, raw.data(), frame.data(), kernels);
  WriteFile(cl.operands[1], frame.data(), size);
  out << "encoded " << raw.size() << " bytes into " << size << " bytes (ratio "
      << std::fixed << std::setprecision(2)
      << (size ? static_cast<double>(raw.size()) / size : 0.0) << ":1)\n";
  return kExitOk;
}

int DecodeFrameVerb(const CommandLine& cl, std::ostream& out) {
  const FrameFormat f = ParseFrameFormat(cl);
  const FieldKernels kernels = ParseKernels(cl);
  const std::vector<uint8_t> frame = ReadFile(cl.operands[0]);
  std::vector<uint8_t> raw;
  if (const std::optional<std::string> base = cl.Option("--onto")) {
    raw = ReadRawFrame(*base, f);
  } else {
    raw.assign(RawFrameBytes(f.format, f.width, f.height), 0);
  }
  switch (DecodeFrame(f, frame.data(), frame.size(), raw.data(), kernels)) {
    case DecodeStatus::kDecoded:
      break;
    case DecodeStatus::kNotAFrame:
      throw DataError("'" + cl.operands[0] +
                      "' is not a VOXA frame (no \"QTZ1\" magic or no field chunk)");
    case DecodeStatus::kDamaged:
      throw DataError("'" + cl.operands[0] +
                      "' is damaged (a chunk or payload ends early); "
                      "'voxa inspect' tells where");
  }
  WriteFile(cl.operands[1], raw.data(), raw.size());
  out << "decoded " << frame.size() << " bytes into " << raw.size() << " bytes\n";
  return kExitOk;
}

int InspectVerb(const CommandLine& cl, std::ostream& out) {
  std::optional<FrameSize> size;
  if (cl.Option("--size")) {
    const FrameFormat f = ParseFrameFormat(cl);
    size = FrameSize{f.width, f.height};
  }
  const std::vector<uint8_t> frame = ReadFile(cl.operands[0]);
  if (!InspectFrame(frame.data(), frame.size(), size, out)) {
    throw DataError("'" + cl.operands[0] + "' is malformed (see above)");
  }
  return kExitOk;
}

int SampleVerb(const CommandLine& cl, std::ostream& out) {
  const FrameFormat f = ParseFrameFormat(cl);
  SampleKind kind;
  const std::string name = cl.Option("--kind").value_or("title");
  if (!ParseSampleKind(name, &kind)) {
    throw UsageError("unknown --kind '" + name + "' (title or opaque)");
  }
  if (!cl.Option("--frames")) {
    const std::vector<uint8_t> raw = MakeSampleFrame(kind, f.format, f.width, f.height);
    WriteFile(cl.operands[0], raw.data(), raw.size());
    out << "wrote a " << f.width << "x" << f.height << " " << name << " frame, " << raw.size()
        << " bytes\n";
    return kExitOk;
  }
  // The sample clip: the picture moving and fading in, frame after frame.
  const unsigned long frames = ParseCount(cl, "--frames", 1, kMaxSampleFrames);
  if (RawFrameBytes(f.format, f.width, f.height) * frames > kMaxRawFrameBytes * 2) {
    throw UsageError("a clip of " + std::to_string(frames) + " such frames is too large");
  }
  const std::vector<uint8_t> picture =
      MakeSampleFrame(kind, PixelFormat::kRgba32, f.width, f.height);
  std::vector<uint8_t> clip;
  for (unsigned long i = 0; i < frames; ++i) {
    std::vector<uint8_t> frame =
        MakeSampleClipFrame(picture, f.width, f.height, static_cast<uint32_t>(i));
    if (f.format == PixelFormat::kY16a) frame = BgraToY16a(frame, f.width, f.height);
    clip.insert(clip.end(), frame.begin(), frame.end());
  }
  WriteFile(cl.operands[0], clip.data(), clip.size());
  out << "wrote " << frames << " frames of a " << f.width << "x" << f.height << " " << name
      << " clip, " << clip.size() << " bytes\n";
  return kExitOk;
}

// Raw files of one frame or more, the same number in both.
int CompareVerb(const CommandLine& cl, std::ostream& out) {
  const FrameFormat f = ParseFrameFormat(cl);
  const uint64_t frame_bytes = RawFrameBytes(f.format, f.width, f.height);
  const std::vector<uint8_t> a = ReadFile(cl.operands[0]);
  const std::vector<uint8_t> b = ReadFile(cl.operands[1]);
  for (const auto* file : {&a, &b}) {
    const std::string& path = cl.operands[file == &a ? 0 : 1];
    if (file->empty() || file->size() % frame_bytes != 0) {
      throw DataError("'" + path + "' holds " + std::to_string(file->size()) + " bytes, not a whole number of " +
                      std::to_string(f.width) + "x" + std::to_string(f.height) +
                      (f.format == PixelFormat::kRgba32 ? " BGRA" : " Y16A") + " frames of " +
                      std::to_string(frame_bytes) + " bytes");
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
  // Pixels fully transparent in the reference, and those of them that are
  // not in the decoded frames.
  uint64_t transparent = 0, lost = 0;
  const std::size_t pixels = std::size_t{f.width} * f.height;
  for (std::size_t p = 0; p < pixels * frames; ++p) {
    std::size_t at = p * 4 + 3;
    if (f.format == PixelFormat::kY16a) {
      at = p / kBlockPixels * kLiteralBlockBytes + kAlphaOffset + p % kBlockPixels;
    }
    if (a[at] == 0) {
      ++transparent;
      if (b[at] != 0) ++lost;
    }
  }
  for (std::size_t i = 0; i < frames; ++i) {
    const auto from = static_cast<std::ptrdiff_t>(i * frame_bytes);
    const auto to = static_cast<std::ptrdiff_t>((i + 1) * frame_bytes);
    const FrameDifference d = CompareFrames(f.format, f.width, f.height,
                                            std::vector<uint8_t>(a.begin() + from, a.begin() + to),
                                            std::vector<uint8_t>(b.begin() + from, b.begin() + to));
    colour_mse += mse(d.colour_psnr) / frames;
    alpha_mse += mse(d.alpha_psnr) / frames;
    worst = std::min(worst, d.colour_psnr);
    max_colour = std::max(max_colour, d.max_colour_difference);
    max_alpha = std::max(max_alpha, d.max_alpha_difference);
  }
  if (frames > 1) out << frames << " frames: ";
  out << "PSNR colour (alpha-weighted) " << FormatPsnr(psnr(colour_mse));
  if (frames > 1) out << " (worst frame " << FormatPsnr(worst) << ")";
  out << ", alpha " << FormatPsnr(psnr(alpha_mse)) << "; largest difference colour "
      << max_colour << ", alpha " << max_alpha << "; fully transparent pixels " << transparent
      << ", " << lost << " of them not in the decoded\n";
  return kExitOk;
}

}  // namespace

int RunVoxa(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
            VideoVerbs* video) {
  try {
    const CommandLine cl = Parse(args);
    if (cl.verb == "encode") return EncodeVerb(cl, video, out, err);
    if (cl.verb == "decode") return DecodeVerb(cl, video, out, err);
    if (cl.verb == "info") return InfoVerb(cl, video, out);
    if (cl.verb == "encode-frame") return EncodeFrameVerb(cl, out);
    if (cl.verb == "decode-frame") return DecodeFrameVerb(cl, out);
    if (cl.verb == "inspect") return InspectVerb(cl, out);
    if (cl.verb == "sample") return SampleVerb(cl, out);
    return CompareVerb(cl, out);
  } catch (const UsageError& e) {
    err << "voxa: " << e.what() << '\n' << kUsage;
    return kExitUsage;
  } catch (const DataError& e) {
    err << "voxa: " << e.what() << '\n';
    return kExitBadData;
  } catch (const VideoError& e) {
    err << "voxa: " << e.what() << '\n';
    return kExitBadData;
  } catch (const std::bad_alloc&) {
    err << "voxa: out of memory\n";
    return kExitBadData;
  }
}

}  // namespace voxa
