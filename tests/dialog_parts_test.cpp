// The parts of the two dialogs that need no screen: the compiled dialog
// templates, the handling of a chosen file's name, and the lookup of the
// build string in version-information blocks.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "config/dialogs.h"

namespace voxa {
namespace {

TEST(StripToFileName, KeepsWhatFollowsTheLastSeparator) {
  const struct {
    const char* path;
    const char* name;
  } cases[] = {
      {"C:\\APPS\\X.EXE", "X.EXE"}, {"D:/tools/y.exe", "y.exe"}, {"C:Z.EXE", "Z.EXE"},
      {"PLAIN.EXE", "PLAIN.EXE"},   {"", ""},                    {"a:b\\c/d.exe", "d.exe"},
      {"C:\\DIR\\", ""},
  };
  for (const auto& c : cases) {
    char buffer[260];
    std::strcpy(buffer, c.path);
    StripToFileName(buffer);
    EXPECT_STREQ(buffer, c.name) << c.path;
  }
}

TEST(UpperCaseAscii, ChangesOnlyTheLettersAToZ) {
  // Neighbours of the ranges and bytes above 0x7F stay as they are.
  char name[] = "player.exe `az{ @AZ[ \xe9t\xe9-1_";
  UpperCaseAscii(name);
  EXPECT_STREQ(name, "PLAYER.EXE `AZ{ @AZ[ \xe9T\xe9-1_");
}

// A template as text: the dialog's line, then one line per control.
std::vector<std::string> DescribeTemplate(int id) {
  HRSRC found = FindResourceA(nullptr, MAKEINTRESOURCEA(id), MAKEINTRESOURCEA(5) /* RT_DIALOG */);
  if (found == nullptr) return {"no template"};
  const auto* p = static_cast<const uint16_t*>(LockResource(LoadResource(nullptr, found)));
  auto dword = [&p] { const uint32_t v = p[0] | p[1] << 16; p += 2; return v; };
  auto text = [&p] {
    std::string s;
    if (*p == 0xFFFF) {
      s = "#" + std::to_string(p[1]);
      p += 2;
      return s;
    }
    for (; *p != 0; ++p) s += *p < 0x80 ? static_cast<char>(*p) : '?';
    ++p;
    return s;
  };
  auto box = [&p] {
    std::string s = std::to_string(int16_t(p[0])) + "," + std::to_string(int16_t(p[1])) + " " +
                    std::to_string(int16_t(p[2])) + "x" + std::to_string(int16_t(p[3]));
    p += 4;
    return s;
  };
  char line[160];
  const uint32_t style = dword(), ex_style = dword();
  const int count = *p++;
  const std::string at = box();
  const std::string menu = text(), window_class = text(), title = text();
  const int points = *p++;
  std::snprintf(line, sizeof line, "%08x %x %s menu '%s' class '%s' '%s' %d '%s'", style, ex_style,
                at.c_str(), menu.c_str(), window_class.c_str(), title.c_str(), points, text().c_str());
  std::vector<std::string> lines{line};
  for (int i = 0; i < count; ++i) {
    p = reinterpret_cast<const uint16_t*>((reinterpret_cast<uintptr_t>(p) + 3) & ~uintptr_t{3});
    const uint32_t item_style = dword(), item_ex_style = dword();
    const std::string item_at = box();
    const int item_id = *p++;
    const std::string item_class = text(), item_text = text();
    p += 1 + *p / 2;  // creation data
    std::snprintf(line, sizeof line, "%d %s '%s' %s %08x %x", item_id, item_class.c_str(),
                  item_text.c_str(), item_at.c_str(), item_style, item_ex_style);
    lines.push_back(line);
  }
  return lines;
}

TEST(DialogTemplates, ConfigurationDialog) {
  const std::vector<std::string> expected = {
      "80c800c0 0 0,0 186x170 menu '' class '' 'Dialog' 8 'MS Sans Serif'",
      "1 #128 'OK' 129,132 50x14 50010001 0",
      "2 #128 'Cancel' 129,149 50x14 50010000 0",
      "65535 #128 'Application needed to correct playback framerate' 7,7 172x118 58000007 0",
      "1000 #131 '' 13,16 160x76 58a10103 0",
      "1001 #128 'Add...' 13,104 50x14 58010000 0",
      "1002 #128 'Delete' 123,105 50x14 58010000 0",
      "1003 #128 'Change fields order' 7,153 77x10 50010003 0",
  };
  EXPECT_EQ(DescribeTemplate(101), expected);
}

TEST(DialogTemplates, AboutBox) {
  const std::vector<std::string> expected = {
      "80c800c0 0 0,0 234x145 menu '' class '' 'About Calvera RLE codec' 8 'MS Sans Serif'",
      "1 #128 'OK' 177,108 50x14 50010001 0",
      "2 #128 'Cancel' 177,124 50x14 50010000 0",
      "1004 #130 'Text must be placed here...' 7,7 220x94 50021001 0",
  };
  EXPECT_EQ(DescribeTemplate(102), expected);
}

// Version resources 1 to 5 of this program (resources/voxa.rc and
// tests/version_blocks.rc), each copied into a block as GetFileVersionInfoA
// lays it out: the resource followed by room for the ANSI conversions.
TEST(ReadSpecialBuild, TakesTheUsEnglishUnicodeBlockOnly) {
  const struct {
    int resource;
    const char* text;
  } cases[] = {
      {1, "1 August 2003"}, {2, "unchanged"}, {3, "second entry"}, {4, "unchanged"},
      {5, "unchanged"},
  };
  for (const auto& c : cases) {
    HRSRC found = FindResourceA(nullptr, MAKEINTRESOURCEA(c.resource), MAKEINTRESOURCEA(16));
    ASSERT_NE(found, nullptr) << c.resource;
    const DWORD size = SizeofResource(nullptr, found);
    std::vector<char> block(size * 3, '\0');
    std::memcpy(block.data(), LockResource(LoadResource(nullptr, found)), size);
    char text[kVersionTextBytes] = "unchanged";
    ReadSpecialBuild(text, block.data());
    EXPECT_STREQ(text, c.text) << "version resource " << c.resource;
  }
}

}  // namespace
}  // namespace voxa
