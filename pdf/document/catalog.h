// The document catalog: the root of the document's structure, holding the page tree.
#pragma once

#include "pdf/document/pages.h"
#include "pdf/object/typed_dict.h"

namespace quarn {

class CPDFCatalog : public CPDFDocStruct, public CPDFDict {
  QUARN_TYPED_CLASS(CPDFCatalog, CPDFDict, "Catalog")
 public:
  // "Type" "Catalog" and a new empty page tree stored as an indirect object under "Pages".
  bool Create(CPDFObjHolder* doc);
  // Takes over `source` and binds the page tree's root node.
  bool Realize(CPDFObjHolder* doc, CPDFObject& source);
  void SwapContent(CPDFObject& other) override { CPDFDict::SwapContent(other); }

  // The document-wide entries are bound to their typed classes (outline, form, name
  // dictionary, ...) when first asked for; an entry that does not bind is answered as it is.
  // "Dests" binds each of its entries (arrays as destinations, dictionaries as named ones).
  CPDFDict* Get_Dests(CPDFObjRef* ref = nullptr);
  CPDFDict* Get_Outlines(CPDFObjRef* ref = nullptr) { return Bound("Outlines", kOutlinesFactory, ref); }
  QUARN_SET(Outlines, CPDFDict)
  // The root of the page tree, bound on first use (an object reloaded after a release comes
  // back plain).
  CPDFPages* Get_Pages(CPDFObjRef* ref = nullptr);
  QUARN_SET(Pages, CPDFPages)
  CPDFArray* Get_Threads(CPDFObjRef* ref = nullptr) {
    return GetBoundElements(Doc(), *this, "Threads", kTypeDict, kThreadFactory, ref);
  }
  CPDFDict* Get_AcroForm(CPDFObjRef* ref = nullptr) { return Bound("AcroForm", kAcroFormFactory, ref); }
  CPDFDict* Get_Names(CPDFObjRef* ref = nullptr) { return Bound("Names", kNameDictFactory, ref); }
  // A destination array or an action dictionary.
  CPDFObject* Get_OpenAction(CPDFObjRef* ref = nullptr);
  CPDFDict* Get_URI(CPDFObjRef* ref = nullptr) { return Bound("URI", kURIDictFactory, ref); }
  CPDFDict* Get_ViewerPreferences(CPDFObjRef* ref = nullptr) {
    return Bound("ViewerPreferences", kViewPrefFactory, ref);
  }
  CPDFDict* Get_PageLabels(CPDFObjRef* ref = nullptr) { return Bound("PageLabels", kNumTreeFactory, ref); }
  QUARN_SET(AcroForm, CPDFDict)
  QUARN_SET(Names, CPDFDict)
  QUARN_SET(URI, CPDFDict)
  QUARN_SET(ViewerPreferences, CPDFDict)
  QUARN_SET(PageLabels, CPDFDict)
  // The two setters of "OpenAction": a destination array, or an action dictionary.
  bool Set_OpenAction(std::unique_ptr<CPDFArray> dest, bool indirect = false, CPDFObjRef* ref = nullptr) {
    return SetValue(Doc(), "OpenAction", std::move(dest), indirect, ref);
  }
  bool Set_OpenAction(std::unique_ptr<CPDFDict> action, bool indirect = false, CPDFObjRef* ref = nullptr) {
    return SetValue(Doc(), "OpenAction", std::move(action), indirect, ref);
  }
  QUARN_SET(Type, CPDFName)

 private:
  CPDFDict* Bound(std::string_view key, std::string_view factory, CPDFObjRef* ref) {
    return AsDict(GetBoundEntry(Doc(), *this, key, kTypeDict, factory, ref));
  }
};

// "Type" is the name "Catalog" and "Pages" is a dictionary.
bool IsCatalog(CPDFObjHolder* doc, CPDFObject* value);

}  // namespace quarn
