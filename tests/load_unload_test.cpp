// voxa.dll loaded and unloaded many times in one process, as hosts that open
// every installed codec whenever they list them do: nothing may stay behind.
// What a cycle leaves would show in the process's free thread-local indexes
// and in the heap bytes in use, counted after the first hundred cycles and
// after the last.
#include <gtest/gtest.h>

#include <windows.h>

#include <vfw.h>

#include <cstdint>
#include <cstdio>
#include <vector>

#include "bitmap_header.h"
#include "icm_test_support.h"

namespace voxa {
namespace {

constexpr int kWarmUpCycles = 100;
// What the process's own heaps may drift by (the loader's and the
// registry's caches), far below one cycle's loss of a leaking runtime.
constexpr long long kHeapSlackBytes = 8 * 1024;
constexpr LONG kWidth = 64, kHeight = 32;

struct ProcessFootprint {
  int free_tls_indexes;
  long long heap_bytes_in_use;
};

int FreeTlsIndexes() {
  std::vector<DWORD> taken;
  taken.reserve(2048);
  for (DWORD index; (index = TlsAlloc()) != TLS_OUT_OF_INDEXES;) taken.push_back(index);
  for (DWORD index : taken) TlsFree(index);
  return static_cast<int>(taken.size());
}

long long HeapBytesInUse() {
  std::vector<HANDLE> heaps(256);
  const DWORD count = GetProcessHeaps(static_cast<DWORD>(heaps.size()), heaps.data());
  long long bytes = 0;
  for (DWORD i = 0; i < count && i < heaps.size(); ++i) {
    if (!HeapLock(heaps[i])) continue;
    PROCESS_HEAP_ENTRY entry{};
    while (HeapWalk(heaps[i], &entry)) {
      if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) bytes += entry.cbData;
    }
    HeapUnlock(heaps[i]);
  }
  return bytes;
}

ProcessFootprint Footprint() { return {FreeTlsIndexes(), HeapBytesInUse()}; }

BITMAPINFOHEADER Header(DWORD compression) {
  return test::BitmapHeader(kWidth, kHeight, 32, compression);
}

// Runs `cycles` cycles and compares the footprint after the warm-up with the
// one after the last cycle.
template <typename Cycle>
void ExpectNothingLeft(int cycles, Cycle cycle) {
  ProcessFootprint warm{};
  for (int i = 1; i <= cycles; ++i) {
    ASSERT_TRUE(cycle()) << "cycle " << i;
    if (i == kWarmUpCycles) warm = Footprint();
  }
  const ProcessFootprint last = Footprint();
  std::printf("after %d cycles: %d free TLS indexes, %lld heap bytes in use; after %d: %d, %lld\n",
              kWarmUpCycles, warm.free_tls_indexes, warm.heap_bytes_in_use, cycles,
              last.free_tls_indexes, last.heap_bytes_in_use);
  EXPECT_EQ(last.free_tls_indexes, warm.free_tls_indexes);
  EXPECT_LE(last.heap_bytes_in_use - warm.heap_bytes_in_use, kHeapSlackBytes);
}

// LoadLibrary, the messages of an opening, one compressed frame, the
// messages of a closing (or none: a host that forgets its instance),
// FreeLibrary.
bool LoadCompressUnload(const std::string& path, bool close) {
  HMODULE dll = LoadLibraryA(path.c_str());
  if (dll == nullptr) return false;
  auto proc = reinterpret_cast<DRIVERPROC>(
      reinterpret_cast<void (*)()>(GetProcAddress(dll, "DriverProc")));
  bool ok = proc != nullptr;
  if (ok) {
    const auto send = [&](DWORD_PTR id, UINT message, const void* p1, LPARAM p2) {
      return proc(id, nullptr, message, reinterpret_cast<LPARAM>(p1), p2);
    };
    send(0, DRV_LOAD, nullptr, 0);
    send(0, DRV_ENABLE, nullptr, 0);
    ICOPEN open{};
    open.dwSize = sizeof open;
    open.fccType = ICTYPE_VIDEO;
    open.fccHandler = test::kVoxaHandler;
    open.dwFlags = ICMODE_COMPRESS;
    const DWORD_PTR id = static_cast<DWORD_PTR>(send(0, DRV_OPEN, nullptr, reinterpret_cast<LPARAM>(&open)));
    BITMAPINFOHEADER in = Header(BI_RGB), out = Header(test::kVoxaHandler);
    std::vector<uint8_t> pixels(kWidth * kHeight * 4, 0x80), frame(kWidth * kHeight * 4 + 4096);
    ICCOMPRESS c{};
    c.lpbiInput = &in;
    c.lpInput = pixels.data();
    c.lpbiOutput = &out;
    c.lpOutput = frame.data();
    ok = id != 0 && send(id, ICM_COMPRESS_BEGIN, &in, reinterpret_cast<LPARAM>(&out)) == ICERR_OK &&
         send(id, ICM_COMPRESS, &c, sizeof c) == ICERR_OK && out.biSizeImage > 4 &&
         send(id, ICM_COMPRESS_END, nullptr, 0) == ICERR_OK &&
         (!close || send(id, DRV_CLOSE, nullptr, 0) == 1);
    send(0, DRV_DISABLE, nullptr, 0);
    send(0, DRV_FREE, nullptr, 0);
  }
  return FreeLibrary(dll) && ok;
}

// The system DLLs voxa.dll imports stay loaded, as in a host that shows
// dialogs; otherwise every cycle would load and unload them too (under Wine
// the open-file dialog's library brings a dozen more).
class LoadUnload : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    for (const char* name : {"user32.dll", "advapi32.dll", "comdlg32.dll", "version.dll"}) {
      LoadLibraryA(name);
    }
  }
};

TEST_F(LoadUnload, LoadLibraryAndFreeLibrary) {
  const std::string path = test::DriverDllPath();
  ExpectNothingLeft(10000, [&] { return LoadCompressUnload(path, true); });
}

// The instances a host left open go with the library, their locks with them.
TEST_F(LoadUnload, InstancesLeftOpen) {
  const std::string path = test::DriverDllPath();
  ExpectNothingLeft(2000, [&] { return LoadCompressUnload(path, false); });
}

// The manager loads the DLL at ICOpen and unloads it at the last ICClose.
TEST_F(LoadUnload, ThroughTheCompressionManager) {
  const std::string path = test::DriverDllPath();
  ASSERT_TRUE(ICInstall(ICTYPE_VIDEO, test::kVoxaHandler, reinterpret_cast<LPARAM>(path.c_str()),
                        nullptr, ICINSTALL_DRIVER));
  ExpectNothingLeft(2000, [] {
    HIC hic = ICOpen(ICTYPE_VIDEO, test::kVoxaHandler, ICMODE_COMPRESS);
    return hic != nullptr && ICClose(hic) == ICERR_OK;
  });
}

}  // namespace
}  // namespace voxa
