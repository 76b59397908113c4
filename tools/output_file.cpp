#include "tools/output_file.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "tools/interrupt.h"
#include "tools/kept_aside.h"
#include "tools/wording.h"

#if !defined(_WIN32)
#include <fcntl.h>
#include <sys/stat.h>
#endif

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

std::string ExistsText(const std::string& path) {
  return Quoted(path) + " exists; give -y to overwrite it";
}

#if !defined(_WIN32)
// The time between two tries to open a FIFO that has no reader yet.
constexpr int kReaderPollMilliseconds = 50;

// What the name is, from a descriptor opened on it that neither reads nor
// writes (opening a device could do something); a link is followed. False
// when there is nothing (a link to nothing included).
bool LookAt(const std::string& path, struct stat* s) {
  UniqueFd probe(open(path.c_str(), O_PATH | O_CLOEXEC));
  return probe && fstat(probe.get(), s) == 0;
}

bool IsInPlace(const struct stat& s) { return !S_ISREG(s.st_mode) && !S_ISDIR(s.st_mode); }

// The device or FIFO looked at, opened as it is: not made, not cut. A FIFO
// waits for its reader in a wait a signal ends.
UniqueFd OpenInPlace(const std::string& path, const struct stat& looked) {
  for (;;) {
    UniqueFd fd = OpenForWriting(path);
    if (!fd && errno == ENXIO && S_ISFIFO(looked.st_mode)) {
      if (!Pause(kReaderPollMilliseconds)) ThrowIfInterrupted();
      continue;
    }
    if (!fd) throw OutputRefused("cannot open " + Quoted(path) + ": " + std::strerror(errno));
    struct stat s;
    if (fstat(fd.get(), &s) != 0 || s.st_dev != looked.st_dev || s.st_ino != looked.st_ino) {
      throw OutputRefused(Quoted(path) + " was replaced while it was opened");
    }
    return fd;
  }
}
#else
bool IsInPlace(fs::file_type type) {
  return type == fs::file_type::character || type == fs::file_type::block ||
         type == fs::file_type::fifo || type == fs::file_type::socket;
}
#endif

// The mode the file at `path` has, for its replacement; a new file's mode
// when there is none.
unsigned ModeToKeep(const std::string& path) {
  std::error_code error;
  const fs::file_status status = fs::status(path, error);
  if (!fs::exists(status)) return NewFileMode();
  return static_cast<unsigned>(status.permissions() & fs::perms::mask);
}

// Where the file of `name` goes: with -y a link to a file is followed, so
// that the link stays and its target gets the new contents; a link to
// nothing is replaced.
fs::path FinalPath(const std::string& name, bool overwrite) {
  std::error_code error;
  if (!overwrite || !fs::is_symlink(fs::symlink_status(name, error))) return name;
  const fs::path target = fs::canonical(name, error);
  return error ? fs::path(name) : target;
}

// Whether anything has the name, a link to nothing too.
bool Taken(const std::string& name) {
  std::error_code error;
  return fs::exists(fs::symlink_status(name, error));
}

// The refusal of a format written with seeks, for a device or FIFO: the one
// standard output gets, naming the output instead.
std::string NoSeeks(const std::string& path, const OutputRules& rules) {
  std::string refusal = rules.not_streamable;
  const std::string stream = "standard output";
  if (const std::size_t at = refusal.find(stream); at != std::string::npos) {
    refusal.replace(at, stream.size(), Quoted(path) + " (a device or FIFO, which cannot seek)");
  }
  return refusal;
}

}  // namespace

OutputFile::OutputFile(const std::string& path, const OutputRules& rules)
    : path_(path), overwrite_(rules.overwrite) {
  if (path == kStandardStream) {
    if (!rules.not_streamable.empty()) throw OutputRefused(rules.not_streamable);
    return;
  }
  RefuseTheInput(path, rules);
#if !defined(_WIN32)
  // A device or FIFO is written in place, and refused at once by formats
  // that seek: known from what a descriptor says, not from the name.
  struct stat looked;
  if (LookAt(path, &looked) && IsInPlace(looked)) {
    if (rules.seeks) throw OutputRefused(NoSeeks(path, rules));
    in_place_ = OpenInPlace(path, looked);
    return;
  }
#else
  std::error_code status_error;
  if (IsInPlace(fs::status(path, status_error).type())) {
    if (rules.seeks) throw OutputRefused(NoSeeks(path, rules));
    in_place_ = OpenForWriting(path);
    if (!in_place_) throw OutputRefused("cannot open " + Quoted(path) + ": " + std::strerror(errno));
    return;
  }
#endif
  std::error_code error;
  if (fs::is_directory(fs::status(path, error))) throw OutputRefused(Quoted(path) + " is a folder");
  if (Taken(path) && !rules.overwrite) throw OutputRefused(ExistsText(path));
  const fs::path final_path = FinalPath(path, rules.overwrite);
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
  if (Taken(first) && !overwrite_) throw OutputRefused(ExistsText(first));
  RequireFolder(pattern_path, first);
}

int OutputSequence::NextFrame() {
  if (!frames_.empty()) frames_.back().CloseDescriptor();
  finals_.push_back(FinalPath(SequenceFileName(pattern_, frames_.size() + 1), overwrite_).string());
  frames_.emplace_back(fs::path(finals_.back()));
  return frames_.back().fd();
}

std::string OutputSequence::Commit() {
  if (!frames_.empty()) frames_.back().CloseDescriptor();
  const uint64_t count = frames_.size();
  std::error_code error;
  for (uint64_t n = 1; n <= count; ++n) {
    const std::string name = SequenceFileName(pattern_, n);
    if (!overwrite_ && Taken(name)) throw OutputRefused(ExistsText(name));
  }
  // With -y each old file waits aside until all frames are in place: a
  // commit that fails half-way puts back every file that was there.
  std::vector<KeptAside> kept;
  kept.reserve(count);
  uint64_t moved = 0;
  try {
    for (; moved < count; ++moved) {
      const std::string& name = finals_[moved];
      const unsigned mode = ModeToKeep(name);
      if (overwrite_) kept.emplace_back(name);
      frames_[moved].MoveInto(name, overwrite_, mode, ExistsText(name));
    }
  } catch (const OutputRefused&) {
    // Without -y the names were free; the frames not moved go with the run.
    for (uint64_t i = 0; i < moved; ++i) frames_[i].Remove();
    for (KeptAside& old : kept) old.PutBack();
    throw;
  }
  for (KeptAside& old : kept) old.Drop();
  const std::string next = SequenceFileName(pattern_, count + 1);
  if (!fs::exists(next, error)) return "";
  uint64_t last = count + 1;
  while (fs::exists(SequenceFileName(pattern_, last + 1), error)) ++last;
  return Quoted(next) + (last > count + 1 ? " to " + Quoted(SequenceFileName(pattern_, last)) : "") +
         " of an earlier sequence remain after the " + Counted(count, "frame") + " written";
}

}  // namespace voxa
