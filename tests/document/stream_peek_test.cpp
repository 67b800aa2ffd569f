// CPDFDoc::IsStreamInFile: an object still in the file is known for a stream by its bytes alone
// only when they settle it; everything else answers no (and gets read).
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

TEST_F(StreamPeek, ReadOrCompressedObjectsAreNotLookedAt) {
  auto doc = WithObject3("<< /Length 3 >>\nstream\nabc\nendstream");
  ASSERT_NE(doc, nullptr) << m_error.Message();
  EXPECT_FALSE(doc->IsStreamInFile(CPDFObjRef(5, 0)));  // in an object stream
  ASSERT_NE(doc->GetObj(CPDFObjRef(3, 0)), nullptr);
  EXPECT_FALSE(doc->IsStreamInFile(CPDFObjRef(3, 0)));  // read: the object itself tells
}

}  // namespace
}  // namespace quarn
