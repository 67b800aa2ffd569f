#include "pdf/content/functions_halftones.h"

namespace quarn {

namespace {

constexpr int kDictOrStream = kTypeDict | kTypeStream;

// Per-colourant halftones of a type 5 halftone: every entry that is one (the colourant names
// are free).
bool BindComponentHalftone(CPDFObjHolder* doc, CPDFDict& holder, std::string_view key) {
  if (key == "Type" || key == "HalftoneType" || key == "HalftoneName") return true;
  return BindHalftoneEntry(doc, holder, key);
}

}  // namespace

const ClassRow& CPDFFunction::Rules() {
  static const ClassRow rules{.discriminator = "FunctionType", .numbered = true,
                              .required = {{{"Domain", kTypeArray}}}};
  return rules;
}
QUARN_CLASS_ROW(CPDFType0Func, .base = &CPDFFunction::Rules(), .name = "0", .valueKinds = kTypeStream,
                 .required = {{{"Size", kTypeArray}, {"BitsPerSample", kAnyNumber}}})
QUARN_CLASS_ROW(CPDFType2Func, .base = &CPDFFunction::Rules(), .name = "2", .valueKinds = kTypeDict,
                 .required = {{{"N", kAnyNumber}}})
QUARN_CLASS_ROW(CPDFType3Func, .base = &CPDFFunction::Rules(), .name = "3", .valueKinds = kTypeDict,
                 .required = {{{"Functions", kTypeArray}, {"Bounds", kTypeArray},
                               {"Encode", kTypeArray}}},
                 .typed = {{{"Functions", BindFunctionEntry}}})
QUARN_CLASS_ROW(CPDFType4Func, .base = &CPDFFunction::Rules(), .name = "4", .valueKinds = kTypeStream)

const ClassRow& CPDFHalftone::Rules() {
  static const ClassRow rules{.discriminator = "HalftoneType", .numbered = true,
                              .typeName = "Halftone", .typeRule = TypeRule::kOptional,
                              .typed = {{{"TransferFunction", BindFunctionEntry}}}};
  return rules;
}
QUARN_CLASS_ROW(CPDFType1Ht, .base = &CPDFHalftone::Rules(), .name = "1", .valueKinds = kTypeDict,
                 .required = {{{"Frequency", kAnyNumber}, {"Angle", kAnyNumber},
                               {"SpotFunction", 0}}},
                 .typed = {{{"SpotFunction", BindFunctionEntry}}})
QUARN_CLASS_ROW(CPDFType5Ht, .base = &CPDFHalftone::Rules(), .name = "5", .valueKinds = kTypeDict,
                 .required = {{{"Default", kDictOrStream}}}, .eachEntry = BindComponentHalftone)
QUARN_CLASS_ROW(CPDFType6Ht, .base = &CPDFHalftone::Rules(), .name = "6", .valueKinds = kTypeStream,
                 .required = {{{"Width", kAnyNumber}, {"Height", kAnyNumber}}})
QUARN_CLASS_ROW(CPDFType10Ht, .base = &CPDFHalftone::Rules(), .name = "10", .valueKinds = kTypeStream,
                 .required = {{{"Xsquare", kAnyNumber}, {"Ysquare", kAnyNumber}}})
QUARN_CLASS_ROW(CPDFType16Ht, .base = &CPDFHalftone::Rules(), .name = "16", .valueKinds = kTypeStream,
                 .required = {{{"Width", kAnyNumber}, {"Height", kAnyNumber}}})

BindOutcome MakeFunction(CPDFObjHolder* doc, CPDFObject& value, int kinds,
                         std::unique_ptr<CPDFObject>& out) {
  static constexpr FamilyMaker kOrder[] = {MakeOne<CPDFType0Func>, MakeOne<CPDFType2Func>,
                                           MakeOne<CPDFType3Func>, MakeOne<CPDFType4Func>};
  return MakeFirstOf(kOrder, doc, value, kinds, out);
}

BindOutcome MakeHalftone(CPDFObjHolder* doc, CPDFObject& value, int kinds,
                         std::unique_ptr<CPDFObject>& out) {
  static constexpr FamilyMaker kOrder[] = {MakeOne<CPDFType1Ht>, MakeOne<CPDFType5Ht>,
                                           MakeOne<CPDFType6Ht>, MakeOne<CPDFType10Ht>,
                                           MakeOne<CPDFType16Ht>};
  return MakeFirstOf(kOrder, doc, value, kinds, out);
}

bool BindFunctionEntry(CPDFObjHolder* doc, CPDFDict& holder, std::string_view key) {
  return BindEntryOrElements(doc, holder, key, kDictOrStream, MakeFunction);
}

bool BindHalftoneEntry(CPDFObjHolder* doc, CPDFDict& holder, std::string_view key) {
  return BindEntryWith(doc, holder, key, kDictOrStream, MakeHalftone);
}

}  // namespace quarn
