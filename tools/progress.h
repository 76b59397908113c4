// A one-line progress bar with the frame rate, redrawn in place on a
// terminal's standard error.
#pragma once

#include <chrono>
#include <cstdint>
#include <ostream>
#include <string>

namespace voxa {

// The bar's text: "encode [#####-----]  12/40 frames, 35.2 frames/s"; with
// total 0 (unknown) the bar is left out.
std::string ProgressLine(const std::string& what, uint64_t done, uint64_t total,
                         double seconds);

class Progress {
 public:
  // Draws nothing unless `enabled`.
  Progress(std::ostream& out, bool enabled, std::string what, uint64_t total);
  // Redraws at most ten times a second.
  void Update(uint64_t done);
  // Draws the final count and ends the line.
  void Finish(uint64_t done);

 private:
  void Draw(uint64_t done);

  std::ostream& out_;
  bool enabled_;
  std::string what_;
  uint64_t total_;
  std::chrono::steady_clock::time_point start_;
  std::chrono::steady_clock::time_point last_draw_;
  bool drawn_ = false;
};

}  // namespace voxa
