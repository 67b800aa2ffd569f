// Opening, creating and closing a document; reading its file sections.
#include "pdf/document/doc.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "pdf/document/body.h"
#include "pdf/document/catalog.h"
#include "pdf/document/doc_members.h"
#include "pdf/document/header.h"
#include "pdf/document/info_dict.h"
#include "pdf/document/lib_base.h"
#include "pdf/document/linearization.h"
#include "pdf/document/object_stream_packer.h"
#include "pdf/document/res_dict.h"
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

CPDFDoc::CPDFDoc(CPDFLibBase* lib) : m_(std::make_unique<Members>()) { m_->lib = lib; }

CPDFDoc::~CPDFDoc() { Close(); }

CPDFErrorRecord& CPDFDoc::LastError() { return m_->error; }
const CPDFErrorRecord& CPDFDoc::LastError() const { return m_->error; }
CPDFLibBase* CPDFDoc::Lib() const { return m_->lib; }
const std::string& CPDFDoc::FileName() const { return m_->fileName; }
const std::shared_ptr<SourceFile>& CPDFDoc::Source() const { return m_->source; }
CPDFHeader* CPDFDoc::GetHeader() { return m_->header.get(); }
bool CPDFDoc::IsSaving() const { return m_->saveCalled; }
bool CPDFDoc::IsFlushing() const { return m_->flushRunning; }
bool CPDFDoc::IsLinearized() const { return m_->linearized; }
const std::vector<std::string>& CPDFDoc::Warnings() const { return m_->warnings; }
bool CPDFDoc::IsRepaired() const { return m_->repaired; }
bool CPDFDoc::MayModify() const { return m_->mayModify; }

bool CPDFDoc::IsFDF() const { return m_->header && m_->header->IsFDF(); }

CPDFBody* CPDFDoc::GetBody() { return m_->bodies.empty() ? nullptr : m_->bodies.front().get(); }
CPDFXRef* CPDFDoc::GetXRef() { return m_->xrefs.empty() ? nullptr : m_->xrefs.front().get(); }
CPDFTrailer* CPDFDoc::GetTrailer() {
  return m_->trailers.empty() ? nullptr : m_->trailers.front().get();
}

std::unique_ptr<CPDFCryptContext> CPDFDoc::ReadCrypt(const CPDFObjRef& ref) const {
  if (!m_->hasDocKey || !ref.IsDefined() || ref == m_->encryptRef) return nullptr;
  return std::make_unique<CPDFCryptContext>(m_->docKey, ref.Num(), ref.Gen());
}

std::unique_ptr<CPDFCryptContext> CPDFDoc::WriteCrypt(const CPDFObjRef& ref) const {
  if (!m_->hasOutKey || !ref.IsDefined() || ref == m_->encryptRef) return nullptr;
  return std::make_unique<CPDFCryptContext>(m_->outKey, ref.Num(), ref.Gen());
}

// ---- open ------------------------------------------------------------------------------------

bool CPDFDoc::Open(CPDFLibBase* lib, const std::string& fileName, const char* password) {
  Close();
  m_->lib = lib;
  ClearError();
  m_->fileName = fileName;
  try {
    m_->source = SourceFile::Open(fileName);
    if (!m_->source) ThrowCode(kModule, "Open", kRuntimeError);
    m_->in = std::make_unique<FileInStream>(m_->source);
    OpenStep(m_->error, "CPDFDoc::Serialize()", [this] { ReadSectionsOrRepair(); });
    m_->outputOffsets.Clear();
    RealizeSectionsOrRepair();
    OpenStep(m_->error, "CPDFTrailer::Create()", [this] { CreateUpdateSection(); });
    MarkLinearized();
    CheckSecurity(password);
    BindRoots();
    if (m_->linearized) ReadLinearizationParams();
    return true;
  } catch (...) {
    KeepCurrentError(m_->error, kModule, "Open");
  }
  return false;
}

bool CPDFDoc::Create(CPDFLibBase* lib) {
  Close();
  m_->lib = lib;
  ClearError();
  try {
    m_->header = std::make_unique<CPDFHeader>(this);
    m_->header->SetVersion(1, 3);
    m_->outputOffsets.Clear();
    CreateUpdateSection();
    return true;
  } catch (...) {
    KeepCurrentError(m_->error, kModule, "Create");
  }
  return false;
}

void CPDFDoc::ReadSections() {
  m_->header = std::make_unique<CPDFHeader>(this);
  if (!m_->in->Seek(0)) Throw(kModule, "Serialize", kInvalidFormat, "ioerror");
  m_->header->Read(this, *m_->in);

  // The newest section is named by the last "startxref" that stands at the start of a line,
  // looked for in a window that widens backwards from the end of the file.
  int64_t found = -1;
  int64_t window = m_->in->Size() - 32;
  for (int attempt = 0; attempt < 10 && found < 0; ++attempt, window -= 32) {
    m_->in->Seek(std::max<int64_t>(window, 0));
    for (;;) {
      const int64_t hit = m_->in->Search("startxref", 9);
      if (hit < 0) break;
      char before = 0;
      if (hit > 0 && m_->in->Seek(hit - 1) && m_->in->Read(&before, 1) == 1 &&
          (before == '\r' || before == '\n')) {
        found = hit;
        break;
      }
      m_->in->Seek(hit + 1);
    }
    if (window <= 0) break;
  }
  if (found < 0) Throw(kModule, "Serialize", kInvalidFormat, "Cannot find startxref");
  m_->in->Seek(found + 9);
  int64_t offset = std::strtoll(NextToken(*m_->in, "Serialize").c_str(), nullptr, 10);

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
    m_->bodies.push_back(std::make_unique<CPDFBody>(this));
    if (!m_->in->Seek(offset)) Throw(kModule, "Serialize", kInvalidFormat, "ioerror");
    m_->xrefs.push_back(std::make_unique<CPDFXRef>(this));
    m_->xrefs.back()->SetSectionOffset(offset);
    auto trailer = std::make_unique<CPDFTrailer>(this);
    if (ReadStreamSection(offset, *m_->xrefs.back(), *trailer)) {
      m_->trailers.push_back(std::move(trailer));
    } else {
      if (!m_->in->Seek(offset)) Throw(kModule, "Serialize", kInvalidFormat, "ioerror");
      m_->xrefs.back()->Read(this, *m_->in);
      m_->trailers.push_back(std::move(trailer));
      m_->trailers.back()->Read(this, *m_->in);
      ReadHybridStream(*m_->xrefs.back(), *m_->trailers.back());
    }
    m_->bodies.back()->Grow(m_->xrefs.back()->Size());
    CPDFDict& dict = m_->trailers.back()->Dict();
    if (!dict.Lookup("Prev")) break;
    CPDFNumber* prev = dict.GetNumber(this, "Prev");
    if (!prev) Throw("CPDFTrailer", "Serialize", kInvalidFormat, "typecheck: Prev");
    offset = prev->Int64Value();
  }
}

void CPDFDoc::RealizeSections() {
  auto realize = [this](const char* label, auto step) {
    OpenStep(m_->error, label, [&] {
      if (!step()) Throw(kModule, "Open", kInternalError, label);
    });
  };
  realize("CPDFHeader::Realize()", [this] { return m_->header->Realize(this); });
  realize("CPDFBody::Realize()", [this] {
    for (auto& body : m_->bodies) {
      if (!body->Realize(this)) return false;
    }
    return true;
  });
  realize("CPDFXRef::Realize()", [this] {
    for (auto& xref : m_->xrefs) {
      if (!xref->Realize(this)) return false;
    }
    return true;
  });
  realize("CPDFTrailer::Realize()", [this] {
    for (auto& trailer : m_->trailers) {
      if (!trailer->Realize(this)) return false;
    }
    return true;
  });
}

int32_t CPDFDoc::LargestTableSize() const {
  int32_t size = 0;
  for (const auto& xref : m_->xrefs) size = std::max(size, xref->Size());
  return size;
}

void CPDFDoc::CreateUpdateSection() {
  const CPDFXRef* newestTable = m_->xrefs.empty() ? nullptr : m_->xrefs.front().get();
  auto body = std::make_unique<CPDFBody>(this);
  if (!m_->bodies.empty()) body->Grow(m_->bodies.front()->Size());
  auto xref = std::make_unique<CPDFXRef>(this);
  xref->Create(this, newestTable);
  // The update section spans every number that any section uses, so that a new object never
  // takes a number that an older section still holds in use.
  xref->Grow(LargestTableSize());
  body->Grow(xref->Size());
  m_->bodies.insert(m_->bodies.begin(), std::move(body));
  m_->xrefs.insert(m_->xrefs.begin(), std::move(xref));
  m_->trailers.insert(m_->trailers.begin(), std::make_unique<CPDFTrailer>(this));
  const CPDFTrailer* previous = m_->trailers.size() > 1 ? m_->trailers[1].get() : nullptr;
  m_->trailers.front()->Create(this, previous);
  // A section written from here has a plain table; the older one's stream stays where it was.
  m_->trailers.front()->Dict().Erase("XRefStm");
}

void CPDFDoc::MarkLinearized() {
  if (m_->trailers.size() < 2 || m_->trailers[1]->StartXRef() != 0) return;
  m_->linearized = true;
  for (size_t i = 2; i < m_->trailers.size(); ++i) {
    if (m_->trailers[i]->StartXRef() != 0) {
      const int64_t prev = m_->trailers[i]->StartXRef();
      if (!m_->trailers.front()->Set_Prev(std::make_unique<CPDFInt>(prev))) {
        Throw(kModule, "Open", kInternalError, "CPDFTrailer::Set_Prev()");
      }
      break;
    }
  }
}

void CPDFDoc::CheckSecurity(const char* password) {
  m_->mayModify = true;
  CPDFTrailer* trailer = GetTrailer();
  if (!trailer->Dict().Lookup("Encrypt")) return;
  CPDFObjRef ref;
  CPDFEncryptDict* dict = trailer->Get_Encrypt(&ref);
  // Entries cut short are a damaged handler: they would check fewer bytes of the password.
  if (!dict || !dict->IsStandard() || !dict->HasWholeEntries()) {
    Throw(kModule, "Open", kUserError, "invalid security handler");
  }
  m_->encryptRef = ref;
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
    m_->warnings.push_back(Format("permissions P %lld read as %d",
                                  static_cast<long long>(p->Int64Value()), dict->Permissions()));
  }
  m_->mayModify = owner || (dict->Permissions() & 8) != 0;
  m_->docKey = key;
  m_->hasDocKey = true;
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
    LoadEntryThrough(this, dict, "Root", kTypeDict, FindResourceFactory(this, kFDFCatalogFactory),
                     -1);
    ClearError();
    return;
  }
  if (!BindEntry<CPDFInfoDict>(this, dict, "Info", IsInfoDict)) {
    ThrowCode(kModule, "Open", kInternalError);
  }
  // A file whose header was lost is written with the version its catalog names, if any.
  if (m_->header->IsAssumed()) {
    CPDFDict* catalog = dict.GetDict(this, "Root");
    const CPDFName* version = catalog ? catalog->GetName(this, "Version") : nullptr;
    if (version) m_->header->SetVersionName(std::string(version->View()));
  }
}

std::unique_ptr<CPDFObject> CPDFDoc::ReadObjectAt(int64_t offset, const CPDFObjRef* expect,
                                                  CPDFObjRef* found, int* dropped) {
  const char* method = expect ? "LoadObj" : "Open";
  if (!m_->in || !m_->in->Seek(offset)) Throw(kModule, method, kInvalidFormat, "ioerror");
  const std::string num = NextToken(*m_->in, method);
  const std::string gen = NextToken(*m_->in, method);
  const std::string keyword = NextToken(*m_->in, method);
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
  m_->loading.push_back(identity.Num());
  std::unique_ptr<CPDFObject> obj;
  try {
    obj = dropped ? SerializeObjectLeniently(this, *m_->in, crypt.get(), dropped)
                  : SerializeObject(this, *m_->in, crypt.get());
  } catch (...) {
    m_->loading.pop_back();
    throw;
  }
  m_->loading.pop_back();
  if (!obj) {
    std::string token;
    if (!ReadToken(*m_->in, token)) Throw(kModule, method, kInvalidFormat, "ioerror");
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
    m_->lineaParams = std::move(params);
  }
  CPDFArray* hints = m_->lineaParams ? m_->lineaParams->Get_Hints() : nullptr;
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
    if (stream->Realize(this, *hint)) m_->hintStream = std::move(stream);
  }
}

// ---- close -----------------------------------------------------------------------------------

void CPDFDoc::ResetState() {
  m_->header.reset();
  // Newest first, so that an update section's objects go before the ones they replaced.
  m_->bodies.clear();
  m_->xrefs.clear();
  m_->trailers.clear();
  m_->linBodies.clear();
  m_->linXRefs.clear();
  m_->linTrailers.clear();
  m_->objRefDict.reset();
  m_->lineaParams.reset();
  m_->hintStream.reset();
  m_->fileName.clear();
  m_->in.reset();
  m_->source.reset();
  m_->linearized = false;
  m_->incremental = false;
  m_->hasDocKey = false;
  m_->docKey = {};
  m_->mayModify = true;
  m_->encryptRef.Reset();
  m_->outputOffsets.Clear();
  m_->loading.clear();
  m_->objStms.reset();
  m_->scan.reset();
  m_->scanSource = nullptr;
  m_->warnings.clear();
  m_->repairsNoted.clear();
  m_->repaired = false;
}

void CPDFDoc::Close() {
  ClearError();
  if (m_->saveCalled || m_->out) CleanupAfterFailure();
  ResetState();
  m_->hasOutKey = false;
  m_->outKey = {};
}

// ---- typed-value hook ------------------------------------------------------------------------

const TempSpace* CPDFDoc::Temp() const { return m_->lib ? &m_->lib->Space() : nullptr; }

}  // namespace quarn
