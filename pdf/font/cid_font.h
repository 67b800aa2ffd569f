// CID fonts: the descendants of Type 0 fonts, whose glyphs are selected by CID and measured by
// the default width DW and the width array W. CIDFontType0 fonts take their widths from
// CID-keyed metrics (the built-in HeiseiMin-W3 and HeiseiKakuGo-W5); a CIDFontType2 class
// builds on CPDFCIDFont with widths of its own (PackWidths) and joins LoadCIDFont's table.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "pdf/font/font.h"
#include "pdf/font/font_desc.h"

namespace quarn {

class CPDFType0Font;

// The kinds of CID font LoadCIDFont can make, one bit each.
enum CIDFontKind : int {
  kCIDFontType0 = 1,
  kCIDFontType2 = 2,
  kCIDFontAllKinds = 3,
};

// The character collection of a CID font: Registry, Ordering, Supplement.
class CPDFCIDSysInfo : public CPDFDataStruct, public CPDFDict {
  QUARN_TYPED_CLASS(CPDFCIDSysInfo, CPDFDict, "CIDSystemInfo")
 public:
  bool Create(CPDFObjHolder* doc, const std::string& registry, const std::string& ordering,
              int32_t supplement);
  bool Realize(CPDFObjHolder* doc, CPDFObject& source);
  void SwapContent(CPDFObject& other) override { CPDFDict::SwapContent(other); }

  QUARN_ACCESSOR(Registry, CPDFString)
  QUARN_ACCESSOR(Ordering, CPDFString)
  QUARN_ACCESSOR(Supplement, CPDFNumber)
};

// Valid when Registry and Ordering are strings and Supplement a number.
bool IsCIDSysInfo(CPDFObjHolder* doc, CPDFObject* value);

class CPDFCIDFont : public CPDFFont {
 public:
  // Takes over `source`; CIDSystemInfo and FontDescriptor become typed, DW and the numbers of W
  // read from the file become integers.
  bool Realize(CPDFObjHolder* doc, CPDFObject& source) override;

  // The width update of the kind (the base has no metrics to take widths from).
  bool CreateWidths() override { return false; }
  CPDFFontDesc* GetFontDescriptor() override { return Get_FontDescriptor(); }
  // Width of big-endian 2-byte CIDs through W and DW (0 when DW is absent); 0 without W, -1
  // when W is malformed.
  int32_t CalcStringWidth(const char* cids, size_t length) override;

  QUARN_ACCESSOR(CIDSystemInfo, CPDFCIDSysInfo)
  QUARN_ACCESSOR(FontDescriptor, CPDFFontDesc)
  QUARN_ACCESSOR(DW, CPDFNumber)
  QUARN_ACCESSOR(W, CPDFArray)

 protected:
  // Writes W from (CID, width) pairs in ascending CID order: widths equal to DW are left out,
  // runs of two or more equal widths become range entries "first last width", other widths
  // gather in list entries "first [w1 w2 ...]". A gap in the CIDs closes the open entry.
  // DW is set to 1000 when absent; an existing W is emptied first. Throws on failure.
  void PackWidths(const std::vector<std::pair<uint16_t, int32_t>>& widths, const char* module,
                  const char* operation);
};

// Recognizer shared by the CID kinds: a font whose CIDSystemInfo and FontDescriptor are
// dictionaries.
bool IsCIDFont(CPDFObjHolder* doc, CPDFObject* value);

class CPDFType0CIDFont : public CPDFCIDFont {
  QUARN_TYPED_CLASS(CPDFType0CIDFont, CPDFFont, "Font")
 public:
  // W from the CID-keyed metrics of BaseFont.
  bool CreateWidths() override;

  // A Type 0 font over a new CIDFontType0 descendant for the CID-keyed metrics `fontName`,
  // encoded by `cmapName` (empty: the library's host CMap, "90ms-RKSJ-H"). Failures go to the
  // document's last-error record; nullptr then.
  static std::unique_ptr<CPDFType0Font> CreateFont(CPDFObjHolder* doc, const std::string& fontName,
                                                   const std::string& cmapName);
};

// Subtype /CIDFontType0 and IsCIDFont.
bool IsType0CIDFont(CPDFObjHolder* doc, CPDFObject* value);

// Binds element `index` of `array` (direct or indirect) as the CID font of the first kind among
// `kinds` that accepts it (CIDFontType0, then CIDFontType2). A value no kind accepts stays as
// it is; false only when a binding was tried and failed.
bool LoadCIDFont(CPDFObjHolder* doc, CPDFArray& array, size_t index, int kinds);

// A CID kind that LoadCIDFont can make: its bit, recognizer and binder. CIDFontType0 is built
// in; another kind registers itself once at start-up.
using CIDFontBinder = bool (*)(CPDFObjHolder* doc, CPDFArray& array, size_t index);
void RegisterCIDFontKind(int kind, Recognizer recognize, CIDFontBinder bind);

}  // namespace quarn
