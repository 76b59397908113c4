// A folder of a test's own, under the system's temporary folder: made empty
// before the test and removed after it. And the voxa command line run
// in-process on files in it, its output and messages kept.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "tools/cli.h"

namespace voxa {

class ScratchFolderTest : public testing::Test {
 protected:
  void SetUp() override {
    const testing::TestInfo* test = testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string("voxa-") + test->test_suite_name() + "-" + test->name();
    for (char& c : name) {
      if (c == '/') c = '-';
    }
    dir_ = std::filesystem::temp_directory_path() / name;
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  std::string Path(const std::string& name) const { return (dir_ / name).string(); }

  std::vector<uint8_t> Read(const std::string& name) const {
    std::ifstream in(Path(name), std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
  }
  void Write(const std::string& name, const std::vector<uint8_t>& data) const {
    std::ofstream(Path(name), std::ios::binary)
        .write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
  }

  std::filesystem::path dir_;
};

class CommandTest : public ScratchFolderTest {
 protected:
  // Runs a command line (without the program name), with the commands on
  // video files when `video_` has them.
  int Run(const std::vector<std::string>& args) {
    out_.str(""), err_.str("");
    return RunVoxa(args, out_, err_, video_);
  }

  VideoCommands* video_ = nullptr;
  std::ostringstream out_, err_;
};

}  // namespace voxa
