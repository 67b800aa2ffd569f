// The output of a full rewrite while it is being written: a file beside its target that no one
// else can see, put in place by one rename when it is complete.
//
// Where the file system allows it the file has no name at all until the end (O_TMPFILE), so a
// run killed in any way leaves nothing behind. Elsewhere it is a "qxXXXXXX.pdf" that is removed
// on failure, on destruction and on SIGTERM, SIGINT, SIGHUP and SIGXFSZ.
#pragma once

#include <memory>
#include <string>

namespace quarn {

class OutputFile {
 public:
  // A new, empty file in the directory of `targetPath`; nullptr with errno set on failure.
  static std::unique_ptr<OutputFile> CreateBeside(const std::string& targetPath);
  // A new, empty file "qxXXXXXX.pdf" in `directory` that always has its name, for other code to
  // open by that name (a spooled standard input, an output on its way to standard output). It
  // is removed like any named one: on Discard, on destruction and on the signals above.
  static std::unique_ptr<OutputFile> CreateNamedIn(const std::string& directory);
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // A descriptor of the file, open for reading and writing, for the caller to own and close.
  int DuplicateFd() const;
  // The file's name while it is written; empty when it has none.
  const std::string& Path() const { return m_path; }

  // Gives the file the owner, group, permissions and extended attributes of the target (the
  // permissions a new file gets when there is no target), forces it to the disk, and renames it
  // over `targetPath`; the directory entry is forced to the disk too. On failure the target is
  // untouched, the file is discarded and errno tells why.
  bool Commit(const std::string& targetPath);
  // Drops the file (removing its name when it has one).
  void Discard();

 private:
  OutputFile(int fd, std::string path) : m_fd(fd), m_path(std::move(path)) {}
  bool GiveTargetAttributes(const std::string& targetPath) const;
  bool LinkBeside(const std::string& targetPath);

  int m_fd = -1;
  std::string m_path;
};

}  // namespace quarn
