#include "tools/cli.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iomanip>
#include <map>
#include <optional>
#include <set>
#include <sstream>
#include <stdexcept>

#include "codec/color_kernels.h"
#include "codec/field_payload.h"
#include "codec/frame_codec.h"
#include "tools/frame_compare.h"
#include "tools/frame_inspect.h"
#include "tools/sample_frames.h"

namespace voxa {
namespace {

// Large enough for any frame a host sends; small enough that a typing error
// does not ask for more memory than the machine has.
constexpr uint64_t kMaxRawFrameBytes = uint64_t{1} << 30;

const char kUsage[] =
    "usage: voxa encode-frame --size WxH [--format rgba|y16a] [--kernels auto|portable|sse|sse2] IN OUT\n"
    "       voxa decode-frame --size WxH [--format rgba|y16a] [--kernels auto|portable|sse|sse2]"
    " [--onto BASE] IN OUT\n"
    "       voxa inspect [--size WxH] FRAME\n"
    "       voxa sample --size WxH [--format rgba|y16a] [--kind title|opaque] OUT\n"
    "       voxa compare --size WxH [--format rgba|y16a] REFERENCE DECODED\n";

struct UsageError : std::runtime_error {
  using std::runtime_error::runtime_error;
};
struct DataError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

struct Verb {
  std::set<std::string> options;  // each takes a value
  std::size_t operands;
};

const std::map<std::string, Verb> kVerbs = {
    {"encode-frame", {{"--size", "--format", "--kernels"}, 2}},
    {"decode-frame", {{"--size", "--format", "--kernels", "--onto"}, 2}},
    {"inspect", {{"--size"}, 1}},
    {"sample", {{"--size", "--format", "--kind"}, 1}},
    {"compare", {{"--size", "--format"}, 2}},
};

struct CommandLine {
  std::string verb;
  std::map<std::string, std::string> options;
  std::vector<std::string> operands;

  std::optional<std::string> Option(const std::string& name) const {
    auto it = options.find(name);
    if (it == options.end()) return std::nullopt;
    return it->second;
  }
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

FrameFormat ParseFrameFormat(const CommandLine& cl) {
  const std::optional<std::string> size = cl.Option("--size");
  if (!size) throw UsageError(cl.verb + " needs --size WxH");
  const std::size_t x = size->find('x');
  if (x == std::string::npos) {
    throw UsageError("bad --size '" + *size + "' (expected WIDTHxHEIGHT, e.g. 720x576)");
  }
  FrameFormat f;
  f.width = ParseDimension(size->substr(0, x), *size);
  f.height = ParseDimension(size->substr(x + 1), *size);
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
FieldKernels ParseKernels(const CommandLine& cl) {
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
  return KernelsOfVariant(variant);
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
  const std::vector<uint8_t> raw = MakeSampleFrame(kind, f.format, f.width, f.height);
  WriteFile(cl.operands[0], raw.data(), raw.size());
  out << "wrote a " << f.width << "x" << f.height << " " << name << " frame, " << raw.size()
      << " bytes\n";
  return kExitOk;
}

int CompareVerb(const CommandLine& cl, std::ostream& out) {
  const FrameFormat f = ParseFrameFormat(cl);
  const std::vector<uint8_t> a = ReadRawFrame(cl.operands[0], f);
  const std::vector<uint8_t> b = ReadRawFrame(cl.operands[1], f);
  const FrameDifference d = CompareFrames(f.format, f.width, f.height, a, b);
  out << "PSNR colour (alpha-weighted) " << FormatPsnr(d.colour_psnr) << ", alpha "
      << FormatPsnr(d.alpha_psnr) << "; largest difference colour "
      << d.max_colour_difference << ", alpha " << d.max_alpha_difference << '\n';
  return kExitOk;
}

}  // namespace

int RunVoxa(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  try {
    const CommandLine cl = Parse(args);
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
  } catch (const std::bad_alloc&) {
    err << "voxa: out of memory\n";
    return kExitBadData;
  }
}

}  // namespace voxa
