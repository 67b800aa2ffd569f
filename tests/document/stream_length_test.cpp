// Where a stream's data ends when its dictionary gives the length: the bytes at that length
// are trusted only when "endstream" and "endobj" follow there; otherwise the data runs to the
// first "endstream" "endobj" found.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <map>
#include <utility>
#include <vector>

#include "pdf/document/xref.h"
#include "pdf/object/in_stream.h"
#include "pdf/object/parser.h"
#include "pdf/stream/stream.h"
#include "platform/source_file.h"
#include "support/documents.h"
#include "support/files.h"
#include "support/pdf_builder.h"
#include "support/values.h"

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

// ---- lengths and offsets past 32 bits
// ------------------------------------------------------------

TEST(StreamLength, LengthsPastThirtyTwoBitsAreSetWhole) {
  test::TempDir dir;
  const std::string path = dir.File("data");
  test::WriteFile(path, "data");
  for (const int64_t length : {int64_t{2147483648}, int64_t{4294967296}, int64_t{5000000000}}) {
    // The data stays in the file and is never read: only the arithmetic of the length runs.
    CPDFStream stream(nullptr);
    stream.SetSource(SourceFile::Open(path), 0, length);
    stream.UpdateLength();
    ASSERT_NE(stream.Get_Length(), nullptr);
    EXPECT_EQ(test::Text(*stream.Get_Length()), std::to_string(length));
    CPDFStream copy(nullptr);
    ASSERT_TRUE(copy.CopyFrom(stream, nullptr));
    ASSERT_NE(copy.Get_Length(), nullptr);
    EXPECT_EQ(test::Text(*copy.Get_Length()), std::to_string(length));
    EXPECT_EQ(copy.HeldLength(), length);
  }
}

// A file laid out piece by piece, with holes that the file system keeps sparse: a document of
// more than 4 GiB that takes a few kilobytes of disk.
class SparseFile {
 public:
  void Put(const std::string& bytes) {
    m_pieces.emplace_back(m_size, bytes);
    m_size += static_cast<int64_t>(bytes.size());
  }
  void Hole(int64_t n) { m_size += n; }
  // `whole`: the object ends here; otherwise what follows is the rest of it.
  void Obj(int num, const std::string& body, bool whole = true) {
    m_offsets[num] = m_size;
    Put(std::to_string(num) + " 0 obj\n" + body + (whole ? "\nendobj\n" : ""));
  }
  int64_t Size() const { return m_size; }
  int64_t OffsetOf(int num) const { return m_offsets.at(num); }
  const std::map<int, int64_t>& Offsets() const { return m_offsets; }
  // False when the file could not be written, or took real blocks for its holes.
  bool Write(const std::string& path) const {
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    bool ok = ftruncate(fd, m_size) == 0;
    for (const auto& [at, bytes] : m_pieces) {
      ok = ok && pwrite(fd, bytes.data(), bytes.size(), at) == static_cast<ssize_t>(bytes.size());
    }
    struct stat st {};
    ok = ok && fstat(fd, &st) == 0 && st.st_blocks * 512 < (int64_t(16) << 20);
    close(fd);
    return ok;
  }

 private:
  std::vector<std::pair<int64_t, std::string>> m_pieces;
  std::map<int, int64_t> m_offsets;
  int64_t m_size = 0;
};

std::string BigEndian(uint64_t value, int bytes) {
  std::string out;
  for (int b = bytes - 1; b >= 0; --b) out.push_back(static_cast<char>(value >> (8 * b)));
  return out;
}

TEST_F(StreamLengthInDocument, StreamOfMoreThanFourGiBAndObjectsBeyondIt) {
  // Stream 4 holds 2^32 + 1000 bytes (a hole of zeros); the Info dictionary, the Length object
  // and the section lie past 4 GiB. The document reads, and an incremental update in place
  // links to the section and lists the changed object at its offset past 4 GiB.
  constexpr int64_t kLength = (int64_t(1) << 32) + 1000;
  for (const bool streamSection : {false, true}) {
    for (const bool indirectLength : {false, true}) {
      const std::string name = std::string(streamSection ? "stream" : "table") + " section, " +
                               (indirectLength ? "indirect" : "direct") + " Length";
      SparseFile file;
      file.Put(streamSection ? test::kPdf15Header : test::kPdf14Header);
      file.Obj(1, "<< /Type /Catalog /Pages 2 0 R >>");
      file.Obj(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
      file.Obj(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 4 0 R >>");
      const std::string length = indirectLength ? "6 0 R" : std::to_string(kLength);
      file.Obj(4, "<< /Length " + length + " >>\nstream\n", false);
      file.Hole(kLength);
      file.Put("\nendstream\nendobj\n");
      file.Obj(5, "<< /Producer (sparse) >>");
      file.Obj(6, std::to_string(kLength));
      const int64_t sectionAt = file.Size();
      if (streamSection) {
        std::string rows = BigEndian(0, 1) + BigEndian(0, 5) + BigEndian(65535, 2);
        for (const auto& [num, at] : file.Offsets()) {
          rows += BigEndian(1, 1) + BigEndian(static_cast<uint64_t>(at), 5) + BigEndian(0, 2);
        }
        rows += BigEndian(1, 1) + BigEndian(static_cast<uint64_t>(sectionAt), 5) + BigEndian(0, 2);
        file.Obj(7, "<< /Type /XRef /Size 8 /W [1 5 2] /Root 1 0 R /Info 5 0 R /Length " +
                        std::to_string(rows.size()) + " >>\nstream\n" + rows + "\nendstream");
      } else {
        std::string table = "xref\n0 7\n0000000000 65535 f \n";
        char line[32];
        for (const auto& [num, at] : file.Offsets()) {
          std::snprintf(line, sizeof line, "%010lld 00000 n \n", static_cast<long long>(at));
          table += line;
        }
        file.Put(table + "trailer\n<< /Size 7 /Root 1 0 R /Info 5 0 R >>\n");
      }
      file.Put("startxref\n" + std::to_string(sectionAt) + "\n%%EOF\n");
      const std::string path = m_dir.File("big.pdf");
      if (!file.Write(path)) GTEST_SKIP() << "no sparse file of 4 GiB can be made here";

      auto doc = Open(path);
      ASSERT_NE(doc, nullptr) << name << ": " << m_error.Message();
      EXPECT_FALSE(doc->IsRepaired()) << name;
      auto* stream = dynamic_cast<CPDFStream*>(doc->GetObj(CPDFObjRef(4, 0)));
      ASSERT_NE(stream, nullptr) << name;
      // The end of line in front of "endstream" stays with the data, and Length tells it.
      EXPECT_EQ(stream->HeldLength(), kLength + 1) << name;
      ASSERT_NE(stream->Get_Length(), nullptr) << name;
      EXPECT_EQ(test::Text(*stream->Get_Length()), std::to_string(kLength + 1)) << name;
      CPDFDict* info = AsDict(doc->GetObj(CPDFObjRef(5, 0)));
      ASSERT_NE(info, nullptr) << name;
      info->Insert("Title", std::make_unique<CPDFString>("changed"));
      ASSERT_TRUE(doc->UpdateObj(CPDFObjRef(5, 0))) << name;
      ASSERT_TRUE(doc->Save(path.c_str(), true, false))
          << name << ": " << doc->LastError().Message();
      ASSERT_TRUE(doc->Flush()) << name << ": " << doc->LastError().Message();
      doc.reset();

      const int64_t original = file.Size();
      const std::string update = test::ReadFileFrom(path, original);
      EXPECT_NE(update.find("/Prev " + std::to_string(sectionAt)), std::string::npos) << name;
      // Offsets past 4 GiB need five bytes in a stream's row.
      if (streamSection) {
        EXPECT_NE(update.find("/W [1 5 "), std::string::npos) << name;
      }
      auto again = Open(path);
      ASSERT_NE(again, nullptr) << name << ": " << m_error.Message();
      EXPECT_FALSE(again->IsRepaired()) << name;
      CPDFDict* reread = AsDict(again->GetObj(CPDFObjRef(5, 0)));
      ASSERT_NE(reread, nullptr) << name;
      ASSERT_NE(reread->GetString(nullptr, "Title"), nullptr) << name;
      EXPECT_EQ(reread->GetString(nullptr, "Title")->Str(), "changed") << name;
      // The changed object (or the object stream holding it) lies where the update put it.
      const CPDFXRefEntry* entry = again->FindEntry(5, false);
      ASSERT_NE(entry, nullptr) << name;
      if (entry->IsCompressed()) entry = again->FindEntry(entry->ObjStmNum(), false);
      ASSERT_NE(entry, nullptr) << name;
      EXPECT_GE(entry->Offset(), original) << name;
    }
  }
}

}  // namespace
}  // namespace quarn
