// A rewrite in place that is killed half way must leave the input as it was: the new content
// goes to a temporary that replaces the input only when complete.
#include <dirent.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>

#include "support/documents.h"
#include "support/pdf_builder.h"

namespace quarn {
namespace {

// Size of the largest file that `child` has open and that has no name any more (the unnamed
// temporary of a rewrite), or -1.
int64_t UnnamedTemporarySize(pid_t child) {
  int64_t size = -1;
  const std::string fds = "/proc/" + std::to_string(child) + "/fd";
  if (DIR* d = opendir(fds.c_str())) {
    while (dirent* entry = readdir(d)) {
      const std::string fd = fds + "/" + entry->d_name;
      char target[4096];
      const ssize_t n = readlink(fd.c_str(), target, sizeof target - 1);
      if (n <= 0) continue;
      target[n] = 0;
      struct stat info {};
      if (std::string(target).find("(deleted)") != std::string::npos &&
          stat(fd.c_str(), &info) == 0 && info.st_size > size) {
        size = info.st_size;
      }
    }
    closedir(d);
  }
  return size;
}

// Size of the temporary being written in `dir` (named, or unnamed and open in `child`), or -1
// when there is none.
int64_t TemporarySize(const std::string& dir, pid_t child, std::string* name) {
  int64_t size = UnnamedTemporarySize(child);
  if (DIR* d = opendir(dir.c_str())) {
    while (dirent* entry = readdir(d)) {
      const std::string file = entry->d_name;
      if (file.rfind("qx", 0) != 0) continue;
      struct stat info {};
      if (stat((dir + "/" + file).c_str(), &info) == 0) {
        size = info.st_size;
        if (name) *name = file;
      }
    }
    closedir(d);
  }
  return size;
}

class CrashSafety : public test::DocTest {};

TEST_F(CrashSafety, KilledRewriteLeavesTheInputIntact) {
  for (size_t megabytes = 48; megabytes <= 192; megabytes *= 2) {
    const std::string data(megabytes << 20, 'k');
    const std::string original =
        test::MakeFlatPdf(1, {test::StreamBody(data, std::to_string(data.size()))});
    const std::string path = Put("big.pdf", original);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      // The child rewrites the document in place; it is killed before it can finish.
      CPDFLib lib;
      CPDFErrorRecord error;
      auto doc = lib.OpenDoc(path, nullptr, error);
      const bool done = doc && doc->Save(path.c_str(), false, false) && doc->Flush();
      _exit(done ? 0 : 3);
    }
    // Kill it once the temporary holds a good part of the new content.
    std::string temp;
    bool killed = false;
    for (int i = 0; i < 200000 && !killed; ++i) {
      if (TemporarySize(m_dir.Path(), child, &temp) > (4 << 20)) {
        kill(child, SIGKILL);
        killed = true;
      } else {
        std::this_thread::sleep_for(std::chrono::microseconds(50));
      }
      int status = 0;
      if (!killed && waitpid(child, &status, WNOHANG) == child) break;  // finished first
    }
    int status = 0;
    if (killed) waitpid(child, &status, 0);
    if (!killed || !WIFSIGNALED(status)) {
      // The rewrite won the race: it must then have left a complete document.
      EXPECT_TRUE(test::QpdfAccepts(path));
      continue;
    }
    EXPECT_EQ(test::ReadFile(path), original) << "the input changed under a killed rewrite";
    // A SIGKILL gives no chance to clean up: the partial temporary may stay behind, but it is
    // never mistaken for the document.
    if (!temp.empty()) unlink((m_dir.Path() + "/" + temp).c_str());
    return;
  }
  GTEST_SKIP() << "the rewrite always finished before it could be killed";
}

}  // namespace
}  // namespace quarn
