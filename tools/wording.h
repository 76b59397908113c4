// How the tool's messages count things.
#pragma once

#include <cstdint>
#include <string>

namespace voxa {

// "1 frame", "12 frames": `noun` is the singular, made plural with an "s".
inline std::string Counted(uint64_t count, const std::string& noun) {
  return std::to_string(count) + " " + noun + (count == 1 ? "" : "s");
}

}  // namespace voxa
