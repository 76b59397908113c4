// The configuration dialog and the about box, both modal, built from the
// library's dialog templates IDD_CONFIGURE and IDD_ABOUT.
#pragma once

#include <windows.h>

#include <cstddef>

#include "config/codec_settings.h"

namespace voxa {

// What the dialogs need of the library that shows them: its module (the
// dialog templates, strings and version resource) and its private heap.
struct DialogHost {
  HINSTANCE module;
  HANDLE heap;
};

// --- Configuration dialog ------------------------------------------------

// Edits `settings`, or the process settings when it is null; the record is
// overwritten only when the user confirms with OK, and the process settings
// are then saved to the registry. An instance's record is never saved.
void ShowConfigDialog(const DialogHost& host, HWND parent, CodecSettings* settings);

// The dialog procedure; WM_INITDIALOG carries the edited record in lParam.
INT_PTR CALLBACK ConfigDialogProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);

// Asks for an executable with the common open-file dialog, owned by a dialog
// of the library. Nonzero when the user picked one; its name without folders
// is then in `file_title`.
constexpr std::size_t kFileTitleBytes = 256;
BOOL ChooseApplicationFile(HWND owner, char (&file_title)[kFileTitleBytes]);

// Cuts a path in place down to what follows its last '\', '/' or ':'.
void StripToFileName(char* path);

// Upper-cases the ASCII letters a to z in place; other bytes stay as they are.
void UpperCaseAscii(char* text);

// 1 when the button reports BST_CHECKED, 0 when unchecked or indeterminate.
int IsButtonChecked(HWND dialog, int control);
// BM_SETCHECK with the low byte of `state`.
void SetButtonCheck(HWND dialog, int control, int state);

// --- About box -----------------------------------------------------------

// Shows the driver description and the build string; returns the dialog's
// result, which nobody uses.
INT_PTR ShowAboutBox(const DialogHost& host, HWND parent);

// The dialog procedure; WM_INITDIALOG carries the DialogHost in lParam.
INT_PTR CALLBACK AboutDialogProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);

// Copies the SpecialBuild string of the 0x0409/0x04B0 string block of a
// version-information block into `destination`; leaves it untouched when the
// block lists no such translation or the block has no such string.
constexpr std::size_t kVersionTextBytes = 1024;
void ReadSpecialBuild(char (&destination)[kVersionTextBytes], const void* block);

}  // namespace voxa
