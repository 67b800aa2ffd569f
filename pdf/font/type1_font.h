// Type 1 fonts: the standard 14 fonts by name, and fonts described by AFM metrics.
#pragma once

#include <memory>
#include <string>

#include "pdf/font/font.h"
#include "pdf/font/font_desc.h"

namespace quarn {

class AFMFile;

class CPDFType1Font : public CPDFFont {
  QUARN_TYPED_CLASS(CPDFType1Font, CPDFFont, "Type1")
 public:
  int Kind() const override { return kFontType1; }

  // A new font with Subtype /Type1 (no other key).
  bool Create(CPDFObjHolder* doc, const std::string& fontName);
  // Takes over the content of `source`; a valid FontDescriptor becomes a CPDFFontDesc.
  bool Realize(CPDFObjHolder* doc, CPDFObject& source) override;

  // A standard 14 font as a bare dictionary, or a font with widths and a descriptor made from
  // the metrics of `fontName`. Failures go to the document's last-error record; nullptr then.
  static std::unique_ptr<CPDFType1Font> CreateFont(CPDFObjHolder* doc, const std::string& fontName,
                                                   const std::string& encodingName);

  std::unique_ptr<CPDFFont> Duplicate(CPDFObjHolder* target) const override;
  using CPDFObject::Duplicate;
  // Fills Widths for FirstChar..LastChar from the metrics, through the font's encoding.
  bool CreateWidths() override;
  // The cached descriptor of a standard 14 font, else the FontDescriptor entry.
  CPDFFontDesc* GetFontDescriptor() override;
  // Sum of the glyph widths of the bytes (no kerning); -1 after a failure.
  int32_t CalcStringWidth(const char* bytes, size_t length) override;

  QUARN_ACCESSOR(FirstChar, CPDFNumber)
  QUARN_ACCESSOR(LastChar, CPDFNumber)
  QUARN_ACCESSOR(Widths, CPDFArray)
  QUARN_ACCESSOR(FontDescriptor, CPDFFontDesc)

 private:
  const AFMFile& SimpleFontMetrics(const char* operation, const std::string& baseFont) const;
  std::string RequiredBaseFont(const char* operation) const;
  int32_t RequiredNumber(const char* operation, const char* key) const;
  int32_t MissingWidth() const;
};

// Recognizer: a font with Subtype /Type1; a standard 14 BaseFont suffices, any other needs
// FirstChar and LastChar read from the file, a Widths array and a FontDescriptor dictionary.
bool IsType1Font(CPDFObjHolder* doc, CPDFObject* value);

}  // namespace quarn
