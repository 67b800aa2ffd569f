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

  QUARN_GET(Dests, CPDFDict)
  QUARN_ACCESSOR(Outlines, CPDFDict)
  // The root of the page tree, bound on first use (an object reloaded after a release comes
  // back plain).
  CPDFPages* Get_Pages(CPDFObjRef* ref = nullptr);
  QUARN_SET(Pages, CPDFPages)
  QUARN_GET(Threads, CPDFArray)
  QUARN_ACCESSOR(AcroForm, CPDFDict)
  QUARN_ACCESSOR(Names, CPDFDict)
  QUARN_ACCESSOR(OpenAction, CPDFObject)
  QUARN_ACCESSOR(URI, CPDFDict)
  QUARN_ACCESSOR(ViewerPreferences, CPDFDict)
  QUARN_ACCESSOR(PageLabels, CPDFDict)
  QUARN_SET(Type, CPDFName)
};

// "Type" is the name "Catalog" and "Pages" is a dictionary.
bool IsCatalog(CPDFObjHolder* doc, CPDFObject* value);

}  // namespace quarn
