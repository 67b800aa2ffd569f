// Header, cross-reference table and trailer: reading, writing and the free list.
#include <gtest/gtest.h>

#include "pdf/document/body.h"
#include "pdf/document/header.h"
#include "pdf/document/trailer.h"
#include "pdf/document/xref.h"
#include "pdf/object/in_stream.h"
#include "pdf/object/lexer.h"
#include "pdf/object/out_stream.h"
#include "support/documents.h"
#include "support/pdf_builder.h"
#include "support/values.h"

namespace quarn {
namespace {

using test::Text;

// Reads a table from text; returns the error (code 0 when it read).
CPDFErrorRecord ReadXRef(const std::string& text, CPDFXRef& xref) {
  MemInStream in(text.data(), text.size());
  CPDFErrorRecord error;
  try {
    xref.Read(nullptr, in);
  } catch (const CPDFException& e) {
    error = e;
  }
  return error;
}

// ---- header -------------------------------------------------------------------------------------

TEST(Header, ReadsPdfAndFdfVersions) {
  const std::string pdf = "%PDF-1.7\n%\xE2\xE3\n1 0 obj";
  MemInStream in(pdf.data(), pdf.size());
  CPDFHeader header;
  header.Read(nullptr, in);
  EXPECT_FALSE(header.IsFDF());
  EXPECT_EQ(header.Major(), 1);
  EXPECT_EQ(header.Minor(), 7);

  const std::string fdf = "%FDF-1.2\r\n";
  MemInStream fin(fdf.data(), fdf.size());
  CPDFHeader fdfHeader;
  fdfHeader.Read(nullptr, fin);
  EXPECT_TRUE(fdfHeader.IsFDF());
  EXPECT_EQ(fdfHeader.Minor(), 2);
}

TEST(Header, RejectsOtherFirstLines) {
  const std::string text = "leading junk\n%PDF-1.4\n";
  MemInStream in(text.data(), text.size());
  CPDFHeader header;
  try {
    header.Read(nullptr, in);
    FAIL() << "a line that is no header was accepted";
  } catch (const CPDFException& e) {
    EXPECT_EQ(e.Module(), "CPDFHeader");
    EXPECT_EQ(e.Code(), kInvalidFormat);
    EXPECT_EQ(e.Message(), "invalidheader: leading junk");
  }
  MemInStream empty("", 0);
  try {
    header.Read(nullptr, empty);
    FAIL() << "an empty file was accepted";
  } catch (const CPDFException& e) {
    EXPECT_EQ(e.Message(), "ioerror");
  }
}

TEST(Header, WritesVersionAndBinaryComment) {
  CPDFHeader header;
  header.SetVersion(1, 3);
  EXPECT_EQ(Text(header), "%PDF-1.3\r\n%\xE2\xE3\xCF\xD3\r\n");
  header.SetFDF(true);
  header.SetVersion(1, 2);
  EXPECT_EQ(Text(header), "%FDF-1.2\r\n%\xE2\xE3\xCF\xD3\r\n");
}

// The catalog's "Version" of a file whose header was lost: "major.minor" and nothing else.
TEST(Header, TakesVersionNames) {
  const struct {
    const char* name;
    bool taken;
    int32_t major, minor;
  } rows[] = {{"1.7", true, 1, 7},   {"2.0", true, 2, 0},   {"1.", false, 1, 4},
              {"1.7x", false, 1, 4}, {"x1.7", false, 1, 4}, {"", false, 1, 4},
              {"0.9", false, 1, 4}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    CPDFHeader header;
    header.SetVersion(1, 4);
    EXPECT_EQ(header.SetVersionName(row.name), row.taken);
    EXPECT_EQ(header.Major(), row.major);
    EXPECT_EQ(header.Minor(), row.minor);
  }
}

// ---- reading tables ---------------------------------------------------------------------------

TEST(XRefRead, ReadsSubsectionsAndFreeHead) {
  CPDFXRef xref;
  const std::string text =
      "xref\n0 3\n0000000002 65535 f \n0000000017 00000 n \n0000000000 00001 f \n"
      "7 1\n0000000123 00002 n \ntrailer\n";
  ASSERT_FALSE(ReadXRef(text, xref).IsError());
  EXPECT_EQ(xref.FreeHead(), 2);
  EXPECT_EQ(xref.Size(), 7);
  ASSERT_NE(xref.GetEntry(1), nullptr);
  EXPECT_EQ(xref.GetEntry(1)->Offset(), 17);
  EXPECT_TRUE(xref.GetEntry(1)->InUse());
  EXPECT_FALSE(xref.GetEntry(2)->InUse());
  EXPECT_EQ(xref.GetEntry(2)->Gen(), 1);
  EXPECT_EQ(xref.GetEntry(7)->Gen(), 2);
  EXPECT_EQ(xref.GetEntry(5), nullptr);
  EXPECT_EQ(xref.GetEntry(-1), nullptr);
  EXPECT_EQ(xref.GetEntry(8), nullptr);
}

TEST(XRefRead, StopsBeforeTrailerKeyword) {
  const std::string text = "xref\n0 1\n0000000000 65535 f \ntrailer\n<<>>";
  MemInStream in(text.data(), text.size());
  CPDFXRef xref;
  xref.Read(nullptr, in);
  std::string next;
  ASSERT_TRUE(ReadToken(in, next));
  EXPECT_EQ(next, "trailer");
}

struct BadTable {
  const char* text;
  const char* message;
};

class XRefReadErrors : public ::testing::TestWithParam<BadTable> {};

TEST_P(XRefReadErrors, FailsWithInvalidFormat) {
  CPDFXRef xref;
  const CPDFErrorRecord error = ReadXRef(GetParam().text, xref);
  EXPECT_EQ(error.Module(), "CPDFXRef");
  EXPECT_EQ(error.Method(), "Serialize");
  EXPECT_EQ(error.Code(), kInvalidFormat);
  EXPECT_EQ(error.Message(), GetParam().message);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, XRefReadErrors,
    ::testing::Values(BadTable{"xre\n0 1\n", "invalidtoken: xre"},
                      BadTable{"xref\n0 1\n000000000 65535 f \ntrailer", "invalidtoken: 000000000"},
                      BadTable{"xref\n0 1\n0000000000 6553 f \ntrailer", "invalidtoken: 6553"},
                      BadTable{"xref\n0 1\n0000000000 65535 x \ntrailer", "invalidtoken: x"},
                      BadTable{"xref\n0 0\n0000000000 65535 f \ntrailer", "invalidtrailer"},
                      BadTable{"xref\n0 0\ntrailer\n", "invalidtoken: trailer"},
                      BadTable{"xref\n0 2\n0000000000 65535 f \ntrailer\n",
                               "invalidtoken: trailer"},
                      BadTable{"xref\n0 2\n0000000000 65535 f \n", "ioerror"},
                      BadTable{"xref\n0", "ioerror"},
                      BadTable{"xref\n-4 1\n0000000000 65535 f \ntrailer", "invalidtoken: -4"},
                      BadTable{"xref\n9999999 1\n0000000000 00000 n \ntrailer",
                               "object number out of range: 9999999"}));

TEST(XRefRead, HugeCountDoesNotAllocateAhead) {
  // Two billion entries announced, one given: the table grows only by what it reads.
  CPDFXRef xref;
  const CPDFErrorRecord error =
      ReadXRef("xref\n1 2000000000\n0000000010 00000 n \ntrailer\n", xref);
  EXPECT_EQ(error.Message(), "invalidtoken: trailer");
  EXPECT_EQ(xref.Size(), 1);
  EXPECT_EQ(xref.Count(), 1u);
}

// ---- writing tables ---------------------------------------------------------------------------

TEST(XRefWrite, OnlySlotsSevenAndEight) {
  CPDFXRef xref;
  xref.SetEntry(CPDFXRefEntry(7, 0, 100, true));
  xref.SetEntry(CPDFXRefEntry(8, 3, 200, false));
  EXPECT_EQ(Text(xref),
            "xref\r\n0 1\r\n0000000000 65535 f \n7 2\r\n0000000100 00000 n \n"
            "0000000200 00003 f \n");
}

TEST(XRefWrite, EmptyTableAndFirstRunJoinsObjectZero) {
  CPDFXRef empty;
  EXPECT_EQ(Text(empty), "xref\r\n0 1\r\n0000000000 65535 f \n");
  CPDFXRef xref;
  xref.SetFreeHead(4);
  xref.SetEntry(CPDFXRefEntry(1, 0, 15, true));
  xref.SetEntry(CPDFXRefEntry(2, 0, 70, true));
  xref.SetEntry(CPDFXRefEntry(4, 1, 0, false));
  EXPECT_EQ(Text(xref),
            "xref\r\n0 3\r\n0000000004 65535 f \n0000000015 00000 n \n0000000070 00000 n \n"
            "4 1\r\n0000000000 00001 f \n");
}

TEST(XRefWrite, EntryLinesAreTwentyBytes) {
  CPDFXRef xref;
  xref.SetEntry(CPDFXRefEntry(1, 0, 1234567890, true));
  const std::string text = Text(xref);
  const size_t line = text.find("1234567890");
  ASSERT_NE(line, std::string::npos);
  EXPECT_EQ(text.substr(line), "1234567890 00000 n \n");
  EXPECT_EQ(text.substr(line).size(), 20u);
}

// ---- the free list ----------------------------------------------------------------------------

// A table whose free list is 3 -> 7 and whose 5 is in use.
void FreeListOf3And7(CPDFXRef& xref) {
  xref.SetFreeHead(3);
  xref.SetEntry(CPDFXRefEntry(3, 1, 7, false));
  xref.SetEntry(CPDFXRefEntry(5, 0, 500, true));
  xref.SetEntry(CPDFXRefEntry(7, 2, 0, false));
}

TEST(FreeList, FreeingLinksInAscendingOrder) {
  CPDFXRef xref;
  FreeListOf3And7(xref);
  xref.FreeEntry(5);
  EXPECT_EQ(xref.FreeHead(), 3);
  EXPECT_EQ(xref.GetEntry(3)->Offset(), 5);
  EXPECT_EQ(xref.GetEntry(5)->Offset(), 7);
  EXPECT_EQ(xref.GetEntry(5)->Gen(), 1);
  EXPECT_FALSE(xref.GetEntry(5)->InUse());
  // Freeing a free entry changes nothing.
  xref.FreeEntry(5);
  EXPECT_EQ(xref.GetEntry(5)->Gen(), 1);
}

TEST(FreeList, FreeingBelowTheHeadBecomesTheHead) {
  CPDFXRef xref;
  FreeListOf3And7(xref);
  xref.SetEntry(CPDFXRefEntry(2, 0, 90, true));
  xref.FreeEntry(2);
  EXPECT_EQ(xref.FreeHead(), 2);
  EXPECT_EQ(xref.GetEntry(2)->Offset(), 3);
}

TEST(FreeList, UpdatingAFreeEntryUnlinksIt) {
  CPDFXRef xref;
  FreeListOf3And7(xref);
  xref.UpdateEntry(7);
  EXPECT_EQ(xref.GetEntry(3)->Offset(), 0);
  EXPECT_TRUE(xref.GetEntry(7)->InUse());
  EXPECT_EQ(xref.GetEntry(7)->Offset(), 0);
  xref.UpdateEntry(3);
  EXPECT_EQ(xref.FreeHead(), 0);
  // In use stays as it is.
  xref.UpdateEntry(5);
  EXPECT_EQ(xref.GetEntry(5)->Offset(), 500);
}

TEST(FreeList, LoopingListIsAnErrorNotAHang) {
  CPDFXRef xref;
  xref.SetFreeHead(3);
  xref.SetEntry(CPDFXRefEntry(3, 0, 4, false));
  xref.SetEntry(CPDFXRefEntry(4, 0, 3, false));
  xref.SetEntry(CPDFXRefEntry(9, 0, 900, true));
  EXPECT_THROW(xref.FreeEntry(9), CPDFException);
}

TEST(FreeList, GenerationStopsAtTheLastOne) {
  CPDFXRef xref;
  xref.SetEntry(CPDFXRefEntry(4, CPDFXRef::kMaxGeneration, 10, true));
  xref.FreeEntry(4);
  EXPECT_EQ(xref.GetEntry(4)->Gen(), CPDFXRef::kMaxGeneration);
}

TEST(XRefCreate, CopiesFreeEntriesHeadAndSize) {
  CPDFXRef previous;
  FreeListOf3And7(previous);
  CPDFXRef xref;
  xref.Create(nullptr, &previous);
  EXPECT_EQ(xref.FreeHead(), 3);
  EXPECT_EQ(xref.Size(), 7);
  EXPECT_NE(xref.GetEntry(3), nullptr);
  EXPECT_EQ(xref.GetEntry(5), nullptr);
  EXPECT_EQ(xref.AddEntry(0, 0, true), 8);
}

// ---- trailer ----------------------------------------------------------------------------------

TEST(TrailerRead, ReadsDictionaryAndStartXRef) {
  const std::string text = "trailer\n<< /Size 4 /Root 1 0 R >>\nstartxref\n1234\n%%EOF\n";
  MemInStream in(text.data(), text.size());
  CPDFTrailer trailer;
  trailer.Read(nullptr, in);
  EXPECT_EQ(trailer.StartXRef(), 1234);
  EXPECT_EQ(trailer.Get_Size()->IntValue(), 4);
  ASSERT_NE(trailer.Dict().Lookup("Root"), nullptr);
  EXPECT_TRUE(trailer.Dict().Lookup("Root")->IsRef());
}

TEST(TrailerRead, Errors) {
  auto fails = [](const std::string& text) -> std::string {
    MemInStream in(text.data(), text.size());
    CPDFTrailer trailer;
    try {
      trailer.Read(nullptr, in);
    } catch (const CPDFException& e) {
      EXPECT_EQ(e.Module(), "CPDFTrailer");
      return e.Message();
    }
    return "no error";
  };
  EXPECT_EQ(fails("trailor << >> startxref 1 %%EOF"), "invalidtoken: trailor");
  EXPECT_EQ(fails("trailer [1] startxref 1 %%EOF"), "invalidtoken: [");
  EXPECT_EQ(fails("trailer << /Size 1 >> xref 1 %%EOF"), "invalidtoken: xref");
  EXPECT_EQ(fails("trailer << /Size 1 >> startxref 1 %%EOX"), "invalidtoken: %%EOX");
  EXPECT_EQ(fails("trailer << /Size 1 >> startxref 1 %%E"), "ioerror");
}

TEST(TrailerWrite, WritesAllLines) {
  CPDFTrailer trailer;
  trailer.Dict().Insert("Size", std::make_unique<CPDFInt>(3));
  trailer.SetStartXRef(99);
  EXPECT_EQ(Text(trailer), "trailer\r\n<<\r\n/Size 3\r\n>>\r\nstartxref\r\n99\r\n%%EOF\r\n");
}

TEST(TrailerCreate, NewDocumentHasSizeAndIndirectRoot) {
  CPDFDoc doc;
  ASSERT_TRUE(doc.Create(nullptr));
  CPDFTrailer* trailer = doc.GetTrailer();
  ASSERT_NE(trailer, nullptr);
  EXPECT_EQ(trailer->StartXRef(), -1);
  ASSERT_NE(trailer->Dict().Lookup("Root"), nullptr);
  EXPECT_TRUE(trailer->Dict().Lookup("Root")->IsRef());
  EXPECT_NE(trailer->Get_Root(), nullptr);
  // The catalog and its empty page tree took numbers 1 and 2.
  EXPECT_EQ(trailer->Get_Size()->IntValue(), 3);
  EXPECT_EQ(doc.GetPageCount(), 0);
}

TEST(TrailerCreate, CopiesPreviousAndSetsPrev) {
  CPDFTrailer previous;
  previous.Dict().Insert("Size", std::make_unique<CPDFInt>(9));
  previous.Dict().Insert("Root", std::make_unique<CPDFObjRef>(1, 0));
  previous.SetStartXRef(4321);
  CPDFTrailer trailer;
  trailer.Create(nullptr, &previous);
  EXPECT_EQ(trailer.Get_Size()->IntValue(), 9);
  EXPECT_EQ(trailer.Get_Prev()->IntValue(), 4321);
  EXPECT_TRUE(trailer.Dict().Lookup("Root")->IsRef());
}

}  // namespace
}  // namespace quarn
