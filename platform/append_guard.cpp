#include "platform/append_guard.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

namespace quarn {

namespace {

// What the handler reads: only lock-free atomics, and only async-signal-safe calls on them.
std::atomic<int> g_fd{-1};
std::atomic<int64_t> g_length{-1};
constexpr int kSignals[] = {SIGTERM, SIGINT, SIGHUP, SIGXFSZ};
struct sigaction g_previous[sizeof kSignals / sizeof kSignals[0]];
std::atomic<bool> g_installed{false};

void CutBackAndGoOn(int number) {
  const int fd = g_fd.load();
  if (fd >= 0 && ftruncate(fd, static_cast<off_t>(g_length.load())) == 0) fsync(fd);
  // Then whatever the signal did before (another handler removes its temporary files).
  for (size_t i = 0; i < sizeof kSignals / sizeof kSignals[0]; ++i) {
    if (kSignals[i] != number) continue;
    const auto handler = g_previous[i].sa_handler;
    if (handler != SIG_DFL && handler != SIG_IGN) {
      handler(number);
      return;
    }
  }
  signal(number, SIG_DFL);
  raise(number);
}

void InstallHandlers() {
  if (g_installed.exchange(true)) return;
  for (size_t i = 0; i < sizeof kSignals / sizeof kSignals[0]; ++i) {
    // A signal the process ignores (SIGXFSZ, so that writes fail with EFBIG) stays ignored: the
    // failed write then cuts the file back itself.
    if (sigaction(kSignals[i], nullptr, &g_previous[i]) != 0 || g_previous[i].sa_handler == SIG_IGN) {
      continue;
    }
    struct sigaction action {};
    action.sa_handler = CutBackAndGoOn;
    sigemptyset(&action.sa_mask);
    sigaction(kSignals[i], &action, nullptr);
  }
}

}  // namespace

bool AppendGuard::Arm(const std::string& path, int64_t length) {
  Disarm();
  const int fd = open(path.c_str(), O_WRONLY | O_CLOEXEC);
  if (fd < 0) return false;
  int expected = -1;
  g_length.store(length);
  if (!g_fd.compare_exchange_strong(expected, fd)) {
    close(fd);
    errno = EBUSY;
    return false;
  }
  m_fd = fd;
  m_length = length;
  InstallHandlers();
  return true;
}

bool AppendGuard::Restore() {
  if (m_fd < 0) return true;
  return ftruncate(m_fd, static_cast<off_t>(m_length)) == 0 && fsync(m_fd) == 0;
}

void AppendGuard::Disarm() {
  if (m_fd < 0) return;
  g_fd.store(-1);
  close(m_fd);
  m_fd = -1;
  m_length = -1;
}

}  // namespace quarn
