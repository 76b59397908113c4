// A file the run made itself, under a name nobody could have chosen for it.
//
// It is made beside its final name as ".voxa-RANDOM-name", exclusively: a
// name that exists in any form (a file, a link to someone's file, a FIFO
// planted there) is never opened, and another random name is tried. Its
// mode is 0600 until it is moved into place. The run knows the file by its
// identity (device and inode), not by its name: it removes or moves only the
// file it made, never whatever has that name later.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>

#include "tools/file_descriptor.h"

namespace voxa {

class ExclusiveFile {
 public:
  // The random part of a temporary name; tests give their own.
  using NameSource = std::function<std::string()>;
  static NameSource RandomNames();

  // Makes the file beside `final_path`. Throws OutputRefused.
  explicit ExclusiveFile(const std::filesystem::path& final_path,
                         const NameSource& names = RandomNames());
  // Removes the file unless it was moved into place, if its name is still
  // this run's file.
  ~ExclusiveFile();
  ExclusiveFile(ExclusiveFile&& other) noexcept;
  ExclusiveFile& operator=(ExclusiveFile&&) = delete;
  ExclusiveFile(const ExclusiveFile&) = delete;
  ExclusiveFile& operator=(const ExclusiveFile&) = delete;

  const std::string& path() const { return path_; }
  // Open for reading and writing until CloseDescriptor or MoveInto; -1 after.
  int fd() const { return fd_.get(); }
  // Closes the descriptor (the file stays). Throws OutputRefused when the
  // system reports a write error on closing.
  void CloseDescriptor();

  // Whether its name still names the file this run made.
  bool IsOurs() const;
  // Removes it, if its name is still this run's file (also after a move:
  // the file moved into place goes again).
  void Remove();

  // Gives the file `mode` and the name `final_path`. Without `replace` a file
  // at that name is never replaced: the move fails instead; with it, the
  // file's contents reach the disk before the move (fsync). Throws
  // OutputRefused; `exists_message` is the reason given when a file is there.
  void MoveInto(const std::string& final_path, bool replace, unsigned mode,
                const std::string& exists_message);

 private:
  std::string path_;
  UniqueFd fd_;
  uint64_t device_ = 0, inode_ = 0;
  bool moved_ = false;
  bool removed_ = false;
};

// The mode a new file gets: 0666 less the process's umask (as it was when
// the program started).
unsigned NewFileMode();

// Moves `from` to `to` unless something has the name `to`: in one step where
// the file system can (renameat2 with RENAME_NOREPLACE), else by a hard link
// (which also fails on an existing name) and the removal of the old name.
// Returns 0 or an errno value; EEXIST when `to` is taken.
int RenameNoReplace(const char* from, const char* to);

}  // namespace voxa
