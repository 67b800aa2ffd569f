#include "pdf/document/lib_base.h"

#include "pdf/document/doc.h"

namespace quarn {

std::string WithTrailingSlash(const std::string& dir) {
  if (dir.empty() || dir.back() == '/') return dir;
  return dir + "/";
}

CPDFLibBase::CPDFLibBase(const std::string& tempDir, const std::string& cmapDir,
                         const std::string& afmDir)
    : m_cmapDir(WithTrailingSlash(cmapDir)), m_afmDir(WithTrailingSlash(afmDir)) {
  m_space.directory = WithTrailingSlash(tempDir);
}

CPDFLibBase::~CPDFLibBase() = default;

void CPDFLibBase::RegisterResourceFactory(std::string_view key, ResourceFactory factory) {
  if (factory) {
    m_factories[std::string(key)] = factory;
  } else if (auto it = m_factories.find(key); it != m_factories.end()) {
    m_factories.erase(it);
  }
}

ResourceFactory CPDFLibBase::FindResourceFactory(std::string_view key) const {
  auto it = m_factories.find(key);
  return it == m_factories.end() ? nullptr : it->second;
}

std::unique_ptr<CPDFDoc> CPDFLibBase::OpenDoc(const std::string& fileName, const char* password,
                                              CPDFErrorRecord& error) {
  auto doc = std::make_unique<CPDFDoc>(this);
  if (!doc->Open(this, fileName, password)) {
    error = doc->LastError();
    return nullptr;
  }
  return doc;
}

}  // namespace quarn
