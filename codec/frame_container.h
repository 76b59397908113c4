// The compressed frame: the magic "QTZ1", then one chunk per interlaced field.
// A chunk is a 32-bit tag, a 32-bit payload length (its own 8 header bytes
// not counted) and the payload; all integers little-endian. The encoder writes
// the chunk of field 32 and then the chunk of field 0x80000020; the decoder
// takes them in either order and passes over chunks with other tags.
#pragma once

#include <cstddef>
#include <cstdint>

namespace voxa {

constexpr uint8_t kFrameMagic[4] = {'Q', 'T', 'Z', '1'};
constexpr std::size_t kFrameMagicBytes = 4;
constexpr std::size_t kChunkHeaderBytes = 8;
constexpr uint32_t kFirstFieldTag = 0x00000020;
constexpr uint32_t kSecondFieldTag = 0x80000020;

// The two uncompressed pixel formats.
enum class PixelFormat {
  kRgba32,  // bytes B, G, R, A; bottom line first; width × 4 bytes a line
  kY16a,    // 48-byte blocks of 16 pixels; top line first; width × 3 bytes a line
};

std::size_t BytesPerPixel(PixelFormat format);

// Where one field lies in an uncompressed frame. Each field takes every
// second stored line from its starting line; a frame of odd height leaves its
// last stored line to neither field.
struct FieldGeometry {
  std::size_t first_line_offset;  // bytes from the frame start to the field's first stored line
  std::ptrdiff_t step;            // two line lengths
  uint32_t width;
  uint32_t lines;                 // height / 2
};

FieldGeometry GetFieldGeometry(PixelFormat format, uint32_t width, uint32_t height,
                               uint32_t tag);

// The stored line a field starts at: 0 or 1.
uint32_t FieldStartLine(PixelFormat format, uint32_t tag);

// The field's first stored line in a frame. A field without lines is never
// read or written, and its start may lie past a frame of one line (or a null
// frame of none): the frame's own start stands in for it.
template <typename Byte>
Byte* FieldStart(Byte* frame, const FieldGeometry& g) {
  return g.lines == 0 ? frame : frame + g.first_line_offset;
}

// Bytes of an uncompressed frame, and the most a compressed frame can take.
uint64_t RawFrameBytes(PixelFormat format, uint32_t width, uint32_t height);
uint64_t MaxCompressedFrameBytes(uint32_t width, uint32_t height);

uint32_t LoadLe32(const uint8_t* p);
void StoreLe32(uint8_t* p, uint32_t value);

bool HasFrameMagic(const uint8_t* frame, std::size_t size);

// Writing one chunk: BeginFieldChunk stores the tag and the payload's opening
// run word 0; an encoder kernel extends the payload from `out` and
// `run_word`; FinishFieldChunk stores the payload length and returns the
// chunk's size with its header.
struct FieldChunkWriter {
  uint8_t* chunk;
  uint8_t* out;
  uint8_t* run_word;
};

FieldChunkWriter BeginFieldChunk(uint8_t* chunk, uint32_t tag);
std::size_t FinishFieldChunk(const FieldChunkWriter& writer);

struct Chunk {
  uint32_t tag;
  uint32_t length;         // as the header says
  std::size_t offset;      // of the chunk header, from the data start
  const uint8_t* payload;
  std::size_t available;   // payload bytes inside the frame: min(length, what is left)
};

// Walks the chunks behind the magic. The walk ends at the frame's end, at a
// header that does not fit in what is left, or at a chunk whose length would
// carry it past the end; it never reads outside the data.
class ChunkWalker {
 public:
  enum class Stop {
    kNone,            // still walking
    kEnd,             // the chunks filled the data exactly
    kHeaderCut,       // fewer than 8 bytes left for a chunk header
    kPayloadCut,      // the last chunk's length runs past the end of the data
  };

  ChunkWalker(const uint8_t* data, std::size_t size) : data_(data), size_(size) {}

  // Fills `chunk` and returns true, or returns false when the walk is over.
  bool Next(Chunk* chunk);
  Stop stop() const { return stop_; }
  // Where the walk stopped, from the data start.
  std::size_t position() const { return position_; }

 private:
  const uint8_t* data_;
  std::size_t size_;
  std::size_t position_ = 0;
  Stop stop_ = Stop::kNone;
};

struct FieldChunks {
  Chunk first_field;   // decodes into field 32
  Chunk second_field;  // decodes into field 0x80000020
  // The frame is cut or its chunk lengths are wrong: a chosen chunk runs past
  // the frame's end, or the walk met a cut chunk before the second field.
  bool damaged;
};

// Picks the chunk of each field from the data behind the magic. The first two
// field chunks found count; where their tags differ each decodes into the
// field its tag names, where they are equal (or only one was found) the order
// of appearance decides. Fails when there is no field chunk at all.
bool FindFieldChunks(const uint8_t* data, std::size_t size, FieldChunks* chunks);

}  // namespace voxa
