#include "pdf/document/trailer.h"

#include <cstdlib>
#include <cstring>
#include <string>

#include "pdf/document/catalog.h"
#include "pdf/document/doc.h"
#include "pdf/document/header.h"
#include "pdf/document/info_dict.h"
#include "pdf/document/security.h"
#include "pdf/object/exception.h"
#include "pdf/object/in_stream.h"
#include "pdf/object/lexer.h"
#include "pdf/object/out_stream.h"
#include "pdf/object/parser.h"

namespace quarn {

namespace {

constexpr char kModule[] = "CPDFTrailer";
constexpr char kMethod[] = "Serialize";

[[noreturn]] void Fail(const std::string& message) {
  Throw(kModule, kMethod, kInvalidFormat, message);
}

bool IsPlainDict(CPDFObjHolder*, CPDFObject* value) { return value && value->TypeCode() == kTypeDict; }

std::string NextToken(InStream& in) {
  std::string token;
  if (!ReadToken(in, token)) Fail("ioerror");
  return token;
}

}  // namespace

void CPDFTrailer::Read(CPDFDoc* doc, InStream& in) {
  m_doc = doc;
  m_in = &in;
  std::string token = NextToken(in);
  if (token != "trailer") Fail(Format("invalidtoken: %s", token.c_str()));
  token = NextToken(in);
  if (token != "<") Fail(Format("invalidtoken: %s", token.c_str()));
  in.Unget(1);
  // Read as a dictionary alone: the "startxref" after it is not the start of stream data.
  std::unique_ptr<CPDFDict> dict = ReadDict(doc, in);
  if (!dict) Fail("ioerror");
  m_dict.SwapContent(*dict);
  token = NextToken(in);
  if (token != "startxref") Fail(Format("invalidtoken: %s", token.c_str()));
  token = NextToken(in);
  m_startXRef = std::strtoll(token.c_str(), nullptr, 10);
  SkipWhitespace(in);
  char eof[6] = {};
  const size_t got = in.Read(eof, 5);
  if (got < 5) Fail("ioerror");
  if (std::memcmp(eof, "%%EOF", 5) != 0) Fail(Format("invalidtoken: %s", eof));
}

void CPDFTrailer::Serialize(OutStream& out) const {
  out << "trailer" << endl;
  m_dict.Serialize(out, nullptr);
  out << endl << "startxref" << endl;
  out.Printf("%lld", static_cast<long long>(m_startXRef));
  out << endl << "%%EOF" << endl;
}

void CPDFTrailer::Create(CPDFDoc* doc, const CPDFTrailer* previous) {
  m_doc = doc;
  m_dict.ClearEntries();
  m_startXRef = -1;
  if (previous) {
    for (const auto& [key, atom] : previous->m_dict) {
      if (atom) m_dict.Insert(key, atom->CloneAtom());
    }
    if (!Set_Prev(std::make_unique<CPDFInt>(previous->m_startXRef))) {
      Throw(kModule, "Create", kInternalError, "CPDFTrailer::Set_Prev()");
    }
    return;
  }
  const bool fdf = doc && doc->IsFDF();
  if (!fdf) {
    if (!Set_Size(std::make_unique<CPDFInt>(1))) {
      Throw(kModule, "Create", kInternalError, "CPDFTrailer::Set_Size()");
    }
    auto catalog = std::make_unique<CPDFCatalog>();
    if (!catalog->Create(doc)) Throw(kModule, "Create", kInternalError, "CPDFCatalog::Create()");
    if (!Set_Root(std::move(catalog), true)) {
      Throw(kModule, "Create", kInternalError, "CPDFTrailer::Set_Root()");
    }
    return;
  }
  // A new FDF document's catalog holds an empty FDF dictionary.
  auto catalog = std::make_unique<CPDFDict>();
  catalog->Insert("FDF", std::make_unique<CPDFDict>());
  if (!Set_Root(std::move(catalog), true)) {
    Throw(kModule, "Create", kInternalError, "CPDFTrailer::Set_Root()");
  }
}

bool CPDFTrailer::MakeDirectInt(const char* key, bool required) {
  CPDFAtom* atom = m_dict.Lookup(key);
  if (!atom) return !required;
  CPDFObject* value = m_dict.GetValue(m_doc, key);
  CPDFNumber* number = AsNumber(value);
  if (!number) return false;
  if (atom->IsRef()) m_dict.Insert(key, std::make_unique<CPDFInt>(number->Int64Value()));
  return true;
}

bool CPDFTrailer::Realize(CPDFDoc* doc) {
  m_doc = doc;
  if (doc && doc->IsFDF()) return true;
  if (!MakeDirectInt("Size", true)) return false;
  if (!MakeDirectInt("Prev", false)) return false;
  CPDFAtom* encrypt = m_dict.Lookup("Encrypt");
  if (encrypt && encrypt->IsRef()) {
    // Any dictionary is taken as the encryption dictionary here; one that lacks "P" fails.
    if (!BindEntry<CPDFEncryptDict>(doc, m_dict, "Encrypt", IsPlainDict)) return false;
  }
  return true;
}

CPDFNumber* CPDFTrailer::Get_Size(CPDFObjRef* ref) const {
  return AsNumber(m_dict.GetValue(m_doc, "Size", ref));
}
CPDFNumber* CPDFTrailer::Get_Prev(CPDFObjRef* ref) const {
  return AsNumber(m_dict.GetValue(m_doc, "Prev", ref));
}
namespace {

// Binds the entry `key` as T when it is plain and fits; the bound object, or nullptr.
template <class T>
T* BoundEntry(CPDFDoc* doc, CPDFDict& dict, const char* key, Recognizer recognize,
              CPDFObjRef* ref) {
  if (ref) ref->Reset();
  T* bound = nullptr;
  if (!BindEntry<T>(doc, dict, key, recognize, &bound) || !bound) return nullptr;
  if (ref) dict.GetValue(doc, key, ref);
  return bound;
}

}  // namespace

CPDFCatalog* CPDFTrailer::Get_Root(CPDFObjRef* ref) {
  if (m_doc && m_doc->IsFDF()) return nullptr;
  return BoundEntry<CPDFCatalog>(m_doc, m_dict, "Root", IsCatalog, ref);
}
CPDFInfoDict* CPDFTrailer::Get_Info(CPDFObjRef* ref) {
  return BoundEntry<CPDFInfoDict>(m_doc, m_dict, "Info", IsInfoDict, ref);
}
CPDFArray* CPDFTrailer::Get_ID(CPDFObjRef* ref) const {
  return AsArray(m_dict.GetValue(m_doc, "ID", ref));
}
CPDFDict* CPDFTrailer::Get_FDFRoot(CPDFObjRef* ref) const {
  return AsDict(m_dict.GetValue(m_doc, "Root", ref));
}

CPDFEncryptDict* CPDFTrailer::Get_Encrypt(CPDFObjRef* ref) {
  if (ref) ref->Reset();
  CPDFEncryptDict* bound = nullptr;
  if (!BindEntry<CPDFEncryptDict>(m_doc, m_dict, "Encrypt", IsPlainDict, &bound)) return nullptr;
  if (bound && ref) m_dict.GetValue(m_doc, "Encrypt", ref);
  return bound;
}

bool CPDFTrailer::Set_Size(std::unique_ptr<CPDFObject> v, bool indirect, CPDFObjRef* ref) {
  return m_dict.SetValue(m_doc, "Size", std::move(v), indirect, ref);
}
bool CPDFTrailer::Set_Prev(std::unique_ptr<CPDFObject> v, bool indirect, CPDFObjRef* ref) {
  return m_dict.SetValue(m_doc, "Prev", std::move(v), indirect, ref);
}
bool CPDFTrailer::Set_Root(std::unique_ptr<CPDFObject> v, bool indirect, CPDFObjRef* ref) {
  return m_dict.SetValue(m_doc, "Root", std::move(v), indirect, ref);
}
bool CPDFTrailer::Set_Info(std::unique_ptr<CPDFObject> v, bool indirect, CPDFObjRef* ref) {
  return m_dict.SetValue(m_doc, "Info", std::move(v), indirect, ref);
}
bool CPDFTrailer::Set_Encrypt(std::unique_ptr<CPDFObject> v, bool indirect, CPDFObjRef* ref) {
  return m_dict.SetValue(m_doc, "Encrypt", std::move(v), indirect, ref);
}

}  // namespace quarn
