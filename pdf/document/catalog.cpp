#include "pdf/document/catalog.h"

#include "pdf/document/pages.h"

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
