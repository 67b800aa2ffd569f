#include "support/threads.h"

#include <signal.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

namespace quarn::test {

std::vector<uint64_t> ThreadsBlocked(const char* name) {
  std::vector<uint64_t> masks;
  for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
    std::string comm;
    std::getline(std::ifstream(task.path() / "comm"), comm);
    if (comm != name) continue;
    std::ifstream status(task.path() / "status");
    for (std::string line; std::getline(status, line);) {
      if (line.rfind("SigBlk:", 0) == 0) masks.push_back(std::stoull(line.substr(7), nullptr, 16));
    }
  }
  return masks;
}

uint64_t SettledHelperMask(const char* name) {
  const uint64_t segv = uint64_t(1) << (SIGSEGV - 1);
  for (int i = 0; i < 500; ++i) {
    const std::vector<uint64_t> masks = ThreadsBlocked(name);
    if (masks.size() == 1 && !(masks[0] & segv)) return masks[0];
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return ~uint64_t(0);
}

}  // namespace quarn::test
