// Opening, creating and closing a document; reading its file sections.
#include "pdf/document/doc.h"
#include "pdf/document/object_stream_packer.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "pdf/document/body.h"
#include "pdf/document/catalog.h"
#include "pdf/document/header.h"
#include "pdf/document/info_dict.h"
#include "pdf/document/linearization.h"
#include "pdf/document/res_dict.h"
#include "pdf/document/lib_base.h"
#include "pdf/document/security.h"
#include "pdf/document/trailer.h"
#include "pdf/document/xref.h"
#include "pdf/object/in_stream.h"
#include "pdf/object/lexer.h"
#include "pdf/object/limits.h"
#include "pdf/object/out_stream.h"
#include "pdf/object/parser.h"
#include "pdf/stream/stream.h"
#include "platform/output_file.h"
#include "platform/source_file.h"

namespace quarn {

namespace {

constexpr char kModule[] = "CPDFDoc";

std::string NextToken(InStream& in, const char* method) {
  std::string token;
  if (!ReadToken(in, token)) Throw(kModule, method, kInvalidFormat, "ioerror");
  return token;
}

// Runs one step of Open; an error it raises stays first in the record, and the step's own
// label follows it as the code-5 failure of Open.
template <class Step>
void OpenStep(CPDFErrorRecord& record, const char* label, Step step) {
  try {
    step();
  } catch (const CPDFException& e) {
    record.Keep(e);
    Throw(kModule, "Open", kInternalError, label);
  } catch (...) {
    Throw(kModule, "Open", kInternalError, label);
  }
}

}  // namespace

CPDFDoc::CPDFDoc(CPDFLibBase* lib) : m_lib(lib) {}

CPDFDoc::~CPDFDoc() { Close(); }

bool CPDFDoc::IsFDF() const { return m_header && m_header->IsFDF(); }

CPDFBody* CPDFDoc::GetBody() { return m_bodies.empty() ? nullptr : m_bodies.front().get(); }
CPDFXRef* CPDFDoc::GetXRef() { return m_xrefs.empty() ? nullptr : m_xrefs.front().get(); }
CPDFTrailer* CPDFDoc::GetTrailer() {
  return m_trailers.empty() ? nullptr : m_trailers.front().get();
}

std::unique_ptr<CPDFCryptContext> CPDFDoc::ReadCrypt(const CPDFObjRef& ref) const {
  if (!m_hasDocKey || !ref.IsDefined() || ref == m_encryptRef) return nullptr;
  return std::make_unique<CPDFCryptContext>(m_docKey, ref.Num(), ref.Gen());
}

std::unique_ptr<CPDFCryptContext> CPDFDoc::WriteCrypt(const CPDFObjRef& ref) const {
  if (!m_hasOutKey || !ref.IsDefined() || ref == m_encryptRef) return nullptr;
  return std::make_unique<CPDFCryptContext>(m_outKey, ref.Num(), ref.Gen());
}

// ---- open ------------------------------------------------------------------------------------

bool CPDFDoc::Open(CPDFLibBase* lib, const std::string& fileName, const char* password) {
  Close();
  m_lib = lib;
  ClearError();
  m_fileName = fileName;
  try {
    m_source = SourceFile::Open(fileName);
    if (!m_source) ThrowCode(kModule, "Open", kRuntimeError);
    m_in = std::make_unique<FileInStream>(m_source);
    OpenStep(m_error, "CPDFDoc::Serialize()", [this] { ReadSectionsOrRepair(); });
    m_outputOffsets.Clear();
    RealizeSectionsOrRepair();
    OpenStep(m_error, "CPDFTrailer::Create()", [this] { CreateUpdateSection(); });
    MarkLinearized();
    CheckSecurity(password);
    BindRoots();
    if (m_linearized) ReadLinearizationParams();
    return true;
  } catch (...) {
    KeepCurrentError(m_error, kModule, "Open");
  }
  return false;
}

bool CPDFDoc::Create(CPDFLibBase* lib) {
  Close();
  m_lib = lib;
  ClearError();
  try {
    m_header = std::make_unique<CPDFHeader>(this);
    m_header->SetVersion(1, 3);
    m_outputOffsets.Clear();
    CreateUpdateSection();
    return true;
  } catch (...) {
    KeepCurrentError(m_error, kModule, "Create");
  }
  return false;
}

void CPDFDoc::ReadSections() {
  m_header = std::make_unique<CPDFHeader>(this);
  if (!m_in->Seek(0)) Throw(kModule, "Serialize", kInvalidFormat, "ioerror");
  m_header->Read(this, *m_in);

  // The newest section is named by the last "startxref" that stands at the start of a line,
  // looked for in a window that widens backwards from the end of the file.
  int64_t found = -1;
  int64_t window = m_in->Size() - 32;
  for (int attempt = 0; attempt < 10 && found < 0; ++attempt, window -= 32) {
    m_in->Seek(std::max<int64_t>(window, 0));
    for (;;) {
      const int64_t hit = m_in->Search("startxref", 9);
      if (hit < 0) break;
      char before = 0;
      if (hit > 0 && m_in->Seek(hit - 1) && m_in->Read(&before, 1) == 1 &&
          (before == '\r' || before == '\n')) {
        found = hit;
        break;
      }
      m_in->Seek(hit + 1);
    }
    if (window <= 0) break;
  }
  if (found < 0) Throw(kModule, "Serialize", kInvalidFormat, "Cannot find startxref");
  m_in->Seek(found + 9);
  int64_t offset = std::strtoll(NextToken(*m_in, "Serialize").c_str(), nullptr, 10);

  // Then every section back along "Prev"; an offset met twice means the chain loops.
  std::vector<int64_t> visited;
  for (;;) {
    if (visited.size() >= static_cast<size_t>(limits::kMaxSections)) {
      Throw(kModule, "Serialize", kInvalidFormat, "too many sections");
    }
    if (std::find(visited.begin(), visited.end(), offset) != visited.end()) {
      Throw(kModule, "Serialize", kInvalidFormat,
            Format("Prev chain loops at %lld", static_cast<long long>(offset)));
    }
    visited.push_back(offset);
    m_bodies.push_back(std::make_unique<CPDFBody>(this));
    if (!m_in->Seek(offset)) Throw(kModule, "Serialize", kInvalidFormat, "ioerror");
    m_xrefs.push_back(std::make_unique<CPDFXRef>(this));
    m_xrefs.back()->SetSectionOffset(offset);
    auto trailer = std::make_unique<CPDFTrailer>(this);
    if (ReadStreamSection(offset, *m_xrefs.back(), *trailer)) {
      m_trailers.push_back(std::move(trailer));
    } else {
      if (!m_in->Seek(offset)) Throw(kModule, "Serialize", kInvalidFormat, "ioerror");
      m_xrefs.back()->Read(this, *m_in);
      m_trailers.push_back(std::move(trailer));
      m_trailers.back()->Read(this, *m_in);
      ReadHybridStream(*m_xrefs.back(), *m_trailers.back());
    }
    m_bodies.back()->Grow(m_xrefs.back()->Size());
    CPDFDict& dict = m_trailers.back()->Dict();
    if (!dict.Lookup("Prev")) break;
    CPDFNumber* prev = dict.GetNumber(this, "Prev");
    if (!prev) Throw("CPDFTrailer", "Serialize", kInvalidFormat, "typecheck: Prev");
    offset = prev->Int64Value();
  }
}

void CPDFDoc::RealizeSections() {
  auto realize = [this](const char* label, auto step) {
    OpenStep(m_error, label, [&] {
      if (!step()) Throw(kModule, "Open", kInternalError, label);
    });
  };
  realize("CPDFHeader::Realize()", [this] { return m_header->Realize(this); });
  realize("CPDFBody::Realize()", [this] {
    for (auto& body : m_bodies) {
      if (!body->Realize(this)) return false;
    }
    return true;
  });
  realize("CPDFXRef::Realize()", [this] {
    for (auto& xref : m_xrefs) {
      if (!xref->Realize(this)) return false;
    }
    return true;
  });
  realize("CPDFTrailer::Realize()", [this] {
    for (auto& trailer : m_trailers) {
      if (!trailer->Realize(this)) return false;
    }
    return true;
  });
}

int32_t CPDFDoc::LargestTableSize() const {
  int32_t size = 0;
  for (const auto& xref : m_xrefs) size = std::max(size, xref->Size());
  return size;
}

void CPDFDoc::CreateUpdateSection() {
  const CPDFXRef* newestTable = m_xrefs.empty() ? nullptr : m_xrefs.front().get();
  auto body = std::make_unique<CPDFBody>(this);
  if (!m_bodies.empty()) body->Grow(m_bodies.front()->Size());
  auto xref = std::make_unique<CPDFXRef>(this);
  xref->Create(this, newestTable);
  // The update section spans every number that any section uses, so that a new object never
  // takes a number that an older section still holds in use.
  xref->Grow(LargestTableSize());
  body->Grow(xref->Size());
  m_bodies.insert(m_bodies.begin(), std::move(body));
  m_xrefs.insert(m_xrefs.begin(), std::move(xref));
  m_trailers.insert(m_trailers.begin(), std::make_unique<CPDFTrailer>(this));
  const CPDFTrailer* previous = m_trailers.size() > 1 ? m_trailers[1].get() : nullptr;
  m_trailers.front()->Create(this, previous);
  // A section written from here has a plain table; the older one's stream stays where it was.
  m_trailers.front()->Dict().Erase("XRefStm");
}

void CPDFDoc::MarkLinearized() {
  if (m_trailers.size() < 2 || m_trailers[1]->StartXRef() != 0) return;
  m_linearized = true;
  for (size_t i = 2; i < m_trailers.size(); ++i) {
    if (m_trailers[i]->StartXRef() != 0) {
      const int64_t prev = m_trailers[i]->StartXRef();
      if (!m_trailers.front()->Set_Prev(std::make_unique<CPDFInt>(prev))) {
        Throw(kModule, "Open", kInternalError, "CPDFTrailer::Set_Prev()");
      }
      break;
    }
  }
}

void CPDFDoc::CheckSecurity(const char* password) {
  m_mayModify = true;
  CPDFTrailer* trailer = GetTrailer();
  if (!trailer->Dict().Lookup("Encrypt")) return;
  CPDFObjRef ref;
  CPDFEncryptDict* dict = trailer->Get_Encrypt(&ref);
  // Entries cut short are a damaged handler: they would check fewer bytes of the password.
  if (!dict || !dict->IsStandard() || !dict->HasWholeEntries()) {
    Throw(kModule, "Open", kUserError, "invalid security handler");
  }
  m_encryptRef = ref;
  CPDFString* fileId = nullptr;
  if (CPDFArray* ids = trailer->Get_ID()) fileId = AsString(ids->GetObj(this, 0));
  // Without a password the empty one is tried, as readers do. A password is tried as the user
  // password and as the owner password; the owner's opens with every permission.
  const std::string given = password ? password : "";
  CPDFCryptContext::DocumentKey key{};
  bool owner = CheckOwnerPassword(*dict, fileId, given, key);
  bool opened = owner || CheckUserPassword(*dict, fileId, given, key);
  if (!opened) opened = TryOtherKeyLengths(*dict, ref, fileId, given, key, owner);
  if (!opened) {
    Throw(kModule, "Open", kUserError, password ? "incorrect password" : "encrypted document");
  }
  if (const CPDFNumber* p = dict->Get_P(); p && p->Int64Value() != dict->Permissions()) {
    m_warnings.push_back(Format("permissions P %lld read as %d",
                                static_cast<long long>(p->Int64Value()), dict->Permissions()));
  }
  m_mayModify = owner || (dict->Permissions() & 8) != 0;
  m_docKey = key;
  m_hasDocKey = true;
}

bool CPDFDoc::TryOtherKeyLengths(CPDFEncryptDict& dict, const CPDFObjRef& ref,
                                 const CPDFString* fileId, const std::string& password,
                                 CPDFCryptContext::DocumentKey& key, bool& owner) {
  // A password check passes with the right key only, so a length that opens the file is the
  // one its writer used; the dictionary is written with it.
  const size_t declared = dict.KeyLength();
  for (const size_t bytes : dict.OtherKeyLengths()) {
    dict.SetKeyLength(bytes);
    owner = CheckOwnerPassword(dict, fileId, password, key);
    if (owner || CheckUserPassword(dict, fileId, password, key)) {
      dict.Insert("Length", std::make_unique<CPDFInt>(static_cast<int64_t>(bytes * 8)));
      if (ref.IsDefined()) UpdateObj(ref);
      NoteRepair(Format("encryption key length taken as %d bits, not %d",
                        static_cast<int>(bytes * 8), static_cast<int>(declared * 8)));
      return true;
    }
  }
  dict.SetKeyLength(0);
  return false;
}

void CPDFDoc::BindRoots() {
  CPDFTrailer* trailer = GetTrailer();
  CPDFDict& dict = trailer->Dict();
  if (!IsFDF()) {
    if (dict.Lookup("Root") && !BindEntry<CPDFCatalog>(this, dict, "Root", IsCatalog)) {
      ThrowCode(kModule, "Open", kInternalError);
    }
    RepairRoots();
  }
  if (!dict.Lookup("Root")) ThrowCode(kModule, "Open", kInternalError);
  if (IsFDF()) {
    // The FDF catalog belongs to the FDF dictionaries of the layer above; one that does not
    // bind stays a plain dictionary.
    LoadEntryThrough(this, dict, "Root", kTypeDict, FindResourceFactory(this, kFDFCatalogFactory), -1);
    ClearError();
    return;
  }
  if (!BindEntry<CPDFInfoDict>(this, dict, "Info", IsInfoDict)) {
    ThrowCode(kModule, "Open", kInternalError);
  }
  // A file whose header was lost is written with the version its catalog names, if any.
  if (m_header->IsAssumed()) {
    CPDFDict* catalog = dict.GetDict(this, "Root");
    const CPDFName* version = catalog ? catalog->GetName(this, "Version") : nullptr;
    if (version) m_header->SetVersionName(std::string(version->View()));
  }
}

std::unique_ptr<CPDFObject> CPDFDoc::ReadObjectAt(int64_t offset, const CPDFObjRef* expect,
                                                  CPDFObjRef* found, int* dropped) {
  const char* method = expect ? "LoadObj" : "Open";
  if (!m_in || !m_in->Seek(offset)) Throw(kModule, method, kInvalidFormat, "ioerror");
  const std::string num = NextToken(*m_in, method);
  const std::string gen = NextToken(*m_in, method);
  const std::string keyword = NextToken(*m_in, method);
  const CPDFObjRef ref(static_cast<int32_t>(std::strtol(num.c_str(), nullptr, 10)),
                       static_cast<int32_t>(std::strtol(gen.c_str(), nullptr, 10)));
  if (found) *found = ref;
  if (expect) {
    if (keyword != "obj")
      Throw(kModule, method, kInvalidFormat, Format("invalidtoken: %s", keyword.c_str()));
    if (!(ref == *expect)) {
      Throw(kModule, method, kInvalidFormat, Format("invalidobjref: %d %d", ref.Num(), ref.Gen()));
    }
  }
  const CPDFObjRef& identity = expect ? *expect : ref;
  std::unique_ptr<CPDFCryptContext> crypt = ReadCrypt(identity);
  m_loading.push_back(identity.Num());
  std::unique_ptr<CPDFObject> obj;
  try {
    obj = dropped ? SerializeObjectLeniently(this, *m_in, crypt.get(), dropped)
                  : SerializeObject(this, *m_in, crypt.get());
  } catch (...) {
    m_loading.pop_back();
    throw;
  }
  m_loading.pop_back();
  if (!obj) {
    std::string token;
    if (!ReadToken(*m_in, token)) Throw(kModule, method, kInvalidFormat, "ioerror");
    Throw(kModule, method, kInvalidFormat, Format("invalidtoken: %s", token.c_str()));
  }
  return obj;
}

void CPDFDoc::ReadLinearizationParams() {
  std::unique_ptr<CPDFObject> first = ReadObjectAt(0, nullptr, nullptr);
  if (IsLineaParams(this, first.get())) {
    auto params = std::make_unique<CPDFLineaParams>();
    params->CopyFlagsFrom(*first);
    if (!params->Realize(this, *first)) ThrowCode(kModule, "Open", kInternalError);
    m_lineaParams = std::move(params);
  }
  CPDFArray* hints = m_lineaParams ? m_lineaParams->Get_Hints() : nullptr;
  if (!hints) Throw(kModule, "Open", kInternalError, "CPDFLineaParams::Get_Hints()");
  CPDFNumber* hintOffset = hints->GetNumber(this, 0);
  if (!hintOffset || !hints->GetObj(this, 1)) {
    Throw(kModule, "Open", kInternalError, "CPDFArray::GetObj()");
  }
  CPDFObjRef hintRef;
  std::unique_ptr<CPDFObject> hint = ReadObjectAt(hintOffset->Int64Value(), nullptr, &hintRef);
  if (IsHintStream(this, hint.get())) {
    auto stream = std::make_unique<CPDFHintStream>();
    stream->CopyFlagsFrom(*hint);
    if (stream->Realize(this, *hint)) m_hintStream = std::move(stream);
  }
}

// ---- close -----------------------------------------------------------------------------------

void CPDFDoc::ResetState() {
  m_header.reset();
  // Newest first, so that an update section's objects go before the ones they replaced.
  m_bodies.clear();
  m_xrefs.clear();
  m_trailers.clear();
  m_linBodies.clear();
  m_linXRefs.clear();
  m_linTrailers.clear();
  m_objRefDict.reset();
  m_lineaParams.reset();
  m_hintStream.reset();
  m_fileName.clear();
  m_in.reset();
  m_source.reset();
  m_linearized = false;
  m_incremental = false;
  m_hasDocKey = false;
  m_docKey = {};
  m_mayModify = true;
  m_encryptRef.Reset();
  m_outputOffsets.Clear();
  m_loading.clear();
  m_objStms.reset();
  m_scan.reset();
  m_scanSource = nullptr;
  m_warnings.clear();
  m_repairsNoted.clear();
  m_repaired = false;
}

void CPDFDoc::Close() {
  ClearError();
  if (m_saveCalled || m_out) CleanupAfterFailure();
  ResetState();
  m_hasOutKey = false;
  m_outKey = {};
}

// ---- typed-value hook ------------------------------------------------------------------------

const TempSpace* CPDFDoc::Temp() const { return m_lib ? &m_lib->Space() : nullptr; }

}  // namespace quarn
