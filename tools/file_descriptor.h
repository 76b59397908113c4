// Files by descriptor: an owning handle, and reads and writes at given
// offsets. A file the tool made is then worked on through the descriptor it
// was made with, never opened again by a name someone else could change.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace voxa {

// Owns a descriptor: closed when it goes.
class UniqueFd {
 public:
  UniqueFd() = default;
  explicit UniqueFd(int fd) : fd_(fd) {}
  ~UniqueFd() { Reset(); }
  UniqueFd(UniqueFd&& other) noexcept : fd_(other.Release()) {}
  UniqueFd& operator=(UniqueFd&& other) noexcept;
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;

  int get() const { return fd_; }
  explicit operator bool() const { return fd_ >= 0; }
  int Release();
  // Closes the descriptor; false when closing reported a write error.
  bool Reset();

 private:
  int fd_ = -1;
};

// Reads and writes at offsets of a file open for both; the descriptor stays
// its owner's.
class FileAt {
 public:
  explicit FileAt(int fd) : fd_(fd) {}
  // The whole range, or false.
  bool Read(uint64_t at, void* bytes, std::size_t n) const;
  bool Write(uint64_t at, const void* bytes, std::size_t n);
  bool Truncate(uint64_t size);
  // The file's size, or -1.
  int64_t Size() const;

 private:
  int fd_;
};

// Opens an existing file, device or FIFO for writing as it is: not made, not
// cut, and without waiting (a FIFO without a reader fails with ENXIO). Empty
// (errno set) when it cannot be opened.
UniqueFd OpenForWriting(const std::string& path);
// Opens a file, device or FIFO for reading without waiting for a writer.
UniqueFd OpenForReading(const std::string& path);

// Writes all of `bytes` at the descriptor's position; false on an error,
// and with errno EINTR once the run is interrupted (tools/interrupt.h).
// Waits for a FIFO or pipe in a wait that a signal ends.
bool WriteAll(int fd, const void* bytes, std::size_t n);
// Reads what is there, up to `n` bytes, waiting as WriteAll does: the count,
// 0 at the end, -1 on an error (EINTR once interrupted).
long ReadSome(int fd, void* bytes, std::size_t n);

}  // namespace voxa
