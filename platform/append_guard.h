// Keeps a file's length while something is appended to it, so that the file can be cut back to
// exactly what it was: on request, and when a signal ends the process half way.
#pragma once

#include <cstdint>
#include <string>

namespace quarn {

class AppendGuard {
 public:
  AppendGuard() = default;
  ~AppendGuard() { Disarm(); }
  AppendGuard(const AppendGuard&) = delete;
  AppendGuard& operator=(const AppendGuard&) = delete;

  // Remembers that `path` holds `length` bytes worth keeping. From now until Disarm, SIGTERM,
  // SIGINT, SIGHUP and SIGXFSZ (unless ignored) cut the file back to that length before they
  // end the process (SIGKILL cannot be caught). One guard is armed at a time. False with errno
  // set when the file cannot be opened for writing, or another guard is armed.
  bool Arm(const std::string& path, int64_t length);
  // Cuts the file back to its remembered length and forces that to the disk; false with errno
  // set when either fails.
  bool Restore();
  // Forgets the file (the appended bytes are to stay).
  void Disarm();

 private:
  int m_fd = -1;
  int64_t m_length = -1;
};

}  // namespace quarn
