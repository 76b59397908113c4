// What careless or hostile hosts do to the driver: two threads on one
// instance, closed and made-up driver ids, headers shorter than a bitmap
// header, a begin without an output, dropped frames, and buffers smaller than
// their headers say. Every buffer a message must not overrun ends at a page
// without access.
#include <gtest/gtest.h>

#include <windows.h>

#include <vfw.h>

#include <atomic>
#include <cstring>
#include <functional>
#include <memory>
#include <thread>
#include <unordered_set>
#include <vector>

#include "driver/instance_table.h"
#include "driver_test_support.h"
#include "page_end_buffer.h"
#include "test_frames.h"

namespace voxa {
namespace {

using test::CompressedHeader;
using test::PageEndBuffer;
using test::Ptr;
using test::RawHeader;
using test::SendTo;

constexpr LONG kWidth = 64, kHeight = 32;
constexpr std::size_t kRawBytes = kWidth * kHeight * 4;
constexpr int kIterations = 3000;

// One ICM_COMPRESS of a BGRA frame into `frame` (resized to what was written).
LRESULT CompressFrame(DWORD_PTR id, BITMAPINFOHEADER in, const uint8_t* pixels,
                      std::vector<uint8_t>* frame) {
  BITMAPINFOHEADER out = CompressedHeader(in.biWidth, in.biHeight);
  frame->assign(kRawBytes + 4096, 0xEE);
  ICCOMPRESS c{};
  c.lpbiInput = &in;
  c.lpInput = const_cast<uint8_t*>(pixels);
  c.lpbiOutput = &out;
  c.lpOutput = frame->data();
  const LRESULT result = SendTo(id, ICM_COMPRESS, Ptr(&c), sizeof c);
  if (result == ICERR_OK) frame->resize(out.biSizeImage);
  return result;
}

// One ICM_DECOMPRESS of `frame` into `picture`, whose header is `out`.
LRESULT DecompressFrame(DWORD_PTR id, const std::vector<uint8_t>& frame, BITMAPINFOHEADER out,
                        uint8_t* picture, DWORD flags = 0) {
  BITMAPINFOHEADER in = CompressedHeader(out.biWidth, out.biHeight);
  in.biSizeImage = static_cast<DWORD>(frame.size());
  ICDECOMPRESS d{};
  d.dwFlags = flags;
  d.lpbiInput = &in;
  d.lpInput = frame.empty() ? nullptr : const_cast<uint8_t*>(frame.data());
  d.lpbiOutput = &out;
  d.lpOutput = picture;
  return SendTo(id, ICM_DECOMPRESS, Ptr(&d), sizeof d);
}

void SetFieldOrder(DWORD_PTR id, int32_t flag) {
  std::vector<uint8_t> state(4104, 0);
  std::memcpy(state.data(), "VOXA", 4);
  std::memcpy(state.data() + 4, &flag, 4);
  ASSERT_EQ(SendTo(id, ICM_SETSTATE, Ptr(state.data()), 4104), 4100);
}

class HostileHostTest : public test::OpenInstanceTest {
 protected:
  void SetUp() override {
    test::OpenInstanceTest::SetUp();
    test::Random random(23);
    pixels_ = random.Bytes(kRawBytes);
    const BITMAPINFOHEADER raw = RawHeader(kWidth, kHeight), voxa = CompressedHeader(kWidth, kHeight);
    ASSERT_EQ(Send(ICM_COMPRESS_BEGIN, Ptr(&raw), Ptr(&voxa)), ICERR_OK);
    ASSERT_EQ(CompressFrame(id_, raw, pixels_.data(), &frame_), ICERR_OK);
    picture_.assign(kRawBytes, 0);
    ASSERT_EQ(Send(ICM_DECOMPRESS_BEGIN, Ptr(&voxa), Ptr(&raw)), ICERR_OK);
    ASSERT_EQ(DecompressFrame(id_, frame_, raw, picture_.data()), ICERR_OK);
    ASSERT_EQ(Send(ICM_DECOMPRESS_END), ICERR_OK);
  }

  std::vector<uint8_t> pixels_, frame_, picture_;  // one frame, coded by one thread
};

// Two threads drive one instance; every frame that one of them gets 0 for is
// the frame a single thread codes.
TEST_F(HostileHostTest, TwoThreadsOnOneInstance) {
  const BITMAPINFOHEADER raw = RawHeader(kWidth, kHeight), voxa = CompressedHeader(kWidth, kHeight);
  const DWORD_PTR id = id_;
  const auto compressing = [&](int* coded) {
    std::vector<uint8_t> frame;
    for (int i = 0; i < kIterations; ++i) {
      SendTo(id, ICM_COMPRESS_BEGIN, Ptr(&raw), Ptr(&voxa));
      if (CompressFrame(id, raw, pixels_.data(), &frame) != ICERR_OK) continue;
      ++*coded;
      ASSERT_EQ(frame, frame_) << "iteration " << i;
    }
  };
  const std::function<void(int*)> others[] = {
      // begin and end against begin and frame
      [&](int*) {
        for (int i = 0; i < kIterations; ++i) {
          SendTo(id, ICM_COMPRESS_BEGIN, Ptr(&raw), Ptr(&voxa));
          SendTo(id, ICM_COMPRESS_END);
        }
      },
      // decompressing against compressing
      [&](int* coded) {
        std::vector<uint8_t> picture(kRawBytes);
        for (int i = 0; i < kIterations; ++i) {
          SendTo(id, ICM_DECOMPRESS_BEGIN, Ptr(&voxa), Ptr(&raw));
          if (DecompressFrame(id, frame_, raw, picture.data()) != ICERR_OK) continue;
          ++*coded;
          ASSERT_EQ(picture, picture_) << "iteration " << i;
        }
      },
      // state and information against begin and frame
      [&](int*) {
        std::vector<uint8_t> state(4104);
        ICINFO info;
        for (int i = 0; i < kIterations; ++i) {
          ASSERT_EQ(SendTo(id, ICM_GETSTATE, Ptr(state.data()), 4104), ICERR_OK);
          ASSERT_EQ(SendTo(id, ICM_SETSTATE, Ptr(state.data()), 4104), 4100);
          ASSERT_EQ(SendTo(id, ICM_GETINFO, Ptr(&info), sizeof info), static_cast<LRESULT>(sizeof info));
        }
      },
  };
  for (const auto& other : others) {
    int compressed = 0, decompressed = 0;  // the frames that got 0
    std::thread first(compressing, &compressed), second(other, &decompressed);
    first.join();
    second.join();
    EXPECT_GT(compressed, 0);
  }
}

// Ids of closed instances, ids never handed out and ids a newer instance
// could have reused name no instance: -100 for instance messages, 1 for
// DRV_CLOSE, and the open instance is untouched by them.
TEST_F(HostileHostTest, ClosedAndMadeUpDriverIds) {
  const DWORD_PTR closed = test::OpenInstance();
  ASSERT_NE(closed, 0u);
  EXPECT_EQ(SendTo(closed, DRV_CLOSE), 1);
  EXPECT_EQ(SendTo(closed, DRV_CLOSE), 1);
  const DWORD_PTR newer = test::OpenInstance();  // may take the closed one's place
  std::vector<uint8_t> state(4104, 0);
  std::memcpy(state.data(), "VOXA", 4);
  state[4] = 1;
  int on_stack = 0;
  for (DWORD_PTR id : {closed, DWORD_PTR{1}, DWORD_PTR{0x12345678},
                       reinterpret_cast<DWORD_PTR>(&on_stack), id_ + 1, id_ ^ 0x1000}) {
    EXPECT_EQ(SendTo(id, ICM_GETSTATE), ICERR_ERROR) << id;
    EXPECT_EQ(SendTo(id, ICM_SETSTATE, Ptr(state.data()), 4104), ICERR_ERROR) << id;
    EXPECT_EQ(SendTo(id, ICM_COMPRESS_END), ICERR_ERROR) << id;
    EXPECT_EQ(SendTo(id, DRV_CLOSE), 1) << id;
  }
  std::vector<uint8_t> mine(4104);
  for (DWORD_PTR id : {id_, newer}) {
    ASSERT_EQ(SendTo(id, ICM_GETSTATE, Ptr(mine.data()), 4104), ICERR_OK);
    EXPECT_EQ(mine[4], 0) << "a made-up id changed an open instance";
  }
  EXPECT_EQ(SendTo(newer, DRV_CLOSE), 1);
}

// The instance table at its limits: a close while every reference an
// instance can have is held, ids over more reopenings than a slot has
// generations, and a full table.
TEST_F(HostileHostTest, InstanceTableAtItsLimits) {
  std::vector<std::unique_ptr<InstanceAccess>> holders;
  for (;;) {
    auto holder = std::make_unique<InstanceAccess>(id_);
    if (holder->get() == nullptr) break;
    holders.push_back(std::move(holder));
  }
  EXPECT_EQ(holders.size(), 2047u);
  EXPECT_EQ(SendTo(id_, DRV_CLOSE), 1);
  holders.clear();
  EXPECT_EQ(SendTo(id_, ICM_GETSTATE), ICERR_ERROR) << "the close was dropped";
  id_ = test::OpenInstance();

  // Every id of (2^19 + 2) opens is new, and the first names nothing at the end.
  std::unordered_set<DWORD_PTR> seen{id_};
  const DWORD_PTR first = test::OpenInstance();
  EXPECT_EQ(SendTo(first, DRV_CLOSE), 1);
  seen.insert(first);
  for (int i = 0; i < (1 << 19) + 1; ++i) {
    const DWORD_PTR id = test::OpenInstance();
    ASSERT_TRUE(seen.insert(id).second) << "id " << id << " again after " << i + 2 << " opens";
    SendTo(id, DRV_CLOSE);
  }
  const DWORD_PTR newest = test::OpenInstance();
  EXPECT_EQ(SendTo(first, ICM_GETSTATE), ICERR_ERROR);
  EXPECT_EQ(SendTo(newest, ICM_GETSTATE), 4104);

  // A full table refuses the next open, and takes one again after a close.
  std::vector<DWORD_PTR> open{newest};
  for (DWORD_PTR id; (id = test::OpenInstance()) != 0;) open.push_back(id);
  EXPECT_EQ(open.size(), 4095u);  // beside the fixture's own
  EXPECT_EQ(std::unordered_set<DWORD_PTR>(open.begin(), open.end()).size(), open.size());
  EXPECT_EQ(SendTo(open.back(), DRV_CLOSE), 1);
  open.back() = test::OpenInstance();
  EXPECT_NE(open.back(), 0u);
  for (DWORD_PTR id : open) EXPECT_EQ(SendTo(id, DRV_CLOSE), 1);
}

// References a thread can still take on an open instance (each holds its
// lock, which this thread may take again).
std::size_t FreeReferences(DWORD_PTR id) {
  std::vector<std::unique_ptr<InstanceAccess>> holders;
  while (holders.emplace_back(std::make_unique<InstanceAccess>(id))->get() != nullptr) {}
  return holders.size() - 1;
}

// A message that waits for the instance's lock while another thread closes
// the instance finds it closed when it gets the lock.
TEST_F(HostileHostTest, MessageWaitingForTheLockFindsTheInstanceClosed) {
  auto holding = std::make_unique<InstanceAccess>(id_);
  const std::size_t free_before = FreeReferences(id_);
  constexpr LRESULT kUnanswered = 1;
  std::atomic<LRESULT> waited{kUnanswered};
  std::thread waiting;
  // Until the message waits: it holds a reference, and the lock is this
  // thread's. One that came while the count held every reference was
  // answered at once, and is sent again.
  do {
    if (waiting.joinable()) waiting.join();
    waited = kUnanswered;
    waiting = std::thread([&] { waited = SendTo(id_, ICM_GETSTATE); });
    while (waited == kUnanswered && FreeReferences(id_) == free_before) std::this_thread::yield();
  } while (waited != kUnanswered);
  EXPECT_EQ(SendTo(id_, DRV_CLOSE), 1);
  holding.reset();
  waiting.join();
  EXPECT_EQ(waited, ICERR_ERROR);
  EXPECT_EQ(SendTo(id_, ICM_GETSTATE), ICERR_ERROR);
}

// A header of 12 or 39 bytes, the last of them just before a page without
// access, in each role of each message that takes headers: nothing but its
// size is read, and the code is the short header's of that role.
TEST_F(HostileHostTest, ShortHeadersAreReadNoFurtherThanTheirSize) {
  struct Case {
    UINT message;
    bool short_input;  // else the output is short
    LRESULT result;
  };
  const Case cases[] = {
      {ICM_COMPRESS_QUERY, true, ICERR_BADSIZE},       {ICM_COMPRESS_QUERY, false, ICERR_BADFORMAT},
      {ICM_COMPRESS_GET_SIZE, true, ICERR_BADSIZE},    {ICM_COMPRESS_GET_SIZE, false, ICERR_BADFORMAT},
      {ICM_COMPRESS_GET_FORMAT, true, ICERR_BADSIZE},  {ICM_COMPRESS_BEGIN, true, ICERR_BADSIZE},
      {ICM_COMPRESS_BEGIN, false, ICERR_BADFORMAT},    {ICM_COMPRESS, true, ICERR_BADSIZE},
      {ICM_COMPRESS, false, ICERR_BADFORMAT},          {ICM_DECOMPRESS_QUERY, true, ICERR_BADSIZE},
      {ICM_DECOMPRESS_QUERY, false, ICERR_BADFORMAT},  {ICM_DECOMPRESS_GET_FORMAT, true, ICERR_BADSIZE},
      {ICM_DECOMPRESS_BEGIN, true, ICERR_BADSIZE},     {ICM_DECOMPRESS_BEGIN, false, ICERR_BADFORMAT},
      {ICM_DECOMPRESS, true, ICERR_BADSIZE},           {ICM_DECOMPRESS, false, ICERR_BADFORMAT},
  };
  const BITMAPINFOHEADER raw = RawHeader(kWidth, kHeight), voxa = CompressedHeader(kWidth, kHeight);
  std::vector<uint8_t> frame(kRawBytes + 4096), picture(kRawBytes);
  for (DWORD size : {DWORD{12}, DWORD{39}}) {
    for (const Case& c : cases) {
      const bool compress = c.message == ICM_COMPRESS_QUERY || c.message == ICM_COMPRESS_GET_SIZE ||
                            c.message == ICM_COMPRESS_GET_FORMAT ||
                            c.message == ICM_COMPRESS_BEGIN || c.message == ICM_COMPRESS;
      BITMAPINFOHEADER in = compress ? raw : voxa, out = compress ? voxa : raw;
      BITMAPINFOHEADER& cut = c.short_input ? in : out;
      cut.biSize = size;
      PageEndBuffer page(size);
      std::memcpy(page.data(), &cut, size);
      const auto* short_header = reinterpret_cast<BITMAPINFOHEADER*>(page.data());
      const BITMAPINFOHEADER* input = c.short_input ? short_header : &in;
      BITMAPINFOHEADER* output = c.short_input ? &out : const_cast<BITMAPINFOHEADER*>(short_header);
      LRESULT result;
      if (c.message == ICM_COMPRESS) {
        ASSERT_EQ(Send(ICM_COMPRESS_BEGIN, Ptr(&raw), Ptr(&voxa)), ICERR_OK);
        ICCOMPRESS record{};
        record.lpbiInput = const_cast<BITMAPINFOHEADER*>(input);
        record.lpInput = pixels_.data();
        record.lpbiOutput = output;
        record.lpOutput = frame.data();
        result = Send(ICM_COMPRESS, Ptr(&record), sizeof record);
      } else if (c.message == ICM_DECOMPRESS) {
        ASSERT_EQ(Send(ICM_DECOMPRESS_BEGIN, Ptr(&voxa), Ptr(&raw)), ICERR_OK);
        ICDECOMPRESS record{};
        record.lpbiInput = const_cast<BITMAPINFOHEADER*>(input);
        record.lpInput = frame_.data();
        record.lpbiOutput = output;
        record.lpOutput = picture.data();
        result = Send(ICM_DECOMPRESS, Ptr(&record), sizeof record);
      } else {
        result = Send(c.message, Ptr(input), Ptr(output));
      }
      EXPECT_EQ(result, c.result) << "message " << c.message << ", " << size << "-byte "
                                  << (c.short_input ? "input" : "output");
    }
  }
}

// A decompression begun without an output header, or with the compressed
// format itself as its output (as Wine 8's DirectShow AVI Decompressor does),
// under either field order, then frames with one.
TEST_F(HostileHostTest, DecompressBeginWithoutOutput) {
  const BITMAPINFOHEADER raw = RawHeader(kWidth, kHeight), voxa = CompressedHeader(kWidth, kHeight);
  for (const BITMAPINFOHEADER* output : {static_cast<const BITMAPINFOHEADER*>(nullptr), &voxa}) {
    for (int32_t flag : {0, 1}) {
      SetFieldOrder(id_, flag);
      ASSERT_EQ(Send(ICM_DECOMPRESS_BEGIN, Ptr(&voxa), Ptr(output)), ICERR_OK) << flag;
      std::vector<uint8_t> picture(kRawBytes);
      EXPECT_EQ(DecompressFrame(id_, frame_, raw, picture.data()), ICERR_OK) << flag;
      EXPECT_EQ(picture, picture_) << flag;
    }
  }
}

// Dropped frames (no bytes, or the null-frame flag) are answered with 0 and
// leave the picture as it was.
TEST_F(HostileHostTest, DroppedFrames) {
  const BITMAPINFOHEADER raw = RawHeader(kWidth, kHeight), voxa = CompressedHeader(kWidth, kHeight);
  ASSERT_EQ(Send(ICM_DECOMPRESS_BEGIN, Ptr(&voxa), Ptr(&raw)), ICERR_OK);
  const std::vector<uint8_t> untouched(kRawBytes, 0x5C);
  std::vector<uint8_t> picture = untouched;
  EXPECT_EQ(DecompressFrame(id_, {}, raw, picture.data()), ICERR_OK);
  EXPECT_EQ(DecompressFrame(id_, frame_, raw, picture.data(), ICDECOMPRESS_NULLFRAME), ICERR_OK);
  EXPECT_EQ(picture, untouched);
}

// Buffers that end before the frame their header describes, each followed
// by a page without access: refused with -6 and untouched; a buffer of
// exactly the frame's size works.
TEST_F(HostileHostTest, BuffersSmallerThanTheirHeaders) {
  const BITMAPINFOHEADER voxa = CompressedHeader(kWidth, kHeight);
  for (PixelFormat format : {PixelFormat::kRgba32, PixelFormat::kY16a}) {
    const DWORD bytes = static_cast<DWORD>(RawFrameBytes(format, kWidth, kHeight));
    BITMAPINFOHEADER raw = RawHeader(kWidth, kHeight, format);
    for (DWORD size : {bytes - 1, bytes}) {
      const LRESULT expected = size < bytes ? ICERR_BADPARAM : ICERR_OK;
      raw.biSizeImage = size;
      PageEndBuffer picture(size);
      std::memset(picture.data(), 0x5C, size);
      ASSERT_EQ(Send(ICM_DECOMPRESS_BEGIN, Ptr(&voxa), Ptr(&raw)), ICERR_OK);
      EXPECT_EQ(DecompressFrame(id_, frame_, raw, picture.data()), expected) << size;
      if (size < bytes) {
        EXPECT_EQ(std::vector<uint8_t>(picture.data(), picture.data() + size),
                  std::vector<uint8_t>(size, 0x5C));
      }

      PageEndBuffer pixels(size);
      std::memcpy(pixels.data(), pixels_.data(), size);
      ASSERT_EQ(Send(ICM_COMPRESS_BEGIN, Ptr(&raw), Ptr(&voxa)), ICERR_OK);
      std::vector<uint8_t> frame;
      EXPECT_EQ(CompressFrame(id_, raw, pixels.data(), &frame), expected) << size;
    }
  }
}

}  // namespace
}  // namespace voxa
