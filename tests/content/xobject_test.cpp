// XObjects: recognizers, the factory, a page made into a form of another document, the matrix.
#include "pdf/content/xobject.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "pdf/document/res_dict.h"
#include "pdf/document/doc.h"
#include "pdf/document/pages.h"
#include "pdf/library/pdf_lib.h"
#include "pdf/object/out_stream.h"
#include "support/documents.h"
#include "support/files.h"
#include "support/pdf_builder.h"
#include "support/values.h"

namespace quarn {
namespace {

using test::Numbers;
using test::Text;

// A plain stream dictionary for the recognizers.
std::unique_ptr<CPDFStream> Plain(const std::string& type, const std::string& subtype) {
  auto stream = std::make_unique<CPDFStream>(nullptr);
  if (!type.empty()) stream->Insert("Type", std::make_unique<CPDFName>(type));
  if (!subtype.empty()) stream->Insert("Subtype", std::make_unique<CPDFName>(subtype));
  return stream;
}

// ---- recognizers and factory
// ---------------------------------------------------------------------

TEST(XObjectRecognizers, FormNeedsFormTypeOneAndBothArrays) {
  auto form = Plain("XObject", "Form");
  EXPECT_TRUE(IsXObject(nullptr, form.get()));
  EXPECT_FALSE(IsFormXObj(nullptr, form.get()));
  form->Insert("FormType", std::make_unique<CPDFNumber>(1));
  form->Insert("BBox", Numbers({0, 0, 1, 1}));
  EXPECT_FALSE(IsFormXObj(nullptr, form.get()));
  form->Insert("Matrix", Numbers({1, 0, 0, 1, 0, 0}));
  EXPECT_TRUE(IsFormXObj(nullptr, form.get()));
  form->Insert("FormType", std::make_unique<CPDFNumber>(2));
  EXPECT_FALSE(IsFormXObj(nullptr, form.get()));
  EXPECT_FALSE(IsFormXObj(nullptr, Plain("", "Form").get()));
}

TEST(XObjectRecognizers, ImageNeedsIntegerGeometry) {
  auto image = Plain("XObject", "Image");
  image->Insert("Width", std::make_unique<CPDFNumber>(4));
  image->Insert("Height", std::make_unique<CPDFNumber>(2));
  EXPECT_FALSE(IsImageXObj(nullptr, image.get()));
  image->Insert("BitsPerComponent", std::make_unique<CPDFNumber>(2.5f));
  EXPECT_FALSE(IsImageXObj(nullptr, image.get()));
  image->Insert("BitsPerComponent", std::make_unique<CPDFNumber>(8));
  EXPECT_TRUE(IsImageXObj(nullptr, image.get()));
  EXPECT_FALSE(IsFormXObj(nullptr, image.get()));
  EXPECT_TRUE(IsPSXObj(nullptr, Plain("XObject", "PS").get()));
  EXPECT_FALSE(IsPSXObj(nullptr, Plain("XObjects", "PS").get()));
}

TEST(XObjectFactory, MaskSelectsTheKinds) {
  auto image = Plain("XObject", "Image");
  image->Insert("Width", std::make_unique<CPDFNumber>(1));
  image->Insert("Height", std::make_unique<CPDFNumber>(1));
  image->Insert("BitsPerComponent", std::make_unique<CPDFNumber>(1));
  image->SetData("\x80", 1);
  EXPECT_EQ(CreateXObject(nullptr, *image, kXObjectForm | kXObjectPostScript), nullptr);
  ASSERT_NE(image->Lookup("Width"), nullptr);  // a refusal leaves the value whole
  std::unique_ptr<CPDFObject> typed = CreateXObject(nullptr, *image, -1);
  auto* bound = dynamic_cast<CPDFImageXObj*>(typed.get());
  ASSERT_NE(bound, nullptr);
  EXPECT_EQ(bound->Kind(), CPDFXObject::kImageKind);
  EXPECT_STREQ(bound->GetPrefix(), "Im");
  EXPECT_STREQ(bound->GetCategory(), "XObject");
  EXPECT_EQ(std::string(bound->Data(), bound->DataLength()), "\x80");
  EXPECT_EQ(Text(bound->Get_Width()), "1");
  EXPECT_EQ(bound->Get_Width()->TypeCode(), kTypeInteger);
  EXPECT_EQ(CreateXObject(nullptr, *Plain("XObject", "Form"), -1), nullptr);
}

TEST(XObjectFactory, BBoxThatIsNotARectangleStaysPlain) {
  auto form = Plain("XObject", "Form");
  form->Insert("FormType", std::make_unique<CPDFNumber>(1));
  auto badBox = std::make_unique<CPDFArray>();
  badBox->Push_Back(std::make_unique<CPDFName>("x"));
  form->Insert("BBox", std::move(badBox));
  form->Insert("Matrix", Numbers({1, 0, 0, 1, 0, 0}));
  // BBox is an array but not a rectangle: it stays plain and the form still binds.
  std::unique_ptr<CPDFObject> typed = CreateXObject(nullptr, *form, -1);
  auto* bound = dynamic_cast<CPDFFormXObj*>(typed.get());
  ASSERT_NE(bound, nullptr);
  EXPECT_EQ(bound->Get_BBox(), nullptr);
  EXPECT_NE(bound->GetArray(nullptr, "BBox"), nullptr);
  EXPECT_NE(bound->Get_Matrix(), nullptr);
  EXPECT_EQ(bound->Get_FormType()->TypeCode(), kTypeInteger);
}

// ---- the matrix
// ----------------------------------------------------------------------------------

TEST(FormMatrix, TranslateAndScaleMultiplyTheMatrix) {
  CPDFFormXObj form;
  ASSERT_TRUE(form.Create(nullptr));
  EXPECT_EQ(form.Get_Matrix(), nullptr);
  form.Translate(100, 150);
  EXPECT_EQ(Text(form.Get_Matrix()), "[1 0 0 1 100 150]");

  CPDFFormXObj fitted;
  fitted.Scale(2, 4);
  EXPECT_EQ(Text(fitted.Get_Matrix()), "[2 0 0 4 0 0]");
  // Scaling first and translating afterwards leaves the scale and adds the shift.
  fitted.Translate(10, 20);
  EXPECT_EQ(Text(fitted.Get_Matrix()), "[2 0 0 4 10 20]");
  // Translating first: the shift is scaled too (row vectors: M x S).
  CPDFFormXObj shifted;
  shifted.Translate(10, 20);
  shifted.Scale(2, 4);
  EXPECT_EQ(Text(shifted.Get_Matrix()), "[2 0 0 4 20 80]");
  // A general product.
  CPDFFormXObj rotated;
  rotated.Concat(0, 1, -1, 0, 5, 6);
  rotated.Concat(2, 0, 0, 3, 1, 1);
  EXPECT_EQ(Text(rotated.Get_Matrix()), "[0 3 -2 0 11 19]");
}

TEST(FormMatrix, CreateWritesTheDiscriminatingEntries) {
  CPDFFormXObj form;
  ASSERT_TRUE(form.Create(nullptr));
  EXPECT_EQ(Text(form.Get_Type()), "/XObject");
  EXPECT_EQ(Text(form.Get_Subtype()), "/Form");
  EXPECT_EQ(Text(form.Get_FormType()), "1");
  EXPECT_STREQ(form.GetPrefix(), "Fm");
  EXPECT_EQ(form.Kind(), CPDFXObject::kFormKind);
}

// ---- a page made into a form
// ---------------------------------------------------------------------

class CreateFromPageTest : public ::testing::Test {
 protected:
  void OpenBoth(const std::string& sourcePage, const std::vector<std::string>& sourceExtra) {
    test::WriteFile(dir_.File("source.pdf"), test::MakePagesPdf({sourcePage}, sourceExtra));
    test::WriteFile(dir_.File("target.pdf"),
                    test::MakePagesPdf({"/MediaBox [0 0 400 400] /Resources << >>"}));
    CPDFErrorRecord error;
    source_ = lib_.OpenDoc(dir_.File("source.pdf"), nullptr, error);
    target_ = lib_.OpenDoc(dir_.File("target.pdf"), nullptr, error);
    ASSERT_NE(source_, nullptr);
    ASSERT_NE(target_, nullptr);
  }

  test::TempDir dir_;
  CPDFLib lib_;
  std::unique_ptr<CPDFDoc> source_;
  std::unique_ptr<CPDFDoc> target_;
};

TEST_F(CreateFromPageTest, TwoContentStreamsMediaBoxAndResources) {
  // Source objects: 3 page, 4 and 5 content, 6 font.
  OpenBoth("/MediaBox [0 0 612 792] /Resources << /Font << /F1 6 0 R >> >> /Contents [4 0 R 5 0 R]",
           {test::StreamObject("BT /F1 12 Tf (A) Tj ET"),
            test::StreamObject(test::Deflate("0 0 m 5 5 l S"), "/Filter /FlateDecode"),
            "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>"});
  CPDFPage* page = source_->GetPage(0);
  ASSERT_NE(page, nullptr);
  CPDFFormXObj form;
  ASSERT_TRUE(form.CreateFromPage(target_.get(), *page)) << target_->LastError().Message();
  const std::string expected = "BT /F1 12 Tf (A) Tj ET 0 0 m 5 5 l S ";
  EXPECT_EQ(std::string(form.Data(), form.DataLength()), expected);
  EXPECT_EQ(form.Doc(), target_.get());
  EXPECT_EQ(form.Doc(), target_.get());
  EXPECT_EQ(Text(form.Get_Type()), "/XObject");
  EXPECT_EQ(Text(form.Get_Subtype()), "/Form");
  EXPECT_EQ(Text(form.Get_FormType()), "1");
  EXPECT_EQ(Text(form.Get_BBox()), "[0 0 612 792]");
  EXPECT_EQ(Text(form.Get_Matrix()), "[1 0 0 1 0 0]");
  EXPECT_EQ(form.Lookup("Filter"), nullptr);  // created without a filter
  ASSERT_NE(form.Lookup("Resources"), nullptr);
  ASSERT_TRUE(form.Lookup("Resources")->IsRef());
  CPDFObjRef resourcesRef = *static_cast<CPDFObjRef*>(form.Lookup("Resources"));
  CPDFDict* resources = AsDict(target_->GetObj(resourcesRef));
  ASSERT_NE(resources, nullptr);
  // The font was copied into the target document as an object of its own.
  CPDFDict* fonts = resources->GetDict(target_.get(), "Font");
  ASSERT_NE(fonts, nullptr);
  ASSERT_TRUE(fonts->Lookup("F1")->IsRef());
  CPDFDict* font = AsDict(fonts->GetValue(target_.get(), "F1"));
  ASSERT_NE(font, nullptr);
  EXPECT_TRUE(font->HasName(target_.get(), "BaseFont", "Helvetica"));
  EXPECT_EQ(Text(form.Get_Length()), std::to_string(expected.size()));
}

TEST_F(CreateFromPageTest, OneContentStreamKeepsItsEncodingWhenReadersKnowIt) {
  const std::string deflated = test::Deflate("0 0 m 5 5 l S");
  struct Case {
    std::string contents, dictionary, filter, parms;
    bool kept;
  };
  const Case cases[] = {
      {"4 0 R", "/Filter /FlateDecode /DecodeParms 5 0 R /Junk 1", "/FlateDecode",
       "<<\r\n/Predictor 1\r\n>>", true},
      {"[4 0 R]", "/Filter [/FlateDecode]", "[/FlateDecode]", "", true},
      {"4 0 R", "/Filter /Fl", "", "", false},  // an inline image's abbreviation: decoded
      {"4 0 R", "/Filter /FlateDecode /F (x.bin)", "", "", false},
  };
  for (const Case& c : cases) {
    OpenBoth("/MediaBox [0 0 10 10] /Resources << >> /Contents " + c.contents,
             {test::StreamObject(deflated, c.dictionary), "<< /Predictor 1 >>"});
    CPDFFormXObj form;
    ASSERT_TRUE(form.CreateFromPage(target_.get(), *source_->GetPage(0))) << c.dictionary;
    EXPECT_EQ(std::string(form.Data(), form.DataLength()), c.kept ? deflated : "0 0 m 5 5 l S");
    EXPECT_EQ(Text(form.GetValue(target_.get(), "Filter")), c.filter) << c.dictionary;
    EXPECT_EQ(Text(form.GetValue(target_.get(), "DecodeParms")), c.parms) << c.dictionary;
    EXPECT_EQ(form.Lookup("Junk"), nullptr);
    EXPECT_EQ(Text(form.Get_Length()), std::to_string(form.DataLength()));
  }
}

TEST_F(CreateFromPageTest, PageWithoutContentGivesAnEmptyForm) {
  OpenBoth("/MediaBox [10 20 210 120] /Resources << >>", {});
  CPDFPage* page = source_->GetPage(0);
  ASSERT_NE(page, nullptr);
  CPDFFormXObj form;
  ASSERT_TRUE(form.CreateFromPage(target_.get(), *page));
  EXPECT_EQ(form.DataLength(), 0u);
  EXPECT_EQ(Text(form.Get_BBox()), "[10 20 210 120]");
}

TEST_F(CreateFromPageTest, PageWithoutResourcesFails) {
  OpenBoth("/MediaBox [0 0 10 10] /Contents 4 0 R", {test::StreamObject("q Q")});
  CPDFPage* page = source_->GetPage(0);
  ASSERT_NE(page, nullptr);
  CPDFFormXObj form;
  EXPECT_FALSE(form.CreateFromPage(target_.get(), *page));
  EXPECT_TRUE(target_->LastError().IsError());
}

TEST_F(CreateFromPageTest, FormOutlivesTheSourceDocument) {
  OpenBoth("/MediaBox [0 0 10 10] /Resources << /XObject << /Im1 5 0 R >> >> /Contents 4 0 R",
           {test::StreamObject("q /Im1 Do Q"),
            "<< /Type /XObject /Subtype /Image /Width 1 /Height 1 /BitsPerComponent 8 /ColorSpace "
            "/DeviceGray "
            "/Length 1 >>\nstream\nZendstream"});
  CPDFPage* page = source_->GetPage(0);
  ASSERT_NE(page, nullptr);
  auto form = std::make_unique<CPDFFormXObj>();
  ASSERT_TRUE(form->CreateFromPage(target_.get(), *page));
  source_.reset();
  CPDFObjRef resourcesRef = *static_cast<CPDFObjRef*>(form->Lookup("Resources"));
  CPDFDict* resources = AsDict(target_->GetObj(resourcesRef));
  ASSERT_NE(resources, nullptr);
  auto* image = dynamic_cast<CPDFStream*>(
      resources->GetDict(target_.get(), "XObject")->GetValue(target_.get(), "Im1"));
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(std::string(image->Data(), image->DataLength()), "Z");
  EXPECT_EQ(std::string(form->Data(), form->DataLength()), "q /Im1 Do Q");
}

}  // namespace
}  // namespace quarn
