#include "tools/avi_headers.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <vector>

#include "tools/riff.h"

namespace voxa {
namespace {

// The header list of an AVI file written by any usual program lies within
// its first megabyte.
constexpr std::size_t kHeaderReadBytes = std::size_t{1} << 20;

struct RiffChunk {
  uint32_t id;
  uint32_t list_type;   // for LIST chunks
  std::size_t data;     // offset of the payload (behind a LIST's type)
  std::size_t size;     // payload bytes (without a LIST's type)
};

// The chunks inside [begin, end) of `data`, ending early at a chunk that does
// not fit.
std::vector<RiffChunk> ChildChunks(const uint8_t* data, std::size_t begin, std::size_t end) {
  std::vector<RiffChunk> chunks;
  std::size_t at = begin;
  while (at <= end && end - at >= 8) {
    const uint32_t size = LoadLe32(data + at + 4);
    if (size > end - at - 8) break;
    RiffChunk c{LoadLe32(data + at), 0, at + 8, size};
    if (c.id == Fourcc("LIST") && c.size >= 4) {
      c.list_type = LoadLe32(data + c.data);
      c.data += 4;
      c.size -= 4;
    }
    chunks.push_back(c);
    at += std::size_t{8} + size + (size % 2);  // chunks are word aligned
  }
  return chunks;
}

}  // namespace

bool ParseAviVideoHeaders(const uint8_t* data, std::size_t size, AviVideoHeaders* h,
                          std::string* problem) {
  if (size < 12 || LoadLe32(data) != Fourcc("RIFF") || LoadLe32(data + 8) != Fourcc("AVI ")) {
    *problem = "not an AVI file (no RIFF 'AVI ' header)";
    return false;
  }
  const std::size_t riff_end = std::min<std::size_t>(size, std::size_t{8} + LoadLe32(data + 4));
  const RiffChunk* hdrl = nullptr;
  const std::vector<RiffChunk> top = ChildChunks(data, 12, riff_end);
  for (const RiffChunk& c : top) {
    if (c.id == Fourcc("LIST") && c.list_type == Fourcc("hdrl")) {
      hdrl = &c;
      break;
    }
  }
  if (hdrl == nullptr) {
    *problem = "the AVI file has no whole header list (hdrl)";
    return false;
  }
  bool have_main = false;
  const std::vector<RiffChunk> children = ChildChunks(data, hdrl->data, hdrl->data + hdrl->size);
  // The extended header follows the streams' lists.
  for (const RiffChunk& c : children) {
    if (c.id == Fourcc("LIST") && c.list_type == Fourcc("odml")) {
      for (const RiffChunk& d : ChildChunks(data, c.data, c.data + c.size)) {
        if (d.id == Fourcc("dmlh") && d.size >= 4) h->all_frames = LoadLe32(data + d.data);
      }
    }
  }
  for (const RiffChunk& c : children) {
    if (c.id == Fourcc("avih") && c.size >= 32) {
      h->micro_sec_per_frame = LoadLe32(data + c.data);
      h->max_bytes_per_sec = LoadLe32(data + c.data + 4);
      h->main_flags = LoadLe32(data + c.data + 12);
      h->total_frames = LoadLe32(data + c.data + 16);
      h->main_suggested_buffer_size = LoadLe32(data + c.data + 28);
      h->main_header_offset = c.data;
      have_main = true;
    }
    if (c.id != Fourcc("LIST") || c.list_type != Fourcc("strl")) continue;
    const uint8_t* strh = nullptr;
    const uint8_t* strf = nullptr;
    std::size_t strf_offset = 0;
    for (const RiffChunk& s : ChildChunks(data, c.data, c.data + c.size)) {
      if (s.id == Fourcc("strh") && s.size >= 56) strh = data + s.data;
      if (s.id == Fourcc("strf") && s.size >= 40) {
        strf = data + s.data;
        strf_offset = s.data;
      }
    }
    if (strh == nullptr || LoadLe32(strh) != Fourcc("vids")) continue;
    if (strf == nullptr) {
      *problem = "the video stream has no picture format (strf)";
      return false;
    }
    h->handler = LoadLe32(strh + 4);
    h->stream_flags = LoadLe32(strh + 8);
    h->scale = LoadLe32(strh + 20);
    h->rate = LoadLe32(strh + 24);
    h->length = LoadLe32(strh + 32);
    h->suggested_buffer_size = LoadLe32(strh + 36);
    h->quality = LoadLe32(strh + 40);
    h->sample_size = LoadLe32(strh + 44);
    for (int i = 0; i < 4; ++i) h->frame_rect[i] = static_cast<int16_t>(LoadLe16(strh + 48 + 2 * i));
    h->format_size = LoadLe32(strf);
    h->width = static_cast<int32_t>(LoadLe32(strf + 4));
    h->height = static_cast<int32_t>(LoadLe32(strf + 8));
    h->planes = LoadLe16(strf + 12);
    h->bit_count = LoadLe16(strf + 14);
    h->compression = LoadLe32(strf + 16);
    h->size_image = LoadLe32(strf + 20);
    h->size_image_offset = strf_offset + 20;
    if (!have_main) {
      *problem = "the AVI file has no main header (avih) before its video stream";
      return false;
    }
    return true;
  }
  *problem = "the AVI file has no video stream";
  return false;
}

bool ReadAviVideoHeaders(const std::string& path, AviVideoHeaders* headers,
                         std::string* problem) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    *problem = "cannot open '" + path + "'";
    return false;
  }
  std::vector<uint8_t> data(kHeaderReadBytes);
  in.read(reinterpret_cast<char*>(data.data()), static_cast<std::streamsize>(data.size()));
  data.resize(static_cast<std::size_t>(in.gcount()));
  return ParseAviVideoHeaders(data.data(), data.size(), headers, problem);
}

uint32_t CountRiffParts(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  uint32_t parts = 0;
  for (uint64_t at = 0;; ++parts) {
    uint8_t head[8];
    in.seekg(static_cast<std::streamoff>(at));
    if (!in.read(reinterpret_cast<char*>(head), sizeof head) || LoadLe32(head) != Fourcc("RIFF")) break;
    const uint32_t size = LoadLe32(head + 4);
    at += 8 + uint64_t{size} + size % 2;
  }
  return parts;
}

bool PatchAviHeaders(FileAt& file, uint32_t size_image, std::string* problem) {
  const int64_t size = file.Size();
  std::vector<uint8_t> data(static_cast<std::size_t>(
      std::clamp<int64_t>(size, 0, static_cast<int64_t>(kHeaderReadBytes))));
  AviVideoHeaders h;
  if (size < 0 || !file.Read(0, data.data(), data.size()) ||
      !ParseAviVideoHeaders(data.data(), data.size(), &h, problem)) {
    if (problem->empty()) *problem = "cannot read the headers back";
    return false;
  }
  const uint64_t per_second =
      h.scale == 0 ? 0 : uint64_t{h.suggested_buffer_size} * h.rate / h.scale;
  auto put = [&](std::size_t offset, uint32_t value) {
    uint8_t bytes[4];
    StoreLe32(bytes, value);
    return file.Write(offset, bytes, sizeof bytes);
  };
  if (!put(h.main_header_offset + 4, static_cast<uint32_t>(std::min<uint64_t>(per_second, UINT32_MAX))) ||
      !put(h.main_header_offset + 28, h.suggested_buffer_size) ||
      !put(h.size_image_offset, size_image)) {
    *problem = "cannot rewrite the headers";
    return false;
  }
  return true;
}

std::string FourccText(uint32_t fourcc) {
  std::string text;
  for (int i = 0; i < 4; ++i) {
    const char c = static_cast<char>((fourcc >> (8 * i)) & 0xFF);
    if (c < 0x20 || c > 0x7E) {
      char hex[16];
      std::snprintf(hex, sizeof hex, "0x%08X", static_cast<unsigned>(fourcc));
      return hex;
    }
    text += c;
  }
  return text;
}

}  // namespace voxa
