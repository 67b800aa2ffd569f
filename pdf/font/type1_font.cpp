#include "pdf/font/type1_font.h"

#include <limits>
#include <vector>

#include "pdf/document/doc.h"
#include "pdf/font/afm_file.h"
#include "pdf/font/encoding.h"
#include "pdf/font/font_caches.h"
#include "pdf/font/metrics.h"

namespace quarn {

namespace {

constexpr const char* kModule = "CPDFType1Font";

// A sub-step that failed: code 5 naming it.
void Require(bool ok, const char* operation, const char* step) {
  if (!ok) Throw(kModule, operation, kInternalError, step);
}

int32_t ClampWidth(int64_t total) {
  if (total > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
  if (total < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(total);
}

// Indirect objects registered while a font is being made; deleted again unless the font is
// finished, so that a failed creation leaves nothing behind in the document.
class RegisteredObjects {
 public:
  explicit RegisteredObjects(CPDFObjHolder* doc) : m_doc(doc) {}
  ~RegisteredObjects() {
    if (!m_doc) return;
    for (const CPDFObjRef& ref : m_refs) m_doc->DeleteObj(ref);
  }
  RegisteredObjects(const RegisteredObjects&) = delete;
  RegisteredObjects& operator=(const RegisteredObjects&) = delete;

  void Add(const CPDFObjRef& ref) {
    if (ref.IsDefined()) m_refs.push_back(ref);
  }
  void Keep() { m_refs.clear(); }

 private:
  CPDFObjHolder* m_doc;
  std::vector<CPDFObjRef> m_refs;
};

// The encodings used to name the codes of a font measured without Widths.
struct MeasuringEncoding {
  const EncodingTable* base = nullptr;
  const EncodingTable* differences = nullptr;
  std::unique_ptr<CPDFEncoding> view;
};

}  // namespace

// ---- recognition and binding ---------------------------------------------------------------

bool IsType1Font(CPDFObjHolder* doc, CPDFObject* value) {
  if (!IsFont(doc, value)) return false;
  const auto& dict = *static_cast<CPDFDict*>(value);
  if (!dict.HasName(doc, "Subtype", "Type1")) return false;
  if (IsStandard14FontName(dict.GetName(doc, "BaseFont")->View())) return true;
  CPDFObject* first = dict.GetValue(doc, "FirstChar");
  CPDFObject* last = dict.GetValue(doc, "LastChar");
  return first && first->TypeCode() == kTypeNumber && last && last->TypeCode() == kTypeNumber &&
         dict.GetArray(doc, "Widths") && dict.GetDict(doc, "FontDescriptor");
}

bool CPDFType1Font::Create(CPDFObjHolder* doc, const std::string& fontName) {
  return CPDFFont::Create(doc, fontName) && Set_Subtype(std::make_unique<CPDFName>("Type1"));
}

bool CPDFType1Font::Realize(CPDFObjHolder* doc, CPDFObject& source) {
  return CPDFFont::Realize(doc, source) &&
         BindEntry<CPDFFontDesc>(doc, *this, "FontDescriptor", IsFontDesc);
}

std::unique_ptr<CPDFFont> CPDFType1Font::Duplicate(CPDFObjHolder* target) const {
  return CPDFFont::Duplicate(target);
}

// ---- shared steps --------------------------------------------------------------------------

std::string CPDFType1Font::RequiredBaseFont(const char* operation) const {
  const CPDFName* baseFont = Get_BaseFont();
  Require(baseFont != nullptr, operation, "CPDFType1Font::Get_BaseFont()");
  return baseFont->Str();
}

int32_t CPDFType1Font::RequiredNumber(const char* operation, const char* key) const {
  CPDFNumber* number = GetNumber(Doc(), key);
  if (!number) {
    Throw(kModule, operation, kInternalError, Format("CPDFType1Font::Get_%s()", key));
  }
  return number->IntValue();
}

// Metrics by BaseFont that describe a simple font with the standard encoding scheme.
const AFMFile& CPDFType1Font::SimpleFontMetrics(const char* operation,
                                                const std::string& baseFont) const {
  FontCaches* caches = Caches();
  const AFMFile* metrics = caches ? caches->FindMetrics(baseFont) : nullptr;
  if (!metrics)
    Throw(kModule, operation, kUserError, Format("undefined AFM: %s", baseFont.c_str()));
  if (metrics->IsCIDFont() || metrics->Header().encodingScheme != "AdobeStandardEncoding") {
    Throw(kModule, operation, kUserError, Format("invalid AFM: %s", baseFont.c_str()));
  }
  return *metrics;
}

int32_t CPDFType1Font::MissingWidth() const {
  CPDFDict* descriptor = GetDict(Doc(), "FontDescriptor");
  CPDFNumber* missing = descriptor ? descriptor->GetNumber(Doc(), "MissingWidth") : nullptr;
  return missing ? missing->IntValue() : 0;
}

namespace {

const EncodingTable& FindNamedEncoding(FontCaches* caches, const char* operation,
                                       const std::string& name) {
  const EncodingTable* table = caches ? caches->FindEncoding(name) : nullptr;
  if (!table) {
    Throw(kModule, operation, kUserError, Format("undefined Font Encoding: %s", name.c_str()));
  }
  return *table;
}

// A name Encoding, or StandardEncoding without one; any other value is a type error.
const EncodingTable& NameEncoding(CPDFObject* entry, FontCaches* caches, const char* operation) {
  if (!entry) return FindNamedEncoding(caches, operation, "StandardEncoding");
  if (entry->TypeCode() != kTypeName) {
    Throw(kModule, operation, kInvalidFormat, Format("typecheck: %s", entry->TypeName()));
  }
  return FindNamedEncoding(caches, operation, static_cast<CPDFName*>(entry)->Str());
}

MeasuringEncoding EncodingForMeasuring(CPDFObjHolder* doc, CPDFObject* entry, FontCaches* caches,
                                       const char* operation) {
  MeasuringEncoding result;
  if (!entry || entry->TypeCode() != kTypeDict) {
    result.base = &NameEncoding(entry, caches, operation);
    return result;
  }
  auto* encoding = dynamic_cast<CPDFEncoding*>(entry);
  if (!encoding) {
    result.view = CPDFEncoding::FromDict(doc, *static_cast<CPDFDict*>(entry));
    if (!result.view) Throw(kModule, operation, kInvalidFormat, "invalid Font Encoding");
    encoding = result.view.get();
  }
  result.base = &FindNamedEncoding(caches, operation, encoding->Get_BaseEncoding());
  if (encoding->Lookup("Differences")) {
    result.differences = encoding->GetDifferences();
    if (!result.differences) Throw(kModule, operation, kInvalidFormat, "invalid Font Encoding");
  }
  return result;
}

// The glyph name of a code: the differences name it when they have it, the base encoding
// otherwise (Differences only change the codes they list).
bool GlyphNameOf(const MeasuringEncoding& enc, uint8_t code, std::string& name) {
  if (enc.differences && enc.differences->HasCode(code)) {
    return enc.differences->CodeToName(code, name);
  }
  return enc.base->CodeToName(code, name);
}

}  // namespace

// ---- creation ------------------------------------------------------------------------------

std::unique_ptr<CPDFType1Font> CPDFType1Font::CreateFont(CPDFObjHolder* doc, const std::string& fontName,
                                                         const std::string& encodingName) {
  static constexpr const char* kOp = "CreateFont";
  try {
    auto font = std::make_unique<CPDFType1Font>();
    auto setEncoding = [&] {
      return encodingName.empty() || font->Set_Encoding(std::make_unique<CPDFName>(encodingName));
    };
    if (IsStandard14FontName(fontName)) {
      Require(font->Create(doc, fontName), kOp, "CPDFType1Font::Create()");
      Require(setEncoding(), kOp, "CPDFType1Font::Set_Encoding()");
      return font;
    }

    font->BindDoc(doc);
    FontCaches* caches = font->Caches();
    const AFMFile* metrics = caches ? caches->FindMetrics(fontName) : nullptr;
    if (!metrics)
      Throw(kModule, kOp, kUserError, Format("AFM file not found: %s", fontName.c_str()));
    if (metrics->IsCIDFont()) {
      Throw(kModule, kOp, kUserError, Format("invalid AFM file: %s", fontName.c_str()));
    }

    RegisteredObjects registered(doc);
    CPDFObjRef widthsRef;
    Require(font->Create(doc, fontName), kOp, "CPDFType1Font::Create()");
    Require(font->Set_FirstChar(std::make_unique<CPDFInt>(0)), kOp,
            "CPDFType1Font::Set_FirstChar()");
    Require(font->Set_LastChar(std::make_unique<CPDFInt>(255)), kOp,
            "CPDFType1Font::Set_LastChar()");
    const bool widthsSet = font->Set_Widths(std::make_unique<CPDFArray>(), true, &widthsRef);
    registered.Add(widthsRef);
    Require(widthsSet, kOp, "CPDFType1Font::Set_Widths()");
    Require(setEncoding(), kOp, "CPDFType1Font::Set_Encoding()");
    if (!font->CreateWidths()) return nullptr;  // already reported

    std::unique_ptr<CPDFFontDesc> desc =
        CreateFontDescFromMetrics(doc, fontName, *metrics, Type1DescriptorFlags(*metrics));
    Require(desc != nullptr, kOp, "CPDFFontDesc::Create()");
    CPDFObjRef descRef;
    const bool descSet = font->Set_FontDescriptor(std::move(desc), true, &descRef);
    registered.Add(descRef);
    Require(descSet, kOp, "CPDFType1Font::Set_FontDescriptor()");
    registered.Keep();
    return font;
  } catch (...) {
    if (doc) KeepCurrentError(doc->LastError(), kModule, kOp);
  }
  return nullptr;
}

bool CPDFType1Font::CreateWidths() {
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
    const AFMFile& metrics = SimpleFontMetrics(kOp, baseFont);
    const EncodingTable& encoding = NameEncoding(Get_Encoding(), Caches(), kOp);
    // Codes are single bytes: a range beyond them would only size a huge array of zeros.
    if (first < 0 || last > 255) {
      Throw(kModule, kOp, kInvalidFormat, Format("rangecheck: %d %d", first, last));
    }

    if (!widths) {
      Require(Set_Widths(std::make_unique<CPDFArray>(), true, &widthsRef), kOp,
              "CPDFType1Font::Set_Widths()");
      widths = Get_Widths();
      Require(widths != nullptr, kOp, "CPDFType1Font::Get_Widths()");
    } else if (widthsRef.IsDefined()) {
      Require(Doc() && Doc()->UpdateObj(widthsRef), kOp, "CPDFDoc::UpdateObj()");
    }
    widths->ClearItems();
    std::string name;
    for (int32_t code = first; code <= last; ++code) {
      const AFMCharMetric* glyph = nullptr;
      if (encoding.CodeToName(static_cast<uint8_t>(code), name)) glyph = metrics.FindGlyph(name);
      widths->Push_Back(std::make_unique<CPDFInt>(glyph ? glyph->wx : 0));
    }
    return true;
  } catch (...) {
    if (Doc()) KeepCurrentError(Doc()->LastError(), kModule, kOp);
  }
  return false;
}

// ---- measuring -----------------------------------------------------------------------------

CPDFFontDesc* CPDFType1Font::GetFontDescriptor() {
  CPDFName* baseFont = Get_BaseFont();
  if (baseFont && IsStandard14FontName(baseFont->View())) {
    FontCaches* caches = Caches();
    return caches ? caches->FindFontDesc(baseFont->Str()) : nullptr;
  }
  return Get_FontDescriptor();
}

int32_t CPDFType1Font::CalcStringWidth(const char* bytes, size_t length) {
  static constexpr const char* kOp = "CalcStringWidth";
  CPDFName* baseFont = Get_BaseFont();
  if (!baseFont) return -1;
  if (!bytes) length = 0;
  try {
    const int32_t missingWidth = MissingWidth();
    int64_t total = 0;
    if (CPDFArray* widths = Get_Widths()) {
      const int32_t first = RequiredNumber(kOp, "FirstChar");
      const int32_t last = RequiredNumber(kOp, "LastChar");
      for (size_t i = 0; i < length; ++i) {
        const int32_t code = static_cast<uint8_t>(bytes[i]);
        if (code < first || code > last) {
          total += missingWidth;
          continue;
        }
        CPDFNumber* width = widths->GetNumber(Doc(), code - first);
        if (!width) ThrowCode(kModule, kOp, kInternalError);
        total += width->IntValue();
      }
      return ClampWidth(total);
    }

    // A standard 14 font: widths from the built-in metrics through the font's encoding.
    const AFMFile& metrics = SimpleFontMetrics(kOp, baseFont->Str());
    const MeasuringEncoding encoding = EncodingForMeasuring(Doc(), Get_Encoding(), Caches(), kOp);
    std::string name;
    for (size_t i = 0; i < length; ++i) {
      if (!GlyphNameOf(encoding, static_cast<uint8_t>(bytes[i]), name)) continue;
      if (const AFMCharMetric* glyph = metrics.FindGlyph(name)) total += glyph->wx;
    }
    return ClampWidth(total);
  } catch (...) {
    if (Doc()) KeepCurrentError(Doc()->LastError(), kModule, kOp);
  }
  return -1;
}

}  // namespace quarn
