// Form fields (widget annotations told apart by "FT", which a field may inherit from its
// ancestors), the interactive form dictionary and the signature dictionary.
#pragma once

#include <string>

#include "pdf/content/annotations.h"

namespace quarn {

class CPDFField : public CPDFAnnotation {
 public:
  static const ClassRow& Rules();
  QUARN_GET(Parent, CPDFDict)
  QUARN_GET(TU, CPDFString)
  QUARN_GET(TM, CPDFString)
  QUARN_ACCESSOR(DR, CPDFResDict)
  QUARN_ACCESSOR(DA, CPDFString)
  QUARN_ACCESSOR(Q, CPDFNumber)
  QUARN_ACCESSOR(Ff, CPDFNumber)
  QUARN_ACCESSOR(OH, CPDFObject)
  QUARN_ACCESSOR(MK, CPDFDict)
  QUARN_SET(UserName, CPDFString)
  QUARN_SET(MappingName, CPDFString)
  // The field type, its own or the nearest ancestor's.
  const CPDFName* FieldType();
  // The partial names "T" from the root field down to this one, joined by "%s.%s"; a field
  // without "T" adds nothing. A "Parent" chain that loops ends the name where it loops.
  std::string FullName();
};
QUARN_FAMILY_CLASS(CPDFBtnField, CPDFField, QUARN_ACCESSOR(V, CPDFObject) QUARN_ACCESSOR(DV, CPDFObject))
QUARN_FAMILY_CLASS(CPDFTxField, CPDFField,
  QUARN_ACCESSOR(V, CPDFObject) QUARN_ACCESSOR(DV, CPDFObject) QUARN_ACCESSOR(MaxLen, CPDFNumber))
QUARN_FAMILY_CLASS(CPDFChField, CPDFField,
  QUARN_ACCESSOR(Opt, CPDFArray) QUARN_ACCESSOR(V, CPDFObject) QUARN_ACCESSOR(DV, CPDFObject)
  QUARN_ACCESSOR(TopIndex, CPDFNumber))
QUARN_FAMILY_CLASS(CPDFSigField, CPDFField, QUARN_ACCESSOR(V, CPDFObject) QUARN_ACCESSOR(DV, CPDFObject))

// The document's interactive form. A new one has no fields, the default resources with the
// font "Helv" (Helvetica, PDFDocEncoding) and the default appearance "/Helv 0 Tf 0 g".
QUARN_FAMILY_CLASS(CPDFAcroFormDict, CPDFDocDict,
  QUARN_ACCESSOR(Fields, CPDFArray) QUARN_ACCESSOR(SigFlags, CPDFNumber)
  QUARN_ACCESSOR(DR, CPDFResDict) QUARN_SET(DA, CPDFString))
QUARN_FAMILY_CLASS(CPDFSigDict, CPDFDocDict,
  QUARN_GET(ByteRange, CPDFArray) QUARN_ACCESSOR(Name, CPDFString) QUARN_ACCESSOR(M, CPDFDate)
  QUARN_ACCESSOR(Location, CPDFString) QUARN_ACCESSOR(Reason, CPDFString))

// The field factory. Bits: 0 Btn, 1 Ch, 2 Tx, 3 Sig.
BindOutcome MakeField(CPDFObjHolder* doc, CPDFObject& value, int kinds,
                      std::unique_ptr<CPDFObject>& out);

}  // namespace quarn
