#include "platform/file_status.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/temp_file.h"

namespace quarn {

namespace {

// Links followed at most, as the kernel does, so that a loop of links ends.
constexpr int kMaxLinkHops = 40;

bool SameNode(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

}  // namespace

bool FileMissing(const std::string& path) {
  std::string name = path;
  if (name.size() > 1 && name.back() == '/') name.pop_back();
  struct stat info {};
  if (stat(name.c_str(), &info) == 0) return false;
  return errno == ENOENT || errno == ENOTDIR || name.empty();
}

bool IsSpecialFile(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0 && !S_ISREG(info.st_mode);
}

FileKind KindOf(const std::string& path) {
  // FileMissing looks at a name without its trailing slash, IsSpecialFile at the name as given:
  // only where the two are the same name can one query answer both.
  if (path.size() > 1 && path.back() == '/') {
    if (FileMissing(path)) return FileKind::kMissing;
    return IsSpecialFile(path) ? FileKind::kSpecial : FileKind::kOther;
  }
  struct stat info {};
  if (stat(path.c_str(), &info) == 0) {
    return S_ISREG(info.st_mode) ? FileKind::kOther : FileKind::kSpecial;
  }
  return errno == ENOENT || errno == ENOTDIR || path.empty() ? FileKind::kMissing
                                                             : FileKind::kOther;
}

bool SameFile(const std::string& a, const std::string& b) {
  struct stat first {};
  struct stat second {};
  return stat(a.c_str(), &first) == 0 && stat(b.c_str(), &second) == 0 && SameNode(first, second);
}

std::string FollowLinks(const std::string& path) {
  std::string current = path;
  for (int hop = 0; hop < kMaxLinkHops; ++hop) {
    std::string target(PATH_MAX, '\0');
    const ssize_t n = readlink(current.c_str(), target.data(), target.size());
    if (n < 0 || static_cast<size_t>(n) >= target.size()) return current;
    target.resize(static_cast<size_t>(n));
    if (target.empty()) return current;
    if (target.front() != '/') {
      const size_t slash = current.rfind('/');
      if (slash != std::string::npos) target = current.substr(0, slash + 1) + target;
    }
    current = target;
  }
  return current;
}

bool FileLock::Acquire(const std::string& path) {
  Release();
  for (;;) {
    // O_NONBLOCK: a FIFO must not hang the run before it is refused as not a regular file.
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat held {};
    if (fstat(fd, &held) != 0 || !S_ISREG(held.st_mode)) {
      close(fd);
      return false;
    }
    int locked;
    do {
      locked = flock(fd, LOCK_EX);
    } while (locked != 0 && errno == EINTR);
    struct stat now {};
    if (locked == 0 && stat(path.c_str(), &now) == 0 && SameNode(held, now)) {
      m_fd = fd;
      return true;
    }
    close(fd);
    // The run that held the lock has put a new file under the name: lock that one.
    if (locked != 0) return false;
  }
}

void FileLock::Release() {
  if (m_fd >= 0) close(m_fd);
  m_fd = -1;
}

}  // namespace quarn
