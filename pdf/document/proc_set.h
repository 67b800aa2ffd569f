// The procedure-set names of a resource dictionary's "ProcSet" array (PDF, Text, ImageB, ImageC,
// ImageI): typed names that are filed in the "ProcSet" category and never named themselves.
#pragma once

#include <memory>
#include <string_view>

#include "pdf/object/typed_dict.h"

namespace quarn {

class CPDFProcSet : public CPDFResource, public CPDFName {
  QUARN_TYPED_CLASS(CPDFProcSet, CPDFName, "")
 public:
  CPDFProcSet() = default;
  explicit CPDFProcSet(std::string_view name) : CPDFName(name) {}

  const char* GetCategory() const override { return "ProcSet"; }
  const char* GetPrefix() const override { return ""; }

  // Binds the name to `doc`, taking over the bytes of `source`.
  bool Realize(CPDFObjHolder* doc, CPDFObject& source);
  void SwapContent(CPDFObject& other) override { CPDFName::SwapContent(other); }
  // Copies stay procedure-set names.
  std::unique_ptr<CPDFObject> DuplicateWith(CPDFObjHolder* target, CPDFObjHolder* source,
                                            DuplicateMap& map) const override;
};

// Recognizer: every name of a "ProcSet" array is a procedure-set name.
bool IsProcSet(CPDFObjHolder* doc, CPDFObject* value);

}  // namespace quarn
