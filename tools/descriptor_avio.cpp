#include "tools/descriptor_avio.h"

#include <unistd.h>

#include <cerrno>
#include <new>

#include "tools/file_descriptor.h"

namespace voxa {
namespace {

constexpr int kBufferBytes = 1 << 16;

int Fd(void* opaque) { return static_cast<int>(reinterpret_cast<intptr_t>(opaque)); }

int WritePacket(void* opaque, uint8_t* bytes, int size) {
  return WriteAll(Fd(opaque), bytes, static_cast<std::size_t>(size)) ? size : AVERROR(errno ? errno : EIO);
}

int64_t Seek(void* opaque, int64_t offset, int whence) {
  if (whence == AVSEEK_SIZE) {
    const int64_t size = FileAt(Fd(opaque)).Size();
    return size >= 0 ? size : AVERROR(errno);
  }
  const off_t at = lseek(Fd(opaque), static_cast<off_t>(offset), whence & ~AVSEEK_FORCE);
  return at >= 0 ? static_cast<int64_t>(at) : AVERROR(errno);
}

}  // namespace

void AvioDeleter::operator()(AVIOContext* context) const {
  avio_flush(context);
  av_freep(&context->buffer);
  avio_context_free(&context);
}

AvioPtr DescriptorAvio(int fd) {
  auto* buffer = static_cast<unsigned char*>(av_malloc(kBufferBytes));
  if (buffer == nullptr) throw std::bad_alloc();
  void* opaque = reinterpret_cast<void*>(static_cast<intptr_t>(fd));
  const bool seekable = lseek(fd, 0, SEEK_CUR) >= 0;
  AVIOContext* context = avio_alloc_context(buffer, kBufferBytes, 1, opaque, nullptr, WritePacket,
                                            seekable ? Seek : nullptr);
  if (context == nullptr) {
    av_free(buffer);
    throw std::bad_alloc();
  }
  context->seekable = seekable ? AVIO_SEEKABLE_NORMAL : 0;
  return AvioPtr(context);
}

}  // namespace voxa
