// Graphic objects and their written forms.
#include "pdf/content/graph_objs.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "pdf/object/out_stream.h"
#include "pdf/stream/stream.h"
#include "support/values.h"

namespace quarn {
namespace {

using test::Numbers;
using test::Text;

// ---- lists
// ---------------------------------------------------------------------------------------

TEST(GraphObjsList, EmptyListWritesNothing) {
  CPDFGraphObjs list;
  EXPECT_EQ(list.Count(), 0u);
  EXPECT_EQ(Text(list), "");
}

TEST(GraphObjsList, WatermarkListIsSaveInvokeRestore) {
  CPDFGraphObjs list;
  list.AddSave();
  list.AddExternalObject("Fm1");
  list.AddRestore();
  EXPECT_EQ(list.Count(), 3u);
  EXPECT_EQ(Text(list), "q /Fm1 Do Q");
}

TEST(GraphObjsList, PageNumberListIsOneLineOfSingleSpaces) {
  CPDFGraphObjs list;
  list.AddSave();
  list.AddTextObject().BeginText().SetFont("F1", 12).MoveText(10, 20).ShowText("7", 1).EndText();
  list.AddRestore();
  EXPECT_EQ(Text(list), "q BT /F1 12 Tf 10 20 Td (7) Tj ET Q");
}

TEST(GraphObjsList, FractionalPositionsKeepTheirFraction) {
  CPDFGraphObjs list;
  list.AddTextObject().BeginText().MoveText(297.5f, 14.173228f).EndText();
  EXPECT_EQ(Text(list), "BT 297.5 14.173228 Td ET");
}

TEST(GraphObjsList, LineWidthAndGrayHelpers) {
  CPDFGraphObjs list;
  list.AddLineWidth(0.5f);
  list.AddGray(1);
  EXPECT_EQ(Text(list), "0.5 w 1 G");
}

TEST(GraphObjsList, ClearDestroysTheObjects) {
  CPDFGraphObjs list;
  list.AddSave();
  list.AddTextObject().BeginText();
  list.Clear();
  EXPECT_TRUE(list.Empty());
  EXPECT_EQ(Text(list), "");
}

TEST(GraphObjsList, NestedListsFollowTheSameSpacingRule) {
  CPDFGraphObjs list;
  list.AddTextObject();  // an empty text object writes nothing, but still takes its place
  list.AddSave();
  EXPECT_EQ(Text(list), " q");
}

// ---- kinds and operator classes
// --------------------------------------------------------------------

TEST(GraphObjKinds, KindCodesAndDescriptions) {
  PageDescOperator page;
  TextOperator text;
  ExternalOperator external;
  TextObject textObject;
  ExternalObject externalObject;
  EXPECT_EQ(page.KindCode(), 1u);
  EXPECT_STREQ(page.Description(), "Page-Description Operator");
  EXPECT_EQ(text.KindCode(), 4u);
  EXPECT_STREQ(text.Description(), "Text Operator");
  EXPECT_EQ(external.KindCode(), 16u);
  EXPECT_STREQ(external.Description(), "External Operator");
  EXPECT_EQ(textObject.KindCode(), 128u);
  EXPECT_STREQ(textObject.Description(), "Text Object");
  EXPECT_EQ(externalObject.KindCode(), 512u);
  EXPECT_STREQ(externalObject.Description(), "External Object");
}

TEST(GraphObjKinds, OpClassOfDoTfAndCompounds) {
  ExternalOperator doOp;
  doOp.SetDo("Fm1");
  EXPECT_EQ(doOp.GetOpClass(), 8192u);
  TextOperator tf;
  tf.SetFont("F1", 12);
  EXPECT_EQ(tf.GetOpClass(), 512u);
  TextObject textObject;
  textObject.BeginText();
  EXPECT_EQ(textObject.GetOpClass(), 0u);
  ExternalObject externalObject;
  externalObject.SetXObject("Fm1");
  EXPECT_EQ(externalObject.GetOpClass(), 0u);
  TextOperator unset;
  EXPECT_EQ(unset.GetOpClass(), 0u);
  EXPECT_EQ(unset.Type(), -1);
  EXPECT_STREQ(unset.Operator(), "");
}

TEST(GraphObjKinds, OpClassOfEveryPageDescriptionType) {
  // Types 0..29 in order: q Q cm | i J d j w M gs | g G rg RG k K cs CS sc SC scn SCN ri | BX EX |
  // BMC BDC EMC MP DP.
  const uint32_t expected[] = {1, 1, 1, 2, 2, 2, 2, 2, 2, 2, 4,  4,  4,  4,  4,
                               4, 4, 4, 4, 4, 4, 4, 4, 8, 8, 16, 16, 16, 16, 16};
  PageDescOperator op;
  auto set = [&](int type) {
    switch (type) {
      case 0:
        op.SetSave();
        break;
      case 1:
        op.SetRestore();
        break;
      case 2:
        op.SetConcatMatrix(1, 0, 0, 1, 0, 0);
        break;
      case 3:
        op.SetFlatness(1);
        break;
      case 4:
        op.SetLineCap(0);
        break;
      case 5:
        op.SetDash(Numbers({3}), 0);
        break;
      case 6:
        op.SetLineJoin(0);
        break;
      case 7:
        op.SetLineWidth(1);
        break;
      case 8:
        op.SetMiterLimit(10);
        break;
      case 9:
        op.SetExtGState("GS1");
        break;
      case 10:
        op.SetFillGray(0);
        break;
      case 11:
        op.SetStrokeGray(0);
        break;
      case 12:
        op.SetFillRGB(0, 0, 0);
        break;
      case 13:
        op.SetStrokeRGB(0, 0, 0);
        break;
      case 14:
        op.SetFillCMYK(0, 0, 0, 1);
        break;
      case 15:
        op.SetStrokeCMYK(0, 0, 0, 1);
        break;
      case 16:
        op.SetFillColorSpace("DeviceRGB");
        break;
      case 17:
        op.SetStrokeColorSpace("DeviceRGB");
        break;
      case 18:
        op.SetFillColor({0});
        break;
      case 19:
        op.SetStrokeColor({0});
        break;
      case 20:
        op.SetFillColorN({0});
        break;
      case 21:
        op.SetStrokeColorN({0});
        break;
      case 22:
        op.SetRenderingIntent("Perceptual");
        break;
      case 23:
        op.SetBeginCompat();
        break;
      case 24:
        op.SetEndCompat("");
        break;
      case 25:
        op.SetBeginMarked("Tag");
        break;
      case 26:
        op.SetBeginMarkedProps("Tag", nullptr);
        break;
      case 27:
        op.SetEndMarked();
        break;
      case 28:
        op.SetMarkPoint("Tag");
        break;
      case 29:
        op.SetMarkPointProps("Tag", nullptr);
        break;
    }
  };
  for (int type = 0; type < 30; ++type) {
    set(type);
    EXPECT_EQ(op.Type(), type);
    EXPECT_EQ(op.GetOpClass(), expected[type]) << "type " << type << " (" << op.Operator() << ")";
  }
}

TEST(GraphObjKinds, OpClassOfEveryTextType) {
  const uint32_t expected[] = {256,  256,  512,  512,  512,  512,  512,  512, 512,
                               1024, 1024, 1024, 1024, 2048, 2048, 2048, 2048};
  TextOperator op;
  auto set = [&](int type) {
    switch (type) {
      case 0:
        op.SetBeginText();
        break;
      case 1:
        op.SetEndText();
        break;
      case 2:
        op.SetCharSpacing(1);
        break;
      case 3:
        op.SetWordSpacing(1);
        break;
      case 4:
        op.SetHorizScaling(100);
        break;
      case 5:
        op.SetLeading(12);
        break;
      case 6:
        op.SetFont("F1", 9);
        break;
      case 7:
        op.SetRenderMode(0);
        break;
      case 8:
        op.SetRise(2);
        break;
      case 9:
        op.SetMove(1, 2);
        break;
      case 10:
        op.SetMove(1, 2, true);
        break;
      case 11:
        op.SetTextMatrix(1, 0, 0, 1, 0, 0);
        break;
      case 12:
        op.SetNextLine();
        break;
      case 13:
        op.SetShow("a", 1);
        break;
      case 14:
        op.SetNextLineShow("a", 1);
        break;
      case 15:
        op.SetSpacingShow(1, 2, "a", 1);
        break;
      case 16:
        op.SetShowArray(nullptr);
        break;
    }
  };
  for (int type = 0; type < 17; ++type) {
    set(type);
    EXPECT_EQ(op.Type(), type);
    EXPECT_EQ(op.GetOpClass(), expected[type]) << "type " << type << " (" << op.Operator() << ")";
  }
}

// ---- re-setting an operator
// ------------------------------------------------------------------------

TEST(GraphOperatorReset, TfToTdReleasesTheFontOperands) {
  TextOperator op;
  op.SetFont("F1", 12);
  ASSERT_EQ(op.OperandCount(), 2u);
  ASSERT_EQ(op.Operand(0)->TypeCode(), kTypeName);
  op.SetMove(10, 20);
  EXPECT_EQ(op.Type(), TextOperator::kMove);
  EXPECT_STREQ(op.Operator(), "Td");
  EXPECT_EQ(op.OperandCount(), 2u);
  EXPECT_EQ(op.Operand(0)->TypeCode(), kTypeNumber);
  EXPECT_EQ(Text(op), "10 20 Td");
}

TEST(GraphOperatorReset, FewerOperandsLeaveNoStaleSlots) {
  PageDescOperator op;
  op.SetConcatMatrix(1, 2, 3, 4, 5, 6);
  ASSERT_EQ(op.OperandCount(), 6u);
  op.SetLineWidth(2);
  EXPECT_EQ(op.OperandCount(), 1u);
  EXPECT_EQ(op.Operand(1), nullptr);
  EXPECT_EQ(Text(op), "2 w");
}

TEST(GraphOperatorReset, ResetLeavesAnUnsetOperatorThatWritesNothing) {
  PageDescOperator op;
  op.SetFillRGB(1, 0, 0);
  op.Reset();
  EXPECT_EQ(op.Type(), -1);
  EXPECT_STREQ(op.Operator(), "");
  EXPECT_EQ(op.OperandCount(), 0u);
  EXPECT_EQ(Text(op), "");
}

// ---- written forms
// ---------------------------------------------------------------------------------

std::string PageOp(void (*set)(PageDescOperator&)) {
  PageDescOperator op;
  set(op);
  return Text(op);
}

TEST(PageDescOperatorForms, GraphicsState) {
  EXPECT_EQ(PageOp([](PageDescOperator& o) { o.SetSave(); }), "q");
  EXPECT_EQ(PageOp([](PageDescOperator& o) { o.SetRestore(); }), "Q");
  EXPECT_EQ(PageOp([](PageDescOperator& o) { o.SetConcatMatrix(1, 0, 0, 1, 100, 150); }),
            "1 0 0 1 100 150 cm");
  EXPECT_EQ(PageOp([](PageDescOperator& o) { o.SetFlatness(0.25f); }), "0.25 i");
  EXPECT_EQ(PageOp([](PageDescOperator& o) { o.SetLineCap(2); }), "2 J");
  EXPECT_EQ(PageOp([](PageDescOperator& o) { o.SetDash(Numbers({3, 2}), 1); }), "[3 2] 1 d");
  EXPECT_EQ(PageOp([](PageDescOperator& o) { o.SetDash(nullptr, 0); }), "[] 0 d");
  EXPECT_EQ(PageOp([](PageDescOperator& o) { o.SetLineJoin(1); }), "1 j");
  EXPECT_EQ(PageOp([](PageDescOperator& o) { o.SetLineWidth(0.5f); }), "0.5 w");
  EXPECT_EQ(PageOp([](PageDescOperator& o) { o.SetMiterLimit(10); }), "10 M");
  EXPECT_EQ(PageOp([](PageDescOperator& o) { o.SetExtGState("GS1"); }), "/GS1 gs");
}

TEST(PageDescOperatorForms, Colour) {
  EXPECT_EQ(PageOp([](PageDescOperator& o) { o.SetFillGray(0.5f); }), "0.5 g");
  EXPECT_EQ(PageOp([](PageDescOperator& o) { o.SetStrokeGray(1); }), "1 G");
  EXPECT_EQ(PageOp([](PageDescOperator& o) { o.SetFillRGB(1, 0, 0.5f); }), "1 0 0.5 rg");
  EXPECT_EQ(PageOp([](PageDescOperator& o) { o.SetStrokeRGB(0, 1, 0); }), "0 1 0 RG");
  EXPECT_EQ(PageOp([](PageDescOperator& o) { o.SetFillCMYK(0, 0, 0, 1); }), "0 0 0 1 k");
  EXPECT_EQ(PageOp([](PageDescOperator& o) { o.SetStrokeCMYK(1, 0, 0, 0); }), "1 0 0 0 K");
  EXPECT_EQ(PageOp([](PageDescOperator& o) { o.SetFillColorSpace("CS0"); }), "/CS0 cs");
  EXPECT_EQ(PageOp([](PageDescOperator& o) { o.SetStrokeColorSpace("DeviceGray"); }),
            "/DeviceGray CS");
  EXPECT_EQ(PageOp([](PageDescOperator& o) { o.SetRenderingIntent("Perceptual"); }),
            "/Perceptual ri");
}

TEST(PageDescOperatorForms, ColourComponentsAndPatterns) {
  // sc separates its operands; SC, scn and SCN put a space after each one.
  EXPECT_EQ(PageOp([](PageDescOperator& o) { o.SetFillColor({0.5f, 1}); }), "0.5 1 sc");
  EXPECT_EQ(PageOp([](PageDescOperator& o) { o.SetStrokeColor({0.5f, 1}); }), "0.5 1 SC");
  EXPECT_EQ(PageOp([](PageDescOperator& o) { o.SetFillColor({1, 2, 3, 4, 5}); }), "1 2 3 4 sc");
  EXPECT_EQ(PageOp([](PageDescOperator& o) { o.SetFillColorN({0.5f}, "P1"); }), "0.5 /P1 scn");
  EXPECT_EQ(PageOp([](PageDescOperator& o) { o.SetStrokeColorN({}, "P2"); }), "/P2 SCN");
  EXPECT_EQ(PageOp([](PageDescOperator& o) { o.SetFillColorN({0, 1, 0}); }), "0 1 0 scn");
}

TEST(PageDescOperatorForms, CompatibilityAndMarkedContent) {
  EXPECT_EQ(PageOp([](PageDescOperator& o) { o.SetBeginCompat(); }), "BX");
  EXPECT_EQ(PageOp([](PageDescOperator& o) { o.SetEndCompat("0 sh"); }), "0 sh EX");
  EXPECT_EQ(PageOp([](PageDescOperator& o) { o.SetBeginMarked("Artifact"); }), "/Artifact BMC");
  EXPECT_EQ(PageOp([](PageDescOperator& o) {
              o.SetBeginMarkedProps("Span", std::make_unique<CPDFName>("MC0"));
            }),
            "/Span /MC0 BDC");
  EXPECT_EQ(PageOp([](PageDescOperator& o) { o.SetBeginMarkedProps("Span", nullptr); }),
            "/Span BDC");
  EXPECT_EQ(PageOp([](PageDescOperator& o) { o.SetEndMarked(); }), "EMC");
  EXPECT_EQ(PageOp([](PageDescOperator& o) { o.SetMarkPoint("Tag"); }), "/Tag MP");
  EXPECT_EQ(PageOp([](PageDescOperator& o) {
              auto props = std::make_unique<CPDFDict>();
              props->Insert("K", std::make_unique<CPDFInt>(1));
              o.SetMarkPointProps("Tag", std::move(props));
            }),
            "/Tag <<\r\n/K 1\r\n>> DP");
}

std::string TextOp(void (*set)(TextOperator&)) {
  TextOperator op;
  set(op);
  return Text(op);
}

TEST(TextOperatorForms, StateAndPositioning) {
  EXPECT_EQ(TextOp([](TextOperator& o) { o.SetBeginText(); }), "BT");
  EXPECT_EQ(TextOp([](TextOperator& o) { o.SetEndText(); }), "ET");
  EXPECT_EQ(TextOp([](TextOperator& o) { o.SetCharSpacing(0.5f); }), "0.5 Tc");
  EXPECT_EQ(TextOp([](TextOperator& o) { o.SetWordSpacing(2); }), "2 Tw");
  EXPECT_EQ(TextOp([](TextOperator& o) { o.SetHorizScaling(90); }), "90 Tz");
  EXPECT_EQ(TextOp([](TextOperator& o) { o.SetLeading(14); }), "14 TL");
  EXPECT_EQ(TextOp([](TextOperator& o) { o.SetFont("F2", 9); }), "/F2 9 Tf");
  EXPECT_EQ(TextOp([](TextOperator& o) { o.SetRenderMode(3); }), "3 Tr");
  EXPECT_EQ(TextOp([](TextOperator& o) { o.SetRise(-2); }), "-2 Ts");
  EXPECT_EQ(TextOp([](TextOperator& o) { o.SetMove(1, 2, true); }), "1 2 TD");
  EXPECT_EQ(TextOp([](TextOperator& o) { o.SetTextMatrix(1, 0, 0, 1, 72, 720); }),
            "1 0 0 1 72 720 Tm");
  EXPECT_EQ(TextOp([](TextOperator& o) { o.SetNextLine(); }), "T*");
}

TEST(TextOperatorForms, Showing) {
  EXPECT_EQ(TextOp([](TextOperator& o) { o.SetShow("a(b", 3); }), "(a\\(b) Tj");
  EXPECT_EQ(TextOp([](TextOperator& o) { o.SetShow("a\0b", 3); }), "(a\\000b) Tj");
  EXPECT_EQ(TextOp([](TextOperator& o) { o.SetNextLineShow("x", 1); }), "(x) '");
  EXPECT_EQ(TextOp([](TextOperator& o) { o.SetSpacingShow(1, 2, "x", 1); }), "1 2 (x) \"");
  // Spelled out, each operator stays a token of its own.
  EXPECT_EQ(TextOp([](TextOperator& o) { o.SetSpacingShow(1, 2, "x", 1, false); }),
            "1 Tw 2 Tc (x) Tj");
  EXPECT_EQ(TextOp([](TextOperator& o) {
              auto parts = std::make_unique<CPDFArray>();
              parts->Push_Back(std::make_unique<CPDFString>("a"));
              parts->Push_Back(std::make_unique<CPDFInt>(-120));
              parts->Push_Back(std::make_unique<CPDFString>("b"));
              o.SetShowArray(std::move(parts));
            }),
            "[(a) -120 (b)] TJ");
  EXPECT_EQ(TextOp([](TextOperator& o) { o.SetShowArray(std::make_unique<CPDFArray>(), true); }),
            "T* [] TJ");
}

TEST(ExternalOperatorForms, DoAndPS) {
  ExternalOperator op;
  op.SetDo("Im3");
  EXPECT_EQ(Text(op), "/Im3 Do");
  op.SetPS("PS1");
  EXPECT_EQ(Text(op), "/PS1 PS");
  EXPECT_EQ(op.OperandCount(), 1u);
}

TEST(ExternalObjectForms, HoldsExactlyOneOperator) {
  ExternalObject object;
  object.SetXObject("Fm1");
  object.SetXObject("Fm2");
  EXPECT_EQ(object.Objects().Count(), 1u);
  EXPECT_EQ(Text(object), "/Fm2 Do");
  object.SetPostScript("PS1");
  EXPECT_EQ(Text(object), "/PS1 PS");
}

TEST(TextObjectForms, CallsChainAndAppendAnyOperator) {
  TextObject text;
  auto rise = std::make_unique<TextOperator>();
  rise->SetRise(3);
  text.BeginText().SetRenderMode(1).Append(std::move(rise)).EndText();
  EXPECT_EQ(text.Objects().Count(), 4u);
  EXPECT_EQ(Text(text), "BT 1 Tr 3 Ts ET");
}

}  // namespace
}  // namespace quarn
