#include "pdf/document/linearization.h"

#include "pdf/document/body.h"
#include "pdf/document/doc.h"
#include "pdf/document/doc_members.h"
#include "pdf/document/pages.h"
#include "pdf/document/trailer.h"
#include "pdf/document/xref.h"
#include "pdf/object/limits.h"
#include "pdf/object/walk_guard.h"

namespace quarn {

namespace {

constexpr char kModule[] = "CPDFDoc";
constexpr const char* kParamNumbers[] = {"Linearized", "L", "O", "E", "N", "T"};

// An entry that is a reference to a number becomes a direct integer; false when the entry is
// missing (and required) or not a number.
bool DirectInt(CPDFObjHolder* doc, CPDFDict& dict, const char* key, bool required) {
  CPDFAtom* atom = dict.Lookup(key);
  if (!atom) return !required;
  CPDFNumber* number = dict.GetNumber(doc, key);
  if (!number) return false;
  if (atom->IsRef()) dict.Insert(key, std::make_unique<CPDFInt>(number->Int64Value()));
  return true;
}

}  // namespace

bool IsLineaParams(CPDFObjHolder* doc, CPDFObject* value) {
  CPDFDict* dict =
      value && value->TypeCode() == kTypeDict ? static_cast<CPDFDict*>(value) : nullptr;
  if (!dict) return false;
  for (const char* key : kParamNumbers) {
    if (!dict->GetNumber(doc, key)) return false;
  }
  return dict->GetArray(doc, "H") != nullptr;
}

bool CPDFLineaParams::Realize(CPDFObjHolder* doc, CPDFObject& source) {
  BindDoc(doc);
  SwapContent(source);
  for (const char* key : kParamNumbers) {
    if (!DirectInt(doc, *this, key, true)) return false;
  }
  if (!DirectInt(doc, *this, "P", false)) return false;
  CPDFArray* hints = GetArray(doc, "H");
  if (!hints || hints->Count() == 0) return false;
  for (size_t i = 0; i < hints->Count(); ++i) {
    CPDFNumber* number = hints->GetNumber(doc, static_cast<int>(i));
    if (!number) return false;
    if (hints->At(i)->IsRef()) hints->Replace(i, std::make_unique<CPDFInt>(number->Int64Value()));
  }
  return true;
}

bool IsHintStream(CPDFObjHolder* doc, CPDFObject* value) {
  if (!value || value->TypeCode() != kTypeStream) return false;
  return static_cast<CPDFStream*>(value)->GetNumber(doc, "S") != nullptr;
}

bool CPDFHintStream::Realize(CPDFObjHolder* doc, CPDFObject& source) {
  BindDoc(doc);
  BindDoc(doc);
  SwapContent(source);
  if (!IsHintStream(doc, this)) return false;
  for (const char* key : {"P", "S", "T", "O", "A", "E", "V", "I", "C"}) {
    if (!DirectInt(doc, *this, key, false)) return false;
  }
  return true;
}

// ---- CPDFDoc::Linearize / LinearizeObj ---------------------------------------------------------

bool CPDFDoc::Linearize() {
  ClearError();
  try {
    const int count = GetPageCount();
    if (count < 2) return true;
    m_->linBodies.insert(m_->linBodies.begin(), std::make_unique<CPDFBody>(this));
    m_->linXRefs.insert(m_->linXRefs.begin(), std::make_unique<CPDFXRef>(this));
    auto trailer = std::make_unique<CPDFTrailer>(this);
    trailer->Dict().Insert("Size", std::make_unique<CPDFInt>(1));
    m_->linTrailers.insert(m_->linTrailers.begin(), std::move(trailer));
    if (!m_->objRefDict) m_->objRefDict = std::make_unique<CPDFObjRefDict>();
    for (int position = 1; position < count; ++position) {
      CPDFObjRef ref;
      if (!GetPage(position, &ref))
        Throw(kModule, "Linearize", kInternalError, "CPDFDoc::GetPage()");
      if (!LinearizeObj(ref, true)) {
        Throw(kModule, "Linearize", kInternalError, "CPDFDoc::LinearizeObj()");
      }
    }
    return true;
  } catch (...) {
    KeepCurrentError(m_->error, kModule, "Linearize");
  }
  return false;
}

bool CPDFDoc::LinearizeObj(const CPDFObjRef& ref, bool force) {
  ClearError();
  try {
    CPDFBody* body = GetBody();
    if (!body) Throw(kModule, "LinearizeObj", kInternalError, "CPDFDoc::GetBody()");
    CPDFTrailer* trailer = GetTrailer();
    if (!trailer) Throw(kModule, "LinearizeObj", kInternalError, "CPDFDoc::GetTrailer()");
    if (m_->linBodies.empty() || m_->linXRefs.empty()) {
      Throw(kModule, "LinearizeObj", kInternalError, "CPDFDoc::GetBody()");
    }
    // An object already moved was reached again through a cycle of references.
    if (m_->objRefDict && m_->objRefDict->Find(ref)) return true;
    CPDFObject* obj = body->GetObj(ref);
    if (!obj) {
      // The walk meets objects that were never loaded; they stay where the tables find them.
      if (!force) return true;
      Throw(kModule, "LinearizeObj", kInternalError, "CPDFBody::GetObj()");
    }
    if (!force && !obj->m_relocatable) return true;
    if (!trailer->Get_Size())
      Throw(kModule, "LinearizeObj", kInternalError, "CPDFTrailer::Get_Size()");
    // A chain of references this deep is left where it is rather than fail the whole walk.
    if (WalkDepthGuard::Depth() + limits::kMaxNesting + 8 >= limits::kMaxWalkDepth) return true;
    CPDFBody& linBody = *m_->linBodies.front();
    CPDFXRef& linXRef = *m_->linXRefs.front();
    linBody.Grow(linXRef.Size());
    linXRef.Grow(linBody.Size());
    std::unique_ptr<CPDFObject> owned = body->DetachObj(ref);
    CPDFObject* moved = owned.get();
    const int32_t num = linBody.AddObj(std::move(owned));
    if (linXRef.AddEntry(0, 0, true) != num) {
      Throw(kModule, "LinearizeObj", kInternalError, "CPDFXRef::AddEntry()");
    }
    trailer->Set_Size(std::make_unique<CPDFInt>(num + 1));
    if (!m_->objRefDict) m_->objRefDict = std::make_unique<CPDFObjRefDict>();
    if (!m_->objRefDict->Insert(ref, CPDFObjRef(num, 0))) {
      Throw(kModule, "LinearizeObj", kInternalError, "CPDFObjRefDict::Insert()");
    }
    bool walked = false;
    try {
      walked = moved->Linearize(this);
    } catch (...) {
      walked = false;
    }
    if (!walked) Throw(kModule, "LinearizeObj", kInternalError, "CPDFObject::Linearize()");
    return true;
  } catch (...) {
    KeepCurrentError(m_->error, kModule, "LinearizeObj");
  }
  return false;
}

}  // namespace quarn
