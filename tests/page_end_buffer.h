// A buffer that ends where a page without access begins: a read or write
// one byte past its end faults at once, instead of landing in memory that
// happens to be there. With 0 bytes, data() is the start of that page.
#pragma once

#include <cstddef>
#include <cstdint>

#if defined(_WIN32)
#include <windows.h>
#else
#include <sys/mman.h>
#endif

namespace voxa::test {

class PageEndBuffer {
 public:
  explicit PageEndBuffer(std::size_t bytes) {
    const std::size_t usable = (bytes + kPage - 1) / kPage * kPage;
    size_ = usable + kPage;
#if defined(_WIN32)
    base_ = static_cast<uint8_t*>(VirtualAlloc(nullptr, size_, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
    DWORD old;
    if (base_ != nullptr) VirtualProtect(base_ + usable, kPage, PAGE_NOACCESS, &old);
#else
    void* p = mmap(nullptr, size_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    base_ = p == MAP_FAILED ? nullptr : static_cast<uint8_t*>(p);
    if (base_ != nullptr) mprotect(base_ + usable, kPage, PROT_NONE);
#endif
    data_ = base_ == nullptr ? nullptr : base_ + usable - bytes;
  }
  ~PageEndBuffer() {
#if defined(_WIN32)
    VirtualFree(base_, 0, MEM_RELEASE);
#else
    munmap(base_, size_);
#endif
  }
  PageEndBuffer(const PageEndBuffer&) = delete;
  PageEndBuffer& operator=(const PageEndBuffer&) = delete;

  uint8_t* data() const { return data_; }

 private:
  static constexpr std::size_t kPage = 4096;
  uint8_t* base_ = nullptr;
  uint8_t* data_ = nullptr;
  std::size_t size_ = 0;
};

}  // namespace voxa::test
