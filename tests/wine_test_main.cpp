// The main of the test programs of the Windows builds, which run under Wine.
//
// Google Test watches every thread that uses its thread-local state (a
// SCOPED_TRACE, a failed assertion) from a thread of its own, started at
// that thread's first such use: for the main thread usually inside the last
// test, moments before the process ends. The 32-bit Wine 8.0 loader dies of
// SIGSEGV when a process ends while one of its threads is still starting
// (in its signal handler, which finds no thread data yet); a program of a
// CreateThread and a return from main, nothing of ours in it, dies so about
// once in a hundred runs, four at a time. So the main thread's watcher is
// started here, before any test, and waited for: a thread that has reached
// its attach callback has finished starting.
#include <gtest/gtest.h>

#include <windows.h>

namespace {

constexpr DWORD kWatcherStartMs = 10000;

HANDLE g_thread_attached = nullptr;

void NTAPI OnThreadEvent(PVOID, DWORD reason, PVOID) {
  if (reason == DLL_THREAD_ATTACH && g_thread_attached != nullptr) SetEvent(g_thread_attached);
}

}  // namespace

// Between the runtime's first and last callback of the image's TLS directory.
extern "C" __attribute__((section(".CRT$XLY"), used))
const PIMAGE_TLS_CALLBACK voxa_thread_callback = OnThreadEvent;

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  g_thread_attached = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  { SCOPED_TRACE("starts the watcher of the main thread"); }
  if (g_thread_attached != nullptr) WaitForSingleObject(g_thread_attached, kWatcherStartMs);
  return RUN_ALL_TESTS();
}
