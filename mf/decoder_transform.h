// The VOXA decoder as a Media Foundation transform: one input stream of VOXA
// frames, one output stream of ARGB32 or RGB32 pictures, synchronous, as
// Media Foundation's own decoders behave.
//
// It holds at most one input sample: ProcessInput takes a frame
// (MF_E_NOTACCEPTING while one waits), ProcessOutput decodes it
// (MF_E_TRANSFORM_NEED_MORE_INPUT when none waits) into the caller's sample,
// or into a sample of its own when the caller gives none. Sample time,
// duration, clean point and discontinuity go from the frame to the picture.
// Every method takes the instance's lock, so the host's threads may call it
// in any order; instances share nothing but libvoxa's choice of kernels.
#pragma once

#include <windows.h>

#include <mftransform.h>

#include "mf/media_types.h"
#include "mf/server_module.h"

namespace voxa::mf {

class DecoderTransform final : public IMFTransform, public ServerObject {
 public:
  // A new instance, queried for `iid`.
  static HRESULT Create(REFIID iid, void** out);

  // IUnknown
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;

  // IMFTransform
  HRESULT STDMETHODCALLTYPE GetStreamLimits(DWORD* input_minimum, DWORD* input_maximum,
                                            DWORD* output_minimum, DWORD* output_maximum) override;
  HRESULT STDMETHODCALLTYPE GetStreamCount(DWORD* inputs, DWORD* outputs) override;
  HRESULT STDMETHODCALLTYPE GetStreamIDs(DWORD input_size, DWORD* input_ids, DWORD output_size,
                                         DWORD* output_ids) override;
  HRESULT STDMETHODCALLTYPE GetInputStreamInfo(DWORD stream, MFT_INPUT_STREAM_INFO* info) override;
  HRESULT STDMETHODCALLTYPE GetOutputStreamInfo(DWORD stream,
                                                MFT_OUTPUT_STREAM_INFO* info) override;
  HRESULT STDMETHODCALLTYPE GetAttributes(IMFAttributes** attributes) override;
  HRESULT STDMETHODCALLTYPE GetInputStreamAttributes(DWORD stream,
                                                     IMFAttributes** attributes) override;
  HRESULT STDMETHODCALLTYPE GetOutputStreamAttributes(DWORD stream,
                                                      IMFAttributes** attributes) override;
  HRESULT STDMETHODCALLTYPE DeleteInputStream(DWORD stream) override;
  HRESULT STDMETHODCALLTYPE AddInputStreams(DWORD count, DWORD* ids) override;
  HRESULT STDMETHODCALLTYPE GetInputAvailableType(DWORD stream, DWORD index,
                                                  IMFMediaType** type) override;
  HRESULT STDMETHODCALLTYPE GetOutputAvailableType(DWORD stream, DWORD index,
                                                   IMFMediaType** type) override;
  HRESULT STDMETHODCALLTYPE SetInputType(DWORD stream, IMFMediaType* type, DWORD flags) override;
  HRESULT STDMETHODCALLTYPE SetOutputType(DWORD stream, IMFMediaType* type, DWORD flags) override;
  HRESULT STDMETHODCALLTYPE GetInputCurrentType(DWORD stream, IMFMediaType** type) override;
  HRESULT STDMETHODCALLTYPE GetOutputCurrentType(DWORD stream, IMFMediaType** type) override;
  HRESULT STDMETHODCALLTYPE GetInputStatus(DWORD stream, DWORD* flags) override;
  HRESULT STDMETHODCALLTYPE GetOutputStatus(DWORD* flags) override;
  HRESULT STDMETHODCALLTYPE SetOutputBounds(LONGLONG lower, LONGLONG upper) override;
  HRESULT STDMETHODCALLTYPE ProcessEvent(DWORD stream, IMFMediaEvent* event) override;
  HRESULT STDMETHODCALLTYPE ProcessMessage(MFT_MESSAGE_TYPE message, ULONG_PTR parameter) override;
  HRESULT STDMETHODCALLTYPE ProcessInput(DWORD stream, IMFSample* sample, DWORD flags) override;
  HRESULT STDMETHODCALLTYPE ProcessOutput(DWORD flags, DWORD count, MFT_OUTPUT_DATA_BUFFER* buffers,
                                          DWORD* status) override;

 private:
  DecoderTransform();
  ~DecoderTransform();

  // With the lock held.
  bool TypesSet() const { return input_type_ != nullptr && output_type_ != nullptr; }
  void DropPending();
  HRESULT NewOutputSample(IMFSample** sample);
  HRESULT DecodePending(IMFSample* sample);

  LONG references_ = 1;
  CRITICAL_SECTION lock_;
  IMFAttributes* attributes_ = nullptr;
  IMFMediaType* input_type_ = nullptr;   // copies of what the host set
  IMFMediaType* output_type_ = nullptr;
  InputFormat input_format_;
  OutputLayout output_layout_;
  IMFSample* pending_ = nullptr;         // the frame waiting for ProcessOutput
  bool draining_ = false;                // until ProcessOutput runs out
  // Frames timed outside these bounds are dropped (SetOutputBounds).
  LONGLONG lower_bound_;
  LONGLONG upper_bound_;
};

}  // namespace voxa::mf
