// What the COM server keeps for the whole DLL: its module handle and the
// count of its live objects and server locks, which DllCanUnloadNow reads.
// Objects live in the process heap: the DLL links no C++ runtime.
#pragma once

#include <cstddef>

#include <windows.h>

namespace voxa::mf {

HMODULE ServerModule();
void SetServerModule(HMODULE module);

// Objects (and IClassFactory::LockServer) keep the DLL loaded.
void AddServerReference();
void ReleaseServerReference();
bool ServerInUse();

// Base of the server's classes: a failed allocation makes the new-expression
// yield null instead of throwing.
class ServerObject {
 public:
  static void* operator new(std::size_t bytes) noexcept {
    return HeapAlloc(GetProcessHeap(), 0, bytes);
  }
  static void operator delete(void* block) noexcept {
    if (block != nullptr) HeapFree(GetProcessHeap(), 0, block);
  }
};

}  // namespace voxa::mf
