#include "platform/spare_space.h"

#include <sys/resource.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

namespace quarn {

uint64_t SpareTempSpace(const std::string& directory) {
  std::string dir = directory;
  if (dir.empty()) {
    const char* env = std::getenv("TMPDIR");
    dir = env && *env ? env : "/tmp";
  }
  struct statvfs info {};
  if (statvfs(dir.c_str(), &info) != 0) return UINT64_MAX;
  return uint64_t{info.f_bavail} * uint64_t{info.f_frsize};
}

uint64_t SpareAddressSpace() {
  struct rlimit limit {};
  if (getrlimit(RLIMIT_AS, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return UINT64_MAX;
  // The first field of statm is the size of the whole address space, in pages.
  std::FILE* statm = std::fopen("/proc/self/statm", "r");
  if (!statm) return UINT64_MAX;
  unsigned long long pages = 0;
  const bool read = std::fscanf(statm, "%llu", &pages) == 1;
  std::fclose(statm);
  if (!read) return UINT64_MAX;
  const uint64_t used = pages * static_cast<uint64_t>(sysconf(_SC_PAGESIZE));
  const uint64_t cap = limit.rlim_cur;
  return used < cap ? cap - used : 0;
}

}  // namespace quarn
