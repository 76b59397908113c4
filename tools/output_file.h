// Where a run of the tool writes, so that no run destroys a file.
//
// A regular file is written under a temporary name beside its final one and
// moved into place only when the run succeeds; a failed or interrupted run
// removes that temporary file and nothing else, so whatever had the final
// name before is left as it was. Outputs that are not regular files (a
// device, a FIFO, "-" for standard output) are written in place and never
// removed. An output that is the run's input is refused, and so is an
// existing one unless the run may overwrite it.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace voxa {

// What a run asks of its output. Refusals are OutputRefused.
struct OutputRules {
  std::string input;       // the run's input ("-" or a pattern: not compared)
  bool overwrite = false;  // -y: an existing regular file may be replaced
  // Why the format cannot go to standard output; empty when it can.
  std::string not_streamable;
};

// The output is the input, exists, or cannot be written where asked.
struct OutputRefused : std::runtime_error {
  using std::runtime_error::runtime_error;
};

class OutputFile {
 public:
  OutputFile(const std::string& path, const OutputRules& rules);
  // Removes the temporary file unless the run committed it.
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // The name to write to: a temporary name, the device or FIFO itself, or
  // "pipe:1" for standard output (as FFmpeg names it).
  const std::string& write_path() const { return write_path_; }
  // Whether write_path is a temporary file of this run.
  bool temporary() const { return temporary_; }
  // Moves the temporary file into place. Throws OutputRefused when that fails.
  void Commit();

 private:
  std::string path_;
  std::string write_path_;
  bool temporary_ = false;
  bool overwrite_ = false;
  bool committed_ = false;
};

// A numbered sequence of files (title_%04d.png), frames numbered from 1:
// written under temporary names, moved into place together at the end.
class OutputSequence {
 public:
  OutputSequence(const std::string& pattern, const OutputRules& rules);
  // Removes every temporary file of the run that is still there.
  ~OutputSequence();
  OutputSequence(const OutputSequence&) = delete;
  OutputSequence& operator=(const OutputSequence&) = delete;

  // The pattern to write to, numbers and all.
  const std::string& write_pattern() const { return write_pattern_; }
  // Moves files 1 to `count` into place. Returns a warning when files of an
  // earlier sequence follow them (empty otherwise). Throws OutputRefused.
  std::string Commit(uint64_t count);

 private:
  std::string pattern_;
  std::string write_pattern_;
  bool overwrite_;
  uint64_t committed_ = 0;
};

// The name of file `number` of a sequence pattern ("%04d" and the like).
std::string SequenceFileName(const std::string& pattern, uint64_t number);

}  // namespace voxa
