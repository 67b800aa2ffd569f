// Shadings (seven types: function-based, axial, radial and the four mesh types) and patterns
// (tiling and shading patterns), resources filed under "Shading" and "Pattern".
#pragma once

#include "pdf/content/family_bases.h"

namespace quarn {

class CPDFShading : public CPDFResource {
 public:
  static const ClassRow& Rules();
  const char* GetCategory() const override { return "Shading"; }
  const char* GetPrefix() const override { return "Sh"; }
};
template <class Value>
class CPDFShadingOn : public CPDFShading, public Value {
 public:
  QUARN_ACCESSOR(ColorSpace, CPDFObject)
  QUARN_ACCESSOR(BBox, CPDFRect)
  QUARN_ACCESSOR(Function, CPDFObject)
};
QUARN_FAMILY_CLASS(CPDFType1Sh, CPDFShadingOn<CPDFDict>, QUARN_ACCESSOR(Matrix, CPDFMatrix))
QUARN_FAMILY_CLASS(CPDFType2Sh, CPDFShadingOn<CPDFDict>)
QUARN_FAMILY_CLASS(CPDFType3Sh, CPDFShadingOn<CPDFDict>)
// The mesh shadings are streams.
#define QUARN_MESH_ACCESSORS                                                            \
  QUARN_ACCESSOR(BitsPerCoordinate, CPDFNumber) QUARN_ACCESSOR(BitsPerComponent, CPDFNumber) \
  QUARN_ACCESSOR(Decode, CPDFArray)
QUARN_FAMILY_CLASS(CPDFType4Sh, CPDFShadingOn<CPDFStream>, QUARN_MESH_ACCESSORS
                   QUARN_ACCESSOR(BitsPerFlag, CPDFNumber))
QUARN_FAMILY_CLASS(CPDFType5Sh, CPDFShadingOn<CPDFStream>, QUARN_MESH_ACCESSORS
                   QUARN_ACCESSOR(VerticesPerRow, CPDFNumber))
QUARN_FAMILY_CLASS(CPDFType6Sh, CPDFShadingOn<CPDFStream>, QUARN_MESH_ACCESSORS
                   QUARN_ACCESSOR(BitsPerFlag, CPDFNumber))
QUARN_FAMILY_CLASS(CPDFType7Sh, CPDFShadingOn<CPDFStream>, QUARN_MESH_ACCESSORS
                   QUARN_ACCESSOR(BitsPerFlag, CPDFNumber))
#undef QUARN_MESH_ACCESSORS

class CPDFPattern : public CPDFResource {
 public:
  static const ClassRow& Rules();
  const char* GetCategory() const override { return "Pattern"; }
  const char* GetPrefix() const override { return "P"; }
};
template <class Value>
class CPDFPatternOn : public CPDFPattern, public Value {
 public:
  QUARN_ACCESSOR(Matrix, CPDFMatrix)
};
// A tiling pattern: a stream of content with its own resources.
QUARN_FAMILY_CLASS(CPDFType1Pat, CPDFPatternOn<CPDFStream>,
  QUARN_ACCESSOR(Resources, CPDFResDict) QUARN_ACCESSOR(PaintType, CPDFNumber)
  QUARN_ACCESSOR(TilingType, CPDFNumber) QUARN_ACCESSOR(BBox, CPDFRect))
// A shading pattern: a dictionary naming a shading.
QUARN_FAMILY_CLASS(CPDFType2Pat, CPDFPatternOn<CPDFDict>,
  QUARN_ACCESSOR(Shading, CPDFObject) QUARN_ACCESSOR(ExtGState, CPDFObject))

// The shading factory (bit i: type i + 1) and the pattern factory (bit 0 tiling, 1 shading).
BindOutcome MakeShading(CPDFObjHolder* doc, CPDFObject& value, int kinds,
                        std::unique_ptr<CPDFObject>& out);
BindOutcome MakePattern(CPDFObjHolder* doc, CPDFObject& value, int kinds,
                        std::unique_ptr<CPDFObject>& out);

}  // namespace quarn
