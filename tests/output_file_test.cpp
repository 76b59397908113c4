// The tool's outputs in a folder where others could plant files: its
// temporary files are its own, it removes and moves only those, and without
// -y it never replaces a file, not even one that appeared during the run.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "tools/exclusive_file.h"
#include "tools/output_file.h"
#include "scratch_folder.h"

namespace voxa {
namespace {

namespace fs = std::filesystem;

class OutputFileTest : public ScratchFolderTest {
 protected:
  void Write(const std::string& name, const std::string& text) const {
    std::ofstream(Path(name), std::ios::binary) << text;
  }
  std::string Read(const std::string& name) const {
    std::ifstream in(Path(name), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  // The names in the folder, hidden ones too.
  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir_)) names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
  }
};

// Someone planted something at the first name a run would try: the run takes
// another name, and the planted thing (and what a link points to) is left as
// it was, before and after the run's file goes.
TEST_F(OutputFileTest, PlantedTemporaryNamesAreNeverOpened) {
  const struct {
    const char* name;
    std::function<void(const std::string&)> plant;
  } cases[] = {
      {"a link to a victim", [&](const std::string& at) { fs::create_symlink(Path("victim"), at); }},
      {"a link to nothing yet", [&](const std::string& at) { fs::create_symlink(Path("new-victim"), at); }},
      {"a regular file", [&](const std::string& at) { std::ofstream(at) << "planted"; }},
      {"a FIFO", [&](const std::string& at) { ASSERT_EQ(mkfifo(at.c_str(), 0666), 0); }},
  };
  for (const auto& c : cases) {
    Write("victim", "victim's");
    const std::string planted = Path(".voxa-PLANTED-out.avi");
    c.plant(planted);
    int calls = 0;
    const ExclusiveFile::NameSource names = [&] { return calls++ == 0 ? "PLANTED" : "FRESH" + std::to_string(calls); };
    {
      ExclusiveFile file(Path("out.avi"), names);
      EXPECT_EQ(file.path(), Path(".voxa-FRESH2-out.avi")) << c.name;
      ASSERT_GE(file.fd(), 0) << c.name;
      EXPECT_EQ(write(file.fd(), "run's", 5), 5);
      struct stat s;
      ASSERT_EQ(fstat(file.fd(), &s), 0);
      EXPECT_EQ(s.st_mode & 0777, 0600u) << c.name;
    }
    EXPECT_EQ(Read("victim"), "victim's") << c.name;
    EXPECT_FALSE(fs::exists(Path("new-victim"))) << c.name;
    EXPECT_TRUE(fs::exists(fs::symlink_status(planted))) << c.name << ": the planted thing went";
    EXPECT_FALSE(fs::exists(Path(".voxa-FRESH2-out.avi"))) << c.name << ": the run's file stayed";
    fs::remove(planted);
  }
}

// A file put at the run's temporary name while it wrote (its own moved
// away) is not the run's: neither removed nor moved into place, not even a
// link to the run's own file.
TEST_F(OutputFileTest, AFileSwappedInIsNeitherRemovedNorMoved) {
  for (bool link : {false, true}) {
    for (bool move : {false, true}) {
      std::string temporary;
      {
        ExclusiveFile file(Path("out.avi"));
        temporary = file.path();
        fs::rename(temporary, Path("moved-away"));
        if (link) fs::create_symlink(Path("moved-away"), temporary);
        if (!link) Write(fs::path(temporary).filename(), "someone's");
        if (move) {
          EXPECT_THROW(file.MoveInto(Path("out.avi"), false, 0644, "exists"), OutputRefused);
          EXPECT_FALSE(fs::exists(Path("out.avi")));
        }
      }
      EXPECT_EQ(fs::symlink_status(temporary).type(), link ? fs::file_type::symlink : fs::file_type::regular)
          << "link " << link << ", move " << move;
      EXPECT_EQ(Read(fs::path(temporary).filename()), link ? "" : "someone's");
      fs::remove(temporary);
      fs::remove(Path("moved-away"));
    }
  }
}

// A run without -y replaces no file, not one that appeared while it wrote;
// with -y an output that is a link (a frame of a sequence too) has its target
// written and stays a link.
// A file moved into place has the mode of a new file, or of the one it
// replaced.
TEST_F(OutputFileTest, CommitReplacesOnlyWithOverwrite) {
  OutputRules keep;
  {
    OutputFile output(Path("out.bgra"), keep);
    ASSERT_TRUE(output.temporary());
    EXPECT_EQ(write(output.fd(), "run's", 5), 5);
    Write("out.bgra", "appeared");
    try {
      output.Commit();
      ADD_FAILURE() << "the file that appeared was replaced";
    } catch (const OutputRefused& e) {
      EXPECT_NE(std::string(e.what()).find("exists; give -y"), std::string::npos) << e.what();
    }
  }
  EXPECT_EQ(Read("out.bgra"), "appeared");
  EXPECT_EQ(Names(), std::vector<std::string>{"out.bgra"});

  Write("target.bgra", "old");
  fs::permissions(Path("target.bgra"), fs::perms(0640));
  fs::create_symlink(Path("target.bgra"), Path("link.bgra"));
  OutputRules overwrite;
  overwrite.overwrite = true;
  {
    OutputFile output(Path("link.bgra"), overwrite);
    EXPECT_EQ(write(output.fd(), "new", 3), 3);
    output.Commit();
  }
  EXPECT_TRUE(fs::is_symlink(Path("link.bgra")));
  EXPECT_EQ(Read("target.bgra"), "new");
  EXPECT_EQ(fs::status(Path("target.bgra")).permissions(), fs::perms(0640));
  fs::create_symlink(Path("target.bgra"), Path("link_01.png"));
  {
    OutputSequence sequence(Path("link_%02d.png"), overwrite);
    EXPECT_EQ(write(sequence.NextFrame(), "frame", 5), 5);
    sequence.Commit();
  }
  EXPECT_TRUE(fs::is_symlink(Path("link_01.png")));
  EXPECT_EQ(Read("target.bgra"), "frame");
  {
    OutputFile output(Path("fresh.bgra"), keep);
    output.Commit();
  }
  EXPECT_EQ(static_cast<unsigned>(fs::status(Path("fresh.bgra")).permissions()), NewFileMode());
}

// A sequence goes into place whole or not at all: a name taken (by a file,
// a link to nothing, a folder) or a frame that is not the run's own any more
// leaves every file that was there as it was, with -y too.
TEST_F(OutputFileTest, ASequenceGoesWhole) {
  const struct {
    const char* name;
    bool overwrite;
    std::function<void()> plant;    // before the run, or while it writes
    bool meanwhile;
    std::vector<std::string> left;  // the names afterwards, none with a frame's contents
  } cases[] = {
      {"a file", false, [&] { Write("f_03.png", "there"); }, false, {"f_03.png"}},
      {"a link to nothing", false, [&] { fs::create_symlink(Path("nowhere"), Path("f_03.png")); }, false, {"f_03.png"}},
      {"the third frame swapped", false,
       [&] {
         for (const std::string& name : Names()) {
           if (name.find("-f_03.png") != std::string::npos) fs::remove(Path(name)), Write(name, "someone's");
         }
       },
       true, {}},
      {"-y, a folder", true,
       [&] { Write("f_01.png", "old"), Write("f_02.png", "old"), fs::create_directory(Path("f_03.png")); },
       false, {"f_01.png", "f_02.png", "f_03.png"}},
  };
  for (const auto& c : cases) {
    if (!c.meanwhile) c.plant();
    OutputRules rules;
    rules.overwrite = c.overwrite;
    {
      OutputSequence sequence(Path("f_%02d.png"), rules);
      for (int i = 0; i < 3; ++i) EXPECT_EQ(write(sequence.NextFrame(), "png", 3), 3);
      if (c.meanwhile) c.plant();
      EXPECT_THROW(sequence.Commit(), OutputRefused) << c.name;
    }
    std::vector<std::string> left;
    for (const std::string& name : Names()) {
      if (name[0] != '.') left.push_back(name);
      EXPECT_TRUE(fs::is_directory(Path(name)) || Read(name) != "png") << c.name << ": " << name;
      fs::remove_all(Path(name));
    }
    EXPECT_EQ(left, c.left) << c.name;
  }
}

}  // namespace
}  // namespace voxa
