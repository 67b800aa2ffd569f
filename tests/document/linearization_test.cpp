// Linearized inputs: recognizing them, reading their parameters and hint stream, and the
// linearization walk.
#include "pdf/document/linearization.h"

#include <gtest/gtest.h>

#include "pdf/document/body.h"
#include "pdf/document/trailer.h"
#include "support/documents.h"
#include "support/pdf_builder.h"

namespace quarn {
namespace {

using test::PdfBuilder;

class Linearized : public test::DocTest {};

TEST_F(Linearized, QpdfLinearizedFileOpensAndRewrites) {
  if (!test::HaveTool("qpdf")) GTEST_SKIP() << "qpdf is not installed";
  const std::string plain = Put("plain.pdf", test::MakeFlatPdf(4));
  const std::string lin = m_dir.File("lin.pdf");
  ASSERT_EQ(
      test::RunCommand("qpdf --linearize --object-streams=disable '" + plain + "' '" + lin + "'"),
      0);
  auto doc = Open(lin);
  ASSERT_NE(doc, nullptr) << m_error.Message();
  EXPECT_TRUE(doc->IsLinearized());
  EXPECT_EQ(doc->GetPageCount(), 4);
  for (int i = 0; i < 4; ++i) EXPECT_NE(doc->GetPage(i), nullptr);
  // The update section continues from the first-page table.
  ASSERT_NE(doc->GetTrailer()->Get_Prev(), nullptr);
  EXPECT_EQ(doc->GetTrailer()->Get_Prev()->IntValue(),
            static_cast<int32_t>(test::ReadFile(lin).find("xref")));
  const std::string out = m_dir.File("out.pdf");
  ASSERT_TRUE(doc->Save(out.c_str(), false, false));
  ASSERT_TRUE(doc->Flush()) << doc->LastError().Message();
  EXPECT_FALSE(doc->IsLinearized());
  EXPECT_TRUE(test::QpdfAccepts(out));
  EXPECT_EQ(test::CommandOutput("qpdf --show-npages '" + out + "'"), "4\n");
  // An incremental update on the linearized file itself.
  auto again = Open(lin);
  ASSERT_NE(again, nullptr);
  ASSERT_TRUE(again->Save(lin.c_str(), true, false));
  ASSERT_TRUE(again->Flush()) << again->LastError().Message();
  EXPECT_TRUE(test::QpdfAccepts(lin));
}

TEST_F(Linearized, MissingHintsFail) {
  if (!test::HaveTool("qpdf")) GTEST_SKIP() << "qpdf is not installed";
  const std::string plain = Put("plain.pdf", test::MakeFlatPdf(3));
  const std::string lin = m_dir.File("lin.pdf");
  ASSERT_EQ(
      test::RunCommand("qpdf --linearize --object-streams=disable '" + plain + "' '" + lin + "'"),
      0);
  std::string text = test::ReadFile(lin);
  // Same length edits, so every offset stays valid.
  std::string noHints = text;
  noHints.replace(noHints.find("/H ["), 4, "/X [");
  OpenBytes(noHints);
  ExpectError(m_error, "CPDFDoc", "Open", kInternalError, "CPDFLineaParams::Get_Hints()");
  std::string notParams = text;
  notParams.replace(notParams.find("/Linearized"), 11, "/Unlinearly");
  OpenBytes(notParams);
  EXPECT_EQ(m_error.Message(), "CPDFLineaParams::Get_Hints()");
  // "H" with one element.
  std::string oneHint = text;
  const size_t h = oneHint.find("/H [");
  const size_t close = oneHint.find(']', h);
  const std::string inside = oneHint.substr(h + 4, close - h - 4);
  const size_t space = inside.find_first_of(' ', inside.find_first_not_of(' '));
  std::string replaced = inside.substr(0, space) + std::string(inside.size() - space, ' ');
  oneHint.replace(h + 4, inside.size(), replaced);
  OpenBytes(oneHint);
  EXPECT_EQ(m_error.Message(), "CPDFArray::GetObj()");
}

TEST_F(Linearized, LinearizeOnOnePageChangesNothing) {
  CPDFDoc doc(&m_lib);
  ASSERT_TRUE(doc.Create(&m_lib));
  ASSERT_TRUE(doc.Linearize());
  EXPECT_EQ(doc.GetBody()->Slots().size(), 2u);
}

TEST_F(Linearized, LinearizeObjNeedsTheObjectInTheNewestBody) {
  const std::string path = Put("a.pdf", test::MakeFlatPdf(3));
  auto doc = Open(path);
  ASSERT_NE(doc, nullptr);
  ASSERT_TRUE(doc->Save(path.c_str(), false, true));
  ASSERT_TRUE(doc->Flush()) << doc->LastError().Message();
  // After the flush the newest body is the fresh update section, which holds nothing yet.
  EXPECT_FALSE(doc->LinearizeObj(CPDFObjRef(1, 0), true));
  ExpectError(doc->LastError(), "CPDFDoc", "LinearizeObj", kInternalError, "CPDFBody::GetObj()");
  // The walk itself passes over objects that are not there.
  EXPECT_TRUE(doc->LinearizeObj(CPDFObjRef(1, 0), false));
}

TEST_F(Linearized, SaveWithLinearizeRunsTheWalkAfterTheFlush) {
  if (!test::HaveTool("qpdf")) GTEST_SKIP() << "qpdf is not installed";
  const std::string path = Put("a.pdf", test::MakeFlatPdf(4, {"<< /Font << >> >>"}));
  auto doc = Open(path);
  ASSERT_NE(doc, nullptr);
  ASSERT_TRUE(doc->Save(path.c_str(), true, true));
  ASSERT_TRUE(doc->Flush()) << doc->LastError().Message();
  EXPECT_TRUE(doc->IsLinearized());
  EXPECT_TRUE(test::QpdfAccepts(path));
  // The moved objects are found again through the tables.
  for (int i = 0; i < 4; ++i) EXPECT_NE(doc->GetPage(i), nullptr) << i;
  ASSERT_TRUE(doc->Save(path.c_str(), false, false));
  ASSERT_TRUE(doc->Flush()) << doc->LastError().Message();
  EXPECT_EQ(test::CommandOutput("qpdf --show-npages '" + path + "'"), "4\n");
}

}  // namespace
}  // namespace quarn
