#include "mf/server_module.h"

namespace voxa::mf {
namespace {

HMODULE g_module = nullptr;
LONG g_references = 0;

}  // namespace

HMODULE ServerModule() { return g_module; }
void SetServerModule(HMODULE module) { g_module = module; }

void AddServerReference() { InterlockedIncrement(&g_references); }
void ReleaseServerReference() { InterlockedDecrement(&g_references); }
bool ServerInUse() { return InterlockedCompareExchange(&g_references, 0, 0) != 0; }

}  // namespace voxa::mf
