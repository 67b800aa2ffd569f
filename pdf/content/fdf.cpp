#include "pdf/content/fdf.h"

#include "pdf/content/actions.h"
#include "pdf/content/annotations.h"
#include "pdf/content/misc_resources.h"

namespace quarn {

namespace {

template <class T>
bool BindOneOrMany(CPDFObjHolder* doc, CPDFDict& holder, std::string_view key) {
  return BindEntryOrElements(doc, holder, key, kTypeDict, MakeOne<T>);
}
bool BindAnnotations(CPDFObjHolder* doc, CPDFDict& holder, std::string_view key) {
  return BindEntryOrElements(doc, holder, key, kTypeDict, MakeAnnotation);
}

}  // namespace

QUARN_CLASS_ROW(CFDFIconFitDict, .valueKinds = kTypeDict)
QUARN_CLASS_ROW(CFDFField, .valueKinds = kTypeDict, .required = {{{"T", kTypeString}}},
                 .typed = {{{"AP", BindAppearEntry}, {"A", BindActionEntry},
                            {"AA", BindAddActEntry}, {"IF", BindOneOrMany<CFDFIconFitDict>}}})
QUARN_CLASS_ROW(CFDFNamedPageRefDict, .valueKinds = kTypeDict, .required = {{{"Name", 0}}},
                 .typed = {{{"F", BindFileSpecEntry}}})
QUARN_CLASS_ROW(CFDFTemplateDict, .valueKinds = kTypeDict,
                 .typed = {{{"TRef", BindOneOrMany<CFDFNamedPageRefDict>},
                            {"Fields", BindOneOrMany<CFDFField>}}})
QUARN_CLASS_ROW(CFDFPagesObj, .valueKinds = kTypeDict,
                 .typed = {{{"Templates", BindOneOrMany<CFDFTemplateDict>}}})
QUARN_CLASS_ROW(CFDFDict, .valueKinds = kTypeDict,
                 .typed = {{{"Fields", BindOneOrMany<CFDFField>}, {"F", BindFileSpecEntry},
                            {"Pages", BindOneOrMany<CFDFPagesObj>}, {"Annots", BindAnnotations}}})
QUARN_CLASS_ROW(CFDFCatalog, .valueKinds = kTypeDict, .required = {{{"FDF", kTypeDict}}},
                 .typed = {{{"FDF", BindOneOrMany<CFDFDict>}}})

BindOutcome MakeFDFCatalog(CPDFObjHolder* doc, CPDFObject& value, int,
                           std::unique_ptr<CPDFObject>& out) {
  return MakeAs<CFDFCatalog>(doc, value, out);
}

}  // namespace quarn
