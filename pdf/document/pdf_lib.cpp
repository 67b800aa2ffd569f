#include "pdf/document/pdf_lib.h"

#include "pdf/document/doc.h"
#include "pdf/font/font_caches.h"
#include "pdf/stream/huge_string.h"

namespace quarn {

std::string WithTrailingSlash(const std::string& dir) {
  if (dir.empty() || dir.back() == '/') return dir;
  return dir + "/";
}

CPDFLib::CPDFLib(const std::string& tempDir, const std::string& cmapDir, const std::string& afmDir)
    : m_tempDir(WithTrailingSlash(tempDir)),
      m_cmapDir(WithTrailingSlash(cmapDir)),
      m_afmDir(WithTrailingSlash(afmDir)),
      m_fontCaches(std::make_unique<FontCaches>(m_lock, m_cmapDir, m_afmDir)) {
  TempHugeString::SetTempLocation(m_tempDir, m_tempPrefix);
}

CPDFLib::~CPDFLib() = default;

std::unique_ptr<CPDFDoc> CPDFLib::OpenDoc(const std::string& fileName, const char* password,
                                          CPDFErrorRecord& error) {
  auto doc = std::make_unique<CPDFDoc>(this);
  if (!doc->Open(this, fileName, password)) {
    error = doc->LastError();
    return nullptr;
  }
  return doc;
}

}  // namespace quarn
