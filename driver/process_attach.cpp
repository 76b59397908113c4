#include "driver/process_attach.h"

#include "config/settings_store.h"
#include "driver/instance_table.h"
#include "driver/private_heap.h"

namespace voxa {
namespace {

HINSTANCE g_module = nullptr;

}  // namespace

void ProcessAttach(HINSTANCE module) {
  // A failure to create the heap or to write the registry is not reported:
  // opens then fail, and the process runs on the defaults.
  CreatePrivateHeap();
  if (g_module == nullptr) g_module = module;
  if (!LoadSettings()) {
    SetDefaultSettings();
    SaveSettings();
  }
}

void ProcessDetach(bool process_ending) {
  // At the process's end other threads may have been stopped anywhere, even
  // holding an instance's lock: nothing of theirs is touched then.
  if (!process_ending) DeleteOpenInstances();
  DestroyPrivateHeap();
}

HINSTANCE ModuleHandle() { return g_module; }

}  // namespace voxa
