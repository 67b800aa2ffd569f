// Where a stream's data ends when its dictionary gives the length: the bytes at that length
// are trusted only when "endstream" and "endobj" follow there; otherwise the data runs to the
// first "endstream" "endobj" found.
#include <gtest/gtest.h>

#include "pdf/object/in_stream.h"
#include "pdf/object/parser.h"
#include "pdf/stream/stream.h"
#include "support/documents.h"
#include "support/files.h"
#include "support/pdf_builder.h"

namespace quarn {
namespace {

using test::MakePdf;

std::unique_ptr<CPDFObject> ParseBytes(const std::string& text) {
  MemInStream in(text.data(), text.size());
  return SerializeObject(nullptr, in, nullptr);
}

// The data and the "Length" of the stream read from `text`.
struct ReadResult {
  std::string data;
  int32_t length = -1;
};

ReadResult ReadStream(const std::string& text) {
  auto object = ParseBytes(text);
  auto* stream = dynamic_cast<CPDFStream*>(object.get());
  if (!stream) {
    ADD_FAILURE() << "no stream read from: " << text;
    return {};
  }
  ReadResult result;
  result.data.assign(stream->Data(), stream->DataLength());
  // An indirect "Length" cannot be looked at without a document; it stays -1 then.
  if (const CPDFNumber* length = stream->GetNumber(nullptr, "Length")) {
    result.length = length->IntValue();
  }
  return result;
}

std::string StreamText(const std::string& length, const std::string& data) {
  return "<< /Length " + length + " >>\nstream\n" + data + "endstream\nendobj";
}

TEST(StreamLength, RightLengthGivesTheDataWithItsEndOfLine) {
  // The end of line in front of "endstream" stays with the data, as the search gives it.
  for (const std::string eol : {"", "\n", "\r", "\r\n"}) {
    const ReadResult read = ReadStream(StreamText("5", "hello" + eol));
    EXPECT_EQ(read.data, "hello" + eol);
    EXPECT_EQ(read.length, static_cast<int32_t>(5 + eol.size()));
  }
  EXPECT_EQ(ReadStream(StreamText("0", "")).data, "");
}

TEST(StreamLength, RightLengthReadsPastEndstreamEndobjInTheData) {
  // The one case where the length decides differently from the search: it is confirmed by the
  // bytes at its end, so keywords inside the data do not cut it short.
  const std::string data = "A endstream endobj B\n";
  EXPECT_EQ(ReadStream(StreamText(std::to_string(data.size()), data)).data, data);
  // Without a usable length the search stops at the first pair.
  EXPECT_EQ(ReadStream(StreamText("1", data)).data, "A ");
}

TEST(StreamLength, WrongLengthFallsBackToTheSearch) {
  const std::string data = "0123456789\n";
  for (const std::string length : {"3", "10000", "-4", "12", "9", "2.5", "/Name"}) {
    const ReadResult read = ReadStream(StreamText(length, data));
    EXPECT_EQ(read.data, data) << "Length " << length;
    EXPECT_EQ(read.length, 11) << "Length " << length;
  }
}

TEST(StreamLength, LengthPointingIntoTheDataFallsBack) {
  // At the length the bytes are data, white space other than one end of line, or a keyword
  // that is not "endstream" "endobj": the data runs to the real end.
  EXPECT_EQ(ReadStream(StreamText("2", "ab\n\nendstreamx endobj\n")).data,
            "ab\n\nendstreamx endobj\n");
  EXPECT_EQ(ReadStream(StreamText("2", "ab\nendstream foo\n")).data, "ab\nendstream foo\n");
  EXPECT_EQ(ReadStream(StreamText("2", "ab  endstream\n")).data, "ab  endstream\n");
  EXPECT_EQ(ReadStream(StreamText("2", "ab\n\r")).data, "ab\n\r");
  // Two ends of line after the length: the second belongs to the data.
  EXPECT_EQ(ReadStream(StreamText("2", "ab\r\n\n")).data, "ab\r\n\n");
}

TEST(StreamLength, LengthAtTheEndOfTheInputFallsBack) {
  // No "endobj" after the "endstream" at the length; the search fails as before.
  const std::string text = "<< /Length 2 >>\nstream\nab\nendstream";
  EXPECT_THROW(ParseBytes(text), CPDFException);
}

TEST(StreamLength, IndirectLengthNotAtHandIsSearched) {
  // Without a document the reference cannot be looked at: the search decides.
  const ReadResult read = ReadStream(StreamText("5 0 R", "A endstream endobj B\n"));
  EXPECT_EQ(read.data, "A ");
}

class StreamLengthInDocument : public test::DocTest {};

TEST_F(StreamLengthInDocument, IndirectLengthsReadFromAFile) {
  // Object 4's length is object 5, which is not loaded when 4 is read; object 6's is direct.
  // Both hold "endstream endobj" inside their data.
  const std::string data = "q endstream endobj Q\n";
  auto doc = OpenBytes(MakePdf(
      {"<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
       "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 1 1] /Contents [4 0 R 6 0 R] >>",
       "<< /Length 5 0 R >>\nstream\n" + data + "endstream", std::to_string(data.size()),
       "<< /Length " + std::to_string(data.size()) + " >>\nstream\n" + data + "endstream"}));
  ASSERT_NE(doc, nullptr);
  auto* direct = dynamic_cast<CPDFStream*>(doc->GetObj(CPDFObjRef(6, 0)));
  ASSERT_NE(direct, nullptr);
  EXPECT_TRUE(direct->IsDataInFile());
  EXPECT_EQ(std::string(direct->Data(), direct->DataLength()), data);

  // Object 5 is in memory once read: the length is at hand for object 4.
  ASSERT_NE(doc->GetObj(CPDFObjRef(5, 0)), nullptr);
  auto* indirect = dynamic_cast<CPDFStream*>(doc->GetObj(CPDFObjRef(4, 0)));
  ASSERT_NE(indirect, nullptr);
  EXPECT_EQ(std::string(indirect->Data(), indirect->DataLength()), data);
}

TEST_F(StreamLengthInDocument, IndirectLengthNotYetLoadedIsSearched) {
  const std::string data = "q endstream endobj Q\n";
  auto doc = OpenBytes(
      MakePdf({"<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
               "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 1 1] /Contents 4 0 R >>",
               "<< /Length 5 0 R >>\nstream\n" + data + "endstream", std::to_string(data.size())}));
  ASSERT_NE(doc, nullptr);
  auto* stream = dynamic_cast<CPDFStream*>(doc->GetObj(CPDFObjRef(4, 0)));
  ASSERT_NE(stream, nullptr);
  EXPECT_EQ(std::string(stream->Data(), stream->DataLength()), "q ");
}

TEST_F(StreamLengthInDocument, SaveWritesTheTrueLengthOfAStreamItNeverRead) {
  // A damaged file: the indirect "Length" of object 4 says too little or too much. The stream
  // is read only by the save; the number object is not its to change, so the written stream
  // tells its true length itself. A right one (object 6) is written as it stands.
  const std::string data = "0123456789 BT ET\n";
  for (const int declared : {3, 12, 400}) {
    auto doc = OpenBytes(MakePdf(
        {"<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
         "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 1 1] /Contents [4 0 R 6 0 R] >>",
         "<< /Length 5 0 R >>\nstream\n" + data + "endstream", std::to_string(declared),
         "<< /Length 7 0 R >>\nstream\n" + data + "endstream", std::to_string(data.size())}));
    ASSERT_NE(doc, nullptr);
    const std::string path = m_dir.File("out-" + std::to_string(declared) + ".pdf");
    ASSERT_TRUE(doc->Save(path.c_str(), false, false) && doc->Flush()) << declared;
    const std::string out = test::ReadFile(path);
    EXPECT_NE(out.find("<<\r\n/Length " + std::to_string(data.size()) + "\r\n>>\r\nstream\r\n" +
                       data + "endstream"),
              std::string::npos)
        << declared;
    EXPECT_NE(out.find("<<\r\n/Length 7 0 R\r\n>>"), std::string::npos) << declared;
  }
}

}  // namespace
}  // namespace quarn
