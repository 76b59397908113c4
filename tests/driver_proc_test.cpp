// DriverProc's message table, the driver state and the driver information,
// with the driver's logic linked into the test program.
#include <gtest/gtest.h>

#include <windows.h>

#include <vfw.h>

#include <cstring>
#include <vector>

#include "config/settings_store.h"
#include "driver/driver_proc.h"
#include "driver/fourcc.h"
#include "driver/process_attach.h"

namespace voxa {
namespace {

constexpr DWORD_PTR kNoInstance = ~DWORD_PTR{0};

class DriverProcTest : public testing::Test {
 protected:
  static void SetUpTestSuite() { ProcessAttach(GetModuleHandleA(nullptr)); }

  void SetUp() override {
    ICOPEN open{};
    open.dwSize = sizeof open;
    open.fccType = MakeFourcc('v', 'i', 'd', 'c');
    open.fccHandler = MakeFourcc('v', 'o', 'x', 'a');
    id_ = static_cast<DWORD_PTR>(Send(0, DRV_OPEN, 0, reinterpret_cast<LPARAM>(&open)));
    ASSERT_NE(id_, 0u);
    ASSERT_NE(id_, kNoInstance);
  }
  void TearDown() override { EXPECT_EQ(Send(id_, DRV_CLOSE), 1); }

  static LRESULT Send(DWORD_PTR id, UINT message, LPARAM p1 = 0, LPARAM p2 = 0) {
    return DriverProc(id, nullptr, message, p1, p2);
  }
  static LPARAM Ptr(const void* p) { return reinterpret_cast<LPARAM>(p); }

  DWORD_PTR id_ = 0;
};

TEST(FourccToUpper, FoldsLettersOnly) {
  EXPECT_EQ(FourccToUpper(MakeFourcc('v', 'o', 'x', 'a')), kFourccVoxa);
  EXPECT_EQ(FourccToUpper(MakeFourcc('y', '1', '6', 'a')), kFourccY16a);
  EXPECT_EQ(FourccToUpper(MakeFourcc('`', '{', '\xE1', 'Z')), MakeFourcc('`', '{', '\xE1', 'Z'));
  EXPECT_EQ(FourccToUpper(0), 0u);
}

// Rows without an instance: driver messages answer, instance messages
// return -100, anything else -1.
TEST_F(DriverProcTest, MessagesWithoutInstance) {
  struct Row {
    UINT message;
    LPARAM param1;
    LRESULT result;
  };
  const Row rows[] = {
      {DRV_LOAD, 0, 1}, {DRV_ENABLE, 0, 1}, {DRV_DISABLE, 0, 1}, {DRV_FREE, 0, 1},
      {DRV_QUERYCONFIGURE, 0, 1}, {DRV_INSTALL, 0, 1}, {DRV_REMOVE, 0, 1},
      {ICM_COMPRESS_GET_FORMAT, 0, ICERR_ERROR}, {ICM_COMPRESS_GET_SIZE, 0, ICERR_ERROR},
      {ICM_COMPRESS_QUERY, 0, ICERR_ERROR}, {ICM_COMPRESS_BEGIN, 0, ICERR_ERROR},
      {ICM_COMPRESS, 0, ICERR_ERROR}, {ICM_COMPRESS_END, 0, ICERR_ERROR},
      {ICM_DECOMPRESS_GET_FORMAT, 0, ICERR_ERROR}, {ICM_DECOMPRESS_QUERY, 0, ICERR_ERROR},
      {ICM_DECOMPRESS_BEGIN, 0, ICERR_ERROR}, {ICM_DECOMPRESS, 0, ICERR_ERROR},
      {ICM_DECOMPRESS_END, 0, ICERR_ERROR}, {ICM_GETSTATE, 0, ICERR_ERROR},
      {ICM_SETSTATE, 0, ICERR_ERROR}, {ICM_GETINFO, 0, ICERR_ERROR},
      {ICM_CONFIGURE, -1, ICERR_OK}, {ICM_ABOUT, -1, ICERR_OK},
      {ICM_CONFIGURE, 0, ICERR_ERROR}, {ICM_ABOUT, 0, ICERR_ERROR},
      {0x5003, 0, ICERR_UNSUPPORTED}, {0x400F, 0, ICERR_UNSUPPORTED},
      {ICM_DRAW_BEGIN, 0, ICERR_UNSUPPORTED}, {ICM_GETDEFAULTQUALITY, 0, ICERR_UNSUPPORTED},
  };
  for (DWORD_PTR id : {DWORD_PTR{0}, kNoInstance, DWORD_PTR{0xFFFFFFFF}}) {
    for (const Row& r : rows) {
      EXPECT_EQ(Send(id, r.message, r.param1), r.result)
          << "message 0x" << std::hex << r.message << " id " << id;
    }
  }
  EXPECT_EQ(Send(kNoInstance, DRV_CLOSE), 1);
}

TEST_F(DriverProcTest, MessagesWithInstance) {
  EXPECT_EQ(Send(id_, 0x5003), ICERR_UNSUPPORTED);
  EXPECT_EQ(Send(id_, 0x400F), ICERR_UNSUPPORTED);
  EXPECT_EQ(Send(id_, ICM_CONFIGURE, -1), ICERR_OK);
  EXPECT_EQ(Send(id_, ICM_ABOUT, -1), ICERR_OK);
  EXPECT_EQ(Send(id_, DRV_QUERYCONFIGURE), 1);
}

TEST_F(DriverProcTest, OpenChecksTypeAndHandler) {
  struct Case {
    DWORD type, handler;
    bool opens;
  };
  const Case cases[] = {
      {MakeFourcc('V', 'I', 'D', 'C'), MakeFourcc('V', 'O', 'X', 'A'), true},
      {MakeFourcc('v', 'I', 'd', 'C'), MakeFourcc('V', 'o', 'X', 'a'), true},
      {MakeFourcc('V', 'I', 'D', 'C'), MakeFourcc('V', 'O', 'X', 'B'), false},
      {MakeFourcc('A', 'U', 'D', 'C'), MakeFourcc('V', 'O', 'X', 'A'), false},
      {MakeFourcc('V', 'I', 'D', 'C'), 0, false},
  };
  for (const Case& c : cases) {
    ICOPEN open{};
    open.fccType = c.type;
    open.fccHandler = c.handler;
    const DWORD_PTR id = static_cast<DWORD_PTR>(Send(0, DRV_OPEN, 0, Ptr(&open)));
    EXPECT_EQ(id != 0, c.opens) << std::hex << c.type << " " << c.handler;
    if (id != 0) {
      EXPECT_EQ(Send(id, DRV_CLOSE), 1);
    }
  }
  EXPECT_EQ(static_cast<DWORD_PTR>(Send(0, DRV_OPEN, 0, 0)), kNoInstance);
}

TEST_F(DriverProcTest, StateRecord) {
  std::vector<uint8_t> state(4104 + 16, 0xCC);
  EXPECT_EQ(Send(id_, ICM_GETSTATE, 0, 12345), 4104);
  EXPECT_EQ(Send(id_, ICM_GETSTATE, Ptr(state.data()), 4103), ICERR_ERROR);
  EXPECT_EQ(state[0], 0xCC);
  ASSERT_EQ(Send(id_, ICM_GETSTATE, Ptr(state.data()), 4104), ICERR_OK);
  EXPECT_EQ(std::memcmp(state.data(), "VOXA", 4), 0);
  EXPECT_EQ(std::memcmp(state.data() + 4, &ProcessSettings(), 4100), 0);
  EXPECT_EQ(state[4104], 0xCC);

  // A state record set is the state record got, byte for byte, slots without
  // their zero included.
  std::vector<uint8_t> mine(4104);
  std::memcpy(mine.data(), "voxa", 4);
  for (std::size_t i = 4; i < mine.size(); ++i) mine[i] = static_cast<uint8_t>(i * 7 + 1);
  mine[4] = 1, mine[5] = mine[6] = mine[7] = 0;
  EXPECT_EQ(Send(id_, ICM_SETSTATE, Ptr(mine.data()), 4104), 4100);
  ASSERT_EQ(Send(id_, ICM_GETSTATE, Ptr(state.data()), 4104), ICERR_OK);
  EXPECT_EQ(std::memcmp(state.data(), "VOXA", 4), 0);
  EXPECT_EQ(std::memcmp(state.data() + 4, mine.data() + 4, 4100), 0);

  // Refused records change nothing.
  std::vector<uint8_t> other = mine;
  std::memcpy(other.data(), "QTZ1", 4);
  other[10] ^= 0xFF;
  EXPECT_EQ(Send(id_, ICM_SETSTATE, Ptr(other.data()), 4104), 0);
  std::memcpy(other.data(), "VOXA", 4);
  EXPECT_EQ(Send(id_, ICM_SETSTATE, Ptr(other.data()), 4103), 0);
  ASSERT_EQ(Send(id_, ICM_GETSTATE, Ptr(state.data()), 4104), ICERR_OK);
  EXPECT_EQ(std::memcmp(state.data() + 4, mine.data() + 4, 4100), 0);

  // A null state restores the process settings.
  EXPECT_EQ(Send(id_, ICM_SETSTATE, 0, 0), 4100);
  ASSERT_EQ(Send(id_, ICM_GETSTATE, Ptr(state.data()), 4104), ICERR_OK);
  EXPECT_EQ(std::memcmp(state.data() + 4, &ProcessSettings(), 4100), 0);
}

TEST_F(DriverProcTest, Information) {
  ICINFO info;
  std::memset(&info, 0xCC, sizeof info);
  EXPECT_EQ(sizeof info, 568u);
  EXPECT_EQ(Send(id_, ICM_GETINFO, 0, 568), 0);
  EXPECT_EQ(Send(id_, ICM_GETINFO, Ptr(&info), 567), 0);
  EXPECT_EQ(info.dwSize, 0xCCCCCCCCu);
  ASSERT_EQ(Send(id_, ICM_GETINFO, Ptr(&info), 568), 568);
  EXPECT_EQ(info.dwSize, 568u);
  EXPECT_EQ(info.fccType, kFourccVidc);  // "VIDC", upper case
  EXPECT_EQ(info.fccHandler, kFourccVoxa);
  EXPECT_EQ(info.dwFlags, 0u);
  EXPECT_EQ(info.dwVersion, 1u);
  EXPECT_EQ(info.dwVersionICM, 0x104u);
  EXPECT_STREQ(info.szName, L"VOXA");
  EXPECT_STREQ(info.szDescription, L"Brenmoor Y16 + Alpha RLE");
  EXPECT_EQ(info.szName[15], 0);
  for (WCHAR c : info.szDriver) ASSERT_EQ(c, 0);
}

}  // namespace
}  // namespace voxa
