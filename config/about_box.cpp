// The about box: the driver description of string 3, an empty line, and a
// build line whose value is the SpecialBuild string of the library's own
// version resource ("not available." when it can't be had).
#include "config/dialogs.h"

#include <cstring>

#include "resources/resource.h"

namespace voxa {
namespace {

constexpr char kNotAvailable[] = "not available.";
constexpr std::size_t kStringBytes = 4096;
constexpr std::size_t kTextBytes = 4096;
constexpr DWORD kModulePathChars = 261;

// The only translation the build string is looked up in: U.S. English,
// Unicode string block "040904b0".
constexpr WORD kEnglishUs = 0x0409;
constexpr WORD kUnicodeCodePage = 0x04B0;

struct Translation {
  WORD language;
  WORD code_page;
};

// Appends as much of `more` as fits, keeping the zero at the end.
void AppendText(char* text, std::size_t capacity, const char* more) {
  std::size_t used = std::strlen(text);
  while (*more != '\0' && used + 1 < capacity) text[used++] = *more++;
  text[used] = '\0';
}

// A version-information block in the library's heap, freed on every path.
class VersionBlock {
 public:
  VersionBlock(HANDLE heap, DWORD bytes)
      : heap_(heap), data_(heap != nullptr ? HeapAlloc(heap, 0, bytes) : nullptr) {}
  ~VersionBlock() {
    if (data_ != nullptr) HeapFree(heap_, 0, data_);
  }
  VersionBlock(const VersionBlock&) = delete;
  VersionBlock& operator=(const VersionBlock&) = delete;
  void* get() const { return data_; }

 private:
  HANDLE heap_;
  void* data_;
};

// The SpecialBuild string of the library's own file, if it can be read.
void ReadOwnSpecialBuild(const DialogHost& host, char (&version)[kVersionTextBytes]) {
  char path[kModulePathChars];
  const DWORD length = GetModuleFileNameA(host.module, path, kModulePathChars);
  if (length == 0 || length >= kModulePathChars) return;
  DWORD unused = 0;
  const DWORD size = GetFileVersionInfoSizeA(path, &unused);
  if (size == 0) return;
  VersionBlock block(host.heap, size);
  if (block.get() == nullptr) return;
  if (!GetFileVersionInfoA(path, 0, size, block.get())) return;
  ReadSpecialBuild(version, block.get());
}

// Loads a string of the library's table; empty when it is missing.
void LoadLibraryString(HINSTANCE module, UINT id, char (&text)[kStringBytes]) {
  text[0] = '\0';
  LoadStringA(module, id, text, static_cast<int>(kStringBytes - 1));
}

void InitAboutBox(HWND dialog, const DialogHost& host) {
  char version[kVersionTextBytes] = {};
  std::memcpy(version, kNotAvailable, sizeof kNotAvailable);
  char loaded[kStringBytes];
  char text[kTextBytes];

  LoadLibraryString(host.module, IDS_ABOUT_TEXT, loaded);
  // Whatever does not fit in the text buffer is cut off.
  text[0] = '\0';
  AppendText(text, sizeof text, loaded);
  AppendText(text, sizeof text, "\n\n");
  LoadLibraryString(host.module, IDS_BUILD, loaded);
  ReadOwnSpecialBuild(host, version);
  AppendText(text, sizeof text, loaded);
  AppendText(text, sizeof text, ": ");
  AppendText(text, sizeof text, version);
  SendDlgItemMessageA(dialog, IDC_ABOUT_TEXT, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text));
}

}  // namespace

INT_PTR ShowAboutBox(const DialogHost& host, HWND parent) {
  return DialogBoxParamA(host.module, MAKEINTRESOURCEA(IDD_ABOUT), parent, AboutDialogProc,
                         reinterpret_cast<LPARAM>(&host));
}

INT_PTR CALLBACK AboutDialogProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_INITDIALOG) {
    InitAboutBox(dialog, *reinterpret_cast<const DialogHost*>(lparam));
    return TRUE;
  }
  if (message != WM_COMMAND) return FALSE;
  if (wparam == IDOK || wparam == IDCANCEL) {
    EndDialog(dialog, static_cast<INT_PTR>(wparam));
    return TRUE;
  }
  return FALSE;
}

void ReadSpecialBuild(char (&destination)[kVersionTextBytes], const void* block) {
  void* value = nullptr;
  UINT bytes = 0;
  if (!VerQueryValueA(block, "\\VarFileInfo\\Translation", &value, &bytes)) return;
  const auto* entries = static_cast<const Translation*>(value);
  const Translation* chosen = nullptr;
  for (UINT i = 0; i < bytes / sizeof(Translation); ++i) {
    if (entries[i].language == kEnglishUs && entries[i].code_page == kUnicodeCodePage) {
      chosen = &entries[i];
      break;
    }
  }
  if (chosen == nullptr) return;

  // At most 37 characters: wsprintfA's limit of 1024 is far off.
  char sub_block[64];
  wsprintfA(sub_block, "\\StringFileInfo\\%04x%04x\\SpecialBuild", chosen->language,
            chosen->code_page);
  if (!VerQueryValueA(block, sub_block, &value, &bytes)) return;
  destination[0] = '\0';
  AppendText(destination, kVersionTextBytes, static_cast<const char*>(value));
}

}  // namespace voxa
