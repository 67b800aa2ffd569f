// Resource dictionaries: eight categories of named resources and the procedure-set array.
#pragma once

#include <memory>
#include <string>

#include "pdf/object/typed_dict.h"

namespace quarn {

class CPDFResDict : public CPDFDataStruct, public CPDFDict {
  QUARN_TYPED_CLASS(CPDFResDict, CPDFDict, "")
 public:
  // Binds the dictionary to `doc` (taking over the content of `source`) and loads every
  // category through its factory, in the order ColorSpace, XObject, ExtGState, Font, Pattern,
  // ProcSet, Properties, Shading.
  bool Realize(CPDFDoc* doc, CPDFObject& source);
  void SwapContent(CPDFObject& other) override { CPDFDict::SwapContent(other); }

  QUARN_GET(ColorSpace, CPDFDict)
  QUARN_GET(XObject, CPDFDict)
  QUARN_GET(ExtGState, CPDFDict)
  QUARN_GET(Font, CPDFDict)
  QUARN_GET(Pattern, CPDFDict)
  QUARN_GET(ProcSet, CPDFArray)
  QUARN_GET(Properties, CPDFDict)
  QUARN_GET(Shading, CPDFDict)

  // The resource value filed under `name` in `category` (not ProcSet), or nullptr.
  CPDFObject* FindResource(const char* category, const std::string& name);
  // The first free name prefix + 1..4095 for the resource's category and prefix.
  bool MakeName(std::string& name, const CPDFResource& resource);
  bool MakeNameFor(const char* category, const char* prefix, std::string& name);
  // Files `resource` as a new indirect object and enters a reference under `name`.
  bool AddResource(const std::string& name, std::unique_ptr<CPDFObject> resource, CPDFObjRef* ref);
  // Enters a reference to an existing object under `name` in `category`.
  bool AddReference(const char* category, const std::string& name, const CPDFObjRef& ref);
  // Rebuilds the procedure-set array: PDF, then Text with fonts, then ImageB ImageC ImageI with
  // XObjects.
  void UpdateProcSet();
};

// Recognizer: any dictionary can serve as a resource dictionary.
bool IsResDict(CPDFDoc* doc, CPDFObject* value);

}  // namespace quarn
