// The dictionaries of FDF files: the FDF catalog and FDF dictionary, pages and templates,
// named page references, icon fits and FDF fields.
#pragma once

#include "pdf/content/family_bases.h"

namespace quarn {

QUARN_FAMILY_CLASS(CFDFIconFitDict, CPDFDocDict,
  QUARN_ACCESSOR(SW, CPDFName) QUARN_ACCESSOR(S, CPDFName) QUARN_ACCESSOR(A, CPDFArray))
QUARN_FAMILY_CLASS(CFDFField, CPDFDocDict,
  QUARN_ACCESSOR(T, CPDFString) QUARN_GET(Kids, CPDFArray) QUARN_ACCESSOR(V, CPDFObject)
  QUARN_ACCESSOR(Ff, CPDFNumber) QUARN_ACCESSOR(SetFf, CPDFNumber) QUARN_ACCESSOR(ClrFf, CPDFNumber)
  QUARN_ACCESSOR(F, CPDFNumber) QUARN_ACCESSOR(SetF, CPDFNumber) QUARN_ACCESSOR(ClrF, CPDFNumber)
  QUARN_ACCESSOR(AP, CPDFDict) QUARN_ACCESSOR(A, CPDFDict) QUARN_ACCESSOR(AA, CPDFDict)
  QUARN_ACCESSOR(APRef, CPDFDict) QUARN_ACCESSOR(IF, CFDFIconFitDict))
QUARN_FAMILY_CLASS(CFDFNamedPageRefDict, CPDFDocDict,
  QUARN_ACCESSOR(Name, CPDFString) QUARN_ACCESSOR(F, CPDFObject))
QUARN_FAMILY_CLASS(CFDFTemplateDict, CPDFDocDict,
  QUARN_ACCESSOR(TRef, CFDFNamedPageRefDict) QUARN_GET(Fields, CPDFArray))
QUARN_FAMILY_CLASS(CFDFPagesObj, CPDFDocDict,
  QUARN_GET(Templates, CPDFArray) QUARN_ACCESSOR(Info, CPDFDict))
QUARN_FAMILY_CLASS(CFDFDict, CPDFDocDict,
  QUARN_ACCESSOR(Fields, CPDFArray) QUARN_ACCESSOR(F, CPDFObject) QUARN_ACCESSOR(Pages, CPDFArray)
  QUARN_ACCESSOR(Annots, CPDFArray))
// The "Root" of an FDF file.
QUARN_FAMILY_CLASS(CFDFCatalog, CPDFDocDict, QUARN_ACCESSOR(FDF, CFDFDict))

BindOutcome MakeFDFCatalog(CPDFObjHolder* doc, CPDFObject& value, int kinds,
                           std::unique_ptr<CPDFObject>& out);

}  // namespace quarn
