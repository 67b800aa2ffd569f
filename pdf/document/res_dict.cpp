#include "pdf/document/res_dict.h"

#include <map>
#include <utility>

#include "pdf/document/proc_set.h"
#include "pdf/document/doc.h"
#include "pdf/object/limits.h"

namespace quarn {

namespace {

constexpr const char* kModule = "CPDFResDict";

// The categories in the order in which loading visits them, with the value kinds each expects.
struct CategoryInfo {
  const char* key;
  int typeMask;
};
constexpr CategoryInfo kLoadOrder[] = {
    {"ColorSpace", kTypeArray},
    {"XObject", kTypeStream},
    {"ExtGState", kTypeDict},
    {"Font", kTypeDict},
    {"Pattern", kTypeDict | kTypeStream},
    {"ProcSet", kTypeName},
    {"Properties", kTypeDict},
    {"Shading", kTypeDict | kTypeStream},  // mesh shadings (types 4 to 7) are streams
};

// Highest number tried when a resource name is made (prefix + 1 .. prefix + 4095).
constexpr int kMaxResourceNumber = 4095;

// Counts the resource dictionaries being loaded one inside another.
class NestingGuard {
 public:
  NestingGuard() { ++s_depth; }
  ~NestingGuard() { --s_depth; }
  NestingGuard(const NestingGuard&) = delete;
  NestingGuard& operator=(const NestingGuard&) = delete;
  bool TooDeep() const { return s_depth > limits::kMaxResourceNesting; }

 private:
  static inline thread_local int s_depth = 0;
};

bool IsTyped(const CPDFObject* value) {
  return dynamic_cast<const CPDFStructBase*>(value) != nullptr;
}

// Resolves `atom`. A reference to an object that the document does not hold reads as absent;
// only a real load failure (recorded in the document's error record) is an error.
bool ResolveForLoading(CPDFObjHolder* doc, CPDFAtom* atom, CPDFObject*& value, CPDFObjRef& ref) {
  ref.Reset();
  value = nullptr;
  if (!atom) return true;
  if (!atom->IsRef()) {
    value = static_cast<CPDFObject*>(atom);
    return true;
  }
  ref = *static_cast<CPDFObjRef*>(atom);
  if (!doc) return true;
  value = doc->GetObj(ref);
  return value != nullptr || !doc->LastError().IsError();
}

// Puts `typed` where the plain value was: under the same indirect identity, or into the holder.
template <class Store>
bool PutInPlace(CPDFObjHolder* doc, const CPDFObjRef& ref, std::unique_ptr<CPDFObject> typed,
                Store store) {
  if (ref.IsDefined()) return ReplaceIndirect(doc, ref, std::move(typed));
  store(std::move(typed));
  return true;
}

}  // namespace

// ---- factories ---------------------------------------------------------------------------------

ResourceFactory FindResourceFactory(CPDFObjHolder* doc, std::string_view key) {
  const CPDFDoc* document = DocOf(doc);
  return document && document->Lib() ? document->Lib()->FindResourceFactory(key) : nullptr;
}

bool LoadEntryThrough(CPDFObjHolder* doc, CPDFDict& holder, std::string_view key, int typeMask,
                      ResourceFactory factory, int kinds) {
  CPDFObject* value = nullptr;
  CPDFObjRef ref;
  if (!ResolveForLoading(doc, holder.Lookup(key), value, ref)) return false;
  if (!value || !factory || !value->IsType(typeMask) || IsTyped(value)) return true;
  std::unique_ptr<CPDFObject> typed = factory(doc, *value, kinds);
  if (!typed) return true;
  return PutInPlace(doc, ref, std::move(typed),
                    [&](std::unique_ptr<CPDFObject> obj) { holder.Put(key, std::move(obj)); });
}

bool LoadElementThrough(CPDFObjHolder* doc, CPDFArray& holder, size_t index, int typeMask,
                        ResourceFactory factory, int kinds) {
  CPDFObject* value = nullptr;
  CPDFObjRef ref;
  if (!ResolveForLoading(doc, holder.At(index), value, ref)) return false;
  if (!value || !factory || !value->IsType(typeMask) || IsTyped(value)) return true;
  std::unique_ptr<CPDFObject> typed = factory(doc, *value, kinds);
  if (!typed) return true;
  return PutInPlace(doc, ref, std::move(typed), [&](std::unique_ptr<CPDFObject> obj) {
    holder.Replace(index, std::move(obj));
  });
}

CPDFObject* GetBoundEntry(CPDFObjHolder* doc, CPDFDict& holder, std::string_view key,
                          int typeMask, std::string_view factoryKey, CPDFObjRef* ref) {
  // A value that cannot be bound (or loaded) is answered as it is: binding on first use never
  // makes a getter fail where the plain value would do.
  LoadEntryThrough(doc, holder, key, typeMask, FindResourceFactory(doc, factoryKey), -1);
  return holder.GetValue(doc, key, ref);
}

CPDFArray* GetBoundElements(CPDFObjHolder* doc, CPDFDict& holder, std::string_view key,
                            int typeMask, std::string_view factoryKey, CPDFObjRef* ref) {
  CPDFArray* elements = AsArray(holder.GetValue(doc, key, ref));
  if (!elements) return nullptr;
  const ResourceFactory factory = FindResourceFactory(doc, factoryKey);
  if (!factory) return elements;
  for (size_t i = 0; i < elements->Count(); ++i) {
    LoadElementThrough(doc, *elements, i, typeMask, factory, -1);
  }
  if (doc) doc->ClearError();
  return elements;
}

// ---- loading -----------------------------------------------------------------------------------

bool IsResDict(CPDFObjHolder*, CPDFObject* value) { return value && value->TypeCode() == kTypeDict; }

bool CPDFResDict::Create(CPDFObjHolder* doc) {
  BindDoc(doc);
  return true;
}

bool CPDFResDict::Realize(CPDFObjHolder* doc, CPDFObject& source) {
  BindDoc(doc);
  SwapContent(source);
  NestingGuard nesting;
  // Forms whose resources hold forms, nested beyond any real document, keep their deeper
  // resources as plain values; they are written back unchanged all the same.
  if (nesting.TooDeep()) return true;
  for (const CategoryInfo& category : kLoadOrder) {
    const bool loaded =
        std::string_view(category.key) == "ProcSet" ? LoadProcSets() : LoadCategory(category.key);
    if (!loaded) return false;
  }
  return true;
}

bool CPDFResDict::LoadCategory(const char* category) {
  const ResourceFactory factory = FindResourceFactory(Doc(), category);
  if (!factory) return true;
  CPDFDict* entries = AsDict(GetValue(Doc(), category));
  if (!entries || entries->TypeCode() != kTypeDict) return true;
  int typeMask = 0;
  for (const CategoryInfo& info : kLoadOrder) {
    if (std::string_view(info.key) == category) typeMask = info.typeMask;
  }
  // Collect the names first: loading replaces entries of the dictionary being walked.
  std::vector<std::string> names;
  names.reserve(entries->Count());
  for (const auto& entry : *entries) names.push_back(entry.first);
  for (const std::string& name : names) {
    if (!LoadEntryThrough(Doc(), *entries, name, typeMask, factory, -1)) return false;
  }
  return true;
}

bool CPDFResDict::LoadProcSets() {
  CPDFArray* procSets = GetArray(Doc(), "ProcSet");
  if (!procSets) return true;
  auto makeProcSet = [](CPDFObjHolder* doc, CPDFObject& value, int) -> std::unique_ptr<CPDFObject> {
    auto typed = std::make_unique<CPDFProcSet>();
    typed->CopyFlagsFrom(value);
    if (!typed->Realize(doc, value)) return nullptr;
    return typed;
  };
  for (size_t i = 0; i < procSets->Count(); ++i) {
    if (!LoadElementThrough(Doc(), *procSets, i, kTypeName, makeProcSet, -1)) return false;
  }
  return true;
}

// ---- naming ------------------------------------------------------------------------------------

bool CPDFResDict::IsNamedCategory(std::string_view category) {
  for (const CategoryInfo& info : kLoadOrder) {
    if (category == info.key) return category != "ProcSet";
  }
  return false;
}

CPDFObject* CPDFResDict::FindResource(const char* category, const std::string& name) {
  if (!category || !IsNamedCategory(category)) return nullptr;
  CPDFDict* entries = AsDict(GetValue(Doc(), category));
  return entries ? entries->GetValue(Doc(), name) : nullptr;
}

bool CPDFResDict::MakeName(std::string& name, const CPDFResource& resource) {
  return MakeNameFor(resource.GetCategory(), resource.GetPrefix(), name);
}

bool CPDFResDict::MakeNameFor(const char* category, const char* prefix, std::string& name) {
  const std::string stem = prefix ? prefix : "";
  CPDFDict* entries =
      category && IsNamedCategory(category) ? AsDict(GetValue(Doc(), category)) : nullptr;
  for (int i = 1; i <= kMaxResourceNumber; ++i) {
    std::string candidate = Format("%s%d", stem.c_str(), i);
    // A name whose entry is present but refers to a missing object is still taken: handing it
    // out again would make the page's own uses of that name draw the new resource.
    if (entries && entries->Lookup(candidate)) continue;
    if (FindResource(category, candidate)) continue;
    name = std::move(candidate);
    return true;
  }
  if (CPDFObjHolder* doc = Doc()) {
    doc->LastError().Keep(CPDFException(kModule, "MakeName", kUserError,
                                        Format("no free resource name: %s1 to %s%d are taken",
                                               stem.c_str(), stem.c_str(), kMaxResourceNumber)));
  }
  return false;
}

// ---- adding ------------------------------------------------------------------------------------

CPDFDict& CPDFResDict::CategoryForAdding(const char* category) {
  CPDFObjRef ref;
  CPDFDict* entries = AsDict(GetValue(Doc(), category, &ref));
  if (!entries || entries->TypeCode() != kTypeDict) {
    // Absent (or not a dictionary at all, which no reader could use): a new, direct one.
    auto created = std::make_unique<CPDFDict>();
    CPDFDict& result = *created;
    if (!Insert(category, std::move(created))) ThrowCode(kModule, "AddResource", kInternalError);
    return result;
  }
  if (ref.IsDefined() && Doc() && !Doc()->UpdateObj(ref)) {
    throw CPDFException(Doc()->LastError());
  }
  return *entries;
}

bool CPDFResDict::AddResource(const std::string& name, std::unique_ptr<CPDFObject> resource,
                              CPDFObjRef* ref) {
  const auto* typed = dynamic_cast<const CPDFResource*>(resource.get());
  if (!typed || !IsNamedCategory(typed->GetCategory())) {
    if (Doc()) {
      Doc()->LastError().Keep(
          CPDFException(kModule, "AddResource", kUserError, "not a named resource"));
    }
    return false;
  }
  try {
    CPDFDict& entries = CategoryForAdding(typed->GetCategory());
    CPDFObjRef added;
    if (!entries.SetValue(Doc(), name, std::move(resource), true, &added)) return false;
    if (ref) *ref = added;
    return true;
  } catch (const CPDFException& e) {
    if (Doc()) Doc()->LastError().Keep(e);
  }
  return false;
}

bool CPDFResDict::AddReference(const char* category, const std::string& name,
                               const CPDFObjRef& ref) {
  if (!category || !IsNamedCategory(category) || !ref.IsDefined()) {
    if (Doc()) {
      Doc()->LastError().Keep(
          CPDFException(kModule, "AddReference", kUserError, "not a named resource"));
    }
    return false;
  }
  try {
    CPDFDict& entries = CategoryForAdding(category);
    return entries.SetReference(name, ref);
  } catch (const CPDFException& e) {
    if (Doc()) Doc()->LastError().Keep(e);
  }
  return false;
}

// ---- procedure sets ----------------------------------------------------------------------------

void CPDFResDict::UpdateProcSet() {
  try {
    CPDFObjRef ref;
    CPDFArray* procSets = AsArray(GetValue(Doc(), "ProcSet", &ref));
    if (procSets) {
      if (ref.IsDefined() && Doc()) Doc()->UpdateObj(ref);
      procSets->ClearItems();
    } else {
      auto created = std::make_unique<CPDFArray>();
      procSets = created.get();
      Insert("ProcSet", std::move(created));
    }
    procSets->Push_Back(std::make_unique<CPDFProcSet>("PDF"));
    const CPDFDict* fonts = AsDict(GetValue(Doc(), "Font"));
    if (fonts && fonts->Count() > 0) procSets->Push_Back(std::make_unique<CPDFProcSet>("Text"));
    const CPDFDict* xobjects = AsDict(GetValue(Doc(), "XObject"));
    if (xobjects && xobjects->Count() > 0) {
      for (const char* image : {"ImageB", "ImageC", "ImageI"}) {
        procSets->Push_Back(std::make_unique<CPDFProcSet>(image));
      }
    }
  } catch (const CPDFException& e) {
    if (Doc()) Doc()->LastError().Keep(e);
  }
}

}  // namespace quarn
