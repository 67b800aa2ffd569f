// Template bodies of the binding helpers.
#pragma once

namespace quarn {

// Every typed class offers: bool Realize(CPDFDoc*, CPDFObject& source), which takes over the
// source's content (SwapContent) and binds its known entries.
template <class T>
T* BindValue(CPDFDoc* doc, CPDFObject* value, const CPDFObjRef& ref, Recognizer recognize,
             bool* failed) {
  if (failed) *failed = false;
  if (!value) return nullptr;
  if (T* already = dynamic_cast<T*>(value)) return already;
  if (recognize && !recognize(doc, value)) return nullptr;
  auto typed = std::make_unique<T>();
  typed->CopyFlagsFrom(*value);
  if (!typed->Realize(doc, *value)) {
    // Give the content back so that the holder keeps its value as it was.
    value->SwapContent(*typed);
    if (failed) *failed = true;
    return nullptr;
  }
  T* result = typed.get();
  if (ref.IsDefined()) {
    if (!ReplaceIndirect(doc, ref, std::move(typed))) {
      if (failed) *failed = true;
      return nullptr;
    }
  } else {
    return nullptr;  // a direct value needs its holder; use BindEntry/BindElement
  }
  return result;
}

template <class T>
bool BindEntry(CPDFDoc* doc, CPDFDict& holder, std::string_view key, Recognizer recognize,
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
bool BindElement(CPDFDoc* doc, CPDFArray& holder, size_t index, Recognizer recognize,
                 T** bound) {
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
