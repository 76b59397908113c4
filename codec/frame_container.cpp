#include "codec/frame_container.h"

#include <cstring>

#include "codec/field_payload.h"

namespace voxa {

std::size_t BytesPerPixel(PixelFormat format) {
  return format == PixelFormat::kRgba32 ? 4 : 3;
}

FieldGeometry GetFieldGeometry(PixelFormat format, uint32_t width, uint32_t height,
                               uint32_t tag) {
  const std::size_t line_bytes = BytesPerPixel(format) * width;
  FieldGeometry g;
  g.first_line_offset = FieldStartLine(format, tag) * line_bytes;
  g.step = static_cast<std::ptrdiff_t>(2 * line_bytes);
  g.width = width;
  g.lines = height / 2;
  return g;
}

uint32_t FieldStartLine(PixelFormat format, uint32_t tag) {
  // The BGRA frame is bottom-up and the Y16A frame top-down; in both, field 32
  // is the picture's lines 0, 2, 4, ... counted from the top.
  const bool first = tag == kFirstFieldTag;
  return format == PixelFormat::kRgba32 ? (first ? 1 : 0) : (first ? 0 : 1);
}

uint64_t RawFrameBytes(PixelFormat format, uint32_t width, uint32_t height) {
  return static_cast<uint64_t>(BytesPerPixel(format)) * width * height;
}

uint64_t MaxCompressedFrameBytes(uint32_t width, uint32_t height) {
  return kFrameMagicBytes + 2 * (kChunkHeaderBytes + MaxFieldPayloadBytes(width, height / 2));
}

uint32_t LoadLe32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

void StoreLe32(uint8_t* p, uint32_t value) {
  p[0] = static_cast<uint8_t>(value);
  p[1] = static_cast<uint8_t>(value >> 8);
  p[2] = static_cast<uint8_t>(value >> 16);
  p[3] = static_cast<uint8_t>(value >> 24);
}

bool HasFrameMagic(const uint8_t* frame, std::size_t size) {
  return size >= kFrameMagicBytes && std::memcmp(frame, kFrameMagic, kFrameMagicBytes) == 0;
}

FieldChunkWriter BeginFieldChunk(uint8_t* chunk, uint32_t tag) {
  StoreLe32(chunk, tag);
  uint8_t* payload = chunk + kChunkHeaderBytes;
  StoreWord(payload, 0);
  return FieldChunkWriter{chunk, payload + kRunWordBytes, payload};
}

std::size_t FinishFieldChunk(const FieldChunkWriter& writer) {
  const std::size_t payload_bytes =
      static_cast<std::size_t>(writer.out - (writer.chunk + kChunkHeaderBytes));
  StoreLe32(writer.chunk + 4, static_cast<uint32_t>(payload_bytes));
  return payload_bytes + kChunkHeaderBytes;
}

bool ChunkWalker::Next(Chunk* chunk) {
  if (stop_ != Stop::kNone) return false;
  const std::size_t left = size_ - position_;
  if (left == 0) {
    stop_ = Stop::kEnd;
    return false;
  }
  if (left < kChunkHeaderBytes) {
    stop_ = Stop::kHeaderCut;
    return false;
  }
  const uint8_t* header = data_ + position_;
  chunk->tag = LoadLe32(header);
  chunk->length = LoadLe32(header + 4);
  chunk->offset = position_;
  chunk->payload = header + kChunkHeaderBytes;
  const std::size_t room = left - kChunkHeaderBytes;
  // Lengths are unsigned and added to a position that only grows, so the walk
  // can neither go backwards nor stand still; a length past the end stops it.
  if (chunk->length > room) {
    chunk->available = room;
    position_ = size_;
    stop_ = Stop::kPayloadCut;
  } else {
    chunk->available = chunk->length;
    position_ += kChunkHeaderBytes + chunk->length;
  }
  return true;
}

namespace {

bool IsFieldTag(uint32_t tag) { return tag == kFirstFieldTag || tag == kSecondFieldTag; }

}  // namespace

bool FindFieldChunks(const uint8_t* data, std::size_t size, FieldChunks* chunks) {
  ChunkWalker walker(data, size);
  Chunk found[2];
  int count = 0;
  Chunk chunk;
  while (count < 2 && walker.Next(&chunk)) {
    if (IsFieldTag(chunk.tag)) found[count++] = chunk;
  }
  if (count == 0) return false;
  if (count == 1) found[1] = found[0];
  // Only the order 0x80000020, 32 swaps; equal tags keep the order found.
  const bool swapped = found[0].tag == kSecondFieldTag && found[1].tag == kFirstFieldTag;
  chunks->first_field = swapped ? found[1] : found[0];
  chunks->second_field = swapped ? found[0] : found[1];
  const bool cut_walk = count < 2 && walker.stop() != ChunkWalker::Stop::kEnd;
  chunks->damaged = cut_walk || chunks->first_field.available < chunks->first_field.length ||
                    chunks->second_field.available < chunks->second_field.length;
  return true;
}

}  // namespace voxa
