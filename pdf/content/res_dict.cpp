#include "pdf/content/res_dict.h"

namespace quarn {

bool IsResDict(CPDFDoc*, CPDFObject* value) { return value && value->TypeCode() == kTypeDict; }

bool CPDFResDict::Realize(CPDFDoc* doc, CPDFObject& source) {
  BindDoc(doc);
  SwapContent(source);
  return true;
}

}  // namespace quarn
