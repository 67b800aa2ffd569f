#include "platform/background_writeback.h"

#include <fcntl.h>
#include <sys/stat.h>

#include "platform/helper_thread.h"

namespace quarn {

void BackgroundWriteback::Follow(int fd, int64_t from) {
  Stop();
  // Only a file has a disk behind it (a pipe or a terminal has nothing to hand over).
  struct stat status;
  if (fd < 0 || fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) return;
  m_fd = fd;
  m_posted = from;
  m_from = from;
  m_to = from;
  m_stop = false;
}

void BackgroundWriteback::Written(int64_t end) {
  if (m_fd < 0 || end - m_posted < kStretch) return;
  m_posted = end;
  if (!m_thread.joinable()) {
    m_thread = StartHelperThread("zorvane-sync", [this] { Work(); });
    if (!m_thread.joinable()) {
      // No helper to be had: the caller hands the stretch over itself.
      HandOver(m_fd, m_from, end);
      m_from = end;
      return;
    }
  }
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_to = end;
  }
  m_wake.notify_one();
}

void BackgroundWriteback::Stop() {
  if (m_thread.joinable()) {
    {
      std::lock_guard<std::mutex> lock(m_mutex);
      m_stop = true;
    }
    m_wake.notify_one();
    m_thread.join();
  }
  m_fd = -1;
}

void BackgroundWriteback::Work() {
  std::unique_lock<std::mutex> lock(m_mutex);
  for (;;) {
    m_wake.wait(lock, [this] { return m_stop || m_to > m_from; });
    if (m_stop) return;
    const int64_t from = m_from;
    const int64_t to = m_to;
    lock.unlock();
    HandOver(m_fd, from, to);
    lock.lock();
    m_from = to;
  }
}

void BackgroundWriteback::HandOver(int fd, int64_t from, int64_t end) {
  // Advice only: what is not a file (a pipe) refuses it, and the final fsync is what counts.
  (void)sync_file_range(fd, from, end - from, SYNC_FILE_RANGE_WRITE);
}

}  // namespace quarn
