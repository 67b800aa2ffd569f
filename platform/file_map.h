// A growable memory-mapped temporary file. The file has no name (O_TMPFILE), or loses it as soon
// as it is made where the file system has no unnamed files, so nothing is left behind, even
// after a crash.
#pragma once

#include <cstddef>
#include <string>

namespace quarn {

class FileMap {
 public:
  FileMap() = default;
  ~FileMap() { Close(); }
  FileMap(const FileMap&) = delete;
  FileMap& operator=(const FileMap&) = delete;

  // Makes a temporary file in `directory` (empty: $TMPDIR, else /tmp) named with `prefix`, maps
  // it at `size` bytes. False with errno kept on failure.
  bool Open(const std::string& directory, const std::string& prefix, size_t size);
  // Remaps at `size` bytes, with the file's blocks reserved first; new bytes read as zero.
  // False with errno kept on failure (the old mapping stays valid then).
  bool Resize(size_t size);
  // Maps in, in one call per mebibyte, the pages up to `end` that are about to be written, so
  // that filling a large buffer does not fault once per page. Only a hint.
  void Prefault(size_t end);
  void Close();

  char* Data() const { return m_data; }
  size_t Size() const { return m_size; }
  bool IsOpen() const { return m_fd >= 0; }

 private:
  int m_fd = -1;
  char* m_data = nullptr;
  size_t m_size = 0;
  size_t m_prefaulted = 0;  // pages below this offset are mapped in
};

}  // namespace quarn
