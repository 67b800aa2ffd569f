#include "platform/temp_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

namespace quarn {

namespace {

constexpr char kTempPattern[] = "qxXXXXXX.pdf";
constexpr int kTempSuffixLength = 4;  // ".pdf" follows the random part

// fsync on a freshly opened descriptor; O_RDONLY is enough for Linux to flush the whole file.
bool SyncPath(const std::string& path, int extraFlags) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | extraFlags);
  if (fd < 0) return false;
  const bool synced = fsync(fd) == 0;
  const int err = errno;
  close(fd);
  errno = err;
  return synced;
}

// Removes the temporary after a failed replace without disturbing the errno that says why.
bool FailAndRemove(const std::string& tempPath) {
  const int err = errno;
  unlink(tempPath.c_str());
  errno = err;
  return false;
}

}  // namespace

std::optional<TempSibling> CreateTempSibling(const std::string& directory) {
  std::string path = directory.empty() ? std::string(".") : directory;
  if (path.back() != '/') path += '/';
  path += kTempPattern;
  const int fd = mkstemps(path.data(), kTempSuffixLength);
  if (fd < 0) return std::nullopt;
  return TempSibling{path, fd};
}

bool ReplaceFileAtomically(const std::string& tempPath, const std::string& targetPath) {
  if (!SyncPath(tempPath, 0)) return FailAndRemove(tempPath);
  // mkstemps makes the file readable by its owner only; a document rewritten in place keeps
  // the permissions it had. Failing to copy them is not worth losing the new content over.
  struct stat target {};
  if (stat(targetPath.c_str(), &target) == 0 && S_ISREG(target.st_mode)) {
    (void)chmod(tempPath.c_str(), target.st_mode & 07777);
  }
  if (std::rename(tempPath.c_str(), targetPath.c_str()) != 0) return FailAndRemove(tempPath);
  // The rename has happened; a directory that cannot be synced (some file systems refuse)
  // does not undo it, so this step is best effort.
  (void)SyncPath(DirectoryOf(targetPath), O_DIRECTORY);
  return true;
}

bool RemoveFile(const std::string& path) { return unlink(path.c_str()) == 0; }

bool FileExists(const std::string& path) {
  std::string name = path;
  if (name.size() > 1 && name.back() == '/') name.pop_back();
  struct stat info {};
  return stat(name.c_str(), &info) == 0;
}

std::string DirectoryOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

}  // namespace quarn
