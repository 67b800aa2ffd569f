// TrueType fonts made from the faces installed on the host: single-byte fonts whose widths come
// from the face, measured per code without consulting the encoding.
#pragma once

#include <memory>
#include <string>

#include "pdf/font/font.h"
#include "pdf/font/font_caches.h"
#include "pdf/font/font_desc.h"

namespace quarn {

class CPDFTrueTypeFont : public CPDFFont {
  QUARN_TYPED_CLASS(CPDFTrueTypeFont, CPDFFont, "TrueType")
 public:
  const char* GetPrefix() const override { return "TT"; }
  int Kind() const override { return kFontTrueType; }

  // Takes over the content of `source`; a valid FontDescriptor becomes a CPDFFontDesc.
  bool Realize(CPDFObjHolder* doc, CPDFObject& source) override;

  // A font for the installed face `fontName` (ANSI faces in WinAnsiEncoding, Mac faces in
  // MacRomanEncoding unless `encodingName` says otherwise), with its widths and descriptor.
  // Failures go to the document's last-error record; nullptr then.
  static std::unique_ptr<CPDFTrueTypeFont> CreateFont(CPDFObjHolder* doc,
                                                      const std::string& fontName,
                                                      const std::string& encodingName);

  std::unique_ptr<CPDFFont> Duplicate(CPDFObjHolder* target) const override;
  using CPDFObject::Duplicate;
  // Fills Widths for FirstChar..LastChar (0 and 255 without Widths) from the face's widths.
  bool CreateWidths() override;
  CPDFFontDesc* GetFontDescriptor() override { return Get_FontDescriptor(); }
  // Sum of the widths of the bytes (0 outside FirstChar..LastChar); -1 after a failure.
  int32_t CalcStringWidth(const char* bytes, size_t length) override;

  QUARN_ACCESSOR(FirstChar, CPDFNumber)
  QUARN_ACCESSOR(LastChar, CPDFNumber)
  QUARN_ACCESSOR(Widths, CPDFArray)
  QUARN_ACCESSOR(FontDescriptor, CPDFFontDesc)

 private:
  std::string RequiredBaseFont(const char* operation) const;
  int32_t RequiredNumber(const char* operation, const char* key) const;
  const TrueTypeInfo& RequiredInfo(const char* operation, const std::string& baseFont) const;
};

// Recognizer: IsFont and Subtype /TrueType.
bool IsTrueTypeFont(CPDFObjHolder* doc, CPDFObject* value);

// The descriptor of a font made from a TrueType record: Ascent and Descent from the Mac
// ascent and descent, CapHeight 0, `flags`, the font box as reals, ItalicAngle, StemV 0, and a
// Style dictionary whose Panose is the face's ten PANOSE bytes and two zero bytes. Throws
// (`module`, `operation`) on failure.
std::unique_ptr<CPDFFontDesc> CreateTrueTypeDescriptor(CPDFObjHolder* doc, const TrueTypeInfo& info,
                                                       const std::string& fontName, int32_t flags,
                                                       const char* module, const char* operation);

// The records of "HeiseiMin-W3" and "HeiseiKakuGo-W5" (exact names), which stand for faces the
// host need not have: charset 128, no widths. nullptr for any other name.
std::unique_ptr<TrueTypeInfo> HeiseiTrueTypeInfo(const std::string& fontName);

}  // namespace quarn
