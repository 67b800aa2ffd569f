// A read-only file held open by one descriptor and read with positional reads. Shared by a
// document's input and by the streams whose data was left in that file, so that replacing the
// file on disk never changes what those streams read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

namespace quarn {

class SourceFile {
 public:
  // Opens `path` read-only; an empty path reads standard input (copied to an unlinked
  // temporary file so that it can be read at any offset). nullptr with errno set on failure.
  static std::shared_ptr<SourceFile> Open(const std::string& path);
  ~SourceFile();
  SourceFile(const SourceFile&) = delete;
  SourceFile& operator=(const SourceFile&) = delete;

  int64_t Size() const { return m_size; }
  const std::string& Path() const { return m_path; }
  // Reads up to n bytes at `offset`; returns the count read (short only at the end of file),
  // or -1 on an I/O error.
  int64_t ReadAt(int64_t offset, void* dst, size_t n) const;
  // Reads exactly n bytes at `offset`. Small reads are served from a block read ahead: the
  // many small objects and streams of a long document lie side by side, and one read then
  // serves dozens of them.
  bool ReadExact(int64_t offset, void* dst, size_t n) const;
  // The descriptor, for copies that the kernel makes (copy_file_range; never closed by the
  // caller).
  int Fd() const { return m_fd; }

 private:
  SourceFile(int fd, int64_t size, std::string path)
      : m_fd(fd), m_size(size), m_path(std::move(path)) {}
  // Reads of at most kSmallRead bytes go through a block of kReadAhead bytes.
  static constexpr size_t kSmallRead = size_t(16) << 10;
  static constexpr size_t kReadAhead = size_t(64) << 10;
  bool ReadSmall(int64_t offset, void* dst, size_t n) const;

  int m_fd;
  int64_t m_size;
  std::string m_path;
  // The block read ahead: the bytes of [m_blockStart, m_blockStart + m_blockCount).
  mutable std::mutex m_blockMutex;
  mutable std::unique_ptr<char[]> m_block;
  mutable int64_t m_blockStart = 0;
  mutable size_t m_blockCount = 0;
};

}  // namespace quarn
