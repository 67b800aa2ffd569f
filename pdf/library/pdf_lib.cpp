#include "pdf/library/pdf_lib.h"

#include "pdf/content/family_factories.h"
#include "pdf/content/xobject.h"
#include "pdf/font/font_caches.h"
#include "pdf/font/font_factory.h"

namespace quarn {

CPDFLib::CPDFLib(const std::string& tempDir, const std::string& cmapDir, const std::string& afmDir)
    : CPDFLibBase(tempDir, cmapDir, afmDir) {
  SetFontCacheSlot(std::make_unique<FontCaches>(Lock(), CMapDir(), AFMDir()));
  RegisterXObjectFactories(*this);
  RegisterFontFactories(*this);
  RegisterTypedFamilyFactories(*this);
}

CPDFLib::~CPDFLib() = default;

FontCaches& CPDFLib::FontCache() { return *static_cast<FontCaches*>(FontCacheSlot()); }

}  // namespace quarn
