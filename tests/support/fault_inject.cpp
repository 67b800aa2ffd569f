// LD_PRELOAD shim that makes one call of the tool's file-system work fail, to prove that every
// such failure ends cleanly. Counted calls: write (not on descriptors 0-2, where the log goes),
// fsync/fdatasync, rename, mmap of a file, ftruncate and posix_fallocate.
//   FAULT_AT=N       the Nth counted call fails (0 or unset: none does)
//   FAULT_ERRNO=E    the error it fails with: ENOSPC (default) or EIO
//   FAULT_REPORT=F   at exit, the number of counted calls is written to file F
//   FAULT_SIGNAL_AFTER=C  SIGTERM is raised the moment call C (linkat or mkstemps) has given a
//                         file its name, as if it came just then from outside
#include <dlfcn.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

std::atomic<long> g_calls{0};

long FailingCall() {
  static const long at = [] {
    const char* text = std::getenv("FAULT_AT");
    return text ? std::atol(text) : 0L;
  }();
  return at;
}

int FailureErrno() {
  const char* text = std::getenv("FAULT_ERRNO");
  return text && std::strcmp(text, "EIO") == 0 ? EIO : ENOSPC;
}

// True when this call is the one that must fail.
bool ShouldFail() {
  const long n = ++g_calls;
  return FailingCall() > 0 && n == FailingCall();
}

// Raises SIGTERM when the call `name` is the one FAULT_SIGNAL_AFTER names.
void SignalAfter(const char* name) {
  const char* text = std::getenv("FAULT_SIGNAL_AFTER");
  if (text && std::strcmp(text, name) == 0) raise(SIGTERM);
}

template <class F>
F Next(const char* name) {
  return reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
}

struct Reporter {
  ~Reporter() {
    const char* path = std::getenv("FAULT_REPORT");
    if (!path) return;
    if (FILE* f = std::fopen(path, "w")) {
      std::fprintf(f, "%ld\n", g_calls.load());
      std::fclose(f);
    }
  }
} g_reporter;

}  // namespace

#define FAIL_WITH(result)   \
  do {                      \
    errno = FailureErrno(); \
    return result;          \
  } while (0)

extern "C" {

ssize_t write(int fd, const void* data, size_t n) {
  static auto real = Next<ssize_t (*)(int, const void*, size_t)>("write");
  if (fd > 2 && ShouldFail()) FAIL_WITH(-1);
  return real(fd, data, n);
}

int fsync(int fd) {
  static auto real = Next<int (*)(int)>("fsync");
  if (ShouldFail()) FAIL_WITH(-1);
  return real(fd);
}

int fdatasync(int fd) {
  static auto real = Next<int (*)(int)>("fdatasync");
  if (ShouldFail()) FAIL_WITH(-1);
  return real(fd);
}

int rename(const char* from, const char* to) {
  static auto real = Next<int (*)(const char*, const char*)>("rename");
  if (ShouldFail()) FAIL_WITH(-1);
  return real(from, to);
}

void* mmap(void* address, size_t length, int protection, int flags, int fd, off_t offset) {
  static auto real = Next<void* (*)(void*, size_t, int, int, int, off_t)>("mmap");
  // Anonymous mappings are the allocator's; only mapped files count.
  if (fd >= 0 && !(flags & MAP_ANONYMOUS) && ShouldFail()) FAIL_WITH(MAP_FAILED);
  return real(address, length, protection, flags, fd, offset);
}

int ftruncate(int fd, off_t length) {
  static auto real = Next<int (*)(int, off_t)>("ftruncate");
  if (ShouldFail()) FAIL_WITH(-1);
  return real(fd, length);
}

// posix_fallocate reports its error as the result, not through errno.
int posix_fallocate(int fd, off_t offset, off_t length) {
  static auto real = Next<int (*)(int, off_t, off_t)>("posix_fallocate");
  if (ShouldFail()) return FailureErrno();
  return real(fd, offset, length);
}

int posix_fallocate64(int fd, off_t offset, off_t length) {
  return posix_fallocate(fd, offset, length);
}

int linkat(int fromDir, const char* from, int toDir, const char* to, int flags) {
  static auto real = Next<int (*)(int, const char*, int, const char*, int)>("linkat");
  const int result = real(fromDir, from, toDir, to, flags);
  if (result == 0) SignalAfter("linkat");
  return result;
}

int mkstemps(char* pattern, int suffixLength) {
  static auto real = Next<int (*)(char*, int)>("mkstemps");
  const int fd = real(pattern, suffixLength);
  if (fd >= 0) SignalAfter("mkstemps");
  return fd;
}

int mkstemps64(char* pattern, int suffixLength) { return mkstemps(pattern, suffixLength); }

}  // extern "C"
