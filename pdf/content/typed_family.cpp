#include "pdf/content/typed_family.h"

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "pdf/document/doc.h"
#include "pdf/document/info_dict.h"
#include "pdf/object/geometry.h"
#include "pdf/object/limits.h"

namespace quarn {

namespace family_detail {

namespace {
thread_local std::vector<const CPDFObject*> t_binding;
}  // namespace

BindingScope::BindingScope(const CPDFObject* value) {
  // Beyond the nesting limit (a chain of "Next" actions, fields or halftones that no real
  // document builds) the rest stays plain; it is written back unchanged all the same.
  if (t_binding.size() >= static_cast<size_t>(limits::kMaxTypedNesting)) return;
  if (std::find(t_binding.begin(), t_binding.end(), value) != t_binding.end()) return;
  t_binding.push_back(value);
  m_entered = true;
}

BindingScope::~BindingScope() {
  if (m_entered) t_binding.pop_back();
}

}  // namespace family_detail

namespace {

// The rows of a class from its root base down to the class itself.
std::vector<const ClassRow*> Chain(const ClassRow& rules) {
  std::vector<const ClassRow*> chain;
  for (const ClassRow* s = &rules; s; s = s->base) chain.push_back(s);
  std::reverse(chain.begin(), chain.end());
  return chain;
}

// The row that names the entry holding `rules`'s class name: its nearest base that has one.
const ClassRow* DiscriminatorOwner(const ClassRow& rules) {
  for (const ClassRow* s = rules.base; s; s = s->base) {
    if (s->discriminator) return s;
  }
  return nullptr;
}

bool IsPresent(const CPDFObject* value) { return value && value->TypeCode() != kTypeNull; }

}  // namespace

CPDFObject* InheritedValue(CPDFObjHolder* doc, const CPDFDict& dict, std::string_view key) {
  const CPDFDict* node = &dict;
  std::vector<const CPDFDict*> seen;
  while (node) {
    if (CPDFObject* value = node->GetValue(doc, key); IsPresent(value)) return value;
    // A chain that loops, or one longer than any form, ends the search.
    if (seen.size() >= static_cast<size_t>(limits::kMaxFieldDepth) ||
        std::find(seen.begin(), seen.end(), node) != seen.end()) {
      return nullptr;
    }
    seen.push_back(node);
    node = node->GetDict(doc, "Parent");
  }
  return nullptr;
}

namespace {

// The row's discriminator check: the entry holds the class's name (or its number).
bool HasDiscriminator(const ClassRow& rules, CPDFObjHolder* doc, const CPDFDict& dict) {
  if (!rules.name || !*rules.name) return true;
  const ClassRow* owner = DiscriminatorOwner(rules);
  if (!owner) return true;
  const CPDFObject* value = owner->inherited ? InheritedValue(doc, dict, owner->discriminator)
                                             : dict.GetValue(doc, owner->discriminator);
  if (!owner->numbered) {
    const CPDFName* name = AsName(value);
    return name && name->Equals(rules.name);
  }
  const CPDFNumber* number = AsNumber(value);
  const long wanted = std::strtol(rules.name, nullptr, 10);
  return number && number->IntValue() == wanted &&
         number->RealValue() == static_cast<float>(number->IntValue());
}

bool HasRequired(const ClassRow& rules, CPDFObjHolder* doc, const CPDFDict& dict) {
  for (const RequiredEntry& entry : rules.required) {
    if (!entry.key) break;
    const CPDFObject* value = dict.GetValue(doc, entry.key);
    if (!IsPresent(value)) return false;
    if (entry.kinds && !value->IsType(entry.kinds)) return false;
  }
  return true;
}

bool HasType(const ClassRow& rules, CPDFObjHolder* doc, const CPDFDict& dict) {
  switch (rules.typeRule) {
    case TypeRule::kNone:
      return true;
    case TypeRule::kRequired:
      return dict.HasName(doc, "Type", rules.typeName);
    case TypeRule::kOptional:
      return !IsPresent(dict.GetValue(doc, "Type")) || dict.HasName(doc, "Type", rules.typeName);
  }
  return false;
}

// Resolves an entry for binding. A reference to an object that cannot be loaded reads as
// absent: binding is never the step that makes a damaged object fail its holder.
CPDFObject* ResolveForBinding(CPDFObjHolder* doc, CPDFAtom* atom, CPDFObjRef& ref) {
  ref.Reset();
  if (!atom) return nullptr;
  if (!atom->IsRef()) return static_cast<CPDFObject*>(atom);
  ref = *static_cast<CPDFObjRef*>(atom);
  if (!doc) return nullptr;
  CPDFObject* value = doc->GetObj(ref);
  if (!value) doc->ClearError();
  return value;
}

bool IsTyped(const CPDFObject* value) { return dynamic_cast<const CPDFStructBase*>(value) != nullptr; }

template <class Store>
bool BindAtom(CPDFObjHolder* doc, CPDFAtom* atom, int typeMask, FamilyMaker make, int kinds,
              Store store) {
  CPDFObjRef ref;
  CPDFObject* value = ResolveForBinding(doc, atom, ref);
  if (!value || !value->IsType(typeMask) || IsTyped(value)) return true;
  std::unique_ptr<CPDFObject> typed;
  switch (make(doc, *value, kinds, typed)) {
    case BindOutcome::kLeft:
      return true;
    case BindOutcome::kFailed:
      return false;
    case BindOutcome::kBound:
      break;
  }
  if (ref.IsDefined()) return ReplaceIndirect(doc, ref, std::move(typed));
  store(std::move(typed));
  return true;
}

// Dates are kept as they were read, so every string qualifies.
bool IsDateValue(CPDFObjHolder*, CPDFObject* value) { return AsString(value) != nullptr; }

}  // namespace

bool IsFDFHolder(CPDFObjHolder* doc) {
  const CPDFDoc* document = DocOf(doc);
  return document && document->IsFDF();
}

namespace {

// One row's rules, after its bases' (recognizers run for every element of every "Annots" array,
// so no list of rows is built here).
bool RecognizeRows(const ClassRow& row, CPDFObjHolder* doc, CPDFObject* value) {
  if (row.base && !RecognizeRows(*row.base, doc, value)) return false;
  const CPDFDict* dict = AsDict(value);
  if (dict && (!HasType(row, doc, *dict) || !HasDiscriminator(row, doc, *dict) ||
               !HasRequired(row, doc, *dict))) {
    return false;
  }
  return !row.extra || row.extra(doc, value);
}

}  // namespace

bool RecognizeRules(const ClassRow& rules, CPDFObjHolder* doc, CPDFObject* value) {
  if (!value || (rules.valueKinds && !value->IsType(rules.valueKinds))) return false;
  return RecognizeRows(rules, doc, value);
}

bool CreateRules(const ClassRow& rules, CPDFObjHolder* doc, CPDFObject& self) {
  if (auto* name = dynamic_cast<CPDFName*>(&self)) {
    name->Assign(rules.name);
    return true;
  }
  if (auto* array = dynamic_cast<CPDFArray*>(&self)) {
    if (*rules.name && array->Count() == 0) array->Push_Back(std::make_unique<CPDFName>(rules.name));
    return true;
  }
  auto* target = AsDict(&self);
  if (!target) return false;
  CPDFDict& dict = *target;
  for (const ClassRow* row : Chain(rules)) {
    if (row->typeName && !dict.SetValue(doc, "Type", std::make_unique<CPDFName>(row->typeName))) {
      return false;
    }
    const ClassRow* owner = DiscriminatorOwner(*row);
    if (row->name && *row->name && owner) {
      std::unique_ptr<CPDFObject> value;
      if (owner->numbered) {
        value = std::make_unique<CPDFInt>(static_cast<int32_t>(std::strtol(row->name, nullptr, 10)));
      } else {
        value = std::make_unique<CPDFName>(row->name);
      }
      if (!dict.SetValue(doc, owner->discriminator, std::move(value))) return false;
    }
    if (row->create && !row->create(doc, dict)) return false;
  }
  return true;
}

bool RealizeRules(const ClassRow& rules, CPDFObjHolder* doc, CPDFObject& self, CPDFObject& source) {
  // The content is taken over first in every case, so that a caller can give it back whole.
  if (auto* binding = dynamic_cast<CPDFHolderBinding*>(&self)) binding->BindDoc(doc);
  self.SwapContent(source);
  if (rules.valueKinds && !self.IsType(rules.valueKinds)) return false;
  auto* dict = AsDict(&self);
  if (!dict) return true;
  for (const ClassRow* row : Chain(rules)) {
    for (const TypedEntry& entry : row->typed) {
      if (!entry.key) break;
      if (!entry.bind(doc, *dict, entry.key)) return false;
    }
    if (row->eachEntry) {
      // Collect the keys first: binding replaces entries of the dictionary being walked.
      std::vector<std::string> keys;
      keys.reserve(dict->Count());
      for (const auto& entry : *dict) keys.push_back(entry.first);
      for (const std::string& key : keys) {
        if (!row->eachEntry(doc, *dict, key)) return false;
      }
    }
  }
  return true;
}

bool BindEntryWith(CPDFObjHolder* doc, CPDFDict& holder, std::string_view key, int typeMask,
                   FamilyMaker make, int kinds) {
  return BindAtom(doc, holder.Lookup(key), typeMask, make, kinds,
                  [&](std::unique_ptr<CPDFObject> obj) { holder.Put(key, std::move(obj)); });
}

bool BindElementWith(CPDFObjHolder* doc, CPDFArray& holder, size_t index, int typeMask,
                     FamilyMaker make, int kinds) {
  return BindAtom(doc, holder.At(index), typeMask, make, kinds,
                  [&](std::unique_ptr<CPDFObject> obj) { holder.Replace(index, std::move(obj)); });
}

bool BindEntryOrElements(CPDFObjHolder* doc, CPDFDict& holder, std::string_view key, int typeMask,
                         FamilyMaker make, int kinds) {
  CPDFObjRef ref;
  CPDFObject* value = ResolveForBinding(doc, holder.Lookup(key), ref);
  if (!value) return true;
  if (value->TypeCode() != kTypeArray || (typeMask & kTypeArray)) {
    return BindEntryWith(doc, holder, key, typeMask, make, kinds);
  }
  auto* array = static_cast<CPDFArray*>(value);
  for (size_t i = 0; i < array->Count(); ++i) {
    if (!BindElementWith(doc, *array, i, typeMask, make, kinds)) return false;
  }
  return true;
}

// ---- binders of the lower layers' data classes ---------------------------------------------------

namespace {

// T bound through the typed-value helpers of the object layer, under the family's loop guard.
template <class T>
BindOutcome MakeData(CPDFObjHolder* doc, CPDFObject& value, Recognizer recognize,
                     std::unique_ptr<CPDFObject>& out) {
  return MakeRecognized<T>(doc, value, recognize(doc, &value), out);
}

BindOutcome MakeDate(CPDFObjHolder* doc, CPDFObject& value, int, std::unique_ptr<CPDFObject>& out) {
  return MakeData<CPDFDate>(doc, value, IsDateValue, out);
}
BindOutcome MakeRect(CPDFObjHolder* doc, CPDFObject& value, int, std::unique_ptr<CPDFObject>& out) {
  return MakeData<CPDFRect>(doc, value, IsRect, out);
}
BindOutcome MakeMatrix(CPDFObjHolder* doc, CPDFObject& value, int, std::unique_ptr<CPDFObject>& out) {
  return MakeData<CPDFMatrix>(doc, value, IsMatrix, out);
}
BindOutcome MakeResDict(CPDFObjHolder* doc, CPDFObject& value, int, std::unique_ptr<CPDFObject>& out) {
  return MakeData<CPDFResDict>(doc, value, IsResDict, out);
}

}  // namespace

bool BindDateEntry(CPDFObjHolder* doc, CPDFDict& holder, std::string_view key) {
  return BindEntryWith(doc, holder, key, kTypeString, MakeDate);
}
bool BindRectEntry(CPDFObjHolder* doc, CPDFDict& holder, std::string_view key) {
  return BindEntryWith(doc, holder, key, kTypeArray, MakeRect);
}
bool BindMatrixEntry(CPDFObjHolder* doc, CPDFDict& holder, std::string_view key) {
  return BindEntryWith(doc, holder, key, kTypeArray, MakeMatrix);
}
bool BindResDictEntry(CPDFObjHolder* doc, CPDFDict& holder, std::string_view key) {
  return BindEntryWith(doc, holder, key, kTypeDict, MakeResDict);
}

}  // namespace quarn
