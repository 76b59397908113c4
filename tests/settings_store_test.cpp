// The settings store against the real registry (advapi32; under Wine for
// the cross builds). Every test starts without the codec's key and removes
// it when done.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "config/settings_store.h"
#include "driver/process_attach.h"

namespace voxa {
namespace {

// Written out here rather than taken from the header, so a wrong constant
// shows up as a test failure.
constexpr char kKey[] = "Software\\Brenmoor\\(VOXA) RLE codec";
constexpr char kFlag[] = "Change fields order";

// "Bad application0" to "Bad applicationF", then "Bad application10".
std::string AppValue(int n) {
  return n < 16 ? std::string("Bad application") + "0123456789ABCDEF"[n] : "Bad application10";
}
// A string with its terminating zero, as RegSetValueExA should get it.
std::string Sz(const std::string& s) { return s + '\0'; }

bool KeyExists() {
  HKEY h;
  if (RegOpenKeyExA(HKEY_CLASSES_ROOT, kKey, 0, KEY_READ, &h) != ERROR_SUCCESS) return false;
  RegCloseKey(h);
  return true;
}

void DeleteKey() {
  RegDeleteTreeA(HKEY_CLASSES_ROOT, kKey);
  RegDeleteKeyA(HKEY_CLASSES_ROOT, "Software\\Brenmoor");  // only if nothing else is in it
}

// Stores `size` bytes of `bytes` (all of them by default).
void Put(const std::string& name, DWORD type, const std::string& bytes, std::size_t size = ~0u) {
  size = std::min(size, bytes.size());
  HKEY h;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CLASSES_ROOT, kKey, 0, nullptr, 0, KEY_WRITE, nullptr, &h, nullptr),
            ERROR_SUCCESS);
  EXPECT_EQ(RegSetValueExA(h, name.c_str(), 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                           static_cast<DWORD>(size)),
            ERROR_SUCCESS);
  RegCloseKey(h);
}

struct Stored {
  DWORD type;
  std::string bytes;
  bool operator==(const Stored& o) const { return type == o.type && bytes == o.bytes; }
};
std::ostream& operator<<(std::ostream& os, const Stored& s) {
  return os << "type " << s.type << ", " << s.bytes.size() << " bytes \"" << s.bytes << '"';
}

std::optional<Stored> Get(const std::string& name) {
  HKEY h;
  if (RegOpenKeyExA(HKEY_CLASSES_ROOT, kKey, 0, KEY_READ, &h) != ERROR_SUCCESS) return std::nullopt;
  BYTE buffer[2048];
  DWORD type = 0, size = sizeof buffer;
  LONG status = RegQueryValueExA(h, name.c_str(), nullptr, &type, buffer, &size);
  RegCloseKey(h);
  if (status != ERROR_SUCCESS) return std::nullopt;
  return Stored{type, std::string(reinterpret_cast<char*>(buffer), size)};
}

std::vector<std::string> ValueNames() {
  std::vector<std::string> names;
  HKEY h;
  if (RegOpenKeyExA(HKEY_CLASSES_ROOT, kKey, 0, KEY_READ, &h) != ERROR_SUCCESS) return names;
  char name[256];
  for (DWORD i = 0;; ++i) {
    DWORD length = sizeof name;
    if (RegEnumValueA(h, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    names.emplace_back(name, length);
  }
  RegCloseKey(h);
  std::sort(names.begin(), names.end());
  return names;
}

// The record with the given names in slots 0 up, every other byte zero.
CodecSettings Record(int32_t flag, const std::vector<std::string>& slots) {
  CodecSettings s;
  std::memset(&s, 0, sizeof s);
  s.change_fields_order = flag;
  for (std::size_t n = 0; n < slots.size(); ++n) {
    std::memcpy(s.applications[n], slots[n].data(), slots[n].size());
  }
  return s;
}

void ExpectSlots(const std::vector<std::string>& slots) {
  const CodecSettings expected = Record(0, slots);
  for (std::size_t n = 0; n < kApplicationSlots; ++n) {
    EXPECT_EQ(std::string(ProcessSettings().applications[n], kApplicationSlotBytes),
              std::string(expected.applications[n], kApplicationSlotBytes))
        << "slot " << n;
  }
}

class SettingsStoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    DeleteKey();
    ASSERT_FALSE(KeyExists());
    // Stale contents that a load must clear whatever its outcome.
    std::memset(&ProcessSettings(), 0xA5, sizeof(CodecSettings));
  }
  void TearDown() override {
    DeleteKey();
    EXPECT_FALSE(KeyExists());
  }
};

TEST_F(SettingsStoreTest, MissingKeyIsCreatedAndDefaultsAreSaved) {
  EXPECT_FALSE(LoadSettings());
  EXPECT_TRUE(KeyExists());
  EXPECT_EQ(ProcessSettings().change_fields_order, 0);
  ExpectSlots({});

  SetDefaultSettings();
  SaveSettings();
  EXPECT_EQ(Get(kFlag), (Stored{REG_DWORD, std::string(4, '\0')}));
  EXPECT_EQ(Get("Bad application0"), (Stored{REG_SZ, Sz("PREMIERE.EXE")}));
  EXPECT_EQ(ValueNames().size(), 2u);

  ASSERT_TRUE(LoadSettings());
  EXPECT_EQ(ProcessSettings().change_fields_order, 0);
  ExpectSlots({"PREMIERE.EXE"});
}

struct FlagCase {
  const char* label;
  std::optional<Stored> stored;  // nothing: the value is missing
  bool loads;
  std::optional<int32_t> flag;  // nothing: not checked
};

void PrintTo(const FlagCase& c, std::ostream* os) { *os << c.label; }

class SettingsFlagLoadTest : public SettingsStoreTest, public ::testing::WithParamInterface<FlagCase> {};

TEST_P(SettingsFlagLoadTest, AcceptsOnlyZeroOrOneInAtMostFourBytes) {
  const FlagCase& c = GetParam();
  if (c.stored) Put(kFlag, c.stored->type, c.stored->bytes);
  Put("Bad application0", REG_SZ, Sz("A.EXE"));

  EXPECT_EQ(LoadSettings(), c.loads);
  if (c.flag) {
    EXPECT_EQ(ProcessSettings().change_fields_order, *c.flag);
  }
  // The application list is read only after the flag has been accepted.
  ExpectSlots(c.loads ? std::vector<std::string>{"A.EXE"} : std::vector<std::string>{});
}

const FlagCase kFlagCases[] = {
    {"Dword0", Stored{REG_DWORD, std::string("\0\0\0\0", 4)}, true, 0},
    {"Dword1", Stored{REG_DWORD, std::string("\1\0\0\0", 4)}, true, 1},
    {"Dword2", Stored{REG_DWORD, std::string("\2\0\0\0", 4)}, false, 2},
    {"DwordAllOnes", Stored{REG_DWORD, std::string(4, '\xFF')}, false, -1},
    {"Dword256", Stored{REG_DWORD, std::string("\0\1\0\0", 4)}, false, 256},
    {"OneByteBinary1", Stored{REG_BINARY, std::string("\1", 1)}, true, 1},
    {"EmptyBinary", Stored{REG_BINARY, std::string()}, true, 0},
    {"FiveBytes", Stored{REG_BINARY, std::string("\1\0\0\0\0", 5)}, false, std::nullopt},
    {"Missing", std::nullopt, false, std::nullopt},
};
INSTANTIATE_TEST_SUITE_P(Flags, SettingsFlagLoadTest, ::testing::ValuesIn(kFlagCases),
                         [](const auto& info) { return std::string(info.param.label); });

struct ListCase {
  const char* label;
  std::vector<std::pair<std::string, Stored>> values;  // value name, contents
  std::vector<std::string> slots;                       // expected slots from 0 up
};

void PrintTo(const ListCase& c, std::ostream* os) { *os << c.label; }

class SettingsListLoadTest : public SettingsStoreTest, public ::testing::WithParamInterface<ListCase> {};

TEST_P(SettingsListLoadTest, ReadsSlotsUpToFirstUnreadableValue) {
  Put(kFlag, REG_DWORD, std::string("\1\0\0\0", 4));
  for (const auto& [name, stored] : GetParam().values) Put(name, stored.type, stored.bytes);

  ASSERT_TRUE(LoadSettings());
  EXPECT_EQ(ProcessSettings().change_fields_order, 1);
  ExpectSlots(GetParam().slots);
}

std::pair<std::string, Stored> App(int n, const std::string& bytes, DWORD type = REG_SZ) {
  return {AppValue(n), Stored{type, bytes}};
}

ListCase SixteenValues() {
  ListCase c{"SixteenValuesAndNoSeventeenth", {}, {}};
  for (int n = 0; n <= 16; ++n) {
    c.values.push_back(App(n, Sz("APP" + std::to_string(n) + ".EXE")));
    if (n < 16) c.slots.push_back("APP" + std::to_string(n) + ".EXE");
  }
  return c;
}

const ListCase kListCases[] = {
    {"NoValues", {}, {}},
    {"GapAtTwo", {App(0, Sz("A")), App(1, Sz("B")), App(3, Sz("D"))}, {"A", "B"}},
    {"EmptyStringDoesNotEnd", {App(0, Sz("A")), App(1, Sz("")), App(2, Sz("C"))}, {"A", "", "C"}},
    {"ThreeHundredCharsEnds",
     {App(0, Sz("A")), App(1, Sz("B")), App(2, Sz(std::string(300, 'x'))), App(3, Sz("D"))},
     {"A", "B"}},
    {"TwoHundredFiftyFiveCharsFit",
     {App(0, Sz(std::string(255, 'x'))), App(1, Sz(std::string(256, 'y'))), App(2, Sz("C"))},
     {std::string(255, 'x')}},
    {"StoredTypeNotChecked", {App(0, Sz("BIN.EXE"), REG_BINARY), App(1, Sz("B"), REG_EXPAND_SZ)},
     {"BIN.EXE", "B"}},
    SixteenValues(),
};
INSTANTIATE_TEST_SUITE_P(Lists, SettingsListLoadTest, ::testing::ValuesIn(kListCases),
                         [](const auto& info) { return std::string(info.param.label); });

TEST_F(SettingsStoreTest, FlagIsWrittenAsWholeLittleEndianDword) {
  const std::pair<int32_t, std::string> cases[] = {
      {0, std::string(4, '\0')}, {1, std::string("\1\0\0\0", 4)}, {0x01020304, "\4\3\2\1"}};
  for (const auto& [flag, bytes] : cases) {
    SCOPED_TRACE(flag);
    Put(kFlag, REG_BINARY, std::string("\7", 1));  // a save replaces type and size too
    ProcessSettings() = Record(flag, {});
    SaveSettings();
    EXPECT_EQ(Get(kFlag), (Stored{REG_DWORD, bytes}));
  }
}

TEST_F(SettingsStoreTest, SaveWritesNamesUpToFirstEmptySlot) {
  ProcessSettings() = Record(1, {"A.EXE", "BB.EXE", "", "D.EXE"});
  SaveSettings();
  EXPECT_EQ(ValueNames(), (std::vector<std::string>{"Bad application0", "Bad application1", kFlag}));
  EXPECT_EQ(Get("Bad application0"), (Stored{REG_SZ, Sz("A.EXE")}));
  EXPECT_EQ(Get("Bad application1"), (Stored{REG_SZ, Sz("BB.EXE")}));
}

TEST_F(SettingsStoreTest, SavingShorterListKeepsHigherIndices) {
  ProcessSettings() = Record(0, {"0.EXE", "1.EXE", "2.EXE", "3.EXE", "4.EXE"});
  SaveSettings();
  ProcessSettings() = Record(0, {"NEW0.EXE", "NEW1.EXE"});
  SaveSettings();

  ASSERT_TRUE(LoadSettings());
  ExpectSlots({"NEW0.EXE", "NEW1.EXE", "2.EXE", "3.EXE", "4.EXE"});
}

// A value of exactly 256 bytes without a zero fills its slot to the last
// byte; a save writes no more than the slot: 255 characters and the zero.
TEST_F(SettingsStoreTest, UnterminatedValueStaysInItsSlot) {
  Put(kFlag, REG_DWORD, std::string(4, '\0'));
  Put("Bad application0", REG_BINARY, std::string(256, 'Z'));
  // RegSetValueExA adds a zero to a string when the byte after it is zero.
  Put("Bad application1", REG_SZ, std::string(257, 'Y'), 256);
  ASSERT_EQ(Get("Bad application1"), (Stored{REG_SZ, std::string(256, 'Y')}));
  Put("Bad application2", REG_SZ, Sz("C.EXE"));
  ASSERT_TRUE(LoadSettings());
  ExpectSlots({std::string(256, 'Z'), std::string(256, 'Y'), "C.EXE"});

  DeleteKey();
  SaveSettings();
  EXPECT_EQ(Get("Bad application0"), (Stored{REG_SZ, Sz(std::string(255, 'Z'))}));
  EXPECT_EQ(Get("Bad application1"), (Stored{REG_SZ, Sz(std::string(255, 'Y'))}));
  EXPECT_EQ(Get("Bad application2"), (Stored{REG_SZ, Sz("C.EXE")}));
}

// All 16 slots full to their last byte (as a host may hand them over): the
// names carry one upper-case hex digit, and nothing past the record is read.
TEST_F(SettingsStoreTest, SaveOfSixteenFullSlots) {
  for (int n = 0; n < 16; ++n) std::memset(ProcessSettings().applications[n], 'a' + n, 256);
  ProcessSettings().change_fields_order = 0;
  SaveSettings();

  std::vector<std::string> expected_names;
  for (int n = 0; n < 16; ++n) expected_names.push_back(AppValue(n));
  expected_names.push_back(kFlag);
  EXPECT_EQ(ValueNames(), expected_names);
  for (int n = 0; n < 16; ++n) {
    EXPECT_EQ(Get(AppValue(n)), (Stored{REG_SZ, Sz(std::string(255, 'a' + n))})) << n;
  }
}

// What a process that loads the library ends up with: the registry's record
// when it is valid, else the defaults, saved over the flag and the first name
// while higher names stay behind.
TEST_F(SettingsStoreTest, ProcessAttachLoadsOrInstallsDefaults) {
  ProcessAttach(GetModuleHandleA(nullptr));
  EXPECT_EQ(ProcessSettings().change_fields_order, 0);
  ExpectSlots({"PREMIERE.EXE"});
  EXPECT_EQ(Get(kFlag), (Stored{REG_DWORD, std::string(4, '\0')}));

  Put(kFlag, REG_DWORD, std::string("\x02\0\0\0", 4));
  Put("Bad application0", REG_SZ, Sz("A.EXE"));
  Put("Bad application1", REG_SZ, Sz("B.EXE"));
  ProcessAttach(GetModuleHandleA(nullptr));
  EXPECT_EQ(ProcessSettings().change_fields_order, 0);
  ExpectSlots({"PREMIERE.EXE"});
  EXPECT_EQ(Get(kFlag), (Stored{REG_DWORD, std::string(4, '\0')}));
  EXPECT_EQ(Get("Bad application0"), (Stored{REG_SZ, Sz("PREMIERE.EXE")}));

  Put(kFlag, REG_DWORD, std::string("\x01\0\0\0", 4));
  ProcessAttach(GetModuleHandleA(nullptr));
  EXPECT_EQ(ProcessSettings().change_fields_order, 1);
  ExpectSlots({"PREMIERE.EXE", "B.EXE"});
}

}  // namespace
}  // namespace voxa
