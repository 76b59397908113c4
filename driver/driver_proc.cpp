// DriverProc: the message table. Each row resolves the instance where the
// message needs one (-100 without it) and forwards to the message's handler.
// The instance is held, locked, for the whole message.
#include "driver/driver_proc.h"

#include <vfw.h>

#include "config/dialogs.h"
#include "driver/coding_messages.h"
#include "driver/decompress_ex.h"
#include "driver/driver_instance.h"
#include "driver/format_negotiation.h"
#include "driver/instance_table.h"
#include "driver/private_heap.h"
#include "driver/process_attach.h"

using namespace voxa;

namespace {

// lParam1 of ICM_CONFIGURE and ICM_ABOUT when the host only asks whether the
// request is supported.
bool IsQuery(LPARAM param1) {
  return static_cast<DWORD>(param1) == 0xFFFFFFFF || param1 == -1;
}

auto* Header(LPARAM p) { return reinterpret_cast<BITMAPINFOHEADER*>(p); }
auto* DecompressExRecord(LPARAM p) { return reinterpret_cast<const ICDECOMPRESSEX*>(p); }
HWND Window(LPARAM p) { return reinterpret_cast<HWND>(p); }

DialogHost Host() { return DialogHost{ModuleHandle(), PrivateHeap()}; }

LRESULT OnConfigure(DriverInstance* instance, LPARAM param1) {
  if (IsQuery(param1)) return ICERR_OK;
  if (instance == nullptr) return ICERR_ERROR;
  ShowConfigDialog(Host(), Window(param1), &instance->settings);
  return ICERR_OK;
}

LRESULT OnAbout(DriverInstance* instance, LPARAM param1) {
  if (IsQuery(param1)) return ICERR_OK;
  if (instance == nullptr) return ICERR_ERROR;
  ShowAboutBox(Host(), Window(param1));
  return ICERR_OK;
}

LRESULT OnDriverConfigure(LPARAM param1) {
  ShowConfigDialog(Host(), Window(param1), nullptr);
  return -1;
}

}  // namespace

extern "C" LRESULT WINAPI DriverProc(DWORD_PTR driver_id, HDRVR, UINT message, LPARAM param1,
                                     LPARAM param2) {
  const InstanceAccess access(driver_id);
  DriverInstance* const in = access.get();
  switch (message) {
    case DRV_LOAD: return 1;
    case DRV_ENABLE: return 1;
    case DRV_OPEN: return OpenDriver(reinterpret_cast<const ICOPEN*>(param2));
    case DRV_CLOSE: return CloseDriver(driver_id);
    case DRV_DISABLE: return 1;
    case DRV_FREE: return 1;
    case DRV_CONFIGURE: return OnDriverConfigure(param1);
    case DRV_QUERYCONFIGURE: return 1;
    case DRV_INSTALL: return 1;
    case DRV_REMOVE: return 1;
    case ICM_COMPRESS_GET_FORMAT: return in ? CompressGetFormat(Header(param1), Header(param2)) : ICERR_ERROR;
    case ICM_COMPRESS_GET_SIZE: return in ? CompressGetSize(Header(param1), Header(param2)) : ICERR_ERROR;
    case ICM_COMPRESS_QUERY: return in ? CompressQuery(Header(param1), Header(param2)) : ICERR_ERROR;
    case ICM_COMPRESS_BEGIN: return in ? CompressBegin(*in, Header(param1), Header(param2)) : ICERR_ERROR;
    case ICM_COMPRESS: return in ? Compress(*in, reinterpret_cast<const ICCOMPRESS*>(param1), param2) : ICERR_ERROR;
    case ICM_COMPRESS_END: return in ? CompressEnd(*in) : ICERR_ERROR;
    case ICM_DECOMPRESS_GET_FORMAT: return in ? DecompressGetFormat(Header(param1), Header(param2)) : ICERR_ERROR;
    case ICM_DECOMPRESS_QUERY: return in ? DecompressQuery(Header(param1), Header(param2)) : ICERR_ERROR;
    case ICM_DECOMPRESS_BEGIN: return in ? DecompressBegin(*in, Header(param1), Header(param2)) : ICERR_ERROR;
    case ICM_DECOMPRESS: return in ? Decompress(*in, reinterpret_cast<const ICDECOMPRESS*>(param1), param2) : ICERR_ERROR;
    case ICM_DECOMPRESS_END: return in ? DecompressEnd(*in) : ICERR_ERROR;
    case ICM_DECOMPRESSEX_QUERY: return in ? DecompressExQuery(DecompressExRecord(param1), param2) : ICERR_ERROR;
    case ICM_DECOMPRESSEX_BEGIN: return in ? DecompressExBegin(*in, DecompressExRecord(param1), param2) : ICERR_ERROR;
    case ICM_DECOMPRESSEX: return in ? DecompressEx(*in, DecompressExRecord(param1), param2) : ICERR_ERROR;
    case ICM_DECOMPRESSEX_END: return in ? DecompressExEnd(*in) : ICERR_ERROR;
    case ICM_GETSTATE: return in ? GetState(*in, reinterpret_cast<void*>(param1), param2) : ICERR_ERROR;
    case ICM_SETSTATE: return in ? SetState(*in, reinterpret_cast<const void*>(param1), param2) : ICERR_ERROR;
    case ICM_GETINFO: return in ? GetInfo(*in, reinterpret_cast<ICINFO*>(param1), param2) : ICERR_ERROR;
    case ICM_CONFIGURE: return OnConfigure(in, param1);
    case ICM_ABOUT: return OnAbout(in, param1);
    default: return ICERR_UNSUPPORTED;
  }
}
