#include "tools/file_descriptor.h"

#include <cerrno>
#include <cstdio>

#include <fcntl.h>

#include "tools/interrupt.h"

#if defined(_WIN32)
#include <io.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace voxa {

UniqueFd& UniqueFd::operator=(UniqueFd&& other) noexcept {
  if (this != &other) {
    Reset();
    fd_ = other.Release();
  }
  return *this;
}

int UniqueFd::Release() {
  const int fd = fd_;
  fd_ = -1;
  return fd;
}

bool UniqueFd::Reset() {
  if (fd_ < 0) return true;
#if defined(_WIN32)
  const bool ok = _close(fd_) == 0;
#else
  const bool ok = close(fd_) == 0;
#endif
  fd_ = -1;
  return ok;
}

UniqueFd OpenForWriting(const std::string& path) {
#if defined(_WIN32)
  return UniqueFd(_open(path.c_str(), _O_WRONLY | _O_BINARY | _O_NOINHERIT));
#else
  return UniqueFd(open(path.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
#endif
}

UniqueFd OpenForReading(const std::string& path) {
#if defined(_WIN32)
  return UniqueFd(_open(path.c_str(), _O_RDONLY | _O_BINARY | _O_NOINHERIT));
#else
  return UniqueFd(open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
#endif
}

#if defined(_WIN32)

bool FileAt::Read(uint64_t at, void* bytes, std::size_t n) const {
  if (_lseeki64(fd_, static_cast<__int64>(at), SEEK_SET) < 0) return false;
  auto* p = static_cast<char*>(bytes);
  while (n > 0) {
    const int got = _read(fd_, p, static_cast<unsigned>(n));
    if (got <= 0) return false;
    p += got;
    n -= static_cast<std::size_t>(got);
  }
  return true;
}

bool FileAt::Write(uint64_t at, const void* bytes, std::size_t n) {
  return _lseeki64(fd_, static_cast<__int64>(at), SEEK_SET) >= 0 && WriteAll(fd_, bytes, n);
}

bool FileAt::Truncate(uint64_t size) { return _chsize_s(fd_, static_cast<__int64>(size)) == 0; }

int64_t FileAt::Size() const { return _filelengthi64(fd_); }

bool WriteAll(int fd, const void* bytes, std::size_t n) {
  const auto* p = static_cast<const char*>(bytes);
  while (n > 0) {
    const int put = _write(fd, p, static_cast<unsigned>(n));
    if (put <= 0) return false;
    p += put;
    n -= static_cast<std::size_t>(put);
  }
  return true;
}

long ReadSome(int fd, void* bytes, std::size_t n) {
  return _read(fd, bytes, static_cast<unsigned>(n));
}

#else

bool FileAt::Read(uint64_t at, void* bytes, std::size_t n) const {
  auto* p = static_cast<char*>(bytes);
  while (n > 0) {
    const ssize_t got = pread(fd_, p, n, static_cast<off_t>(at));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    p += got;
    at += static_cast<uint64_t>(got);
    n -= static_cast<std::size_t>(got);
  }
  return true;
}

bool FileAt::Write(uint64_t at, const void* bytes, std::size_t n) {
  const auto* p = static_cast<const char*>(bytes);
  while (n > 0) {
    const ssize_t put = pwrite(fd_, p, n, static_cast<off_t>(at));
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) return false;
    p += put;
    at += static_cast<uint64_t>(put);
    n -= static_cast<std::size_t>(put);
  }
  return true;
}

bool FileAt::Truncate(uint64_t size) { return ftruncate(fd_, static_cast<off_t>(size)) == 0; }

int64_t FileAt::Size() const {
  struct stat s;
  return fstat(fd_, &s) == 0 ? static_cast<int64_t>(s.st_size) : -1;
}

// A FIFO, pipe or terminal is waited for until it takes (or has) bytes;
// the wait and the call itself end when a signal comes. A regular file
// never makes the run wait: it is written after a signal too (what
// --keep-partial keeps).
bool WriteAll(int fd, const void* bytes, std::size_t n) {
  struct stat s;
  const bool waits = fstat(fd, &s) != 0 || !S_ISREG(s.st_mode);
  const auto* p = static_cast<const char*>(bytes);
  while (n > 0) {
    if (waits && !WaitForDescriptor(fd, true)) {
      errno = EINTR;
      return false;
    }
    const ssize_t put = write(fd, p, n);
    if (put < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    if (put <= 0) return false;
    p += put;
    n -= static_cast<std::size_t>(put);
  }
  return true;
}

long ReadSome(int fd, void* bytes, std::size_t n) {
  for (;;) {
    if (!WaitForDescriptor(fd, false)) {
      errno = EINTR;
      return -1;
    }
    const ssize_t got = read(fd, bytes, n);
    if (got >= 0 || (errno != EINTR && errno != EAGAIN)) return static_cast<long>(got);
  }
}

#endif

}  // namespace voxa
