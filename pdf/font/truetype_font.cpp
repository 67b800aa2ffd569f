#include "pdf/font/truetype_font.h"

#include <limits>
#include <vector>

#include "pdf/document/doc.h"

namespace quarn {

namespace {

constexpr const char* kModule = "CPDFTrueTypeFont";

void Require(bool ok, const char* operation, const char* step) {
  if (!ok) Throw(kModule, operation, kInternalError, step);
}

int32_t ClampWidth(int64_t total) {
  if (total > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
  if (total < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(total);
}

// Descriptor Flags of a simple TrueType font: FixedPitch and Nonsymbolic from the pitch bit,
// Serif and Script from the family bits.
int32_t TrueTypeFlags(uint8_t pitchAndFamily) {
  int32_t flags = (pitchAndFamily & 0x01) != 0 ? 33 : 32;
  if ((pitchAndFamily & 0x10) != 0) flags += 2;
  if ((pitchAndFamily & 0x40) != 0) flags += 8;
  return flags;
}

struct HeiseiRecord {
  const char* name;
  int32_t left, top, right, bottom, ascent, descent;
  std::array<uint8_t, 10> panose;
};

constexpr HeiseiRecord kHeiseiRecords[] = {
    {"HeiseiMin-W3", -123, 910, 1001, -257, 723, -241, {1, 5, 2, 2, 4, 0, 0, 0, 0, 0}},
    {"HeiseiKakuGo-W5", -92, 922, 1010, -250, 752, -221, {8, 1, 2, 11, 6, 0, 0, 0, 0, 0}},
};

}  // namespace

std::unique_ptr<TrueTypeInfo> HeiseiTrueTypeInfo(const std::string& fontName) {
  for (const HeiseiRecord& record : kHeiseiRecords) {
    if (fontName != record.name) continue;
    auto info = std::make_unique<TrueTypeInfo>();
    info->fullName = record.name;
    info->charSet = kCharsetShiftJIS;
    info->boxLeft = record.left;
    info->boxTop = record.top;
    info->boxRight = record.right;
    info->boxBottom = record.bottom;
    info->macAscent = record.ascent;
    info->macDescent = record.descent;
    info->panose = record.panose;
    return info;
  }
  return nullptr;
}

std::unique_ptr<CPDFFontDesc> CreateTrueTypeDescriptor(CPDFObjHolder* doc, const TrueTypeInfo& info,
                                                       const std::string& fontName, int32_t flags,
                                                       const char* module, const char* operation) {
  auto desc = std::make_unique<CPDFFontDesc>();
  const std::array<float, 4> box{
      static_cast<float>(info.boxLeft), static_cast<float>(info.boxBottom),
      static_cast<float>(info.boxRight), static_cast<float>(info.boxTop)};
  if (!desc->Create(doc, info.macAscent, 0, info.macDescent, flags, box, fontName, info.italicAngle,
                    0)) {
    Throw(module, operation, kInternalError, "CPDFFontDesc::Create()");
  }
  std::string panose(info.panose.begin(), info.panose.end());
  panose.append(2, '\0');
  auto style = std::make_unique<CPDFDict>();
  style->Insert("Panose", std::make_unique<CPDFString>(panose));
  if (!desc->Set_Style(std::move(style)))
    Throw(module, operation, kInternalError, "CPDFFontDesc::Set_Style()");
  return desc;
}

// ---- recognition and binding ---------------------------------------------------------------

bool IsTrueTypeFont(CPDFObjHolder* doc, CPDFObject* value) {
  return IsFont(doc, value) && static_cast<CPDFDict*>(value)->HasName(doc, "Subtype", "TrueType");
}

bool CPDFTrueTypeFont::Realize(CPDFObjHolder* doc, CPDFObject& source) {
  return CPDFFont::Realize(doc, source) &&
         BindEntry<CPDFFontDesc>(doc, *this, "FontDescriptor", IsFontDesc);
}

std::unique_ptr<CPDFFont> CPDFTrueTypeFont::Duplicate(CPDFObjHolder* target) const {
  return CPDFFont::Duplicate(target);
}

// ---- shared steps --------------------------------------------------------------------------

std::string CPDFTrueTypeFont::RequiredBaseFont(const char* operation) const {
  const CPDFName* baseFont = Get_BaseFont();
  Require(baseFont != nullptr, operation, "CPDFTrueTypeFont::Get_BaseFont()");
  return baseFont->Str();
}

int32_t CPDFTrueTypeFont::RequiredNumber(const char* operation, const char* key) const {
  CPDFNumber* number = GetNumber(Doc(), key);
  if (!number) Throw(kModule, operation, kInternalError, Format("CPDFTrueTypeFont::Get_%s()", key));
  return number->IntValue();
}

const TrueTypeInfo& CPDFTrueTypeFont::RequiredInfo(const char* operation,
                                                   const std::string& baseFont) const {
  FontCaches* caches = Caches();
  const TrueTypeInfo* info = caches ? caches->FindTrueTypeInfo(baseFont) : nullptr;
  if (!info)
    Throw(kModule, operation, kUserError, Format("undefined TrueType font: %s", baseFont.c_str()));
  return *info;
}

// ---- creation ------------------------------------------------------------------------------

std::unique_ptr<CPDFTrueTypeFont> CPDFTrueTypeFont::CreateFont(CPDFObjHolder* doc,
                                                               const std::string& fontName,
                                                               const std::string& encodingName) {
  static constexpr const char* kOp = "CreateFont";
  std::vector<CPDFObjRef> registered;
  try {
    FontCaches* caches = FontCachesOf(doc);
    const TrueTypeInfo* info = caches ? caches->FindTrueTypeInfo(fontName) : nullptr;
    if (!info)
      Throw(kModule, kOp, kUserError, Format("TrueType info not found: %s", fontName.c_str()));
    std::string encoding = encodingName;
    switch (info->charSet) {
      case kCharsetAnsi:
        if (encoding.empty()) encoding = "WinAnsiEncoding";
        break;
      case kCharsetMac:
        if (encoding.empty()) encoding = "MacRomanEncoding";
        break;
      case kCharsetSymbol:
        Throw(kModule, kOp, kUserError, Format("invalid TrueType encoding: %s", fontName.c_str()));
      default:
        Throw(kModule, kOp, kUserError, Format("unknown TrueType encoding: %s", fontName.c_str()));
    }
    std::unique_ptr<CPDFFontDesc> desc = CreateTrueTypeDescriptor(
        doc, *info, fontName, TrueTypeFlags(info->pitchAndFamily), kModule, kOp);

    auto font = std::make_unique<CPDFTrueTypeFont>();
    Require(font->CPDFFont::Create(doc, fontName) &&
                font->Set_Subtype(std::make_unique<CPDFName>("TrueType")) &&
                font->Set_FirstChar(std::make_unique<CPDFInt>(info->firstChar)) &&
                font->Set_LastChar(std::make_unique<CPDFInt>(info->lastChar)),
            kOp, "CPDFTrueTypeFont::Create()");
    CPDFObjRef ref;
    const bool widthsSet = font->Set_Widths(std::make_unique<CPDFArray>(), true, &ref);
    if (ref.IsDefined()) registered.push_back(ref);
    Require(widthsSet, kOp, "CPDFTrueTypeFont::Set_Widths()");
    ref.Reset();
    const bool descSet = font->Set_FontDescriptor(std::move(desc), true, &ref);
    if (ref.IsDefined()) registered.push_back(ref);
    Require(descSet, kOp, "CPDFTrueTypeFont::Set_FontDescriptor()");
    Require(font->Set_Encoding(std::make_unique<CPDFName>(encoding)), kOp,
            "CPDFTrueTypeFont::Set_Encoding()");
    if (font->CreateWidths()) return font;
  } catch (...) {
    if (doc) KeepCurrentError(doc->LastError(), kModule, kOp);
  }
  if (doc) {
    for (const CPDFObjRef& made : registered) doc->DeleteObj(made);
  }
  return nullptr;
}

bool CPDFTrueTypeFont::CreateWidths() {
  static constexpr const char* kOp = "CreateWidths";
  try {
    const std::string baseFont = RequiredBaseFont(kOp);
    CPDFObjRef widthsRef;
    CPDFArray* widths = Get_Widths(&widthsRef);
    int32_t first = 0;
    int32_t last = 255;
    if (widths) {
      first = RequiredNumber(kOp, "FirstChar");
      last = RequiredNumber(kOp, "LastChar");
    }
    const TrueTypeInfo& info = RequiredInfo(kOp, baseFont);
    // Codes are single bytes: a range beyond them would only size a huge array of zeros.
    if (first < 0 || last > 255)
      Throw(kModule, kOp, kInvalidFormat, Format("rangecheck: %d %d", first, last));
    if (!widths) {
      Require(Set_Widths(std::make_unique<CPDFArray>(), true, &widthsRef), kOp,
              "CPDFTrueTypeFont::Set_Widths()");
      widths = Get_Widths();
      Require(widths != nullptr, kOp, "CPDFTrueTypeFont::Get_Widths()");
    } else if (widthsRef.IsDefined()) {
      Require(Doc() && Doc()->UpdateObj(widthsRef), kOp, "CPDFDoc::UpdateObj()");
    }
    widths->ClearItems();
    for (int32_t code = first; code <= last; ++code) {
      widths->Push_Back(
          std::make_unique<CPDFInt>(info.WidthOf(static_cast<uint8_t>(code)).value_or(0)));
    }
    return true;
  } catch (...) {
    if (Doc()) KeepCurrentError(Doc()->LastError(), kModule, kOp);
  }
  return false;
}

int32_t CPDFTrueTypeFont::CalcStringWidth(const char* bytes, size_t length) {
  static constexpr const char* kOp = "CalcStringWidth";
  if (!bytes) length = 0;
  try {
    const std::string baseFont = RequiredBaseFont(kOp);
    int64_t total = 0;
    if (CPDFArray* widths = Get_Widths()) {
      const int32_t first = RequiredNumber(kOp, "FirstChar");
      const int32_t last = RequiredNumber(kOp, "LastChar");
      for (size_t i = 0; i < length; ++i) {
        const int32_t code = static_cast<uint8_t>(bytes[i]);
        if (code < first || code > last) continue;
        CPDFNumber* width = widths->GetNumber(Doc(), code - first);
        if (!width) ThrowCode(kModule, kOp, kInternalError);
        total += width->IntValue();
      }
      return ClampWidth(total);
    }
    const TrueTypeInfo& info = RequiredInfo(kOp, baseFont);
    for (size_t i = 0; i < length; ++i) {
      total += info.WidthOf(static_cast<uint8_t>(bytes[i])).value_or(0);
    }
    return ClampWidth(total);
  } catch (...) {
    if (Doc()) KeepCurrentError(Doc()->LastError(), kModule, kOp);
  }
  return -1;
}

}  // namespace quarn
