// CPDFDoc::IsStreamInFile and IsPageInFile: an object still in the file is known for a stream,
// or for no page-tree node, by its bytes alone only when they settle it; everything else
// answers no (and gets read).
#include <gtest/gtest.h>

#include <string>

#include "support/documents.h"
#include "support/pdf_builder.h"

namespace quarn {
namespace {

class StreamPeek : public test::DocTest {
 protected:
  std::unique_ptr<CPDFDoc> WithObject3(const std::string& body) {
    test::PdfBuilder maker;
    maker.Obj(1, "<< /Type /Catalog /Pages 2 0 R >>")
        .Obj(2, "<< /Type /Pages /Kids [] /Count 0 >>")
        .Obj(3, body)
        .ObjStm(4, {{5, "<< /Length 0 >>"}})
        .Section("/Size 6 /Root 1 0 R");
    return OpenBytes(maker.Str());
  }
};

TEST_F(StreamPeek, TellsAStreamByItsBytes) {
  const struct {
    const char* body;
    bool stream;
  } cases[] = {
      {"<< /Length 3 >>\nstream\nabc\nendstream", true},
      {"<</Length 3/DecodeParms<</K -1>>>>\r\nstream\r\nabc\r\nendstream", true},
      {"<< /Note (a >> b \\) >>) /Id <3E3E> /Length 3 >>\nstream\nabc\nendstream", true},
      {"<< /Length 3 % a comment >>\n>> stream\nabc\nendstream", true},
      {"<< /Type /XObject >>", false},
      {"[4 0 R]", false},
      {"<< /Note (never closed >>\nstream\nabc\nendstream", false},
  };
  for (const auto& c : cases) {
    auto doc = WithObject3(c.body);
    ASSERT_NE(doc, nullptr) << c.body << ": " << m_error.Message();
    EXPECT_EQ(doc->IsStreamInFile(CPDFObjRef(3, 0)), c.stream) << c.body;
    EXPECT_FALSE(doc->IsStreamInFile(CPDFObjRef(3, 1))) << "another generation: " << c.body;
  }
}

TEST_F(StreamPeek, TellsAPageByItsBytes) {
  const struct {
    const char* body;
    bool page;
  } cases[] = {
      {"<< /Type /Page /Parent 2 0 R /MediaBox [0 0 10 10] >>", true},
      {"<</Type/Page/Note(/Kids \\) [)/Res<</F<</F1 6 0 R>>>>>>", true},
      {"<< /Type /Page /Contents 4 0 R >>\nstream\nabc\nendstream", true},
      {"<< /Type /Pages /Kids [4 0 R] /Count 1 >>", false},
      {"<< /Type /Pages /K#69ds [4 0 R] /Count 1 >>", false},       // "Kids" spelt with an escape
      {"<< /Type /Page /A << /Kids 4 0 R >> >>", false},            // any "Kids" gets it read
      {"<< /Type /Pages /A%>>\n/Kids [4 0 R] /Count 1 >>", false},  // ">>" in a comment
      {"<< /Type /Page /Note (never closed >>", false},
      {"[4 0 R]", false},
  };
  for (const auto& c : cases) {
    auto doc = WithObject3(c.body);
    ASSERT_NE(doc, nullptr) << c.body << ": " << m_error.Message();
    EXPECT_EQ(doc->IsPageInFile(CPDFObjRef(3, 0)), c.page) << c.body;
    EXPECT_FALSE(doc->IsPageInFile(CPDFObjRef(3, 1))) << "another generation: " << c.body;
  }
  auto doc = WithObject3("<< /Type /Page >>");
  ASSERT_NE(doc, nullptr) << m_error.Message();
  EXPECT_FALSE(doc->IsPageInFile(CPDFObjRef(5, 0)));  // in an object stream
  ASSERT_NE(doc->GetObj(CPDFObjRef(3, 0)), nullptr);
  EXPECT_FALSE(doc->IsPageInFile(CPDFObjRef(3, 0)));  // read: the object itself tells
}

TEST_F(StreamPeek, ReadOrCompressedObjectsAreNotLookedAt) {
  auto doc = WithObject3("<< /Length 3 >>\nstream\nabc\nendstream");
  ASSERT_NE(doc, nullptr) << m_error.Message();
  EXPECT_FALSE(doc->IsStreamInFile(CPDFObjRef(5, 0)));  // in an object stream
  ASSERT_NE(doc->GetObj(CPDFObjRef(3, 0)), nullptr);
  EXPECT_FALSE(doc->IsStreamInFile(CPDFObjRef(3, 0)));  // read: the object itself tells
}

}  // namespace
}  // namespace quarn
