// Functions (sampled, exponential, stitching, PostScript calculator) and halftones (screens,
// thresholds, per-colourant halftones): dictionaries or streams told apart by a type number.
#pragma once

#include "pdf/content/family_bases.h"

namespace quarn {

// ---- functions -------------------------------------------------------------------------------

// The function family: a dictionary or a stream with "Domain" and "FunctionType".
class CPDFFunction : public CPDFDataStruct {
 public:
  static const ClassRow& Rules();
};
template <class Value>
class CPDFFunctionOn : public CPDFFunction, public Value {
 public:
  QUARN_ACCESSOR(Domain, CPDFArray)
  QUARN_ACCESSOR(Range, CPDFArray)
};
QUARN_FAMILY_CLASS(CPDFType0Func, CPDFFunctionOn<CPDFStream>,
  QUARN_ACCESSOR(Size, CPDFArray) QUARN_ACCESSOR(BitsPerSample, CPDFNumber)
  QUARN_ACCESSOR(Order, CPDFNumber))
QUARN_FAMILY_CLASS(CPDFType2Func, CPDFFunctionOn<CPDFDict>,
  QUARN_ACCESSOR(C0, CPDFArray) QUARN_ACCESSOR(C1, CPDFArray) QUARN_ACCESSOR(N, CPDFNumber))
QUARN_FAMILY_CLASS(CPDFType3Func, CPDFFunctionOn<CPDFDict>,
  QUARN_GET(Functions, CPDFArray) QUARN_ACCESSOR(Bounds, CPDFArray)
  QUARN_ACCESSOR(Encode, CPDFArray))
QUARN_FAMILY_CLASS(CPDFType4Func, CPDFFunctionOn<CPDFStream>)

// ---- halftones -------------------------------------------------------------------------------

// The halftone family: "Type" "Halftone" and "HalftoneType".
class CPDFHalftone : public CPDFDataStruct {
 public:
  static const ClassRow& Rules();
};
template <class Value>
class CPDFHalftoneOn : public CPDFHalftone, public Value {
 public:
  QUARN_ACCESSOR(HalftoneName, CPDFString)
  QUARN_ACCESSOR(TransferFunction, CPDFObject)
};
QUARN_FAMILY_CLASS(CPDFType1Ht, CPDFHalftoneOn<CPDFDict>,
  QUARN_ACCESSOR(Frequency, CPDFNumber) QUARN_ACCESSOR(Angle, CPDFNumber)
  QUARN_ACCESSOR(SpotFunction, CPDFObject))
QUARN_FAMILY_CLASS(CPDFType5Ht, CPDFHalftoneOn<CPDFDict>,
  QUARN_ACCESSOR(Cyan, CPDFObject) QUARN_ACCESSOR(Magenta, CPDFObject)
  QUARN_ACCESSOR(Yellow, CPDFObject) QUARN_ACCESSOR(Black, CPDFObject)
  QUARN_ACCESSOR(Default, CPDFObject))
QUARN_FAMILY_CLASS(CPDFType6Ht, CPDFHalftoneOn<CPDFStream>,
  QUARN_ACCESSOR(Width, CPDFNumber) QUARN_ACCESSOR(Height, CPDFNumber))
QUARN_FAMILY_CLASS(CPDFType10Ht, CPDFHalftoneOn<CPDFStream>,
  QUARN_ACCESSOR(Xsquare, CPDFNumber) QUARN_ACCESSOR(Ysquare, CPDFNumber))
QUARN_FAMILY_CLASS(CPDFType16Ht, CPDFHalftoneOn<CPDFStream>,
  QUARN_ACCESSOR(Width, CPDFNumber) QUARN_ACCESSOR(Height, CPDFNumber)
  QUARN_ACCESSOR(Width2, CPDFNumber) QUARN_ACCESSOR(Height2, CPDFNumber))

// The function factory (bits: 0 type 0, 1 type 2, 2 type 3, 3 type 4) and the halftone
// factory (bits: 0 type 1, 1 type 5, 2 type 6, 3 type 10, 4 type 16).
BindOutcome MakeFunction(CPDFObjHolder* doc, CPDFObject& value, int kinds,
                         std::unique_ptr<CPDFObject>& out);
BindOutcome MakeHalftone(CPDFObjHolder* doc, CPDFObject& value, int kinds,
                         std::unique_ptr<CPDFObject>& out);

// A function entry, or an array of functions ("Function" of a shading, "TR" of a graphics state).
bool BindFunctionEntry(CPDFObjHolder* doc, CPDFDict& holder, std::string_view key);
bool BindHalftoneEntry(CPDFObjHolder* doc, CPDFDict& holder, std::string_view key);

}  // namespace quarn
