// Annotations (text, link, markup, stamp, ink, file attachment, sound, movie, ...) with their
// appearance and border-style dictionaries. Widget annotations are form fields (fields.h).
#pragma once

#include "pdf/content/family_bases.h"

namespace quarn {

// An appearance dictionary: "N", "R", "D", each a stream or a dictionary of state streams.
QUARN_FAMILY_CLASS(CPDFAppearDict, CPDFDocDict,
  QUARN_ACCESSOR(N, CPDFObject) QUARN_ACCESSOR(R, CPDFObject) QUARN_ACCESSOR(D, CPDFObject))
QUARN_FAMILY_CLASS(CPDFBorderStyle, CPDFDocDict,
  QUARN_ACCESSOR(W, CPDFNumber) QUARN_ACCESSOR(S, CPDFName) QUARN_ACCESSOR(D, CPDFArray))

// The annotation family: "Type" "Annot", a "Rect", and "Subtype" telling the kind.
class CPDFAnnotation : public CPDFDocStruct, public CPDFDict {
 public:
  static const ClassRow& Rules();
  QUARN_ACCESSOR(Subtype, CPDFName)
  QUARN_ACCESSOR(Rect, CPDFRect)
  QUARN_ACCESSOR(M, CPDFDate)
  QUARN_ACCESSOR(F, CPDFNumber)
  QUARN_ACCESSOR(BS, CPDFBorderStyle)
  QUARN_ACCESSOR(AA, CPDFDict)
  QUARN_ACCESSOR(AP, CPDFAppearDict)
  QUARN_ACCESSOR(Contents, CPDFString)
  QUARN_ACCESSOR(Page, CPDFNumber)
  QUARN_SET(Border, CPDFArray)
  QUARN_SET(C, CPDFArray)
  QUARN_SET(T, CPDFString)
  QUARN_SET(H, CPDFName)
  QUARN_GET(Parent, CPDFDict)
};

QUARN_FAMILY_CLASS(CPDFLinkAnnot, CPDFAnnotation,
  QUARN_ACCESSOR(Dest, CPDFObject) QUARN_ACCESSOR(A, CPDFDict) QUARN_ACCESSOR(PA, CPDFDict))
QUARN_FAMILY_CLASS(CPDFTextAnnot, CPDFAnnotation)
QUARN_FAMILY_CLASS(CPDFPopupAnnot, CPDFAnnotation)
QUARN_FAMILY_CLASS(CPDFFreeTextAnnot, CPDFAnnotation)
QUARN_FAMILY_CLASS(CPDFLineAnnot, CPDFAnnotation)
QUARN_FAMILY_CLASS(CPDFSquareAnnot, CPDFAnnotation)
QUARN_FAMILY_CLASS(CPDFCircleAnnot, CPDFAnnotation)
QUARN_FAMILY_CLASS(CPDFHighlightAnnot, CPDFAnnotation)
QUARN_FAMILY_CLASS(CPDFUnderlineAnnot, CPDFAnnotation)
QUARN_FAMILY_CLASS(CPDFStrikeOutAnnot, CPDFAnnotation)
QUARN_FAMILY_CLASS(CPDFStampAnnot, CPDFAnnotation)
QUARN_FAMILY_CLASS(CPDFInkAnnot, CPDFAnnotation)
QUARN_FAMILY_CLASS(CPDFFileAttachAnnot, CPDFAnnotation, QUARN_ACCESSOR(FS, CPDFObject))
QUARN_FAMILY_CLASS(CPDFSoundAnnot, CPDFAnnotation, QUARN_ACCESSOR(Sound, CPDFObject))
QUARN_FAMILY_CLASS(CPDFMovieAnnot, CPDFAnnotation,
  QUARN_ACCESSOR(Movie, CPDFObject) QUARN_ACCESSOR(A, CPDFObject))

// The annotation factory. Bits: 0 Text, 1 Link, 2 Movie, 3 Sound, 4 FreeText, 5 Stamp, 6 Line,
// 7 Square, 8 Circle, 9 StrikeOut, 10 Highlight, 11 Underline, 12 Ink, 13 FileAttachment,
// 14 Popup. A dictionary none of them takes goes to the field factory with every kind.
BindOutcome MakeAnnotation(CPDFObjHolder* doc, CPDFObject& value, int kinds,
                           std::unique_ptr<CPDFObject>& out);

bool BindAppearEntry(CPDFObjHolder* doc, CPDFDict& holder, std::string_view key);

}  // namespace quarn
