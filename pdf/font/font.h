// The base of every font dictionary: its common keys, the slots its kinds fill in, the four
// text conversions, and the loader and creators that pick a kind.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "pdf/object/typed_dict.h"
#include "pdf/stream/stream.h"

namespace quarn {

class CPDFFontDesc;
class EncodingTable;
class FontCaches;

// The kinds of font the loader can make, one bit each.
enum FontKind : int {
  kFontType1 = 1,
  kFontTrueType = 2,
  kFontMMType1 = 4,
  kFontType3 = 8,
  kFontType0 = 16,
  kFontAllKinds = -1,
};

class CPDFFont : public CPDFResource, public CPDFDict {
  QUARN_TYPED_CLASS(CPDFFont, CPDFDict, "Font")
 public:
  ~CPDFFont() override = default;

  const char* GetCategory() const override { return "Font"; }
  // The resource-name prefix; Type 1 fonts (and the base) use "F".
  const char* GetPrefix() const override { return "F"; }
  // The kind bit of the class (0 for the base).
  virtual int Kind() const { return 0; }

  // A new font: Type /Font and BaseFont; subclasses add their own keys.
  bool Create(CPDFObjHolder* doc, const std::string& fontName);
  // Takes over the content of `source`; an Encoding dictionary with Type /Encoding becomes a
  // CPDFEncoding. Virtual, so that the loader binds each kind's own entries.
  virtual bool Realize(CPDFObjHolder* doc, CPDFObject& source);
  void SwapContent(CPDFObject& other) override { CPDFDict::SwapContent(other); }

  CPDFDict& Dict() { return *this; }
  const CPDFDict& Dict() const { return *this; }

  // A deep copy of the font into `target`; nullptr on failure.
  virtual std::unique_ptr<CPDFFont> Duplicate(CPDFObjHolder* target) const;
  using CPDFObject::Duplicate;

  // Fills the width entries from metrics; the base has none to fill.
  virtual bool CreateWidths() { return false; }
  // The descriptor that governs the font's metrics; the base has none.
  virtual CPDFFontDesc* GetFontDescriptor() { return nullptr; }
  // Width of a string in thousandths of the text size; -1 after a failure.
  virtual int32_t CalcStringWidth(const char* bytes, size_t length);

  // The text conversions. Each clears the document's last error first and, on failure, leaves
  // the error there and returns -1; otherwise it returns the number of units (UTF-16 code units
  // or bytes) it wrote into `out`, which it replaces.
  virtual int ToUnicode(std::u16string& out, const char* bytes, size_t length);
  virtual int ToHostEncoding(std::string& out, const char* bytes, size_t length);
  virtual int FromUnicode(std::string& out, std::u16string_view text);
  virtual int FromHostEncoding(std::string& out, std::string_view text);

  QUARN_ACCESSOR(BaseFont, CPDFName)
  QUARN_ACCESSOR(Encoding, CPDFObject)
  QUARN_ACCESSOR(ToUnicode, CPDFStream)
  QUARN_ACCESSOR(Subtype, CPDFName)

 protected:
  // The library's font caches, or nullptr when the font has no document or library.
  FontCaches* Caches() const;
  // Keeps `e` in the document's last-error record (the first error of a call wins).
  void Report(const CPDFException& e) const;
};

// Base recognizer: Type is the name "Font" and BaseFont is a name.
bool IsFont(CPDFObjHolder* doc, CPDFObject* value);

// Makes the typed font of the first accepted kind among `kinds` (tried in the order Type1,
// TrueType, MMType1, Type3, Type0). On success the font has taken over the content of `dict`
// (the caller puts the font in its place); nullptr when no kind accepts it or binding fails, and
// `dict` is then as it was.
std::unique_ptr<CPDFFont> LoadFont(int kinds, CPDFObjHolder* doc, CPDFObject& dict);

// Binds the entry `key` of `holder` (a font resource, direct or indirect) as the typed font of
// the first accepted kind, in place: an indirect font keeps its identity. A value no kind
// accepts stays as it is. False only when a binding was tried and failed; `bound` receives the
// typed font, or nullptr.
bool BindFontEntry(CPDFObjHolder* doc, CPDFDict& holder, std::string_view key, int kinds,
                   CPDFFont** bound = nullptr);

// The fonts the tool asks for by name: a standard or AFM-described Type 1 font, else a Japanese
// CID font. Failures are kept in the document's last-error record.
std::unique_ptr<CPDFFont> CreateFontByName(CPDFObjHolder* doc, const std::string& fontName,
                                           const std::string& encodingName);
// A font of an installed TrueType face by name: a simple TrueType font, else (Shift-JIS faces
// and the Heisei records) a Type 0 font over CIDFontType2. Failures are kept in the document's
// last-error record.
std::unique_ptr<CPDFFont> CreateTrueTypeFontByName(CPDFObjHolder* doc, const std::string& fontName,
                                                   const std::string& encodingName);

}  // namespace quarn
