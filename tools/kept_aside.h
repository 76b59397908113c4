// An old file moved out of the way of its replacement: it waits beside its
// name, as ".voxa-RANDOM-name", until the replacement is in place (then it
// goes) or a later step of the same commit fails (then it is put back). The
// run knows it by its identity, as it knows its own files
// (tools/exclusive_file.h): it never removes or moves back a file that
// someone put at the waiting name meanwhile.
#pragma once

#include <cstdint>
#include <string>

namespace voxa {

class KeptAside {
 public:
  // Keeps nothing.
  KeptAside() = default;
  // Moves what has the name `path` aside: a file or a link; nothing when
  // the name is free. Throws OutputRefused, for a folder too.
  explicit KeptAside(const std::string& path);
  KeptAside(KeptAside&& other) noexcept;
  KeptAside& operator=(KeptAside&&) = delete;
  KeptAside(const KeptAside&) = delete;
  KeptAside& operator=(const KeptAside&) = delete;
  // Whatever it keeps is put back.
  ~KeptAside() { PutBack(); }

  // Puts it back under its name, over whatever has that name now.
  void PutBack();
  // Removes it for good: its replacement is in place.
  void Drop();

 private:
  bool IsOurs() const;

  std::string path_, aside_;  // aside_ empty: nothing kept
  uint64_t device_ = 0, inode_ = 0;
};

}  // namespace voxa
