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

TEST_F(StreamLengthInDocument, IndirectLengthInTheFileIsLookedUp) {
  // Object 5, written after the stream, is peeked at: the length it gives is confirmed at its
  // end, so the keywords inside the data do not cut it short.
  const std::string data = "q endstream endobj Q\n";
  auto doc = OpenBytes(
      MakePdf({"<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
               "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 1 1] /Contents 4 0 R >>",
               "<< /Length 5 0 R >>\nstream\n" + data + "endstream", std::to_string(data.size())}));
  ASSERT_NE(doc, nullptr);
  auto* stream = dynamic_cast<CPDFStream*>(doc->GetObj(CPDFObjRef(4, 0)));
  ASSERT_NE(stream, nullptr);
  EXPECT_EQ(std::string(stream->Data(), stream->DataLength()), data);
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

TEST_F(StreamLengthInDocument, IndirectLengthAfterTheStream) {
  // As cairo and Ghostscript write them: the number object follows the stream it measures.
  // Whatever that object is, the stream reads the same data, and the save keeps the reference
  // when the number is true and writes a direct true length otherwise, byte for byte as before
  // numbers were peeked at. `peek`: what the document tells without loading it (-1: unknown).
  enum Placed { kNone, kPlain, kObjStm, kMisplaced };  // kMisplaced: the table's offset is wrong
  const std::string data = "0123456789 BT ET";         // and "\n": 17 bytes held
  const struct {
    const char* name;
    const char* length;  // of stream 4
    Placed placed;       // object 5
    const char* value;
    int64_t peek;
    bool kept;
    bool confirmed;  // the read found the data to end where the number says
  } cases[] = {
      {"right", "5 0 R", kPlain, "16", 16, true, true},
      {"too short", "5 0 R", kPlain, "3", 3, false, false},
      {"too long", "5 0 R", kPlain, "400", 400, false, false},
      {"missing", "5 0 R", kNone, "", -1, false, false},
      {"not a number", "5 0 R", kPlain, "/Sixteen", -1, false, false},
      {"other generation", "5 1 R", kPlain, "16", -1, false, false},
      {"in an object stream", "5 0 R", kObjStm, "16", -1, true, false},
      {"the stream itself", "4 0 R", kPlain, "16", -1, false, false},
      {"found by the repair scan only", "5 0 R", kMisplaced, "16", -1, true, false},
  };
  for (const auto& c : cases) {
    test::PdfBuilder maker;
    maker.Obj(1, "<< /Type /Catalog /Pages 2 0 R >>")
        .Obj(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>")
        .Obj(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 1 1] /Contents 4 0 R >>")
        .Obj(4, test::StreamBody(data, c.length));
    if (c.placed == kObjStm) maker.ObjStm(6, {{5, c.value}});
    if (c.placed == kPlain || c.placed == kMisplaced) maker.Obj(5, c.value);
    if (c.placed == kMisplaced) maker.Entry(5, 1, 9, 0);
    // Object streams are listed by a cross-reference stream only.
    const std::string pdf = (c.placed == kObjStm ? maker.StreamSection(7, "/Root 1 0 R")
                                                 : maker.Section("/Size 6 /Root 1 0 R"))
                                .Str();
    const CPDFObjRef lengthRef(c.length[0] - '0', c.length[2] - '0');

    auto doc = OpenBytes(pdf);
    ASSERT_NE(doc, nullptr) << c.name;
    int64_t peeked = -1;
    EXPECT_EQ(doc->PeekInteger(lengthRef, &peeked), c.peek >= 0) << c.name;
    EXPECT_EQ(peeked, c.peek) << c.name;
    EXPECT_EQ(doc->FindLoadedObj(lengthRef), nullptr) << c.name;
    EXPECT_EQ(doc->LastError().Code(), 0) << c.name;
    auto* stream = dynamic_cast<CPDFStream*>(doc->GetObj(CPDFObjRef(4, 0)));
    ASSERT_NE(stream, nullptr) << c.name;
    EXPECT_EQ(stream->LengthConfirmed(), c.confirmed) << c.name;
    EXPECT_EQ(std::string(stream->Data(), stream->DataLength()), data + "\n") << c.name;
    EXPECT_FALSE(stream->LengthConfirmed()) << c.name;  // the data is no longer the file's

    // The save reads the stream with the number object not loaded.
    auto saved = OpenBytes(pdf);
    const std::string path = m_dir.File("out.pdf");
    ASSERT_TRUE(saved && saved->Save(path.c_str(), false, false) && saved->Flush()) << c.name;
    EXPECT_NE(test::ReadFile(path).find("4 0 obj\r\n<<\r\n/Length " +
                                        std::string(c.kept ? c.length : "17") +
                                        "\r\n>>\r\nstream\r\n" + data + "\nendstream"),
              std::string::npos)
        << c.name;
  }
}

}  // namespace
}  // namespace quarn
