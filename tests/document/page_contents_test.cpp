// The page's "Contents": reading it decoded, replacing it, adding a stream before or after it,
// and writing a graphic-object list into a stream.
#include "pdf/document/page_contents.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "pdf/content/graph_objs.h"
#include "pdf/document/doc.h"
#include "pdf/document/pages.h"
#include "pdf/document/res_dict.h"
#include "pdf/library/pdf_lib.h"
#include "pdf/object/out_stream.h"
#include "pdf/stream/stream.h"
#include "support/documents.h"
#include "support/files.h"
#include "support/filters.h"
#include "support/pdf_builder.h"
#include "support/values.h"

namespace quarn {
namespace {

using test::Text;

class PageContentsTest : public ::testing::Test {
 protected:
  // A `damaged` file names no cross-reference section and is opened by the repair.
  CPDFPage* Open(const std::string& pageEntries, const std::vector<std::string>& extra = {},
                 bool damaged = false) {
    path_ = dir_.File("in.pdf");
    std::string bytes =
        test::MakePagesPdf({"/MediaBox [0 0 100 100] /Resources << >> " + pageEntries}, extra);
    if (damaged) bytes.replace(bytes.rfind("startxref\n") + 10, 1, "x");
    test::WriteFile(path_, bytes);
    CPDFErrorRecord error;
    doc_ = lib_.OpenDoc(path_, nullptr, error);
    EXPECT_NE(doc_, nullptr) << error.Module() << " " << error.Message();
    return doc_ ? doc_->GetPage(0) : nullptr;
  }

  test::TempDir dir_;
  std::string path_;
  CPDFLib lib_;
  std::unique_ptr<CPDFDoc> doc_;
};

// ---- ReadContents
// --------------------------------------------------------------------------------

TEST_F(PageContentsTest, ReadWithoutContentsIsEmpty) {
  CPDFPage* page = Open("");
  ASSERT_NE(page, nullptr);
  CPDFStream target(doc_.get());
  target.Insert("Junk", std::make_unique<CPDFInt>(1));
  target.SetData("old", 3);
  ASSERT_TRUE(page->ReadContents(target));
  EXPECT_EQ(target.DataLength(), 0u);
  EXPECT_EQ(target.Lookup("Junk"), nullptr);
}

TEST_F(PageContentsTest, ReadOneStreamDecodesIt) {
  CPDFPage* page =
      Open("/Contents 4 0 R",
           {test::StreamObject(test::Deflate("0 0 m 10 10 l S"), "/Filter /FlateDecode")});
  ASSERT_NE(page, nullptr);
  CPDFStream target(doc_.get());
  ASSERT_TRUE(page->ReadContents(target));
  EXPECT_EQ(test::DataOf(target), "0 0 m 10 10 l S");
  EXPECT_EQ(target.Lookup("Filter"), nullptr);
  // The page's own stream is still compressed.
  auto* original = dynamic_cast<CPDFStream*>(page->Get_Contents());
  ASSERT_NE(original, nullptr);
  EXPECT_NE(original->Lookup("Filter"), nullptr);
}

TEST_F(PageContentsTest, ReadArrayJoinsStreamsEachFollowedByASpace) {
  CPDFPage* page = Open("/Contents [4 0 R 5 0 R]",
                        {test::StreamObject("q 1 0 0 1 0 0 cm"),
                         test::StreamObject(test::Deflate("Q"), "/Filter /FlateDecode")});
  ASSERT_NE(page, nullptr);
  CPDFStream target(doc_.get());
  ASSERT_TRUE(page->ReadContents(target));
  EXPECT_EQ(test::DataOf(target), "q 1 0 0 1 0 0 cm Q ");
}

TEST_F(PageContentsTest, StreamedContentIsWhatReadGives) {
  CPDFPage* page = Open("/Contents [4 0 R 5 0 R]",
                        {test::StreamObject("q 1 0 0 1 0 0 cm"),
                         test::StreamObject(test::Deflate("Q"), "/Filter /FlateDecode")});
  ASSERT_NE(page, nullptr);
  std::string streamed;
  ASSERT_TRUE(StreamContents(*page, [&](const char* data, size_t n) { streamed.append(data, n); }));
  EXPECT_EQ(streamed, "q 1 0 0 1 0 0 cm Q ");
  // Nothing was decoded in place.
  auto* second = AsArray(page->Get_Contents());
  ASSERT_NE(second, nullptr);
  EXPECT_NE(AsDict(second->GetObj(doc_.get(), 1))->Lookup("Filter"), nullptr);
  EXPECT_FALSE(StreamContents(*Open("/Contents 7"), [](const char*, size_t) {}));
}

TEST_F(PageContentsTest, DetachedContentStreamsAsTheDocumentsOwn) {
  const std::string flate = test::StreamObject(test::Deflate("Q"), "/Filter /FlateDecode");
  const std::string plain = test::StreamObject("q 1 0 0 1 0 0 cm");
  struct Case {
    std::string contents;
    std::vector<std::string> objects;
    bool detached;
  };
  const Case cases[] = {
      {"/Contents 4 0 R", {plain}, true},
      {"/Contents [4 0 R 5 0 R]", {plain, flate}, true},
      {"/Contents [4 0 R 5 0 R]", {plain, test::StreamObject(test::Deflate("Q"), "/Filter 6 0 R")},
       true},  // a filter named through a reference is copied in
      {"/Contents [4 0 R 5 0 R]", {plain, test::StreamObject("Q", "/Filter /DCTDecode")}, false},
      {"/Contents 4 0 R",
       {test::StreamObject(test::Deflate("Q"), "/Filter /FlateDecode /DecodeParms << /P 5 0 R >>")},
       false},
      {"/Contents 4 0 R", {test::StreamObject(std::string(300, ' '))}, false},  // over the cap
      {"/Contents [4 0 R 9 0 R]", {plain}, false},  // an element that is no stream
  };
  std::string many = "/Contents [";
  for (int i = 0; i < 65; ++i) many += "4 0 R ";
  std::vector<Case> all(std::begin(cases), std::end(cases));
  all.push_back({many + "]", {plain}, false});  // more streams than are copied
  for (const Case& c : all) {
    std::vector<std::string> objects = c.objects;
    objects.push_back("/FlateDecode");
    CPDFPage* page = Open(c.contents, objects);
    ASSERT_NE(page, nullptr);
    DetachedContents detached;
    ASSERT_EQ(DetachContents(*page, 256, detached), c.detached) << c.contents << " " << objects[1];
    EXPECT_FALSE(doc_->LastError().IsError());
    if (!c.detached) {
      EXPECT_TRUE(detached.parts.empty());
      continue;
    }
    std::string own;
    std::string copy;
    CPDFErrorRecord error;
    ASSERT_TRUE(StreamContents(*page, [&](const char* data, size_t n) { own.append(data, n); }));
    doc_.reset();  // the copies need nothing of the document
    ASSERT_TRUE(StreamDetachedContents(
        detached, [&](const char* data, size_t n) { copy.append(data, n); }, error));
    EXPECT_EQ(copy, own);
  }
}

TEST_F(PageContentsTest, ReadFailsOnAnArrayElementThatIsNotAStream) {
  CPDFPage* page = Open("/Contents [4 0 R 5 0 R]", {test::StreamObject("q"), "42"});
  ASSERT_NE(page, nullptr);
  CPDFStream target(doc_.get());
  EXPECT_FALSE(page->ReadContents(target));
  EXPECT_TRUE(doc_->LastError().IsError());
}

TEST_F(PageContentsTest, ReadFailsOnContentsOfAnotherKind) {
  CPDFPage* page = Open("/Contents 7");
  ASSERT_NE(page, nullptr);
  CPDFStream target(doc_.get());
  EXPECT_FALSE(page->ReadContents(target));
  EXPECT_EQ(doc_->LastError().Message(), "typecheck: Number");
}

// ---- ReplaceContents
// -----------------------------------------------------------------------------

TEST_F(PageContentsTest, ReplaceAbsentFilesANewStream) {
  CPDFPage* page = Open("");
  ASSERT_NE(page, nullptr);
  ASSERT_TRUE(page->ReplaceContents(*test::StreamWith("new")));
  EXPECT_TRUE(page->Lookup("Contents")->IsRef());
  EXPECT_EQ(test::DecodedPageContents(*doc_, 0), "new");
}

TEST_F(PageContentsTest, ReplaceOneStreamInPlace) {
  CPDFPage* page = Open("/Contents 4 0 R", {test::StreamObject("old", "/Extra 1")});
  ASSERT_NE(page, nullptr);
  ASSERT_TRUE(page->ReplaceContents(*test::StreamWith("new")));
  EXPECT_EQ(Text(page->Lookup("Contents")), "4 0 R");
  EXPECT_EQ(test::DecodedPageContents(*doc_, 0), "new");
  EXPECT_EQ(AsDict(doc_->GetObj(CPDFObjRef(4, 0)))->Lookup("Extra"), nullptr);
}

TEST_F(PageContentsTest, ReplaceArrayLeavesOneStream) {
  CPDFPage* page =
      Open("/Contents 6 0 R", {test::StreamObject("a"), test::StreamObject("b"), "[4 0 R 5 0 R]"});
  ASSERT_NE(page, nullptr);
  ASSERT_TRUE(page->ReplaceContents(*test::StreamWith("new")));
  EXPECT_EQ(test::DecodedPageContents(*doc_, 0), "new");
  CPDFBody* body = nullptr;
  doc_->FindObj(CPDFObjRef(6, 0), false, &body);
  EXPECT_EQ(body, doc_->GetBody());  // the indirect array is marked updated
}

// ---- AddContents
// ---------------------------------------------------------------------------------

TEST_F(PageContentsTest, AddToAbsentContents) {
  // Absent, null, or a reference to nothing or to null: no content, which the stream becomes.
  for (const char* entries : {"", "/Contents null", "/Contents 9 0 R", "/Contents 4 0 R"}) {
    CPDFPage* page = Open(entries, {"null"});
    ASSERT_NE(page, nullptr) << entries;
    CPDFStream read(doc_.get());
    ASSERT_TRUE(page->ReadContents(read)) << entries;
    EXPECT_EQ(read.DataLength(), 0u) << entries;
    ASSERT_TRUE(page->AddContents(*test::StreamWith("new"), true)) << entries;
    EXPECT_TRUE(page->Lookup("Contents")->IsRef()) << entries;
    EXPECT_EQ(test::DecodedPageContents(*doc_, 0), "new") << entries;
    ASSERT_TRUE(page->ReplaceContents(*test::StreamWith("other"))) << entries;
    EXPECT_EQ(test::DecodedPageContents(*doc_, 0), "other") << entries;
  }
}

TEST_F(PageContentsTest, AddBeforeAndAfterOneStream) {
  CPDFPage* page = Open("/Contents 4 0 R", {test::StreamObject("page")});
  ASSERT_NE(page, nullptr);
  ASSERT_TRUE(page->AddContents(*test::StreamWith("under"), false));
  EXPECT_EQ(test::DecodedPageContents(*doc_, 0), "under|page");
  ASSERT_TRUE(page->AddContents(*test::StreamWith("over"), true));
  EXPECT_EQ(test::DecodedPageContents(*doc_, 0), "under|page|over");
  // The array is a new indirect object and the old stream keeps its identity.
  EXPECT_TRUE(page->Lookup("Contents")->IsRef());
  CPDFArray* parts = AsArray(page->Get_Contents());
  ASSERT_NE(parts, nullptr);
  EXPECT_EQ(Text(parts->At(1)), "4 0 R");
}

TEST_F(PageContentsTest, AddToAnArray) {
  CPDFPage* page =
      Open("/Contents [4 0 R 5 0 R]", {test::StreamObject("a"), test::StreamObject("b")});
  ASSERT_NE(page, nullptr);
  ASSERT_TRUE(page->AddContents(*test::StreamWith("first"), false));
  ASSERT_TRUE(page->AddContents(*test::StreamWith("last"), true));
  EXPECT_EQ(test::DecodedPageContents(*doc_, 0), "first|a|b|last");
}

TEST_F(PageContentsTest, ItemsThatAreNotStreamsAreLeftOutOfTheArray) {
  // 4 and 5 are streams, 6 is null, 7 a dictionary, 8 a stream cut short (in a repaired file it
  // is read to be known: the save writes it as null); 20 0 R leads nowhere. 9 is the array.
  for (const std::string item :
       {"", "null", "6 0 R", "7 0 R", "20 0 R", "<< >>", "12", "/N", "[4 0 R]", "8 0 R"}) {
    CPDFPage* page =
        Open("/Contents 9 0 R",
             {test::StreamObject("a"), test::StreamObject("b"), "null", "<< /Length 1 >>",
              "<< /Length 99 >>\nstream\nab", "[" + item + " 4 0 R " + item + " 5 0 R]"},
             item == "8 0 R");
    ASSERT_NE(page, nullptr) << item;
    ASSERT_TRUE(DropNonStreamContents(*page)) << item;
    CPDFBody* body = nullptr;
    doc_->FindObj(CPDFObjRef(9, 0), false, &body);
    EXPECT_EQ(body == doc_->GetBody(), !item.empty()) << item;  // changed only when it lost any
    ASSERT_TRUE(page->AddContents(*test::StreamWith("last"), true)) << item;
    EXPECT_EQ(test::DecodedPageContents(*doc_, 0), "a|b|last") << item;
  }
}

TEST_F(PageContentsTest, AddToADirectStreamFilesItFirst) {
  CPDFPage* page = Open("");
  ASSERT_NE(page, nullptr);
  auto direct = std::make_unique<CPDFStream>(doc_.get());
  direct->SetData("page", 4);
  page->Insert("Contents", std::move(direct));
  ASSERT_TRUE(page->AddContents(*test::StreamWith("over"), true));
  EXPECT_EQ(test::DecodedPageContents(*doc_, 0), "page|over");
}

TEST_F(PageContentsTest, AddFailsOnContentsOfAnotherKind) {
  CPDFPage* page = Open("/Contents (text)");
  ASSERT_NE(page, nullptr);
  EXPECT_FALSE(page->AddContents(*test::StreamWith("x"), true));
  EXPECT_FALSE(page->ReplaceContents(*test::StreamWith("x")));
  EXPECT_EQ(doc_->LastError().Message(), "typecheck: String");
}

TEST_F(PageContentsTest, AddedStreamKeepsItsFilter) {
  CPDFPage* page = Open("");
  ASSERT_NE(page, nullptr);
  CPDFGraphObjs objects;
  objects.AddSave();
  objects.AddExternalObject("Fm1");
  objects.AddRestore();
  CPDFStream stream(nullptr);
  CPDFErrorRecord error;
  ASSERT_TRUE(objects.UpdateContents(stream, error));
  ASSERT_TRUE(stream.EncodeFlateFilter(error));
  ASSERT_TRUE(page->AddContents(stream, true));
  auto* added = dynamic_cast<CPDFStream*>(page->Get_Contents());
  ASSERT_NE(added, nullptr);
  EXPECT_EQ(Text(added->Get_Filter()), "/FlateDecode");
  EXPECT_EQ(test::DecodedPageContents(*doc_, 0), "q /Fm1 Do Q");
}

// ---- UpdateContents
// ------------------------------------------------------------------------------

TEST(UpdateContents, EmptyListGivesAnEmptyStream) {
  CPDFGraphObjs objects;
  CPDFStream stream(nullptr);
  stream.SetData("old data", 8);
  CPDFErrorRecord error;
  ASSERT_TRUE(objects.UpdateContents(stream, error));
  EXPECT_EQ(stream.DataLength(), 0u);
  EXPECT_EQ(Text(stream.Get_Length()), "0");
  EXPECT_FALSE(error.IsError());
}

TEST(UpdateContents, WritesTheListAndSetsLength) {
  CPDFGraphObjs objects;
  objects.AddSave();
  objects.AddTextObject().BeginText().SetFont("F1", 12).MoveText(10, 20).ShowText("7", 1).EndText();
  objects.AddRestore();
  CPDFStream stream(nullptr);
  CPDFErrorRecord error;
  ASSERT_TRUE(objects.UpdateContents(stream, error));
  EXPECT_EQ(test::DataOf(stream), "q BT /F1 12 Tf 10 20 Td (7) Tj ET Q");
  EXPECT_EQ(Text(stream.Get_Length()), "35");
}

TEST(UpdateContents, ReusedCompressedStreamLosesItsFilters) {
  CPDFGraphObjs first;
  first.AddSave();
  CPDFStream stream(nullptr);
  CPDFErrorRecord error;
  ASSERT_TRUE(first.UpdateContents(stream, error));
  ASSERT_TRUE(stream.EncodeFlateFilter(error));
  ASSERT_NE(stream.Lookup("Filter"), nullptr);
  CPDFGraphObjs second;
  second.AddRestore();
  ASSERT_TRUE(second.UpdateContents(stream, error)) << error.Message();
  EXPECT_EQ(stream.Lookup("Filter"), nullptr);
  EXPECT_EQ(stream.Lookup("DecodeParms"), nullptr);
  EXPECT_EQ(test::DataOf(stream), "Q");
}

TEST(UpdateContents, LargeContentGoesThroughTheMappedBuffer) {
  CPDFGraphObjs objects;
  for (int i = 0; i < 20000; ++i) objects.AddLineWidth(static_cast<float>(i % 10));
  CPDFStream stream(nullptr);
  CPDFErrorRecord error;
  ASSERT_TRUE(objects.UpdateContents(stream, error));
  EXPECT_EQ(stream.DataLength(), 20000u * 4 - 1);  // "d w" and a blank between objects
  EXPECT_EQ(std::string(stream.Data(), 7), "0 w 1 w");
}

}  // namespace
}  // namespace quarn
