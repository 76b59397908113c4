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
// away) is not the run's: neither removed nor moved into place.
TEST_F(OutputFileTest, AFileSwappedInIsNeitherRemovedNorMoved) {
  for (bool move : {false, true}) {
    {
      ExclusiveFile file(Path("out.avi"));
      const std::string temporary = file.path();
      fs::rename(temporary, Path("moved-away"));
      Write(fs::path(temporary).filename(), "someone's");
      if (move) {
        EXPECT_THROW(file.MoveInto(Path("out.avi"), false, 0644, "exists"), OutputRefused);
        EXPECT_FALSE(fs::exists(Path("out.avi")));
      }
      fs::remove(Path("moved-away"));
      EXPECT_EQ(Read(fs::path(temporary).filename()), "someone's");
    }
    const std::vector<std::string> left = Names();
    ASSERT_EQ(left.size(), 1u) << "move " << move;
    EXPECT_EQ(Read(left[0]), "someone's") << "move " << move;
    fs::remove(Path(left[0]));
  }
}

// A run without -y replaces no file, not one that appeared while it wrote;
// with -y an output that is a link has its target written and stays a link.
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
  {
    OutputFile output(Path("fresh.bgra"), keep);
    output.Commit();
  }
  EXPECT_EQ(static_cast<unsigned>(fs::status(Path("fresh.bgra")).permissions()), NewFileMode());
}

// A sequence that cannot be moved into place (a frame's name taken during
// the run) leaves none of its frames, moved or not.
TEST_F(OutputFileTest, ASequenceGoesWhole) {
  {
    OutputSequence sequence(Path("f_%02d.png"), OutputRules{});
    for (int i = 0; i < 3; ++i) EXPECT_EQ(write(sequence.NextFrame(), "png", 3), 3);
    Write("f_03.png", "appeared");
    EXPECT_THROW(sequence.Commit(), OutputRefused);
  }
  EXPECT_EQ(Names(), std::vector<std::string>{"f_03.png"});
  EXPECT_EQ(Read("f_03.png"), "appeared");
}

}  // namespace
}  // namespace voxa
