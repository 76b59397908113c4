// mft_probe: does an installed VOXA decoder reach Media Foundation programs
// of this bitness? It asks MFTEnumEx as a host does (VOXA video in, ARGB32
// out), activates what it finds, and decodes one 64x16 frame coded by
// libvoxa into the decoder's own sample; it registers nothing itself.
//
// Exit status 0 when the decoder was found and gave libvoxa's picture, 1 when
// MFTEnumEx finds none, 3 when what it found did not activate or decode so.
#include <windows.h>

#include <mfapi.h>
#include <mferror.h>
#include <mftransform.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "mf/transform_ids.h"
#include "voxa/voxa.h"

namespace {

const int kBits = static_cast<int>(sizeof(void*) * 8);
constexpr UINT32 kWidth = 64, kHeight = 16, kLine = kWidth * 4;

// The first decoder's picture of `frame`, bottom-up as its first type says.
bool Decode(IMFTransform* t, const std::vector<uint8_t>& frame, std::vector<uint8_t>* picture) {
  IMFMediaType *in = nullptr, *out = nullptr;
  IMFMediaBuffer* buffer = nullptr;
  IMFSample* sample = nullptr;
  MFT_OUTPUT_DATA_BUFFER output{};
  DWORD status = 0, length = 0;
  BYTE* data = nullptr;
  bool ok = SUCCEEDED(MFCreateMediaType(&in)) && SUCCEEDED(in->SetGUID(MF_MT_MAJOR_TYPE, MFMediaType_Video)) &&
            SUCCEEDED(in->SetGUID(MF_MT_SUBTYPE, voxa::mf::kVoxaSubtype)) &&
            SUCCEEDED(MFSetAttributeSize(in, MF_MT_FRAME_SIZE, kWidth, kHeight)) &&
            t->SetInputType(0, in, 0) == S_OK && t->GetOutputAvailableType(0, 0, &out) == S_OK &&
            t->SetOutputType(0, out, 0) == S_OK &&
            SUCCEEDED(MFCreateMemoryBuffer(static_cast<DWORD>(frame.size()), &buffer)) &&
            SUCCEEDED(buffer->Lock(&data, nullptr, nullptr));
  if (ok) {
    std::memcpy(data, frame.data(), frame.size());
    buffer->Unlock();
    buffer->SetCurrentLength(static_cast<DWORD>(frame.size()));
    ok = SUCCEEDED(MFCreateSample(&sample)) && SUCCEEDED(sample->AddBuffer(buffer)) &&
         t->ProcessInput(0, sample, 0) == S_OK && t->ProcessOutput(0, 1, &output, &status) == S_OK &&
         output.pSample != nullptr;
  }
  if (buffer != nullptr) buffer->Release(), buffer = nullptr;
  if (ok && SUCCEEDED(output.pSample->ConvertToContiguousBuffer(&buffer)) &&
      SUCCEEDED(buffer->Lock(&data, nullptr, &length))) {
    picture->assign(data, data + length);
    buffer->Unlock();
  }
  for (IUnknown* object : {static_cast<IUnknown*>(in), static_cast<IUnknown*>(out),
                           static_cast<IUnknown*>(buffer), static_cast<IUnknown*>(sample),
                           static_cast<IUnknown*>(output.pSample)}) {
    if (object != nullptr) object->Release();
  }
  return ok;
}

}  // namespace

int main() {
  if (FAILED(CoInitializeEx(nullptr, COINIT_MULTITHREADED)) || FAILED(MFStartup(MF_VERSION, MFSTARTUP_FULL))) {
    std::printf("mft_probe (%d-bit): Media Foundation does not start\n", kBits);
    return 3;
  }
  const MFT_REGISTER_TYPE_INFO in{MFMediaType_Video, voxa::mf::kVoxaSubtype};
  const MFT_REGISTER_TYPE_INFO out{MFMediaType_Video, MFVideoFormat_ARGB32};
  IMFActivate** found = nullptr;
  UINT32 count = 0;
  if (FAILED(MFTEnumEx(MFT_CATEGORY_VIDEO_DECODER, MFT_ENUM_FLAG_ALL, &in, &out, &found, &count)) || count == 0) {
    std::printf("mft_probe (%d-bit): MFTEnumEx finds no VOXA decoder for %d-bit programs\n", kBits, kBits);
    return 1;
  }
  // Left half transparent, right half opaque colours; bottom line first.
  std::vector<uint8_t> pixels(kLine * kHeight), frame(voxa_max_frame_bytes(kWidth, kHeight));
  std::vector<uint8_t> wanted(pixels.size()), decoded;
  for (UINT32 y = 0; y < kHeight; ++y) {
    for (UINT32 x = kWidth / 2; x < kWidth; ++x) {
      uint8_t* p = &pixels[y * kLine + x * 4];
      p[0] = static_cast<uint8_t>(60 + x), p[1] = static_cast<uint8_t>(180 - 4 * y), p[2] = 90, p[3] = 255;
    }
  }
  const voxa_picture picture{VOXA_BGRA, kWidth, kHeight, &pixels[(kHeight - 1) * kLine], -LONG{kLine}};
  const voxa_picture reference{VOXA_BGRA, kWidth, kHeight, &wanted[(kHeight - 1) * kLine], -LONG{kLine}};
  size_t size = 0;
  voxa_encode(&picture, VOXA_KERNELS_AUTO, frame.data(), frame.size(), &size);
  frame.resize(size);
  voxa_decode(frame.data(), frame.size(), VOXA_KERNELS_AUTO, &reference);
  IMFTransform* t = nullptr;
  const bool ok = SUCCEEDED(found[0]->ActivateObject(IID_IMFTransform, reinterpret_cast<void**>(&t))) &&
                  Decode(t, frame, &decoded) && decoded == wanted;
  if (t != nullptr) t->Release();
  for (UINT32 i = 0; i < count; ++i) found[i]->Release();
  CoTaskMemFree(found);
  MFShutdown();
  if (!ok) {
    std::printf("mft_probe (%d-bit): the VOXA decoder MFTEnumEx finds does not activate, or does not give libvoxa's picture\n",
                kBits);
    return 3;
  }
  std::printf("mft_probe (%d-bit): %u VOXA decoder(s) for %d-bit programs; the first decodes a %ux%u frame as libvoxa does\n",
              kBits, count, kBits, kWidth, kHeight);
  return 0;
}
