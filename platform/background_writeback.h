// Starts the disk writing an output while it is still being made. The output is synced at the
// end; without this, that fsync would hand the whole file to the disk at once and wait for all
// of it. Here every few mebibytes written are handed over by a helper thread (the submission
// costs the kernel real work, which the second processor takes), so that the final fsync
// waits for the last stretch only.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

namespace quarn {

class BackgroundWriteback {
 public:
  // Bytes gathered before a stretch is handed to the disk.
  static constexpr int64_t kStretch = int64_t(1) << 20;

  BackgroundWriteback() = default;
  ~BackgroundWriteback() { Stop(); }
  BackgroundWriteback(const BackgroundWriteback&) = delete;
  BackgroundWriteback& operator=(const BackgroundWriteback&) = delete;

  // Follows the file `fd` from offset `from` on (stopping whatever it followed before). The
  // descriptor must stay open until Stop.
  void Follow(int fd, int64_t from);
  // The file now holds bytes up to `end`: a whole stretch since the last hand-over is handed
  // to the disk.
  void Written(int64_t end);
  // Stops following; returns once no hand-over is under way. Safe to call again.
  void Stop();

 private:
  void Work();
  static void HandOver(int fd, int64_t from, int64_t end);

  int m_fd = -1;
  int64_t m_posted = 0;  // hand-overs asked for up to here (caller's side)
  std::mutex m_mutex;
  std::condition_variable m_wake;
  int64_t m_from = 0;  // handed over up to here
  int64_t m_to = 0;    // asked for up to here
  bool m_stop = false;
  std::thread m_thread;
};

}  // namespace quarn
