// Saving: full rewrites, incremental updates, the temporary that replaces the input, releases
// during a save, and failures that must leave the input as it was.
#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "pdf/document/body.h"
#include "pdf/document/catalog.h"
#include "pdf/document/info_dict.h"
#include "pdf/document/pages.h"
#include "pdf/document/trailer.h"
#include "pdf/document/xref.h"
#include "pdf/stream/stream.h"
#include "support/documents.h"
#include "support/pdf_builder.h"

namespace quarn {
namespace {

using test::CountOf;
using test::MakeFlatPdf;
using test::MakePdf;
using test::PdfBuilder;
using test::QpdfAccepts;
using test::ReadFile;

// The names in `dir` that start with the temporary prefix.
std::vector<std::string> Temporaries(const std::string& dir) {
  std::vector<std::string> names;
  if (DIR* d = opendir(dir.c_str())) {
    while (dirent* entry = readdir(d)) {
      const std::string name = entry->d_name;
      if (name.rfind("qx", 0) == 0) names.push_back(name);
    }
    closedir(d);
  }
  return names;
}

class Saving : public test::DocTest {
 protected:
  void SetUp() override {
    if (!test::HaveTool("qpdf")) GTEST_SKIP() << "qpdf is not installed";
  }
};

// ---- Save and Flush basics ----------------------------------------------------------------------

TEST_F(Saving, FlushWithoutSaveFails) {
  const std::string path = Put("a.pdf", MakeFlatPdf(1));
  auto doc = Open(path);
  ASSERT_NE(doc, nullptr);
  EXPECT_FALSE(doc->Flush());
  ExpectError(doc->LastError(), "CPDFDoc", "Flush", kUserError,
              "CPDFDoc::Save() has not been called.");
  EXPECT_EQ(ReadFile(path), MakeFlatPdf(1));
}

TEST_F(Saving, InPlaceRewriteGoesThroughATemporaryBeside) {
  const std::string path = Put("a.pdf", MakeFlatPdf(2));
  chmod(path.c_str(), 0640);
  struct stat before {};
  stat(path.c_str(), &before);
  auto doc = Open(path);
  ASSERT_NE(doc, nullptr);
  ASSERT_TRUE(doc->Save(path.c_str(), false, false)) << doc->LastError().Message();
  // Where the file system allows it the temporary has no name until Flush links it in place;
  // elsewhere it is one qxXXXXXX.pdf.
  const std::vector<std::string> temps = Temporaries(m_dir.Path());
  ASSERT_LE(temps.size(), 1u);
  for (const std::string& temp : temps) {
    EXPECT_EQ(temp.size(), std::string("qxXXXXXX.pdf").size());
    EXPECT_EQ(temp.substr(temp.size() - 4), ".pdf");
  }
  // The input is untouched until Flush.
  EXPECT_EQ(ReadFile(path), MakeFlatPdf(2));
  ASSERT_TRUE(doc->Flush()) << doc->LastError().Message();
  EXPECT_TRUE(Temporaries(m_dir.Path()).empty());
  struct stat after {};
  stat(path.c_str(), &after);
  EXPECT_NE(after.st_ino, before.st_ino);  // replaced by rename, not rewritten in place
  EXPECT_EQ(after.st_mode & 0777, 0640u);
  EXPECT_TRUE(QpdfAccepts(path));
  EXPECT_EQ(doc->FileName(), path);
  EXPECT_EQ(doc->GetPageCount(), 2);
}

TEST_F(Saving, FullRewriteLayout) {
  const std::string path = Put("a.pdf", MakeFlatPdf(1));
  const std::string out = m_dir.File("b.pdf");
  auto doc = Open(path);
  ASSERT_NE(doc, nullptr);
  ASSERT_TRUE(doc->Save(out.c_str(), true, false));  // another name: never incremental
  ASSERT_TRUE(doc->Flush()) << doc->LastError().Message();
  const std::string text = ReadFile(out);
  EXPECT_EQ(text.rfind("%PDF-1.4\r\n%\xE2\xE3\xCF\xD3\r\n", 0), 0u);
  EXPECT_EQ(CountOf(text, "startxref"), 1u);
  EXPECT_EQ(CountOf(text, "%%EOF"), 1u);
  EXPECT_EQ(text.find("/Prev"), std::string::npos);
  // Objects in number order, the new information dictionary last.
  EXPECT_LT(text.find("1 0 obj\r\n"), text.find("2 0 obj\r\n"));
  EXPECT_LT(text.find("3 0 obj\r\n"), text.find("4 0 obj\r\n"));
  EXPECT_NE(text.find("/Producer (libquarn)"), std::string::npos);
  EXPECT_EQ(text.substr(text.size() - 7), "%%EOF\r\n");
  EXPECT_TRUE(QpdfAccepts(out));
  // The document now reads the new file.
  EXPECT_EQ(doc->FileName(), out);
  EXPECT_EQ(ReadFile(path), MakeFlatPdf(1));
}

TEST_F(Saving, FullRewriteOfTwoSectionsKeepsEachObjectOnce) {
  PdfBuilder maker;
  maker.Obj(1, "<< /Type /Catalog /Pages 2 0 R >>")
      .Obj(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 /MediaBox [0 0 200 200] >>")
      .Obj(3, "<< /Type /Page /Parent 2 0 R /Resources << >> >>")
      .Obj(4, "(old four)")
      .Obj(5, "(five)")
      .Section("/Size 6 /Root 1 0 R");
  maker.Obj(4, "(new four)").Free(5, 0, 1).Section("/Size 6 /Root 1 0 R");
  const std::string path = Put("two.pdf", maker.Str());
  auto doc = Open(path);
  ASSERT_NE(doc, nullptr) << m_error.Message();
  ASSERT_TRUE(doc->Save(path.c_str(), false, false));
  ASSERT_TRUE(doc->Flush()) << doc->LastError().Message();
  const std::string text = ReadFile(path);
  EXPECT_EQ(CountOf(text, "startxref"), 1u);
  EXPECT_EQ(CountOf(text, "4 0 obj"), 1u);
  EXPECT_NE(text.find("(new four)"), std::string::npos);
  EXPECT_EQ(text.find("(old four)"), std::string::npos);
  EXPECT_EQ(text.find("(five)"), std::string::npos);
  EXPECT_EQ(text.find("/Prev"), std::string::npos);
  EXPECT_TRUE(QpdfAccepts(path));
}

TEST_F(Saving, IncrementalUpdateAppendsOneSection) {
  const std::string original = MakeFlatPdf(2);
  const std::string path = Put("a.pdf", original);
  auto doc = Open(path);
  ASSERT_NE(doc, nullptr);
  CPDFPage* page = doc->GetPage(1);
  ASSERT_NE(page, nullptr);
  page->Set_Rotate(std::make_unique<CPDFInt>(90));
  ASSERT_TRUE(doc->UpdateObj(CPDFObjRef(4, 0)));
  ASSERT_TRUE(doc->Save(path.c_str(), true, false));
  ASSERT_TRUE(doc->Flush()) << doc->LastError().Message();
  const std::string text = ReadFile(path);
  ASSERT_GT(text.size(), original.size());
  EXPECT_EQ(text.substr(0, original.size()), original);
  const std::string update = text.substr(original.size());
  EXPECT_EQ(CountOf(update, "startxref"), 1u);
  EXPECT_NE(update.find("/Prev " + std::to_string(original.find("xref\n"))), std::string::npos);
  EXPECT_NE(update.find("4 0 obj"), std::string::npos);
  EXPECT_EQ(update.find("3 0 obj"), std::string::npos);
  EXPECT_TRUE(QpdfAccepts(path));
  EXPECT_EQ(test::CommandOutput("qpdf --show-object=4 '" + path + "'").find("/Rotate 90") !=
                std::string::npos,
            true);
  // And again on top of it.
  ASSERT_NE(doc->GetPage(0), nullptr);
  ASSERT_TRUE(doc->UpdateObj(CPDFObjRef(3, 0)));
  ASSERT_TRUE(doc->Save(path.c_str(), true, false));
  ASSERT_TRUE(doc->Flush()) << doc->LastError().Message();
  EXPECT_EQ(CountOf(ReadFile(path), "%%EOF"), 3u);
  EXPECT_TRUE(QpdfAccepts(path));
}

TEST_F(Saving, IncrementalUpdateOfAFileWithoutFinalEndOfLine) {
  std::string original = MakeFlatPdf(1);
  original.pop_back();  // "%%EOF" is the last thing in the file
  const std::string path = Put("a.pdf", original);
  auto doc = Open(path);
  ASSERT_NE(doc, nullptr);
  ASSERT_TRUE(doc->Save(path.c_str(), true, false));
  ASSERT_TRUE(doc->Flush()) << doc->LastError().Message();
  const std::string text = ReadFile(path);
  EXPECT_EQ(text.substr(original.size(), 2), "\r\n");
  EXPECT_TRUE(QpdfAccepts(path));
}

TEST_F(Saving, LinearizeNeverAppends) {
  const std::string original = MakeFlatPdf(1);
  const std::string path = Put("a.pdf", original);
  auto doc = Open(path);
  ASSERT_NE(doc, nullptr);
  ASSERT_TRUE(doc->Save(path.c_str(), true, true));
  ASSERT_TRUE(doc->Flush()) << doc->LastError().Message();
  const std::string text = ReadFile(path);
  EXPECT_EQ(CountOf(text, "%%EOF"), 1u);
  EXPECT_NE(text.substr(0, original.size()), original);
  EXPECT_TRUE(QpdfAccepts(path));
}

TEST_F(Saving, NewDocumentSaves) {
  CPDFDoc doc(&m_lib);
  ASSERT_TRUE(doc.Create(&m_lib));
  const std::string out = m_dir.File("new.pdf");
  ASSERT_TRUE(doc.Save(out.c_str(), false, false));
  ASSERT_TRUE(doc.Flush()) << doc.LastError().Message();
  const std::string text = ReadFile(out);
  EXPECT_EQ(text.rfind("%PDF-1.3\r\n", 0), 0u);
  EXPECT_TRUE(QpdfAccepts(out));
  EXPECT_EQ(doc.GetPageCount(), 0);
  struct stat info {};
  stat(out.c_str(), &info);
  EXPECT_NE(info.st_mode & 0044, 0u) << "a new file is not left private to its owner";
}

TEST_F(Saving, SaveCanRunAgainAfterFlush) {
  const std::string path = Put("a.pdf", MakeFlatPdf(1));
  auto doc = Open(path);
  ASSERT_NE(doc, nullptr);
  for (int round = 0; round < 3; ++round) {
    ASSERT_TRUE(doc->Save(path.c_str(), false, false)) << round;
    ASSERT_TRUE(doc->Flush()) << round << doc->LastError().Message();
  }
  EXPECT_TRUE(QpdfAccepts(path));
  EXPECT_EQ(doc->GetPageCount(), 1);
  // A second Save before Flush is refused and the first one goes on.
  ASSERT_TRUE(doc->Save(path.c_str(), false, false));
  EXPECT_FALSE(doc->Save(path.c_str(), false, false));
  EXPECT_EQ(doc->LastError().Message(), "CPDFDoc::Flush() has not been called.");
  EXPECT_TRUE(doc->IsSaving());
  ASSERT_TRUE(doc->Flush()) << doc->LastError().Message();
  EXPECT_TRUE(QpdfAccepts(path));
}

TEST_F(Saving, FdfRewriteKeepsEveryObject) {
  PdfBuilder maker("%FDF-1.2\n%\xE2\xE3\xCF\xD3\n");
  maker.Obj(1, "<< /FDF << /F (form.pdf) /Fields [2 0 R] >> >>")
      .Obj(2, "<< /T (name) /V (value) >>")
      .Section("/Root 1 0 R");
  const std::string path = Put("a.fdf", maker.Str());
  auto doc = Open(path);
  ASSERT_NE(doc, nullptr) << m_error.Message();
  ASSERT_TRUE(doc->Save(path.c_str(), true, false));  // FDF: never incremental
  ASSERT_TRUE(doc->Flush()) << doc->LastError().Message();
  const std::string text = ReadFile(path);
  EXPECT_EQ(text.rfind("%FDF-1.2\r\n", 0), 0u);
  EXPECT_EQ(CountOf(text, "%%EOF"), 1u);
  EXPECT_NE(text.find("1 0 obj"), std::string::npos);
  EXPECT_NE(text.find("(value)"), std::string::npos);
  EXPECT_EQ(text.find("libquarn"), std::string::npos);  // no information dictionary for FDF
  auto again = Open(path);
  ASSERT_NE(again, nullptr) << m_error.Message();
  EXPECT_NE(again->GetObj(CPDFObjRef(2, 0)), nullptr);
}

TEST_F(Saving, SaveToStandardOutput) {
  const std::string path = Put("a.pdf", MakeFlatPdf(2));
  const std::string captured = m_dir.File("stdout.pdf");
  std::fflush(stdout);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    // The child's standard output goes to a file; the document then reads its input again.
    const int fd = open(captured.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0 || dup2(fd, STDOUT_FILENO) < 0) _exit(2);
    CPDFLib lib;
    CPDFErrorRecord error;
    auto doc = lib.OpenDoc(path, nullptr, error);
    const bool ok = doc && doc->Save(nullptr, false, false) && doc->Flush() &&
                    doc->FileName() == path && doc->GetPageCount() == 2 && doc->GetPage(1);
    _exit(ok ? 0 : 1);
  }
  int status = 0;
  waitpid(child, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_TRUE(QpdfAccepts(captured));
  EXPECT_EQ(ReadFile(path), MakeFlatPdf(2));
}

// ---- releasing during a save
// ---------------------------------------------------------------------

TEST_F(Saving, ReleasedObjectIsWrittenOnceWhereItWasReleased) {
  const std::string path = Put("a.pdf", MakeFlatPdf(3, {"(released string)"}));
  auto doc = Open(path);
  ASSERT_NE(doc, nullptr);
  ASSERT_TRUE(doc->Save(path.c_str(), false, false));
  ASSERT_NE(doc->GetObj(CPDFObjRef(6, 0)), nullptr);
  ASSERT_TRUE(doc->ReleaseObj(CPDFObjRef(6, 0), false));
  // Written and dropped: not found again until the save is flushed.
  EXPECT_EQ(doc->GetObj(CPDFObjRef(6, 0)), nullptr);
  ASSERT_TRUE(doc->Flush()) << doc->LastError().Message();
  const std::string text = ReadFile(path);
  EXPECT_EQ(CountOf(text, "6 0 obj"), 1u);
  // Released objects come right after the header.
  EXPECT_EQ(text.find("6 0 obj"), std::string("%PDF-1.4\r\n%\xE2\xE3\xCF\xD3\r\n").size());
  EXPECT_TRUE(QpdfAccepts(path));
  EXPECT_EQ(AsString(doc->GetObj(CPDFObjRef(6, 0)))->Str(), "released string");
}

// ---- failures leave the input alone ------------------------------------------------------------

TEST_F(Saving, SaveIntoAMissingDirectoryFails) {
  const std::string path = Put("a.pdf", MakeFlatPdf(1));
  auto doc = Open(path);
  ASSERT_NE(doc, nullptr);
  const std::string out = m_dir.File("no/such/dir/b.pdf");
  EXPECT_FALSE(doc->Save(out.c_str(), false, false));
  EXPECT_EQ(doc->LastError().Code(), kRuntimeError);
  EXPECT_FALSE(doc->IsSaving());
  EXPECT_FALSE(doc->Flush());
  EXPECT_EQ(ReadFile(path), MakeFlatPdf(1));
}

// A stream whose data is said to lie beyond the end of the input: writing it fails half way.
void AddUnwritableStream(CPDFDoc& doc) {
  auto stream = std::make_unique<CPDFStream>(&doc);
  stream->SetSource(doc.Source(), 1 << 20, 100);
  CPDFObjRef ref;
  ASSERT_TRUE(doc.RegistObj(std::move(stream), &ref));
}

TEST_F(Saving, UnreadableObjectsAreWrittenAsNullWithAWarning) {
  // Object 4 is listed but unreadable: it is written as null, and said so.
  PdfBuilder maker;
  maker.Obj(1, "<< /Type /Catalog /Pages 2 0 R >>")
      .Obj(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 /MediaBox [0 0 1 1] >>")
      .Obj(3, "<< /Type /Page /Parent 2 0 R >>")
      .Entry(4, 1, 5, 0)
      .Section("/Size 5 /Root 1 0 R");
  const std::string path = Put("a.pdf", maker.Str());
  auto doc = Open(path);
  ASSERT_NE(doc, nullptr);
  ASSERT_TRUE(doc->Save(path.c_str(), false, false));
  ASSERT_TRUE(doc->Flush()) << doc->LastError().Message();
  EXPECT_NE(ReadFile(path).find("4 0 obj\r\nnull\r\nendobj"), std::string::npos);
  ASSERT_FALSE(doc->Warnings().empty());
  EXPECT_EQ(doc->Warnings().back(), "damaged object replaced by null: 4 0");
}

TEST_F(Saving, FailedFlushLeavesTheInputAndNoTemporary) {
  PdfBuilder maker;
  maker.Obj(1, "<< /Type /Catalog /Pages 2 0 R >>")
      .Obj(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 /MediaBox [0 0 1 1] >>")
      .Obj(3, "<< /Type /Page /Parent 2 0 R >>")
      .Section("/Size 4 /Root 1 0 R");
  const std::string original = maker.Str();
  const std::string path = Put("a.pdf", original);
  auto doc = Open(path);
  ASSERT_NE(doc, nullptr);
  ASSERT_TRUE(doc->Save(path.c_str(), false, false));
  AddUnwritableStream(*doc);
  EXPECT_FALSE(doc->Flush());
  EXPECT_EQ(doc->LastError().Method(), "Serialize");
  EXPECT_EQ(ReadFile(path), original);
  EXPECT_TRUE(Temporaries(m_dir.Path()).empty());
  EXPECT_FALSE(doc->IsSaving());
  // The document still reads its input.
  EXPECT_EQ(doc->GetPageCount(), 1);
  EXPECT_NE(doc->GetPage(0), nullptr);
}

TEST_F(Saving, FailedIncrementalFlushCutsTheAppendedBytesOff) {
  PdfBuilder maker;
  maker.Obj(1, "<< /Type /Catalog /Pages 2 0 R >>")
      .Obj(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 /MediaBox [0 0 1 1] >>")
      .Obj(3, "<< /Type /Page /Parent 2 0 R >>")
      .Section("/Size 4 /Root 1 0 R");
  const std::string original = maker.Str();
  const std::string path = Put("a.pdf", original);
  auto doc = Open(path);
  ASSERT_NE(doc, nullptr);
  ASSERT_TRUE(doc->Save(path.c_str(), true, false));
  // An object that cannot be written makes the flush fail after objects were already appended.
  ASSERT_NE(doc->GetObj(CPDFObjRef(3, 0)), nullptr);
  ASSERT_TRUE(doc->UpdateObj(CPDFObjRef(3, 0)));
  AddUnwritableStream(*doc);
  EXPECT_FALSE(doc->Flush());
  EXPECT_EQ(ReadFile(path), original);
}

TEST_F(Saving, CloseDuringASaveRemovesTheTemporary) {
  const std::string path = Put("a.pdf", MakeFlatPdf(1));
  {
    auto doc = Open(path);
    ASSERT_NE(doc, nullptr);
    ASSERT_TRUE(doc->Save(path.c_str(), false, false));
    ASSERT_LE(Temporaries(m_dir.Path()).size(), 1u);
  }
  EXPECT_TRUE(Temporaries(m_dir.Path()).empty());
  EXPECT_EQ(ReadFile(path), MakeFlatPdf(1));
}

// ---- data left in the input ----------------------------------------------------------------

TEST_F(Saving, StreamsKeepReadingTheOldFileAfterTheReplace) {
  const std::string data(100000, 'x');
  const std::string path =
      Put("a.pdf", MakeFlatPdf(1, {test::StreamBody(data, std::to_string(data.size()))}));
  auto doc = Open(path);
  ASSERT_NE(doc, nullptr);
  auto* stream = dynamic_cast<CPDFStream*>(doc->GetObj(CPDFObjRef(4, 0)));
  ASSERT_NE(stream, nullptr);
  ASSERT_TRUE(stream->IsDataInFile());
  ASSERT_TRUE(doc->Save(path.c_str(), false, false));
  ASSERT_TRUE(doc->Flush()) << doc->LastError().Message();
  // The stream still points into the replaced file, which its descriptor keeps alive.
  ASSERT_TRUE(stream->IsDataInFile());
  EXPECT_EQ(std::string(stream->Data(), stream->DataLength()), data + "\n");
  EXPECT_TRUE(QpdfAccepts(path));
  EXPECT_EQ(test::CommandOutput("qpdf --show-object=4 --raw-stream-data '" + path + "'"),
            data + "\n");
}

}  // namespace
}  // namespace quarn
