// The stream object: reading after its dictionary, where its data lives, "Length" following the
// data, writing, encryption block by block, and copies.
#include <gtest/gtest.h>

#include "pdf/document/body.h"
#include "pdf/document/xref.h"
#include "pdf/object/crypt_context.h"
#include "pdf/object/in_stream.h"
#include "pdf/object/out_stream.h"
#include "pdf/object/parser.h"
#include "pdf/stream/stream.h"
#include "support/documents.h"
#include "support/pdf_builder.h"
#include "support/values.h"

namespace quarn {
namespace {

using test::Text;

using test::MakePdf;
using test::StreamBody;

std::unique_ptr<CPDFObject> ParseBytes(const std::string& text,
                                       const CPDFCryptContext* crypt = nullptr) {
  MemInStream in(text.data(), text.size());
  return SerializeObject(nullptr, in, crypt);
}

std::string DataOf(CPDFStream& stream) { return std::string(stream.Data(), stream.DataLength()); }

// ---- reading ----------------------------------------------------------------------------------

TEST(StreamRead, EndIsFoundByEndstreamEndobjNotByLength) {
  auto obj = ParseBytes("<< /Length 2 >>\r\nstream\r\nabcdef\r\nendstream\r\nendobj");
  auto* stream = dynamic_cast<CPDFStream*>(obj.get());
  ASSERT_NE(stream, nullptr);
  EXPECT_FALSE(stream->IsDataInFile());  // a memory input is copied
  EXPECT_EQ(DataOf(*stream), "abcdef\r\n");
  EXPECT_EQ(stream->GetNumber(nullptr, "Length")->IntValue(), 8);
}

TEST(StreamRead, EndstreamInsideTheDataIsReadPast) {
  auto obj = ParseBytes("<< >>\nstream\nA endstream B\nendstream\nendobj");
  auto* stream = dynamic_cast<CPDFStream*>(obj.get());
  ASSERT_NE(stream, nullptr);
  EXPECT_EQ(DataOf(*stream), "A endstream B\n");
}

TEST(StreamRead, KeywordEndOfLineForms) {
  auto lf = ParseBytes("<< >>\nstream\nx\nendstream endobj");
  EXPECT_EQ(DataOf(*dynamic_cast<CPDFStream*>(lf.get())), "x\n");
  auto cr = ParseBytes("<< >>\nstream\rx\nendstream endobj");
  EXPECT_EQ(DataOf(*dynamic_cast<CPDFStream*>(cr.get())), "x\n");
  auto empty = ParseBytes("<< >>\nstream\r\nendstream endobj");
  EXPECT_EQ(dynamic_cast<CPDFStream*>(empty.get())->DataLength(), 0u);
}

TEST(StreamRead, Errors) {
  auto fails = [](const std::string& text) -> std::string {
    try {
      ParseBytes(text);
    } catch (const CPDFException& e) {
      EXPECT_EQ(e.Module(), "CPDFStream");
      EXPECT_EQ(e.Method(), "Serialize");
      EXPECT_EQ(e.Code(), kInvalidFormat);
      return e.Message();
    }
    return "no error";
  };
  EXPECT_EQ(fails("<< >> streamx\nabc\nendstream endobj"), "invalidtoken: streamx");
  EXPECT_EQ(fails("<< >> stream abc\nendstream endobj"), "invalidtoken: a");
  EXPECT_EQ(fails("<< >> stream\nabc"), "ioerror");
  EXPECT_EQ(fails("<< >> stream\nabc endstream foo"), "ioerror");
  EXPECT_EQ(fails("<< >> stream"), "ioerror");
}

TEST(StreamRead, EncryptedDataIsDecryptedBlockByBlock) {
  // Larger than several 4096-byte blocks: the keystream must run on across blocks.
  std::string plain;
  for (int i = 0; i < 20000; ++i) plain += static_cast<char>('a' + i % 26);
  const CPDFCryptContext::DocumentKey key = {3, 1, 4, 1, 5};
  CPDFCryptContext context(key, 9, 0);
  std::string cipher = plain;
  context.Crypt(cipher.data(), cipher.size());
  const std::string text = "<< /Length " + std::to_string(plain.size()) + " >>\nstream\n" + cipher +
                           "\r\nendstream\nendobj";
  auto obj = ParseBytes(text, &context);
  auto* stream = dynamic_cast<CPDFStream*>(obj.get());
  ASSERT_NE(stream, nullptr);
  // The end of line in front of "endstream" is not decrypted into two stray bytes.
  EXPECT_EQ(DataOf(*stream), plain);
  // Written with the same key it is the same cipher text again, then CR LF.
  const std::string written = Text(*stream, &context);
  EXPECT_NE(written.find("stream\r\n" + cipher + "\r\nendstream"), std::string::npos);
}

// ---- data, Length and writing -----------------------------------------------------------------

TEST(StreamData, LengthFollowsTheData) {
  CPDFStream stream;
  ASSERT_TRUE(stream.SetData("hello", 5));
  EXPECT_EQ(stream.GetNumber(nullptr, "Length")->IntValue(), 5);
  ASSERT_TRUE(stream.AppendData(" world", 6));
  EXPECT_EQ(stream.GetNumber(nullptr, "Length")->IntValue(), 11);
  ASSERT_TRUE(stream.AppendRepeated(3, '!'));
  EXPECT_EQ(DataOf(stream), "hello world!!!");
  EXPECT_EQ(stream.GetNumber(nullptr, "Length")->IntValue(), 14);
  stream.ClearData();
  EXPECT_EQ(stream.GetNumber(nullptr, "Length")->IntValue(), 0);
}

TEST(StreamData, LargeDataMovesIntoAMappedBuffer) {
  CPDFStream stream;
  std::string big(200000, '\0');
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 7);
  for (size_t at = 0; at < big.size(); at += 1000)
    ASSERT_TRUE(stream.AppendData(big.data() + at, 1000));
  EXPECT_EQ(DataOf(stream), big);
  EXPECT_EQ(stream.GetNumber(nullptr, "Length")->IntValue(), 200000);
}

TEST(StreamWrite, EndOfLineBeforeEndstreamOnlyWhenMissing) {
  CPDFStream stream;
  stream.SetData("abc", 3);
  EXPECT_EQ(Text(stream), "<<\r\n/Length 3\r\n>>\r\nstream\r\nabc\r\nendstream");
  stream.SetData("abc\n", 4);
  EXPECT_EQ(Text(stream), "<<\r\n/Length 4\r\n>>\r\nstream\r\nabc\nendstream");
  stream.SetData("", 0);
  EXPECT_EQ(Text(stream), "<<\r\n/Length 0\r\n>>\r\nstream\r\nendstream");
}

class StreamInDocument : public test::DocTest {
 protected:
  // Object 4 is a stream; its "Length" is `length` (object 5 holds 99 when it is "5 0 R").
  std::unique_ptr<CPDFDoc> OpenWithStream(const std::string& data, const std::string& length) {
    return OpenBytes(MakePdf(
        {"<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
         "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 1 1] >>", StreamBody(data, length), "99"}));
  }
};

TEST_F(StreamInDocument, DataStaysInTheFileUntilUsed) {
  auto doc = OpenWithStream("file data", "9");
  ASSERT_NE(doc, nullptr);
  auto* stream = dynamic_cast<CPDFStream*>(doc->GetObj(CPDFObjRef(4, 0)));
  ASSERT_NE(stream, nullptr);
  EXPECT_TRUE(stream->IsDataInFile());
  EXPECT_EQ(Text(*stream), "<<\r\n/Length 10\r\n>>\r\nstream\r\nfile data\nendstream");
  EXPECT_TRUE(stream->IsDataInFile());  // writing copies it without loading it
  EXPECT_EQ(DataOf(*stream), "file data\n");
  EXPECT_FALSE(stream->IsDataInFile());
}

TEST_F(StreamInDocument, IndirectLengthIsUpdatedInPlace) {
  auto doc = OpenWithStream("abc", "5 0 R");
  ASSERT_NE(doc, nullptr);
  auto* stream = dynamic_cast<CPDFStream*>(doc->GetObj(CPDFObjRef(4, 0)));
  ASSERT_NE(stream, nullptr);
  ASSERT_TRUE(stream->Lookup("Length")->IsRef());
  ASSERT_TRUE(stream->SetData("0123456789", 10));
  ASSERT_TRUE(stream->Lookup("Length")->IsRef());
  auto* length = AsNumber(doc->GetObj(CPDFObjRef(5, 0)));
  ASSERT_NE(length, nullptr);
  EXPECT_EQ(length->IntValue(), 10);
  // The length object is marked changed: it belongs to the update section now.
  EXPECT_EQ(doc->GetBody()->GetObj(CPDFObjRef(5, 0)), length);
  ASSERT_NE(doc->GetXRef()->GetEntry(5), nullptr);
  EXPECT_TRUE(doc->GetXRef()->GetEntry(5)->InUse());
}

TEST_F(StreamInDocument, DuplicateWithinTheDocumentSharesTheLocation) {
  auto doc = OpenWithStream("shared bytes", "12");
  ASSERT_NE(doc, nullptr);
  auto* stream = dynamic_cast<CPDFStream*>(doc->GetObj(CPDFObjRef(4, 0)));
  ASSERT_NE(stream, nullptr);
  auto copy = stream->Duplicate(doc.get(), doc.get());
  auto* streamCopy = dynamic_cast<CPDFStream*>(copy.get());
  ASSERT_NE(streamCopy, nullptr);
  EXPECT_TRUE(streamCopy->IsDataInFile());
  EXPECT_EQ(streamCopy->Doc(), doc.get());
  EXPECT_EQ(DataOf(*streamCopy), "shared bytes\n");
}

TEST_F(StreamInDocument, DuplicateIntoAnotherDocumentCopiesTheBytes) {
  auto doc = OpenWithStream("copied bytes", "5 0 R");
  ASSERT_NE(doc, nullptr);
  CPDFDoc target(&m_lib);
  ASSERT_TRUE(target.Create(&m_lib));
  auto* stream = dynamic_cast<CPDFStream*>(doc->GetObj(CPDFObjRef(4, 0)));
  ASSERT_NE(stream, nullptr);
  auto copy = stream->Duplicate(&target, doc.get());
  auto* streamCopy = dynamic_cast<CPDFStream*>(copy.get());
  ASSERT_NE(streamCopy, nullptr);
  EXPECT_FALSE(streamCopy->IsDataInFile());
  EXPECT_EQ(streamCopy->Doc(), &target);
  EXPECT_EQ(DataOf(*streamCopy), "copied bytes\n");
  // The indirect length came along as a new object of the target, set to the data length.
  CPDFObjRef lengthRef;
  auto* length = AsNumber(streamCopy->GetValue(&target, "Length", &lengthRef));
  ASSERT_NE(length, nullptr);
  EXPECT_TRUE(lengthRef.IsDefined());
  EXPECT_EQ(length->IntValue(), 13);
}

TEST_F(StreamInDocument, CrossDocumentDuplicateKeepsSharedObjectsShared) {
  auto doc = OpenBytes(
      MakePdf({"<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [] /Count 0 >>",
               "<< /A 4 0 R /B 4 0 R /C [4 0 R] >>", "(shared)"}));
  ASSERT_NE(doc, nullptr);
  CPDFDoc target(&m_lib);
  ASSERT_TRUE(target.Create(&m_lib));
  CPDFObject* source = doc->GetObj(CPDFObjRef(3, 0));
  ASSERT_NE(source, nullptr);
  auto copy = source->Duplicate(&target, doc.get());
  auto* dict = AsDict(copy.get());
  ASSERT_NE(dict, nullptr);
  ASSERT_TRUE(dict->Lookup("A")->IsRef());
  const CPDFObjRef a = *static_cast<CPDFObjRef*>(dict->Lookup("A"));
  const CPDFObjRef b = *static_cast<CPDFObjRef*>(dict->Lookup("B"));
  EXPECT_EQ(a, b);
  EXPECT_EQ(*static_cast<CPDFObjRef*>(AsArray(dict->GetValue(&target, "C"))->At(0)), a);
  EXPECT_EQ(AsString(target.GetObj(a))->Str(), "shared");
  // Exactly one new object in the target beside its catalog and page tree.
  EXPECT_EQ(target.GetBody()->Slots().size(), 3u);
}

}  // namespace
}  // namespace quarn
