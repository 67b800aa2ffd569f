#include "pdf/font/font.h"

#include <climits>
#include <cwchar>
#include <mutex>

#include "pdf/document/doc.h"
#include "pdf/document/lib_base.h"
#include "pdf/font/encoding.h"
#include "pdf/font/font_caches.h"

namespace quarn {

namespace {

constexpr const char* kModule = "CPDFFont";

// ---- the host's multibyte encoding (the current locale) ------------------------------------

void AppendUTF16(std::u16string& out, wchar_t c) {
  const auto cp = static_cast<uint32_t>(c);
  if (cp > 0xFFFF) {
    const uint32_t v = cp - 0x10000;
    out.push_back(static_cast<char16_t>(0xD800 + (v >> 10)));
    out.push_back(static_cast<char16_t>(0xDC00 + (v & 0x3FF)));
  } else {
    out.push_back(static_cast<char16_t>(cp));
  }
}

// Host bytes to UTF-16 through the locale's multibyte conversion.
void HostToUTF16(const char* operation, std::string_view bytes, std::u16string& out) {
  std::mbstate_t state{};
  size_t i = 0;
  while (i < bytes.size()) {
    wchar_t wc = 0;
    const size_t n = std::mbrtowc(&wc, bytes.data() + i, bytes.size() - i, &state);
    if (n == static_cast<size_t>(-1) || n == static_cast<size_t>(-2)) {
      ThrowCode(kModule, operation, kInternalError);
    }
    AppendUTF16(out, wc);
    i += n == 0 ? 1 : n;  // a zero byte converts to a zero character
  }
}

// UTF-16 (up to its first zero unit) to host bytes through the locale's wide conversion.
void UTF16ToHost(const char* operation, std::u16string_view text, std::string& out) {
  std::mbstate_t state{};
  char buffer[MB_LEN_MAX];
  for (size_t i = 0; i < text.size() && text[i] != 0; ++i) {
    uint32_t cp = text[i];
    if (cp >= 0xD800 && cp < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] < 0xE000) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    }
    const size_t n = std::wcrtomb(buffer, static_cast<wchar_t>(cp), &state);
    if (n == static_cast<size_t>(-1)) ThrowCode(kModule, operation, kInternalError);
    out.append(buffer, n);
  }
}

std::string_view UpToZero(std::string_view s) {
  const size_t end = s.find('\0');
  return end == std::string_view::npos ? s : s.substr(0, end);
}

// ---- the font's encoding -------------------------------------------------------------------

// What the Encoding entry says for the conversions: nothing to re-code (no entry, a name, or a
// dictionary without Differences), or a base table and a differences table.
struct ConversionEncoding {
  const EncodingTable* base = nullptr;
  const EncodingTable* differences = nullptr;
  std::unique_ptr<CPDFEncoding> view;  // owns the bound copy of a plain dictionary

  bool HasDifferences() const { return differences != nullptr; }
};

ConversionEncoding ReadEncoding(CPDFFont& font, FontCaches* caches, const char* operation) {
  ConversionEncoding result;
  CPDFObject* entry = font.Get_Encoding();
  if (!entry || entry->TypeCode() == kTypeName) return result;
  if (entry->TypeCode() != kTypeDict) {
    Throw(kModule, operation, kInvalidFormat, Format("typecheck: %s", entry->TypeName()));
  }
  auto* encoding = dynamic_cast<CPDFEncoding*>(entry);
  if (!encoding) {
    result.view = CPDFEncoding::FromDict(font.Doc(), *static_cast<CPDFDict*>(entry));
    if (!result.view) Throw(kModule, operation, kInvalidFormat, "invalid Font Encoding");
    encoding = result.view.get();
  }
  const std::string baseName = encoding->Get_BaseEncoding();
  result.base = caches ? caches->FindEncoding(baseName) : nullptr;
  if (!result.base) {
    Throw(kModule, operation, kUserError, Format("undefined Font Encoding: %s", baseName.c_str()));
  }
  if (encoding->Lookup("Differences")) {
    result.differences = encoding->GetDifferences();
    if (!result.differences) Throw(kModule, operation, kInvalidFormat, "invalid Font Encoding");
  }
  return result;
}

// Font codes re-coded to the base encoding: a code that the differences name takes the base
// encoding's code for that name (dropped when the base has no such glyph); other codes stay.
std::string DifferencesToBase(const ConversionEncoding& enc, std::string_view bytes) {
  std::string out;
  std::string name;
  for (char byte : bytes) {
    const auto code = static_cast<uint8_t>(byte);
    if (!enc.differences->CodeToName(code, name)) {
      out.push_back(byte);
      continue;
    }
    uint8_t baseCode = 0;
    if (enc.base->NameToCode(name, baseCode)) out.push_back(static_cast<char>(baseCode));
  }
  return out;
}

// Host bytes re-coded to font codes: the base encoding names each byte, the differences give
// the code of that name (the byte stays when they have none); a byte the base cannot name is
// dropped.
std::string BaseToDifferences(const ConversionEncoding& enc, std::string_view bytes) {
  std::string out;
  std::string name;
  for (char byte : bytes) {
    if (!enc.base->CodeToName(static_cast<uint8_t>(byte), name)) continue;
    uint8_t code = 0;
    out.push_back(enc.differences->NameToCode(name, code) ? static_cast<char>(code) : byte);
  }
  return out;
}

// The ToUnicode stream decoded and read as a CMap. Reading CMaps arrives with the CMap module;
// until then a ToUnicode stream, once its filters are decoded, is reported as unreadable.
void ReadToUnicodeCMap(CPDFFont& font, CPDFStream& stream, const char* operation) {
  auto copy = std::make_unique<CPDFStream>(font.Doc());
  if (!copy->CopyFrom(stream, font.Doc())) {
    Throw(kModule, operation, kInternalError, "CPDFStream::Duplicate()");
  }
  CPDFErrorRecord filterError;
  if (!copy->DecodeAllFilter(filterError)) throw filterError;
  Throw(kModule, operation, kInternalError, "invalid ToUnicode stream");
}

int Narrow(size_t n) { return n > size_t(INT32_MAX) ? INT32_MAX : static_cast<int>(n); }

}  // namespace

// ---- CPDFFont ------------------------------------------------------------------------------

bool IsFont(CPDFObjHolder* doc, CPDFObject* value) {
  CPDFDict* dict = AsDict(value);
  return dict && dict->HasName(doc, "Type", "Font") && dict->GetName(doc, "BaseFont");
}

bool CPDFFont::Create(CPDFObjHolder* doc, const std::string& fontName) {
  BindDoc(doc);
  return SetValue(doc, "Type", std::make_unique<CPDFName>(ClassName().View())) &&
         Set_BaseFont(std::make_unique<CPDFName>(fontName));
}

bool CPDFFont::Realize(CPDFObjHolder* doc, CPDFObject& source) {
  BindDoc(doc);
  SwapContent(source);
  return BindEntry<CPDFEncoding>(doc, *this, "Encoding", IsEncoding);
}

std::unique_ptr<CPDFFont> CPDFFont::Duplicate(CPDFObjHolder* target) const {
  std::unique_ptr<CPDFObject> copy = CPDFObject::Duplicate(target, Doc());
  auto* font = dynamic_cast<CPDFFont*>(copy.get());
  if (!font) return nullptr;
  copy.release();
  return std::unique_ptr<CPDFFont>(font);
}

int32_t CPDFFont::CalcStringWidth(const char*, size_t) { return 0; }

FontCaches* CPDFFont::Caches() const {
  return FontCachesOf(Doc());
}

void CPDFFont::Report(const CPDFException& e) const {
  if (Doc()) Doc()->LastError().Keep(e);
}

namespace {

// Runs one conversion: the document's record is cleared first; a library exception goes to the
// record unchanged, any other failure as (CPDFFont, operation, 5); failures give -1.
template <class Body>
int RunConversion(CPDFFont& font, const char* operation, Body body) {
  if (CPDFObjHolder* doc = font.Doc()) doc->ClearError();
  try {
    return body();
  } catch (...) {
    if (CPDFObjHolder* doc = font.Doc()) KeepCurrentError(doc->LastError(), kModule, operation);
  }
  return -1;
}

// The library lock when the font has a library, else nothing.
std::unique_lock<std::recursive_mutex> LibraryLock(CPDFFont& font) {
  CPDFLibBase* lib = LibOf(font.Doc());
  return lib ? std::unique_lock<std::recursive_mutex>(lib->Lock())
             : std::unique_lock<std::recursive_mutex>();
}

}  // namespace

int CPDFFont::ToUnicode(std::u16string& out, const char* bytes, size_t length) {
  static constexpr const char* kOp = "ToUnicode";
  return RunConversion(*this, kOp, [&]() -> int {
    out.clear();
    const std::string_view input(bytes ? bytes : "", bytes ? length : 0);
    if (CPDFStream* toUnicode = Get_ToUnicode()) {
      auto lock = LibraryLock(*this);  // held until the conversion returns
      ReadToUnicodeCMap(*this, *toUnicode, kOp);
    }
    const ConversionEncoding enc = ReadEncoding(*this, Caches(), kOp);
    if (enc.HasDifferences()) {
      HostToUTF16(kOp, DifferencesToBase(enc, input), out);
    } else {
      HostToUTF16(kOp, input, out);
    }
    return Narrow(out.size());
  });
}

int CPDFFont::ToHostEncoding(std::string& out, const char* bytes, size_t length) {
  static constexpr const char* kOp = "ToHostEncoding";
  return RunConversion(*this, kOp, [&]() -> int {
    out.clear();
    const std::string_view input(bytes ? bytes : "", bytes ? length : 0);
    if (CPDFStream* toUnicode = Get_ToUnicode()) {
      auto lock = LibraryLock(*this);  // held until the conversion returns
      ReadToUnicodeCMap(*this, *toUnicode, kOp);
    }
    const ConversionEncoding enc = ReadEncoding(*this, Caches(), kOp);
    out = enc.HasDifferences() ? DifferencesToBase(enc, input) : std::string(input);
    return Narrow(out.size());
  });
}

int CPDFFont::FromUnicode(std::string& out, std::u16string_view text) {
  static constexpr const char* kOp = "FromUnicode";
  return RunConversion(*this, kOp, [&]() -> int {
    out.clear();
    if (CPDFStream* toUnicode = Get_ToUnicode()) {
      { auto lock = LibraryLock(*this); }  // entered and left before mapping
      ReadToUnicodeCMap(*this, *toUnicode, kOp);
    }
    const ConversionEncoding enc = ReadEncoding(*this, Caches(), kOp);
    std::string host;
    UTF16ToHost(kOp, text, host);
    out = enc.HasDifferences() ? BaseToDifferences(enc, host) : std::move(host);
    return Narrow(out.size());
  });
}

int CPDFFont::FromHostEncoding(std::string& out, std::string_view text) {
  static constexpr const char* kOp = "FromHostEncoding";
  return RunConversion(*this, kOp, [&]() -> int {
    out.clear();
    const std::string_view input = UpToZero(text);
    if (CPDFStream* toUnicode = Get_ToUnicode()) {
      { auto lock = LibraryLock(*this); }  // entered and left before mapping
      ReadToUnicodeCMap(*this, *toUnicode, kOp);
    }
    const ConversionEncoding enc = ReadEncoding(*this, Caches(), kOp);
    out = enc.HasDifferences() ? BaseToDifferences(enc, input) : std::string(input);
    return Narrow(out.size());
  });
}

}  // namespace quarn
