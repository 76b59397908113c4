#include "tools/output_file.h"

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <system_error>

#if defined(_WIN32)
#include <process.h>
#define VOXA_PROCESS_ID _getpid
#else
#include <unistd.h>
#define VOXA_PROCESS_ID getpid
#endif

namespace voxa {
namespace {

namespace fs = std::filesystem;

const char kStandardStream[] = "-";
const char kStandardOutput[] = "pipe:1";

std::atomic<unsigned> g_temporaries{0};

std::string Quoted(const std::string& path) { return "'" + path + "'"; }

// A name beside `final_path` that no other run uses: ".voxa-PID-N-name".
fs::path TemporaryBeside(const fs::path& final_path) {
  const std::string prefix = ".voxa-" + std::to_string(VOXA_PROCESS_ID()) + "-" +
                             std::to_string(g_temporaries.fetch_add(1)) + "-";
  return final_path.parent_path() / (prefix + final_path.filename().string());
}

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

}  // namespace

OutputFile::OutputFile(const std::string& path, const OutputRules& rules) : path_(path) {
  if (path == kStandardStream) {
    if (!rules.not_streamable.empty()) throw OutputRefused(rules.not_streamable);
    write_path_ = kStandardOutput;
    return;
  }
  RefuseTheInput(path, rules);
  std::error_code error;
  const fs::file_status status = fs::status(path, error);
  if (IsInPlace(status.type())) {
    write_path_ = path;
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
  write_path_ = TemporaryBeside(final_path).string();
  temporary_ = true;
  overwrite_ = rules.overwrite;
}

OutputFile::~OutputFile() {
  if (temporary_ && !committed_) std::remove(write_path_.c_str());
}

void OutputFile::Commit() {
  if (!temporary_ || committed_) return;
  std::error_code error;
  const fs::file_status before = fs::status(path_, error);
  if (fs::exists(before)) {
    // Made by someone else while this run wrote.
    if (!overwrite_) throw OutputRefused(ExistsText(path_));
    fs::permissions(write_path_, before.permissions(), error);
  }
  fs::rename(write_path_, path_, error);
  if (error) {
    throw OutputRefused("cannot move the finished file into place as " + Quoted(path_) + ": " +
                        error.message());
  }
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
  write_pattern_ = TemporaryBeside(pattern_path).string();
}

OutputSequence::~OutputSequence() {
  std::error_code error;
  for (uint64_t n = committed_ + 1; fs::remove(SequenceFileName(write_pattern_, n), error); ++n) {
  }
}

std::string OutputSequence::Commit(uint64_t count) {
  std::error_code error;
  for (uint64_t n = 1; n <= count; ++n) {
    const std::string name = SequenceFileName(pattern_, n);
    if (!overwrite_ && fs::exists(name, error)) throw OutputRefused(ExistsText(name));
  }
  for (uint64_t n = 1; n <= count; ++n) {
    const std::string name = SequenceFileName(pattern_, n);
    fs::rename(SequenceFileName(write_pattern_, n), name, error);
    if (error) {
      throw OutputRefused("cannot move a finished file into place as " + Quoted(name) + ": " +
                          error.message());
    }
    committed_ = n;
  }
  const std::string next = SequenceFileName(pattern_, count + 1);
  if (!fs::exists(next, error)) return "";
  uint64_t last = count + 1;
  while (fs::exists(SequenceFileName(pattern_, last + 1), error)) ++last;
  return Quoted(next) + (last > count + 1 ? " to " + Quoted(SequenceFileName(pattern_, last)) : "") +
         " of an earlier sequence remain after the " + std::to_string(count) + " frames written";
}

}  // namespace voxa
