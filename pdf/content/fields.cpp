#include "pdf/content/fields.h"

#include <algorithm>
#include <vector>

#include "pdf/object/limits.h"
#include "pdf/object/temp_containers.h"

namespace quarn {

namespace {

bool BindSigDictEntry(CPDFObjHolder* doc, CPDFDict& holder, std::string_view key) {
  return BindEntryWith(doc, holder, key, kTypeDict, MakeOne<CPDFSigDict>);
}

// The "Fields" of a form: every element that is a field.
bool BindFieldElements(CPDFObjHolder* doc, CPDFDict& holder, std::string_view key) {
  return BindEntryOrElements(doc, holder, key, kTypeDict, MakeField);
}

}  // namespace

const ClassRow& CPDFField::Rules() {
  static const ClassRow rules{.base = &CPDFAnnotation::Rules(), .name = "Widget",
                              .discriminator = "FT", .inherited = true,
                              .typed = {{{"DR", BindResDictEntry}}}};
  return rules;
}
#define QUARN_FIELD(Class, Name, ...) \
  QUARN_CLASS_ROW(Class, .base = &CPDFField::Rules(), .name = Name, .valueKinds = kTypeDict __VA_ARGS__)
QUARN_FIELD(CPDFBtnField, "Btn")
QUARN_FIELD(CPDFTxField, "Tx")
QUARN_FIELD(CPDFChField, "Ch", , .required = {{{"Opt", kTypeArray}}})
QUARN_FIELD(CPDFSigField, "Sig", , .typed = {{{"V", BindSigDictEntry}}})
#undef QUARN_FIELD
namespace {

bool CreateAcroForm(CPDFObjHolder* doc, CPDFDict& form) {
  if (!form.SetValue(doc, "Fields", std::make_unique<CPDFArray>())) return false;
  auto font = std::make_unique<CPDFDict>();
  font->Insert("Type", std::make_unique<CPDFName>("Font"));
  font->Insert("Subtype", std::make_unique<CPDFName>("Type1"));
  font->Insert("BaseFont", std::make_unique<CPDFName>("Helvetica"));
  font->Insert("Encoding", std::make_unique<CPDFName>("PDFDocEncoding"));
  auto fonts = std::make_unique<CPDFDict>();
  fonts->Insert("Helv", std::move(font));
  auto resources = std::make_unique<CPDFResDict>();
  if (!resources->Create(doc)) return false;
  resources->Insert("Font", std::move(fonts));
  return form.SetValue(doc, "DR", std::move(resources)) &&
         form.SetValue(doc, "DA", std::make_unique<CPDFString>("/Helv 0 Tf 0 g"));
}

}  // namespace

QUARN_CLASS_ROW(CPDFAcroFormDict, .valueKinds = kTypeDict,
                 .typed = {{{"Fields", BindFieldElements}, {"DR", BindResDictEntry}}},
                 .create = CreateAcroForm)
QUARN_CLASS_ROW(CPDFSigDict, .valueKinds = kTypeDict, .typeName = "Sig",
                 .typeRule = TypeRule::kOptional, .required = {{{"ByteRange", kTypeArray}}},
                 .typed = {{{"M", BindDateEntry}}})

const CPDFName* CPDFField::FieldType() { return AsName(InheritedValue(Doc(), *this, "FT")); }

std::string CPDFField::FullName() {
  std::vector<const CPDFDict*> chain;
  for (const CPDFDict* node = this; node; node = node->GetDict(Doc(), "Parent")) {
    if (chain.size() >= static_cast<size_t>(limits::kMaxFieldDepth) ||
        std::find(chain.begin(), chain.end(), node) != chain.end()) {
      break;
    }
    chain.push_back(node);
  }
  std::string name;
  for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
    const CPDFString* partial = (*it)->GetString(Doc(), "T");
    if (!partial) continue;
    name = name.empty() ? partial->Str() : Format("%s.%s", name.c_str(), partial->Str().c_str());
  }
  return name;
}



BindOutcome MakeField(CPDFObjHolder* doc, CPDFObject& value, int kinds,
                      std::unique_ptr<CPDFObject>& out) {
  static constexpr FamilyMaker kOrder[] = {MakeOne<CPDFBtnField>, MakeOne<CPDFChField>,
                                           MakeOne<CPDFTxField>, MakeOne<CPDFSigField>};
  return MakeFirstOf(kOrder, doc, value, kinds, out);
}

}  // namespace quarn
