// Where a run of the tool writes, so that no run destroys a file.
//
// A regular file is written under a temporary name beside its final one,
// made by the run itself (tools/exclusive_file.h), and moved into place only
// when the run succeeds; a failed or interrupted run removes that file and
// nothing else, so whatever had the final name before is left as it was.
// Without -y the move never replaces a file, not even one that appeared
// while the run wrote. Outputs that are not regular files (a device, a FIFO,
// "-" for standard output) are written in place and never removed; formats
// written with seeks refuse them. What a name is is taken from a descriptor
// opened on it, and a device or FIFO is written through a descriptor of the
// very thing looked at. An output that is the run's input is refused, and so
// is an existing one unless the run may overwrite it. Everything is written
// through the descriptor the output was opened with.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "tools/exclusive_file.h"
#include "tools/file_descriptor.h"

namespace voxa {

// What a run asks of its output. Refusals are OutputRefused.
struct OutputRules {
  std::string input;       // the run's input ("-" or a pattern: not compared)
  bool overwrite = false;  // -y: an existing regular file may be replaced
  // Why the format cannot go to standard output; empty when it can.
  std::string not_streamable;
  // The format is written with seeks: a device or FIFO is refused too, with
  // the reason above, before anything is read or written.
  bool seeks = false;
};

// The output is the input, exists, or cannot be written where asked.
struct OutputRefused : std::runtime_error {
  using std::runtime_error::runtime_error;
};

class OutputFile {
 public:
  OutputFile(const std::string& path, const OutputRules& rules);
  // Removes the temporary file unless the run committed it.
  ~OutputFile() = default;
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // The descriptor to write to: the temporary file (open for reading too),
  // the device or FIFO itself, or standard output.
  int fd() const;
  // Whether the output is a temporary file of this run (seekable).
  bool temporary() const { return temporary_.has_value(); }
  // Moves the temporary file into place. Throws OutputRefused when that fails.
  void Commit();

 private:
  std::string path_;
  std::optional<ExclusiveFile> temporary_;
  UniqueFd in_place_;
  bool overwrite_ = false;
  bool committed_ = false;
};

// A numbered sequence of files (title_%04d.png), frames numbered from 1:
// each written under a temporary name of its own, all moved into place
// together at the end. Without -y a name taken by anything (a link to
// nothing too) is refused: the first frame's at the start, the others
// before the first move.
class OutputSequence {
 public:
  OutputSequence(const std::string& pattern, const OutputRules& rules);
  // Removes every temporary file of the run, and every file a failed commit
  // had already moved.
  ~OutputSequence() = default;
  OutputSequence(const OutputSequence&) = delete;
  OutputSequence& operator=(const OutputSequence&) = delete;

  // Makes the next frame's file; the descriptor to write it through stays
  // the sequence's and is closed when the next one is made.
  int NextFrame();
  // Moves the frames into place: all of them, or none. Every name is
  // checked first; with -y a link at a frame's name stays and its target
  // gets the frame, and an old file that a frame replaces is kept aside
  // until all are in place. Returns a warning when files of an earlier
  // sequence follow them (empty otherwise). Throws OutputRefused, after
  // taking back whatever it had moved and putting back what it replaced.
  std::string Commit();

 private:
  std::string pattern_;
  bool overwrite_;
  std::vector<ExclusiveFile> frames_;
  std::vector<std::string> finals_;  // where each frame goes
};

// The name of file `number` of a sequence pattern ("%04d" and the like).
std::string SequenceFileName(const std::string& pattern, uint64_t number);

}  // namespace voxa
