// Object streams: the header of "N" pairs after "First", objects parsed by index or number,
// and documents whose objects lie in object streams, including hostile ones (an object stream
// that names itself, one whose "Length" lies inside it, a generation other than 0).
#include "pdf/document/object_stream.h"
#include "pdf/document/object_stream_packer.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "pdf/document/xref.h"
#include "pdf/stream/stream.h"
#include "support/documents.h"
#include "support/pdf_builder.h"

namespace quarn {
namespace {

using test::PdfBuilder;

using test::DocTest;

std::unique_ptr<CPDFObjStm> FromText(const std::string& data, int32_t count, int64_t first) {
  return CPDFObjStm::FromData(9, data.data(), data.size(), count, first);
}

std::string ParseError(const CPDFObjStm& stm, int32_t num, int32_t index) {
  try {
    stm.ParseObject(num, index);
  } catch (const CPDFException& e) {
    EXPECT_EQ(e.Module(), "CPDFDoc");
    EXPECT_EQ(e.Method(), "LoadObj");
    EXPECT_EQ(e.Code(), kInvalidFormat);
    return e.Message();
  }
  return "";
}

// "10 0 11 6 12 11 " then the objects 42, [1 2] and << /A 1 >>.
const std::string kData = "10 0 11 6 12 11 42    [1 2]<< /A 1 >>";
constexpr int64_t kFirst = 16;

TEST(ObjStm, ObjectsAreFoundByIndexAndByNumber) {
  auto stm = FromText(kData, 3, kFirst);
  ASSERT_EQ(stm->Count(), 3u);
  EXPECT_EQ(stm->NumberAt(2), 12);
  std::unique_ptr<CPDFObject> number = stm->ParseObject(10, 0);
  ASSERT_NE(AsNumber(number.get()), nullptr);
  EXPECT_EQ(AsNumber(number.get())->IntValue(), 42);
  EXPECT_NE(AsArray(stm->ParseObject(11, 1).get()), nullptr);
  // A wrong index is corrected by the header's numbers.
  std::unique_ptr<CPDFObject> dict = stm->ParseObject(12, 0);
  ASSERT_NE(AsDict(dict.get()), nullptr);
  EXPECT_TRUE(dict->IsType(kTypeDict));
}

TEST(ObjStmPacker, WhatItPacksReadsBackObjectByObject) {
  // Texts that would run into each other without the white space between them.
  const std::vector<std::pair<int32_t, std::string>> objects = {
      {7, "42"}, {3, "43"}, {12, "/Name"}, {8000000, "<< /A 1 >>"}};
  CPDFObjStmPacker packer;
  EXPECT_TRUE(packer.Empty());
  for (size_t i = 0; i < objects.size(); ++i) {
    EXPECT_EQ(packer.Add(objects[i].first, objects[i].second), static_cast<int32_t>(i));
  }
  const CPDFObjStmPacker::Packed packed = packer.Take();
  EXPECT_TRUE(packer.Empty());
  ASSERT_EQ(packed.count, 4);
  auto stm = FromText(packed.data, packed.count, packed.first);
  ASSERT_EQ(stm->Count(), objects.size());
  EXPECT_EQ(AsNumber(stm->ParseObject(7, 0).get())->IntValue(), 42);
  EXPECT_EQ(AsNumber(stm->ParseObject(3, 1).get())->IntValue(), 43);
  EXPECT_TRUE(stm->ParseObject(12, 2)->IsType(kTypeName));
  EXPECT_TRUE(stm->ParseObject(8000000, 3)->IsType(kTypeDict));
  // Full at the count, or at the bytes.
  for (size_t i = 0; i < CPDFObjStmPacker::kMaxObjects; ++i) packer.Add(1, "1");
  EXPECT_TRUE(packer.Full());
  packer.Take();
  packer.Add(1, std::string(CPDFObjStmPacker::kMaxBytes, ' '));
  EXPECT_TRUE(packer.Full());
}

TEST(ObjStm, MissingObjectsAndBadOffsetsFail) {
  auto stm = FromText(kData, 3, kFirst);
  EXPECT_EQ(ParseError(*stm, 13, 0), "object 13 is not in object stream 9");
  auto far = FromText("10 500 ", 1, 7);
  EXPECT_EQ(ParseError(*far, 10, 0), "object 10 lies past the data of object stream 9");
  auto empty = FromText("10 0 ", 1, 5);
  EXPECT_EQ(ParseError(*empty, 10, 0), "ioerror");
}

TEST(ObjStm, NCountsOnlyThePairsTheHeaderHolds) {
  // "N" claims two billion objects; the header holds two pairs, and only they are kept.
  auto stm = FromText("1 0 2 2 7 8", 2147483647, 8);
  EXPECT_EQ(stm->Count(), 2u);
  // A "First" past the data cannot be.
  try {
    FromText("1 0", 1, 100);
    ADD_FAILURE() << "First past the data was accepted";
  } catch (const CPDFException& e) {
    EXPECT_EQ(e.Message(), "object stream 9: First 100 lies past its data");
  }
}

TEST(ObjStm, StreamsAreNotObjectsOfAnObjectStream) {
  const std::string data = "5 0 << /Length 3 >>\nstream\nabc\nendstream\nendobj";
  auto stm = FromText(data, 1, 4);
  EXPECT_EQ(ParseError(*stm, 5, 0), "object 5 in object stream 9 is a stream");
  // Without "endobj" behind it the data cannot even be read as a stream.
  auto cut = FromText("5 0 << /Length 3 >>\nstream\nabc\nendstream", 1, 4);
  EXPECT_THROW(cut->ParseObject(5, 0), CPDFException);
}

TEST(ObjStm, DecodingChecksTypeNAndFirst) {
  CPDFStream stream(nullptr);
  stream.Insert("Type", std::make_unique<CPDFName>("XObject"));
  stream.SetData(kData.data(), kData.size());
  try {
    CPDFObjStm::Decode(9, stream);
    ADD_FAILURE() << "an XObject was taken for an object stream";
  } catch (const CPDFException& e) {
    EXPECT_EQ(e.Message(), "not an object stream: 9");
  }
  stream.Insert("Type", std::make_unique<CPDFName>("ObjStm"));
  stream.Insert("N", std::make_unique<CPDFInt>(3));
  try {
    CPDFObjStm::Decode(9, stream);
    ADD_FAILURE() << "an object stream without First was accepted";
  } catch (const CPDFException& e) {
    EXPECT_EQ(e.Message(), "object stream 9: invalid N or First");
  }
  stream.Insert("First", std::make_unique<CPDFInt>(kFirst));
  stream.Insert("Extends", std::make_unique<CPDFObjRef>(9, 0));
  try {
    CPDFObjStm::Decode(9, stream);
    ADD_FAILURE() << "an object stream that extends itself was accepted";
  } catch (const CPDFException& e) {
    EXPECT_EQ(e.Message(), "object stream 9 extends itself");
  }
  stream.Insert("Extends", std::make_unique<CPDFObjRef>(4, 0));
  auto stm = CPDFObjStm::Decode(9, stream);
  EXPECT_EQ(stm->Extends(), 4);
  EXPECT_EQ(stm->Count(), 3u);
}

// ---- documents ----------------------------------------------------------------------------------

class ObjStmDocTest : public DocTest {
 protected:
  // Catalog 1 and page tree 2 plainly, page 3 and objects 30..(29+extra) in object stream 20.
  static PdfBuilder Base(int extra, bool flate) {
    test::PdfBuilder maker(test::kPdf15Header);
    maker.Obj(1, "<< /Type /Catalog /Pages 2 0 R >>")
        .Obj(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 /MediaBox [0 0 200 200] >>");
    std::vector<std::pair<int, std::string>> objects = {
        {3, "<< /Type /Page /Parent 2 0 R /Resources << >> >>"}};
    for (int i = 0; i < extra; ++i) {
      objects.emplace_back(30 + i, "(object " + std::to_string(30 + i) + ")");
    }
    maker.ObjStm(20, objects, flate);
    return maker;
  }

  std::string LoadError(CPDFDoc& doc, int32_t num, int32_t gen = 0) {
    EXPECT_EQ(doc.GetObj(CPDFObjRef(num, gen)), nullptr);
    return doc.LastError().Message();
  }
};

TEST_F(ObjStmDocTest, ManyObjectsOfOneStreamAllLoad) {
  PdfBuilder maker = Base(200, true);
  maker.StreamSection(21, "/Root 1 0 R");
  auto doc = OpenBytes(maker.Str());
  ASSERT_NE(doc, nullptr) << m_error.Message();
  for (int32_t num = 229; num >= 30; --num) {
    CPDFString* text = AsString(doc->GetObj(CPDFObjRef(num, 0)));
    ASSERT_NE(text, nullptr) << num << ": " << doc->LastError().Module() << " "
                             << doc->LastError().Message();
    EXPECT_EQ(std::string(text->Data(), text->Length()), "object " + std::to_string(num));
  }
}

TEST_F(ObjStmDocTest, AGenerationOtherThanZeroIsNotTheObject) {
  PdfBuilder maker = Base(1, false);
  maker.StreamSection(21, "/Root 1 0 R");
  auto doc = OpenBytes(maker.Str());
  ASSERT_NE(doc, nullptr) << m_error.Message();
  EXPECT_EQ(LoadError(*doc, 30, 1), "invalidobjref: 30 0");
}

TEST_F(ObjStmDocTest, AnObjectStreamThatContainsItselfFailsCleanly) {
  // Entry 20 says object stream 20 lies in object stream 20.
  PdfBuilder maker = Base(1, false);
  maker.Entry(20, 2, 20, 0).StreamSection(21, "/Root 1 0 R");
  auto doc = OpenBytes(maker.Str());
  ASSERT_NE(doc, nullptr) << m_error.Message();
  EXPECT_EQ(LoadError(*doc, 30), "object stream 20 lies in an object stream");
}

TEST_F(ObjStmDocTest, ObjectStreamsInsideEachOtherFailCleanly) {
  // 20 lies in 22 and 22 in 20.
  PdfBuilder maker = Base(1, false);
  maker.Entry(20, 2, 22, 0).Entry(22, 2, 20, 0).StreamSection(21, "/Root 1 0 R");
  auto doc = OpenBytes(maker.Str());
  ASSERT_NE(doc, nullptr) << m_error.Message();
  EXPECT_EQ(LoadError(*doc, 30), "object stream 20 lies in an object stream");
}

TEST_F(ObjStmDocTest, MissingAndFreeObjectStreamsFail) {
  PdfBuilder maker = Base(1, false);
  maker.Entry(5, 2, 80, 0).Entry(6, 2, 81, 0).Entry(81, 0, 0, 1).StreamSection(21, "/Root 1 0 R");
  auto doc = OpenBytes(maker.Str());
  ASSERT_NE(doc, nullptr) << m_error.Message();
  EXPECT_EQ(LoadError(*doc, 5), "object stream 80 is missing");
  EXPECT_EQ(LoadError(*doc, 6), "object stream 81 is free");
  // A failed load leaves the document usable.
  EXPECT_NE(doc->GetObj(CPDFObjRef(30, 0)), nullptr);
}

TEST_F(ObjStmDocTest, ALengthInsideTheObjectStreamIsNotFollowedForEver) {
  // Object stream 20's "Length" is object 9, which lies in object stream 20.
  test::PdfBuilder maker(test::kPdf15Header);
  maker.Obj(1, "<< /Type /Catalog /Pages 2 0 R >>")
      .Obj(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 /MediaBox [0 0 200 200] >>");
  std::string data = "3 0 9 49 ";
  const std::string page = "<< /Type /Page /Parent 2 0 R /Resources << >> >>";
  data += page + "\n" + "58";
  maker.Obj(20, "<< /Type /ObjStm /N 2 /First 9 /Length 9 0 R >>\nstream\n" + data + "\nendstream");
  maker.Entry(3, 2, 20, 0).Entry(9, 2, 20, 1).StreamSection(21, "/Root 1 0 R");
  auto doc = OpenBytes(maker.Str());
  ASSERT_NE(doc, nullptr) << m_error.Message();
  EXPECT_EQ(doc->GetPageCount(), 1);
  EXPECT_NE(AsNumber(doc->GetObj(CPDFObjRef(9, 0))), nullptr);
}

TEST_F(ObjStmDocTest, ADirectLengthThatDoesNotEndTheDataCountsAsRepair) {
  // The objects are read from the data found either way; readers that take the Length cannot
  // read them, so the file is not to be updated incrementally.
  const std::string page = "<< /Type /Page /Parent 2 0 R /Resources << >> >>";
  const std::string data = "3 0 " + page;
  const std::string fits = std::to_string(data.size());
  const std::pair<std::string, bool> cases[] = {
      {"/Length " + fits + " >>\nstream\n" + data + "\nendstream", false},
      {"/Length " + fits + " >>\nstream\n" + data + " \r\n\nendstream", false},
      {"/Length 9 0 R >>\nstream\n" + data + "\nendstream", false},  // only object 9 can tell
      {"/Length -1 >>\nstream\n" + data + "\nendstream", true},
      {"/Length 7 >>\nstream\n" + data + "\nendstream", true},
  };
  for (const auto& [tail, repaired] : cases) {
    test::PdfBuilder maker(test::kPdf15Header);
    maker.Obj(1, "<< /Type /Catalog /Pages 2 0 R >>")
        .Obj(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 /MediaBox [0 0 200 200] >>")
        .Obj(9, fits)
        .Obj(20, "<< /Type /ObjStm /N 1 /First 4 " + tail);
    maker.Entry(3, 2, 20, 0).StreamSection(21, "/Root 1 0 R");
    auto doc = OpenBytes(maker.Str());
    ASSERT_NE(doc, nullptr) << m_error.Message();
    ASSERT_NE(doc->GetPage(0), nullptr) << tail;
    EXPECT_EQ(doc->IsRepaired(), repaired) << tail;
  }
}

TEST_F(ObjStmDocTest, AFlateBombIsCutOff) {
  // An object stream whose data inflates past the cap fails; nothing is filled up.
  test::PdfBuilder maker(test::kPdf15Header);
  maker.Obj(1, "<< /Type /Catalog /Pages 2 0 R >>").Obj(2, "<< /Type /Pages /Kids [] /Count 0 >>");
  const std::string bomb = test::Deflate(std::string(300u << 20, ' '));
  maker.Obj(20, "<< /Type /ObjStm /N 1 /First 4 /Filter /FlateDecode /Length " +
                    std::to_string(bomb.size()) + " >>\nstream\n" + bomb + "\nendstream");
  maker.Entry(3, 2, 20, 0).StreamSection(21, "/Root 1 0 R");
  auto doc = OpenBytes(maker.Str());
  ASSERT_NE(doc, nullptr) << m_error.Message();
  EXPECT_EQ(LoadError(*doc, 3),
            "object stream 20: decoded data too large: more than 268435456 bytes");
}

}  // namespace
}  // namespace quarn
