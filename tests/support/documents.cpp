#include "support/documents.h"

#include <vector>

#include "pdf/document/pages.h"
#include "pdf/stream/stream.h"

namespace quarn::test {

std::string DecodedPageContents(CPDFDoc& doc, int index) {
  CPDFPage* page = doc.GetPage(index);
  if (!page) return "<no page>";
  CPDFObject* contents = page->Get_Contents();
  std::vector<CPDFStream*> streams;
  if (CPDFArray* parts = AsArray(contents)) {
    for (size_t i = 0; i < parts->Count(); ++i) {
      streams.push_back(dynamic_cast<CPDFStream*>(parts->GetObj(&doc, static_cast<int>(i))));
    }
  } else {
    streams.push_back(dynamic_cast<CPDFStream*>(contents));
  }
  std::string all;
  for (size_t i = 0; i < streams.size(); ++i) {
    if (i) all += "|";
    if (!streams[i]) {
      all += "<none>";
      continue;
    }
    CPDFStream copy(&doc);
    copy.CopyFrom(*streams[i], &doc);
    CPDFErrorRecord error;
    copy.DecodeAllFilter(error);
    all += std::string(copy.Data(), copy.DataLength());
  }
  return all;
}

std::string DocTest::Put(const std::string& name, const std::string& bytes) {
  const std::string path = m_dir.File(name);
  WriteFile(path, bytes);
  return path;
}

std::unique_ptr<CPDFDoc> DocTest::Open(const std::string& path, const char* password) {
  m_error.Clear();
  return m_lib.OpenDoc(path, password, m_error);
}

std::unique_ptr<CPDFDoc> DocTest::OpenBytes(const std::string& bytes, const char* password) {
  return Open(Put("in" + std::to_string(++m_files) + ".pdf", bytes), password);
}

void DocTest::ExpectError(const CPDFErrorRecord& e, const char* module, const char* method,
                          int code, const std::string& message) {
  EXPECT_EQ(e.Module(), module);
  EXPECT_EQ(e.Method(), method);
  EXPECT_EQ(e.Code(), code);
  EXPECT_EQ(e.Message(), message);
}

}  // namespace quarn::test
