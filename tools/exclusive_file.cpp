#include "tools/exclusive_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <random>

#include "tools/output_file.h"

#if defined(_WIN32)
#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace voxa {
namespace {

namespace fs = std::filesystem;

constexpr int kAttempts = 100;
constexpr std::size_t kRandomCharacters = 12;

std::string Quoted(const std::string& path) { return "'" + path + "'"; }

std::string SystemError(int error) { return std::strerror(error); }

#if !defined(_WIN32)
struct Identity {
  uint64_t device = 0, inode = 0;
};

bool IdentityOf(const struct stat& s, Identity* id) {
  if (!S_ISREG(s.st_mode)) return false;
  *id = Identity{static_cast<uint64_t>(s.st_dev), static_cast<uint64_t>(s.st_ino)};
  return true;
}

// The process's umask, read once before any thread runs: reading it means
// setting it for a moment, and a file another thread made meanwhile would
// get the wrong mode.
const mode_t kUmask = [] {
  const mode_t mask = umask(0);
  umask(mask);
  return mask;
}();
#endif

}  // namespace

#if defined(_WIN32)
int RenameNoReplace(const char* from, const char* to) {
  if (MoveFileExA(from, to, 0)) return 0;
  const DWORD error = GetLastError();
  return error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS ? EEXIST : EIO;
}
#else
int RenameNoReplace(const char* from, const char* to) {
  if (renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE) == 0) return 0;
  if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) return errno;
  if (link(from, to) == 0) return unlink(from) == 0 ? 0 : errno;
  if (errno == EEXIST) return EEXIST;
  // Neither (a file system without hard links): the name is checked, then
  // taken; only this last resort leaves a moment between the two.
  struct stat s;
  if (lstat(to, &s) == 0) return EEXIST;
  return rename(from, to) == 0 ? 0 : errno;
}
#endif

ExclusiveFile::NameSource ExclusiveFile::RandomNames() {
  return [] {
    static const char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    thread_local std::mt19937_64 generator{std::random_device{}()};
    std::uniform_int_distribution<std::size_t> pick(0, sizeof kLetters - 2);
    std::string name;
    for (std::size_t i = 0; i < kRandomCharacters; ++i) name += kLetters[pick(generator)];
    return name;
  };
}

ExclusiveFile::ExclusiveFile(const fs::path& final_path, const NameSource& names) {
  const std::string base = final_path.filename().string();
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    const std::string candidate = (final_path.parent_path() / (".voxa-" + names() + "-" + base)).string();
#if defined(_WIN32)
    const int fd = _open(candidate.c_str(), _O_RDWR | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT,
                         _S_IREAD | _S_IWRITE);
#else
    const int fd = open(candidate.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
#endif
    if (fd < 0) {
      if (errno == EEXIST) continue;  // taken, whatever it is: another name
      throw OutputRefused("cannot create a file beside " + Quoted(final_path.string()) + ": " +
                          SystemError(errno));
    }
    fd_ = UniqueFd(fd);
    path_ = candidate;
#if !defined(_WIN32)
    struct stat s;
    Identity id;
    if (fstat(fd, &s) != 0 || !IdentityOf(s, &id)) {
      throw OutputRefused("cannot create a file beside " + Quoted(final_path.string()));
    }
    device_ = id.device;
    inode_ = id.inode;
#endif
    return;
  }
  throw OutputRefused("cannot find a free name for a file beside " + Quoted(final_path.string()));
}

ExclusiveFile::ExclusiveFile(ExclusiveFile&& other) noexcept
    : path_(std::move(other.path_)), fd_(std::move(other.fd_)), device_(other.device_),
      inode_(other.inode_), moved_(other.moved_), removed_(other.removed_) {
  other.removed_ = true;
}

ExclusiveFile::~ExclusiveFile() {
  if (!moved_) Remove();
}

void ExclusiveFile::CloseDescriptor() {
  if (!fd_.Reset()) throw OutputRefused("cannot write " + Quoted(path_) + ": " + SystemError(errno));
}

bool ExclusiveFile::IsOurs() const {
#if defined(_WIN32)
  // Windows lets nobody else rename or remove a file this run has open; a
  // closed one is known by its name.
  const DWORD attributes = GetFileAttributesA(path_.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES &&
         (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) == 0;
#else
  struct stat s;
  Identity id;
  return lstat(path_.c_str(), &s) == 0 && IdentityOf(s, &id) && id.device == device_ &&
         id.inode == inode_;
#endif
}

void ExclusiveFile::Remove() {
  if (removed_) return;
  removed_ = true;
  fd_.Reset();
  if (!IsOurs()) return;
#if defined(_WIN32)
  DeleteFileA(path_.c_str());
#else
  unlink(path_.c_str());
#endif
}

void ExclusiveFile::MoveInto(const std::string& final_path, bool replace, unsigned mode,
                             const std::string& exists_message) {
  if (!IsOurs()) {
    throw OutputRefused(Quoted(path_) + " was replaced by another file while this run wrote it; " +
                        Quoted(final_path) + " is left as it was");
  }
#if defined(_WIN32)
  CloseDescriptor();
  _chmod(path_.c_str(), (mode & 0200) != 0 ? _S_IREAD | _S_IWRITE : _S_IREAD);
  if (!MoveFileExA(path_.c_str(), final_path.c_str(), replace ? MOVEFILE_REPLACE_EXISTING : 0)) {
    const DWORD error = GetLastError();
    if (error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS) throw OutputRefused(exists_message);
    throw OutputRefused("cannot move the finished file into place as " + Quoted(final_path));
  }
#else
  // The mode goes through a descriptor of this very file.
  UniqueFd opened(fd_ ? -1 : open(path_.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
  const int fd = fd_ ? fd_.get() : opened.get();
  struct stat s;
  Identity id;
  if (fd < 0 || fstat(fd, &s) != 0 || !IdentityOf(s, &id) || id.device != device_ ||
      id.inode != inode_ || fchmod(fd, static_cast<mode_t>(mode)) != 0) {
    throw OutputRefused("cannot give " + Quoted(path_) + " its mode: " + SystemError(errno));
  }
  // A file that replaces another is on the disk before it does: a crash
  // never leaves an empty file where the old one was.
  if (replace && fsync(fd) != 0) {
    throw OutputRefused("cannot write " + Quoted(path_) + ": " + SystemError(errno));
  }
  opened.Reset();
  CloseDescriptor();
  const int error = replace ? (rename(path_.c_str(), final_path.c_str()) == 0 ? 0 : errno)
                            : RenameNoReplace(path_.c_str(), final_path.c_str());
  if (error == EEXIST) throw OutputRefused(exists_message);
  if (error != 0) {
    throw OutputRefused("cannot move the finished file into place as " + Quoted(final_path) +
                        ": " + SystemError(error));
  }
#endif
  path_ = final_path;
  moved_ = true;
}

unsigned NewFileMode() {
#if defined(_WIN32)
  return 0666;
#else
  return 0666 & ~static_cast<unsigned>(kUmask);
#endif
}

}  // namespace voxa
