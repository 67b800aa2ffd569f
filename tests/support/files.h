// Files and programs for the tests: a temporary directory that cleans up after itself,
// whole-file reads and writes, and runners for the external checkers (qpdf, poppler).
#pragma once

#include <cstddef>
#include <cstdint>
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
// The file's bytes from `offset` to its end (the tail of a file too large to read whole).
std::string ReadFileFrom(const std::string& path, int64_t offset);
// Creates or truncates the file and writes `bytes`; throws std::runtime_error on failure.
void WriteFile(const std::string& path, std::string_view bytes);

// Exit status of a shell command, its output thrown away (-1 when it could not run).
int RunCommand(const std::string& command);
// Standard output of a shell command.
std::string CommandOutput(const std::string& command);
// Whether `tool` is on the PATH.
bool HaveTool(const char* tool);
// qpdf --check passes (0) or passes with warnings only (3).
bool QpdfAccepts(const std::string& path, const std::string& password = "");

// Occurrences of `needle` in `haystack`.
size_t CountOf(const std::string& haystack, const std::string& needle);

}  // namespace quarn::test
