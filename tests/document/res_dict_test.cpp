// Resource dictionaries: loading through the category factories, naming, adding, procedure sets.
#include "pdf/document/res_dict.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "pdf/document/proc_set.h"
#include "pdf/content/xobject.h"
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

using test::Text;

// A font-like resource used to exercise the Font category without the font classes.
class TestFont : public CPDFResource, public CPDFDict {
  QUARN_TYPED_CLASS(TestFont, CPDFDict, "Font")
 public:
  const char* GetCategory() const override { return "Font"; }
  const char* GetPrefix() const override { return "F"; }
  bool Realize(CPDFObjHolder* doc, CPDFObject& source) {
    BindDoc(doc);
    SwapContent(source);
    return true;
  }
  void SwapContent(CPDFObject& other) override { CPDFDict::SwapContent(other); }
};

std::unique_ptr<CPDFObject> MakeTestFont(CPDFObjHolder* doc, CPDFObject& value, int) {
  if (!AsDict(&value) || !AsDict(&value)->HasName(doc, "Type", "Font")) return nullptr;
  auto font = std::make_unique<TestFont>();
  font->Realize(doc, value);
  return font;
}

class ResDictTest : public ::testing::Test {
 protected:
  // Opens a document made of `pages` (see MakePagesPdf) and returns its first page.
  CPDFPage* Open(const std::vector<std::string>& pages,
                 const std::vector<std::string>& extra = {}) {
    path_ = dir_.File("in.pdf");
    test::WriteFile(path_, test::MakePagesPdf(pages, extra));
    CPDFErrorRecord error;
    doc_ = lib_.OpenDoc(path_, nullptr, error);
    EXPECT_NE(doc_, nullptr) << error.Module() << " " << error.Message();
    if (!doc_) return nullptr;
    return doc_->GetPage(0);
  }

  test::TempDir dir_;
  std::string path_;
  CPDFLib lib_;
  std::unique_ptr<CPDFDoc> doc_;
};

const char* kForm =
    "<< /Type /XObject /Subtype /Form /FormType 1 /BBox [0 0 10 10] /Matrix [1 0 0 1 0 0] /Length "
    "0 >>\nstream\nendstream";

// ---- naming
// --------------------------------------------------------------------------------------

TEST_F(ResDictTest, FirstFreeNameFillsTheGap) {
  // Objects: 3 page, 4 form.
  CPDFPage* page = Open(
      {"/MediaBox [0 0 100 100] /Resources << /XObject << /Fm1 4 0 R /Fm3 4 0 R >> >>"}, {kForm});
  ASSERT_NE(page, nullptr);
  CPDFResDict* resources = page->Get_Resources();
  ASSERT_NE(resources, nullptr);
  std::string name;
  ASSERT_TRUE(resources->MakeNameFor("XObject", "Fm", name));
  EXPECT_EQ(name, "Fm2");
  CPDFFormXObj form;
  ASSERT_TRUE(resources->MakeName(name, form));
  EXPECT_EQ(name, "Fm2");
  // Another category or prefix is counted on its own.
  ASSERT_TRUE(resources->MakeNameFor("XObject", "Im", name));
  EXPECT_EQ(name, "Im1");
  ASSERT_TRUE(resources->MakeNameFor("Font", "F", name));
  EXPECT_EQ(name, "F1");
}

TEST_F(ResDictTest, NameOfAMissingObjectIsStillTaken) {
  // Fm1 refers to object 40, which the document does not have.
  CPDFPage* page = Open({"/MediaBox [0 0 100 100] /Resources << /XObject << /Fm1 40 0 R >> >>"});
  ASSERT_NE(page, nullptr);
  std::string name;
  ASSERT_TRUE(page->Get_Resources()->MakeNameFor("XObject", "Fm", name));
  EXPECT_EQ(name, "Fm2");
}

TEST_F(ResDictTest, AllNamesTakenFails) {
  std::string entries;
  for (int i = 1; i <= 4095; ++i) entries += "/Fm" + std::to_string(i) + " 4 0 R ";
  CPDFPage* page =
      Open({"/MediaBox [0 0 100 100] /Resources << /XObject << " + entries + ">> >>"}, {kForm});
  ASSERT_NE(page, nullptr);
  std::string name = "unchanged";
  EXPECT_FALSE(page->Get_Resources()->MakeNameFor("XObject", "Fm", name));
  EXPECT_EQ(name, "unchanged");
  EXPECT_TRUE(doc_->LastError().IsError());
}

TEST_F(ResDictTest, FindResourceSearchesOnlyTheNamedCategories) {
  CPDFPage* page =
      Open({"/MediaBox [0 0 100 100] /Resources << /XObject << /Fm1 4 0 R >> /ProcSet [/PDF] >>"},
           {kForm});
  ASSERT_NE(page, nullptr);
  CPDFResDict* resources = page->Get_Resources();
  EXPECT_NE(resources->FindResource("XObject", "Fm1"), nullptr);
  EXPECT_EQ(resources->FindResource("XObject", "Fm2"), nullptr);
  EXPECT_EQ(resources->FindResource("ProcSet", "PDF"), nullptr);
  EXPECT_EQ(resources->FindResource("Bogus", "Fm1"), nullptr);
}

// ---- adding
// --------------------------------------------------------------------------------------

TEST_F(ResDictTest, MissingCategoryIsCreatedDirectly) {
  CPDFPage* page = Open({"/MediaBox [0 0 100 100] /Resources << >>"});
  ASSERT_NE(page, nullptr);
  CPDFResDict* resources = page->Get_Resources();
  auto form = std::make_unique<CPDFFormXObj>();
  ASSERT_TRUE(form->Create(doc_.get()));
  std::string name;
  ASSERT_TRUE(resources->MakeName(name, *form));
  EXPECT_EQ(name, "Fm1");
  CPDFObjRef ref;
  ASSERT_TRUE(resources->AddResource(name, std::move(form), &ref));
  EXPECT_TRUE(ref.IsDefined());
  CPDFAtom* category = resources->Lookup("XObject");
  ASSERT_NE(category, nullptr);
  EXPECT_TRUE(category->IsObject());  // entered directly, not as an indirect object
  CPDFAtom* entry = AsDict(static_cast<CPDFObject*>(category))->Lookup("Fm1");
  ASSERT_NE(entry, nullptr);
  ASSERT_TRUE(entry->IsRef());
  EXPECT_EQ(*static_cast<CPDFObjRef*>(entry), ref);
  EXPECT_NE(dynamic_cast<CPDFFormXObj*>(doc_->GetObj(ref)), nullptr);
}

TEST_F(ResDictTest, IndirectCategoryIsMarkedUpdated) {
  // Objects: 3 page, 4 font category (indirect), 5 a font.
  CPDFPage* page =
      Open({"/MediaBox [0 0 100 100] /Resources << /Font 4 0 R >>"},
           {"<< /F1 5 0 R >>", "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>"});
  ASSERT_NE(page, nullptr);
  CPDFResDict* resources = page->Get_Resources();
  const CPDFObjRef categoryRef(4, 0);
  ASSERT_NE(resources->Get_Font(), nullptr);
  CPDFBody* before = nullptr;
  ASSERT_NE(doc_->FindObj(categoryRef, false, &before), nullptr);
  EXPECT_NE(before, doc_->GetBody());  // loaded into the section it was read from

  auto font = std::make_unique<TestFont>();
  font->BindDoc(doc_.get());
  std::string name;
  ASSERT_TRUE(resources->MakeName(name, *font));
  EXPECT_EQ(name, "F2");
  ASSERT_TRUE(resources->AddResource(name, std::move(font), nullptr));

  CPDFBody* after = nullptr;
  ASSERT_NE(doc_->FindObj(categoryRef, false, &after), nullptr);
  EXPECT_EQ(after, doc_->GetBody());  // moved into the update section: the save writes it
  EXPECT_NE(resources->FindResource("Font", "F2"), nullptr);
  EXPECT_NE(resources->FindResource("Font", "F1"), nullptr);
}

TEST_F(ResDictTest, AddReferenceEntersTheIdentity) {
  CPDFPage* page =
      Open({"/MediaBox [0 0 100 100] /Resources << /XObject << /Fm1 4 0 R >> >>"}, {kForm});
  ASSERT_NE(page, nullptr);
  CPDFResDict* resources = page->Get_Resources();
  ASSERT_TRUE(resources->AddReference("XObject", "Fm2", CPDFObjRef(4, 0)));
  EXPECT_EQ(Text(resources->Get_XObject()), "<<\r\n/Fm1 4 0 R\r\n/Fm2 4 0 R\r\n>>");
  EXPECT_FALSE(resources->AddReference("ProcSet", "X", CPDFObjRef(4, 0)));
  EXPECT_FALSE(resources->AddReference("XObject", "Fm3", CPDFObjRef()));
}

TEST_F(ResDictTest, AddResourceRefusesWhatIsNotANamedResource) {
  CPDFPage* page = Open({"/MediaBox [0 0 100 100] /Resources << >>"});
  ASSERT_NE(page, nullptr);
  EXPECT_FALSE(page->Get_Resources()->AddResource("X1", std::make_unique<CPDFDict>(), nullptr));
  EXPECT_FALSE(
      page->Get_Resources()->AddResource("P1", std::make_unique<CPDFProcSet>("PDF"), nullptr));
}

// ---- procedure sets
// ------------------------------------------------------------------------------

TEST_F(ResDictTest, ProcSetWithFontsAndForms) {
  CPDFPage* page =
      Open({"/MediaBox [0 0 100 100] /Resources << /Font << /F1 5 0 R >> /XObject << /Fm1 4 0 R >> "
            "/ProcSet [/PDF] >>"},
           {kForm, "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>"});
  ASSERT_NE(page, nullptr);
  CPDFResDict* resources = page->Get_Resources();
  resources->UpdateProcSet();
  EXPECT_EQ(Text(resources->Get_ProcSet()), "[/PDF /Text /ImageB /ImageC /ImageI]");
  ASSERT_NE(resources->Get_ProcSet()->At(0), nullptr);
  EXPECT_NE(dynamic_cast<CPDFProcSet*>(resources->Get_ProcSet()->At(0)), nullptr);
}

TEST_F(ResDictTest, ProcSetWithNeitherIsPdfOnly) {
  CPDFPage* page =
      Open({"/MediaBox [0 0 100 100] /Resources << /Font << >> /ProcSet [/PDF /Text /ImageC] >>"});
  ASSERT_NE(page, nullptr);
  CPDFResDict* resources = page->Get_Resources();
  resources->UpdateProcSet();
  EXPECT_EQ(Text(resources->Get_ProcSet()), "[/PDF]");
}

TEST_F(ResDictTest, IndirectProcSetIsEmptiedInPlace) {
  CPDFPage* page =
      Open({"/MediaBox [0 0 100 100] /Resources << /ProcSet 4 0 R /XObject << /Fm1 5 0 R >> >>"},
           {"[/PDF /Text]", kForm});
  ASSERT_NE(page, nullptr);
  CPDFResDict* resources = page->Get_Resources();
  resources->UpdateProcSet();
  EXPECT_TRUE(resources->Lookup("ProcSet")->IsRef());
  EXPECT_EQ(Text(doc_->GetObj(CPDFObjRef(4, 0))), "[/PDF /ImageB /ImageC /ImageI]");
  CPDFBody* body = nullptr;
  doc_->FindObj(CPDFObjRef(4, 0), false, &body);
  EXPECT_EQ(body, doc_->GetBody());
}

// ---- loading
// -------------------------------------------------------------------------------------

TEST_F(ResDictTest, LoadingTypesRecognisedXObjectsAndKeepsTheirIdentity) {
  // Objects: 3 page, 4 form, 5 image, 6 a stream without /Type, 7 PostScript.
  CPDFPage* page = Open({"/MediaBox [0 0 100 100] /Resources << /XObject << /Fm1 4 0 R /Im1 5 0 R "
                         "/X1 6 0 R /PS1 7 0 R >> "
                         "/ProcSet [/PDF /ImageB] >>"},
                        {kForm,
                         "<< /Type /XObject /Subtype /Image /Width 1 /Height 1 /BitsPerComponent 8 "
                         "/ColorSpace /DeviceGray "
                         "/Length 1 >>\nstream\n\xff"
                         "endstream",
                         test::StreamObject("0 0 m"),
                         "<< /Type /XObject /Subtype /PS /Length 0 >>\nstream\nendstream"});
  ASSERT_NE(page, nullptr);
  CPDFResDict* resources = page->Get_Resources();
  ASSERT_NE(resources, nullptr);
  CPDFDict* xobjects = resources->Get_XObject();
  ASSERT_NE(xobjects, nullptr);
  for (const char* key : {"Fm1", "Im1", "X1", "PS1"}) {
    ASSERT_NE(xobjects->Lookup(key), nullptr);
    EXPECT_TRUE(xobjects->Lookup(key)->IsRef()) << key;
  }
  auto* form = dynamic_cast<CPDFFormXObj*>(doc_->GetObj(CPDFObjRef(4, 0)));
  ASSERT_NE(form, nullptr);
  EXPECT_EQ(form->Doc(), doc_.get());
  EXPECT_EQ(form->Doc(), doc_.get());
  EXPECT_NE(form->Get_BBox(), nullptr);
  EXPECT_NE(form->Get_Matrix(), nullptr);
  auto* image = dynamic_cast<CPDFImageXObj*>(doc_->GetObj(CPDFObjRef(5, 0)));
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(image->Get_Width()->TypeCode(), kTypeInteger);
  EXPECT_EQ(std::string(image->Data(), image->DataLength()), "\xff");
  EXPECT_EQ(dynamic_cast<CPDFXObject*>(doc_->GetObj(CPDFObjRef(6, 0))), nullptr);
  EXPECT_NE(dynamic_cast<CPDFPSXObj*>(doc_->GetObj(CPDFObjRef(7, 0))), nullptr);
  EXPECT_NE(dynamic_cast<CPDFProcSet*>(resources->Get_ProcSet()->At(1)), nullptr);
}

TEST_F(ResDictTest, RegisteredFactoryLoadsItsCategory) {
  lib_.RegisterResourceFactory("Font", &MakeTestFont);
  CPDFPage* page =
      Open({"/MediaBox [0 0 100 100] /Resources << /Font << /F1 4 0 R /F2 << /Type /Font >> "
            "/F3 << /Type /NotAFont >> >> >>"},
           {"<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>"});
  ASSERT_NE(page, nullptr);
  CPDFDict* fonts = page->Get_Resources()->Get_Font();
  ASSERT_NE(fonts, nullptr);
  EXPECT_TRUE(fonts->Lookup("F1")->IsRef());
  EXPECT_NE(dynamic_cast<TestFont*>(doc_->GetObj(CPDFObjRef(4, 0))), nullptr);
  EXPECT_NE(dynamic_cast<TestFont*>(fonts->Lookup("F2")), nullptr);
  EXPECT_EQ(dynamic_cast<TestFont*>(fonts->Lookup("F3")), nullptr);
  EXPECT_NE(fonts->Lookup("F3"), nullptr);
}

TEST_F(ResDictTest, DanglingReferenceStaysAsItIs) {
  CPDFPage* page = Open({"/MediaBox [0 0 100 100] /Resources << /XObject << /Fm1 40 0 R >> >>"});
  ASSERT_NE(page, nullptr);
  CPDFResDict* resources = page->Get_Resources();
  ASSERT_NE(resources, nullptr);
  EXPECT_TRUE(resources->Get_XObject()->Lookup("Fm1")->IsRef());
}

TEST_F(ResDictTest, FormThatNamesItselfLoadsOnce) {
  // Object 4 is a form whose own resources name object 4 again.
  CPDFPage* page =
      Open({"/MediaBox [0 0 100 100] /Resources << /XObject << /Fm1 4 0 R >> >>"},
           {"<< /Type /XObject /Subtype /Form /FormType 1 /BBox [0 0 10 10] /Matrix [1 0 0 1 0 0] "
            "/Resources << /XObject << /Fm1 4 0 R >> >> /Length 0 >>\nstream\nendstream"});
  ASSERT_NE(page, nullptr);
  ASSERT_NE(page->Get_Resources(), nullptr);
  auto* form = dynamic_cast<CPDFFormXObj*>(doc_->GetObj(CPDFObjRef(4, 0)));
  ASSERT_NE(form, nullptr);
  ASSERT_NE(form->Get_Resources(), nullptr);
  EXPECT_TRUE(form->Get_Resources()->Get_XObject()->Lookup("Fm1")->IsRef());
}

TEST_F(ResDictTest, DeeplyNestedFormsDoNotExhaustTheStack) {
  // 300 forms, each naming the next in its resources.
  std::vector<std::string> forms;
  for (int i = 0; i < 300; ++i) {
    const int self = 4 + i;
    forms.push_back(
        "<< /Type /XObject /Subtype /Form /FormType 1 /BBox [0 0 1 1] /Matrix [1 0 0 1 0 0] "
        "/Resources << /XObject << /Fm1 " +
        std::to_string(self + 1) +
        " 0 R >> >> /Length 0 >>\n"
        "stream\nendstream");
  }
  CPDFPage* page =
      Open({"/MediaBox [0 0 100 100] /Resources << /XObject << /Fm1 4 0 R >> >>"}, forms);
  ASSERT_NE(page, nullptr);
  EXPECT_NE(page->Get_Resources(), nullptr);
}

}  // namespace
}  // namespace quarn
