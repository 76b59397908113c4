#include "driver/driver_instance.h"

#include <cstring>

#include "codec/fault_guard.h"
#include "config/settings_store.h"
#include "driver/fourcc.h"
#include "driver/frame_decoder.h"
#include "driver/frame_encoder.h"
#include "driver/instance_table.h"

namespace voxa {

namespace {
constexpr DWORD_PTR kNoInstanceId = ~DWORD_PTR{0};
}  // namespace

DriverInstance::DriverInstance() : settings(ProcessSettings()) {
  InitializeCriticalSection(&lock_);
}

DriverInstance::~DriverInstance() {
  ReleaseCoders();
  DeleteCriticalSection(&lock_);
}

void DriverInstance::ReleaseCoders() {
  // Cleared before deleting: a fault on the way leaves no pointer to an
  // object that is gone, and is swallowed.
  FrameEncoder* const old_encoder = encoder;
  FrameDecoder* const old_decoder = decoder;
  encoder = nullptr;
  decoder = nullptr;
  RunGuarded([old_encoder, old_decoder] {
    delete old_encoder;
    delete old_decoder;
  });
}

LRESULT OpenDriver(const ICOPEN* open) {
  // The manager's first open comes without a record and must not fail.
  if (open == nullptr) return static_cast<LRESULT>(kNoInstanceId);
  if (FourccToUpper(open->fccType) != kFourccVidc ||
      FourccToUpper(open->fccHandler) != kFourccVoxa) {
    return 0;
  }
  DriverInstance* instance = new DriverInstance;
  if (instance == nullptr) return 0;
  return static_cast<LRESULT>(EnterInstance(instance));
}

LRESULT CloseDriver(DWORD_PTR id) {
  CloseInstance(id);
  return 1;
}

LRESULT GetState(DriverInstance& instance, void* buffer, DWORD_PTR size) {
  if (buffer == nullptr) return kDriverStateBytes;
  if (size < kDriverStateBytes) return ICERR_ERROR;
  auto* bytes = static_cast<unsigned char*>(buffer);
  const uint32_t tag = kFourccVoxa;
  std::memcpy(bytes, &tag, 4);
  std::memcpy(bytes + 4, &instance.settings, kCodecSettingsBytes);
  return ICERR_OK;
}

LRESULT SetState(DriverInstance& instance, const void* state, DWORD_PTR size) {
  if (state == nullptr) {
    instance.settings = ProcessSettings();
    return kCodecSettingsBytes;
  }
  if (size < kDriverStateBytes) return 0;
  const auto* bytes = static_cast<const unsigned char*>(state);
  uint32_t tag;
  std::memcpy(&tag, bytes, 4);
  if (FourccToUpper(tag) != kFourccVoxa) return 0;
  // Taken as it is; names without their zero are read bounded by the slot.
  std::memcpy(&instance.settings, bytes + 4, kCodecSettingsBytes);
  return kCodecSettingsBytes;
}

}  // namespace voxa
