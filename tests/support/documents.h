// Documents for the tests: a fixture with a temporary directory and a library object, and the
// decoded content of a page.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "pdf/document/doc.h"
#include "pdf/library/pdf_lib.h"
#include "support/files.h"

namespace quarn::test {

// Decoded content streams of page `index` of `doc`, joined by "|" ("<none>" for a part that is
// not a stream or a page without content, "<no page>" when the page is missing).
std::string DecodedPageContents(CPDFDoc& doc, int index);

class DocTest : public ::testing::Test {
 protected:
  // Writes `bytes` as `name` in the temporary directory and returns its path.
  std::string Put(const std::string& name, const std::string& bytes);
  std::unique_ptr<CPDFDoc> Open(const std::string& path, const char* password = nullptr);
  // Opens bytes written to a file of their own.
  std::unique_ptr<CPDFDoc> OpenBytes(const std::string& bytes, const char* password = nullptr);
  static void ExpectError(const CPDFErrorRecord& e, const char* module, const char* method,
                          int code, const std::string& message);

  TempDir m_dir;
  CPDFLib m_lib{""};
  CPDFErrorRecord m_error;
  int m_files = 0;
};

}  // namespace quarn::test
