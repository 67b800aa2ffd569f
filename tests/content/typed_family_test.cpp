// The typed dictionary family: the recognizers' edge cases through the factories (one table),
// and binding on a loaded document where references loop.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "pdf/content/actions.h"
#include "pdf/content/annotations.h"
#include "pdf/content/color_spaces.h"
#include "pdf/content/fdf.h"
#include "pdf/content/fields.h"
#include "pdf/content/functions_halftones.h"
#include "pdf/content/navigation.h"
#include "pdf/content/shadings_patterns.h"
#include "pdf/document/catalog.h"
#include "pdf/document/pages.h"
#include "pdf/document/trailer.h"
#include "support/documents.h"
#include "support/pdf_builder.h"
#include "support/values.h"

namespace quarn {
namespace {

using test::Parse;
using test::PdfBuilder;

template <class T>
bool Is(CPDFObject* made) {
  return dynamic_cast<T*>(made) != nullptr;
}
bool Plain(CPDFObject* made) { return made == nullptr; }

struct RecognizerCase {
  const char* what;
  bool fdf;  // judged in an FDF document
  FamilyMaker make;
  int kinds;
  const char* value;
  bool (*expect)(CPDFObject* made);
};

const RecognizerCase kCases[] = {
    {"annotation without Type", false, MakeAnnotation, -1, "<< /Subtype /Text /Rect [0 0 1 1] >>", Plain},
    {"annotation", false, MakeAnnotation, -1, "<< /Type /Annot /Subtype /Text /Rect [0 0 1 1] >>",
     Is<CPDFTextAnnot>},
    {"annotation kind masked out", false, MakeAnnotation, ~1,
     "<< /Type /Annot /Subtype /Text /Rect [0 0 1 1] >>", Plain},
    {"annotation whose Rect is no array", false, MakeAnnotation, -1,
     "<< /Type /Annot /Subtype /Text /Rect 4 >>", Plain},
    {"PDF annotation without Page", false, MakeAnnotation, -1,
     "<< /Type /Annot /Subtype /Square /Rect [0 0 1 1] >>", Is<CPDFSquareAnnot>},
    {"FDF annotation without Page", true, MakeAnnotation, -1,
     "<< /Type /Annot /Subtype /Square /Rect [0 0 1 1] >>", Plain},
    {"FDF annotation with Page", true, MakeAnnotation, -1,
     "<< /Type /Annot /Subtype /Square /Rect [0 0 1 1] /Page 0 >>", Is<CPDFSquareAnnot>},
    {"annotation whose Page is no number", false, MakeAnnotation, -1,
     "<< /Type /Annot /Subtype /Square /Rect [0 0 1 1] /Page /P >>", Plain},
    {"highlight without QuadPoints", false, MakeAnnotation, -1,
     "<< /Type /Annot /Subtype /Highlight /Rect [0 0 1 1] >>", Plain},
    {"action without Type", false, MakeAction, -1, "<< /S /URI /URI (http://x) >>", Is<CPDFURIAct>},
    {"action of another Type", false, MakeAction, -1, "<< /Type /Annot /S /URI /URI (x) >>", Plain},
    {"URI action whose URI is no string", false, MakeAction, -1, "<< /S /URI /URI /x >>", Plain},
    {"link whose action fails its recognizer keeps it plain", false, MakeAnnotation, -1,
     "<< /Type /Annot /Subtype /Link /Rect [0 0 1 1] /A << /S /URI /URI 7 >> >>",
     [](CPDFObject* made) {
       auto* link = dynamic_cast<CPDFLinkAnnot*>(made);
       return link && link->Get_A() && !dynamic_cast<CPDFAction*>(link->Get_A());
     }},
    {"link binds its action and destination", false, MakeAnnotation, -1,
     "<< /Type /Annot /Subtype /Link /Rect [0 0 1 1] /Dest [null /Fit] "
     "/A << /S /GoTo /D [null /FitH 5] /Next [<< /S /NOP >>] >> >>",
     [](CPDFObject* made) {
       auto* link = dynamic_cast<CPDFLinkAnnot*>(made);
       auto* go = link ? dynamic_cast<CPDFGoToAct*>(link->Get_A()) : nullptr;
       auto* next = go ? go->GetArray(nullptr, "Next") : nullptr;
       return go && Is<CPDFDestination>(link->Get_Dest()) && Is<CPDFDestination>(go->Get_D()) &&
              next && Is<CPDFNOPAct>(next->GetObj(nullptr, 0));
     }},
    {"XYZ with three nulls", false, MakeDest, -1, "[null /XYZ null null null]", Is<CPDFDestination>},
    {"XYZ with two elements", false, MakeDest, -1, "[null /XYZ 1 2]", Plain},
    {"FitH followed by null", false, MakeDest, -1, "[null /FitH null]", Plain},
    {"FitR with four numbers", false, MakeDest, -1, "[3 /FitR 0 0 1 1]", Is<CPDFDestination>},
    {"fit name outside the table", false, MakeDest, -1, "[null /FitX]", Plain},
    {"named destination", false, MakeDest, -1, "<< /D [null /Fit] >>",
     [](CPDFObject* made) {
       auto* named = dynamic_cast<CPDFNamedDest*>(made);
       return named && Is<CPDFDestination>(named->Get_D());
     }},
    {"field full name from its ancestors", false, MakeAnnotation, -1,
     "<< /Type /Annot /Subtype /Widget /Rect [0 0 1 1] /T (b) "
     "/Parent << /T (a) /Parent << /FT /Tx >> >> >>",
     [](CPDFObject* made) {
       auto* field = dynamic_cast<CPDFTxField*>(made);
       return field && field->FullName() == "a.b";
     }},
    {"choice field without Opt", false, MakeField, -1,
     "<< /Type /Annot /Subtype /Widget /Rect [0 0 1 1] /FT /Ch >>", Plain},
    {"widget without field type", false, MakeAnnotation, -1,
     "<< /Type /Annot /Subtype /Widget /Rect [0 0 1 1] >>", Plain},
    {"axial shading with its function", false, MakeShading, -1,
     "<< /ShadingType 2 /ColorSpace [/Indexed /DeviceRGB 0 (abc)] /Coords [0 0 1 1] "
     "/Function << /FunctionType 2 /Domain [0 1] /N 1 >> >>",
     [](CPDFObject* made) {
       auto* shading = dynamic_cast<CPDFType2Sh*>(made);
       return shading && Is<CPDFType2Func>(shading->Get_Function()) &&
              Is<CPDFIndexedCS>(shading->Get_ColorSpace());
     }},
    {"axial shading without Coords", false, MakeShading, -1,
     "<< /ShadingType 2 /ColorSpace /DeviceRGB /Function << >> >>", Plain},
    {"pattern space for an image", false, MakeColorSpace, kImageColorSpaceKinds,
     "[/Pattern /DeviceRGB]", Plain},
    {"pattern space", false, MakeColorSpace, -1, "[/Pattern /DeviceRGB]", Is<CPDFPatternCS>},
    {"CalRGB without WhitePoint", false, MakeColorSpace, -1, "[/CalRGB << >>]", Plain},
    {"device space as a name", false, MakeColorSpace, -1, "/DeviceCMYK", Is<CPDFDevCMYKCS>},
};

class TypedFamily : public test::DocTest {};

TEST_F(TypedFamily, RecognizersThroughTheFactories) {
  PdfBuilder fdfMaker("%FDF-1.2\n%\xE2\xE3\xCF\xD3\n");
  fdfMaker.Obj(1, "<< /FDF << /Annots [2 0 R] >> >>")
      .Obj(2, "<< /Type /Annot /Subtype /Text /Rect [0 0 1 1] /Page 0 >>")
      .Section("/Root 1 0 R");
  auto fdf = OpenBytes(fdfMaker.Str());
  ASSERT_NE(fdf, nullptr) << m_error.Message();
  // The FDF catalog is bound on open, with its annotations.
  auto* root = dynamic_cast<CFDFCatalog*>(fdf->GetTrailer()->Dict().GetValue(fdf.get(), "Root"));
  ASSERT_NE(root, nullptr);
  ASSERT_NE(root->Get_FDF(), nullptr);
  EXPECT_TRUE(Is<CPDFTextAnnot>(root->Get_FDF()->Get_Annots()->GetObj(fdf.get(), 0)));

  for (const RecognizerCase& c : kCases) {
    CPDFObjHolder* doc = c.fdf ? fdf.get() : nullptr;
    std::unique_ptr<CPDFObject> value = Parse(c.value, doc);
    ASSERT_NE(value, nullptr) << c.what;
    const std::string before = test::Text(*value);
    std::unique_ptr<CPDFObject> made;
    const BindOutcome outcome = c.make(doc, *value, c.kinds, made);
    EXPECT_NE(outcome, BindOutcome::kFailed) << c.what;
    EXPECT_TRUE(c.expect(made.get())) << c.what;
    // A refusal never changes the value; a binding takes it over whole.
    EXPECT_EQ(test::Text(made ? *made : *value), before) << c.what;
  }
}

TEST_F(TypedFamily, LoopsAndLongChainsEndTheBinding) {
  PdfBuilder maker;
  maker.Obj(1, "<< /Type /Catalog /Pages 2 0 R /Outlines 9 0 R >>")
      .Obj(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>")
      .Obj(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 9 9] /Annots [5 0 R 7 0 R 12 0 R] >>")
      .Obj(5, "<< /Type /Annot /Subtype /Link /Rect [0 0 1 1] /A 6 0 R >>")
      .Obj(6, "<< /S /NOP /Next 6 0 R >>")  // an action that follows itself
      .Obj(7, "<< /Type /Annot /Subtype /Widget /Rect [0 0 1 1] /T (w) /Parent 8 0 R >>")
      .Obj(8, "<< /T (p) /Parent 7 0 R >>")  // a field chain that loops, with no field type
      .Obj(9, "<< /Type /Outlines /First 10 0 R >>")
      .Obj(10, "<< /Title (a) /Next 11 0 R >>")
      .Obj(11, "<< /Title (b) /Next 10 0 R >>")  // an outline that loops
      .Obj(12, "<< /Type /Annot /Subtype /Link /Rect [0 0 1 1] /A 100 0 R >>");
  // A chain of "Next" actions longer than any binding goes: the deep end stays plain.
  for (int i = 100; i < 300; ++i) maker.Obj(i, "<< /S /NOP /Next " + std::to_string(i + 1) + " 0 R >>");
  maker.Obj(300, "<< /S /NOP >>").Section("/Root 1 0 R /Size 301");
  auto doc = OpenBytes(maker.Str());
  ASSERT_NE(doc, nullptr) << m_error.Message();
  CPDFPage* page = doc->GetPage(0);
  ASSERT_NE(page, nullptr);
  CPDFArray* annots = page->Get_Annots();
  ASSERT_NE(annots, nullptr);
  auto* link = dynamic_cast<CPDFLinkAnnot*>(annots->GetObj(doc.get(), 0));
  ASSERT_NE(link, nullptr);
  auto* action = dynamic_cast<CPDFNOPAct*>(link->Get_A());
  ASSERT_NE(action, nullptr);
  EXPECT_EQ(action->Get_Next(), action);  // the loop is kept as a reference to itself
  EXPECT_FALSE(Is<CPDFAnnotation>(annots->GetObj(doc.get(), 1)));
  EXPECT_TRUE(Is<CPDFLinkAnnot>(annots->GetObj(doc.get(), 2)));
  EXPECT_TRUE(Is<CPDFNOPAct>(doc->GetObj(CPDFObjRef(100, 0))));
  EXPECT_FALSE(Is<CPDFAction>(doc->GetObj(CPDFObjRef(299, 0))));

  auto* widget = dynamic_cast<CPDFDict*>(annots->GetObj(doc.get(), 1));
  ASSERT_NE(widget, nullptr);
  EXPECT_EQ(InheritedValue(doc.get(), *widget, "FT"), nullptr);

  auto* outlines = dynamic_cast<CPDFOutlines*>(doc->GetTrailer()->Get_Root()->Get_Outlines());
  ASSERT_NE(outlines, nullptr);
  CPDFOutlineItem* first = outlines->Get_First();
  ASSERT_NE(first, nullptr);
  ASSERT_NE(first->Get_Next(), nullptr);
  EXPECT_EQ(first->Get_Next()->Get_Next(), first);
}

}  // namespace
}  // namespace quarn
