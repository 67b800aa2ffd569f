// Picking the class of a font: the loader for dictionaries read from a document and the
// creators the tool calls by font name.
#include "pdf/font/font_factory.h"

#include "pdf/document/lib_base.h"
#include "pdf/document/res_dict.h"
#include "pdf/font/font.h"
#include "pdf/font/cid_font.h"
#include "pdf/font/type0_font.h"
#include "pdf/font/type1_font.h"
#include "pdf/font/type2_cid_font.h"
#include "pdf/font/type3_font.h"
#include "pdf/font/truetype_font.h"

namespace quarn {

namespace {

struct FontClass {
  int kind;
  Recognizer recognize;
  std::unique_ptr<CPDFFont> (*make)();
};

template <class T>
std::unique_ptr<CPDFFont> MakeFont() {
  return std::make_unique<T>();
}

// In the loader's order: Type1, TrueType, MMType1, Type3, Type0.
const FontClass kFontClasses[] = {
    {kFontType1, IsType1Font, &MakeFont<CPDFType1Font>},
    {kFontTrueType, IsTrueTypeFont, &MakeFont<CPDFTrueTypeFont>},
    {kFontMMType1, IsMMType1Font, &MakeFont<CPDFMMType1Font>},
    {kFontType3, IsType3Font, &MakeFont<CPDFType3Font>},
    {kFontType0, IsType0Font, &MakeFont<CPDFType0Font>},
};

// The first class among `kinds` whose recognizer accepts the value, or nullptr.
const FontClass* AcceptingClass(int kinds, CPDFObjHolder* doc, CPDFObject& value) {
  for (const FontClass& cls : kFontClasses) {
    if ((kinds & cls.kind) != 0 && cls.recognize(doc, &value)) return &cls;
  }
  return nullptr;
}

// Makes a font of class `cls` from `value`; on failure `value` gets its content back.
std::unique_ptr<CPDFFont> BindAs(const FontClass& cls, CPDFObjHolder* doc, CPDFObject& value) {
  std::unique_ptr<CPDFFont> font = cls.make();
  font->CopyFlagsFrom(value);
  try {
    if (font->Realize(doc, value)) return font;
  } catch (...) {
    // A binding that throws fails like one that answers false.
  }
  value.SwapContent(*font);
  return nullptr;
}

// Fonts named in resource dictionaries are typed when the resources are loaded.
std::unique_ptr<CPDFObject> LoadFontResource(CPDFObjHolder* doc, CPDFObject& value, int kinds) {
  return LoadFont(kinds, doc, value);
}

}  // namespace

void RegisterFontFactories(CPDFLibBase& lib) {
  RegisterType2CIDFontKind();
  lib.RegisterResourceFactory("Font", &LoadFontResource);
}

std::unique_ptr<CPDFFont> LoadFont(int kinds, CPDFObjHolder* doc, CPDFObject& dict) {
  const FontClass* cls = AcceptingClass(kinds, doc, dict);
  return cls ? BindAs(*cls, doc, dict) : nullptr;
}

bool BindFontEntry(CPDFObjHolder* doc, CPDFDict& holder, std::string_view key, int kinds,
                   CPDFFont** bound) {
  if (bound) *bound = nullptr;
  CPDFAtom* atom = holder.Lookup(key);
  if (!atom) return true;
  CPDFObjRef ref;
  CPDFObject* value = Resolve(doc, atom, &ref);
  if (!value) return true;
  if (auto* already = dynamic_cast<CPDFFont*>(value)) {
    if (bound) *bound = already;
    return true;
  }
  const FontClass* cls = AcceptingClass(kinds, doc, *value);
  if (!cls) return true;  // not a font of these kinds: it stays a plain value
  std::unique_ptr<CPDFFont> font = BindAs(*cls, doc, *value);
  if (!font) return false;
  CPDFFont* typed = font.get();
  if (atom->IsRef()) {
    if (!ReplaceIndirect(doc, ref, std::move(font))) return false;
  } else {
    holder.Put(key, std::move(font));
  }
  if (bound) *bound = typed;
  return true;
}

std::unique_ptr<CPDFFont> CreateFontByName(CPDFObjHolder* doc, const std::string& fontName,
                                           const std::string& encodingName) {
  // A Japanese CID font (Type 0 with a CIDFontType0 descendant) is the second choice; when
  // both fail, the record keeps the first failure.
  if (std::unique_ptr<CPDFFont> font = CPDFType1Font::CreateFont(doc, fontName, encodingName)) {
    return font;
  }
  return CPDFType0CIDFont::CreateFont(doc, fontName, encodingName);
}

std::unique_ptr<CPDFFont> CreateTrueTypeFontByName(CPDFObjHolder* doc, const std::string& fontName,
                                                   const std::string& encodingName) {
  // A Shift-JIS face is no simple font: it becomes a Type 0 font over CIDFontType2.
  if (std::unique_ptr<CPDFFont> font = CPDFTrueTypeFont::CreateFont(doc, fontName, encodingName)) {
    return font;
  }
  return CPDFType2CIDFont::CreateFont(doc, fontName, encodingName);
}

}  // namespace quarn
