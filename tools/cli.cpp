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

#include "codec/kernel_slots.h"
#include "codec/field_payload.h"
#include "codec/frame_codec.h"
#include "tools/frame_compare.h"
#include "tools/frame_inspect.h"
#include "tools/library_calls.h"
#include "tools/output_file.h"
#include "tools/sample_frames.h"
#include "tools/video_verbs.h"

namespace voxa {
namespace {

// Large enough for any frame a host sends; small enough that a typing error
// does not ask for more memory than the machine has.
constexpr uint64_t kMaxRawFrameBytes = uint64_t{1} << 30;

// Upper limits that catch typing errors.
constexpr unsigned long kMaxThreads = 256;
constexpr unsigned long kMaxSampleFrames = 100000;

struct UsageError : std::runtime_error {
  using std::runtime_error::runtime_error;
};
struct DataError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

struct OptionHelp {
  const char* name;
  const char* value;  // null for an option without a value
  const char* text;   // what it does, and its default
};

struct Verb {
  const char* name;
  const char* synopsis;
  const char* summary;
  std::size_t operands;
  std::vector<OptionHelp> options;
  std::vector<const char*> examples;

  const OptionHelp* Find(const std::string& option) const {
    for (const OptionHelp& o : options) {
      if (option == o.name) return &o;
    }
    return nullptr;
  }
};

const OptionHelp kKernelsOption{"--kernels", "auto|portable|sse|sse2|avx2",
                                "the kernels to code with (default auto: what the driver "
                                "installs on this processor)"};
const OptionHelp kThreadsOption{"--threads", "N", "frames coded at once (default: one a processor)"};
const OptionHelp kQuietOption{"--quiet", nullptr, "no progress bar, summary or warnings; errors only"};
const OptionHelp kOverwriteOption{"-y", nullptr,
                                  "overwrite an existing output (also --overwrite; default: refuse)"};
const OptionHelp kKeepPartialOption{"--keep-partial", nullptr,
                                    "after an error, keep the output with the frames written "
                                    "before it (default: leave no output)"};
const OptionHelp kSizeOption{"--size", "WxH", "the frame size, e.g. 720x576"};
const OptionHelp kFrameFormatOption{"--format", "rgba|y16a",
                                    "raw frames: 32-bit BGRA, bottom line first, or Y16A "
                                    "(default rgba)"};

const std::vector<Verb> kVerbs = {
    {"encode", "voxa encode INPUT OUTPUT.avi [options]",
     "Codes a video, a PNG sequence or raw BGRA frames into a VOXA AVI file, as a Windows host "
     "stores it through the driver. INPUT '-' is standard input.",
     2,
     {kKernelsOption, kThreadsOption,
      {"--size", "WxH", "INPUT is raw BGRA frames of this size (needed for raw frames)"},
      {"--top-down", nullptr, "raw frames are stored top line first (default: bottom line first)"},
      {"--rate", "R", "frames a second, e.g. 25, 30000/1001 or 29.97 (default: the input's; "
                      "25 for PNG sequences and raw frames)"},
      {"--fill-gaps", nullptr, "a PNG sequence with numbers missing: each missing frame shows "
                               "the one before it (default: a gap is an error)"},
      {"--pad", nullptr, "pad a picture the codec cannot take to the next size it takes, "
                         "with transparent columns and lines (default: refuse)"},
      kOverwriteOption, kQuietOption, kKeepPartialOption},
     {"voxa encode title_%04d.png title.avi", "voxa encode lower-third.mov lower-third.avi -y",
      "voxa encode frames.bgra clip.avi --size 720x576 --top-down --rate 30000/1001"}},
    {"decode", "voxa decode INPUT.avi OUTPUT [options]",
     "Decodes a VOXA AVI file into a PNG sequence, a QuickTime movie (ProRes 4444 or "
     "Animation) or raw frames. OUTPUT '-' is standard output (raw frames only).",
     2,
     {kKernelsOption, kThreadsOption,
      {"--format", "png|prores|qtrle|bgra|y16a", "the output format (default: from OUTPUT's "
                                                 "name: .png, .mov, .bgra/.rgba/.raw, .y16a)"},
      {"--keep-going", nullptr, "a damaged frame shows the last good picture and the run goes "
                                "on; exit status 1 if there was any (default: stop)"},
      kOverwriteOption, kQuietOption, kKeepPartialOption},
     {"voxa decode title.avi back_%04d.png", "voxa decode title.avi title.mov -y",
      "voxa decode title.avi - --format bgra | ffplay -f rawvideo -pixel_format bgra "
      "-video_size 720x576 -vf vflip -"}},
    {"info", "voxa info FILE.avi [options]",
     "Shows the stream, the AVI headers and a summary of the frames of a VOXA AVI file.",
     1,
     {{"--per-frame", nullptr, "list every frame (default: the summary only)"}},
     {"voxa info title.avi", "voxa info --per-frame title.avi"}},
    {"encode-frame", "voxa encode-frame --size WxH [options] IN OUT",
     "Codes one raw frame into one compressed frame, as the driver writes it.",
     2,
     {kSizeOption, kFrameFormatOption, kKernelsOption},
     {"voxa encode-frame --size 720x576 title.bgra title.voxa"}},
    {"decode-frame", "voxa decode-frame --size WxH [options] IN OUT",
     "Decodes one compressed frame into one raw frame.",
     2,
     {kSizeOption, kFrameFormatOption, kKernelsOption,
      {"--onto", "BASE", "decode onto this raw frame, as a host's buffer (default: zeros)"}},
     {"voxa decode-frame --size 720x576 title.voxa back.bgra"}},
    {"inspect", "voxa inspect [--size WxH] FRAME",
     "Lists the chunks, run words and blocks of a compressed frame, and says precisely what is "
     "wrong with a malformed one.",
     1,
     {{"--size", "WxH", "check the fields against this frame size (default: no check)"}},
     {"voxa inspect title.voxa", "voxa inspect --size 720x576 title.voxa"}},
    {"sample", "voxa sample --size WxH [options] OUT",
     "Writes the built-in sample picture or clip as raw frames.",
     1,
     {kSizeOption, kFrameFormatOption,
      {"--kind", "title|opaque", "a video title with transparency or an opaque picture "
                                 "(default title)"},
      {"--frames", "N", "the sample clip of N frames, moving and fading in (default: one "
                        "picture)"}},
     {"voxa sample --size 720x576 title.bgra", "voxa sample --size 720x576 --frames 12 clip.bgra"}},
    {"compare", "voxa compare --size WxH [--format rgba|y16a] REFERENCE DECODED",
     "Compares raw frames: PSNR of colour (alpha-weighted) and alpha, largest differences, and "
     "the fully transparent pixels of the reference that are not so in the decoded frames.",
     2,
     {kSizeOption, kFrameFormatOption},
     {"voxa compare --size 720x576 clip.bgra back.bgra"}},
};

const Verb* FindVerb(const std::string& name) {
  for (const Verb& verb : kVerbs) {
    if (name == verb.name) return &verb;
  }
  return nullptr;
}

std::string Overview() {
  std::ostringstream s;
  s << "usage: voxa COMMAND [options] FILES...   (voxa help COMMAND, voxa COMMAND --help)\n"
       "       voxa --version\n\ncommands:\n";
  for (const Verb& verb : kVerbs) s << "  " << std::left << std::setw(14) << verb.name << verb.synopsis << "\n";
  s << "\nExit status: 0 success, 1 failure, 2 usage error, 130 interrupted.\n";
  return s.str();
}

std::string VerbHelp(const Verb& verb) {
  std::ostringstream s;
  s << "usage: " << verb.synopsis << "\n\n" << verb.summary << "\n\noptions:\n";
  for (const OptionHelp& o : verb.options) {
    std::string head = std::string(o.name) + (o.value ? std::string(" ") + o.value : "");
    s << "  " << std::left << std::setw(34) << head << " " << o.text << "\n";
  }
  s << "  " << std::left << std::setw(34) << "-h, --help" << " this text\n\nexamples:\n";
  for (const char* example : verb.examples) s << "  " << example << "\n";
  return s.str();
}

struct CommandLine {
  std::string verb;
  std::map<std::string, std::string> options;
  std::set<std::string> flags;
  std::vector<std::string> operands;
  bool help = false;

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
  const Verb* verb = FindVerb(cl.verb);
  if (verb == nullptr) throw UsageError("unknown command '" + cl.verb + "'");
  for (std::size_t i = 1; i < args.size(); ++i) {
    std::string a = args[i];
    if (a == "-h" || a == "--help") {
      cl.help = true;
      return cl;
    }
    if (a == "--overwrite") a = "-y";
    if (a.size() > 1 && a[0] == '-') {
      const OptionHelp* option = verb->Find(a);
      if (option == nullptr) throw UsageError("unknown option '" + a + "' for " + cl.verb);
      if (option->value == nullptr) {
        cl.flags.insert(a);
        continue;
      }
      if (i + 1 >= args.size()) throw UsageError("option " + a + " needs a value");
      if (!cl.options.emplace(a, args[++i]).second) {
        throw UsageError("option " + a + " given twice");
      }
    } else {
      cl.operands.push_back(a);
    }
  }
  if (cl.operands.size() != verb->operands) {
    throw UsageError(cl.verb + " takes " + std::to_string(verb->operands) +
                     (verb->operands == 1 ? " file" : " files") + ", got " +
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
  } else if (name == "avx2") {
    variant = KernelVariant::kAvx2;
  } else {
    throw UsageError("unknown --kernels '" + name + "' (auto, portable, sse, sse2 or avx2)");
  }
  if (!HasKernelVariant(variant)) {
    throw UsageError("--kernels " + name + ": this processor or build has no such kernels");
  }
  return variant;
}

voxa_kernels ParseKernels(const CommandLine& cl) { return LibraryKernels(ParseKernelVariant(cl)); }

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
  } else if (output == "-") {
    throw UsageError("give --format bgra or y16a for frames on standard output");
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

// "25", "30000/1001" or "29.97".
FrameRate ParseRate(const std::string& text) {
  const std::string bad = "bad --rate '" + text + "' (frames a second, e.g. 25, 30000/1001 or 29.97)";
  const auto number = [&](const std::string& digits) {
    if (digits.empty() || digits.size() > 9 ||
        digits.find_first_not_of("0123456789") != std::string::npos) {
      throw UsageError(bad);
    }
    return std::stol(digits);
  };
  long num, den = 1;
  if (const std::size_t slash = text.find('/'); slash != std::string::npos) {
    num = number(text.substr(0, slash));
    den = number(text.substr(slash + 1));
  } else if (const std::size_t dot = text.find('.'); dot != std::string::npos) {
    const std::string fraction = text.substr(dot + 1);
    if (fraction.size() > 3) throw UsageError(bad);
    num = number(text.substr(0, dot) + fraction);
    for (std::size_t i = 0; i < fraction.size(); ++i) den *= 10;
  } else {
    num = number(text);
  }
  if (num <= 0 || den <= 0 || num / den > 1000) throw UsageError(bad);
  return FrameRate{static_cast<int>(num), static_cast<int>(den)};
}

// Raw frames are named so; FFmpeg cannot tell their size by itself.
bool LooksRaw(const std::string& path) {
  return EndsWith(path, ".bgra") || EndsWith(path, ".rgba") || EndsWith(path, ".raw");
}

int EncodeVerb(const CommandLine& cl, VideoVerbs* video, std::ostream& err) {
  EncodeOptions o;
  o.input = cl.operands[0];
  o.output = cl.operands[1];
  o.kernels = ParseKernelVariant(cl);
  o.threads = ParseThreads(cl);
  if (const std::optional<std::string> size = cl.Option("--size")) {
    o.raw_size = ParseSize(*size);
    if (o.raw_size->width == 0 || o.raw_size->height == 0) {
      throw UsageError("--size " + *size + " is empty");
    }
  } else if (LooksRaw(o.input)) {
    throw UsageError("'" + o.input + "' holds raw frames: give their size with --size WxH");
  }
  if (cl.Flag("--top-down") && !o.raw_size) throw UsageError("--top-down is for raw frames (with --size)");
  o.top_down = cl.Flag("--top-down");
  if (const std::optional<std::string> rate = cl.Option("--rate")) o.rate = ParseRate(*rate);
  if (o.output != "-" && !EndsWith(o.output, ".avi")) {
    throw UsageError("encode writes AVI files: name the output .avi (not '" + o.output + "')");
  }
  o.fill_gaps = cl.Flag("--fill-gaps");
  o.pad = cl.Flag("--pad");
  o.overwrite = cl.Flag("-y");
  o.quiet = cl.Flag("--quiet");
  o.keep_partial = cl.Flag("--keep-partial");
  return RequireVideo(video, cl.verb).Encode(o, err);
}

int DecodeVerb(const CommandLine& cl, VideoVerbs* video, std::ostream& err) {
  DecodeOptions o;
  o.input = cl.operands[0];
  o.output = cl.operands[1];
  o.kernels = ParseKernelVariant(cl);
  o.threads = ParseThreads(cl);
  o.format = ParseOutputFormat(cl);
  o.keep_going = cl.Flag("--keep-going");
  o.overwrite = cl.Flag("-y");
  o.quiet = cl.Flag("--quiet");
  o.keep_partial = cl.Flag("--keep-partial");
  return RequireVideo(video, cl.verb).Decode(o, err);
}

int InfoVerb(const CommandLine& cl, VideoVerbs* video, std::ostream& out) {
  InfoOptions o;
  o.input = cl.operands[0];
  o.per_frame = cl.Flag("--per-frame");
  return RequireVideo(video, cl.verb).Info(o, out);
}

const char* VariantName(KernelVariant variant) {
  switch (variant) {
    case KernelVariant::kSse: return "sse";
    case KernelVariant::kSse2: return "sse2";
    case KernelVariant::kAvx2: return "avx2";
    default: return "portable";
  }
}

int Version(std::ostream& out, VideoVerbs* video) {
  out << "voxa " << voxa_version_string() << "\n"
      << "FFmpeg: " << (video ? video->LibraryVersions() : "not in this build (encode, decode "
                                                           "and info are not available)")
      << "\n"
      << "kernels: " << VariantName(InstalledVariant()) << " (processor class "
      << DetectCpuClass() << ")\n";
  return kExitOk;
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
  const voxa_kernels kernels = ParseKernels(cl);
  std::vector<uint8_t> raw = ReadRawFrame(cl.operands[0], f);
  std::vector<uint8_t> frame(MaxCompressedFrameBytes(f.width, f.height));
  const voxa_picture picture = LibraryPicture(f, raw.data());
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

int DecodeFrameVerb(const CommandLine& cl, std::ostream& out) {
  const FrameFormat f = ParseFrameFormat(cl);
  const voxa_kernels kernels = ParseKernels(cl);
  const std::vector<uint8_t> frame = ReadFile(cl.operands[0]);
  std::vector<uint8_t> raw;
  if (const std::optional<std::string> base = cl.Option("--onto")) {
    raw = ReadRawFrame(*base, f);
  } else {
    raw.assign(RawFrameBytes(f.format, f.width, f.height), 0);
  }
  const voxa_picture picture = LibraryPicture(f, raw.data());
  switch (LibraryDecodeStatus(voxa_decode(frame.data(), frame.size(), kernels, &picture))) {
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
  WriteFile(cl.operands[1], cl.operands[0], raw.data(), raw.size());
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
    WriteFile(cl.operands[0], "", raw.data(), raw.size());
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
  WriteFile(cl.operands[0], "", clip.data(), clip.size());
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
  uint64_t visible_lost = 0, far_off = 0;
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
  return kExitOk;
}

}  // namespace

int RunVoxa(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
            VideoVerbs* video) {
  std::string verb = args.empty() ? "" : args[0];
  try {
    if (verb == "--version") return Version(out, video);
    if (verb == "-h" || verb == "--help" || verb == "help") {
      if (args.size() < 2) {
        out << Overview();
        return kExitOk;
      }
      const Verb* about = FindVerb(args[1]);
      if (about == nullptr) throw UsageError("unknown command '" + args[1] + "'");
      out << VerbHelp(*about);
      return kExitOk;
    }
    const CommandLine cl = Parse(args);
    if (cl.help) {
      out << VerbHelp(*FindVerb(cl.verb));
      return kExitOk;
    }
    // Summaries of the frame commands go with the other messages; their
    // reports (inspect, compare) are the command's data.
    if (cl.verb == "encode") return EncodeVerb(cl, video, err);
    if (cl.verb == "decode") return DecodeVerb(cl, video, err);
    if (cl.verb == "info") return InfoVerb(cl, video, out);
    if (cl.verb == "encode-frame") return EncodeFrameVerb(cl, err);
    if (cl.verb == "decode-frame") return DecodeFrameVerb(cl, err);
    if (cl.verb == "inspect") return InspectVerb(cl, out);
    if (cl.verb == "sample") return SampleVerb(cl, err);
    return CompareVerb(cl, out);
  } catch (const UsageError& e) {
    err << "voxa: " << e.what() << " ("
        << (FindVerb(verb) ? "voxa " + verb + " --help" : std::string("voxa --help"))
        << " tells more)\n";
    return kExitUsage;
  } catch (const Interrupted&) {
    err << "voxa: interrupted\n";
    return kExitInterrupted;
  } catch (const std::runtime_error& e) {
    // Bad data, a refused output, and everything FFmpeg's side reports.
    err << "voxa: " << e.what() << '\n';
    return kExitBadData;
  } catch (const std::bad_alloc&) {
    err << "voxa: out of memory\n";
    return kExitBadData;
  }
}

}  // namespace voxa
