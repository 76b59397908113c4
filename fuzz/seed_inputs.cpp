#include "fuzz/seed_inputs.h"

#include <cstdio>
#include <initializer_list>

#include "codec/field_payload.h"
#include "codec/frame_codec.h"
#include "fuzz/decode_frame_check.h"
#include "support/sample_frames.h"

namespace voxa::fuzz {
namespace {

const char* FormatName(PixelFormat format) {
  return format == PixelFormat::kRgba32 ? "bgra" : "y16a";
}

std::vector<uint8_t> EncodeSample(SampleKind kind, const FrameFormat& f) {
  const std::vector<uint8_t> raw = MakeSampleFrame(
      kind, f.format == PixelFormat::kY16a ? VOXA_Y16A : VOXA_BGRA, f.width, f.height);
  std::vector<uint8_t> frame(MaxCompressedFrameBytes(f.width, f.height));
  frame.resize(EncodeFrame(f, raw.data(), frame.data(), kPortableKernels));
  return frame;
}

struct RawChunk {
  uint32_t tag;
  std::vector<uint8_t> payload;
  uint32_t length;  // as written in the header
};

// The chunks of a frame as the encoder wrote it (exactly two, filling it).
std::vector<RawChunk> SplitChunks(const std::vector<uint8_t>& frame) {
  std::vector<RawChunk> chunks;
  std::size_t at = kFrameMagicBytes;
  while (at + kChunkHeaderBytes <= frame.size()) {
    RawChunk c;
    c.tag = LoadLe32(frame.data() + at);
    c.length = LoadLe32(frame.data() + at + 4);
    const auto begin = frame.begin() + static_cast<std::ptrdiff_t>(at + kChunkHeaderBytes);
    c.payload.assign(begin, begin + c.length);
    at += kChunkHeaderBytes + c.length;
    chunks.push_back(std::move(c));
  }
  return chunks;
}

std::vector<uint8_t> JoinChunks(const std::vector<RawChunk>& chunks) {
  std::vector<uint8_t> frame(kFrameMagic, kFrameMagic + kFrameMagicBytes);
  for (const RawChunk& c : chunks) {
    uint8_t header[kChunkHeaderBytes];
    StoreLe32(header, c.tag);
    StoreLe32(header + 4, c.length);
    frame.insert(frame.end(), header, header + kChunkHeaderBytes);
    frame.insert(frame.end(), c.payload.begin(), c.payload.end());
  }
  return frame;
}

RawChunk MakeChunk(uint32_t tag, std::vector<uint8_t> payload) {
  const uint32_t length = static_cast<uint32_t>(payload.size());
  return RawChunk{tag, std::move(payload), length};
}

std::vector<uint8_t> Words(std::initializer_list<int32_t> words) {
  std::vector<uint8_t> bytes;
  for (int32_t w : words) {
    bytes.resize(bytes.size() + kRunWordBytes);
    StoreWord(bytes.data() + bytes.size() - kRunWordBytes, w);
  }
  return bytes;
}

class SeedList {
 public:
  void Add(const std::string& what, const FrameFormat& f, bool round_trip,
           const std::vector<uint8_t>& frame) {
    char name[128];
    std::snprintf(name, sizeof name, "seed-%03zu-%s-%ux%u-%s", seeds_.size(),
                  FormatName(f.format), f.width, f.height, what.c_str());
    seeds_.push_back({name, MakeCheckInput(f.format, f.width, f.height, round_trip, frame)});
  }
  std::vector<SeedInput> Take() { return std::move(seeds_); }

 private:
  std::vector<SeedInput> seeds_;
};

}  // namespace

std::vector<SeedInput> MakeSeedInputs() {
  SeedList seeds;
  const PixelFormat formats[] = {PixelFormat::kRgba32, PixelFormat::kY16a};

  // Encoded sample frames, including heights 0 and 1, odd heights and width 0.
  struct Size {
    uint32_t width, height;
  };
  const Size sizes[] = {{16, 2}, {32, 3}, {64, 8}, {48, 5}, {128, 16}, {0, 4}, {16, 0}, {16, 1}};
  for (PixelFormat format : formats) {
    for (const Size& s : sizes) {
      const FrameFormat f{format, s.width, s.height};
      seeds.Add("title", f, s.width <= 64, EncodeSample(SampleKind::kTitle, f));
      seeds.Add("opaque", f, false, EncodeSample(SampleKind::kOpaque, f));
    }
    // A title large enough for its bar, glyphs and logo to show.
    const FrameFormat f{format, 256, 24};
    seeds.Add("title", f, false, EncodeSample(SampleKind::kTitle, f));
  }

  // Damaged frames, from one frame with literal and transparent runs in each
  // field.
  for (PixelFormat format : formats) {
    const FrameFormat f{format, 64, 8};
    const std::vector<uint8_t> good = EncodeSample(SampleKind::kOpaque, {format, 64, 8});
    const std::vector<RawChunk> chunks = SplitChunks(good);
    const RawChunk& first = chunks.at(0);
    const RawChunk& second = chunks.at(1);

    seeds.Add("swapped-chunks", f, false, JoinChunks({second, first}));
    seeds.Add("first-chunk-only", f, false, JoinChunks({first}));
    seeds.Add("second-chunk-only", f, false, JoinChunks({second}));
    seeds.Add("first-chunk-twice", f, false, JoinChunks({first, first}));
    seeds.Add("third-field-chunk", f, false, JoinChunks({first, second, first}));
    seeds.Add("foreign-chunk-first", f, false,
              JoinChunks({MakeChunk(0x31545851u, Words({1, 2, 3})), first, second}));

    std::vector<uint8_t> cut = good;
    cut.resize(good.size() - 20);  // inside the last literal block
    seeds.Add("cut-in-literal", f, false, cut);
    cut.resize(kFrameMagicBytes + kChunkHeaderBytes + first.length + 5);  // inside a header
    seeds.Add("cut-in-header", f, false, cut);
    cut.resize(kFrameMagicBytes + kChunkHeaderBytes + 2);  // inside the first run word
    seeds.Add("cut-in-run-word", f, false, cut);

    std::vector<uint8_t> trailing = good;
    trailing.insert(trailing.end(), {0x20, 0, 0, 0, 1});
    seeds.Add("trailing-bytes", f, false, trailing);

    RawChunk huge = first;
    huge.length = 0xFFFFFFFFu;
    seeds.Add("huge-first-length", f, false, JoinChunks({huge, second}));
    huge = second;
    huge.length = 0x7FFFFFFFu;
    seeds.Add("huge-second-length", f, false, JoinChunks({first, huge}));
    RawChunk shorter = first;
    shorter.length = first.length - 48;
    seeds.Add("short-first-length", f, false, JoinChunks({shorter, second}));
  }

  // Payloads by hand: every kind of run word a decoder must survive.
  for (PixelFormat format : formats) {
    const FrameFormat f{format, 32, 4};
    std::vector<uint8_t> literal = Words({1});
    for (int i = 0; i < 48; ++i) literal.push_back(static_cast<uint8_t>(i * 5));
    std::vector<uint8_t> mixed = Words({-1});
    mixed.insert(mixed.end(), literal.begin(), literal.end());
    const std::vector<uint8_t> tail = Words({-2});
    mixed.insert(mixed.end(), tail.begin(), tail.end());

    seeds.Add("hand-mixed", f, true,
              JoinChunks({MakeChunk(0x20, mixed), MakeChunk(0x80000020u, mixed)}));
    seeds.Add("zero-words", f, false,
              JoinChunks({MakeChunk(0x20, Words({0, 0, -1, 0, -1})),
                          MakeChunk(0x80000020u, Words({0}))}));
    seeds.Add("most-negative-word", f, false,
              JoinChunks({MakeChunk(0x20, Words({INT32_MIN})),
                          MakeChunk(0x80000020u, Words({-1, INT32_MIN}))}));
    seeds.Add("huge-literal-word", f, false,
              JoinChunks({MakeChunk(0x20, Words({INT32_MAX, 7})),
                          MakeChunk(0x80000020u, literal)}));
    seeds.Add("stray-bytes", f, false,
              JoinChunks({MakeChunk(0x20, {0xFC, 0xFF, 0xFF, 0xFF, 0x01, 0x02}),
                          MakeChunk(0x80000020u, {0xFC})}));
    seeds.Add("empty-payloads", f, false,
              JoinChunks({MakeChunk(0x20, {}), MakeChunk(0x80000020u, {})}));
  }

  // Not frames at all.
  const FrameFormat f{PixelFormat::kRgba32, 16, 2};
  seeds.Add("empty", f, false, {});
  seeds.Add("magic-only", f, false, {'Q', 'T', 'Z', '1'});
  seeds.Add("wrong-magic", f, false, {'Q', 'T', 'Z', '2', 0x20, 0, 0, 0, 4, 0, 0, 0, 0xFF, 0xFF,
                                      0xFF, 0xFF});
  seeds.Add("no-field-chunk", f, false,
            JoinChunks({MakeChunk(0x21, Words({-1})), MakeChunk(0, Words({-1}))}));
  return seeds.Take();
}

}  // namespace voxa::fuzz
