// The simple font kinds the library reads but never makes: Type 3 fonts (glyphs drawn by
// content streams) and multiple-master Type 1 instances. Both keep the base behaviour: no
// widths made, no descriptor from metrics, string width 0.
#pragma once

#include "pdf/font/font.h"
#include "pdf/font/font_desc.h"

namespace quarn {

class CPDFType3Font : public CPDFFont {
  QUARN_TYPED_CLASS(CPDFType3Font, CPDFFont, "Font")
 public:
  int Kind() const override { return kFontType3; }

  QUARN_ACCESSOR(FirstChar, CPDFNumber)
  QUARN_ACCESSOR(LastChar, CPDFNumber)
  QUARN_ACCESSOR(Widths, CPDFArray)
  QUARN_ACCESSOR(CharProcs, CPDFDict)
  QUARN_ACCESSOR(FontBBox, CPDFArray)
  QUARN_ACCESSOR(FontMatrix, CPDFArray)
  QUARN_ACCESSOR(Resources, CPDFDict)
};

// Type /Font, Subtype /Type3, FirstChar and LastChar read from the file, Widths, FontBBox and
// FontMatrix arrays, CharProcs a dictionary, Encoding a name or a dictionary; no BaseFont
// needed.
bool IsType3Font(CPDFObjHolder* doc, CPDFObject* value);

class CPDFMMType1Font : public CPDFFont {
  QUARN_TYPED_CLASS(CPDFMMType1Font, CPDFFont, "Font")
 public:
  int Kind() const override { return kFontMMType1; }

  QUARN_ACCESSOR(FirstChar, CPDFNumber)
  QUARN_ACCESSOR(LastChar, CPDFNumber)
  QUARN_ACCESSOR(Widths, CPDFArray)
  QUARN_ACCESSOR(FontDescriptor, CPDFDict)
};

// IsFont, Subtype /MMType1, FirstChar and LastChar read from the file, a Widths array and a
// FontDescriptor dictionary.
bool IsMMType1Font(CPDFObjHolder* doc, CPDFObject* value);

}  // namespace quarn
