#include "tools/frame_inspect.h"

#include <cstdio>

#include "codec/field_payload.h"
#include "codec/frame_container.h"

namespace voxa {
namespace {

std::string Hex(uint32_t v) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(v));
  return text;
}

std::string TagName(uint32_t tag) {
  if (tag == kFirstFieldTag) return Hex(tag) + " (field 32)";
  if (tag == kSecondFieldTag) return Hex(tag) + " (field 0x80000020)";
  return Hex(tag) + " (not a field)";
}

uint64_t Magnitude(int32_t word) {
  return word < 0 ? static_cast<uint64_t>(-static_cast<int64_t>(word))
                  : static_cast<uint64_t>(word);
}

void PrintRunWords(const std::vector<int32_t>& words, std::ostream& out) {
  constexpr std::size_t kWordsPerLine = 12;
  for (std::size_t i = 0; i < words.size(); ++i) {
    out << (i % kWordsPerLine == 0 ? "    " : " ");
    if (words[i] > 0) out << '+';
    out << words[i];
    if (i % kWordsPerLine == kWordsPerLine - 1 || i + 1 == words.size()) out << '\n';
  }
}

}  // namespace

PayloadSummary SummarizePayload(const uint8_t* payload, std::size_t size,
                                std::optional<uint64_t> expected_blocks) {
  PayloadSummary s;
  std::size_t pos = 0;
  int32_t previous = 0;
  while (pos < size) {
    if (size - pos < kRunWordBytes) {
      s.problems.push_back("payload ends with " + std::to_string(size - pos) +
                           " stray bytes at offset " + std::to_string(pos) +
                           ", too few for a run word");
      break;
    }
    const int32_t word = LoadRunWord(payload + pos);
    const std::size_t word_offset = pos;
    pos += kRunWordBytes;
    s.run_words.push_back(word);
    if (word == 0) {
      ++s.zero_words;
      if (size != kRunWordBytes) {
        s.problems.push_back("zero run word at offset " + std::to_string(word_offset) +
                             " (only a field without blocks has one)");
      }
    } else if (word < 0) {
      s.transparent_blocks += Magnitude(word);
    } else {
      const uint64_t needed = Magnitude(word) * kLiteralBlockBytes;
      const uint64_t left = size - pos;
      if (needed > left) {
        s.literal_blocks += left / kLiteralBlockBytes;
        s.problems.push_back("run word +" + std::to_string(word) + " at offset " +
                             std::to_string(word_offset) + " announces " +
                             std::to_string(needed) + " bytes of literal blocks but only " +
                             std::to_string(left) + " follow");
        break;
      }
      s.literal_blocks += Magnitude(word);
      pos += static_cast<std::size_t>(needed);
    }
    if (previous != 0 && word != 0 && (previous < 0) == (word < 0)) {
      s.problems.push_back("run words at offset " + std::to_string(word_offset) +
                           " and before it have the same sign (an encoder would have "
                           "extended one word)");
    }
    previous = word;
  }
  if (expected_blocks) {
    const uint64_t coded = s.literal_blocks + s.transparent_blocks + s.zero_words;
    const bool empty_field = *expected_blocks == 0 && s.run_words.size() == 1 &&
                             s.zero_words == 1;
    if (!empty_field && coded != *expected_blocks) {
      s.problems.push_back("the field has " + std::to_string(*expected_blocks) +
                           " blocks but the payload codes " + std::to_string(coded));
    }
  }
  return s;
}

bool InspectFrame(const uint8_t* frame, std::size_t size, std::optional<FrameSize> frame_size,
                  std::ostream& out) {
  out << "frame: " << size << " bytes\n";
  if (!HasFrameMagic(frame, size)) {
    out << "error: the frame does not start with the magic \"QTZ1\"\n";
    return false;
  }
  bool ok = true;
  ChunkWalker walker(frame + kFrameMagicBytes, size - kFrameMagicBytes);
  Chunk chunk;
  int field_chunks = 0;
  for (int index = 0; walker.Next(&chunk); ++index) {
    out << "chunk " << index << " at offset " << chunk.offset + kFrameMagicBytes << ": tag "
        << TagName(chunk.tag) << ", length " << chunk.length << '\n';
    if (chunk.available < chunk.length) {
      out << "error: the chunk's length runs " << chunk.length - chunk.available
          << " bytes past the end of the frame\n";
      ok = false;
    }
    if (chunk.tag != kFirstFieldTag && chunk.tag != kSecondFieldTag) continue;
    if (++field_chunks > 2) {
      out << "  (a third field chunk: decoders ignore it)\n";
      continue;
    }
    std::optional<uint64_t> expected;
    if (frame_size) expected = FieldBlockCount(frame_size->width, frame_size->height / 2);
    const PayloadSummary s = SummarizePayload(chunk.payload, chunk.available, expected);
    out << "  " << s.run_words.size() << " run words, " << s.literal_blocks
        << " literal blocks, " << s.transparent_blocks << " transparent blocks\n";
    PrintRunWords(s.run_words, out);
    for (const std::string& problem : s.problems) out << "error: " << problem << '\n';
    if (!s.problems.empty()) ok = false;
  }
  switch (walker.stop()) {
    case ChunkWalker::Stop::kHeaderCut:
      out << "error: " << size - kFrameMagicBytes - walker.position()
          << " bytes at offset " << walker.position() + kFrameMagicBytes
          << " are too few for a chunk header\n";
      ok = false;
      break;
    default:
      break;
  }
  if (field_chunks == 0) {
    out << "error: the frame has no field chunk (tag 0x00000020 or 0x80000020)\n";
    ok = false;
  } else if (field_chunks == 1) {
    out << "note: only one field chunk: decoders use it for both fields\n";
  }
  return ok;
}

}  // namespace voxa
