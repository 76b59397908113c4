// The coder objects a begin message builds inside an instance.
#pragma once

#include "driver/private_heap.h"

namespace voxa {

class FrameEncoder : public HeapObject {
 public:
  virtual ~FrameEncoder() = default;
};

class FrameDecoder : public HeapObject {
 public:
  virtual ~FrameDecoder() = default;
};

}  // namespace voxa
