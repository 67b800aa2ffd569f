// The page tree: finding pages by position, counting, deleting, inheritance, and trees that
// loop.
#include "pdf/document/pages.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "pdf/document/catalog.h"
#include "pdf/document/res_dict.h"
#include "pdf/document/trailer.h"
#include "pdf/document/xref.h"
#include "pdf/object/geometry.h"
#include "support/documents.h"
#include "support/pdf_builder.h"

namespace quarn {
namespace {

using test::MakeFlatPdf;
using test::MakePdf;

class PageTree : public test::DocTest {
 protected:
  // The number of the object behind page `position`, or -1.
  int PageNumber(CPDFDoc& doc, int position) {
    CPDFObjRef ref;
    return doc.GetPage(position, &ref) ? ref.Num() : -1;
  }
};

// Catalog 1, root 2 with kids [node 3 (pages 4 5 6), page 7, null, page 8].
std::string TwoLevelTree() {
  return MakePdf({
      "<< /Type /Catalog /Pages 2 0 R >>",
      "<< /Type /Pages /Kids [3 0 R 7 0 R null 8 0 R] /Count 6 /MediaBox [0 0 100 200] >>",
      "<< /Type /Pages /Parent 2 0 R /Kids [4 0 R 5 0 R 6 0 R] /Count 3 >>",
      "<< /Type /Page /Parent 3 0 R >>",
      "<< /Type /Page /Parent 3 0 R /MediaBox [10 20 30 40] >>",
      "<< /Type /Page /Parent 3 0 R >>",
      "<< /Type /Page /Parent 2 0 R >>",
      "<< /Type /Page /Parent 2 0 R >>",
  });
}

TEST_F(PageTree, PositionsWalkIntoAndPastNodes) {
  auto doc = OpenBytes(TwoLevelTree());
  ASSERT_NE(doc, nullptr) << m_error.Message();
  EXPECT_EQ(doc->GetPageCount(), 6);
  EXPECT_EQ(PageNumber(*doc, 0), 4);
  EXPECT_EQ(PageNumber(*doc, 2), 6);
  EXPECT_EQ(PageNumber(*doc, 3), 7);  // skips the node of three pages
  EXPECT_EQ(PageNumber(*doc, 5), 8);  // the null kid counts as position 4
  // Backwards too (the walk's cursor must not skip what lies before it).
  EXPECT_EQ(PageNumber(*doc, 1), 5);
  EXPECT_EQ(PageNumber(*doc, 0), 4);
}

TEST_F(PageTree, NullKidAndOutOfRangePositionsGiveNothing) {
  auto doc = OpenBytes(TwoLevelTree());
  ASSERT_NE(doc, nullptr);
  // A place the root's Count promises is damage in the file; one past it is the caller's.
  EXPECT_EQ(doc->GetPage(4), nullptr);
  ExpectError(doc->LastError(), "CPDFDoc", "GetPage", kInvalidFormat,
              "page 5 of 6 is missing from the page tree");
  EXPECT_EQ(doc->GetPage(6), nullptr);
  EXPECT_EQ(doc->LastError().Message(), "CPDFPages::GetPage()");
  EXPECT_EQ(doc->GetPage(-1), nullptr);
}

TEST_F(PageTree, PagesAndNodesAreBoundInPlace) {
  auto doc = OpenBytes(TwoLevelTree());
  ASSERT_NE(doc, nullptr);
  CPDFObjRef ref;
  CPDFPage* page = doc->GetPage(1, &ref);
  ASSERT_NE(page, nullptr);
  EXPECT_EQ(ref, CPDFObjRef(5, 0));
  EXPECT_EQ(doc->GetObj(ref), page);
  EXPECT_NE(dynamic_cast<CPDFPages*>(doc->GetObj(CPDFObjRef(3, 0))), nullptr);
  // The node's kid entries are still references to the same identities.
  auto* node = dynamic_cast<CPDFPages*>(doc->GetObj(CPDFObjRef(3, 0)));
  ASSERT_TRUE(node->Get_Kids()->At(1)->IsRef());
  EXPECT_EQ(*static_cast<CPDFObjRef*>(node->Get_Kids()->At(1)), CPDFObjRef(5, 0));
}

TEST_F(PageTree, InheritedMediaBoxAndUninherit) {
  auto doc = OpenBytes(TwoLevelTree());
  ASSERT_NE(doc, nullptr);
  CPDFPage* own = doc->GetPage(1);
  ASSERT_NE(own, nullptr);
  EXPECT_FLOAT_EQ(own->Get_MediaBox()->Width(), 20.0f);
  CPDFPage* page = doc->GetPage(0);  // the box stands on the grandparent
  ASSERT_NE(page, nullptr);
  ASSERT_EQ(page->Lookup("MediaBox"), nullptr);
  CPDFRect* box = page->Get_MediaBox();
  ASSERT_NE(box, nullptr);
  EXPECT_FLOAT_EQ(box->Width(), 100.0f);
  EXPECT_FLOAT_EQ(box->Height(), 200.0f);
  EXPECT_EQ(page->Get_Resources(), nullptr);
  // No resources anywhere above: Uninherit cannot copy them down.
  EXPECT_FALSE(page->Uninherit());
}

TEST_F(PageTree, UninheritCopiesBothAttributesDown) {
  auto doc = OpenBytes(MakePdf({
      "<< /Type /Catalog /Pages 2 0 R >>",
      "<< /Type /Pages /Kids [3 0 R] /Count 1 /MediaBox 4 0 R /Resources << /ProcSet [/PDF] >> >>",
      "<< /Type /Page /Parent 2 0 R >>",
      "[0 0 300 400]",
  }));
  ASSERT_NE(doc, nullptr);
  CPDFPage* page = doc->GetPage(0);
  ASSERT_NE(page, nullptr);
  ASSERT_TRUE(page->Uninherit()) << doc->LastError().Message();
  // The indirect box became a new indirect object of the page; the direct resources a copy.
  CPDFAtom* box = page->Lookup("MediaBox");
  ASSERT_NE(box, nullptr);
  ASSERT_TRUE(box->IsRef());
  EXPECT_NE(static_cast<CPDFObjRef*>(box)->Num(), 4);
  EXPECT_FLOAT_EQ(page->Get_MediaBox()->Height(), 400.0f);
  ASSERT_NE(page->Lookup("Resources"), nullptr);
  EXPECT_TRUE(page->Lookup("Resources")->IsObject());
  EXPECT_NE(page->Get_Resources(), nullptr);
}

TEST_F(PageTree, DeleteToTheEnd) {
  auto doc = OpenBytes(MakeFlatPdf(5));
  ASSERT_NE(doc, nullptr);
  ASSERT_TRUE(doc->DeletePage(2, -1)) << doc->LastError().Message();
  EXPECT_EQ(doc->GetPageCount(), 2);
  EXPECT_EQ(PageNumber(*doc, 1), 4);
  EXPECT_EQ(doc->GetPage(2), nullptr);
  // The deleted pages' numbers are free now.
  EXPECT_FALSE(doc->GetXRef()->GetEntry(5)->InUse());
  EXPECT_FALSE(doc->GetXRef()->GetEntry(7)->InUse());
}

TEST_F(PageTree, DeleteRangeChecks) {
  auto doc = OpenBytes(MakeFlatPdf(3));
  ASSERT_NE(doc, nullptr);
  EXPECT_FALSE(doc->DeletePage(3, 1));
  ExpectError(doc->LastError(), "CPDFDoc", "DeletePage", kUserError,
              "Page position is out of range.");
  EXPECT_FALSE(doc->DeletePage(1, 3));
  EXPECT_EQ(doc->LastError().Message(), "Page position is out of range.");
  EXPECT_FALSE(doc->DeletePage(1, -2));
  EXPECT_EQ(doc->GetPageCount(), 3);
}

TEST_F(PageTree, DeletingTheOnlyPageOfANodeRemovesTheNode) {
  auto doc = OpenBytes(MakePdf({
      "<< /Type /Catalog /Pages 2 0 R >>",
      "<< /Type /Pages /Kids [3 0 R 5 0 R] /Count 2 >>",
      "<< /Type /Pages /Parent 2 0 R /Kids [4 0 R] /Count 1 >>",
      "<< /Type /Page /Parent 3 0 R /MediaBox [0 0 1 1] >>",
      "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 1 1] >>",
  }));
  ASSERT_NE(doc, nullptr);
  ASSERT_TRUE(doc->DeletePage(0, 1)) << doc->LastError().Message();
  auto* root = dynamic_cast<CPDFPages*>(doc->GetObj(CPDFObjRef(2, 0)));
  ASSERT_NE(root, nullptr);
  ASSERT_EQ(root->Get_Kids()->Count(), 1u);
  EXPECT_EQ(*static_cast<CPDFObjRef*>(root->Get_Kids()->At(0)), CPDFObjRef(5, 0));
  EXPECT_EQ(root->Get_Count()->IntValue(), 1);
  EXPECT_FALSE(doc->GetXRef()->GetEntry(3)->InUse());
  // Every node whose count changed is marked changed.
  EXPECT_TRUE(doc->GetXRef()->GetEntry(2)->InUse());
  EXPECT_EQ(PageNumber(*doc, 0), 5);
}

TEST_F(PageTree, KidsThatContainAnAncestorFailInsteadOfLooping) {
  auto doc = OpenBytes(MakePdf({
      "<< /Type /Catalog /Pages 2 0 R >>",
      "<< /Type /Pages /Kids [3 0 R] /Count 5 >>",
      "<< /Type /Pages /Parent 2 0 R /Kids [2 0 R] /Count 5 >>",
  }));
  ASSERT_NE(doc, nullptr);
  EXPECT_EQ(doc->GetPage(0), nullptr);
  ExpectError(doc->LastError(), "CPDFPages", "GetPage", kInvalidFormat, "page tree loops");
  EXPECT_FALSE(doc->DeletePage(0, 1));
  EXPECT_EQ(doc->LastError().Message(), "page tree loops");
}

TEST_F(PageTree, NodeThatIsItsOwnKidFails) {
  auto doc = OpenBytes(MakePdf({
      "<< /Type /Catalog /Pages 2 0 R >>",
      "<< /Type /Pages /Kids [2 0 R] /Count 1 >>",
  }));
  ASSERT_NE(doc, nullptr);
  EXPECT_EQ(doc->GetPage(0), nullptr);
  EXPECT_EQ(doc->LastError().Message(), "page tree loops");
}

TEST_F(PageTree, ParentChainThatLoopsEndsTheInheritance) {
  auto doc = OpenBytes(MakePdf({
      "<< /Type /Catalog /Pages 2 0 R >>",
      "<< /Type /Pages /Kids [4 0 R] /Count 1 /Parent 3 0 R >>",
      "<< /Type /Pages /Kids [2 0 R] /Count 1 /Parent 2 0 R >>",
      "<< /Type /Page /Parent 2 0 R >>",
  }));
  ASSERT_NE(doc, nullptr);
  CPDFPage* page = doc->GetPage(0);
  ASSERT_NE(page, nullptr) << doc->LastError().Message();
  EXPECT_EQ(page->Get_MediaBox(), nullptr);
  ExpectError(doc->LastError(), "CPDFPage", "Get_MediaBox", kInvalidFormat, "Parent chain loops");
}

TEST_F(PageTree, MalformedTreesGiveNothing) {
  auto doc = OpenBytes(MakePdf({"<< /Type /Catalog /Pages 2 0 R >>",
                                "<< /Type /Pages /Kids [(x)] /Count 1 >>", "<< /Parent 2 0 R >>"}));
  ASSERT_NE(doc, nullptr);
  EXPECT_EQ(doc->GetPage(0), nullptr);
}

TEST_F(PageTree, PageWhoseBoxDoesNotFitFailsToBind) {
  auto doc = OpenBytes(MakePdf({
      "<< /Type /Catalog /Pages 2 0 R >>",
      "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
      "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612] >>",
  }));
  ASSERT_NE(doc, nullptr);
  EXPECT_EQ(doc->GetPage(0), nullptr);
  // The page is left as it was read.
  auto* plain = AsDict(doc->GetObj(CPDFObjRef(3, 0)));
  ASSERT_NE(plain, nullptr);
  EXPECT_EQ(dynamic_cast<CPDFPage*>(plain), nullptr);
  EXPECT_EQ(AsArray(plain->GetValue(doc.get(), "MediaBox"))->Count(), 3u);
}

// A chain of nodes far deeper than any call stack would take: half of them count their pages
// through, the box is inherited from the root, and the page is found and deleted.
TEST_F(PageTree, TreesOfAnyDepthAreWalkedWithoutRecursion) {
  const int levels = 20000;
  std::vector<std::string> objects = {"<< /Type /Catalog /Pages 2 0 R >>"};
  for (int i = 0; i < levels; ++i) {
    const int self = i + 2;
    objects.push_back(
        "<< /Type /Pages /Kids [" + std::to_string(self + 1) + " 0 R]" +
        (i % 2 ? "" : " /Count 1") +
        (i ? " /Parent " + std::to_string(self - 1) + " 0 R" : " /MediaBox [0 0 9 9]") + " >>");
  }
  objects.push_back("<< /Type /Page /Parent " + std::to_string(levels + 1) + " 0 R >>");
  auto doc = OpenBytes(MakePdf(objects));
  ASSERT_NE(doc, nullptr) << m_error.Message();
  CPDFPage* page = doc->GetPage(0);
  ASSERT_NE(page, nullptr) << doc->LastError().Message();
  ASSERT_NE(page->Get_MediaBox(), nullptr) << doc->LastError().Message();
  EXPECT_EQ(page->Get_MediaBox()->Urx(), 9);
  ASSERT_TRUE(doc->DeletePage(0, 1)) << doc->LastError().Message();
  EXPECT_EQ(doc->GetPageCount(), 0);
}

TEST_F(PageTree, ManyPagesInOrderAndOutOfOrder) {
  const int pages = 3000;
  auto doc = OpenBytes(MakeFlatPdf(pages));
  ASSERT_NE(doc, nullptr);
  ASSERT_EQ(doc->GetPageCount(), pages);
  for (int i = 0; i < pages; ++i) {
    CPDFObjRef ref;
    CPDFPage* page = doc->GetPage(i, &ref);
    ASSERT_NE(page, nullptr) << i;
    ASSERT_EQ(ref.Num(), i + 3);
    ASSERT_EQ(page->Get_Rotate()->IntValue(), i);
  }
  EXPECT_EQ(PageNumber(*doc, 17), 20);
  EXPECT_EQ(PageNumber(*doc, pages - 1), pages + 2);
  EXPECT_EQ(PageNumber(*doc, 0), 3);
}

// Catalog 1; root 2 with kids [node 3 (pages 4-7), node 8 (page 9, node 10 (pages 11-13),
// pages 14 15), node 16 (pages 17-20, but "Count" 5)].
TEST_F(PageTree, PagesFoundInAnyOrderThroughNestedNodes) {
  std::vector<std::string> objects = {
      "<< /Type /Catalog /Pages 2 0 R >>",
      "<< /Type /Pages /Kids [3 0 R 8 0 R 16 0 R] /Count 15 /MediaBox [0 0 10 10] >>",
      "<< /Type /Pages /Parent 2 0 R /Kids [4 0 R 5 0 R 6 0 R 7 0 R] /Count 4 >>"};
  const auto pageOf = [](int parent) {
    return "<< /Type /Page /Parent " + std::to_string(parent) + " 0 R >>";
  };
  for (int i = 0; i < 4; ++i) objects.push_back(pageOf(3));
  objects.push_back("<< /Type /Pages /Parent 2 0 R /Kids [9 0 R 10 0 R 14 0 R 15 0 R] /Count 6 >>");
  objects.push_back(pageOf(8));
  objects.push_back("<< /Type /Pages /Parent 8 0 R /Kids [11 0 R 12 0 R 13 0 R] /Count 3 >>");
  for (int i = 0; i < 3; ++i) objects.push_back(pageOf(10));
  for (int i = 0; i < 2; ++i) objects.push_back(pageOf(8));
  objects.push_back(
      "<< /Type /Pages /Parent 2 0 R /Kids [17 0 R 18 0 R 19 0 R 20 0 R] /Count 5 >>");
  for (int i = 0; i < 4; ++i) objects.push_back(pageOf(16));
  auto doc = OpenBytes(MakePdf(objects));
  ASSERT_NE(doc, nullptr) << m_error.Message();
  // Position 14 lies inside the last node's count but has no kid; 15 is past the root's count.
  const std::vector<int> expected = {4, 5, 6, 7, 9, 11, 12, 13, 14, 15, 17, 18, 19, 20, -1, -1};
  std::vector<int> order;
  for (int i = 0; i < 16; ++i) order.push_back(i);
  for (int i = 15; i >= 0; --i) order.push_back(i);
  for (int i : {5, 4, 8, 0, 14, 10, 6, 7, 13, 1, 9, 12, 15, 3, 11, 2, 7, 5}) order.push_back(i);
  for (int position : order) EXPECT_EQ(PageNumber(*doc, position), expected[position]) << position;
  // A removed page moves every later one back, whatever node the walk was last in.
  EXPECT_EQ(PageNumber(*doc, 6), 12);
  ASSERT_TRUE(doc->DeletePage(4, 1)) << doc->LastError().Message();
  EXPECT_EQ(PageNumber(*doc, 4), 11);
  EXPECT_EQ(PageNumber(*doc, 6), 13);
  EXPECT_EQ(PageNumber(*doc, 9), 17);
}

// Page 4 listed as positions 0 and 2 of the root (through an indirect "Kids" array) and as the
// only page of node 3.
TEST_F(PageTree, PageListedTwiceGetsACopyOfItsOwnAtEachPlace) {
  auto doc = OpenBytes(MakePdf({
      "<< /Type /Catalog /Pages 2 0 R >>",
      "<< /Type /Pages /Kids 6 0 R /Count 4 /MediaBox [0 0 10 10] >>",
      "<< /Type /Pages /Parent 2 0 R /Kids [4 0 R] /Count 1 /Rotate 90 >>",
      "<< /Type /Page /Parent 2 0 R /Contents 7 0 R >>",
      "<< /Type /Page /Parent 2 0 R >>",
      "[4 0 R 5 0 R 4 0 R 3 0 R]",
      "<< /Length 0 >> stream\n\nendstream",
  }));
  ASSERT_NE(doc, nullptr) << m_error.Message();
  CPDFObjRef first;
  CPDFPage* page = doc->GetPage(0, &first);
  ASSERT_NE(page, nullptr);
  page->SetReference("Contents", CPDFObjRef(5, 0));  // as a stamp changes it
  ASSERT_TRUE(doc->UpdateObj(first));

  for (int position : {2, 3}) {
    CPDFObjRef copy;
    page = doc->SeparatePage(position, &copy);
    ASSERT_NE(page, nullptr) << position << ": " << doc->LastError().Message();
    EXPECT_GT(copy.Num(), 7) << position;
    EXPECT_EQ(PageNumber(*doc, position), copy.Num());
    // The copy is the page as the input holds it, under the node that lists it.
    const auto* contents = page->Lookup("Contents");
    ASSERT_TRUE(contents && contents->IsRef());
    EXPECT_EQ(*static_cast<const CPDFObjRef*>(contents), CPDFObjRef(7, 0)) << position;
    const int parent = position == 2 ? 2 : 3;
    EXPECT_EQ(*static_cast<const CPDFObjRef*>(page->Lookup("Parent")), CPDFObjRef(parent, 0));
    EXPECT_EQ(page->Get_Rotate() ? page->Get_Rotate()->IntValue() : 0, position == 3 ? 90 : 0);
  }
  EXPECT_EQ(PageNumber(*doc, 0), 4);  // the first place keeps the object and its change
  EXPECT_EQ(*static_cast<const CPDFObjRef*>(doc->GetPage(0)->Lookup("Contents")), CPDFObjRef(5, 0));
  EXPECT_EQ(doc->GetPageCount(), 4);
  // Nothing in the input to copy: a page made in this session.
  auto made = std::make_unique<CPDFDict>();
  CPDFObjRef madeRef;
  ASSERT_TRUE(doc->RegistObj(std::move(made), &madeRef));
  EXPECT_EQ(doc->LoadOriginal(madeRef), nullptr);

  // A node listed twice would show the copies at both its places: refused.
  auto twice = OpenBytes(MakePdf({
      "<< /Type /Catalog /Pages 2 0 R >>",
      "<< /Type /Pages /Kids [3 0 R 3 0 R] /Count 4 /MediaBox [0 0 10 10] >>",
      "<< /Type /Pages /Parent 2 0 R /Kids [4 0 R 5 0 R] /Count 2 >>",
      "<< /Type /Page /Parent 3 0 R >>",
      "<< /Type /Page /Parent 3 0 R >>",
  }));
  ASSERT_NE(twice, nullptr);
  EXPECT_EQ(PageNumber(*twice, 2), 4);
  EXPECT_EQ(twice->SeparatePage(2), nullptr);
  EXPECT_EQ(twice->LastError().Message(), "page tree lists a node twice");
  EXPECT_EQ(PageNumber(*twice, 0), 4);
}

TEST_F(PageTree, NewDocumentHasAnEmptyTree) {
  CPDFDoc doc(&m_lib);
  ASSERT_TRUE(doc.Create(&m_lib));
  EXPECT_EQ(doc.GetPageCount(), 0);
  EXPECT_EQ(doc.GetPage(0), nullptr);
  CPDFCatalog* catalog = doc.GetTrailer()->Get_Root();
  ASSERT_NE(catalog, nullptr);
  ASSERT_NE(catalog->Get_Pages(), nullptr);
  EXPECT_EQ(catalog->Get_Pages()->Get_Kids()->Count(), 0u);
}

}  // namespace
}  // namespace quarn
