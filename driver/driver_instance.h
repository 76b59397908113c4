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

  // Serialises the messages of one instance (a critical section, which
  // every Windows has; the thread holding it may take it again).
  void Lock() { EnterCriticalSection(&lock_); }
  void Unlock() { LeaveCriticalSection(&lock_); }

  CodecSettings settings;
  FrameEncoder* encoder = nullptr;
  FrameDecoder* decoder = nullptr;

 private:
  CRITICAL_SECTION lock_;
};

// DRV_OPEN: an instance for a matching open record; the id that names no
// instance (all ones) when there is no record; 0 when the open fails.
LRESULT OpenDriver(const ICOPEN* open);
// DRV_CLOSE: 1, whatever the id.
LRESULT CloseDriver(DWORD_PTR id);

LRESULT GetState(DriverInstance& instance, void* buffer, DWORD_PTR size);
LRESULT SetState(DriverInstance& instance, const void* state, DWORD_PTR size);
LRESULT GetInfo(DriverInstance& instance, ICINFO* info, DWORD_PTR size);

}  // namespace voxa
