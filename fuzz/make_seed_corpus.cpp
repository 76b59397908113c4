// Writes the fuzz target's seed inputs, one file each, into a directory.
//
//   voxa_fuzz_seeds DIRECTORY
#include <cstdio>
#include <fstream>
#include <string>

#include "fuzz/seed_inputs.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s DIRECTORY\n", argv[0]);
    return 2;
  }
  const std::string directory = argv[1];
  std::size_t count = 0, largest = 0;
  for (const voxa::fuzz::SeedInput& seed : voxa::fuzz::MakeSeedInputs()) {
    const std::string path = directory + "/" + seed.name;
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(seed.bytes.data()),
              static_cast<std::streamsize>(seed.bytes.size()));
    if (!out) {
      std::fprintf(stderr, "voxa_fuzz_seeds: cannot write %s\n", path.c_str());
      return 1;
    }
    ++count;
    if (seed.bytes.size() > largest) largest = seed.bytes.size();
  }
  std::printf("wrote %zu seed inputs to %s, the largest %zu bytes\n", count, directory.c_str(),
              largest);
  return 0;
}
