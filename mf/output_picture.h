// An output sample's buffer locked as the picture the codec decodes into.
// A 2D buffer is locked as one (its pitch wins over the type's stride:
// negative for a bottom-up surface); any other buffer holds the picture at
// the output type's stride. The buffer is unlocked when the object goes.
#pragma once

#include <windows.h>

#include <mfobjects.h>

#include "mf/media_types.h"
#include "voxa/voxa.h"

namespace voxa::mf {

class OutputPicture {
 public:
  OutputPicture() = default;
  OutputPicture(const OutputPicture&) = delete;
  OutputPicture& operator=(const OutputPicture&) = delete;
  ~OutputPicture();

  // S_OK; MF_E_BUFFERTOOSMALL for a buffer that cannot hold the picture (a
  // 2D buffer: lines shorter than the width or too few of them), nothing
  // written; or the buffer's own failure.
  HRESULT Lock(IMFMediaBuffer* buffer, const InputFormat& format, const OutputLayout& layout);

  // Every line transparent (alpha 0, colour 0), then the frame decoded into
  // it: blocks a damaged frame leaves out stay transparent. The buffer's
  // current length is the picture's. Returns voxa_decode()'s status.
  int Decode(const uint8_t* frame, size_t size);

 private:
  IMFMediaBuffer* buffer_ = nullptr;  // held while locked
  IMF2DBuffer* surface_ = nullptr;    // the same buffer, when it is a 2D one
  DWORD length_ = 0;                  // its current length once written
  voxa_picture picture_{};
};

}  // namespace voxa::mf
