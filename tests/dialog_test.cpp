// The configuration dialog and the about box of the built voxa.dll, shown
// through the compression manager and driven from a second thread as a user
// would. Needs a display (the tests run under Xvfb).
#include <gtest/gtest.h>

#include <windows.h>

#include <dlgs.h>
#include <vfw.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "config/codec_settings.h"
#include "icm_test_support.h"

namespace voxa {
namespace {

using Names = std::vector<std::string>;

constexpr int kList = 1000, kAdd = 1001, kDelete = 1002, kFieldsOrder = 1003, kAboutText = 1004;
constexpr char kKey[] = "Software\\Brenmoor\\(VOXA) RLE codec";
// How long a dialog may take to appear or to go, in 20 ms waits: generous,
// so that a loaded machine only makes a test slower, never failed.
constexpr int kPatience = 3000;

HWND WaitForDialog(const char* title, int last_control, const std::atomic<bool>& gone) {
  for (int tries = 0; tries < kPatience && !gone; ++tries) {
    HWND dialog = FindWindowA("#32770", title);
    if (dialog != nullptr && IsWindowVisible(dialog) && GetDlgItem(dialog, last_control) != nullptr) {
      return dialog;
    }
    Sleep(20);
  }
  return nullptr;
}

// With VOXA_SCREENSHOT naming a file, the first dialog of the run waits
// there: its screen rectangle is written into the file, and the dialog stays
// until the file is removed (scripts/dialog-screenshots.sh takes the picture).
void HoldForScreenshot(HWND dialog) {
  static bool held = false;
  const char* marker = std::getenv("VOXA_SCREENSHOT");
  if (marker == nullptr || held) return;
  held = true;
  Sleep(500);  // let the dialog paint
  RECT r;
  GetWindowRect(dialog, &r);
  if (FILE* f = std::fopen(marker, "w")) {
    std::fprintf(f, "%ldx%ld+%ld+%ld\n", r.right - r.left, r.bottom - r.top, r.left, r.top);
    std::fclose(f);
  }
  for (int tries = 0; tries < 600 && GetFileAttributesA(marker) != INVALID_FILE_ATTRIBUTES; ++tries) {
    Sleep(50);
  }
}

// Runs `show`, which opens a modal dialog titled `title`, on this thread and
// `drive` on a second one once the dialog is up. `drive` must end the dialog;
// if it does not, the dialog is cancelled so the test cannot hang.
void WithDialog(const char* title, int last_control, const std::function<void()>& show,
                const std::function<void(HWND)>& drive) {
  std::atomic<bool> returned{false};
  std::thread driver([&] {
    HWND dialog = WaitForDialog(title, last_control, returned);
    if (dialog == nullptr) {
      ADD_FAILURE() << "no dialog \"" << title << "\" appeared";
      return;
    }
    HoldForScreenshot(dialog);
    drive(dialog);
    for (int tries = 0; tries < kPatience && IsWindow(dialog); ++tries) Sleep(20);
    if (IsWindow(dialog)) {
      ADD_FAILURE() << "\"" << title << "\" was left open";
      PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
    }
  });
  show();
  returned = true;
  driver.join();
}

void Press(HWND dialog, int id) { PostMessageA(dialog, WM_COMMAND, id, 0); }
LRESULT ToList(HWND dialog, UINT message, WPARAM w = 0, LPARAM l = 0) {
  return SendDlgItemMessageA(dialog, kList, message, w, l);
}
Names ListItems(HWND dialog) {
  Names items;
  for (LRESULT i = 0, n = ToList(dialog, LB_GETCOUNT); i < n; ++i) {
    std::string item(ToList(dialog, LB_GETTEXTLEN, i) + 1, '\0');
    item.resize(ToList(dialog, LB_GETTEXT, i, reinterpret_cast<LPARAM>(&item[0])));
    items.push_back(item);
  }
  return items;
}
bool Checked(HWND dialog) { return IsDlgButtonChecked(dialog, kFieldsOrder) == BST_CHECKED; }
void ToggleFieldsOrder(HWND dialog) { SendDlgItemMessageA(dialog, kFieldsOrder, BM_CLICK, 0, 0); }

// A record with `names` in slots 0.. ("" leaves a slot empty). A name of 256
// characters fills its slot without a terminating zero.
CodecSettings Record(int32_t flag, const Names& names) {
  CodecSettings s{};
  s.change_fields_order = flag;
  for (std::size_t i = 0; i < names.size(); ++i) {
    std::memcpy(s.applications[i], names[i].data(), names[i].size());
  }
  return s;
}
Names Sorted(Names names) {
  std::sort(names.begin(), names.end());
  return names;
}
Names Numbered(int count) {
  Names names;
  for (int i = count; i > 0; --i) names.push_back("APP" + std::to_string(100 + i) + ".EXE");
  return names;
}

// The record holds `names` in slots 0.. and nothing but zeros after them.
void ExpectRecord(const CodecSettings& s, int32_t flag, const Names& names) {
  EXPECT_EQ(s.change_fields_order, flag);
  for (std::size_t i = 0; i < kApplicationSlots; ++i) {
    if (i < names.size()) {
      EXPECT_EQ(std::string(s.applications[i], ApplicationNameLength(s, i)), names[i]) << i;
    } else {
      EXPECT_EQ(std::string(s.applications[i], sizeof s.applications[i]),
                std::string(kApplicationSlotBytes, '\0'))
          << "slot " << i << " not cleared";
    }
  }
}

void WriteRegistry(int32_t flag, const Names& names) {
  RegDeleteTreeA(HKEY_CLASSES_ROOT, kKey);
  HKEY key;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CLASSES_ROOT, kKey, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  RegSetValueExA(key, "Change fields order", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&flag), 4);
  for (std::size_t i = 0; i < names.size(); ++i) {
    const std::string value = "Bad application" + std::string(1, "0123456789ABCDEF"[i]);
    RegSetValueExA(key, value.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(names[i].c_str()),
                   static_cast<DWORD>(names[i].size() + 1));
  }
  RegCloseKey(key);
}

// The flag and the names as the next process would load them.
std::pair<int32_t, Names> ReadRegistry() {
  std::pair<int32_t, Names> stored{-1, {}};
  HKEY key;
  if (RegOpenKeyExA(HKEY_CLASSES_ROOT, kKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return stored;
  DWORD size = 4;
  RegQueryValueExA(key, "Change fields order", nullptr, nullptr,
                   reinterpret_cast<BYTE*>(&stored.first), &size);
  for (int i = 0; i < 16; ++i) {
    char name[256];
    size = sizeof name;
    const std::string value = "Bad application" + std::string(1, "0123456789ABCDEF"[i]);
    if (RegQueryValueExA(key, value.c_str(), nullptr, nullptr, reinterpret_cast<BYTE*>(name),
                         &size) != ERROR_SUCCESS) {
      break;
    }
    stored.second.push_back(name);
  }
  RegCloseKey(key);
  return stored;
}

class DialogTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(test::RegisterDriverDll()) << test::DriverDllPath();
    WriteRegistry(0, {"PREMIERE.EXE"});
  }
  void TearDown() override { RegDeleteTreeA(HKEY_CLASSES_ROOT, kKey); }

  static HIC Open() {
    HIC hic = ICOpen(ICTYPE_VIDEO, test::kVoxaHandler, ICMODE_COMPRESS);
    EXPECT_NE(hic, nullptr) << "ICOpen failed for " << test::DriverDllPath();
    return hic;
  }
  static void SetSettings(HIC hic, const CodecSettings& s) {
    char state[4104];
    std::memcpy(state, "VOXA", 4);
    std::memcpy(state + 4, &s, sizeof s);
    ASSERT_EQ(ICSetState(hic, state, sizeof state), 4100);
  }
  static CodecSettings Settings(HIC hic) {
    char state[4104] = {};
    EXPECT_EQ(ICGetState(hic, state, sizeof state), ICERR_OK);
    CodecSettings s;
    std::memcpy(&s, state + 4, sizeof s);
    return s;
  }
  // ICM_CONFIGURE on an instance holding `start`; returns its record afterwards.
  static CodecSettings Configure(const CodecSettings& start, const std::function<void(HWND)>& drive) {
    HIC hic = Open();
    SetSettings(hic, start);
    WithDialog("Dialog", kFieldsOrder, [&] { EXPECT_EQ(ICConfigure(hic, nullptr), ICERR_OK); }, drive);
    const CodecSettings after = Settings(hic);
    ICClose(hic);
    return after;
  }
};

TEST_F(DialogTest, ShowsFlagAndNamesUpToTheFirstEmptySlotSorted) {
  struct Case {
    int32_t flag;
    Names slots;
    bool checked;
    Names shown;
  };
  const std::string unterminated(256, 'Q');
  const Case cases[] = {
      {1, {"ZED.EXE", "PREMIERE.EXE", "ABC.EXE"}, true, {"ABC.EXE", "PREMIERE.EXE", "ZED.EXE"}},
      {0, {"B.EXE", "A.EXE", "", "D.EXE"}, false, {"A.EXE", "B.EXE"}},
      {7, {}, true, {}},
      {0, Numbered(16), false, Sorted(Numbered(16))},
      // A name without its zero is read up to the end of its slot only.
      {0, {unterminated, "B.EXE"}, false, {"B.EXE", unterminated}},
  };
  for (const Case& c : cases) {
    const CodecSettings start = Record(c.flag, c.slots);
    Names shown;
    bool checked = !c.checked;
    const CodecSettings after = Configure(start, [&](HWND dialog) {
      checked = Checked(dialog);
      shown = ListItems(dialog);
      ToggleFieldsOrder(dialog);  // then Cancel: nothing may change
      Press(dialog, IDCANCEL);
    });
    EXPECT_EQ(checked, c.checked) << "flag " << c.flag;
    EXPECT_EQ(shown, c.shown);
    EXPECT_EQ(std::memcmp(&after, &start, sizeof start), 0) << "Cancel changed the record";
  }
}

TEST_F(DialogTest, OkStoresTheFlagAndTheSortedNames) {
  struct Case {
    int32_t flag;
    Names slots;
    bool toggle;
    int32_t stored_flag;
    Names stored;
  };
  const std::string unterminated(256, 'Q');
  const Case cases[] = {
      {0, {"ZED.EXE", "ABC.EXE"}, true, 1, {"ABC.EXE", "ZED.EXE"}},
      {5, {"B.EXE", "A.EXE", "", "D.EXE"}, true, 0, {"A.EXE", "B.EXE"}},
      {5, {"A.EXE"}, false, 1, {"A.EXE"}},
      {0, Numbered(16), false, 0, Sorted(Numbered(16))},
      // Too long for a slot: it and everything after it is dropped.
      {0, {unterminated, "B.EXE"}, false, 0, {"B.EXE"}},
  };
  for (const Case& c : cases) {
    const CodecSettings after = Configure(Record(c.flag, c.slots), [&](HWND dialog) {
      if (c.toggle) ToggleFieldsOrder(dialog);
      Press(dialog, IDOK);
    });
    SCOPED_TRACE(c.slots.empty() ? "" : c.slots[0]);
    ExpectRecord(after, c.stored_flag, c.stored);
  }
}

TEST_F(DialogTest, DeleteSelectsTheItemThatTakesItsPlace) {
  struct Case {
    Names slots;
    int selected;
    Names left;
    int selection_after;
  };
  const Names four = {"A.EXE", "B.EXE", "C.EXE", "D.EXE"};
  const Case cases[] = {
      {four, 1, {"A.EXE", "C.EXE", "D.EXE"}, 1},
      {four, 3, {"A.EXE", "B.EXE", "C.EXE"}, 2},
      {four, -1, four, -1},
      {{"A.EXE"}, 0, {}, -1},
  };
  for (const Case& c : cases) {
    Names left;
    LRESULT selection = -2;
    const CodecSettings after = Configure(Record(0, c.slots), [&](HWND dialog) {
      ToList(dialog, LB_SETCURSEL, c.selected);
      SendMessageA(dialog, WM_COMMAND, kDelete, 0);
      left = ListItems(dialog);
      selection = ToList(dialog, LB_GETCURSEL);
      Press(dialog, IDOK);
    });
    EXPECT_EQ(left, c.left) << "selected " << c.selected;
    EXPECT_EQ(selection, c.selection_after) << "selected " << c.selected;
    ExpectRecord(after, 0, c.left);
  }
}

TEST_F(DialogTest, AddRefusesASeventeenthName) {
  bool box_shown = false;
  Names items;
  Configure(Record(0, Numbered(16)), [&](HWND dialog) {
    Press(dialog, kAdd);
    std::atomic<bool> never{false};
    HWND box = WaitForDialog("Can't add application", IDOK, never);
    box_shown = box != nullptr &&
                FindWindowExA(box, nullptr, "Static", "Too many application are entered.") != nullptr;
    if (box != nullptr) Press(box, IDOK);
    for (int tries = 0; tries < kPatience && IsWindow(box); ++tries) Sleep(20);
    items = ListItems(dialog);
    Press(dialog, IDCANCEL);
  });
  EXPECT_TRUE(box_shown);
  EXPECT_EQ(items, Sorted(Numbered(16)));
}

TEST_F(DialogTest, AddListsTheChosenFileUpperCased) {
  char folder[MAX_PATH];
  GetTempPathA(sizeof folder, folder);
  const std::string file = std::string(folder) + "player.exe";
  CloseHandle(CreateFileA(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));

  // Cancelled in the open-file dialog, then picked there.
  const Names fifteen = Numbered(15);
  std::vector<Names> lists;
  bool titled = false;
  const CodecSettings after = Configure(Record(0, fifteen), [&](HWND dialog) {
    for (bool pick : {false, true}) {
      Press(dialog, kAdd);
      std::atomic<bool> never{false};
      HWND chooser = WaitForDialog("Choose Application", IDOK, never);
      titled = chooser != nullptr;
      if (chooser == nullptr) break;
      // The file name box: cmb13 in the Explorer-style dialog, edt1 in the old one.
      if (pick && !SetDlgItemTextA(chooser, cmb13, file.c_str())) {
        SetDlgItemTextA(chooser, edt1, file.c_str());
      }
      Press(chooser, pick ? IDOK : IDCANCEL);
      for (int tries = 0; tries < kPatience && IsWindow(chooser); ++tries) Sleep(20);
      lists.push_back(ListItems(dialog));
    }
    Press(dialog, IDOK);
  });
  DeleteFileA(file.c_str());
  ASSERT_TRUE(titled);
  Names sixteen = fifteen;
  sixteen.push_back("PLAYER.EXE");
  EXPECT_EQ(lists, (std::vector<Names>{Sorted(fifteen), Sorted(sixteen)}));
  ExpectRecord(after, 0, Sorted(sixteen));
}

// DRV_CONFIGURE edits the process settings and saves them; ICM_CONFIGURE
// edits one instance. Instances copy the process settings when they open.
TEST_F(DialogTest, ConfigureOnTheDriverOrOnAnInstance) {
  struct Case {
    UINT message;
    int button;
    LRESULT result;
    int32_t registry_flag, earlier_flag, later_flag;
  };
  const Case cases[] = {
      {DRV_CONFIGURE, IDOK, -1, 1, 0, 1},
      {DRV_CONFIGURE, IDCANCEL, -1, 0, 0, 0},
      {ICM_CONFIGURE, IDOK, ICERR_OK, 0, 1, 0},
      {ICM_CONFIGURE, IDCANCEL, ICERR_OK, 0, 0, 0},
  };
  const Names names = {"ZED.EXE", "ABC.EXE"};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "message 0x" << std::hex << c.message << " button " << c.button);
    WriteRegistry(0, names);
    HIC earlier = Open();
    // Changed behind the loaded process settings: only a save rewrites it.
    WriteRegistry(0, {"OTHER.EXE"});
    WithDialog(
        "Dialog", kFieldsOrder,
        [&] { EXPECT_EQ(ICSendMessage(earlier, c.message, 0, 0), c.result); },
        [&](HWND dialog) {
          ToggleFieldsOrder(dialog);
          Press(dialog, c.button);
        });
    HIC later = Open();
    const bool saved = c.message == DRV_CONFIGURE && c.button == IDOK;
    const auto registry = ReadRegistry();
    EXPECT_EQ(registry.first, c.registry_flag);
    EXPECT_EQ(registry.second, saved ? Sorted(names) : Names{"OTHER.EXE"});
    EXPECT_EQ(Settings(earlier).change_fields_order, c.earlier_flag);
    EXPECT_EQ(Settings(later).change_fields_order, c.later_flag);
    ICClose(later);
    ICClose(earlier);
  }
}

TEST_F(DialogTest, AboutBoxShowsTheDescriptionAndTheBuild) {
  const std::wstring expected =
      L"Driver for video in format Y16 + Alpha RLE.\n"
      L"\n"
      L"This driver decompresses video in format Y16 + Alpha RLE\n"
      L"(FOURCC is \"VOXA\").\n"
      L" Driver works via manager Video For Windows with OS Windows 95/98/ME/NT/2k. This driver "
      L"is a part of software suite for Calvera\u2122 video board.\n"
      L"\n"
      L"http://www.brenmoor.example/\n"
      L"\n"
      L"Build: 1 August 2003";
  for (int button : {IDOK, IDCANCEL}) {
    HIC hic = Open();
    std::wstring text;
    WithDialog(
        "About Calvera RLE codec", kAboutText,
        [&] { EXPECT_EQ(ICAbout(hic, nullptr), ICERR_OK); },
        [&](HWND dialog) {
          wchar_t buffer[4096] = {};
          GetDlgItemTextW(dialog, kAboutText, buffer, 4096);
          text = buffer;
          Press(dialog, button);
        });
    EXPECT_EQ(text, expected);
    ICClose(hic);
  }
}

}  // namespace
}  // namespace voxa
