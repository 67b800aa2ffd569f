// Type 0 (composite) fonts: a CMap turns the shown bytes into CIDs of the one descendant CID
// font, which measures them.
#pragma once

#include <memory>
#include <string>

#include "pdf/font/cid_font.h"
#include "pdf/font/cmap_file.h"
#include "pdf/font/font.h"

namespace quarn {

class CPDFType0Font : public CPDFFont {
  QUARN_TYPED_CLASS(CPDFType0Font, CPDFFont, "Font")
 public:
  const char* GetPrefix() const override { return "G"; }
  int Kind() const override { return kFontType0; }

  // Takes over `source`; the descendants become typed CID fonts and an Encoding CMap stream a
  // CPDFCMap.
  bool Realize(CPDFObjHolder* doc, CPDFObject& source) override;

  // The width update of every descendant.
  bool CreateWidths() override;
  // The first descendant's descriptor.
  CPDFFontDesc* GetFontDescriptor() override;
  // The bytes mapped to CIDs through the encoding CMap, measured by the first descendant.
  int32_t CalcStringWidth(const char* bytes, size_t length) override;

  int ToUnicode(std::u16string& out, const char* bytes, size_t length) override;
  int ToHostEncoding(std::string& out, const char* bytes, size_t length) override;
  int FromUnicode(std::string& out, std::u16string_view text) override;
  int FromHostEncoding(std::string& out, std::string_view text) override;

  // The first descendant as a CID font, or nullptr.
  CPDFCIDFont* Descendant() const;

  QUARN_ACCESSOR(DescendantFonts, CPDFArray)

 private:
  // The encoding CMap: a name through the library cache, a stream parsed for this call (kept
  // in `parsed`). Throws with `operation` in the report.
  const CMapFile& EncodingCMap(const char* operation, std::unique_ptr<CMapFile>& parsed);
  const CMapFile& NamedCMap(const char* operation, const std::string& name);
  // The Unicode and the host CMaps of the writing direction of `encoding`.
  const CMapFile& UnicodeCMap(const char* operation, const CMapFile& encoding);
  const CMapFile& HostCMap(const char* operation, const CMapFile& encoding);
  bool IsIdentityEncoding() const;
};

// Subtype /Type0, DescendantFonts an array and Encoding a name or a stream.
bool IsType0Font(CPDFObjHolder* doc, CPDFObject* value);

}  // namespace quarn
