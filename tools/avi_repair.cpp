#include "tools/avi_repair.h"

#include <algorithm>
#include <vector>

#include "tools/riff.h"

namespace voxa {
namespace {

constexpr uint32_t kKeyFrame = 0x10;  // AVIIF_KEYFRAME
constexpr std::size_t kIndexEntryBytes = 16;

// Where the headers keep what a cut file has wrong.
struct Layout {
  uint64_t total_frames = 0;  // avih dwTotalFrames
  uint64_t length = 0;        // strh dwLength of the video stream
  uint64_t suggested = 0;     // its dwSuggestedBufferSize
  uint64_t all_frames = 0;    // dmlh dwTotalFrames (OpenDML), 0 when absent
  uint64_t movi = 0;          // the 'movi' type of the frames' list
};

struct Frame {
  uint64_t offset;  // of the chunk header
  uint32_t id;
  uint32_t size;
};

// 32-bit little-endian values, capped, where the headers keep them (0: a
// header the file does not have).
bool Put(FileAt& file, uint64_t at, uint64_t value) {
  uint8_t bytes[4];
  StoreLe32(bytes, static_cast<uint32_t>(std::min<uint64_t>(value, UINT32_MAX)));
  return at == 0 || file.Write(at, bytes, sizeof bytes);
}

// The header list's fields and the frames' list, from the start of the file.
bool FindLayout(const FileAt& file, uint64_t file_size, Layout* layout, std::string* problem) {
  uint8_t head[12];
  if (!file.Read(0, head, 12) || LoadLe32(head) != Fourcc("RIFF") || LoadLe32(head + 8) != Fourcc("AVI ")) {
    *problem = "not an AVI file";
    return false;
  }
  // Walks a list's children; `inside` is called for each.
  auto walk = [&](uint64_t begin, uint64_t end, auto&& inside) {
    for (uint64_t at = begin; at + 8 <= end;) {
      uint8_t h[12];
      if (!file.Read(at, h, 12)) return;
      const uint32_t id = LoadLe32(h), size = LoadLe32(h + 4);
      if (!inside(at, id, size, LoadLe32(h + 8))) return;
      at += 8 + uint64_t{size} + size % 2;
    }
  };
  bool video = false;
  walk(12, file_size, [&](uint64_t at, uint32_t id, uint32_t size, uint32_t type) {
    if (id == Fourcc("LIST") && type == Fourcc("movi")) {
      layout->movi = at + 8;
      return false;
    }
    if (id != Fourcc("LIST") || type != Fourcc("hdrl")) return true;
    walk(at + 12, at + 8 + size, [&](uint64_t h_at, uint32_t h_id, uint32_t h_size, uint32_t h_type) {
      if (h_id == Fourcc("avih")) layout->total_frames = h_at + 8 + 16;
      if (h_id == Fourcc("LIST") && h_type == Fourcc("odml")) {
        walk(h_at + 12, h_at + 8 + h_size, [&](uint64_t d_at, uint32_t d_id, uint32_t, uint32_t) {
          if (d_id == Fourcc("dmlh")) layout->all_frames = d_at + 8;
          return true;
        });
      }
      if (h_id == Fourcc("LIST") && h_type == Fourcc("strl") && !video) {
        walk(h_at + 12, h_at + 8 + h_size, [&](uint64_t s_at, uint32_t s_id, uint32_t, uint32_t s_type) {
          if (s_id == Fourcc("strh") && s_type == Fourcc("vids")) {
            layout->length = s_at + 8 + 32;
            layout->suggested = s_at + 8 + 36;
            video = true;
          }
          return true;
        });
      }
      return true;
    });
    return true;
  });
  if (layout->movi == 0 || layout->total_frames == 0 || !video) {
    *problem = "its headers are not whole (no main header, video stream or frame list)";
    return false;
  }
  return true;
}

}  // namespace

int64_t RepairAvi(FileAt& file, uint64_t written_end, std::string* problem) {
  const int64_t size = file.Size();
  if (size < 0) {
    *problem = "cannot tell its size";
    return -1;
  }
  const uint64_t file_size = static_cast<uint64_t>(size);
  Layout layout;
  if (!FindLayout(file, std::min(file_size, written_end), &layout, problem)) return -1;

  // The frame chunks written whole, up to the first chunk of anything else
  // (an OpenDML part's index, the next RIFF part).
  std::vector<Frame> frames;
  const uint64_t end = std::min(file_size, written_end);
  for (uint64_t at = layout.movi + 4; at + 8 <= end;) {
    uint8_t h[8];
    if (!file.Read(at, h, 8)) break;
    const Frame f{at, LoadLe32(h), LoadLe32(h + 4)};
    const uint64_t next = at + 8 + f.size + f.size % 2;
    if ((f.id != Fourcc("00dc") && f.id != Fourcc("00db")) || next > end) break;
    frames.push_back(f);
    at = next;
  }

  for (;;) {
    const uint64_t cut = frames.empty() ? layout.movi + 4
                                        : frames.back().offset + 8 + frames.back().size +
                                              frames.back().size % 2;
    if (!file.Truncate(cut)) {
      *problem = "cannot cut it to its whole frames";
      return -1;
    }
    std::vector<uint8_t> index(8 + kIndexEntryBytes * frames.size());
    StoreLe32(index.data(), Fourcc("idx1"));
    StoreLe32(index.data() + 4, static_cast<uint32_t>(index.size() - 8));
    uint32_t largest = 0;
    for (std::size_t i = 0; i < frames.size(); ++i) {
      uint8_t* entry = index.data() + 8 + kIndexEntryBytes * i;
      StoreLe32(entry, frames[i].id);
      StoreLe32(entry + 4, kKeyFrame);
      StoreLe32(entry + 8, static_cast<uint32_t>(frames[i].offset - layout.movi));
      StoreLe32(entry + 12, frames[i].size);
      largest = std::max(largest, frames[i].size);
    }
    if (!file.Write(cut, index.data(), index.size())) {
      // No room for the index: one frame less makes room.
      if (frames.empty()) {
        *problem = "no room left even for an empty index";
        return -1;
      }
      frames.pop_back();
      continue;
    }
    const uint64_t total = cut + index.size();
    const bool ok = Put(file, 4, total - 8) && Put(file, layout.movi - 4, cut - layout.movi) &&
                    Put(file, layout.total_frames, frames.size()) &&
                    Put(file, layout.length, frames.size()) && Put(file, layout.suggested, largest) &&
                    Put(file, layout.all_frames, frames.size());
    if (!ok) {
      *problem = "cannot rewrite its headers";
      return -1;
    }
    return static_cast<int64_t>(frames.size());
  }
}

}  // namespace voxa
