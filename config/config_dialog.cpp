// The configuration dialog: the "Change fields order" check box and the
// list of applications. The application group is disabled in the template,
// so a user changes only the check box; OK still writes the whole list back
// from the list box, in the list box's sorted order.
#include "config/dialogs.h"

#include <commdlg.h>

#include <cstring>

#include "config/settings_store.h"
#include "resources/resource.h"

namespace voxa {
namespace {

constexpr char kAddFailedCaption[] = "Can't add application";
constexpr char kUnexpectedError[] = "Unexpected error";
constexpr char kTooManyApplications[] = "Too many application are entered.";

// One description and pattern pair, ended by an empty string.
constexpr char kApplicationFilter[] = "Applications (*.exe)\0*.exe\0";
static_assert(sizeof kApplicationFilter == 28, "the filter ends with two zeros");
constexpr std::size_t kFilePathBytes = 260;

CodecSettings& EditedRecord(HWND dialog) {
  return *reinterpret_cast<CodecSettings*>(GetWindowLongPtrA(dialog, DWLP_USER));
}

LRESULT SendToList(HWND dialog, UINT message, WPARAM wparam = 0, LPARAM lparam = 0) {
  return SendDlgItemMessageA(dialog, IDC_APPLICATION_LIST, message, wparam, lparam);
}

void InitDialog(HWND dialog, CodecSettings* settings) {
  SetWindowLongPtrA(dialog, DWLP_USER, reinterpret_cast<LONG_PTR>(settings));
  SetButtonCheck(dialog, IDC_CHANGE_FIELDS_ORDER,
                 settings->change_fields_order != 0 ? BST_CHECKED : BST_UNCHECKED);
  // A record taken from a host may hold a name without its zero: each name
  // is copied out bounded by its slot, never read past it.
  for (std::size_t slot = 0; slot < kApplicationSlots; ++slot) {
    const std::size_t length = ApplicationNameLength(*settings, slot);
    if (length == 0) break;
    char name[kApplicationSlotBytes + 1];
    std::memcpy(name, settings->applications[slot], length);
    name[length] = '\0';
    SendToList(dialog, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name));
  }
}

void StoreDialog(HWND dialog, CodecSettings& settings) {
  settings.change_fields_order = IsButtonChecked(dialog, IDC_CHANGE_FIELDS_ORDER);
  // The list ends at the first missing item or at one too long for a slot;
  // the slots from there on are cleared.
  for (std::size_t slot = 0; slot < kApplicationSlots; ++slot) {
    const LRESULT length = SendToList(dialog, LB_GETTEXTLEN, slot);
    if (length == LB_ERR || length >= static_cast<LRESULT>(kApplicationSlotBytes)) {
      std::memset(settings.applications[slot], 0,
                  (kApplicationSlots - slot) * kApplicationSlotBytes);
      break;
    }
    SendToList(dialog, LB_GETTEXT, slot, reinterpret_cast<LPARAM>(settings.applications[slot]));
  }
}

void AddApplication(HWND dialog) {
  const LRESULT count = SendToList(dialog, LB_GETCOUNT);
  if (count == LB_ERR) {
    MessageBoxA(dialog, kUnexpectedError, kAddFailedCaption, MB_ICONERROR);
    return;
  }
  if (count >= static_cast<LRESULT>(kApplicationSlots)) {
    MessageBoxA(dialog, kTooManyApplications, kAddFailedCaption, MB_ICONERROR);
    return;
  }
  char name[kFileTitleBytes] = {};
  if (!ChooseApplicationFile(dialog, name)) return;
  StripToFileName(name);
  UpperCaseAscii(name);
  SendToList(dialog, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name));
}

// The item that moves into the deleted one's place is selected; after the
// last item, the new last one; an emptied list keeps no selection.
void DeleteApplication(HWND dialog) {
  const LRESULT selected = SendToList(dialog, LB_GETCURSEL);
  if (selected != LB_ERR) SendToList(dialog, LB_DELETESTRING, selected);
  if (SendToList(dialog, LB_SETCURSEL, selected) == LB_ERR && selected > 0) {
    SendToList(dialog, LB_SETCURSEL, selected - 1);
  }
}

}  // namespace

void ShowConfigDialog(const DialogHost& host, HWND parent, CodecSettings* settings) {
  CodecSettings* const edited = settings != nullptr ? settings : &ProcessSettings();
  const INT_PTR result =
      DialogBoxParamA(host.module, MAKEINTRESOURCEA(IDD_CONFIGURE), parent, ConfigDialogProc,
                      reinterpret_cast<LPARAM>(edited));
  if (result == IDOK && settings == nullptr) SaveSettings();
}

INT_PTR CALLBACK ConfigDialogProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_INITDIALOG) {
    InitDialog(dialog, reinterpret_cast<CodecSettings*>(lparam));
    return TRUE;
  }
  if (message != WM_COMMAND) return FALSE;
  // The whole of wParam: only clicks (notification code 0) are acted on.
  switch (wparam) {
    case IDOK:
      StoreDialog(dialog, EditedRecord(dialog));
      EndDialog(dialog, IDOK);
      return TRUE;
    case IDCANCEL:
      EndDialog(dialog, IDCANCEL);
      return TRUE;
    case IDC_ADD_APPLICATION:
      AddApplication(dialog);
      return TRUE;
    case IDC_DELETE_APPLICATION:
      DeleteApplication(dialog);
      return TRUE;
    default:
      return FALSE;
  }
}

BOOL ChooseApplicationFile(HWND owner, char (&file_title)[kFileTitleBytes]) {
  char path[kFilePathBytes] = "*.exe";
  OPENFILENAMEA request{};
  // The Windows 95 / NT 4 form of the record (76 bytes in 32-bit builds).
  request.lStructSize = OPENFILENAME_SIZE_VERSION_400A;
  request.hwndOwner = owner;
  // The module whose dialog owns the chooser.
  request.hInstance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(owner, GWLP_HINSTANCE));
  request.lpstrFilter = kApplicationFilter;
  request.nFilterIndex = 1;
  request.lpstrFile = path;
  request.nMaxFile = sizeof path;
  request.lpstrFileTitle = file_title;
  request.nMaxFileTitle = kFileTitleBytes;
  request.lpstrInitialDir = "";
  request.lpstrTitle = "Choose Application";
  request.Flags = OFN_FILEMUSTEXIST | OFN_HIDEREADONLY;
  request.nFileOffset = 0;     // "*.exe": the name starts at 0 ...
  request.nFileExtension = 2;  // ... and its extension at 2
  request.lpstrDefExt = "EXE";
  return GetOpenFileNameA(&request);
}

void StripToFileName(char* path) {
  const std::size_t length = std::strlen(path);
  for (std::size_t i = length; i > 0; --i) {
    const char c = path[i - 1];
    if (c == '\\' || c == '/' || c == ':') {
      std::memmove(path, path + i, length - i + 1);
      return;
    }
  }
}

void UpperCaseAscii(char* text) {
  for (; *text != '\0'; ++text) {
    if (*text >= 'a' && *text <= 'z') *text = static_cast<char>(*text - 'a' + 'A');
  }
}

int IsButtonChecked(HWND dialog, int control) {
  return SendDlgItemMessageA(dialog, control, BM_GETCHECK, 0, 0) == BST_CHECKED ? 1 : 0;
}

void SetButtonCheck(HWND dialog, int control, int state) {
  SendDlgItemMessageA(dialog, control, BM_SETCHECK, static_cast<BYTE>(state), 0);
}

}  // namespace voxa
