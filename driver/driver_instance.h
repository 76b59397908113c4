// One driver instance: what DRV_OPEN creates for a host and every later
// message of that host works on. Its address is the driver id.
#pragma once

#include <windows.h>

#include <vfw.h>

#include "config/codec_settings.h"
#include "driver/private_heap.h"

namespace voxa {

class FrameEncoder;
class FrameDecoder;

// The state record of ICM_GETSTATE and ICM_SETSTATE: "VOXA" and the settings.
constexpr DWORD kDriverStateBytes = 4 + kCodecSettingsBytes;  // 4104

class DriverInstance : public HeapObject {
 public:
  // Takes a copy of the process settings.
  DriverInstance();
  DriverInstance(const DriverInstance&) = delete;
  DriverInstance& operator=(const DriverInstance&) = delete;
  virtual ~DriverInstance();

  // Deletes the encoder and the decoder, whichever exist.
  void ReleaseCoders();

  CodecSettings settings;
  FrameEncoder* encoder = nullptr;
  FrameDecoder* decoder = nullptr;
};

// The instance a driver id names, or null for the ids that name none: 0,
// all ones, and 0xFFFFFFFF (what a 32-bit host passes on a 64-bit system).
DriverInstance* InstanceFromDriverId(DWORD_PTR id);

// DRV_OPEN: an instance for a matching open record; the id that names no
// instance when there is no record; 0 when the open fails.
LRESULT OpenDriver(const ICOPEN* open);
// DRV_CLOSE
LRESULT CloseDriver(DriverInstance* instance);

LRESULT GetState(DriverInstance& instance, void* buffer, DWORD_PTR size);
LRESULT SetState(DriverInstance& instance, const void* state, DWORD_PTR size);
LRESULT GetInfo(DriverInstance& instance, ICINFO* info, DWORD_PTR size);

}  // namespace voxa
