// Cross-reference streams: their layout ("W", "Index", "Size"), their rows (types 0, 1, 2),
// sections that are streams, "Prev" chains that mix tables and streams, hybrid files, and
// writing such files back (full rewrite and incremental update).
#include "pdf/document/xref_stream.h"

#include <gtest/gtest.h>

#include <string>

#include "pdf/document/body.h"
#include "pdf/document/trailer.h"
#include "pdf/document/xref.h"
#include "pdf/object/in_stream.h"
#include "pdf/object/parser.h"
#include "support/documents.h"
#include "support/pdf_builder.h"

namespace quarn {
namespace {

using test::CountOf;
using test::DocTest;
using test::PdfBuilder;

std::unique_ptr<CPDFDict> DictOf(const std::string& text) {
  MemInStream in(text.data(), text.size());
  return ReadDict(nullptr, in);
}

std::string LayoutError(const std::string& dict) {
  try {
    XRefStreamLayout::Read(*DictOf(dict));
  } catch (const CPDFException& e) {
    EXPECT_EQ(e.Module(), "CPDFXRef");
    EXPECT_EQ(e.Method(), "Serialize");
    EXPECT_EQ(e.Code(), kInvalidFormat);
    return e.Message();
  }
  return "";
}

// Rows of widths [1 2 1] from (type, second, third) triples.
std::string Rows(std::initializer_list<std::array<int, 3>> rows) {
  std::string data;
  for (const auto& row : rows) {
    data.push_back(static_cast<char>(row[0]));
    data.push_back(static_cast<char>(row[1] >> 8));
    data.push_back(static_cast<char>(row[1]));
    data.push_back(static_cast<char>(row[2]));
  }
  return data;
}

// ---- layout -------------------------------------------------------------------------------------

TEST(XRefStreamLayout, IndexDefaultsToTheWholeSize) {
  const XRefStreamLayout layout = XRefStreamLayout::Read(*DictOf("<< /W [1 4 2] /Size 9 >>"));
  EXPECT_EQ(layout.RowBytes(), 7u);
  ASSERT_EQ(layout.ranges.size(), 1u);
  EXPECT_EQ(layout.ranges[0], std::make_pair(0, 9));
  EXPECT_EQ(layout.RowCount(), 9u);
}

TEST(XRefStreamLayout, IndexRunsAreKeptInOrder) {
  const XRefStreamLayout layout =
      XRefStreamLayout::Read(*DictOf("<< /W [0 3 0] /Size 40 /Index [30 2 5 3] >>"));
  ASSERT_EQ(layout.ranges.size(), 2u);
  EXPECT_EQ(layout.ranges[0], std::make_pair(30, 2));
  EXPECT_EQ(layout.ranges[1], std::make_pair(5, 3));
  EXPECT_EQ(layout.RowCount(), 5u);
}

TEST(XRefStreamLayout, BadWidthsAndRunsFail) {
  EXPECT_EQ(LayoutError("<< /W [1 9 1] /Size 3 >>"),
            "invalid cross-reference stream: W field width 9");
  EXPECT_EQ(LayoutError("<< /W [1 -1 1] /Size 3 >>"),
            "invalid cross-reference stream: W field width -1");
  EXPECT_EQ(LayoutError("<< /W [0 0 0] /Size 3 >>"), "invalid cross-reference stream: W");
  EXPECT_EQ(LayoutError("<< /W [1 2] /Size 3 >>"), "invalid cross-reference stream: W");
  EXPECT_EQ(LayoutError("<< /W [1 2 1] >>"), "invalid cross-reference stream: Size");
  EXPECT_EQ(LayoutError("<< /W [1 2 1] /Size 3 /Index [0 1 2] >>"),
            "invalid cross-reference stream: Index");
}

TEST(XRefStreamLayout, RunsThatOverflowFail) {
  // Runs past the largest object number, or whose end overflows 32 bits, never reach a table.
  EXPECT_EQ(LayoutError("<< /W [1 2 1] /Size 3 /Index [8388600 100] >>"),
            "invalid cross-reference stream: Index run 8388600 100");
  EXPECT_EQ(LayoutError("<< /W [1 2 1] /Size 3 /Index [2147483647 2147483647] >>"),
            "invalid cross-reference stream: Index run 2147483647 2147483647");
  EXPECT_EQ(LayoutError("<< /W [1 2 1] /Size 3 /Index [-1 2] >>"),
            "invalid cross-reference stream: Index run -1 2");
  EXPECT_EQ(LayoutError("<< /W [1 2 1] /Size 2147483647 >>"),
            "invalid cross-reference stream: Index run 0 2147483647");
}

// ---- rows ---------------------------------------------------------------------------------------

TEST(XRefStreamRows, TheThreeTypesBecomeEntries) {
  XRefStreamLayout layout;
  layout.widths = {1, 2, 1};
  layout.ranges = {{0, 4}};
  CPDFXRef table;
  CPDFXRefStream::ReadEntries(Rows({{0, 3, 255}, {1, 500, 2}, {2, 7, 4}, {0, 0, 1}}).data(), 16,
                              layout, table);
  EXPECT_EQ(table.FreeHead(), 3);
  const CPDFXRefEntry* plain = table.GetEntry(1);
  ASSERT_NE(plain, nullptr);
  EXPECT_TRUE(plain->InUse());
  EXPECT_FALSE(plain->IsCompressed());
  EXPECT_EQ(plain->Offset(), 500);
  EXPECT_EQ(plain->Gen(), 2);
  const CPDFXRefEntry* compressed = table.GetEntry(2);
  ASSERT_NE(compressed, nullptr);
  EXPECT_TRUE(compressed->InUse());
  EXPECT_TRUE(compressed->IsCompressed());
  EXPECT_EQ(compressed->ObjStmNum(), 7);
  EXPECT_EQ(compressed->ObjStmIndex(), 4);
  EXPECT_EQ(compressed->Gen(), 0);
  const CPDFXRefEntry* free = table.GetEntry(3);
  ASSERT_NE(free, nullptr);
  EXPECT_FALSE(free->InUse());
  EXPECT_EQ(free->Gen(), 1);
}

TEST(XRefStreamRows, WithoutATypeFieldEveryRowIsInUse) {
  XRefStreamLayout layout;
  layout.widths = {0, 2, 0};
  layout.ranges = {{10, 2}};
  CPDFXRef table;
  const std::string data("\x01\x00\x02\x00", 4);
  CPDFXRefStream::ReadEntries(data.data(), data.size(), layout, table);
  ASSERT_NE(table.GetEntry(10), nullptr);
  EXPECT_EQ(table.GetEntry(10)->Offset(), 256);
  EXPECT_EQ(table.GetEntry(11)->Offset(), 512);
  EXPECT_EQ(table.GetEntry(11)->Gen(), 0);
}

TEST(XRefStreamRows, UnknownTypesAndImpossiblePlacesArePassedOver) {
  XRefStreamLayout layout;
  layout.widths = {1, 2, 1};
  layout.ranges = {{1, 3}};
  CPDFXRef table;
  // Type 7 stands for the null object; type 2 in object stream 0 names nothing.
  const std::string rows = Rows({{7, 100, 0}, {2, 0, 1}, {1, 40, 0}});
  CPDFXRefStream::ReadEntries(rows.data(), rows.size(), layout, table);
  EXPECT_EQ(table.GetEntry(1), nullptr);
  EXPECT_EQ(table.GetEntry(2), nullptr);
  ASSERT_NE(table.GetEntry(3), nullptr);
}

TEST(XRefStreamRows, RowsBeyondTheDataAreMissing) {
  // "Index" claims a million rows; the data holds two, and only two entries are made.
  XRefStreamLayout layout;
  layout.widths = {1, 2, 1};
  layout.ranges = {{1, 1000000}};
  CPDFXRef table;
  const std::string rows = Rows({{1, 10, 0}, {1, 20, 0}}) + "\x01\x00";
  CPDFXRefStream::ReadEntries(rows.data(), rows.size(), layout, table);
  EXPECT_EQ(table.Count(), 2u);
  EXPECT_EQ(table.Size(), 2);
}

TEST(XRefStreamRows, EntriesInUseAlreadyWin) {
  // A hybrid file's table is read first; its stream only fills what the table lacks or frees.
  CPDFXRef table;
  table.SetEntry(CPDFXRefEntry(1, 0, 900, true));
  table.SetEntry(CPDFXRefEntry(2, 0, 0, false));
  XRefStreamLayout layout;
  layout.widths = {1, 2, 1};
  layout.ranges = {{1, 3}};
  const std::string rows = Rows({{1, 10, 0}, {2, 5, 0}, {2, 5, 1}});
  CPDFXRefStream::ReadEntries(rows.data(), rows.size(), layout, table);
  EXPECT_EQ(table.GetEntry(1)->Offset(), 900);
  EXPECT_TRUE(table.GetEntry(2)->IsCompressed());
  EXPECT_TRUE(table.GetEntry(3)->IsCompressed());
}

TEST(XRefEntry, AByteOffsetOrAFreeingEndsTheCompressedPlace) {
  CPDFXRefEntry entry = CPDFXRefEntry::Compressed(5, 9, 2);
  entry.SetOffset(1234);
  EXPECT_FALSE(entry.IsCompressed());
  EXPECT_EQ(entry.Offset(), 1234);
  CPDFXRefEntry other = CPDFXRefEntry::Compressed(6, 9, 3);
  other.SetInUse(false);
  EXPECT_FALSE(other.IsCompressed());
}

// ---- documents ----------------------------------------------------------------------------------

class XRefStreamDocTest : public DocTest {
 protected:
  // Catalog 1 and the page tree 2 plainly, the page 3 and an info dictionary 4 in object
  // stream 5, the cross-reference stream 6.
  static PdfBuilder OneSection(bool predicted, bool flate) {
    test::PdfBuilder maker(test::kPdf15Header);
    maker.Obj(1, "<< /Type /Catalog /Pages 2 0 R >>")
        .Obj(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 /MediaBox [0 0 200 200] >>")
        .ObjStm(5,
                {{3, "<< /Type /Page /Parent 2 0 R /Resources << >> >>"},
                 {4, "<< /Producer (stream maker) /Title (compressed) >>"}},
                flate)
        .StreamSection(6, "/Root 1 0 R /Info 4 0 R", predicted);
    return maker;
  }

  static std::string TitleOf(CPDFDoc& doc) {
    CPDFDict* info = AsDict(doc.GetObj(CPDFObjRef(4, 0)));
    CPDFString* title = info ? info->GetString(&doc, "Title") : nullptr;
    return title ? std::string(title->Data(), title->Length()) : std::string("(none)");
  }
};

TEST_F(XRefStreamDocTest, ASectionThatIsAStreamOpensWithCompressedObjects) {
  for (const bool predicted : {false, true}) {
    auto doc = OpenBytes(OneSection(predicted, predicted).Str());
    ASSERT_NE(doc, nullptr) << m_error.Message();
    EXPECT_EQ(doc->GetPageCount(), 1);
    EXPECT_EQ(TitleOf(*doc), "compressed");
    EXPECT_FALSE(doc->IsRepaired());
    EXPECT_TRUE(doc->Warnings().empty());
    const CPDFXRefEntry* entry = doc->FindEntry(3, false);
    ASSERT_NE(entry, nullptr);
    EXPECT_TRUE(entry->IsCompressed());
  }
}

TEST_F(XRefStreamDocTest, TheTrailerTakesOnlyTheTrailerKeys) {
  auto doc = OpenBytes(OneSection(true, true).Str());
  ASSERT_NE(doc, nullptr) << m_error.Message();
  const CPDFDict& trailer = doc->GetTrailer()->Dict();
  EXPECT_NE(trailer.Lookup("Root"), nullptr);
  EXPECT_NE(trailer.Lookup("Size"), nullptr);
  for (const char* key : {"W", "Index", "Type", "Filter", "DecodeParms", "Length"}) {
    EXPECT_EQ(trailer.Lookup(key), nullptr) << key;
  }
}

TEST_F(XRefStreamDocTest, APrevChainMixesTablesAndStreams) {
  // A table first, then a stream section that changes the title, then a table again that adds
  // a second page.
  PdfBuilder first;
  first.Obj(1, "<< /Type /Catalog /Pages 2 0 R >>")
      .Obj(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 /MediaBox [0 0 200 200] >>")
      .Obj(3, "<< /Type /Page /Parent 2 0 R /Resources << >> >>")
      .Obj(4, "<< /Title (first) >>")
      .Section("/Size 5 /Root 1 0 R /Info 4 0 R");
  PdfBuilder second(first.Str());
  second.Prev(first.LastXRef())
      .ObjStm(5, {{4, "<< /Title (second) >>"}})
      .StreamSection(6, "/Root 1 0 R /Info 4 0 R");
  PdfBuilder third(second.Str());
  third.Obj(2, "<< /Type /Pages /Kids [3 0 R 7 0 R] /Count 2 /MediaBox [0 0 200 200] >>")
      .Obj(7, "<< /Type /Page /Parent 2 0 R /Resources << >> >>")
      .Section("/Size 8 /Root 1 0 R /Info 4 0 R /Prev " + std::to_string(second.LastXRef()));
  auto doc = OpenBytes(third.Str());
  ASSERT_NE(doc, nullptr) << m_error.Message();
  EXPECT_FALSE(doc->IsRepaired());
  EXPECT_EQ(doc->GetPageCount(), 2);
  EXPECT_EQ(TitleOf(*doc), "second");
}

TEST_F(XRefStreamDocTest, AHybridFileReadsItsXRefStm) {
  // The table lists objects 1-3 and marks 4 free; the "XRefStm" stream places 4 in object
  // stream 5, which only readers of streams see.
  test::PdfBuilder streams(test::kPdf15Header);
  streams.Obj(1, "<< /Type /Catalog /Pages 2 0 R >>")
      .Obj(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 /MediaBox [0 0 200 200] >>")
      .Obj(3, "<< /Type /Page /Parent 2 0 R /Resources << >> >>");
  std::string text = streams.Str();
  PdfBuilder tail(text);
  tail.ObjStm(5, {{4, "<< /Title (hybrid) >>"}});
  tail.StreamSection(6, "/Root 1 0 R");
  text = tail.Str();
  const int64_t xrefStm = tail.LastXRef();
  text.resize(text.rfind("startxref"));
  std::string table = "xref\n0 7\n0000000000 65535 f \n";
  for (int num = 1; num <= 6; ++num) {
    size_t at = text.find("\n" + std::to_string(num) + " 0 obj") + 1;
    if (num == 1) at = text.find("1 0 obj");
    char line[32];
    if (num == 4) {
      std::snprintf(line, sizeof line, "%010d %05d f \n", 0, 0);
    } else {
      std::snprintf(line, sizeof line, "%010zu %05d n \n", at, 0);
    }
    table += line;
  }
  const size_t tableAt = text.size();
  text += table + "trailer\n<< /Size 7 /Root 1 0 R /Info 4 0 R /XRefStm " +
          std::to_string(xrefStm) + " >>\nstartxref\n" + std::to_string(tableAt) + "\n%%EOF\n";
  auto doc = OpenBytes(text);
  ASSERT_NE(doc, nullptr) << m_error.Message();
  EXPECT_FALSE(doc->IsRepaired());
  EXPECT_EQ(TitleOf(*doc), "hybrid");
  // The update section's trailer does not point at the old stream.
  EXPECT_EQ(doc->GetTrailer()->Dict().Lookup("XRefStm"), nullptr);
}

TEST_F(XRefStreamDocTest, AWordHybridUpdateWithAnEmptyTableOpens) {
  // "xref 0 0" followed by a trailer whose "XRefStm" holds all of the update's entries.
  PdfBuilder maker = OneSection(false, false);
  std::string text = maker.Str();
  const int64_t first = maker.LastXRef();
  PdfBuilder update(text);
  update.ObjStm(8, {{4, "<< /Title (updated) >>"}}).StreamSection(9, "/Root 1 0 R /Info 4 0 R");
  text = update.Str();
  const int64_t stream = update.LastXRef();
  const size_t tableAt = text.size();
  text += "xref\n0 0\ntrailer\n<< /Size 10 /Root 1 0 R /Info 4 0 R /Prev " + std::to_string(first) +
          " /XRefStm " + std::to_string(stream) + " >>\nstartxref\n" + std::to_string(tableAt) +
          "\n%%EOF\n";
  auto doc = OpenBytes(text);
  ASSERT_NE(doc, nullptr) << m_error.Message();
  EXPECT_FALSE(doc->IsRepaired());
  EXPECT_EQ(TitleOf(*doc), "updated");
}

TEST_F(XRefStreamDocTest, AnEmptyTableWithoutXRefStmKeepsItsError) {
  std::string text = test::MakeFlatPdf(1);
  const size_t tableAt = text.size();
  text += "xref\n0 0\ntrailer\n<< /Size 4 /Root 1 0 R >>\nstartxref\n" + std::to_string(tableAt) +
          "\n%%EOF\n";
  // Unreadable as written: the file is repaired from its objects.
  auto doc = OpenBytes(text);
  ASSERT_NE(doc, nullptr) << m_error.Message();
  EXPECT_TRUE(doc->IsRepaired());
}

TEST_F(XRefStreamDocTest, AFullRewriteWritesPlainObjectsAndAClassicTable) {
  auto doc = OpenBytes(OneSection(true, true).Str());
  ASSERT_NE(doc, nullptr) << m_error.Message();
  const std::string out = m_dir.File("out.pdf");
  ASSERT_TRUE(doc->Save(out.c_str(), false, false)) << doc->LastError().Message();
  ASSERT_TRUE(doc->Flush()) << doc->LastError().Message();
  const std::string bytes = test::ReadFile(out);
  EXPECT_EQ(CountOf(bytes, "/ObjStm"), 0u);
  EXPECT_EQ(CountOf(bytes, "/XRef"), 0u);
  EXPECT_EQ(CountOf(bytes, "\nxref\r\n"), 1u);
  EXPECT_NE(bytes.find("3 0 obj"), std::string::npos);
  EXPECT_NE(bytes.find("4 0 obj"), std::string::npos);
  EXPECT_EQ(bytes.find("5 0 obj"), std::string::npos);
  EXPECT_EQ(bytes.find("6 0 obj"), std::string::npos);
  if (test::HaveTool("qpdf")) {
    EXPECT_EQ(test::RunCommand("qpdf --check '" + out + "'"), 0);
  }

  // The numbers of the two streams are free in the written file, and everything else reads.
  auto again = Open(out);
  ASSERT_NE(again, nullptr) << m_error.Message();
  EXPECT_EQ(again->GetPageCount(), 1);
  EXPECT_EQ(TitleOf(*again), "compressed");
  for (const int32_t num : {5, 6}) {
    const CPDFXRefEntry* entry = again->FindEntry(num, true);
    ASSERT_NE(entry, nullptr) << num;
    EXPECT_FALSE(entry->InUse()) << num;
    EXPECT_EQ(entry->Gen(), 1) << num;
  }
}

TEST_F(XRefStreamDocTest, AnIncrementalUpdateIsAStreamThatLinksToTheStream) {
  const std::string original = OneSection(true, true).Str();
  const std::string path = Put("update.pdf", original);
  const int64_t streamAt = static_cast<int64_t>(original.rfind("6 0 obj"));
  auto doc = Open(path);
  ASSERT_NE(doc, nullptr) << m_error.Message();
  CPDFDict* info = AsDict(doc->GetObj(CPDFObjRef(4, 0)));
  ASSERT_NE(info, nullptr);
  info->Insert("Title", std::make_unique<CPDFString>("changed"));
  ASSERT_TRUE(doc->UpdateObj(CPDFObjRef(4, 0)));
  // A freed number heads the free list at generation 1: an object stream must not take it.
  CPDFObjRef freed;
  ASSERT_TRUE(doc->RegistObj(std::make_unique<CPDFDict>(), &freed));
  doc->DeleteObj(freed);
  ASSERT_TRUE(doc->Save(path.c_str(), true, false)) << doc->LastError().Message();
  ASSERT_TRUE(doc->Flush()) << doc->LastError().Message();
  const std::string bytes = test::ReadFile(path);
  ASSERT_EQ(bytes.substr(0, original.size()), original);
  const std::string update = bytes.substr(original.size());
  // A file indexed by a stream gets its update indexed by one too.
  EXPECT_EQ(update.find("trailer"), std::string::npos);
  EXPECT_NE(update.find("/Type /XRef"), std::string::npos);
  EXPECT_NE(update.find("/Prev " + std::to_string(streamAt)), std::string::npos);
  // The changed dictionary goes into an object stream of the update's own, not into plain text.
  EXPECT_NE(update.find("/Type /ObjStm"), std::string::npos);
  EXPECT_EQ(update.find("changed"), std::string::npos);
  if (test::HaveTool("qpdf")) {
    EXPECT_EQ(test::RunCommand("qpdf --check '" + path + "'"), 0);
  }
  auto again = Open(path);
  ASSERT_NE(again, nullptr) << m_error.Message();
  EXPECT_FALSE(again->IsRepaired());
  EXPECT_EQ(TitleOf(*again), "changed");
  EXPECT_EQ(again->GetPageCount(), 1);
  const CPDFXRefEntry* entry = again->FindEntry(4, false);
  ASSERT_NE(entry, nullptr);
  EXPECT_TRUE(entry->IsCompressed());
  EXPECT_NE(entry->ObjStmNum(), freed.Num());
  EXPECT_EQ(again->FindEntry(entry->ObjStmNum(), false)->Gen(), 0);
  EXPECT_TRUE(again->GetObj(CPDFObjRef(entry->ObjStmNum(), 0))->IsType(kTypeStream));
}

TEST_F(XRefStreamDocTest, ABrokenStreamSectionIsRepaired) {
  // "W" with a field of 9 bytes cannot be read; the objects are found by scanning.
  std::string text = OneSection(false, false).Str();
  const size_t w = text.find("/W [1 4 2]");
  ASSERT_NE(w, std::string::npos);
  text.replace(w, 10, "/W [1 9 2]");
  auto doc = OpenBytes(text);
  ASSERT_NE(doc, nullptr) << m_error.Message();
  EXPECT_TRUE(doc->IsRepaired());
  ASSERT_EQ(doc->Warnings().size(), 1u);
  EXPECT_EQ(doc->Warnings()[0].rfind("damaged file repaired: ", 0), 0u);
  EXPECT_EQ(doc->GetPageCount(), 1);
  EXPECT_EQ(TitleOf(*doc), "compressed");
}

TEST_F(XRefStreamDocTest, DataShortOfItsRowsIsABrokenSection) {
  // "W" [1 4 3] asks 8 bytes a row of data written in rows of 7: read so, every row after the
  // first would name an offset that nobody wrote. The section is damaged and repaired.
  std::string text = OneSection(false, false).Str();
  const size_t w = text.find("/W [1 4 2]");
  ASSERT_NE(w, std::string::npos);
  text.replace(w, 10, "/W [1 4 3]");
  auto doc = OpenBytes(text);
  ASSERT_NE(doc, nullptr) << m_error.Message();
  EXPECT_TRUE(doc->IsRepaired());
  EXPECT_EQ(doc->GetPageCount(), 1);
  EXPECT_EQ(TitleOf(*doc), "compressed");
}

TEST_F(XRefStreamDocTest, ALengthThatDoesNotEndTheDataIsABrokenSection) {
  // The data is found by its "endstream" either way; readers that take Length cannot read
  // these sections, so they are repaired here too (and so never get an update chained on).
  const std::string text = OneSection(false, false).Str();
  const size_t at = text.find("/Length ", text.find("/Type /XRef"));
  ASSERT_NE(at, std::string::npos);
  const size_t end = text.find_first_of(" />", at + 8);
  for (const std::string length : {"-1", "0", "7"}) {
    std::string damaged = text;
    damaged.replace(at + 8, end - at - 8, length);
    auto doc = OpenBytes(damaged);
    ASSERT_NE(doc, nullptr) << length << ": " << m_error.Message();
    EXPECT_TRUE(doc->IsRepaired()) << length;
    EXPECT_EQ(TitleOf(*doc), "compressed") << length;
  }
  auto sound = OpenBytes(text);
  ASSERT_NE(sound, nullptr) << m_error.Message();
  EXPECT_FALSE(sound->IsRepaired());
  // More white space in front of "endstream" than an end of line is still no data.
  std::string spaced = text;
  spaced.insert(spaced.find("endstream", at), " \r\n\n");
  auto padded = OpenBytes(spaced);
  ASSERT_NE(padded, nullptr) << m_error.Message();
  EXPECT_FALSE(padded->IsRepaired());
}

TEST_F(XRefStreamDocTest, FilesThatQpdfWritesWithObjectStreamsReadAndRewrite) {
  if (!test::HaveTool("qpdf")) GTEST_SKIP() << "qpdf is not installed";
  const std::string plain = Put("plain.pdf", test::MakeFlatPdf(4, {"<< /Title (made) >>"}));
  for (const char* options :
       {"--object-streams=generate", "--object-streams=generate --linearize"}) {
    const std::string made = m_dir.File("made.pdf");
    ASSERT_EQ(test::RunCommand(std::string("qpdf ") + options + " '" + plain + "' '" + made + "'"),
              0);
    ASSERT_NE(test::ReadFile(made).find("/ObjStm"), std::string::npos) << options;
    auto doc = Open(made);
    ASSERT_NE(doc, nullptr) << options << ": " << m_error.Message();
    EXPECT_FALSE(doc->IsRepaired()) << options;
    EXPECT_EQ(doc->GetPageCount(), 4) << options;
    for (int i = 0; i < 4; ++i) EXPECT_NE(doc->GetPage(i), nullptr) << options << " page " << i;
    const std::string out = m_dir.File("rewritten.pdf");
    ASSERT_TRUE(doc->Save(out.c_str(), false, false)) << doc->LastError().Message();
    ASSERT_TRUE(doc->Flush()) << doc->LastError().Message();
    EXPECT_EQ(test::RunCommand("qpdf --check '" + out + "'"), 0) << options;
    EXPECT_EQ(test::CommandOutput("qpdf --show-npages '" + out + "'"), "4\n") << options;
  }
}

}  // namespace
}  // namespace quarn
