#include "tools/progress.h"

#include <algorithm>
#include <cstdio>

namespace voxa {

std::string ProgressLine(const std::string& what, uint64_t done, uint64_t total,
                         double seconds) {
  constexpr uint64_t kBarWidth = 30;
  std::string line = what + " ";
  char number[64];
  if (total != 0) {
    const uint64_t filled = std::min(done, total) * kBarWidth / total;
    line += "[" + std::string(filled, '#') + std::string(kBarWidth - filled, '-') + "] ";
    std::snprintf(number, sizeof number, "%llu/%llu frames",
                  static_cast<unsigned long long>(done), static_cast<unsigned long long>(total));
  } else {
    std::snprintf(number, sizeof number, "%llu frames", static_cast<unsigned long long>(done));
  }
  line += number;
  if (seconds > 0.0 && done != 0) {
    std::snprintf(number, sizeof number, ", %.1f frames/s", done / seconds);
    line += number;
  }
  return line;
}

Progress::Progress(std::ostream& out, bool enabled, std::string what, uint64_t total)
    : out_(out),
      enabled_(enabled),
      what_(std::move(what)),
      total_(total),
      start_(std::chrono::steady_clock::now()),
      last_draw_(start_) {}

void Progress::Update(uint64_t done) {
  if (!enabled_) return;
  const auto now = std::chrono::steady_clock::now();
  if (drawn_ && now - last_draw_ < std::chrono::milliseconds(100)) return;
  last_draw_ = now;
  Draw(done);
}

void Progress::Finish(uint64_t done) {
  if (!enabled_) return;
  Draw(done);
  out_ << '\n' << std::flush;
}

void Progress::Draw(uint64_t done) {
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
  // Clear to the end of the line: the new text may be shorter.
  out_ << '\r' << ProgressLine(what_, done, total_, seconds) << "\x1b[K" << std::flush;
  drawn_ = true;
}

}  // namespace voxa
