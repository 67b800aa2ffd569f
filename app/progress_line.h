// The progress of a long run on a terminal: one line "N of M pages (P%)" redrawn in place, shown
// only once the run has lasted a second, at most ten times a second, and erased at the end.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>

namespace quarn {

class ProgressLine {
 public:
  // Shows nothing when `terminal` is nullptr.
  explicit ProgressLine(std::FILE* terminal);
  ~ProgressLine() { Clear(); }
  ProgressLine(const ProgressLine&) = delete;
  ProgressLine& operator=(const ProgressLine&) = delete;

  // `done` of `total` pages are finished.
  void Update(int64_t done, int64_t total);
  // Erases the line when it was shown.
  void Clear();

 private:
  using Clock = std::chrono::steady_clock;

  std::FILE* m_terminal;
  Clock::time_point m_start;
  Clock::time_point m_drawn;
  int m_width = 0;  // characters of the line on the terminal; 0: nothing shown
};

}  // namespace quarn
