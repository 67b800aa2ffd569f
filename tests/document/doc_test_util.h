// Shared pieces of the document tests: a fixture with a temporary directory and a library
// object, and runners for the external checkers (qpdf, poppler).
#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <memory>
#include <string>

#include "pdf/document/doc.h"
#include "pdf/library/pdf_lib.h"
#include "test_support.h"

namespace quarn::test {

// Exit status of a shell command (-1 when it could not run).
inline int RunCommand(const std::string& command) {
  const int status = std::system((command + " >/dev/null 2>&1").c_str());
  return status == -1 || !WIFEXITED(status) ? -1 : WEXITSTATUS(status);
}

// Standard output of a shell command.
inline std::string CommandOutput(const std::string& command) {
  std::string out;
  FILE* pipe = popen((command + " 2>/dev/null").c_str(), "r");
  if (!pipe) return out;
  std::array<char, 4096> buf{};
  size_t n;
  while ((n = fread(buf.data(), 1, buf.size(), pipe)) > 0) out.append(buf.data(), n);
  pclose(pipe);
  return out;
}

inline bool HaveTool(const char* tool) {
  return RunCommand(std::string("command -v ") + tool) == 0;
}

// qpdf --check passes (0) or passes with warnings only (3).
inline bool QpdfAccepts(const std::string& path, const std::string& password = "") {
  const std::string pw = password.empty() ? "" : " --password=" + password;
  const int status = RunCommand("qpdf" + pw + " --check '" + path + "'");
  return status == 0 || status == 3;
}

// Occurrences of `needle` in `haystack`.
inline size_t CountOf(const std::string& haystack, const std::string& needle) {
  size_t count = 0;
  for (size_t at = haystack.find(needle); at != std::string::npos;
       at = haystack.find(needle, at + needle.size())) {
    ++count;
  }
  return count;
}

class DocTest : public ::testing::Test {
 protected:
  // Writes `bytes` as `name` in the temporary directory and returns its path.
  std::string Put(const std::string& name, const std::string& bytes) {
    const std::string path = m_dir.File(name);
    WriteFile(path, bytes);
    return path;
  }
  std::unique_ptr<CPDFDoc> Open(const std::string& path, const char* password = nullptr) {
    m_error.Clear();
    return m_lib.OpenDoc(path, password, m_error);
  }
  // Opens bytes written to a file of their own.
  std::unique_ptr<CPDFDoc> OpenBytes(const std::string& bytes, const char* password = nullptr) {
    return Open(Put("in" + std::to_string(++m_files) + ".pdf", bytes), password);
  }
  void ExpectError(const CPDFErrorRecord& e, const char* module, const char* method, int code,
                   const std::string& message) {
    EXPECT_EQ(e.Module(), module);
    EXPECT_EQ(e.Method(), method);
    EXPECT_EQ(e.Code(), code);
    EXPECT_EQ(e.Message(), message);
  }

  TempDir m_dir;
  CPDFLib m_lib{""};
  CPDFErrorRecord m_error;
  int m_files = 0;
};

}  // namespace quarn::test
