#include "platform/prefix_copy.h"

#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <memory>

namespace quarn {

namespace {

// Large enough that a copy is a few hundred system calls per gigabyte.
constexpr size_t kBlockSize = size_t{1} << 20;

// Whether a failed copy_file_range means "not here" rather than a real I/O error.
bool KernelCopyRefused(int err) {
  return err == ENOSYS || err == EXDEV || err == EINVAL || err == EOPNOTSUPP || err == EBADF ||
         err == ETXTBSY || err == EPERM;
}

bool WriteFully(int fd, const char* data, size_t n, off_t at) {
  while (n > 0) {
    const ssize_t w = pwrite(fd, data, n, at);
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) {
      if (w == 0) errno = EIO;
      return false;
    }
    data += w;
    n -= static_cast<size_t>(w);
    at += w;
  }
  return true;
}

bool CopyByBlocks(int from, int to, off_t done, off_t size) {
  const auto buffer = std::make_unique<char[]>(kBlockSize);
  while (done < size) {
    const size_t want =
        static_cast<size_t>(std::min<off_t>(size - done, static_cast<off_t>(kBlockSize)));
    const ssize_t r = pread(from, buffer.get(), want, done);
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) {
      if (r == 0) errno = EIO;  // the file is shorter than it was
      return false;
    }
    if (!WriteFully(to, buffer.get(), static_cast<size_t>(r), done)) return false;
    done += r;
  }
  return true;
}

// Whether all of `from`'s blocks could be shared with `to` (a reflink): no data is read or
// written then. Not where the file system cannot, or `from` is shorter than `size`.
bool ClonedWhole(int from, int to, off_t size) {
  struct stat source {};
  return fstat(from, &source) == 0 && source.st_size >= size && ioctl(to, FICLONE, from) == 0;
}

// Copies bytes [begin, end) of `from` to the same offsets of `to`: in the kernel where it can,
// else through a buffer.
bool CopyRange(int from, int to, off_t begin, off_t end) {
  off_t done = begin;
  while (done < end) {
    off_t in = done, out = done;
    const ssize_t n = copy_file_range(from, &in, to, &out, static_cast<size_t>(end - done), 0);
    if (n > 0) {
      done += n;
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n == 0) {
      errno = EIO;  // the file is shorter than it was
      return false;
    }
    if (!KernelCopyRefused(errno)) return false;
    return CopyByBlocks(from, to, done, end);
  }
  return true;
}

// The next stretch of `from` at or after `at` that holds data, as [begin, end) within `total`;
// false when only a hole is left. A file system that cannot tell holes shows all of it as data.
bool NextData(int from, off_t at, off_t total, off_t& begin, off_t& end) {
  begin = lseek(from, at, SEEK_DATA);
  if (begin < 0) {
    if (errno == ENXIO) return false;
    begin = at;
    end = total;
    return true;
  }
  if (begin >= total) return false;
  end = lseek(from, begin, SEEK_HOLE);
  if (end < 0 || end > total) end = total;
  return true;
}

}  // namespace

bool CopyFilePrefix(int from, int to, int64_t size) {
  const auto total = static_cast<off_t>(size);
  if (total > 0 && ClonedWhole(from, to, total)) {
    // Whatever the file holds past `size` came later and is not part of it.
    return ftruncate(to, total) == 0 && lseek(to, total, SEEK_SET) == total;
  }
  // Only the stretches that hold data are copied: the holes of a sparse input stay holes in the
  // new file (the length set at the end makes them), instead of gigabytes of zeros written out.
  // `to` is a new, empty file.
  off_t at = 0, begin = 0, end = 0;
  while (at < total && NextData(from, at, total, begin, end)) {
    if (!CopyRange(from, to, begin, end)) return false;
    at = end;
  }
  struct stat source {};
  if (fstat(from, &source) != 0) return false;
  if (source.st_size < total) {
    errno = EIO;  // the file is shorter than it was
    return false;
  }
  return ftruncate(to, total) == 0 && lseek(to, total, SEEK_SET) == total;
}

}  // namespace quarn
