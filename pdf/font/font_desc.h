// The font descriptor dictionary: the metrics and style of a font that are not per glyph.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "pdf/object/typed_dict.h"
#include "pdf/stream/stream.h"

namespace quarn {

class AFMFile;

// Flags of a font descriptor.
enum FontDescFlags : int32_t {
  kFontFlagFixedPitch = 1,
  kFontFlagSymbolic = 4,
  kFontFlagNonsymbolic = 32,
};

class CPDFFontDesc : public CPDFDataStruct, public CPDFDict {
  QUARN_TYPED_CLASS(CPDFFontDesc, CPDFDict, "FontDescriptor")
 public:
  // Writes Type and the required entries, in this order.
  bool Create(CPDFObjHolder* doc, int32_t ascent, int32_t capHeight, int32_t descent, int32_t flags,
              const std::array<float, 4>& fontBBox, const std::string& fontName,
              int32_t italicAngle, int32_t stemV);
  // Takes over the content of `source`; embedded font programs with a Length1 entry become
  // CPDFFontFile streams.
  bool Realize(CPDFObjHolder* doc, CPDFObject& source);
  void SwapContent(CPDFObject& other) override { CPDFDict::SwapContent(other); }

  QUARN_ACCESSOR(Ascent, CPDFNumber)
  QUARN_ACCESSOR(CapHeight, CPDFNumber)
  QUARN_ACCESSOR(Descent, CPDFNumber)
  QUARN_ACCESSOR(Flags, CPDFNumber)
  QUARN_ACCESSOR(FontBBox, CPDFArray)
  QUARN_ACCESSOR(FontName, CPDFName)
  QUARN_ACCESSOR(ItalicAngle, CPDFNumber)
  QUARN_ACCESSOR(StemV, CPDFNumber)
  QUARN_ACCESSOR(AvgWidth, CPDFNumber)
  QUARN_ACCESSOR(FontFile, CPDFStream)
  QUARN_ACCESSOR(FontFile2, CPDFStream)
  QUARN_ACCESSOR(FontFile3, CPDFStream)
  QUARN_ACCESSOR(Leading, CPDFNumber)
  QUARN_ACCESSOR(MaxWidth, CPDFNumber)
  QUARN_ACCESSOR(MissingWidth, CPDFNumber)
  QUARN_ACCESSOR(StemH, CPDFNumber)
  QUARN_ACCESSOR(XHeight, CPDFNumber)
  QUARN_ACCESSOR(Style, CPDFDict)
  QUARN_ACCESSOR(FD, CPDFDict)
};

// Validity test: Type is "FontDescriptor"; Ascent, CapHeight, Descent and Flags are numbers
// read from a file; FontBBox is an array; FontName a name; ItalicAngle and StemV numbers read
// from a file. Checked in that order, failing on the first that is missing or ill-typed.
bool IsFontDesc(CPDFObjHolder* doc, CPDFObject* value);

// The Flags of a Type 1 font made from metrics: Nonsymbolic, plus FixedPitch when the metrics
// say so (32 or 33).
int32_t Type1DescriptorFlags(const AFMFile& metrics);

// A new descriptor made from metrics the way Type 1 fonts are created: Ascent = Ascender,
// CapHeight, Descent = Descender, `flags`, the box as reals, the font name, ItalicAngle, StemV,
// then XHeight. Entries are stored directly; nullptr on failure.
std::unique_ptr<CPDFFontDesc> CreateFontDescFromMetrics(CPDFObjHolder* doc, const std::string& fontName,
                                                        const AFMFile& metrics, int32_t flags);

}  // namespace quarn
