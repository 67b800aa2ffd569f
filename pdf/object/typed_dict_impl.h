// Template bodies of the binding helpers (included at the end of typed_dict.h).
#pragma once

#include "pdf/object/typed_dict.h"

#include <type_traits>

namespace quarn {

// Every typed class offers: bool Realize(CPDFObjHolder*, CPDFObject& source). Its first step, before
// anything that can fail, is the root step of its chain of bases: bind the document and take over
// the source's content (SwapContent); it then binds its known entries. The helpers below rely on
// that order: when Realize fails, swapping the content back restores the holder's value as it
// was, and the half-bound typed object dies empty.
template <class T>
T* BindValue(CPDFObjHolder* doc, CPDFObject* value, const CPDFObjRef& ref, Recognizer recognize,
             bool* failed) {
  if (failed) *failed = false;
  if (!value) return nullptr;
  if (T* already = dynamic_cast<T*>(value)) return already;
  // Only an indirect object can be replaced here; a direct value is replaced by its holder
  // (BindEntry/BindElement), so leave it untouched rather than empty it.
  if (!ref.IsDefined()) return nullptr;
  if (recognize && !recognize(doc, value)) return nullptr;
  // One object cannot be a piece of the document's structure and data at once (a page that
  // names itself or its parent as its resources): re-typing it would empty the object that its
  // first user holds.
  const bool valueIsStructure = dynamic_cast<CPDFDocStruct*>(value) != nullptr;
  const bool valueIsData = dynamic_cast<CPDFDataStruct*>(value) != nullptr;
  if ((valueIsStructure && !std::is_base_of_v<CPDFDocStruct, T>) ||
      (valueIsData && !std::is_base_of_v<CPDFDataStruct, T>)) {
    if (failed) *failed = true;
    return nullptr;
  }
  auto typed = std::make_unique<T>();
  typed->CopyFlagsFrom(*value);
  if (!typed->Realize(doc, *value)) {
    // Give the content back so that the document keeps its object as it was.
    value->SwapContent(*typed);
    if (failed) *failed = true;
    return nullptr;
  }
  T* result = typed.get();
  if (!ReplaceIndirect(doc, ref, std::move(typed))) {
    if (failed) *failed = true;
    return nullptr;
  }
  return result;
}

template <class T>
bool BindEntry(CPDFObjHolder* doc, CPDFDict& holder, std::string_view key, Recognizer recognize,
               T** bound) {
  if (bound) *bound = nullptr;
  CPDFAtom* atom = holder.Lookup(key);
  if (!atom) return true;
  if (atom->IsRef()) {
    CPDFObjRef ref = *static_cast<CPDFObjRef*>(atom);
    CPDFObject* value = Resolve(doc, atom);
    bool failed = false;
    T* typed = BindValue<T>(doc, value, ref, recognize, &failed);
    if (bound) *bound = typed;
    return !failed;
  }
  auto* value = static_cast<CPDFObject*>(atom);
  if (T* already = dynamic_cast<T*>(value)) {
    if (bound) *bound = already;
    return true;
  }
  if (recognize && !recognize(doc, value)) return true;
  auto typed = std::make_unique<T>();
  typed->CopyFlagsFrom(*value);
  if (!typed->Realize(doc, *value)) {
    value->SwapContent(*typed);
    return false;
  }
  if (bound) *bound = typed.get();
  holder.Put(key, std::move(typed));
  return true;
}

template <class T>
bool BindElement(CPDFObjHolder* doc, CPDFArray& holder, size_t index, Recognizer recognize, T** bound) {
  if (bound) *bound = nullptr;
  CPDFAtom* atom = holder.At(index);
  if (!atom) return true;
  if (atom->IsRef()) {
    CPDFObjRef ref = *static_cast<CPDFObjRef*>(atom);
    bool failed = false;
    T* typed = BindValue<T>(doc, Resolve(doc, atom), ref, recognize, &failed);
    if (bound) *bound = typed;
    return !failed;
  }
  auto* value = static_cast<CPDFObject*>(atom);
  if (T* already = dynamic_cast<T*>(value)) {
    if (bound) *bound = already;
    return true;
  }
  if (recognize && !recognize(doc, value)) return true;
  auto typed = std::make_unique<T>();
  typed->CopyFlagsFrom(*value);
  if (!typed->Realize(doc, *value)) {
    value->SwapContent(*typed);
    return false;
  }
  if (bound) *bound = typed.get();
  holder.Replace(index, std::move(typed));
  return true;
}

}  // namespace quarn
