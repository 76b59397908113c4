#include "tools/avi_repair.h"

#include <algorithm>
#include <vector>

#include "tools/riff.h"

namespace voxa {
namespace {

constexpr uint32_t kKeyFrame = 0x10;  // AVIIF_KEYFRAME
constexpr std::size_t kIndexEntryBytes = 16;
// An OpenDML standard index (ix00): a 24-byte head, 8 bytes a frame.
constexpr uint32_t kStandardIndexHead = 24;
constexpr uint32_t kStandardEntryBytes = 8;
// The super index (indx): a 24-byte head, 16 bytes a RIFF part.
constexpr uint32_t kSuperIndexHead = 24;
constexpr uint32_t kSuperEntryBytes = 16;
// The RIFF parts a super index is taken to list at most (a 64 TB file of
// the usual 1 GiB parts).
constexpr uint32_t kMostParts = 65536;
// The size a writer leaves in a RIFF part's or list's header until it closes it.
constexpr uint32_t kUnsetSize = 0xFFFFFFFF;

// Where the headers keep what a cut file has wrong.
struct Layout {
  uint64_t total_frames = 0;  // avih dwTotalFrames
  uint64_t length = 0;        // strh dwLength of the video stream
  uint64_t suggested = 0;     // its dwSuggestedBufferSize
  // The OpenDML header list's id: LIST, or JUNK while the file has one RIFF
  // part; 0 when absent.
  uint64_t odml = 0;
  bool odml_listed = false;  // a LIST already
  uint64_t all_frames = 0;   // its dmlh dwTotalFrames
  // The video stream's super index (indx, or JUNK while the file has one RIFF
  // part); 0 when absent.
  uint64_t super_index = 0;
  uint32_t super_entries = 0;  // the RIFF parts it has room for
  uint64_t movi = 0;           // the 'movi' type of the first part's frame list
};

struct Frame {
  uint64_t offset;  // of the chunk header
  uint32_t id;
  uint32_t size;
};

uint64_t FrameEnd(const Frame& f) { return f.offset + 8 + f.size + f.size % 2; }

// A RIFF part: the first one (RIFF 'AVI ') or an OpenDML one (RIFF 'AVIX').
struct Part {
  uint64_t start = 0;  // its RIFF header
  uint64_t movi = 0;   // its frame list's 'movi' type, which its index counts from
  std::vector<Frame> frames;
  uint64_t index = 0;  // its standard index (ix00); 0: none
  uint64_t end = 0;    // behind it
  bool closed = false;  // closed by the writer and written in full
};

// 32-bit little-endian values, capped, where the headers keep them (0: a
// header the file does not have).
bool Put(FileAt& file, uint64_t at, uint64_t value) {
  uint8_t bytes[4];
  StoreLe32(bytes, static_cast<uint32_t>(std::min<uint64_t>(value, UINT32_MAX)));
  return at == 0 || file.Write(at, bytes, sizeof bytes);
}

uint32_t Get(const FileAt& file, uint64_t at) {
  uint8_t bytes[4];
  return file.Read(at, bytes, sizeof bytes) ? LoadLe32(bytes) : 0;
}

// The header list's fields and the frames' list, from the start of the file.
bool FindLayout(const FileAt& file, uint64_t file_size, Layout* layout, std::string* problem) {
  uint8_t head[12];
  if (!file.Read(0, head, 12) || LoadLe32(head) != Fourcc("RIFF") || LoadLe32(head + 8) != Fourcc("AVI ")) {
    *problem = "not an AVI file";
    return false;
  }
  // Walks a list's children, each of which must lie within it; `inside` is
  // called for each.
  auto walk = [&](uint64_t begin, uint64_t end, auto&& inside) {
    for (uint64_t at = begin; at + 8 <= end;) {
      uint8_t h[12];
      if (!file.Read(at, h, 12)) return;
      const uint32_t id = LoadLe32(h), size = LoadLe32(h + 4);
      if (at + 8 + size > end || !inside(at, id, size, LoadLe32(h + 8))) return;
      at += 8 + uint64_t{size} + size % 2;
    }
  };
  bool video = false;
  // The frame list of a file being written has no size yet: it is not held
  // to the file's end.
  for (uint64_t at = 12; at + 12 <= file_size && layout->movi == 0;) {
    uint8_t h[12];
    if (!file.Read(at, h, 12)) break;
    const uint32_t id = LoadLe32(h), size = LoadLe32(h + 4), type = LoadLe32(h + 8);
    const uint64_t begin = at;
    at += 8 + uint64_t{size} + size % 2;
    if (id == Fourcc("LIST") && type == Fourcc("movi")) layout->movi = begin + 8;
    if (id != Fourcc("LIST") || type != Fourcc("hdrl") || begin + 8 + size > file_size) continue;
    walk(begin + 12, begin + 8 + size, [&](uint64_t h_at, uint32_t h_id, uint32_t h_size, uint32_t h_type) {
      if (h_id == Fourcc("avih") && h_size >= 20) layout->total_frames = h_at + 8 + 16;
      if ((h_id == Fourcc("LIST") || h_id == Fourcc("JUNK")) && h_type == Fourcc("odml")) {
        layout->odml = h_at;
        layout->odml_listed = h_id == Fourcc("LIST");
        walk(h_at + 12, h_at + 8 + h_size, [&](uint64_t d_at, uint32_t d_id, uint32_t d_size, uint32_t) {
          if (d_id == Fourcc("dmlh") && d_size >= 4) layout->all_frames = d_at + 8;
          return true;
        });
      }
      if (h_id == Fourcc("LIST") && h_type == Fourcc("strl") && !video) {
        walk(h_at + 12, h_at + 8 + h_size, [&](uint64_t s_at, uint32_t s_id, uint32_t s_size, uint32_t s_type) {
          if (s_id == Fourcc("strh") && s_type == Fourcc("vids") && s_size >= 40) {
            layout->length = s_at + 8 + 32;
            layout->suggested = s_at + 8 + 36;
            video = true;
          }
          // A super index of 4-word entries over standard indexes, or the
          // room a writer keeps for one.
          if ((s_id == Fourcc("indx") || s_id == Fourcc("JUNK")) && s_type == 4 &&
              s_size >= kSuperIndexHead) {
            layout->super_index = s_at;
            layout->super_entries =
                std::min((s_size - kSuperIndexHead) / kSuperEntryBytes, kMostParts);
          }
          return true;
        });
      }
      return true;
    });
  }
  if (layout->movi == 0 || layout->total_frames == 0 || !video) {
    *problem = "its headers are not whole (no main header, video stream or frame list)";
    return false;
  }
  return true;
}

// The frame chunks of a part written whole, up to `end`, and whether the
// writer closed it: its sizes set, its frame list ended by its standard
// index, all of it before `end`.
Part ReadPart(const FileAt& file, uint64_t start, uint64_t movi, uint64_t end) {
  Part part;
  part.start = start;
  part.movi = movi;
  const uint32_t size = Get(file, start + 4), list_size = Get(file, movi - 4);
  part.end = start + 8 + uint64_t{size} + size % 2;
  const uint64_t list_end = movi + list_size;
  const bool sized = size != kUnsetSize && list_size != kUnsetSize && part.end <= end &&
                     list_end <= part.end;
  const uint64_t limit = sized ? list_end : end;
  uint64_t at = movi + 4;
  while (at + 8 <= limit) {
    uint8_t h[8];
    if (!file.Read(at, h, 8)) break;
    const Frame f{at, LoadLe32(h), LoadLe32(h + 4)};
    const bool frame = f.id == Fourcc("00dc") || f.id == Fourcc("00db");
    if (FrameEnd(f) > limit || (!frame && f.id != Fourcc("ix00"))) break;
    at = FrameEnd(f);
    if (!frame) {
      part.index = f.offset;  // the standard index ends the frame list
      break;
    }
    part.frames.push_back(f);
  }
  part.closed = sized && part.index != 0 && at == list_end;
  return part;
}

// The frame list of the OpenDML part at `at`, or 0 when none starts there.
uint64_t NextPartMovi(const FileAt& file, uint64_t at, uint64_t end) {
  uint8_t h[24];
  if (at + 24 > end || !file.Read(at, h, 24) || LoadLe32(h) != Fourcc("RIFF") ||
      LoadLe32(h + 8) != Fourcc("AVIX") || LoadLe32(h + 12) != Fourcc("LIST") ||
      LoadLe32(h + 20) != Fourcc("movi")) {
    return 0;
  }
  return at + 20;
}

// The index of a part's frames: idx1 behind the first part's frame list, as a
// plain AVI file has it, or the standard index at the end of an OpenDML
// part's list.
std::vector<uint8_t> PartIndex(const Part& part, bool old_index) {
  const std::size_t entry_bytes = old_index ? kIndexEntryBytes : kStandardEntryBytes;
  const std::size_t head = old_index ? 8 : 8 + kStandardIndexHead;
  std::vector<uint8_t> index(head + entry_bytes * part.frames.size());
  StoreLe32(index.data(), old_index ? Fourcc("idx1") : Fourcc("ix00"));
  StoreLe32(index.data() + 4, static_cast<uint32_t>(index.size() - 8));
  if (!old_index) {
    StoreLe32(index.data() + 8, 2 | 1u << 24);  // 2 words an entry, an index of chunks
    StoreLe32(index.data() + 12, static_cast<uint32_t>(part.frames.size()));
    StoreLe32(index.data() + 16, part.frames.empty() ? Fourcc("00dc") : part.frames[0].id);
    StoreLe32(index.data() + 20, static_cast<uint32_t>(part.movi));
    StoreLe32(index.data() + 24, static_cast<uint32_t>(part.movi >> 32));
  }
  for (std::size_t i = 0; i < part.frames.size(); ++i) {
    const Frame& f = part.frames[i];
    uint8_t* entry = index.data() + head + entry_bytes * i;
    if (old_index) {
      StoreLe32(entry, f.id);
      StoreLe32(entry + 4, kKeyFrame);
      StoreLe32(entry + 8, static_cast<uint32_t>(f.offset - part.movi));
      StoreLe32(entry + 12, f.size);
    } else {
      StoreLe32(entry, static_cast<uint32_t>(f.offset + 8 - part.movi));
      StoreLe32(entry + 4, f.size);  // bit 31 clear: a key frame
    }
  }
  return index;
}

// Cuts the last part behind its last whole frame and indexes its frames
// there, with one frame less while the index finds no room. A part
// other than the first left without frames goes.
bool CloseLastPart(FileAt& file, std::vector<Part>* parts, std::string* problem) {
  for (;;) {
    Part& part = parts->back();
    const bool first = parts->size() == 1;
    if (!first && part.frames.empty()) {
      parts->pop_back();
      return true;
    }
    const uint64_t cut = part.frames.empty() ? part.movi + 4 : FrameEnd(part.frames.back());
    if (!file.Truncate(cut)) {
      *problem = "cannot cut it to its whole frames";
      return false;
    }
    const std::vector<uint8_t> index = PartIndex(part, first);
    if (file.Write(cut, index.data(), index.size())) {
      part.index = first ? 0 : cut;
      part.end = cut + index.size();
      part.closed = true;
      if (Put(file, part.start + 4, part.end - part.start - 8) &&
          Put(file, part.movi - 4, (first ? cut : part.end) - part.movi)) {
        return true;
      }
      *problem = "cannot rewrite its sizes";
      return false;
    }
    if (part.frames.empty()) {
      *problem = "no room left even for an empty index";
      return false;
    }
    part.frames.pop_back();
  }
}

// Lists the parts' standard indexes in the super index and makes it and the
// OpenDML header list chunks that count, or, for a plain AVI file, room
// again.
bool WriteSuperIndex(FileAt& file, const Layout& layout, const std::vector<Part>& parts,
                     bool opendml) {
  if (layout.super_index == 0) return true;
  const std::size_t listed = opendml ? parts.size() : 0;
  std::vector<uint8_t> entries(kSuperEntryBytes * layout.super_entries, 0);
  for (std::size_t i = 0; i < listed; ++i) {
    const Part& part = parts[i];
    uint8_t* entry = entries.data() + kSuperEntryBytes * i;
    StoreLe32(entry, static_cast<uint32_t>(part.index));
    StoreLe32(entry + 4, static_cast<uint32_t>(part.index >> 32));
    StoreLe32(entry + 8, static_cast<uint32_t>(8 + kStandardIndexHead +
                                               kStandardEntryBytes * part.frames.size()));
    StoreLe32(entry + 12, static_cast<uint32_t>(part.frames.size()));
  }
  return Put(file, layout.super_index, opendml ? Fourcc("indx") : Fourcc("JUNK")) &&
         Put(file, layout.super_index + 8 + 4, listed) &&
         file.Write(layout.super_index + 8 + kSuperIndexHead, entries.data(), entries.size()) &&
         (!opendml || Put(file, layout.odml, Fourcc("LIST")));
}

}  // namespace

int64_t RepairAvi(FileAt& file, uint64_t written_end, std::string* problem) {
  const int64_t size = file.Size();
  if (size < 0) {
    *problem = "cannot tell its size";
    return -1;
  }
  const uint64_t end = std::min(static_cast<uint64_t>(size), written_end);
  Layout layout;
  if (!FindLayout(file, end, &layout, problem)) return -1;

  // The parts the writer closed stay as they are, as many as the super index
  // has room for. The first one it did not close is cut behind its last whole
  // frame and closed (or dropped, when it has none), and ends the file. The
  // first part is an OpenDML one only in a file with a super index.
  std::vector<Part> parts{ReadPart(file, 0, layout.movi, end)};
  parts[0].closed = parts[0].closed && layout.super_entries > 0;
  while (parts.back().closed && parts.size() < layout.super_entries) {
    const uint64_t movi = NextPartMovi(file, parts.back().end, end);
    if (movi == 0) break;
    parts.push_back(ReadPart(file, parts.back().end, movi, end));
  }
  if (!parts.back().closed && !CloseLastPart(file, &parts, problem)) return -1;
  if (!file.Truncate(parts.back().end)) {
    *problem = "cannot cut it to its whole frames";
    return -1;
  }

  const bool opendml = parts[0].index != 0;
  uint64_t all = 0;
  uint32_t largest = 0;
  for (const Part& part : parts) {
    all += part.frames.size();
    for (const Frame& f : part.frames) largest = std::max(largest, f.size);
  }
  const bool ok = WriteSuperIndex(file, layout, parts, opendml) &&
                  Put(file, layout.total_frames, parts[0].frames.size()) &&
                  Put(file, layout.length, all) && Put(file, layout.suggested, largest) &&
                  (!(opendml || layout.odml_listed) || Put(file, layout.all_frames, all));
  if (!ok) {
    *problem = "cannot rewrite its headers";
    return -1;
  }
  return static_cast<int64_t>(all);
}

}  // namespace voxa
