// The voxa command line, run in-process on files in a scratch folder.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "codec/frame_container.h"
#include "scratch_folder.h"

namespace voxa {
namespace {

namespace fs = std::filesystem;

using ToolTest = CommandTest;

TEST_F(ToolTest, SampleEncodeDecodeCompareBothFormats) {
  for (const std::string format : {"rgba", "y16a"}) {
    ASSERT_EQ(Run({"sample", "--size", "64x10", "--format", format, Path("raw")}), 0) << err_.str();
    ASSERT_EQ(Run({"encode-frame", "--size", "64x10", "--format", format, Path("raw"), Path("vx")}), 0)
        << err_.str();
    const std::vector<uint8_t> frame = Read("vx");
    ASSERT_TRUE(HasFrameMagic(frame.data(), frame.size()));
    ASSERT_EQ(Run({"decode-frame", "--size", "64x10", "--format", format, "--kernels", "portable",
                   Path("vx"), Path("back")}),
              0)
        << err_.str();
    EXPECT_EQ(Read("back").size(), Read("raw").size());
    ASSERT_EQ(Run({"compare", "--size", "64x10", "--format", format, Path("raw"), Path("back")}), 0);
    EXPECT_NE(out_.str().find("PSNR"), std::string::npos);
    ASSERT_EQ(Run({"inspect", "--size", "64x10", Path("vx")}), 0) << out_.str();
    EXPECT_NE(out_.str().find("tag 0x00000020 (field 32)"), std::string::npos) << out_.str();
  }
}

// Blocks a frame leaves untouched (zero run words) keep the bytes of --onto.
TEST_F(ToolTest, DecodeOntoBaseKeepsUntouchedBytes) {
  std::vector<uint8_t> frame(kFrameMagic, kFrameMagic + 4);
  for (uint32_t tag : {kFirstFieldTag, kSecondFieldTag}) {
    const uint32_t words[] = {tag, 8, 0, static_cast<uint32_t>(-1)};
    for (uint32_t w : words) {
      frame.resize(frame.size() + 4);
      StoreLe32(&frame[frame.size() - 4], w);
    }
  }
  Write("vx", frame);
  Write("base", std::vector<uint8_t>(32 * 2 * 4, 0x42));
  ASSERT_EQ(Run({"decode-frame", "--size", "32x2", "--onto", Path("base"), Path("vx"), Path("out")}), 0)
      << err_.str();
  const std::vector<uint8_t> out = Read("out");
  ASSERT_EQ(out.size(), 256u);
  // Each field's line: first block kept, second block transparent.
  for (int line = 0; line < 2; ++line) {
    EXPECT_EQ(out[line * 128], 0x42);
    EXPECT_EQ(out[line * 128 + 64], 0);
  }
}

TEST_F(ToolTest, ErrorsGiveOneLineAndTheirExitStatus) {
  Write("short", std::vector<uint8_t>(100));
  Write("notvx", std::vector<uint8_t>(64, 'x'));
  Write("cut", {'Q', 'T', 'Z', '1', 0x20, 0, 0, 0, 0x30, 0, 0, 0, 1, 0, 0, 0});
  struct Case {
    std::vector<std::string> args;
    int status;
    const char* says;
  };
  const Case cases[] = {
      {{}, kExitUsage, "no command"},
      {{"transcode"}, kExitUsage, "unknown command"},
      {{"encode-frame", "--size", "33x2", Path("short"), Path("o")}, kExitUsage, "nearest: 32 or 48"},
      {{"encode-frame", "--size", "32", Path("short"), Path("o")}, kExitUsage, "bad --size"},
      {{"encode-frame", "--size", "32x2", "--kernels", "magic", Path("short"), Path("o")},
       kExitUsage, "unknown --kernels"},
      {{"encode-frame", "--size", "32x2", "--bogus", "1", Path("short"), Path("o")}, kExitUsage,
       "unknown option"},
      {{"encode-frame", "--size", "32x2", Path("short")}, kExitUsage, "takes 2 files"},
      {{"encode-frame", "--size", "32x2", "--format", "rgb", Path("short"), Path("o")},
       kExitUsage, "unknown --format"},
      {{"encode-frame", "--size", "32x2", Path("short"), Path("o")}, kExitBadData, "holds 100 bytes"},
      {{"encode-frame", "--size", "32x2", Path("missing"), Path("o")}, kExitBadData, "cannot open"},
      {{"decode-frame", "--size", "32x2", Path("notvx"), Path("o")}, kExitBadData, "not a VOXA frame"},
      {{"decode-frame", "--size", "32x2", Path("cut"), Path("o")}, kExitBadData, "damaged"},
      {{"inspect", Path("cut")}, kExitBadData, "malformed"},
      {{"inspect", "--size", "32x3", Path("cut")}, kExitBadData, "malformed"},
  };
  for (const Case& c : cases) {
    std::string line;
    for (const auto& a : c.args) line += a + " ";
    EXPECT_EQ(Run(c.args), c.status) << line;
    EXPECT_NE(err_.str().find(c.says), std::string::npos) << line << "\n" << err_.str();
    EXPECT_FALSE(fs::exists(Path("o"))) << line;
  }
}

TEST_F(ToolTest, InspectSaysWhatIsWrong) {
  Write("cut", {'Q', 'T', 'Z', '1', 0x20, 0, 0, 0, 0x34, 0, 0, 0, 2, 0, 0, 0, 9, 9});
  EXPECT_EQ(Run({"inspect", Path("cut")}), kExitBadData);
  EXPECT_NE(out_.str().find("runs 46 bytes past the end"), std::string::npos) << out_.str();
  EXPECT_NE(out_.str().find("run word +2 at offset 0 announces 96 bytes"), std::string::npos)
      << out_.str();
}

}  // namespace
}  // namespace voxa
