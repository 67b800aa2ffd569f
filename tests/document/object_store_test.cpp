// Opening documents and the object store: sections, lookups, numbers, the free list, and the
// hostile inputs that must fail cleanly.
#include <gtest/gtest.h>

#include "pdf/document/body.h"
#include "pdf/document/catalog.h"
#include "pdf/document/pages.h"
#include "pdf/document/trailer.h"
#include "pdf/document/xref.h"
#include "pdf/stream/stream.h"
#include "support/documents.h"
#include "support/pdf_builder.h"

namespace quarn {
namespace {

using test::MakeFlatPdf;
using test::MakePdf;
using test::PdfBuilder;

class ObjectStore : public test::DocTest {};

// ---- opening ----------------------------------------------------------------------------------

TEST_F(ObjectStore, OpensAndCountsPages) {
  auto doc = OpenBytes(MakeFlatPdf(3));
  ASSERT_NE(doc, nullptr) << m_error.Message();
  EXPECT_EQ(doc->GetPageCount(), 3);
  EXPECT_FALSE(doc->IsFDF());
  EXPECT_FALSE(doc->IsLinearized());
}

TEST_F(ObjectStore, MissingFileIsARuntimeError) {
  auto doc = Open(m_dir.File("absent.pdf"));
  EXPECT_EQ(doc, nullptr);
  EXPECT_EQ(m_error.Module(), "CPDFDoc");
  EXPECT_EQ(m_error.Method(), "Open");
  EXPECT_EQ(m_error.Code(), kRuntimeError);
  EXPECT_EQ(m_error.Message(), "No such file or directory");
}

// The files of the next tests hold no objects at all, so that nothing could be rebuilt from
// them: the reading of the sections is what they exercise.
std::string SectionOnly(const std::string& trailerExtra = "") {
  const std::string head = "%PDF-1.4\n";
  return head + "xref\n0 1\n0000000000 65535 f \ntrailer\n<< /Size 1" + trailerExtra +
         " >>\nstartxref\n" + std::to_string(head.size()) + "\n%%EOF\n";
}

TEST_F(ObjectStore, StartXRefOnlyEarlierInTheFileIsNotFound) {
  std::string pdf = SectionOnly();
  pdf += std::string(400, ' ');  // pushes the keyword out of the last 320 bytes
  OpenBytes(pdf);
  ExpectError(m_error, "CPDFDoc", "Serialize", kInvalidFormat, "Cannot find startxref");
}

TEST_F(ObjectStore, StartXRefAfterABlankIsPassedOver) {
  std::string pdf = SectionOnly();
  const size_t keyword = pdf.rfind("\nstartxref");
  pdf[keyword] = ' ';
  OpenBytes(pdf);
  EXPECT_EQ(m_error.Message(), "Cannot find startxref");
}

// Readers pass over a token that cannot stand where it is, and so does the store, saying so.
TEST_F(ObjectStore, DamagedTokenInADictionaryIsPassedOver) {
  auto doc = OpenBytes(MakePdf({"<< /Type /Catalog /Pages 2 0 R >>",
                                "<< /Type /Pages /Kids [] /Count 0 >>", "<< /A 1 ) 7 /B 2 >>"}));
  ASSERT_NE(doc, nullptr);
  auto* dict = AsDict(doc->GetObj(CPDFObjRef(3, 0)));
  ASSERT_NE(dict, nullptr) << doc->LastError().Message();
  EXPECT_EQ(dict->Count(), 2u);
  EXPECT_EQ(dict->GetNumber(doc.get(), "B")->IntValue(), 2);
  EXPECT_TRUE(doc->IsRepaired());
  EXPECT_EQ(doc->Warnings().back(), "damaged object read in part: 3 0");
}

TEST_F(ObjectStore, ObjectThatCannotBeReadAtAllReachesTheRecord) {
  auto doc = OpenBytes(
      MakePdf({"<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [] /Count 0 >>", ")"}));
  ASSERT_NE(doc, nullptr);
  EXPECT_EQ(doc->GetObj(CPDFObjRef(3, 0)), nullptr);
  ExpectError(doc->LastError(), "CPDFDoc", "LoadObj", kInvalidFormat, "invalidtoken: )");
  EXPECT_FALSE(doc->IsRepaired());
}

// ---- sections and the Prev chain ----------------------------------------------------------------

// Object 3 is "(old)" in the first section and "(new)" in the second.
std::string TwoSections() {
  PdfBuilder maker;
  maker.Obj(1, "<< /Type /Catalog /Pages 2 0 R >>")
      .Obj(2, "<< /Type /Pages /Kids [] /Count 0 >>")
      .Obj(3, "(old)")
      .Obj(4, "(kept)")
      .Section("/Size 5 /Root 1 0 R");
  maker.Obj(3, "(new)").Section("/Size 5 /Root 1 0 R");
  return maker.Str();
}

TEST_F(ObjectStore, NewestSectionWins) {
  auto doc = OpenBytes(TwoSections());
  ASSERT_NE(doc, nullptr) << m_error.Message();
  auto* three = AsString(doc->GetObj(CPDFObjRef(3, 0)));
  ASSERT_NE(three, nullptr);
  EXPECT_EQ(three->Str(), "new");
  auto* four = AsString(doc->GetObj(CPDFObjRef(4, 0)));
  ASSERT_NE(four, nullptr);
  EXPECT_EQ(four->Str(), "kept");
  EXPECT_EQ(doc->GetObj(CPDFObjRef(9, 0)), nullptr);
  EXPECT_FALSE(doc->LastError().IsError());
}

TEST_F(ObjectStore, FreeNewestEntryLooksInOlderSections) {
  PdfBuilder maker;
  maker.Obj(1, "<< /Type /Catalog /Pages 2 0 R >>")
      .Obj(2, "<< /Type /Pages /Kids [] /Count 0 >>")
      .Obj(3, "(old)")
      .Section("/Size 4 /Root 1 0 R");
  maker.Free(3, 0, 0).Section("/Size 4 /Root 1 0 R");
  auto doc = OpenBytes(maker.Str());
  ASSERT_NE(doc, nullptr) << m_error.Message();
  auto* three = AsString(doc->GetObj(CPDFObjRef(3, 0)));
  ASSERT_NE(three, nullptr);
  EXPECT_EQ(three->Str(), "old");
}

TEST_F(ObjectStore, PrevChainThatLoopsFails) {
  // The only section names itself as its predecessor.
  OpenBytes(SectionOnly(" /Prev 9"));
  EXPECT_EQ(m_error.Module(), "CPDFDoc");
  EXPECT_EQ(m_error.Code(), kInvalidFormat);
  EXPECT_EQ(m_error.Message(), "Prev chain loops at 9");
}

TEST_F(ObjectStore, XRefOffsetPastTheEndFails) {
  std::string pdf = SectionOnly();
  const size_t at = pdf.rfind("startxref\n") + 10;
  pdf.replace(at, pdf.find('\n', at) - at, "99999999");
  OpenBytes(pdf);
  ExpectError(m_error, "CPDFDoc", "Serialize", kInvalidFormat, "ioerror");
}

TEST_F(ObjectStore, ObjectOffsetPastTheEndFailsOnLoad) {
  PdfBuilder maker;
  maker.Obj(1, "<< /Type /Catalog /Pages 2 0 R >>")
      .Obj(2, "<< /Type /Pages /Kids [] /Count 0 >>")
      .Entry(3, 1, 9999999999, 0)
      .Section("/Size 4 /Root 1 0 R");
  auto doc = OpenBytes(maker.Str());
  ASSERT_NE(doc, nullptr);
  EXPECT_EQ(doc->GetObj(CPDFObjRef(3, 0)), nullptr);
  ExpectError(doc->LastError(), "CPDFDoc", "LoadObj", kInvalidFormat, "ioerror");
}

// ---- GetObj and LoadObj -------------------------------------------------------------------------

TEST_F(ObjectStore, UndefinedIdentityIsAUserError) {
  auto doc = OpenBytes(MakeFlatPdf(1));
  ASSERT_NE(doc, nullptr);
  EXPECT_EQ(doc->GetObj(CPDFObjRef(3, -1)), nullptr);
  ExpectError(doc->LastError(), "CPDFDoc", "GetObj", kUserError,
              "Object reference is not defined.");
  EXPECT_EQ(doc->LoadObj(CPDFObjRef(-1, 0), 0), nullptr);
  EXPECT_EQ(doc->LastError().Message(), "Object reference is not defined.");
}

TEST_F(ObjectStore, LoadObjChecksTheObjectHeader) {
  PdfBuilder maker;
  maker.Obj(1, "<< /Type /Catalog /Pages 2 0 R >>")
      .Obj(2, "<< /Type /Pages /Kids [] /Count 0 >>")
      .Obj(12, "(twelve)")
      .Section("/Size 13 /Root 1 0 R");
  auto doc = OpenBytes(maker.Str());
  ASSERT_NE(doc, nullptr);
  const int64_t offset = static_cast<int64_t>(maker.Str().find("12 0 obj"));
  EXPECT_EQ(doc->LoadObj(CPDFObjRef(12, 1), offset), nullptr);
  ExpectError(doc->LastError(), "CPDFDoc", "LoadObj", kInvalidFormat, "invalidobjref: 12 0");
  auto loaded = doc->LoadObj(CPDFObjRef(12, 0), offset);
  ASSERT_NE(loaded, nullptr);
  EXPECT_EQ(AsString(loaded.get())->Str(), "twelve");
  // One byte further the header reads "2 0 obj".
  EXPECT_EQ(doc->LoadObj(CPDFObjRef(12, 0), offset + 1), nullptr);
  EXPECT_EQ(doc->LastError().Message(), "invalidobjref: 2 0");
  EXPECT_EQ(doc->LoadObj(CPDFObjRef(12, 0), offset + 3), nullptr);
  EXPECT_EQ(doc->LastError().Message(), "invalidtoken: (");
}

TEST_F(ObjectStore, ObjectWithoutItsEndobjIsReadAsADamagedOne) {
  PdfBuilder maker;
  maker.Obj(1, "<< /Type /Catalog /Pages 2 0 R >>").Obj(2, "<< /Type /Pages /Kids [] /Count 0 >>");
  const int64_t at = static_cast<int64_t>(maker.Str().size());
  maker.Raw("3 0 obj\n(x) (y)\nendobj\n").Entry(3, 1, at, 0).Section("/Size 4 /Root 1 0 R");
  auto doc = OpenBytes(maker.Str());
  ASSERT_NE(doc, nullptr);
  auto* value = AsString(doc->GetObj(CPDFObjRef(3, 0)));
  ASSERT_NE(value, nullptr);
  EXPECT_EQ(value->Str(), "x");
  EXPECT_EQ(doc->Warnings().back(), "damaged object read in part: 3 0");
}

TEST_F(ObjectStore, StreamWhoseLengthIsItselfLoads) {
  // "Length" names the stream's own object: reading it must neither recurse nor hang.
  auto doc = OpenBytes(
      MakePdf({"<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [] /Count 0 >>",
               test::StreamBody("abc", "3 0 R")}));
  ASSERT_NE(doc, nullptr);
  auto* stream = dynamic_cast<CPDFStream*>(doc->GetObj(CPDFObjRef(3, 0)));
  ASSERT_NE(stream, nullptr) << doc->LastError().Message();
  EXPECT_EQ(std::string(stream->Data(), stream->DataLength()), "abc\n");
}

TEST_F(ObjectStore, HugeLengthIsNotUsed) {
  auto doc = OpenBytes(
      MakePdf({"<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [] /Count 0 >>",
               test::StreamBody("payload", "1000000000000")}));
  ASSERT_NE(doc, nullptr);
  auto* stream = dynamic_cast<CPDFStream*>(doc->GetObj(CPDFObjRef(3, 0)));
  ASSERT_NE(stream, nullptr);
  EXPECT_EQ(std::string(stream->Data(), stream->DataLength()), "payload\n");
  // "Length" now tells the truth.
  EXPECT_EQ(stream->GetNumber(doc.get(), "Length")->IntValue(), 8);
}

TEST_F(ObjectStore, FindObjAndFindEntry) {
  auto doc = OpenBytes(TwoSections());
  ASSERT_NE(doc, nullptr);
  CPDFBody* body = nullptr;
  EXPECT_EQ(doc->FindObj(CPDFObjRef(3, 0), false, &body), nullptr);  // never reads the file
  CPDFObject* three = doc->GetObj(CPDFObjRef(3, 0));
  EXPECT_EQ(doc->FindObj(CPDFObjRef(3, 0), false, &body), three);
  EXPECT_NE(body, doc->GetBody());
  EXPECT_EQ(doc->FindObj(CPDFObjRef(3, 1), false), nullptr);
  CPDFXRef* table = nullptr;
  EXPECT_EQ(doc->FindEntry(-1, false), nullptr);
  ASSERT_NE(doc->FindEntry(4, true, &table), nullptr);
  EXPECT_NE(table, doc->GetXRef());
  EXPECT_EQ(doc->FindEntry(77, false), nullptr);
}

// ---- new numbers and the free list ------------------------------------------------------------

TEST_F(ObjectStore, NewObjectsTakeConsecutiveNumbersAndRaiseSize) {
  auto doc = OpenBytes(MakeFlatPdf(1));
  ASSERT_NE(doc, nullptr);
  CPDFObjRef a, b;
  ASSERT_TRUE(doc->RegistObj(std::make_unique<CPDFString>("a"), &a));
  ASSERT_TRUE(doc->RegistObj(std::make_unique<CPDFString>("b"), &b));
  EXPECT_EQ(a.Num(), 4);
  EXPECT_EQ(b.Num(), 5);
  EXPECT_EQ(a.Gen(), 0);
  EXPECT_EQ(doc->GetTrailer()->Get_Size()->IntValue(), 6);
  EXPECT_EQ(AsString(doc->GetObj(b))->Str(), "b");
}

TEST_F(ObjectStore, NewNumbersNeverReuseNumbersOfOlderSections) {
  // The newest table lists only object 3; object 40 lives in the older one.
  PdfBuilder maker;
  maker.Obj(1, "<< /Type /Catalog /Pages 2 0 R >>")
      .Obj(2, "<< /Type /Pages /Kids [] /Count 0 >>")
      .Obj(3, "(three)")
      .Obj(40, "(forty)")
      .Section("/Size 41 /Root 1 0 R");
  maker.Obj(3, "(three again)").Section("/Size 41 /Root 1 0 R");
  auto doc = OpenBytes(maker.Str());
  ASSERT_NE(doc, nullptr);
  CPDFObjRef ref;
  ASSERT_TRUE(doc->RegistObj(std::make_unique<CPDFNull>(), &ref));
  EXPECT_EQ(ref.Num(), 41);
}

// A document whose free list is 3 -> 7 (generations 1 and 2), 5 in use.
std::string FreeListDocument() {
  PdfBuilder maker;
  maker.Obj(1, "<< /Type /Catalog /Pages 2 0 R >>")
      .Obj(2, "<< /Type /Pages /Kids [] /Count 0 >>")
      .Free(3, 7, 1)
      .Obj(4, "(four)")
      .Obj(5, "(five)")
      .Obj(6, "(six)")
      .Free(7, 0, 2)
      .Section("/Size 8 /Root 1 0 R", 3);
  return maker.Str();
}

TEST_F(ObjectStore, NewObjectTakesTheHeadOfTheFreeList) {
  auto doc = OpenBytes(FreeListDocument());
  ASSERT_NE(doc, nullptr) << m_error.Message();
  CPDFObjRef ref;
  ASSERT_TRUE(doc->RegistObj(std::make_unique<CPDFString>("reborn"), &ref));
  EXPECT_EQ(ref.Num(), 3);
  EXPECT_EQ(ref.Gen(), 1);
  EXPECT_EQ(doc->GetXRef()->FreeHead(), 7);
  EXPECT_TRUE(doc->GetXRef()->GetEntry(3)->InUse());
  EXPECT_EQ(AsString(doc->GetObj(ref))->Str(), "reborn");
}

TEST_F(ObjectStore, DeletingLinksTheNumberIntoTheFreeList) {
  auto doc = OpenBytes(FreeListDocument());
  ASSERT_NE(doc, nullptr);
  doc->GetObj(CPDFObjRef(5, 0));
  doc->DeleteObj(CPDFObjRef(5, 0));
  CPDFXRef* xref = doc->GetXRef();
  EXPECT_EQ(xref->FreeHead(), 3);
  EXPECT_EQ(xref->GetEntry(3)->Offset(), 5);
  EXPECT_EQ(xref->GetEntry(5)->Offset(), 7);
  EXPECT_EQ(xref->GetEntry(5)->Gen(), 1);
  EXPECT_EQ(doc->FindObj(CPDFObjRef(5, 0), false), nullptr);
}

TEST_F(ObjectStore, AStaleReferenceToAReusedNumberReadsNullAndKeepsTheNewObject) {
  // Object 5 is deleted and its number taken by a new object (generation 1). A reference left
  // at generation 0 must not bring the deleted object back from the file over the new one.
  auto doc = OpenBytes(FreeListDocument());
  ASSERT_NE(doc, nullptr) << m_error.Message();
  doc->GetObj(CPDFObjRef(5, 0));
  doc->DeleteObj(CPDFObjRef(5, 0));
  doc->GetXRef()->SetFreeHead(5);
  CPDFObjRef ref;
  ASSERT_TRUE(doc->RegistObj(std::make_unique<CPDFString>("reborn"), &ref));
  ASSERT_EQ(ref.Num(), 5);
  ASSERT_EQ(ref.Gen(), 1);
  EXPECT_EQ(doc->GetObj(CPDFObjRef(5, 0)), nullptr);
  CPDFString* reborn = AsString(doc->GetObj(ref));
  ASSERT_NE(reborn, nullptr);
  EXPECT_EQ(reborn->Str(), "reborn");
}

TEST_F(ObjectStore, BrokenFreeListHeadDoesNotHandOutANumberInUse) {
  PdfBuilder maker;
  maker.Obj(1, "<< /Type /Catalog /Pages 2 0 R >>")
      .Obj(2, "<< /Type /Pages /Kids [] /Count 0 >>")
      .Section("/Size 3 /Root 1 0 R", 2);  // head names object 2, which is in use
  auto doc = OpenBytes(maker.Str());
  ASSERT_NE(doc, nullptr);
  CPDFObjRef ref;
  ASSERT_TRUE(doc->RegistObj(std::make_unique<CPDFNull>(), &ref));
  EXPECT_EQ(ref.Num(), 3);
}

TEST_F(ObjectStore, UpdateObjMovesTheObjectIntoTheUpdateSection) {
  auto doc = OpenBytes(MakeFlatPdf(2));
  ASSERT_NE(doc, nullptr);
  CPDFObject* page = doc->GetObj(CPDFObjRef(3, 0));
  ASSERT_NE(page, nullptr);
  EXPECT_EQ(doc->GetBody()->GetObj(CPDFObjRef(3, 0)), nullptr);
  ASSERT_TRUE(doc->UpdateObj(CPDFObjRef(3, 0)));
  EXPECT_EQ(doc->GetBody()->GetObj(CPDFObjRef(3, 0)), page);
  ASSERT_NE(doc->GetXRef()->GetEntry(3), nullptr);
  EXPECT_TRUE(doc->GetXRef()->GetEntry(3)->InUse());
  // An object never loaded cannot be marked.
  EXPECT_FALSE(doc->UpdateObj(CPDFObjRef(4, 0)));
  ExpectError(doc->LastError(), "CPDFDoc", "UpdateObj", kUserError, "CPDFDoc::FindObj()");
}

TEST_F(ObjectStore, RegistObjUnderAnIdentityReplacesTheObject) {
  auto doc = OpenBytes(TwoSections());
  ASSERT_NE(doc, nullptr);
  ASSERT_NE(doc->GetObj(CPDFObjRef(4, 0)), nullptr);
  CPDFObjRef ref(4, 0);
  ASSERT_TRUE(doc->RegistObj(std::make_unique<CPDFString>("replaced"), &ref));
  EXPECT_EQ(AsString(doc->GetObj(ref))->Str(), "replaced");
  CPDFObjRef unknown(30, 0);
  EXPECT_FALSE(doc->RegistObj(std::make_unique<CPDFNull>(), &unknown));
  EXPECT_EQ(doc->LastError().Message(), "CPDFDoc::FindObj()");
}

// ---- releasing --------------------------------------------------------------------------------

TEST_F(ObjectStore, ReleaseDropsUnchangedObjectsButKeepsChangedOnes) {
  auto doc = OpenBytes(MakeFlatPdf(2, {"[6 0 R]", "(leaf)"}));
  ASSERT_NE(doc, nullptr);
  ASSERT_NE(doc->GetObj(CPDFObjRef(5, 0)), nullptr);
  ASSERT_NE(doc->GetObj(CPDFObjRef(6, 0)), nullptr);
  ASSERT_TRUE(doc->ReleaseObj(CPDFObjRef(5, 0), false));
  EXPECT_EQ(doc->FindObj(CPDFObjRef(5, 0), false), nullptr);
  EXPECT_EQ(doc->FindObj(CPDFObjRef(6, 0), false), nullptr);  // released through the array
  // Loaded again on demand.
  EXPECT_EQ(AsString(doc->GetObj(CPDFObjRef(6, 0)))->Str(), "leaf");
  // A changed object exists only in memory and is not dropped.
  ASSERT_TRUE(doc->UpdateObj(CPDFObjRef(6, 0)));
  ASSERT_TRUE(doc->ReleaseObj(CPDFObjRef(6, 0), true));
  EXPECT_NE(doc->FindObj(CPDFObjRef(6, 0), false), nullptr);
}

TEST_F(ObjectStore, UnloadDropsOnlyWhatTheInputStillHolds) {
  auto doc = OpenBytes(MakeFlatPdf(1, {"(as read)", "(changed)"}));
  ASSERT_NE(doc, nullptr);
  const CPDFObjRef read(4, 0), changed(5, 0);
  ASSERT_NE(doc->GetObj(read), nullptr);
  ASSERT_NE(doc->GetObj(changed), nullptr);
  ASSERT_TRUE(doc->UpdateObj(changed));
  CPDFObjRef made;
  ASSERT_TRUE(doc->RegistObj(std::make_unique<CPDFNull>(), &made));
  EXPECT_TRUE(doc->UnloadObj(read));
  EXPECT_EQ(doc->FindObj(read, false), nullptr);
  EXPECT_EQ(AsString(doc->GetObj(read))->Str(), "as read");  // read again
  for (const CPDFObjRef& kept : {changed, made}) {
    EXPECT_FALSE(doc->UnloadObj(kept));
    EXPECT_NE(doc->FindObj(kept, false), nullptr);
  }
  EXPECT_FALSE(doc->UnloadObj(CPDFObjRef(99, 0)));
}

TEST_F(ObjectStore, ReleaseHonoursTheReleasableFlag) {
  auto doc = OpenBytes(MakeFlatPdf(1, {"(pinned)"}));
  ASSERT_NE(doc, nullptr);
  CPDFObject* obj = doc->GetObj(CPDFObjRef(4, 0));
  ASSERT_NE(obj, nullptr);
  obj->m_releasable = false;
  ASSERT_TRUE(doc->ReleaseObj(CPDFObjRef(4, 0), false));
  EXPECT_EQ(doc->FindObj(CPDFObjRef(4, 0), false), obj);
  ASSERT_TRUE(doc->ReleaseObj(CPDFObjRef(4, 0), true));
  EXPECT_EQ(doc->FindObj(CPDFObjRef(4, 0), false), nullptr);
}

TEST_F(ObjectStore, LongReferenceChainReleasesWithoutExhaustingTheStack) {
  std::vector<std::string> objects = {"<< /Type /Catalog /Pages 2 0 R >>",
                                      "<< /Type /Pages /Kids [] /Count 0 >>"};
  const int chain = 20000;
  for (int i = 0; i < chain; ++i) {
    objects.push_back("<< /Next " + std::to_string(i + 4) + " 0 R >>");
  }
  objects.push_back("null");
  auto doc = OpenBytes(MakePdf(objects));
  ASSERT_NE(doc, nullptr);
  for (int i = 3; i < chain + 3; ++i) ASSERT_NE(doc->GetObj(CPDFObjRef(i, 0)), nullptr);
  EXPECT_TRUE(doc->ReleaseObj(CPDFObjRef(3, 0), false)) << doc->LastError().Message();
  EXPECT_EQ(doc->FindObj(CPDFObjRef(3, 0), false), nullptr);
}

// ---- FDF --------------------------------------------------------------------------------------

TEST_F(ObjectStore, FdfOpensWithoutPages) {
  PdfBuilder maker("%FDF-1.2\n%\xE2\xE3\xCF\xD3\n");
  maker.Obj(1, "<< /FDF << /F (form.pdf) >> >>").Section("/Root 1 0 R");
  auto doc = OpenBytes(maker.Str());
  ASSERT_NE(doc, nullptr) << m_error.Message();
  EXPECT_TRUE(doc->IsFDF());
  EXPECT_EQ(doc->GetPageCount(), -1);
  ExpectError(doc->LastError(), "CPDFDoc", "GetPageCount", kUserError,
              "There is no CPDFPage for FDF file.");
  EXPECT_EQ(doc->GetPage(0), nullptr);
  ExpectError(doc->LastError(), "CPDFDoc", "GetPage", kInternalError,
              "There is no CPDFPage for FDF file");
  EXPECT_FALSE(doc->DeletePage(0, 1));
  EXPECT_EQ(doc->LastError().Message(), "There is no CPDFPage for FDF file.");
}

TEST_F(ObjectStore, MissingRootFailsTheOpen) {
  OpenBytes(MakePdf({"<< /Type /Catalog >>"}, "/Info 1 0 R"));
  ExpectError(m_error, "CPDFDoc", "Open", kInternalError, "");
}

// A trailer that cannot be bound is rebuilt from the objects found, as an unreadable one is.
TEST_F(ObjectStore, TrailerWithoutSizeIsRepaired) {
  PdfBuilder maker;
  maker.Obj(1, "<< /Type /Catalog /Pages 2 0 R >>")
      .Obj(2, "<< /Type /Pages /Kids [] /Count 0 >>")
      .Section("/Root 1 0 R");
  auto doc = OpenBytes(maker.Str());
  ASSERT_NE(doc, nullptr) << m_error.Message();
  EXPECT_TRUE(doc->IsRepaired());
  EXPECT_EQ(doc->GetTrailer()->Get_Size()->IntValue(), 3);
}

TEST_F(ObjectStore, IndirectSizeBecomesDirect) {
  PdfBuilder maker;
  maker.Obj(1, "<< /Type /Catalog /Pages 2 0 R >>")
      .Obj(2, "<< /Type /Pages /Kids [] /Count 0 >>")
      .Obj(3, "4")
      .Section("/Size 3 0 R /Root 1 0 R");
  auto doc = OpenBytes(maker.Str());
  ASSERT_NE(doc, nullptr) << m_error.Message();
  CPDFAtom* size = doc->GetTrailer()->Dict().Lookup("Size");
  ASSERT_NE(size, nullptr);
  EXPECT_TRUE(size->IsObject());
  EXPECT_EQ(doc->GetTrailer()->Get_Size()->IntValue(), 4);
}

}  // namespace
}  // namespace quarn
