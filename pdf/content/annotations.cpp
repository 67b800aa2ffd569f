#include "pdf/content/annotations.h"

#include "pdf/content/actions.h"
#include "pdf/content/fields.h"
#include "pdf/content/misc_resources.h"
#include "pdf/content/navigation.h"

namespace quarn {

namespace {

// "Page", when present, is a number; FDF annotations must name their page.
bool HasPageRule(CPDFObjHolder* doc, CPDFObject* value) {
  const CPDFObject* page = AsDict(value)->GetValue(doc, "Page");
  if (page && page->TypeCode() != kTypeNull) return AsNumber(page) != nullptr;
  return !IsFDFHolder(doc);
}

bool BindBorderEntry(CPDFObjHolder* doc, CPDFDict& holder, std::string_view key) {
  return BindEntryWith(doc, holder, key, kTypeDict, MakeOne<CPDFBorderStyle>);
}

}  // namespace

QUARN_CLASS_ROW(CPDFAppearDict, .valueKinds = kTypeDict)
QUARN_CLASS_ROW(CPDFBorderStyle, .valueKinds = kTypeDict, .typeName = "Border",
                 .typeRule = TypeRule::kOptional)

const ClassRow& CPDFAnnotation::Rules() {
  static const ClassRow rules{.discriminator = "Subtype", .typeName = "Annot",
                              .typeRule = TypeRule::kRequired,
                              .required = {{{"Rect", kTypeArray}}},
                              .typed = {{{"M", BindDateEntry},
                                         {"BS", BindBorderEntry},
                                         {"AA", BindAddActEntry},
                                         {"AP", BindAppearEntry}}},
                              .extra = HasPageRule};
  return rules;
}
#define QUARN_ANNOT(Class, Name, ...) \
  QUARN_CLASS_ROW(Class, .base = &CPDFAnnotation::Rules(), .name = Name, .valueKinds = kTypeDict __VA_ARGS__)
QUARN_ANNOT(CPDFLinkAnnot, "Link", ,
            .typed = {{{"Dest", BindDestEntry}, {"A", BindActionEntry}, {"PA", BindActionEntry}}})
QUARN_ANNOT(CPDFTextAnnot, "Text")
QUARN_ANNOT(CPDFPopupAnnot, "Popup")
QUARN_ANNOT(CPDFFreeTextAnnot, "FreeText", , .required = {{{"DA", 0}}})
QUARN_ANNOT(CPDFLineAnnot, "Line")
QUARN_ANNOT(CPDFSquareAnnot, "Square")
QUARN_ANNOT(CPDFCircleAnnot, "Circle")
QUARN_ANNOT(CPDFHighlightAnnot, "Highlight", , .required = {{{"QuadPoints", 0}}})
QUARN_ANNOT(CPDFUnderlineAnnot, "Underline", , .required = {{{"QuadPoints", 0}}})
QUARN_ANNOT(CPDFStrikeOutAnnot, "StrikeOut", , .required = {{{"QuadPoints", 0}}})
QUARN_ANNOT(CPDFStampAnnot, "Stamp")
QUARN_ANNOT(CPDFInkAnnot, "Ink", , .required = {{{"InkList", 0}}})
QUARN_ANNOT(CPDFFileAttachAnnot, "FileAttachment", , .required = {{{"FS", 0}}},
            .typed = {{{"FS", BindFileSpecEntry}}})
QUARN_ANNOT(CPDFSoundAnnot, "Sound", , .required = {{{"Sound", 0}}},
            .typed = {{{"Sound", BindSoundEntry}}})
QUARN_ANNOT(CPDFMovieAnnot, "Movie", , .required = {{{"Movie", 0}}},
            .typed = {{{"Movie", BindMovieEntry}, {"A", BindMovieActivEntry}}})
#undef QUARN_ANNOT

BindOutcome MakeAnnotation(CPDFObjHolder* doc, CPDFObject& value, int kinds,
                           std::unique_ptr<CPDFObject>& out) {
  static constexpr FamilyMaker kOrder[] = {
      MakeOne<CPDFTextAnnot>,      MakeOne<CPDFLinkAnnot>,       MakeOne<CPDFMovieAnnot>,
      MakeOne<CPDFSoundAnnot>,     MakeOne<CPDFFreeTextAnnot>,   MakeOne<CPDFStampAnnot>,
      MakeOne<CPDFLineAnnot>,      MakeOne<CPDFSquareAnnot>,     MakeOne<CPDFCircleAnnot>,
      MakeOne<CPDFStrikeOutAnnot>, MakeOne<CPDFHighlightAnnot>,  MakeOne<CPDFUnderlineAnnot>,
      MakeOne<CPDFInkAnnot>,       MakeOne<CPDFFileAttachAnnot>, MakeOne<CPDFPopupAnnot>};
  const BindOutcome outcome = MakeFirstOf(kOrder, doc, value, kinds, out);
  return outcome != BindOutcome::kLeft ? outcome : MakeField(doc, value, -1, out);
}

bool BindAppearEntry(CPDFObjHolder* doc, CPDFDict& holder, std::string_view key) {
  return BindEntryWith(doc, holder, key, kTypeDict, MakeOne<CPDFAppearDict>);
}

}  // namespace quarn
