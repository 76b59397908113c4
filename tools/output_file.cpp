#include "tools/output_file.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "tools/wording.h"


namespace voxa {
namespace {

namespace fs = std::filesystem;

const char kStandardStream[] = "-";
constexpr int kStandardOutputFd = 1;

std::string Quoted(const std::string& path) { return "'" + path + "'"; }

// The folder a new file goes into must be there.
void RequireFolder(const fs::path& file, const std::string& shown) {
  const fs::path folder = file.parent_path().empty() ? fs::path(".") : file.parent_path();
  std::error_code error;
  const fs::file_status status = fs::status(folder, error);
  if (!fs::exists(status)) {
    throw OutputRefused("cannot create " + Quoted(shown) + ": the folder " +
                        Quoted(folder.string()) + " does not exist");
  }
  if (!fs::is_directory(status)) {
    throw OutputRefused("cannot create " + Quoted(shown) + ": " + Quoted(folder.string()) +
                        " is not a folder");
  }
}

void RefuseTheInput(const std::string& path, const OutputRules& rules) {
  if (rules.input.empty() || rules.input == kStandardStream) return;
  std::error_code error;
  if (fs::equivalent(rules.input, path, error)) {
    throw OutputRefused("the output " + Quoted(path) + " is the input " + Quoted(rules.input) +
                        ": give another name");
  }
}

bool IsInPlace(fs::file_type type) {
  return type == fs::file_type::character || type == fs::file_type::block ||
         type == fs::file_type::fifo || type == fs::file_type::socket;
}

std::string ExistsText(const std::string& path) {
  return Quoted(path) + " exists; give -y to overwrite it";
}

// A device or FIFO, opened as it is: not made, not cut.
UniqueFd OpenInPlace(const std::string& path) {
  UniqueFd fd = OpenForWriting(path);
  if (!fd) throw OutputRefused("cannot open " + Quoted(path) + ": " + std::strerror(errno));
  return fd;
}

// The mode the file at `path` has, for its replacement; a new file's mode
// when there is none.
unsigned ModeToKeep(const std::string& path) {
  std::error_code error;
  const fs::file_status status = fs::status(path, error);
  if (!fs::exists(status)) return NewFileMode();
  return static_cast<unsigned>(status.permissions() & fs::perms::mask);
}

}  // namespace

OutputFile::OutputFile(const std::string& path, const OutputRules& rules)
    : path_(path), overwrite_(rules.overwrite) {
  if (path == kStandardStream) {
    if (!rules.not_streamable.empty()) throw OutputRefused(rules.not_streamable);
    return;
  }
  RefuseTheInput(path, rules);
  std::error_code error;
  const fs::file_status status = fs::status(path, error);
  if (IsInPlace(status.type())) {
    in_place_ = OpenInPlace(path);
    return;
  }
  if (fs::is_directory(status)) throw OutputRefused(Quoted(path) + " is a folder");
  fs::path final_path = path;
  if (fs::exists(status)) {
    if (!rules.overwrite) throw OutputRefused(ExistsText(path));
    // A link keeps pointing where it did: its target gets the new contents.
    final_path = fs::canonical(path, error);
    if (error) final_path = path;
  }
  RequireFolder(final_path, path);
  path_ = final_path.string();
  temporary_.emplace(final_path);
}

int OutputFile::fd() const {
  if (temporary_) return temporary_->fd();
  return in_place_ ? in_place_.get() : kStandardOutputFd;
}

void OutputFile::Commit() {
  if (!temporary_ || committed_) return;
  temporary_->MoveInto(path_, overwrite_, ModeToKeep(path_), ExistsText(path_));
  committed_ = true;
}

std::string SequenceFileName(const std::string& pattern, uint64_t number) {
  std::string name;
  bool numbered = false;
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    if (pattern[i] != '%') {
      name += pattern[i];
      continue;
    }
    if (i + 1 < pattern.size() && pattern[i + 1] == '%') {
      name += '%';
      ++i;
      continue;
    }
    std::size_t end = i + 1;
    while (end < pattern.size() && pattern[end] >= '0' && pattern[end] <= '9') ++end;
    if (end >= pattern.size() || pattern[end] != 'd' || numbered) {
      throw OutputRefused("the name " + Quoted(pattern) +
                          " needs exactly one frame number such as %04d (and %% for a %)");
    }
    const std::string digits = pattern.substr(i + 1, end - i - 1);
    const std::size_t width = digits.empty() ? 0 : std::stoul(digits);
    std::string text = std::to_string(number);
    if (text.size() < width) text.insert(0, width - text.size(), '0');
    name += text;
    numbered = true;
    i = end;
  }
  if (!numbered) {
    throw OutputRefused("the name " + Quoted(pattern) + " needs a frame number such as %04d");
  }
  return name;
}

OutputSequence::OutputSequence(const std::string& pattern, const OutputRules& rules)
    : pattern_(pattern), overwrite_(rules.overwrite) {
  if (pattern == kStandardStream) throw OutputRefused(rules.not_streamable);
  const std::string first = SequenceFileName(pattern, 1);
  const fs::path pattern_path = pattern;
  if (pattern_path.parent_path().string().find('%') != std::string::npos) {
    throw OutputRefused("the frame number of " + Quoted(pattern) + " must be in the file name");
  }
  RefuseTheInput(first, rules);
  std::error_code error;
  if (fs::exists(first, error) && !overwrite_) throw OutputRefused(ExistsText(first));
  RequireFolder(pattern_path, first);
}

int OutputSequence::NextFrame() {
  if (!frames_.empty()) frames_.back().CloseDescriptor();
  frames_.emplace_back(fs::path(SequenceFileName(pattern_, frames_.size() + 1)));
  return frames_.back().fd();
}

std::string OutputSequence::Commit() {
  if (!frames_.empty()) frames_.back().CloseDescriptor();
  const uint64_t count = frames_.size();
  std::error_code error;
  for (uint64_t n = 1; n <= count; ++n) {
    const std::string name = SequenceFileName(pattern_, n);
    if (!overwrite_ && fs::exists(name, error)) throw OutputRefused(ExistsText(name));
  }
  for (uint64_t n = 1; n <= count; ++n) {
    const std::string name = SequenceFileName(pattern_, n);
    try {
      frames_[n - 1].MoveInto(name, overwrite_, ModeToKeep(name), ExistsText(name));
    } catch (const OutputRefused&) {
      // A file appeared at one of the names: the frames moved so far go
      // again (without -y their names were free), and the rest with the run.
      if (!overwrite_) {
        for (uint64_t moved = 1; moved < n; ++moved) frames_[moved - 1].Remove();
      }
      throw;
    }
  }
  const std::string next = SequenceFileName(pattern_, count + 1);
  if (!fs::exists(next, error)) return "";
  uint64_t last = count + 1;
  while (fs::exists(SequenceFileName(pattern_, last + 1), error)) ++last;
  return Quoted(next) + (last > count + 1 ? " to " + Quoted(SequenceFileName(pattern_, last)) : "") +
         " of an earlier sequence remain after the " + Counted(count, "frame") + " written";
}

}  // namespace voxa
