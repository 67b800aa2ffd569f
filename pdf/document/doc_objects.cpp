// The document's object store: finding, loading, filing, changing, deleting, writing and
// releasing indirect objects.
#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "pdf/document/body.h"
#include "pdf/document/doc.h"
#include "pdf/document/doc_members.h"
#include "pdf/document/trailer.h"
#include "pdf/document/xref.h"
#include "pdf/object/in_stream.h"
#include "pdf/object/lexer.h"
#include "pdf/object/limits.h"
#include "pdf/object/out_stream.h"
#include "pdf/object/walk_guard.h"

namespace quarn {

namespace {

constexpr char kModule[] = "CPDFDoc";
constexpr char kUndefined[] = "Object reference is not defined.";

// The integer of object `ref` when `in` holds, from `offset` on, "num gen obj" naming `ref`, one
// number and "endobj": the tokens LoadObj reads there, taken as it takes them. A reference, a
// container, a stream or anything else after "obj" is no integer.
bool ReadIntegerObjectAt(InStream& in, int64_t offset, const CPDFObjRef& ref, int64_t* value) {
  char num[limits::kTokenBufferSize];
  char gen[limits::kTokenBufferSize];
  char token[limits::kTokenBufferSize];
  if (!in.Seek(offset) || !ReadToken(in, num, sizeof num) || !ReadToken(in, gen, sizeof gen) ||
      !ReadToken(in, token, sizeof token) || std::strcmp(token, "obj") != 0) {
    return false;
  }
  const CPDFObjRef found(static_cast<int32_t>(std::strtol(num, nullptr, 10)),
                         static_cast<int32_t>(std::strtol(gen, nullptr, 10)));
  if (!(found == ref)) return false;
  char number[limits::kTokenBufferSize];
  if (!ReadToken(in, number, sizeof number) || !StartsNumber(number[0])) return false;
  if (!ReadToken(in, token, sizeof token) || std::strcmp(token, "endobj") != 0) return false;
  *value = TokenToInt64(number);
  return true;
}

// A release that reaches this depth of the value walk leaves the rest of the chain in memory,
// well before the walk's own guard would fail the whole release.
bool ReleaseTooDeep() {
  return WalkDepthGuard::Depth() + limits::kMaxNesting + 8 >= limits::kMaxWalkDepth;
}

}  // namespace

CPDFObject* CPDFDoc::GetObj(const CPDFObjRef& ref) {
  ClearError();
  try {
    if (!ref.IsDefined()) Throw(kModule, "GetObj", kUserError, kUndefined);
    // An object asking for itself while it is being parsed gets nothing rather than a second
    // parse of the same bytes, which would never end.
    if (std::find(m_->loading.begin(), m_->loading.end(), ref.Num()) != m_->loading.end()) {
      return nullptr;
    }
    const size_t sections = std::min(m_->bodies.size(), m_->xrefs.size());
    for (size_t i = 0; i < sections; ++i) {
      CPDFBody& body = *m_->bodies[i];
      if (CPDFObject* obj = body.GetObj(ref)) return obj;
      if (m_->outputOffsets.IsReleased(ref.Num())) return nullptr;
      const CPDFXRefEntry* entry = m_->xrefs[i]->GetEntry(ref.Num());
      if (entry && DeletedBy(*entry, ref)) return nullptr;
      if (!entry || !entry->InUse()) continue;
      std::unique_ptr<CPDFObject> loaded = LoadEntry(ref, *entry);
      if (!loaded) Throw(kModule, "GetObj", kInternalError, "CPDFDoc::LoadObj()");
      CPDFObject* result = loaded.get();
      try {
        body.SetObj(ref, std::move(loaded), true);
      } catch (...) {
        Throw(kModule, "GetObj", kInternalError, "CPDFBody::SetObj()");
      }
      return result;
    }
  } catch (...) {
    KeepCurrentError(m_->error, kModule, "GetObj");
  }
  return nullptr;
}

bool CPDFDoc::DeletedBy(const CPDFXRefEntry& entry, const CPDFObjRef& ref) {
  // A section that frees a number raises its generation: the object that a reference of an
  // older generation named was deleted there, and older sections must not bring it back (a
  // page deleted by an update stays deleted, as readers take it). A free entry of the same
  // generation says nothing of the object and the older sections are asked.
  return !entry.InUse() && entry.Gen() > ref.Gen();
}

std::unique_ptr<CPDFObject> CPDFDoc::LoadObj(const CPDFObjRef& ref, int64_t offset) {
  ClearError();
  try {
    if (!ref.IsDefined()) Throw(kModule, "LoadObj", kUserError, kUndefined);
    std::unique_ptr<CPDFObject> obj = ReadObjectAt(offset, &ref, nullptr);
    std::string token;
    if (!ReadToken(*m_->in, token)) Throw(kModule, "LoadObj", kInvalidFormat, "ioerror");
    if (token != "endobj") {
      Throw(kModule, "LoadObj", kInvalidFormat, Format("invalidtoken: %s", token.c_str()));
    }
    return obj;
  } catch (const CPDFException& e) {
    if (e.Code() == kInvalidFormat && ref.IsDefined()) {
      if (std::unique_ptr<CPDFObject> obj = LoadDamagedObj(ref, offset)) return obj;
    }
    KeepCurrentError(m_->error, kModule, "LoadObj");
  } catch (...) {
    KeepCurrentError(m_->error, kModule, "LoadObj");
  }
  return nullptr;
}

std::unique_ptr<CPDFObject> CPDFDoc::LoadDamagedObj(const CPDFObjRef& ref, int64_t offset) {
  try {
    int dropped = 0;
    std::unique_ptr<CPDFObject> obj = ReadObjectAt(offset, &ref, nullptr, &dropped);
    NoteRepair(Format("damaged object read in part: %d %d", ref.Num(), ref.Gen()));
    return obj;
  } catch (...) {
    return nullptr;  // the first read's error stands
  }
}

std::unique_ptr<CPDFObject> CPDFDoc::LoadOriginal(const CPDFObjRef& ref) {
  ClearError();
  for (const auto& xref : m_->xrefs) {
    const CPDFXRefEntry* entry = ref.IsDefined() ? xref->GetEntry(ref.Num()) : nullptr;
    if (entry && DeletedBy(*entry, ref)) break;
    // An entry at offset 0 is this session's own (an object made or changed since the input
    // was read): its bytes, if any, lie in an older section.
    if (!entry || !entry->InUse() || (!entry->IsCompressed() && entry->Offset() == 0)) continue;
    if (entry->Gen() != ref.Gen()) break;
    return LoadEntry(ref, *entry);
  }
  m_->error.Keep(CPDFException(kModule, "LoadOriginal", kUserError, "no such object in the input"));
  return nullptr;
}

bool CPDFDoc::PeekInteger(const CPDFObjRef& ref, int64_t* value) {
  try {
    if (!value || !ref.IsDefined()) return false;
    if (CPDFObject* loaded = FindLoadedObj(ref)) {
      const CPDFNumber* number = AsNumber(loaded);
      if (number) *value = number->Int64Value();
      return number != nullptr;
    }
    // An object being parsed right now is a container, never a number (a stream whose "Length"
    // names the stream itself).
    if (std::find(m_->loading.begin(), m_->loading.end(), ref.Num()) != m_->loading.end())
      return false;
    // Decoding a whole object stream for one number would cost more than it saves.
    const CPDFXRefEntry* entry = FindEntry(ref.Num(), false);
    if (!entry || !entry->InUse() || entry->IsCompressed() || entry->Gen() != ref.Gen() ||
        !m_->in) {
      return false;
    }
    // Read through the document's input, whose recent blocks mostly hold the number already
    // (it follows the stream it measures); the input is put back where it stood, as its reader
    // may be half way through a stream. A failed read leaves errno as it was, for the error a
    // caller may be about to report.
    struct Restore {
      InStream& in;
      const int64_t at;
      const int savedErrno;
      ~Restore() {
        in.Seek(at);
        errno = savedErrno;
      }
    } restore{*m_->in, m_->in->Tell(), errno};
    int64_t read = 0;
    const bool found = ReadIntegerObjectAt(*m_->in, entry->Offset(), ref, &read);
    if (found) *value = read;
    return found;
  } catch (...) {
    return false;
  }
}

CPDFObject* CPDFDoc::FindObj(const CPDFObjRef& ref, bool skipNewest, CPDFBody** body) {
  if (body) *body = nullptr;
  for (size_t i = skipNewest ? 1 : 0; i < m_->bodies.size(); ++i) {
    if (CPDFObject* obj = m_->bodies[i]->GetObj(ref)) {
      if (body) *body = m_->bodies[i].get();
      return obj;
    }
  }
  return nullptr;
}

CPDFXRefEntry* CPDFDoc::FindEntry(int32_t num, bool skipNewest, CPDFXRef** table) {
  if (table) *table = nullptr;
  if (num == -1) return nullptr;
  for (size_t i = skipNewest ? 1 : 0; i < m_->xrefs.size(); ++i) {
    if (CPDFXRefEntry* entry = m_->xrefs[i]->GetEntry(num)) {
      if (table) *table = m_->xrefs[i].get();
      return entry;
    }
  }
  return nullptr;
}

bool CPDFDoc::RegistObj(std::unique_ptr<CPDFObject> obj, CPDFObjRef* ref) {
  ClearError();
  try {
    CPDFBody* body = GetBody();
    if (!body) Throw(kModule, "RegistObj", kInternalError, "CPDFDoc::GetBody()");
    CPDFXRef* xref = GetXRef();
    if (!xref) Throw(kModule, "RegistObj", kInternalError, "CPDFDoc::GetXRef()");
    CPDFTrailer* trailer = GetTrailer();
    if (!trailer) Throw(kModule, "RegistObj", kInternalError, "CPDFDoc::GetTrailer()");
    if (!obj) Throw(kModule, "RegistObj", kUserError, "no object");

    if (ref && ref->IsDefined()) {
      CPDFBody* holder = nullptr;
      const CPDFObject* old = FindObj(*ref, false, &holder);
      if (!old) Throw(kModule, "RegistObj", kInternalError, "CPDFDoc::FindObj()");
      // A dictionary read from the input and re-filed as its typed class has handed its whole
      // content over and is left empty: the new object is still what the input holds.
      const auto* oldDict = dynamic_cast<const CPDFDict*>(old);
      const bool rebound = holder->IsPristine(*ref) && oldDict && oldDict->Count() == 0 &&
                           !old->IsType(kTypeStream) && obj->IsType(kTypeDict);
      holder->SetObj(*ref, std::move(obj), rebound);
      return true;
    }

    // Body and table hand out the same next number only while they span the same numbers.
    body->Grow(xref->Size());
    xref->Grow(body->Size());
    CPDFObjRef identity;
    if (!IsFDF() && xref->FreeHead() != 0) {
      CPDFXRefEntry* entry = xref->GetEntry(xref->FreeHead());
      // A head that names no free entry (a number in use, or one retired at the last
      // generation) is a broken free list; the object then takes a new number rather than
      // failing, or taking a number that is in use.
      if (entry && !entry->InUse() && entry->Gen() < CPDFXRef::kMaxGeneration) {
        identity.Set(entry->Num(), entry->Gen());
        body->SetObj(identity, std::move(obj));
        xref->SetFreeHead(static_cast<int32_t>(entry->Offset()));
        entry->SetOffset(0);
        entry->SetInUse(true);
      }
    }
    if (!identity.IsDefined()) identity = RegistAtNewNumber(std::move(obj));
    if (ref) *ref = identity;
    return true;
  } catch (...) {
    KeepCurrentError(m_->error, kModule, "RegistObj");
  }
  return false;
}

CPDFObjRef CPDFDoc::RegistAtNewNumber(std::unique_ptr<CPDFObject> obj) {
  CPDFBody* body = GetBody();
  CPDFXRef* xref = GetXRef();
  CPDFTrailer* trailer = GetTrailer();
  if (!body || !xref || !trailer) Throw(kModule, "RegistObj", kInternalError, "CPDFDoc::GetBody()");
  if (!IsFDF() && !trailer->Get_Size()) {
    Throw(kModule, "RegistObj", kInternalError, "CPDFTrailer::Get_Size()");
  }
  // Body and table hand out the same next number only while they span the same numbers.
  body->Grow(xref->Size());
  xref->Grow(body->Size());
  const int32_t num = body->AddObj(std::move(obj));
  if (xref->AddEntry(0, 0, true) != num) {
    Throw(kModule, "RegistObj", kInternalError, "CPDFXRef::AddEntry()");
  }
  if (!IsFDF() && !trailer->Set_Size(std::make_unique<CPDFInt>(num + 1))) {
    Throw(kModule, "RegistObj", kInternalError, "CPDFTrailer::Set_Size()");
  }
  return CPDFObjRef(num, 0);
}

bool CPDFDoc::UpdateObj(const CPDFObjRef& ref) {
  ClearError();
  try {
    if (!ref.IsDefined()) Throw(kModule, "UpdateObj", kUserError, kUndefined);
    CPDFBody* body = GetBody();
    if (!body) Throw(kModule, "UpdateObj", kUserError, "CPDFDoc::GetBody()");
    CPDFXRef* xref = GetXRef();
    if (!xref) Throw(kModule, "UpdateObj", kUserError, "CPDFDoc::GetXRef()");
    if (body->GetObj(ref)) {
      body->MarkChanged(ref);
    } else {
      CPDFBody* older = nullptr;
      if (!FindObj(ref, true, &older))
        Throw(kModule, "UpdateObj", kUserError, "CPDFDoc::FindObj()");
      body->SetObj(ref, older->DetachObj(ref));
    }
    if (!xref->GetEntry(ref.Num())) {
      if (!FindEntry(ref.Num(), true)) {
        Throw(kModule, "UpdateObj", kUserError, "CPDFDoc::FindEntry()");
      }
      if (!xref->SetEntry(CPDFXRefEntry(ref.Num(), ref.Gen(), 0, true))) {
        Throw(kModule, "UpdateObj", kUserError, "CPDFXRef::SetEntry()");
      }
    } else {
      try {
        xref->UpdateEntry(ref.Num());
      } catch (...) {
        Throw(kModule, "UpdateObj", kUserError, "CPDFXRef::UpdateEntry()");
      }
    }
    return true;
  } catch (...) {
    KeepCurrentError(m_->error, kModule, "UpdateObj");
  }
  return false;
}

void CPDFDoc::DeleteObj(const CPDFObjRef& ref) {
  if (!ref.IsDefined()) return;
  for (auto& body : m_->bodies) body->DeleteObj(ref);
  CPDFXRef* xref = GetXRef();
  if (!xref) return;
  try {
    if (!xref->GetEntry(ref.Num())) {
      CPDFXRefEntry* older = FindEntry(ref.Num(), true);
      if (!older || !older->InUse()) return;
      xref->SetEntry(*older);
    }
    xref->FreeEntry(ref.Num());
  } catch (...) {
    // A free list that the file left broken: the number is retired without being linked in.
    if (CPDFXRefEntry* entry = xref->GetEntry(ref.Num())) {
      entry->SetInUse(false);
      entry->SetOffset(0);
    }
  }
}

int64_t CPDFDoc::StoreObj(const CPDFObjRef& ref, const CPDFObject& obj) {
  ClearError();
  try {
    if (!ref.IsDefined()) Throw(kModule, "StoreObj", kUserError, kUndefined);
    if (!m_->out) Throw(kModule, "StoreObj", kInternalError, "CPDFDoc::Save()");
    const int64_t position = m_->out->Position();
    char header[CPDFObjRef::kObjHeaderSize];
    m_->out->WriteBytes(header, ref.ObjHeader(header));
    *m_->out << endl;
    std::unique_ptr<CPDFCryptContext> crypt = WriteCrypt(ref);
    obj.Serialize(*m_->out, crypt.get());
    *m_->out << endl << "endobj" << endl;
    return position;
  } catch (...) {
    KeepCurrentError(m_->error, kModule, "StoreObj");
  }
  return -1;
}

void CPDFDoc::DropReplacedObjs() {
  for (auto& body : m_->bodies) body->DropRetired();
}

bool CPDFDoc::UnloadObj(const CPDFObjRef& ref) {
  CPDFBody* holder = nullptr;
  if (!ref.IsDefined() || !FindObj(ref, false, &holder) || !holder->IsPristine(ref)) return false;
  if (std::find(m_->loading.begin(), m_->loading.end(), ref.Num()) != m_->loading.end())
    return false;
  holder->DetachObj(ref);
  return true;
}

bool CPDFDoc::ReleaseObj(const CPDFObjRef& ref, bool force) {
  ClearError();
  try {
    CPDFBody* holder = nullptr;
    CPDFObject* obj = FindObj(ref, false, &holder);
    if (!obj || (!force && !obj->m_releasable)) return true;
    // Past this depth the rest of a long chain simply stays in memory.
    if (ReleaseTooDeep()) return true;
    const bool changed = holder == GetBody();
    if (m_->saveCalled) {
      const CPDFXRefEntry* entry = GetXRef() ? GetXRef()->GetEntry(ref.Num()) : nullptr;
      // Only objects that the output will list are written; an unchanged object of an older
      // section stays readable from the input.
      if (entry && entry->InUse() && entry->Gen() == ref.Gen()) {
        WriteOutputObj(ref, *obj, true, "ReleaseObj");
      } else if (changed) {
        return true;
      }
    } else if (changed) {
      // A new or changed object exists only in memory until it is saved; dropping it would
      // lose it.
      return true;
    }
    std::unique_ptr<CPDFObject> owned = holder->DetachObj(ref);
    bool released = false;
    try {
      released = owned->Release(this);
    } catch (...) {
      released = false;
    }
    if (!released) Throw(kModule, "ReleaseObj", kInternalError, "CPDFObject::Release()");
    return true;
  } catch (...) {
    KeepCurrentError(m_->error, kModule, "ReleaseObj");
  }
  return false;
}

}  // namespace quarn
