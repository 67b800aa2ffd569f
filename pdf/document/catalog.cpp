#include "pdf/document/catalog.h"

#include "pdf/document/pages.h"

#include <string>
#include <vector>

namespace quarn {

// Readers take the trailer's "Root" as the catalog whatever its "Type" says: a catalog whose
// "Type" is missing or misspelt still leads to its pages.
bool IsCatalog(CPDFObjHolder* doc, CPDFObject* value) {
  CPDFDict* dict =
      value && value->TypeCode() == kTypeDict ? static_cast<CPDFDict*>(value) : nullptr;
  return dict && dict->GetDict(doc, "Pages");
}

bool CPDFCatalog::Create(CPDFObjHolder* doc) {
  BindDoc(doc);
  if (!Set_Type(std::make_unique<CPDFName>(ClassName().View()))) return false;
  auto root = std::make_unique<CPDFPages>();
  if (!root->Create(doc, nullptr)) return false;
  return Set_Pages(std::move(root), true);
}

CPDFPages* CPDFCatalog::Get_Pages(CPDFObjRef* ref) {
  if (ref) ref->Reset();
  CPDFPages* pages = nullptr;
  if (!BindEntry<CPDFPages>(Doc(), *this, "Pages", IsPagesNode, &pages) || !pages) return nullptr;
  if (ref) GetValue(Doc(), "Pages", ref);
  return pages;
}

bool CPDFCatalog::Realize(CPDFObjHolder* doc, CPDFObject& source) {
  BindDoc(doc);
  SwapContent(source);
  if (!HasName(doc, "Type", "Catalog")) Insert("Type", std::make_unique<CPDFName>("Catalog"));
  return BindEntry<CPDFPages>(doc, *this, "Pages", IsPagesNode);
}

}  // namespace quarn

namespace quarn {

CPDFDict* CPDFCatalog::Get_Dests(CPDFObjRef* ref) {
  CPDFDict* dests = AsDict(GetValue(Doc(), "Dests", ref));
  if (!dests) return nullptr;
  const ResourceFactory factory = FindResourceFactory(Doc(), kDestFactory);
  if (factory) {
    std::vector<std::string> names;
    names.reserve(dests->Count());
    for (const auto& entry : *dests) names.push_back(entry.first);
    for (const std::string& name : names) {
      LoadEntryThrough(Doc(), *dests, name, kTypeArray | kTypeDict, factory, -1);
    }
    if (Doc()) Doc()->ClearError();
  }
  return dests;
}

CPDFObject* CPDFCatalog::Get_OpenAction(CPDFObjRef* ref) {
  const CPDFObject* value = GetValue(Doc(), "OpenAction");
  const bool isArray = value && value->TypeCode() == kTypeArray;
  return GetBoundEntry(Doc(), *this, "OpenAction", isArray ? kTypeArray : kTypeDict,
                       isArray ? kDestFactory : kActionFactory, ref);
}

}  // namespace quarn
