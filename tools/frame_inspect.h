// A readable account of a compressed frame: its chunks, and per field the run
// words and the blocks they announce, with a precise word on anything that is
// not as the encoder writes it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace voxa {

struct PayloadSummary {
  std::vector<int32_t> run_words;
  uint64_t literal_blocks = 0;
  uint64_t transparent_blocks = 0;
  uint64_t zero_words = 0;
  std::vector<std::string> problems;  // empty for a well-formed payload
};

// Walks the run words of a payload of `size` bytes. With `expected_blocks`
// the payload is also checked against the field's block count.
PayloadSummary SummarizePayload(const uint8_t* payload, std::size_t size,
                                std::optional<uint64_t> expected_blocks);

struct FrameSize {
  uint32_t width;
  uint32_t height;
};

// Prints the frame's structure to `out`. Returns false, after saying what is
// wrong, when the frame is malformed.
bool InspectFrame(const uint8_t* frame, std::size_t size, std::optional<FrameSize> frame_size,
                  std::ostream& out);

}  // namespace voxa
