#include "platform/source_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace quarn {

namespace {

// Standard input cannot be read at arbitrary offsets, so it is copied into an unlinked
// temporary file first.
int SpoolStandardInput() {
  const char* dir = std::getenv("TMPDIR");
  std::string path = std::string(dir && *dir ? dir : "/tmp") + "/qxXXXXXX";
  int fd = mkstemp(path.data());
  if (fd < 0) return -1;
  unlink(path.c_str());
  char buf[65536];
  for (;;) {
    ssize_t n = read(STDIN_FILENO, buf, sizeof buf);
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      close(fd);
      return -1;
    }
    for (ssize_t done = 0; done < n;) {
      ssize_t w = write(fd, buf + done, static_cast<size_t>(n - done));
      if (w < 0) {
        if (errno == EINTR) continue;
        close(fd);
        return -1;
      }
      done += w;
    }
  }
  return fd;
}

}  // namespace

std::shared_ptr<SourceFile> SourceFile::Open(const std::string& path) {
  // O_NONBLOCK: opening a FIFO that has no writer must not hang the run; it is refused below
  // like anything else that is not a regular file.
  int fd =
      path.empty() ? SpoolStandardInput() : open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return nullptr;
  struct stat st;
  if (fstat(fd, &st) != 0) {
    const int err = errno;
    close(fd);
    errno = err;
    return nullptr;
  }
  if (!S_ISREG(st.st_mode)) {
    close(fd);
    errno = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
    return nullptr;
  }
  return std::shared_ptr<SourceFile>(new SourceFile(fd, static_cast<int64_t>(st.st_size), path));
}

SourceFile::~SourceFile() { close(m_fd); }

int64_t SourceFile::ReadAt(int64_t offset, void* dst, size_t n) const {
  if (offset < 0) return -1;
  size_t done = 0;
  char* out = static_cast<char*>(dst);
  while (done < n) {
    const size_t wanted = n - done;
    ssize_t r =
        pread(m_fd, out + done, wanted, static_cast<off_t>(offset + static_cast<int64_t>(done)));
    if (r == 0) break;
    if (r < 0) {
      if (errno == EINTR) continue;
      return -1;
    }
    done += static_cast<size_t>(r);
    // A short read that reaches the size the file had when opened is its end: asking again
    // would only be told so (a call for nothing on every read of a small file).
    if (static_cast<size_t>(r) < wanted && offset + static_cast<int64_t>(done) >= m_size) break;
  }
  return static_cast<int64_t>(done);
}

bool SourceFile::ReadExact(int64_t offset, void* dst, size_t n) const {
  if (n <= kSmallRead && offset >= 0) return ReadSmall(offset, dst, n);
  return ReadAt(offset, dst, n) == static_cast<int64_t>(n);
}

bool SourceFile::ReadSmall(int64_t offset, void* dst, size_t n) const {
  std::lock_guard<std::mutex> lock(m_blockMutex);
  const auto held = [&] {
    return offset >= m_blockStart &&
           offset - m_blockStart + static_cast<int64_t>(n) <= static_cast<int64_t>(m_blockCount);
  };
  if (!m_block || !held()) {
    if (!m_block) m_block = std::make_unique<char[]>(kReadAhead);
    m_blockCount = 0;
    const int64_t got = ReadAt(offset, m_block.get(), kReadAhead);
    if (got < 0) return false;
    m_blockStart = offset;
    m_blockCount = static_cast<size_t>(got);
    if (!held()) return false;
  }
  std::memcpy(dst, m_block.get() + (offset - m_blockStart), n);
  return true;
}

}  // namespace quarn
