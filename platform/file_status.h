// What a name stands for on the host: whether it is missing, a regular file, the same file as
// another name, the file a chain of symbolic links reaches; and the lock that serialises runs
// that rewrite one file in place.
#pragma once

#include <string>

namespace quarn {

// True when nothing at all stands under `path` (ENOENT, ENOTDIR); other failures of the status
// query (a name too long, no permission) are not "missing" and are reported by the open.
bool FileMissing(const std::string& path);

// True when something stands under `path` (following links) and it is not a regular file: a
// directory, a device, a FIFO, a socket. Never opens it, so a FIFO cannot block.
bool IsSpecialFile(const std::string& path);

// What FileMissing and IsSpecialFile tell of `path`, from one status query where they would make
// two: kOther is neither (a regular file, or a name the query could not look at for another
// reason, which the open then reports).
enum class FileKind { kMissing, kSpecial, kOther };
FileKind KindOf(const std::string& path);

// True when both names reach the same file (same device and inode).
bool SameFile(const std::string& a, const std::string& b);

// The name of the file that `path` reaches through symbolic links (relative links are taken
// from the link's directory); `path` itself when it is not a link. A dangling link gives the
// name it points to, so that writing creates the file there.
std::string FollowLinks(const std::string& path);

// An exclusive advisory lock (flock) on a file that is about to be rewritten in place, waited
// for. Taken on the file that the name reaches at the moment the lock is granted: when another
// run replaced the file meanwhile, the lock is taken again on the new one.
class FileLock {
 public:
  FileLock() = default;
  ~FileLock() { Release(); }
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;

  // False (no lock held) when the file cannot be opened or is not a regular file.
  bool Acquire(const std::string& path);
  void Release();
  bool Held() const { return m_fd >= 0; }

 private:
  int m_fd = -1;
};

}  // namespace quarn
