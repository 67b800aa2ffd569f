// Small helpers shared by the unit tests: a temporary directory that cleans up after itself and
// whole-file reads and writes.
#pragma once

#include <string>
#include <string_view>

namespace quarn::test {

// Makes a unique directory under $TMPDIR (or /tmp) and removes it with everything in it.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  // The directory, without a trailing "/".
  const std::string& Path() const { return m_path; }
  // The path of `name` inside the directory.
  std::string File(std::string_view name) const;

 private:
  std::string m_path;
};

// The whole file as bytes; throws std::runtime_error when it cannot be read.
std::string ReadFile(const std::string& path);
// Creates or truncates the file and writes `bytes`; throws std::runtime_error on failure.
void WriteFile(const std::string& path, std::string_view bytes);

}  // namespace quarn::test
