#include "platform/file_map.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

namespace quarn {

bool FileMap::Open(const std::string& directory, const std::string& prefix, size_t size) {
  Close();
  std::string dir = directory;
  if (dir.empty()) {
    const char* env = std::getenv("TMPDIR");
    dir = env && *env ? env : "/tmp";
  }
  // An unnamed file where the file system has them: not even a kill between create and
  // unlink can leave it behind.
  int fd = open(dir.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
  if (fd < 0 && errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) return false;
  if (fd < 0) {
    if (dir.back() != '/') dir += '/';
    std::string path = dir + prefix + "XXXXXX";
    fd = mkstemp(path.data());
    if (fd < 0) return false;
    unlink(path.c_str());
  }
  m_fd = fd;
  if (!Resize(size ? size : 1)) {
    const int err = errno;
    Close();
    errno = err;
    return false;
  }
  return true;
}

bool FileMap::Resize(size_t size) {
  if (m_fd < 0) return false;
  if (size == 0) size = 1;
  if (size > m_size) {
    // The blocks are reserved before they are mapped: a mapped page that the file system
    // cannot back (a full temporary directory) would kill the process with SIGBUS on first
    // write instead of failing here.
    const int err = posix_fallocate(m_fd, static_cast<off_t>(m_size),
                                    static_cast<off_t>(size - m_size));
    if (err != 0) {
      errno = err;
      if (m_data) (void)!ftruncate(m_fd, static_cast<off_t>(m_size));
      return false;
    }
  } else if (ftruncate(m_fd, static_cast<off_t>(size)) != 0) {
    return false;
  }
  void* p;
  if (m_data) {
    p = mremap(m_data, m_size, size, MREMAP_MAYMOVE);
  } else {
    p = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, m_fd, 0);
  }
  if (p == MAP_FAILED) {
    // Keep the file at the size of the mapping that is still valid.
    if (m_data) (void)!ftruncate(m_fd, static_cast<off_t>(m_size));
    return false;
  }
  m_data = static_cast<char*>(p);
  m_size = size;
  m_prefaulted = std::min(m_prefaulted, size);
  return true;
}

void FileMap::Prefault(size_t end) {
  if (end <= m_prefaulted || !m_data) return;
#ifdef MADV_POPULATE_WRITE
  constexpr size_t kStep = size_t(1) << 20;
  const size_t upTo = std::min(m_size, (end + kStep - 1) / kStep * kStep);
  const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
  const size_t from = m_prefaulted / page * page;
  // A kernel without MADV_POPULATE_WRITE refuses it; the pages then fault in as they are written.
  if (upTo > from) (void)madvise(m_data + from, upTo - from, MADV_POPULATE_WRITE);
  m_prefaulted = upTo;
#else
  m_prefaulted = end;
#endif
}

void FileMap::Close() {
  if (m_data) munmap(m_data, m_size);
  m_data = nullptr;
  m_size = 0;
  m_prefaulted = 0;
  if (m_fd >= 0) close(m_fd);
  m_fd = -1;
}

}  // namespace quarn
