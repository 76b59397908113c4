// Seed inputs for the frame decoder fuzz target, in its input layout (see
// decode_frame_check.h): encoded sample frames of small sizes in both
// formats, and frames damaged by hand in the ways real files go wrong.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace voxa::fuzz {

struct SeedInput {
  std::string name;  // usable as a file name
  std::vector<uint8_t> bytes;
};

std::vector<SeedInput> MakeSeedInputs();

}  // namespace voxa::fuzz
