// The two-base pairs (mix-in, then value class) that the classes of the typed dictionary
// family derive from, named once so that a class row needs one base.
#pragma once

#include "pdf/content/typed_family.h"

namespace quarn {

class CPDFDocDict : public CPDFDocStruct, public CPDFDict {};
class CPDFDocStreamValue : public CPDFDocStruct, public CPDFStream {};
class CPDFDataDict : public CPDFDataStruct, public CPDFDict {};
class CPDFDataStreamValue : public CPDFDataStruct, public CPDFStream {};
class CPDFDataArray : public CPDFDataStruct, public CPDFArray {};

// A resource of the given category and name prefix on a value class.
template <class Mixin, class Value>
class CPDFFamilyOn : public Mixin, public Value {};

}  // namespace quarn
