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

#include "tools/frame_commands.h"
#include "tools/interrupt.h"
#include "tools/output_file.h"
#include "tools/video_commands.h"

namespace voxa {
namespace {

// An upper limit that catches typing errors.
constexpr unsigned long kMaxThreads = 256;

struct OptionHelp {
  const char* name;
  const char* value;  // null for an option without a value
  const char* text;   // what it does, and its default; null: not shown in help
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
const OptionHelp kFrameFormatOption{"--format", "bgra|y16a",
                                    "raw frames: 32-bit BGRA, bottom line first (also called "
                                    "rgba), or Y16A (default bgra)"};

const std::vector<Verb> kVerbs = {
    {"encode", "voxa encode INPUT OUTPUT.avi [options]",
     "Codes a video, a PNG sequence or raw BGRA frames into a VOXA AVI file, as a Windows host "
     "stores it through the driver. INPUT '-' is standard input.",
     2,
     {kKernelsOption, kThreadsOption,
      {"--size", "WxH", "INPUT is raw BGRA frames of this size (needed for raw frames)"},
      {"--bottom-up", nullptr, "raw frames are stored bottom line first, as Windows bitmaps and "
                               "the frame commands store them (default: top line first, as "
                               "FFmpeg's raw video)"},
      // The default since --bottom-up came: taken, and it changes nothing.
      {"--top-down", nullptr, nullptr},
      {"--rate", "R", "frames a second, e.g. 25, 30000/1001 or 29.97 (which means 30000/1001, "
                      "as 59.94 and 23.976 mean 60000/1001 and 24000/1001; default: the "
                      "input's; 25 for PNG sequences and raw frames)"},
      {"--fill-gaps", nullptr, "a PNG sequence with numbers missing: each missing frame shows "
                               "the one before it (default: a gap is an error)"},
      {"--pad", nullptr, "pad a picture the codec cannot take to the next size it takes, "
                         "with transparent columns and lines (default: refuse)"},
      kOverwriteOption, kQuietOption, kKeepPartialOption},
     {"voxa encode title_%04d.png title.avi", "voxa encode lower-third.mov lower-third.avi -y",
      "voxa encode frames.bgra clip.avi --size 720x576 --rate 30000/1001",
      "voxa encode clip.bgra clip.avi --size 720x576 --bottom-up"}},
    {"decode", "voxa decode INPUT.avi OUTPUT [options]",
     "Decodes a VOXA AVI file into a PNG sequence, a QuickTime movie (ProRes 4444 or "
     "Animation) or raw frames. OUTPUT '-' is standard output (raw frames only).",
     2,
     {kKernelsOption, kThreadsOption,
      {"--format", "png|prores|qtrle|bgra|y16a", "the output format (default: from OUTPUT's "
                                                 "name: .png, .mov, .bgra/.rgba/.raw, .y16a; "
                                                 "rgba is bgra)"},
      {"--bottom-up", nullptr, "raw BGRA frames bottom line first, as Windows bitmaps store "
                               "them (default: top line first, as FFmpeg's raw video)"},
      {"--keep-going", nullptr, "a damaged frame shows the picture before it (the first frame: "
                                "what of it decodes) and the run goes on; exit status 1 if "
                                "there was any (default: stop)"},
      kOverwriteOption, kQuietOption, kKeepPartialOption},
     {"voxa decode title.avi back_%04d.png", "voxa decode title.avi title.mov -y",
      "voxa decode title.avi - --format bgra | ffplay -f rawvideo -pixel_format bgra "
      "-video_size 720x576 -"}},
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
    {"compare", "voxa compare --size WxH [--format bgra|y16a] REFERENCE DECODED",
     "Compares raw frames: PSNR of colour (alpha-weighted) and alpha, largest differences, and "
     "the fully transparent pixels of the reference that are not so in the decoded frames. "
     "Fails (exit status 1) when visible pixels of the reference are lost.",
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
  s << "\nAn option's value is the next word or follows '=' (--size 720x576, --size=720x576);\n"
       "'--' ends the options.\n"
       "Exit status: 0 success, 1 failure, 2 usage error, 128+N stopped by signal N (130: Ctrl-C).\n";
  return s.str();
}

// Where the options' texts start in a command's help.
constexpr std::size_t kHelpColumn = 34;

std::string VerbHelp(const Verb& verb) {
  std::ostringstream s;
  s << "usage: " << verb.synopsis << "\n\n" << verb.summary << "\n\noptions:\n";
  for (const OptionHelp& o : verb.options) {
    if (o.text == nullptr) continue;
    std::string head = std::string(o.name) + (o.value ? std::string(" ") + o.value : "");
    // A name too long for the column gets its text on a line of its own.
    if (head.size() >= kHelpColumn) head += "\n" + std::string(kHelpColumn + 2, ' ');
    s << "  " << std::left << std::setw(kHelpColumn) << head << " " << o.text << "\n";
  }
  s << "  " << std::left << std::setw(kHelpColumn) << "-h, --help" << " this text\n\nexamples:\n";
  for (const char* example : verb.examples) s << "  " << example << "\n";
  return s.str();
}

// Options as users type them: "--size 720x576" or "--size=720x576"; "--"
// ends the options, so that a file may be named like one.
CommandLine Parse(const std::vector<std::string>& args) {
  if (args.empty()) throw UsageError("no command given");
  CommandLine cl;
  cl.verb = args[0];
  const Verb* verb = FindVerb(cl.verb);
  if (verb == nullptr) throw UsageError("unknown command '" + cl.verb + "'");
  bool options_ended = false;
  for (std::size_t i = 1; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (options_ended || a.size() < 2 || a[0] != '-') {
      cl.operands.push_back(a);
      continue;
    }
    if (a == "--") {
      options_ended = true;
      continue;
    }
    if (a == "-h" || a == "--help") {
      cl.help = true;
      return cl;
    }
    std::string name = a;
    std::optional<std::string> value;
    if (const std::size_t equals = a.find('='); a.rfind("--", 0) == 0 && equals != std::string::npos) {
      name = a.substr(0, equals);
      value = a.substr(equals + 1);
    }
    if (name == "--overwrite") name = "-y";
    const OptionHelp* option = verb->Find(name);
    if (option == nullptr) throw UsageError("unknown option '" + name + "' for " + cl.verb);
    if (option->value == nullptr) {
      if (value) throw UsageError("option " + name + " takes no value");
      cl.flags.insert(name);
      continue;
    }
    if (!value) {
      if (i + 1 >= args.size()) throw UsageError("option " + name + " needs a value");
      value = args[++i];
    }
    if (!cl.options.emplace(name, *value).second) {
      throw UsageError("option " + name + " given twice");
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

}  // namespace

PictureSize ParseSize(const std::string& size) {
  const std::size_t x = size.find('x');
  if (x == std::string::npos) {
    throw UsageError("bad --size '" + size + "' (expected WIDTHxHEIGHT, e.g. 720x576)");
  }
  return PictureSize{ParseDimension(size.substr(0, x), size),
                     ParseDimension(size.substr(x + 1), size)};
}

// "auto" is what the driver would install on this processor; the others run
// one variant, when this processor has it.
voxa_kernels ParseKernels(const CommandLine& cl) {
  const std::string name = cl.Option("--kernels").value_or("auto");
  const std::map<std::string, voxa_kernels> names = {
      {"auto", VOXA_KERNELS_AUTO}, {"portable", VOXA_KERNELS_PORTABLE}, {"sse", VOXA_KERNELS_SSE},
      {"sse2", VOXA_KERNELS_SSE2}, {"avx2", VOXA_KERNELS_AVX2}};
  const auto it = names.find(name);
  if (it == names.end()) {
    throw UsageError("unknown --kernels '" + name + "' (auto, portable, sse, sse2 or avx2)");
  }
  if (voxa_kernels_available(it->second) != VOXA_OK) {
    throw UsageError("--kernels " + name + ": this processor or build has no such kernels");
  }
  return it->second;
}

const char* KernelsName(voxa_kernels kernels) {
  switch (kernels) {
    case VOXA_KERNELS_AUTO: return "auto";
    case VOXA_KERNELS_SSE: return "sse";
    case VOXA_KERNELS_SSE2: return "sse2";
    case VOXA_KERNELS_AVX2: return "avx2";
    default: return "portable";
  }
}

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

namespace {

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
      {"rgba", OutputFormat::kBgra},   {"y16a", OutputFormat::kY16a}};
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
  // Standard output is refused for PNG sequences where the output is made.
  if (format == OutputFormat::kPng && output != "-" && output.find('%') == std::string::npos) {
    throw UsageError("a PNG sequence needs a frame number in its name, e.g. frame_%04d.png");
  }
  return format;
}

VideoCommands& RequireVideo(VideoCommands* video, const std::string& verb) {
  if (video == nullptr) {
    throw UsageError("'" + verb + "' is not available in this build (it needs FFmpeg's "
                     "libraries: the Linux build of the tool has it)");
  }
  return *video;
}

// "25", "30000/1001" or "29.97". 29.97, 59.94 and 23.976 (or 23.98) are how
// people write the NTSC rates 30000/1001, 60000/1001 and 24000/1001, and
// what FFmpeg and editors take them for: a decimal rate that is a whole
// number × 1000/1001 rounded to the digits given means that rate.
FrameRate ParseRate(const std::string& text) {
  const std::string bad = "bad --rate '" + text + "' (frames a second, e.g. 25, 30000/1001 or 29.97)";
  const auto number = [&](const std::string& digits) {
    if (digits.empty() || digits.size() > 9 ||
        digits.find_first_not_of("0123456789") != std::string::npos) {
      throw UsageError(bad);
    }
    return std::stoll(digits);
  };
  int64_t num, den = 1;
  bool decimal = false;
  if (const std::size_t slash = text.find('/'); slash != std::string::npos) {
    num = number(text.substr(0, slash));
    den = number(text.substr(slash + 1));
  } else if (const std::size_t dot = text.find('.'); dot != std::string::npos) {
    const std::string fraction = text.substr(dot + 1);
    if (fraction.size() > 3) throw UsageError(bad);
    num = number(text.substr(0, dot) + fraction);
    for (std::size_t i = 0; i < fraction.size(); ++i) den *= 10;
    decimal = num % den != 0;
  } else {
    num = number(text);
  }
  if (num <= 0 || den <= 0 || num / den > 1000) throw UsageError(bad);
  if (decimal) {
    const int64_t whole = (num * 1001 + den * 500) / (den * 1000);
    if ((2 * whole * 1000 * den + 1001) / 2002 == num) return FrameRate{static_cast<int>(whole * 1000), 1001};
  }
  return FrameRate{static_cast<int>(num), static_cast<int>(den)};
}

// Raw frames are named so; FFmpeg cannot tell their size by itself.
bool LooksRaw(const std::string& path) {
  return EndsWith(path, ".bgra") || EndsWith(path, ".rgba") || EndsWith(path, ".raw");
}

void ParseCodingOptions(const CommandLine& cl, CodingOptions* o) {
  o->input = cl.operands[0];
  o->output = cl.operands[1];
  o->kernels = ParseKernels(cl);
  o->threads = ParseThreads(cl);
  o->overwrite = cl.Flag("-y");
  o->quiet = cl.Flag("--quiet");
  o->keep_partial = cl.Flag("--keep-partial");
}

int EncodeCommand(const CommandLine& cl, VideoCommands* video, std::ostream& err) {
  EncodeOptions o;
  ParseCodingOptions(cl, &o);
  if (const std::optional<std::string> size = cl.Option("--size")) {
    o.raw_size = ParseSize(*size);
    if (o.raw_size->width == 0 || o.raw_size->height == 0) {
      throw UsageError("--size " + *size + " is empty");
    }
  } else if (LooksRaw(o.input)) {
    throw UsageError("'" + o.input + "' holds raw frames: give their size with --size WxH");
  }
  for (const char* order : {"--bottom-up", "--top-down"}) {
    if (cl.Flag(order) && !o.raw_size) throw UsageError(std::string(order) + " is for raw frames (with --size)");
  }
  if (cl.Flag("--bottom-up") && cl.Flag("--top-down")) {
    throw UsageError("--bottom-up and --top-down ask for opposite line orders");
  }
  o.bottom_up = cl.Flag("--bottom-up");
  if (const std::optional<std::string> rate = cl.Option("--rate")) o.rate = ParseRate(*rate);
  if (o.output != "-" && !EndsWith(o.output, ".avi")) {
    throw UsageError("encode writes AVI files: name the output .avi (not '" + o.output + "')");
  }
  o.fill_gaps = cl.Flag("--fill-gaps");
  o.pad = cl.Flag("--pad");
  return RequireVideo(video, cl.verb).Encode(o, err);
}

int DecodeCommand(const CommandLine& cl, VideoCommands* video, std::ostream& err) {
  DecodeOptions o;
  ParseCodingOptions(cl, &o);
  o.format = ParseOutputFormat(cl);
  o.bottom_up = cl.Flag("--bottom-up");
  if (o.bottom_up && o.format != OutputFormat::kBgra) {
    throw UsageError("--bottom-up is for raw BGRA frames (Y16A frames are top line first by "
                     "nature; pictures and movies are top line first)");
  }
  o.keep_going = cl.Flag("--keep-going");
  return RequireVideo(video, cl.verb).Decode(o, err);
}

int InfoCommand(const CommandLine& cl, VideoCommands* video, std::ostream& out) {
  InfoOptions o;
  o.input = cl.operands[0];
  o.per_frame = cl.Flag("--per-frame");
  return RequireVideo(video, cl.verb).Info(o, out);
}

int Version(std::ostream& out, VideoCommands* video) {
  out << "voxa " << voxa_version_string() << "\n"
      << "FFmpeg: " << (video ? video->LibraryVersions() : "not in this build (encode, decode "
                                                           "and info are not available)")
      << "\n"
      << "kernels: " << KernelsName(voxa_auto_kernels()) << "\n";
  return kExitOk;
}

}  // namespace

int RunVoxa(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
            VideoCommands* video) {
  std::string verb = args.empty() ? "" : args[0];
  // Every command stops when a signal asks it to, cleaning up as after a
  // failure; whatever failed once a signal came failed for it.
  InterruptGuard interrupts;
  const auto interrupted = [&err](int signal_number) {
    const Interrupted stop(signal_number);
    err << "voxa: " << stop.what() << "\n";
    return stop.exit_status();
  };
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
    if (cl.verb == "encode") return EncodeCommand(cl, video, err);
    if (cl.verb == "decode") return DecodeCommand(cl, video, err);
    if (cl.verb == "info") return InfoCommand(cl, video, out);
    return RunFrameCommand(cl, out, err);
  } catch (const UsageError& e) {
    err << "voxa: " << e.what() << " ("
        << (FindVerb(verb) ? "voxa " + verb + " --help" : std::string("voxa --help"))
        << " tells more)\n";
    return kExitUsage;
  } catch (const Interrupted& e) {
    return interrupted(e.signal_number);
  } catch (const std::runtime_error& e) {
    if (InterruptSignal() != 0) return interrupted(InterruptSignal());
    // Bad data, a refused output, and everything FFmpeg's side reports.
    err << "voxa: " << e.what() << '\n';
    return kExitBadData;
  } catch (const std::bad_alloc&) {
    err << "voxa: out of memory\n";
    return kExitBadData;
  }
}

}  // namespace voxa
