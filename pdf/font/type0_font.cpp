#include "pdf/font/type0_font.h"

#include <climits>

#include "pdf/document/doc.h"
#include "pdf/document/lib_base.h"
#include "pdf/font/font_caches.h"

namespace quarn {

namespace {

constexpr const char* kModule = "CPDFType0Font";

int Narrow(size_t n) { return n > size_t(INT_MAX) ? INT_MAX : static_cast<int>(n); }

// Runs one conversion: the document's record is cleared first, a failure is kept there and
// gives -1.
template <class Body>
int Convert(CPDFType0Font& font, const char* operation, Body body) {
  CPDFObjHolder* doc = font.Doc();
  if (doc) doc->ClearError();
  try {
    return body();
  } catch (const CPDFException& e) {
    if (doc) doc->LastError().Keep(e);
  } catch (...) {
    if (doc) doc->LastError().Keep(CPDFException(kModule, operation, kInternalError, ""));
  }
  return -1;
}

// The library lock entered and left at once, as every conversion does before it maps.
void TouchLock(CPDFObjHolder* doc) {
  if (CPDFLibBase* lib = LibOf(doc)) {
    std::lock_guard<std::recursive_mutex> guard(lib->Lock());
  }
}

std::string UTF16BE(std::u16string_view text) {
  std::string bytes;
  for (char16_t unit : text) {
    if (unit == 0) break;
    bytes.push_back(static_cast<char>(unit >> 8));
    bytes.push_back(static_cast<char>(unit & 0xFF));
  }
  return bytes;
}

}  // namespace

bool IsType0Font(CPDFObjHolder* doc, CPDFObject* value) {
  if (!IsFont(doc, value)) return false;
  auto* dict = static_cast<CPDFDict*>(value);
  CPDFObject* encoding = dict->GetValue(doc, "Encoding");
  return dict->HasName(doc, "Subtype", "Type0") && dict->GetArray(doc, "DescendantFonts") &&
         encoding && encoding->IsType(kTypeName | kTypeStream);
}

bool CPDFType0Font::Realize(CPDFObjHolder* doc, CPDFObject& source) {
  BindDoc(doc);
  SwapContent(source);
  CPDFArray* descendants = Get_DescendantFonts();
  if (!descendants) return false;
  for (size_t i = 0; i < descendants->Count(); ++i) {
    if (!LoadCIDFont(doc, *descendants, i, kCIDFontAllKinds)) return false;
  }
  return BindEntry<CPDFCMap>(doc, *this, "Encoding", IsCMap);
}

CPDFCIDFont* CPDFType0Font::Descendant() const {
  const CPDFArray* descendants = Get_DescendantFonts();
  if (!descendants || descendants->Count() == 0) return nullptr;
  return dynamic_cast<CPDFCIDFont*>(descendants->GetObj(Doc(), 0));
}

bool CPDFType0Font::CreateWidths() {
  static constexpr const char* kOp = "CreateWidths";
  try {
    CPDFArray* descendants = Get_DescendantFonts();
    if (!descendants) Throw(kModule, kOp, kInternalError, "CPDFType0Font::Get_DescendantFonts()");
    for (int i = 0; i < static_cast<int>(descendants->Count()); ++i) {
      CPDFObjRef ref;
      auto* cid = dynamic_cast<CPDFCIDFont*>(descendants->GetObj(Doc(), i, &ref));
      if (ref.IsDefined() && Doc()) Doc()->UpdateObj(ref);
      if (!cid || !cid->CreateWidths()) {
        Throw(kModule, kOp, kInternalError, "CPDFCIDFont::UpdateCharWidth()");
      }
    }
    return true;
  } catch (const CPDFException& e) {
    Report(e);
  }
  return false;
}

CPDFFontDesc* CPDFType0Font::GetFontDescriptor() {
  CPDFCIDFont* descendant = Descendant();
  return descendant ? descendant->GetFontDescriptor() : nullptr;
}

const CMapFile& CPDFType0Font::NamedCMap(const char* operation, const std::string& name) {
  FontCaches* caches = Caches();
  const CMapFile* cmap = caches ? caches->FindCMap(name) : nullptr;
  if (!cmap) Throw(kModule, operation, kUserError, Format("undefined CMap: %s", name.c_str()));
  return *cmap;
}

const CMapFile& CPDFType0Font::EncodingCMap(const char* operation,
                                            std::unique_ptr<CMapFile>& parsed) {
  CPDFObject* encoding = Get_Encoding();
  if (!encoding) Throw(kModule, operation, kInternalError, "CPDFType0Font::Get_Encoding()");
  if (CPDFName* name = AsName(encoding)) return NamedCMap(operation, name->Str());
  if (encoding->TypeCode() == kTypeStream) {
    parsed = ParseCMapStream(Doc(), *static_cast<CPDFStream*>(encoding), false, kModule,
                             operation);
    return *parsed;
  }
  Throw(kModule, operation, kInvalidFormat, Format("typecheck: %s", encoding->TypeName()));
}

bool CPDFType0Font::IsIdentityEncoding() const {
  const CPDFName* name = AsName(Get_Encoding());
  return name && (name->Str() == "Identity-H" || name->Str() == "Identity-V");
}

int32_t CPDFType0Font::CalcStringWidth(const char* bytes, size_t length) {
  static constexpr const char* kOp = "CalcStringWidth";
  CPDFCIDFont* descendant = Descendant();
  if (!descendant) return -1;
  try {
    std::unique_ptr<CMapFile> parsed;
    const CMapFile& cmap = EncodingCMap(kOp, parsed);
    std::string cids;
    cids.reserve(2 * length);
    cmap.MapCodesToCIDs(cids, std::string_view(bytes ? bytes : "", bytes ? length : 0));
    return descendant->CalcStringWidth(cids.data(), cids.size());
  } catch (const CPDFException& e) {
    Report(e);
  } catch (...) {
    Report(CPDFException(kModule, kOp, kInternalError, ""));
  }
  return -1;
}

// ---- conversions ---------------------------------------------------------------------------

const CMapFile& CPDFType0Font::UnicodeCMap(const char* operation, const CMapFile& encoding) {
  return NamedCMap(operation, encoding.IsVertical() ? "UniJIS-UCS2-V" : "UniJIS-UCS2-H");
}

const CMapFile& CPDFType0Font::HostCMap(const char* operation, const CMapFile& encoding) {
  const CPDFLibBase* lib = LibOf(Doc());
  const std::string base = lib ? lib->HostCMapName() : "90ms-RKSJ";
  return NamedCMap(operation, base + (encoding.IsVertical() ? "-V" : "-H"));
}

int CPDFType0Font::ToUnicode(std::u16string& out, const char* bytes, size_t length) {
  if (Get_ToUnicode()) return CPDFFont::ToUnicode(out, bytes, length);
  static constexpr const char* kOp = "ToUnicode";
  return Convert(*this, kOp, [&]() -> int {
    out.clear();
    std::unique_ptr<CMapFile> parsed;
    const CMapFile& encoding = EncodingCMap(kOp, parsed);
    const CMapFile& unicode = UnicodeCMap(kOp, encoding);
    TouchLock(Doc());
    std::string cids;
    encoding.MapCodesToCIDs(cids, std::string_view(bytes ? bytes : "", bytes ? length : 0));
    FoldToProportional(cids);
    std::string units;
    unicode.MapCIDsToCodes(units, cids);
    for (size_t i = 0; i + 1 < units.size(); i += 2) {
      out.push_back(static_cast<char16_t>(static_cast<uint8_t>(units[i]) << 8 |
                                          static_cast<uint8_t>(units[i + 1])));
    }
    return Narrow(out.size());
  });
}

int CPDFType0Font::ToHostEncoding(std::string& out, const char* bytes, size_t length) {
  if (Get_ToUnicode()) return CPDFFont::ToHostEncoding(out, bytes, length);
  static constexpr const char* kOp = "ToHostEncoding";
  return Convert(*this, kOp, [&]() -> int {
    out.clear();
    std::unique_ptr<CMapFile> parsed;
    const CMapFile& encoding = EncodingCMap(kOp, parsed);
    const CMapFile& host = HostCMap(kOp, encoding);
    TouchLock(Doc());
    const std::string_view input(bytes ? bytes : "", bytes ? length : 0);
    std::string cids;
    if (IsIdentityEncoding()) {
      cids.assign(input);
    } else {
      encoding.MapCodesToCIDs(cids, input);
    }
    FoldToHalfWidth(cids);
    host.MapCIDsToCodes(out, cids);
    return Narrow(out.size());
  });
}

int CPDFType0Font::FromUnicode(std::string& out, std::u16string_view text) {
  if (Get_ToUnicode()) return CPDFFont::FromUnicode(out, text);
  static constexpr const char* kOp = "FromUnicode";
  return Convert(*this, kOp, [&]() -> int {
    out.clear();
    std::unique_ptr<CMapFile> parsed;
    const CMapFile& encoding = EncodingCMap(kOp, parsed);
    const CMapFile& unicode = UnicodeCMap(kOp, encoding);
    TouchLock(Doc());
    std::string cids;
    unicode.MapCodesToCIDs(cids, UTF16BE(text));
    encoding.MapCIDsToCodes(out, cids);
    return Narrow(out.size());
  });
}

int CPDFType0Font::FromHostEncoding(std::string& out, std::string_view text) {
  if (Get_ToUnicode()) return CPDFFont::FromHostEncoding(out, text);
  static constexpr const char* kOp = "FromHostEncoding";
  return Convert(*this, kOp, [&]() -> int {
    out.clear();
    std::unique_ptr<CMapFile> parsed;
    const CMapFile& encoding = EncodingCMap(kOp, parsed);
    const CMapFile& host = HostCMap(kOp, encoding);
    TouchLock(Doc());
    const size_t end = text.find('\0');
    std::string cids;
    host.MapCodesToCIDs(cids, text.substr(0, end));
    if (IsIdentityEncoding()) {
      out = std::move(cids);
    } else {
      encoding.MapCIDsToCodes(out, cids);
    }
    return Narrow(out.size());
  });
}

}  // namespace quarn
