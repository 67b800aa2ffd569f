// A walk over the pages of a document being saved, as a library user makes it: pages changed
// on the way are written with their changes, and an incremental update writes every object the
// walk changed, the page-tree node that holds inherited resources among them.
#include "pdf/document/page_session.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "pdf/document/doc.h"
#include "pdf/document/page_contents.h"
#include "pdf/document/pages.h"
#include "pdf/document/res_dict.h"
#include "pdf/library/pdf_lib.h"
#include "pdf/stream/stream.h"
#include "support/documents.h"
#include "support/files.h"
#include "support/pdf_builder.h"

namespace quarn {
namespace {

class PageSessionTest : public ::testing::TestWithParam<bool> {
 protected:
  // Three pages inheriting their box and resources from the tree; each draws its own stream.
  void SetUp() override {
    input_ = dir_.File("in.pdf");
    output_ = dir_.File("out.pdf");
    test::WriteFile(
        input_, test::MakePagesPdf({"/Contents 6 0 R", "/Contents 7 0 R", "/Contents 8 0 R"},
                                   {Stream("(one) Tj"), Stream("(two) Tj"), Stream("(three) Tj")},
                                   "/MediaBox [0 0 100 100] /Resources << >>"));
  }
  static std::string Stream(const std::string& text) {
    return "<< /Length " + std::to_string(text.size()) + " >>\nstream\n" + text + "\nendstream";
  }
  // Walks every page; page 2 gets "(added) Tj" over its content and an XObject name in the
  // resources it inherits.
  void Walk(bool incremental) {
    CPDFErrorRecord error;
    std::unique_ptr<CPDFDoc> doc = lib_.OpenDoc(input_, nullptr, error);
    ASSERT_NE(doc, nullptr) << error.Message();
    ASSERT_TRUE(incremental ? doc->SaveUpdate(output_.c_str())
                            : doc->Save(output_.c_str(), false, false));
    PageSession session(*doc, incremental, true);
    for (int32_t index = 0; index < 3; ++index) {
      CPDFObjRef ref, shared;
      CPDFPage* page = session.OpenPage(index, &ref, &shared);
      ASSERT_NE(page, nullptr);
      EXPECT_FALSE(shared.IsDefined());
      session.BeginPage(*page, ref);
      const bool changed = index == 1;
      session.WatchResources(changed);
      session.NoteContentsBefore();
      CPDFResDict* resources = page->Get_Resources();
      ASSERT_NE(resources, nullptr);
      if (changed) {
        ASSERT_TRUE(resources->AddReference("XObject", "Walked", CPDFObjRef(6, 0)));
        CPDFStream empty(nullptr);
        CPDFObjRef made;
        ASSERT_TRUE(
            AddContentsFiled(*page, empty, true, &made,
                             incremental ? ContentsArray::kDirect : ContentsArray::kIndirect));
        session.Compressor().Submit(made, std::string("(added) Tj"));
        session.NoteOwned(made);
      }
      ASSERT_TRUE(session.FinishPage(changed, true));
      ASSERT_TRUE(session.Release(1, error)) << error.Message();
    }
    ASSERT_TRUE(session.Release(0, error)) << error.Message();
    EXPECT_TRUE(session.CatalogWritten());
    ASSERT_TRUE(doc->Flush()) << doc->LastError().Message();
  }

  test::TempDir dir_;
  std::string input_;
  std::string output_;
  CPDFLib lib_{""};
};

TEST_P(PageSessionTest, WritesWhatTheWalkChanged) {
  Walk(GetParam());
  CPDFErrorRecord error;
  std::unique_ptr<CPDFDoc> out = lib_.OpenDoc(output_, nullptr, error);
  ASSERT_NE(out, nullptr) << error.Message();
  EXPECT_EQ(test::DecodedPageContents(*out, 0), "(one) Tj\n");
  EXPECT_EQ(test::DecodedPageContents(*out, 1), "(two) Tj\n|(added) Tj");
  EXPECT_EQ(test::DecodedPageContents(*out, 2), "(three) Tj\n");
  // The name went into resources that the page tree holds for every page.
  CPDFPage* third = out->GetPage(2);
  ASSERT_NE(third, nullptr);
  CPDFResDict* resources = third->Get_Resources();
  ASSERT_NE(resources, nullptr);
  EXPECT_NE(resources->FindResource("XObject", "Walked"), nullptr);
}

INSTANTIATE_TEST_SUITE_P(FullAndIncremental, PageSessionTest, ::testing::Values(false, true));

}  // namespace
}  // namespace quarn
