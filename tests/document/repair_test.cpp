// Damaged files: the scanner that finds objects, trailers, catalogs and object streams, and the
// document's repair when "startxref" is missing, names the wrong place, or its section does not
// parse, or when one object is not where its entry says. A file that cannot be repaired keeps
// its error.
#include "pdf/document/repair.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "pdf/document/trailer.h"
#include "pdf/document/xref.h"
#include "pdf/object/in_stream.h"
#include "support/documents.h"
#include "support/pdf_builder.h"

namespace quarn {
namespace {

using test::DocTest;
using test::MakeFlatPdf;

std::unique_ptr<CPDFFileScan> ScanOf(const std::string& bytes) {
  MemInStream in(bytes.data(), bytes.size());
  auto scan = CPDFFileScan::Run(in);
  scan->ExpandObjectStreams(in);
  return scan;
}

// ---- the scanner --------------------------------------------------------------------------------

TEST(FileScan, FindsHeadersAndTakesTheNewestDefinition) {
  const std::string bytes =
      "%PDF-1.4\n1 0 obj\n<< /A 1 >>\nendobj\n2 3 obj (x) endobj\n1 0 obj\n<< /A 2 >>\nendobj\n";
  auto scan = ScanOf(bytes);
  ASSERT_EQ(scan->Objects().size(), 2u);
  EXPECT_EQ(scan->Objects().at(1).offset, static_cast<int64_t>(bytes.rfind("1 0 obj")));
  EXPECT_EQ(scan->Objects().at(2).gen, 3);
  EXPECT_EQ(scan->HeaderOffset(), 0);
}

TEST(FileScan, AnObjectCutOffWithTheFileLeavesTheEarlierDefinition) {
  const std::string whole = "%PDF-1.4\n1 0 obj\n<< /A 1 >>\nendobj\n";
  // An update cut inside its redefinition of 1, and inside a new object 2.
  for (const std::string& update :
       {std::string("1 0 obj\n<< /A 2 >>\nendob"),
        std::string("1 0 obj\n<< /Length 9 >>\nstream\nabc"), std::string("1 0 obj\n<< /A [2 "),
        std::string("2 0 obj\n<< /B 2 >>\n")}) {
    SCOPED_TRACE(update);
    auto scan = ScanOf(whole + update);
    ASSERT_EQ(scan->Objects().size(), 1u);
    EXPECT_EQ(scan->Objects().at(1).offset, 9);
  }
  // The last object with its "endobj" is the newest definition.
  auto scan = ScanOf(whole + "1 0 obj\n<< /A 2 >>\nendobj");
  EXPECT_EQ(scan->Objects().at(1).offset, static_cast<int64_t>(whole.size()));
}

TEST(FileScan, OnlyWholeHeadersCount) {
  // "endobj", a number glued to a word, "objx" and numbers out of range are not headers.
  const std::string bytes =
      "%PDF-1.4\nendobj 4 0 obj<<>>endobj\nx5 0 obj\n6 0 objx\n99999999999 0 obj\n7 0 obj[]";
  auto scan = ScanOf(bytes);
  ASSERT_EQ(scan->Objects().size(), 2u);
  EXPECT_TRUE(scan->Objects().count(4));
  EXPECT_TRUE(scan->Objects().count(7));
}

TEST(FileScan, HeadersAcrossBlockBoundariesAreFound) {
  // Headers placed so that each block boundary cuts one of them at another byte.
  std::string bytes = "%PDF-1.4\n";
  for (int i = 0; i < 12; ++i) {
    const size_t boundary = CPDFFileScan::kBlockSize * static_cast<size_t>(i + 1);
    const std::string header = std::to_string(i + 1) + " 0 obj";
    const size_t start = boundary - static_cast<size_t>(i % static_cast<int>(header.size() + 1));
    bytes.resize(start - 1, ' ');
    bytes += "\n" + header + " (x) endobj\n";
  }
  auto scan = ScanOf(bytes);
  EXPECT_EQ(scan->Objects().size(), 12u);
}

TEST(FileScan, TheLastTrailerWithARootWins) {
  const std::string bytes =
      "%PDF-1.4\n1 0 obj << /Type /Catalog >> endobj\n"
      "trailer\n<< /Size 2 /Root 1 0 R /Info 9 0 R >>\n"
      "trailer\n<< /Size 2 >>\n"
      "3 0 obj << /Type /Catalog >> endobj\n";
  auto scan = ScanOf(bytes);
  ASSERT_NE(scan->Trailer(), nullptr);
  EXPECT_NE(scan->Trailer()->Lookup("Info"), nullptr);
  EXPECT_EQ(scan->Catalog(), 3);
}

TEST(FileScan, ObjectStreamsAreExpanded) {
  test::PdfBuilder maker(test::kPdf15Header);
  maker.Obj(1, "<< /Type /Catalog /Pages 2 0 R >>")
      .ObjStm(5, {{2, "<< /Type /Pages /Kids [] /Count 0 >>"}, {3, "(three)"}}, true)
      .Obj(3, "(three, newer)")
      .StreamSection(6, "/Root 1 0 R");
  auto scan = ScanOf(maker.Str());
  ASSERT_TRUE(scan->CompressedObjects().count(2));
  EXPECT_EQ(scan->CompressedObjects().at(2).stream, 5);
  EXPECT_EQ(scan->CompressedObjects().at(2).index, 0);
  // Object 3 stands again after the object stream: the plain definition is the newer one.
  EXPECT_FALSE(scan->CompressedObjects().count(3));
  // The cross-reference stream gave the trailer; both streams are dropped by a rewrite.
  ASSERT_NE(scan->Trailer(), nullptr);
  const std::vector<int32_t> streams = scan->StreamNumbers();
  EXPECT_NE(std::find(streams.begin(), streams.end(), 5), streams.end());
  EXPECT_NE(std::find(streams.begin(), streams.end(), 6), streams.end());
}

TEST(FileScan, AnEmptyOrForeignInputFindsNothing) {
  EXPECT_TRUE(ScanOf("").get()->Objects().empty());
  auto scan = ScanOf(std::string(200000, 'o'));
  EXPECT_TRUE(scan->Objects().empty());
  EXPECT_EQ(scan->Trailer(), nullptr);
  EXPECT_EQ(scan->Catalog(), 0);
  EXPECT_EQ(scan->HeaderOffset(), -1);
}

// ---- documents ----------------------------------------------------------------------------------

class RepairTest : public DocTest {
 protected:
  // Opens `bytes`, which must be repaired into a document of `pages` pages.
  std::unique_ptr<CPDFDoc> ExpectRepaired(const std::string& bytes, int pages) {
    auto doc = OpenBytes(bytes);
    EXPECT_NE(doc, nullptr) << m_error.Message();
    if (!doc) return doc;
    EXPECT_TRUE(doc->IsRepaired());
    EXPECT_EQ(doc->Warnings().size(), 1u);
    if (!doc->Warnings().empty()) {
      EXPECT_EQ(doc->Warnings()[0], "damaged file repaired: " + doc->FileName());
    }
    EXPECT_EQ(doc->GetPageCount(), pages);
    return doc;
  }

  // Writes the document in full and checks the result opens without repair.
  void ExpectSoundRewrite(CPDFDoc& doc, int pages) {
    const std::string out = m_dir.File("rewritten" + std::to_string(++m_rewrites) + ".pdf");
    ASSERT_TRUE(doc.Save(out.c_str(), false, false)) << doc.LastError().Message();
    ASSERT_TRUE(doc.Flush()) << doc.LastError().Message();
    if (test::HaveTool("qpdf")) {
      EXPECT_EQ(test::RunCommand("qpdf --check '" + out + "'"), 0);
    }
    auto again = Open(out);
    ASSERT_NE(again, nullptr) << m_error.Message();
    EXPECT_FALSE(again->IsRepaired());
    EXPECT_EQ(again->GetPageCount(), pages);
  }

  int m_rewrites = 0;
};

TEST_F(RepairTest, NumbersThatTheFoundObjectsStillNameAreNotGivenToNewObjects) {
  // The page names a font 9 that the damage took, and a stray number far past the objects;
  // there is no table, so the file is repaired.
  test::PdfBuilder maker;
  maker.Obj(1, "<< /Type /Catalog /Pages 2 0 R >>")
      .Obj(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 /MediaBox [0 0 200 200] >>")
      .Obj(3, "<< /Type /Page /Parent 2 0 R /Resources << /Font << /F1 9 0 R >> >> "
              "/Stray [7000000 0 R] >>");
  auto doc = ExpectRepaired(maker.Str() + "trailer\n<< /Root 1 0 R >>\n", 1);
  ASSERT_NE(doc, nullptr);
  CPDFObjRef made;
  ASSERT_TRUE(doc->RegistObj(std::make_unique<CPDFDict>(), &made));
  EXPECT_EQ(made.Num(), 10);
  const CPDFXRefEntry* lost = doc->FindEntry(9, false);
  ASSERT_NE(lost, nullptr);
  EXPECT_FALSE(lost->InUse());
  EXPECT_EQ(doc->FindEntry(4000, false), nullptr);
  ExpectSoundRewrite(*doc, 1);
}

TEST_F(RepairTest, AStartxrefOffByOneIsRepaired) {
  std::string bytes = MakeFlatPdf(3);
  const size_t at = bytes.rfind("startxref\n") + 10;
  const long offset = std::stol(bytes.substr(at));
  bytes.replace(at, std::to_string(offset).size(), std::to_string(offset + 7));
  auto doc = ExpectRepaired(bytes, 3);
  if (doc) ExpectSoundRewrite(*doc, 3);
}

TEST_F(RepairTest, ADeletedTableIsRepaired) {
  std::string bytes = MakeFlatPdf(2);
  const size_t xref = bytes.rfind("xref\n0 ");
  const size_t trailer = bytes.rfind("trailer");
  bytes.erase(xref, trailer - xref);
  auto doc = ExpectRepaired(bytes, 2);
  if (doc) ExpectSoundRewrite(*doc, 2);
}

TEST_F(RepairTest, ATruncatedFileIsRepairedFromItsCatalog) {
  // The last 100 bytes hold the table's end, the trailer and "startxref": the catalog stands in.
  std::string bytes = MakeFlatPdf(2, {"(padding padding padding padding padding padding)"});
  bytes.resize(bytes.size() - 100);
  auto doc = ExpectRepaired(bytes, 2);
  ASSERT_NE(doc, nullptr);
  CPDFObjRef root;
  doc->GetTrailer()->Dict().GetValue(doc.get(), "Root", &root);
  EXPECT_EQ(root.Num(), 1);
  ExpectSoundRewrite(*doc, 2);
}

TEST_F(RepairTest, AnEncryptedFileThatLostItsTrailerIsNotTakenAsPlain) {
  // Object 4 is a standard encryption dictionary; the cut takes the trailer that named it.
  // Repaired from the catalog alone, the file would read (and be written) as its ciphertext.
  const std::string encryption = "<< /Filter /Standard /V 1 /R 2 /P -4 /O <" +
                                 std::string(64, 'A') + "> /U <" + std::string(64, 'B') + "> >>";
  std::string bytes =
      MakeFlatPdf(1, {encryption, "(padding padding padding padding padding padding)"});
  bytes.resize(bytes.size() - 100);
  EXPECT_EQ(OpenBytes(bytes), nullptr);
  // The same cut of a file whose dictionary 4 is no encryption dictionary is repaired.
  std::string plain = MakeFlatPdf(
      1, {"<< /Filter /FlateDecode /O 1 >>", "(padding padding padding padding padding padding)"});
  plain.resize(plain.size() - 100);
  ExpectRepaired(plain, 1);
}

TEST_F(RepairTest, AMissingStartxrefIsRepaired) {
  std::string bytes = MakeFlatPdf(1);
  bytes.erase(bytes.rfind("startxref"));
  auto doc = ExpectRepaired(bytes, 1);
  if (doc) ExpectSoundRewrite(*doc, 1);
}

TEST_F(RepairTest, BytesBeforeTheHeaderAreRepaired) {
  auto doc = ExpectRepaired("GARBAGE LINE\n" + MakeFlatPdf(2), 2);
  ASSERT_NE(doc, nullptr);
  EXPECT_FALSE(doc->IsFDF());
}

TEST_F(RepairTest, AStreamFileWithoutItsStreamIsRepairedWithItsObjectStreams) {
  test::PdfBuilder maker(test::kPdf15Header);
  maker.Obj(1, "<< /Type /Catalog /Pages 2 0 R >>")
      .ObjStm(5,
              {{2, "<< /Type /Pages /Kids [3 0 R] /Count 1 /MediaBox [0 0 100 100] >>"},
               {3, "<< /Type /Page /Parent 2 0 R /Resources << >> >>"}},
              true)
      .StreamSection(6, "/Root 1 0 R", true);
  std::string bytes = maker.Str();
  bytes.resize(bytes.size() - 30);  // "startxref" and the end of the stream's object are cut
  auto doc = ExpectRepaired(bytes, 1);
  if (doc) ExpectSoundRewrite(*doc, 1);
}

TEST_F(RepairTest, AnObjectAtTheWrongOffsetIsFoundWhereItStands) {
  // The table says object 3 lies 4 bytes early; the sections themselves read fine.
  test::PdfBuilder maker;
  maker.Obj(1, "<< /Type /Catalog /Pages 2 0 R >>")
      .Obj(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 /MediaBox [0 0 100 100] >>");
  const int64_t page = static_cast<int64_t>(maker.Str().size());
  maker.Obj(3, "<< /Type /Page /Parent 2 0 R /Resources << >> >>")
      .Entry(3, 1, page - 4, 0)
      .Section("/Size 4 /Root 1 0 R");
  auto doc = OpenBytes(maker.Str());
  ASSERT_NE(doc, nullptr) << m_error.Message();
  EXPECT_FALSE(doc->IsRepaired());
  EXPECT_NE(doc->GetPage(0), nullptr) << doc->LastError().Message();
  EXPECT_TRUE(doc->IsRepaired());
  ASSERT_EQ(doc->Warnings().size(), 1u);
  ExpectSoundRewrite(*doc, 1);
}

TEST_F(RepairTest, AnUnrepairableFileKeepsItsError) {
  // No object anywhere: the error of the sections stands.
  auto doc = OpenBytes("%PDF-1.4\nnothing here at all\n");
  EXPECT_EQ(doc, nullptr);
  ExpectError(m_error, "CPDFDoc", "Serialize", kInvalidFormat, "Cannot find startxref");
  // Objects but neither a trailer nor a catalog: the same.
  auto orphans = OpenBytes("%PDF-1.4\n1 0 obj (a) endobj\n2 0 obj << /Type /Pages >> endobj\n");
  EXPECT_EQ(orphans, nullptr);
  ExpectError(m_error, "CPDFDoc", "Serialize", kInvalidFormat, "Cannot find startxref");
  // No header and nothing to repair from: the header's error stands.
  auto headless = OpenBytes("no header\nnor anything else\n");
  EXPECT_EQ(headless, nullptr);
  ExpectError(m_error, "CPDFHeader", "Serialize", kInvalidFormat, "invalidheader: no header");
}

TEST_F(RepairTest, ARepairedFileIsNotUpdatedIncrementally) {
  std::string bytes = MakeFlatPdf(1);
  bytes.erase(bytes.rfind("startxref"));
  const std::string path = Put("damaged.pdf", bytes);
  auto doc = Open(path);
  ASSERT_NE(doc, nullptr) << m_error.Message();
  EXPECT_FALSE(doc->Save(path.c_str(), true, false));
  ExpectError(doc->LastError(), "CPDFDoc", "Save", kUserError,
              "a repaired file cannot be updated incrementally: save it in full");
  EXPECT_EQ(test::ReadFile(path), bytes);
  // Saved in full in place, it is sound again.
  ASSERT_TRUE(doc->Save(path.c_str(), false, false)) << doc->LastError().Message();
  ASSERT_TRUE(doc->Flush()) << doc->LastError().Message();
  auto again = Open(path);
  ASSERT_NE(again, nullptr) << m_error.Message();
  EXPECT_FALSE(again->IsRepaired());
}

TEST_F(RepairTest, AGigabyteFileIsScannedInBlocks) {
  // A sparse file of 1 GiB: a document at the start, zeros, and a newer page tree at the end.
  // The scan reads it through in blocks and finds both ends.
  const std::string path = m_dir.File("huge.pdf");
  std::string head = MakeFlatPdf(1);
  head.erase(head.rfind("startxref"));
  const std::string tail =
      "\n4 0 obj\n<< /Type /Page /Parent 2 0 R /Resources << >> >>\nendobj\n"
      "2 0 obj\n<< /Type /Pages /Kids [3 0 R 4 0 R] /Count 2 /MediaBox [0 0 9 9] >>\nendobj\n";
  const int fd = open(path.c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0644);
  ASSERT_GE(fd, 0);
  const off_t size = off_t(1) << 30;
  ASSERT_EQ(pwrite(fd, head.data(), head.size(), 0), static_cast<ssize_t>(head.size()));
  ASSERT_EQ(pwrite(fd, tail.data(), tail.size(), size - static_cast<off_t>(tail.size())),
            static_cast<ssize_t>(tail.size()));
  close(fd);
  auto doc = Open(path);
  ASSERT_NE(doc, nullptr) << m_error.Message();
  EXPECT_TRUE(doc->IsRepaired());
  EXPECT_EQ(doc->GetPageCount(), 2);
}

}  // namespace
}  // namespace quarn
