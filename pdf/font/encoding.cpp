#include "pdf/font/encoding.h"

#include <new>

#include "pdf/document/doc.h"
#include "pdf/font/builtin_data.h"

namespace quarn {

namespace builtin {
#include "pdf/font/data/encodings.inc"
}  // namespace builtin

namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Numbers read from a file carry the generic number type; the Differences walk recognises
// integer objects only, so binding turns them into integers first.
bool ConvertDifferencesNumbers(CPDFObjHolder* doc, CPDFArray& differences) {
  for (size_t i = 0; i < differences.Count(); ++i) {
    CPDFAtom* atom = differences.At(i);
    CPDFObjRef ref;
    CPDFObject* value = Resolve(doc, atom, &ref);
    if (!value || value->TypeCode() != kTypeNumber) continue;
    auto integer = std::make_unique<CPDFInt>(static_cast<CPDFNumber*>(value)->IntValue());
    integer->CopyFlagsFrom(*value);
    if (atom->IsRef()) {
      if (!ReplaceIndirect(doc, ref, std::move(integer))) return false;
    } else {
      differences.Replace(i, std::move(integer));
    }
  }
  return true;
}

}  // namespace

// ---- EncodingTable -------------------------------------------------------------------------

bool EncodingTable::AddMapping(uint8_t code, std::string_view name) {
  try {
    m_codeToName.insert_or_assign(code, std::string(name));
    m_nameToCode.insert_or_assign(std::string(name), code);
    return true;
  } catch (const std::bad_alloc&) {
    return false;
  }
}

std::string EncodingTable::SyntheticName(uint8_t code) { return Format("G%02X", code); }

std::optional<uint8_t> EncodingTable::ParseSyntheticName(std::string_view name) {
  if (name.size() != 3 || name[0] != 'G') return std::nullopt;
  const int high = HexDigit(name[1]);
  const int low = HexDigit(name[2]);
  if (high < 0 || low < 0) return std::nullopt;
  return static_cast<uint8_t>(high * 16 + low);
}

bool EncodingTable::CodeToName(uint8_t code, std::string& name) const {
  auto it = m_codeToName.find(code);
  if (it != m_codeToName.end()) {
    name = it->second;
    return true;
  }
  std::string synthetic = SyntheticName(code);
  if (m_nameToCode.find(synthetic) != m_nameToCode.end()) return false;
  name = std::move(synthetic);
  return true;
}

bool EncodingTable::NameToCode(std::string_view name, uint8_t& code) const {
  auto it = m_nameToCode.find(name);
  if (it != m_nameToCode.end()) {
    code = it->second;
    return true;
  }
  if (auto synthetic = ParseSyntheticName(name)) {
    code = *synthetic;
    return true;
  }
  return false;
}

bool EncodingTable::LoadBuiltIn(std::string_view name) {
  for (const auto& encoding : builtin::kBuiltInEncodings) {
    if (name != encoding.name) continue;
    Clear();
    // Highest code first, so that a name with several codes maps back to its lowest one.
    for (int i = 0; i < encoding.count; ++i) {
      if (!AddMapping(encoding.entries[i].code, encoding.entries[i].name)) return false;
    }
    return true;
  }
  return false;
}

void EncodingTable::Clear() {
  m_codeToName.clear();
  m_nameToCode.clear();
}

bool BuildDifferencesTable(CPDFObjHolder* doc, const CPDFArray& differences, EncodingTable& table) {
  if (differences.Count() == 0) return true;
  uint8_t code = 0;
  if (CPDFNumber* first = AsNumber(differences.GetObj(doc, 0))) {
    code = static_cast<uint8_t>(first->IntValue());
  }
  for (size_t i = 1; i < differences.Count(); ++i) {
    CPDFObject* element = differences.GetObj(doc, static_cast<int>(i));
    if (!element) continue;
    if (element->TypeCode() == kTypeInteger) {
      code = static_cast<uint8_t>(static_cast<CPDFNumber*>(element)->IntValue());
    } else if (element->TypeCode() == kTypeName) {
      if (!table.AddMapping(code, static_cast<CPDFName*>(element)->View())) return false;
      code = static_cast<uint8_t>(code + 1);  // 255 wraps to 0
    }
  }
  return true;
}

// ---- CPDFEncoding --------------------------------------------------------------------------

bool IsEncoding(CPDFObjHolder* doc, CPDFObject* value) {
  CPDFDict* dict = AsDict(value);
  return dict && dict->HasName(doc, "Type", "Encoding");
}

bool CPDFEncoding::Create(CPDFObjHolder* doc) {
  BindDoc(doc);
  return SetValue(doc, "Type", std::make_unique<CPDFName>("Encoding"));
}

bool CPDFEncoding::Realize(CPDFObjHolder* doc, CPDFObject& source) {
  BindDoc(doc);
  SwapContent(source);
  CPDFArray* differences = GetArray(doc, "Differences");
  return !differences || ConvertDifferencesNumbers(doc, *differences);
}

void CPDFEncoding::SwapContent(CPDFObject& other) {
  CPDFDict::SwapContent(other);
  m_differences.reset();
}

std::string CPDFEncoding::Get_BaseEncoding() const {
  CPDFName* name = GetName(Doc(), "BaseEncoding");
  return name ? name->Str() : std::string("StandardEncoding");
}

bool CPDFEncoding::UpdateDifferences() {
  m_differences.reset();
  try {
    auto table = std::make_unique<EncodingTable>();
    CPDFArray* differences = Get_Differences();
    if (differences && !BuildDifferencesTable(Doc(), *differences, *table)) {
      ThrowCode("CPDFEncoding", "UpdateDifferences", kInternalError);
    }
    m_differences = std::move(table);
    return true;
  } catch (...) {
    if (Doc()) KeepCurrentError(Doc()->LastError(), "CPDFEncoding", "UpdateDifferences");
  }
  return false;
}

const EncodingTable* CPDFEncoding::GetDifferences() {
  if (!m_differences && !UpdateDifferences()) return nullptr;
  return m_differences.get();
}

std::unique_ptr<CPDFEncoding> CPDFEncoding::FromDict(CPDFObjHolder* doc, const CPDFDict& dict) {
  std::unique_ptr<CPDFObject> content = dict.Clone();
  auto view = std::make_unique<CPDFEncoding>();
  if (!content || !view->Realize(doc, *content)) return nullptr;
  return view;
}

// ---- the PDFDocEncoding differences --------------------------------------------------------

namespace {

// Runs of (first code, glyph names) that turn StandardEncoding, the default base, into
// PDFDocEncoding.
struct DifferencesRun {
  int first;
  std::initializer_list<const char*> names;
};

const DifferencesRun kPDFDocDifferences[] = {
    {24, {"breve", "caron", "circumflex", "dotaccent", "hungarumlaut", "ogonek", "ring", "tilde"}},
    {39, {"quotesingle"}},
    {96, {"grave"}},
    {128, {"bullet",         "dagger",       "daggerdbl",
           "ellipsis",       "emdash",       "endash",
           "florin",         "fraction",     "guilsinglleft",
           "guilsinglright", "minus",        "perthousand",
           "quotedblbase",   "quotedblleft", "quotedblright",
           "quoteleft",      "quoteright",   "quotesinglbase",
           "trademark",      "fi",           "fl",
           "Lslash",         "OE",           "Scaron",
           "Ydieresis",      "Zcaron",       "dotlessi",
           "lslash",         "oe",           "scaron",
           "zcaron"}},
    {160, {"Euro"}},
    {164, {"currency"}},
    {166, {"brokenbar"}},
    {168, {"dieresis", "copyright", "ordfeminine"}},
    {172,
     {"logicalnot", ".notdef", "registered", "macron", "degree", "plusminus", "twosuperior",
      "threesuperior", "acute", "mu"}},
    {183, {"periodcentered", "cedilla", "onesuperior", "ordmasculine"}},
    {188, {"onequarter", "onehalf", "threequarters"}},
    {192, {"Agrave",      "Aacute",     "Acircumflex", "Atilde",      "Adieresis",   "Aring",
           "AE",          "Ccedilla",   "Egrave",      "Eacute",      "Ecircumflex", "Edieresis",
           "Igrave",      "Iacute",     "Icircumflex", "Idieresis",   "Eth",         "Ntilde",
           "Ograve",      "Oacute",     "Ocircumflex", "Otilde",      "Odieresis",   "multiply",
           "Oslash",      "Ugrave",     "Uacute",      "Ucircumflex", "Udieresis",   "Yacute",
           "Thorn",       "germandbls", "agrave",      "aacute",      "acircumflex", "atilde",
           "adieresis",   "aring",      "ae",          "ccedilla",    "egrave",      "eacute",
           "ecircumflex", "edieresis",  "igrave",      "iacute",      "icircumflex", "idieresis",
           "eth",         "ntilde",     "ograve",      "oacute",      "ocircumflex", "otilde",
           "odieresis",   "divide",     "oslash",      "ugrave",      "uacute",      "ucircumflex",
           "udieresis",   "yacute",     "thorn",       "ydieresis"}},
};

}  // namespace

std::unique_ptr<CPDFEncoding> CreatePDFDocEncodingDict(CPDFObjHolder* doc) {
  auto encoding = std::make_unique<CPDFEncoding>();
  if (!encoding->Create(doc)) return nullptr;
  auto differences = std::make_unique<CPDFArray>();
  for (const DifferencesRun& run : kPDFDocDifferences) {
    differences->Push_Back(std::make_unique<CPDFInt>(run.first));
    for (const char* name : run.names) differences->Push_Back(std::make_unique<CPDFName>(name));
  }
  if (!encoding->Set_Differences(std::move(differences))) return nullptr;
  return encoding;
}

}  // namespace quarn
