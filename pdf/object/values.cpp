// Construction, flags, names and the container operations of the value classes: resolving
// through the document, the Duplicate walk, Release, Linearize and Clone. Writing is in
// serialize.cpp, reading in parser.cpp.
#include "pdf/object/values.h"

#include <new>

#include "pdf/object/exception.h"
#include "pdf/object/typed_dict.h"
#include "pdf/object/walk_guard.h"

namespace quarn {

namespace {

// Contents may only move between objects of one value class (a dictionary's entries into a
// stream would leave the stream's data behind).
template <class T>
T& SameValueClass(const char* label, const CPDFObject& self, CPDFObject& other) {
  auto* same = dynamic_cast<T*>(&other);
  if (!same || other.TypeCode() != self.TypeCode()) {
    Throw(label, "SwapContent", kInternalError, "");
  }
  return *same;
}

// A new, empty object of the class of `self` (a typed class gives its own class, tied to
// `target`), with the flags of `self`.
template <class T>
std::unique_ptr<CPDFObject> EmptyCopyOf(const T& self, CPDFObjHolder* target, const char* label,
                                        T** typed) {
  std::unique_ptr<CPDFObject> copy = self.NewEmpty(target);
  *typed = dynamic_cast<T*>(copy.get());
  if (!*typed) Throw(label, "Duplicate", kInternalError, "");
  copy->CopyFlagsFrom(self);
  return copy;
}

// One step of the Duplicate walk for an entry whose resolved value is `value` (reached through
// `ref` when the entry was a reference). Returns the atom to store in the copy, or nullptr when
// the entry is left out. `map` remembers source identity -> target identity; an identity whose
// target is still undefined is being copied further up the walk, so meeting it again is a cycle.
std::unique_ptr<CPDFAtom> CopyEntry(const char* label, CPDFObjHolder* target, CPDFObjHolder* source,
                                    DuplicateMap& map, CPDFObject* value, const CPDFObjRef& ref) {
  if (!value) Throw(label, "Duplicate", kInternalError, "CPDFDoc::GetObj()");
  if (!value->m_copyWithContainer) return nullptr;
  if (!ref.IsDefined()) return value->DuplicateWith(target, source, map);

  const auto key = std::make_pair(ref.Num(), ref.Gen());
  auto found = map.find(key);
  if (found != map.end()) {
    if (found->second.IsDefined()) return std::make_unique<CPDFObjRef>(found->second);
    // A cycle (a page and its parent, an outline and its siblings). Without a target document
    // it could only be copied forever; with one, the object that is still being copied gets its
    // number now and is filed under it when its copy is done.
    if (!target) Throw(label, "Duplicate", kInternalError, "");
    CPDFObjRef reserved;
    if (!target->RegistObj(std::make_unique<CPDFNull>(), &reserved)) {
      Throw(label, "Duplicate", kInternalError, "CPDFDoc::RegistObj()");
    }
    found->second = reserved;
    return std::make_unique<CPDFObjRef>(reserved);
  }

  map.emplace(key, CPDFObjRef());  // in progress
  std::unique_ptr<CPDFObject> copy;
  try {
    copy = value->DuplicateWith(target, source, map);
  } catch (...) {
    map.erase(key);
    throw;
  }
  if (!target) {
    // Nothing to file it in: the copy is stored directly, and a second reference to the same
    // object is copied again.
    map.erase(key);
    return copy;
  }
  CPDFObjRef used = map[key];  // defined when a cycle reserved the number
  if (!target->RegistObj(std::move(copy), &used)) {
    map.erase(key);
    Throw(label, "Duplicate", kInternalError, "CPDFDoc::RegistObj()");
  }
  map[key] = used;
  return std::make_unique<CPDFObjRef>(used);
}

// Release of one container entry: references go to the document, direct values recurse.
void ReleaseEntry(const char* label, CPDFObjHolder* doc, CPDFAtom& atom) {
  if (atom.IsRef()) {
    if (doc && !doc->ReleaseObj(static_cast<CPDFObjRef&>(atom), false)) {
      Throw(label, "Release", kInternalError, "CPDFDoc::ReleaseObj()");
    }
    return;
  }
  if (!static_cast<CPDFObject&>(atom).Release(doc)) {
    Throw(label, "Release", kInternalError, "CPDFObject::Release()");
  }
}

// Linearization of one container entry: referenced objects are moved (not forced), direct
// values recurse.
void LinearizeEntry(const char* label, CPDFObjHolder* doc, CPDFAtom& atom) {
  if (atom.IsRef()) {
    if (doc && !doc->LinearizeObj(static_cast<CPDFObjRef&>(atom), false)) {
      Throw(label, "Linearize", kInternalError, "CPDFObject::Linearize()");
    }
    return;
  }
  if (!static_cast<CPDFObject&>(atom).Linearize(doc)) {
    Throw(label, "Linearize", kInternalError, "CPDFObject::Linearize()");
  }
}

}  // namespace

// ---- atoms and references ---------------------------------------------------------------------

const char* CPDFAtom::KindText() const {
  switch (m_kind) {
    case kAtomRef:
      return "Indirect Reference";
    case kAtomObject:
      return "Object";
    default:
      return "";
  }
}

std::unique_ptr<CPDFAtom> CPDFObjRef::CloneAtom() const {
  return std::make_unique<CPDFObjRef>(*this);
}

CPDFObject* Resolve(CPDFObjHolder* doc, CPDFAtom* atom, CPDFObjRef* ref) {
  if (ref) ref->Reset();
  if (!atom) return nullptr;
  if (atom->IsRef()) {
    const auto& target = static_cast<const CPDFObjRef&>(*atom);
    if (ref) *ref = target;
    return doc ? doc->GetObj(target) : nullptr;
  }
  return static_cast<CPDFObject*>(atom);
}

// ---- CPDFObject -------------------------------------------------------------------------------

const char* CPDFObject::TypeName() const {
  switch (m_type) {
    case kTypeBool:
      return "Bool";
    case kTypeNumber:
      return "Number";
    case kTypeInteger:
      return "Integer";
    case kTypeReal:
      return "Real";
    case kTypeString:
      return "String";
    case kTypeName:
      return "Name";
    case kTypeArray:
      return "Array";
    case kTypeDict:
      return "Dictionary";
    case kTypeStream:
      return "Stream";
    case kTypeNull:
      return "Null";
    default:
      return "";
  }
}

void CPDFObject::CopyFlagsFrom(const CPDFObject& o) {
  m_readFromFile = o.m_readFromFile;
  m_copyWithContainer = o.m_copyWithContainer;
  m_releasable = o.m_releasable;
  m_relocatable = o.m_relocatable;
}

std::unique_ptr<CPDFObject> CPDFObject::Duplicate(CPDFObjHolder* target, CPDFObjHolder* source) const {
  try {
    DuplicateMap map;
    return DuplicateWith(target, source, map);
  } catch (...) {
    // The partial copy has already been destroyed while the exception unwound.
    return nullptr;
  }
}

bool CPDFObject::Release(CPDFObjHolder*) { return true; }
bool CPDFObject::Linearize(CPDFObjHolder*) { return true; }

std::unique_ptr<CPDFObject> CPDFObject::Clone() const {
  std::unique_ptr<CPDFAtom> atom = CloneAtom();
  return std::unique_ptr<CPDFObject>(static_cast<CPDFObject*>(atom.release()));
}

CPDFObjHolder* CPDFObject::OwnHolder() const {
  const auto* bound = dynamic_cast<const CPDFHolderBinding*>(this);
  return bound ? bound->Doc() : nullptr;
}

bool ReplaceIndirect(CPDFObjHolder* holder, const CPDFObjRef& ref, std::unique_ptr<CPDFObject> obj) {
  if (!holder || !ref.IsDefined()) return false;
  CPDFObjRef identity = ref;
  return holder->RegistObj(std::move(obj), &identity);
}

std::unique_ptr<CPDFAtom> CPDFObject::CloneAtom() const {
  WalkDepthGuard guard("CPDFObject", "Clone");
  CPDFObjHolder* doc = OwnHolder();
  std::unique_ptr<CPDFObject> copy;
  if (const auto* dict = dynamic_cast<const CPDFDict*>(this)) {
    copy = NewEmpty(doc);
    auto* target = dynamic_cast<CPDFDict*>(copy.get());
    if (!target) Throw("CPDFDict", "Clone", kInternalError, "");
    // A typed class may fill its new object with defaults; the copy holds the source's only.
    target->ClearEntries();
    for (const auto& [key, atom] : *dict) target->Insert(key, atom->CloneAtom());
  } else if (const auto* array = dynamic_cast<const CPDFArray*>(this)) {
    copy = NewEmpty(doc);
    auto* target = dynamic_cast<CPDFArray*>(copy.get());
    if (!target) Throw("CPDFArray", "Clone", kInternalError, "");
    target->ClearItems();
    for (size_t i = 0; i < array->Count(); ++i) target->Push_Back(array->At(i)->CloneAtom());
  } else {
    // Scalars hold no references, so their copy needs no document.
    DuplicateMap unused;
    copy = DuplicateWith(doc, nullptr, unused);
  }
  copy->CopyFlagsFrom(*this);
  return copy;
}

// ---- scalars ----------------------------------------------------------------------------------

std::unique_ptr<CPDFObject> CPDFNull::DuplicateWith(CPDFObjHolder* target, CPDFObjHolder*,
                                                    DuplicateMap&) const {
  CPDFNull* copy = nullptr;
  return EmptyCopyOf(*this, target, "CPDFNull", &copy);
}

std::unique_ptr<CPDFObject> CPDFBool::DuplicateWith(CPDFObjHolder* target, CPDFObjHolder*,
                                                    DuplicateMap&) const {
  CPDFBool* copy = nullptr;
  auto result = EmptyCopyOf(*this, target, "CPDFBool", &copy);
  copy->m_value = m_value;
  return result;
}

void CPDFBool::SwapContent(CPDFObject& other) {
  std::swap(m_value, SameValueClass<CPDFBool>("CPDFBool", *this, other).m_value);
}

int32_t CPDFNumber::TruncateReal(double v) {
  if (!(v == v)) return 0;  // NaN
  if (v >= 2147483647.0) return INT32_MAX;
  if (v <= -2147483648.0) return INT32_MIN;
  return static_cast<int32_t>(v);
}

std::unique_ptr<CPDFObject> CPDFNumber::DuplicateWith(CPDFObjHolder* target, CPDFObjHolder*,
                                                      DuplicateMap&) const {
  CPDFNumber* copy = nullptr;
  auto result = EmptyCopyOf(*this, target, "CPDFNumber", &copy);
  if (m_fromFile) {
    copy->SetFromFile(m_int, m_real, m_fileValue, m_integerToken);
  } else {
    copy->SetBoth(m_int, m_real);
  }
  return result;
}

void CPDFNumber::SwapContent(CPDFObject& other) {
  auto& number = SameValueClass<CPDFNumber>("CPDFNumber", *this, other);
  std::swap(m_int, number.m_int);
  std::swap(m_real, number.m_real);
  std::swap(m_fileValue, number.m_fileValue);
  std::swap(m_fromFile, number.m_fromFile);
  std::swap(m_integerToken, number.m_integerToken);
}

std::unique_ptr<CPDFObject> CPDFString::DuplicateWith(CPDFObjHolder* target, CPDFObjHolder*,
                                                      DuplicateMap&) const {
  CPDFString* copy = nullptr;
  auto result = EmptyCopyOf(*this, target, "CPDFString", &copy);
  copy->Assign(View());
  copy->m_form = m_form;
  return result;
}

void CPDFString::SwapContent(CPDFObject& other) {
  auto& string = SameValueClass<CPDFString>("CPDFString", *this, other);
  m_str.swap(string.m_str);
  std::swap(m_form, string.m_form);
}

std::unique_ptr<CPDFObject> CPDFName::DuplicateWith(CPDFObjHolder* target, CPDFObjHolder*,
                                                    DuplicateMap&) const {
  CPDFName* copy = nullptr;
  auto result = EmptyCopyOf(*this, target, "CPDFName", &copy);
  copy->Assign(View());
  return result;
}

void CPDFName::SwapContent(CPDFObject& other) {
  m_str.swap(SameValueClass<CPDFName>("CPDFName", *this, other).m_str);
}

// ---- CPDFArray --------------------------------------------------------------------------------

bool CPDFArray::Push_Back(std::unique_ptr<CPDFAtom> atom) {
  if (!atom) Throw("CPDFArray", "Push_Back", kInternalError, "CPDFArray::Push_Back()");
  try {
    Append(std::move(atom));
  } catch (const std::bad_alloc&) {
    Throw("CPDFArray", "Push_Back", kInternalError, "CPDFArray::Push_Back()");
  }
  return true;
}

CPDFObject* CPDFArray::GetObj(CPDFObjHolder* doc, int index, CPDFObjRef* ref) const {
  if (ref) ref->Reset();
  if (doc) doc->ClearError();
  if (index < 0 || static_cast<size_t>(index) >= Count()) return nullptr;
  return Resolve(doc, At(static_cast<size_t>(index)), ref);
}

CPDFNumber* CPDFArray::GetNumber(CPDFObjHolder* doc, int index) const {
  return AsNumber(GetObj(doc, index));
}

std::unique_ptr<CPDFObject> CPDFArray::DuplicateWith(CPDFObjHolder* target, CPDFObjHolder* source,
                                                     DuplicateMap& map) const {
  WalkDepthGuard guard("CPDFArray", "Duplicate");
  CPDFArray* copy = nullptr;
  auto result = EmptyCopyOf(*this, target, "CPDFArray", &copy);
  for (size_t i = 0; i < Count(); ++i) {
    CPDFObjRef ref;
    CPDFObject* value = GetObj(source, static_cast<int>(i), &ref);
    if (auto element = CopyEntry("CPDFArray", target, source, map, value, ref)) {
      copy->Push_Back(std::move(element));
    }
  }
  return result;
}

void CPDFArray::SwapContent(CPDFObject& other) {
  SwapItems(SameValueClass<CPDFArray>("CPDFArray", *this, other));
}

bool CPDFArray::Release(CPDFObjHolder* doc) {
  WalkDepthGuard guard("CPDFArray", "Release");
  for (size_t i = 0; i < Count(); ++i) ReleaseEntry("CPDFArray", doc, *At(i));
  return true;
}

bool CPDFArray::Linearize(CPDFObjHolder* doc) {
  WalkDepthGuard guard("CPDFArray", "Linearize");
  for (size_t i = 0; i < Count(); ++i) LinearizeEntry("CPDFArray", doc, *At(i));
  return true;
}

// ---- CPDFDict ---------------------------------------------------------------------------------

bool CPDFDict::Insert(std::string_view key, std::unique_ptr<CPDFAtom> atom) {
  if (!atom) Throw("CPDFDict", "Insert", kInternalError, "CPDFDict::Insert()");
  try {
    Put(key, std::move(atom));
  } catch (const std::bad_alloc&) {
    Throw("CPDFDict", "Insert", kInternalError, "CPDFDict::Insert()");
  }
  return true;
}

CPDFObject* CPDFDict::GetValue(CPDFObjHolder* doc, std::string_view key, CPDFObjRef* ref) const {
  if (ref) ref->Reset();
  if (doc) doc->ClearError();
  return Resolve(doc, Find(key), ref);
}

bool CPDFDict::SetValue(CPDFObjHolder* doc, std::string_view key, std::unique_ptr<CPDFObject> value,
                        bool indirect, CPDFObjRef* ref) {
  if (doc) doc->ClearError();
  if (!value) return false;
  if (!indirect) return Insert(key, std::move(value));
  if (!doc) return false;  // an indirect object needs a document to live in
  CPDFObjRef used = ref ? *ref : CPDFObjRef();
  if (!doc->RegistObj(std::move(value), &used)) return false;
  if (ref) *ref = used;
  return Insert(key, std::make_unique<CPDFObjRef>(used));
}

bool CPDFDict::SetReference(std::string_view key, const CPDFObjRef& ref) {
  return Insert(key, std::make_unique<CPDFObjRef>(ref));
}

void CPDFDict::RemoveValue(CPDFObjHolder* doc, std::string_view key) {
  if (doc) doc->ClearError();
  // The document keeps no count of the references to its objects, so a dropped reference needs
  // no bookkeeping there: the object stays filed (and is written) until it is deleted itself.
  Detach(key);
}

CPDFNumber* CPDFDict::GetNumber(CPDFObjHolder* doc, std::string_view key, CPDFObjRef* ref) const {
  return AsNumber(GetValue(doc, key, ref));
}

CPDFName* CPDFDict::GetName(CPDFObjHolder* doc, std::string_view key) const {
  return AsName(GetValue(doc, key));
}

CPDFArray* CPDFDict::GetArray(CPDFObjHolder* doc, std::string_view key, CPDFObjRef* ref) const {
  return AsArray(GetValue(doc, key, ref));
}

CPDFDict* CPDFDict::GetDict(CPDFObjHolder* doc, std::string_view key, CPDFObjRef* ref) const {
  return AsDict(GetValue(doc, key, ref));
}

CPDFString* CPDFDict::GetString(CPDFObjHolder* doc, std::string_view key) const {
  return AsString(GetValue(doc, key));
}

bool CPDFDict::HasName(CPDFObjHolder* doc, std::string_view key, std::string_view value) const {
  const CPDFName* name = GetName(doc, key);
  return name && name->Equals(value);
}

void CPDFDict::DuplicateEntriesInto(CPDFDict& copy, CPDFObjHolder* target, CPDFObjHolder* source,
                                    DuplicateMap& map, bool mergeOnly) const {
  for (const auto& [key, atom] : *this) {
    if (mergeOnly && copy.Has(key)) continue;
    CPDFObjRef ref;
    CPDFObject* value = GetValue(source, key, &ref);
    if (auto entry = CopyEntry("CPDFDict", target, source, map, value, ref)) {
      copy.Insert(key, std::move(entry));
    }
  }
}

void CPDFDict::MergeWith(CPDFObjHolder* target, CPDFObjHolder* source, const CPDFDict& from,
                         DuplicateMap& map) {
  WalkDepthGuard guard("CPDFDict", "Duplicate");
  from.DuplicateEntriesInto(*this, target, source, map, true);
}

std::unique_ptr<CPDFObject> CPDFDict::DuplicateWith(CPDFObjHolder* target, CPDFObjHolder* source,
                                                    DuplicateMap& map) const {
  WalkDepthGuard guard("CPDFDict", "Duplicate");
  CPDFDict* copy = nullptr;
  auto result = EmptyCopyOf(*this, target, "CPDFDict", &copy);
  DuplicateEntriesInto(*copy, target, source, map, false);
  return result;
}

void CPDFDict::SwapContent(CPDFObject& other) {
  SwapEntries(SameValueClass<CPDFDict>("CPDFDict", *this, other));
}

bool CPDFDict::Release(CPDFObjHolder* doc) {
  WalkDepthGuard guard("CPDFDict", "Release");
  for (auto& entry : *this) ReleaseEntry("CPDFDict", doc, *entry.second);
  return true;
}

bool CPDFDict::Linearize(CPDFObjHolder* doc) {
  WalkDepthGuard guard("CPDFDict", "Linearize");
  for (auto& entry : *this) LinearizeEntry("CPDFDict", doc, *entry.second);
  return true;
}

}  // namespace quarn
