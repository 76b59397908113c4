#include "tools/kept_aside.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <utility>

#include "tools/exclusive_file.h"
#include "tools/output_file.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace voxa {
namespace {

namespace fs = std::filesystem;

constexpr int kAttempts = 100;

std::string Quoted(const std::string& path) { return "'" + path + "'"; }

}  // namespace

KeptAside::KeptAside(const std::string& path) : path_(path) {
  std::error_code error;
  const fs::file_status status = fs::symlink_status(path, error);
  if (!fs::exists(status)) return;
  if (fs::is_directory(status)) throw OutputRefused(Quoted(path) + " is a folder");
#if !defined(_WIN32)
  struct stat s;
  if (lstat(path.c_str(), &s) != 0) return;
  device_ = static_cast<uint64_t>(s.st_dev);
  inode_ = static_cast<uint64_t>(s.st_ino);
#endif
  const fs::path name = path;
  const ExclusiveFile::NameSource names = ExclusiveFile::RandomNames();
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    const std::string aside =
        (name.parent_path() / (".voxa-" + names() + "-" + name.filename().string())).string();
    const int moved = RenameNoReplace(path.c_str(), aside.c_str());
    if (moved == EEXIST) continue;
    if (moved != 0) {
      throw OutputRefused("cannot move " + Quoted(path) + " out of the way: " + std::strerror(moved));
    }
    aside_ = aside;
    return;
  }
  throw OutputRefused("cannot find a free name beside " + Quoted(path));
}

KeptAside::KeptAside(KeptAside&& other) noexcept
    : path_(std::move(other.path_)), aside_(std::exchange(other.aside_, {})),
      device_(other.device_), inode_(other.inode_) {}

bool KeptAside::IsOurs() const {
#if defined(_WIN32)
  return GetFileAttributesA(aside_.c_str()) != INVALID_FILE_ATTRIBUTES;
#else
  struct stat s;
  return lstat(aside_.c_str(), &s) == 0 && static_cast<uint64_t>(s.st_dev) == device_ &&
         static_cast<uint64_t>(s.st_ino) == inode_;
#endif
}

void KeptAside::PutBack() {
  if (aside_.empty()) return;
  if (IsOurs()) {
#if defined(_WIN32)
    MoveFileExA(aside_.c_str(), path_.c_str(), MOVEFILE_REPLACE_EXISTING);
#else
    std::rename(aside_.c_str(), path_.c_str());
#endif
  }
  aside_.clear();
}

void KeptAside::Drop() {
  if (aside_.empty()) return;
  if (IsOurs()) {
#if defined(_WIN32)
    DeleteFileA(aside_.c_str());
#else
    unlink(aside_.c_str());
#endif
  }
  aside_.clear();
}

}  // namespace voxa
