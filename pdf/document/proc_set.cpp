#include "pdf/document/proc_set.h"

namespace quarn {

bool IsProcSet(CPDFObjHolder*, CPDFObject* value) { return value && value->TypeCode() == kTypeName; }

bool CPDFProcSet::Realize(CPDFObjHolder* doc, CPDFObject& source) {
  if (!IsProcSet(doc, &source)) return false;
  // Only a name can hand its bytes over; the check above keeps SwapContent within one class.
  BindDoc(doc);
  SwapContent(source);
  return true;
}

std::unique_ptr<CPDFObject> CPDFProcSet::DuplicateWith(CPDFObjHolder* target, CPDFObjHolder*,
                                                       DuplicateMap&) const {
  auto copy = std::make_unique<CPDFProcSet>(View());
  copy->CopyFlagsFrom(*this);
  copy->BindDoc(target);
  return copy;
}

}  // namespace quarn
