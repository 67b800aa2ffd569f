#include "pdf/content/shadings_patterns.h"

#include "pdf/content/color_spaces.h"
#include "pdf/content/functions_halftones.h"
#include "pdf/content/misc_resources.h"

namespace quarn {

namespace {

bool BindShadingEntry(CPDFObjHolder* doc, CPDFDict& holder, std::string_view key) {
  return BindEntryWith(doc, holder, key, kTypeDict | kTypeStream, MakeShading);
}

// A shading's colour space array, as an image's (names stay names).
bool BindShadingColorSpace(CPDFObjHolder* doc, CPDFDict& holder, std::string_view key) {
  return BindEntryWith(doc, holder, key, kTypeArray, MakeColorSpace);
}

constexpr RequiredEntry kMeshEntries[] = {{"BitsPerCoordinate", kAnyNumber},
                                          {"BitsPerComponent", kAnyNumber},
                                          {"BitsPerFlag", kAnyNumber},
                                          {"Decode", kTypeArray}};

}  // namespace

const ClassRow& CPDFShading::Rules() {
  static const ClassRow rules{.discriminator = "ShadingType", .numbered = true,
                              .typed = {{{"ColorSpace", BindShadingColorSpace},
                                         {"BBox", BindRectEntry},
                                         {"Function", BindFunctionEntry}}}};
  return rules;
}
QUARN_CLASS_ROW(CPDFType1Sh, .base = &CPDFShading::Rules(), .name = "1", .valueKinds = kTypeDict,
                 .required = {{{"Function", 0}}}, .typed = {{{"Matrix", BindMatrixEntry}}})
QUARN_CLASS_ROW(CPDFType2Sh, .base = &CPDFShading::Rules(), .name = "2", .valueKinds = kTypeDict,
                 .required = {{{"Coords", kTypeArray}, {"Function", 0}}})
QUARN_CLASS_ROW(CPDFType3Sh, .base = &CPDFShading::Rules(), .name = "3", .valueKinds = kTypeDict,
                 .required = {{{"Coords", kTypeArray}, {"Function", 0}}})
QUARN_CLASS_ROW(CPDFType4Sh, .base = &CPDFShading::Rules(), .name = "4", .valueKinds = kTypeStream,
                 .required = {{kMeshEntries[0], kMeshEntries[1], kMeshEntries[2], kMeshEntries[3]}})
QUARN_CLASS_ROW(CPDFType5Sh, .base = &CPDFShading::Rules(), .name = "5", .valueKinds = kTypeStream,
                 .required = {{kMeshEntries[0], kMeshEntries[1], kMeshEntries[3],
                               {"VerticesPerRow", kAnyNumber}}})
QUARN_CLASS_ROW(CPDFType6Sh, .base = &CPDFShading::Rules(), .name = "6", .valueKinds = kTypeStream,
                 .required = {{kMeshEntries[0], kMeshEntries[1], kMeshEntries[2], kMeshEntries[3]}})
QUARN_CLASS_ROW(CPDFType7Sh, .base = &CPDFShading::Rules(), .name = "7", .valueKinds = kTypeStream,
                 .required = {{kMeshEntries[0], kMeshEntries[1], kMeshEntries[2], kMeshEntries[3]}})

const ClassRow& CPDFPattern::Rules() {
  static const ClassRow rules{.discriminator = "PatternType", .numbered = true,
                              .typeName = "Pattern", .typeRule = TypeRule::kOptional,
                              .typed = {{{"Matrix", BindMatrixEntry}}}};
  return rules;
}
QUARN_CLASS_ROW(CPDFType1Pat, .base = &CPDFPattern::Rules(), .name = "1", .valueKinds = kTypeStream,
                 .required = {{{"Resources", kTypeDict}, {"PaintType", kAnyNumber},
                               {"TilingType", kAnyNumber}, {"BBox", kTypeArray},
                               {"XStep", kAnyNumber}, {"YStep", kAnyNumber}}},
                 .typed = {{{"Resources", BindResDictEntry}, {"BBox", BindRectEntry}}})
QUARN_CLASS_ROW(CPDFType2Pat, .base = &CPDFPattern::Rules(), .name = "2", .valueKinds = kTypeDict,
                 .required = {{{"Shading", kTypeDict | kTypeStream}}},
                 .typed = {{{"Shading", BindShadingEntry}, {"ExtGState", BindExtGStateEntry}}})

BindOutcome MakeShading(CPDFObjHolder* doc, CPDFObject& value, int kinds,
                        std::unique_ptr<CPDFObject>& out) {
  static constexpr FamilyMaker kOrder[] = {MakeOne<CPDFType1Sh>, MakeOne<CPDFType2Sh>,
                                           MakeOne<CPDFType3Sh>, MakeOne<CPDFType4Sh>,
                                           MakeOne<CPDFType5Sh>, MakeOne<CPDFType6Sh>,
                                           MakeOne<CPDFType7Sh>};
  return MakeFirstOf(kOrder, doc, value, kinds, out);
}

BindOutcome MakePattern(CPDFObjHolder* doc, CPDFObject& value, int kinds,
                        std::unique_ptr<CPDFObject>& out) {
  static constexpr FamilyMaker kOrder[] = {MakeOne<CPDFType1Pat>, MakeOne<CPDFType2Pat>};
  return MakeFirstOf(kOrder, doc, value, kinds, out);
}

}  // namespace quarn
