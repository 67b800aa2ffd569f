#include "pdf/font/font_desc.h"

#include "pdf/document/doc.h"
#include "pdf/font/afm_file.h"
#include "pdf/font/font_file.h"

namespace quarn {

namespace {

// Numbers read from a file carry the generic number type; numbers built by code do not and
// never pass this test.
bool IsFileNumber(CPDFObjHolder* doc, const CPDFDict& dict, std::string_view key) {
  CPDFObject* value = dict.GetValue(doc, key);
  return value && value->TypeCode() == kTypeNumber;
}

}  // namespace

bool IsFontDesc(CPDFObjHolder* doc, CPDFObject* value) {
  if (!value || value->TypeCode() != kTypeDict) return false;
  const auto& dict = *static_cast<CPDFDict*>(value);
  return dict.HasName(doc, "Type", "FontDescriptor") && IsFileNumber(doc, dict, "Ascent") &&
         IsFileNumber(doc, dict, "CapHeight") && IsFileNumber(doc, dict, "Descent") &&
         IsFileNumber(doc, dict, "Flags") && dict.GetArray(doc, "FontBBox") &&
         dict.GetName(doc, "FontName") && IsFileNumber(doc, dict, "ItalicAngle") &&
         IsFileNumber(doc, dict, "StemV");
}

bool CPDFFontDesc::Create(CPDFObjHolder* doc, int32_t ascent, int32_t capHeight, int32_t descent,
                          int32_t flags, const std::array<float, 4>& fontBBox,
                          const std::string& fontName, int32_t italicAngle, int32_t stemV) {
  BindDoc(doc);
  auto box = std::make_unique<CPDFArray>();
  for (float v : fontBBox) box->Push_Back(std::make_unique<CPDFReal>(v));
  return SetValue(doc, "Type", std::make_unique<CPDFName>(ClassName().View())) &&
         Set_Ascent(std::make_unique<CPDFInt>(ascent)) &&
         Set_CapHeight(std::make_unique<CPDFInt>(capHeight)) &&
         Set_Descent(std::make_unique<CPDFInt>(descent)) &&
         Set_Flags(std::make_unique<CPDFInt>(flags)) && Set_FontBBox(std::move(box)) &&
         Set_FontName(std::make_unique<CPDFName>(fontName)) &&
         Set_ItalicAngle(std::make_unique<CPDFInt>(italicAngle)) &&
         Set_StemV(std::make_unique<CPDFInt>(stemV));
}

bool CPDFFontDesc::Realize(CPDFObjHolder* doc, CPDFObject& source) {
  BindDoc(doc);
  SwapContent(source);
  for (const char* key : {"FontFile", "FontFile2", "FontFile3"}) {
    if (!BindEntry<CPDFFontFile>(doc, *this, key, IsFontFile)) return false;
  }
  return true;
}

int32_t Type1DescriptorFlags(const AFMFile& metrics) {
  return kFontFlagNonsymbolic | (metrics.Header().isFixedPitch ? kFontFlagFixedPitch : 0);
}

std::unique_ptr<CPDFFontDesc> CreateFontDescFromMetrics(CPDFObjHolder* doc, const std::string& fontName,
                                                        const AFMFile& metrics, int32_t flags) {
  const AFMHeader& h = metrics.Header();
  const std::array<float, 4> box = {float(h.fontBBox[0]), float(h.fontBBox[1]),
                                    float(h.fontBBox[2]), float(h.fontBBox[3])};
  auto desc = std::make_unique<CPDFFontDesc>();
  if (!desc->Create(doc, h.ascender, h.capHeight, h.descender, flags, box, fontName, h.italicAngle,
                    h.stemV) ||
      !desc->Set_XHeight(std::make_unique<CPDFInt>(h.xHeight))) {
    return nullptr;
  }
  return desc;
}

}  // namespace quarn
