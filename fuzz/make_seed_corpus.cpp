// Writes the fuzz target's seed inputs into a directory, one file for each
// seed and kernel variant.
//
//   voxa_fuzz_seeds DIRECTORY
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "fuzz/decode_frame_check.h"
#include "fuzz/seed_inputs.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s DIRECTORY\n", argv[0]);
    return 2;
  }
  const std::string directory = argv[1];
  std::size_t count = 0, largest = 0;
  const struct {
    voxa::KernelVariant variant;
    const char* name;
  } variants[] = {{voxa::KernelVariant::kPortable, "portable"},
                  {voxa::KernelVariant::kSse, "sse"},
                  {voxa::KernelVariant::kSse2, "sse2"},
                  {voxa::KernelVariant::kAvx2, "avx2"}};
  for (const voxa::fuzz::SeedInput& seed : voxa::fuzz::MakeSeedInputs()) {
    for (const auto& v : variants) {
      const std::vector<uint8_t> bytes = voxa::fuzz::WithVariant(seed.bytes, v.variant);
      const std::string path = directory + "/" + seed.name + "-" + v.name;
      std::ofstream out(path, std::ios::binary | std::ios::trunc);
      out.write(reinterpret_cast<const char*>(bytes.data()),
                static_cast<std::streamsize>(bytes.size()));
      if (!out) {
        std::fprintf(stderr, "voxa_fuzz_seeds: cannot write %s\n", path.c_str());
        return 1;
      }
      ++count;
      if (bytes.size() > largest) largest = bytes.size();
    }
  }
  std::printf("wrote %zu seed inputs to %s, the largest %zu bytes\n", count, directory.c_str(),
              largest);
  return 0;
}
