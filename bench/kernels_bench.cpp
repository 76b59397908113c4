// Speed of the field kernels and of whole frames, on a title (mostly
// transparent, anti-aliased edges) and an opaque picture, beside memcpy of
// the same frame. Compare the bytes-per-second figures within one run.
#include <benchmark/benchmark.h>

#include <cstring>
#include <string>
#include <vector>

#include "codec/kernel_slots.h"
#include "codec/field_payload.h"
#include "codec/frame_codec.h"
#include "support/sample_frames.h"

namespace voxa {
namespace {

struct Size {
  const char* name;
  uint32_t width, height;
};
const Size kSizes[] = {{"720x576", 720, 576}, {"1920x1080", 1920, 1080}};

struct Material {
  const char* name;
  SampleKind kind;
};
const Material kMaterials[] = {{"title", SampleKind::kTitle}, {"opaque", SampleKind::kOpaque}};

struct Format {
  const char* name;
  PixelFormat format;
};
const Format kFormats[] = {{"bgra", PixelFormat::kRgba32}, {"y16a", PixelFormat::kY16a}};

const std::pair<const char*, KernelVariant> kVariants[] = {
    {"portable", KernelVariant::kPortable},
    {"sse", KernelVariant::kSse},
    {"sse2", KernelVariant::kSse2},
    {"avx2", KernelVariant::kAvx2},
};

// One picture of each kind, format and size, made once.
struct Fixture {
  FrameFormat format;
  std::vector<uint8_t> raw;
  std::vector<uint8_t> frame;
  std::size_t frame_size;
};

Fixture MakeFixture(const Material& m, const Format& f, const Size& s) {
  Fixture x;
  x.format = FrameFormat{f.format, s.width, s.height};
  x.raw = MakeSampleFrame(m.kind, f.format == PixelFormat::kY16a ? VOXA_Y16A : VOXA_BGRA, s.width,
                          s.height);
  x.frame.resize(MaxCompressedFrameBytes(s.width, s.height));
  x.frame_size = EncodeFrame(x.format, x.raw.data(), x.frame.data(), kPortableKernels);
  return x;
}

double Compression(const Fixture& x) {
  return static_cast<double>(x.raw.size()) / static_cast<double>(x.frame_size);
}

void Memcpy(benchmark::State& state, std::vector<uint8_t> raw) {
  std::vector<uint8_t> out(raw.size());
  for (auto _ : state) {
    std::memcpy(out.data(), raw.data(), raw.size());
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * raw.size()));
  state.counters["compression"] = 1;  // every row has the same columns
}

void EncodeWhole(benchmark::State& state, Fixture x, FieldKernels k) {
  std::vector<uint8_t> out(x.frame.size());
  std::size_t size = 0;
  for (auto _ : state) {
    size = EncodeFrame(x.format, x.raw.data(), out.data(), k);
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * x.raw.size()));
  state.counters["compression"] = static_cast<double>(x.raw.size()) / static_cast<double>(size);
}

void DecodeWhole(benchmark::State& state, Fixture x, FieldKernels k) {
  std::vector<uint8_t> out(x.raw.size());
  for (auto _ : state) {
    DecodeFrame(x.format, x.frame.data(), x.frame_size, out.data(), k);
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * x.raw.size()));
  state.counters["compression"] = Compression(x);
}

// One field (half the frame's lines) through the kernel alone.
void EncodeOneField(benchmark::State& state, Fixture x, FieldKernels k) {
  const FieldGeometry g = GetFieldGeometry(x.format.format, x.format.width, x.format.height,
                                           kFirstFieldTag);
  const EncodeFieldFn encode =
      x.format.format == PixelFormat::kRgba32 ? k.encode_rgba : k.encode_y16a;
  std::vector<uint8_t> out(MaxFieldPayloadBytes(g.width, g.lines));
  for (auto _ : state) {
    StoreWord(out.data(), 0);
    uint8_t* run_word = out.data();
    uint8_t* pos = out.data() + 4;
    encode(&pos, x.raw.data() + g.first_line_offset, g.width, g.lines, g.step, &run_word);
    benchmark::DoNotOptimize(pos);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * x.raw.size() / 2));
  state.counters["compression"] = Compression(x);
}

void DecodeOneField(benchmark::State& state, Fixture x, FieldKernels k) {
  FieldChunks chunks;
  FindFieldChunks(x.frame.data() + 4, x.frame_size - 4, &chunks);
  const FieldGeometry g = GetFieldGeometry(x.format.format, x.format.width, x.format.height,
                                           kFirstFieldTag);
  const DecodeFieldFn decode =
      x.format.format == PixelFormat::kRgba32 ? k.decode_rgba : k.decode_y16a;
  std::vector<uint8_t> out(x.raw.size());
  for (auto _ : state) {
    const uint8_t* in = chunks.first_field.payload;
    int32_t pending = 0;
    decode(out.data() + g.first_line_offset, &in, in + chunks.first_field.available, g.width,
           g.lines, g.step, &pending);
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * x.raw.size() / 2));
  state.counters["compression"] = Compression(x);
}

void RegisterAll() {
  for (const Size& s : kSizes) {
    for (const Format& f : kFormats) {
      const std::string frame = std::string(f.name) + "/" + s.name;
      benchmark::RegisterBenchmark(("memcpy/" + frame).c_str(), Memcpy,
                                   std::vector<uint8_t>(s.width * s.height *
                                                        BytesPerPixel(f.format)));
      for (const Material& m : kMaterials) {
        const Fixture x = MakeFixture(m, f, s);
        for (const auto& [name, variant] : kVariants) {
          if (!HasKernelVariant(variant)) continue;
          const FieldKernels k = KernelsOfVariant(variant);
          const std::string tail = "/" + frame + "/" + m.name + "/" + name;
          benchmark::RegisterBenchmark(("encode_frame" + tail).c_str(), EncodeWhole, x, k);
          benchmark::RegisterBenchmark(("decode_frame" + tail).c_str(), DecodeWhole, x, k);
          benchmark::RegisterBenchmark(("encode_field" + tail).c_str(), EncodeOneField, x, k);
          benchmark::RegisterBenchmark(("decode_field" + tail).c_str(), DecodeOneField, x, k);
        }
      }
    }
  }
}

}  // namespace
}  // namespace voxa

int main(int argc, char** argv) {
  voxa::RegisterAll();
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
