// The information dictionary that every flush stamps, and its dates.
#include "pdf/document/info_dict.h"

#include <gtest/gtest.h>

#include <regex>

#include "pdf/document/trailer.h"
#include "pdf/document/xref.h"
#include "support/documents.h"
#include "support/pdf_builder.h"

namespace quarn {
namespace {

using test::MakePdf;

const std::regex kDate("D:[0-9]{14}");

class InfoDict : public test::DocTest {
 protected:
  // A one-page document with `info` as object 4 and the trailer's "Info" when given.
  std::string Document(const std::string& info) {
    std::vector<std::string> objects = {"<< /Type /Catalog /Pages 2 0 R >>",
                                        "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
                                        "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 9 9] >>"};
    if (info.empty()) return MakePdf(objects);
    objects.push_back(info);
    return MakePdf(objects, "/Root 1 0 R /Info 4 0 R");
  }
};

TEST(Dates, NowHasTheDateForm) {
  CPDFDate date;
  date.SetNow();
  EXPECT_TRUE(std::regex_match(date.Str(), kDate)) << date.Str();
  std::tm fixed{};
  fixed.tm_year = 2024 - 1900;
  fixed.tm_mon = 1;
  fixed.tm_mday = 29;
  fixed.tm_hour = 7;
  fixed.tm_min = 5;
  fixed.tm_sec = 9;
  fixed.tm_isdst = -1;
  date.SetTime(std::mktime(&fixed));
  EXPECT_EQ(date.Str(), "D:20240229070509");
}

TEST_F(InfoDict, DocumentWithoutInfoGainsAnIndirectOne) {
  auto doc = OpenBytes(Document(""));
  ASSERT_NE(doc, nullptr);
  ASSERT_TRUE(doc->SetDocInfo()) << doc->LastError().Message();
  CPDFAtom* entry = doc->GetTrailer()->Dict().Lookup("Info");
  ASSERT_NE(entry, nullptr);
  EXPECT_TRUE(entry->IsRef());
  CPDFInfoDict* info = doc->GetTrailer()->Get_Info();
  ASSERT_NE(info, nullptr);
  ASSERT_NE(info->Get_CreationDate(), nullptr);
  EXPECT_TRUE(std::regex_match(info->Get_CreationDate()->Str(), kDate));
  EXPECT_EQ(info->Get_ModDate(), nullptr);
  ASSERT_NE(info->Get_Producer(), nullptr);
  EXPECT_EQ(info->Get_Producer()->Str(), "libquarn");
}

TEST_F(InfoDict, ExistingCreationDateIsKeptAndModDateSet) {
  auto doc =
      OpenBytes(Document("<< /CreationDate (yesterday, roughly) /ModDate (D:19990101) /Producer "
                         "(Someone) /Title (T) >>"));
  ASSERT_NE(doc, nullptr);
  CPDFInfoDict* info = doc->GetTrailer()->Get_Info();
  ASSERT_NE(info, nullptr);
  // Bound at open: every string entry is typed, dates taken as they are.
  ASSERT_NE(info->Get_CreationDate(), nullptr);
  EXPECT_EQ(info->Get_CreationDate()->Str(), "yesterday, roughly");
  ASSERT_NE(info->Get_Title(), nullptr);
  ASSERT_TRUE(doc->SetDocInfo());
  EXPECT_EQ(info->Get_CreationDate()->Str(), "yesterday, roughly");
  EXPECT_TRUE(std::regex_match(info->Get_ModDate()->Str(), kDate));
  EXPECT_EQ(info->Get_Producer()->Str(), "libquarn");
  EXPECT_EQ(info->Get_Title()->Str(), "T");
  // Marked changed, so that an incremental update writes it.
  ASSERT_NE(doc->GetXRef()->GetEntry(4), nullptr);
  EXPECT_TRUE(doc->GetXRef()->GetEntry(4)->InUse());
}

TEST_F(InfoDict, NonStringEntriesStayAsTheyAre) {
  auto doc = OpenBytes(Document("<< /Author 12 /Title (x) >>"));
  ASSERT_NE(doc, nullptr);
  CPDFInfoDict* info = doc->GetTrailer()->Get_Info();
  ASSERT_NE(info, nullptr);
  EXPECT_EQ(info->Get_Author(), nullptr);
  EXPECT_NE(AsNumber(info->GetValue(doc.get(), "Author")), nullptr);
}

TEST_F(InfoDict, FlushStampsAndASecondFlushSetsModDate) {
  if (!test::HaveTool("qpdf")) GTEST_SKIP() << "qpdf is not installed";
  const std::string path = Put("a.pdf", Document("<< /Producer (Other) >>"));
  auto doc = Open(path);
  ASSERT_NE(doc, nullptr);
  ASSERT_TRUE(doc->Save(path.c_str(), false, false));
  ASSERT_TRUE(doc->Flush());
  std::string info = test::CommandOutput("qpdf --show-object=4 '" + path + "'");
  EXPECT_NE(info.find("/CreationDate (D:"), std::string::npos);
  EXPECT_EQ(info.find("/ModDate"), std::string::npos);
  EXPECT_NE(info.find("/Producer (libquarn)"), std::string::npos);
  ASSERT_TRUE(doc->Save(path.c_str(), true, false));
  ASSERT_TRUE(doc->Flush());
  info = test::CommandOutput("qpdf --show-object=4 '" + path + "'");
  EXPECT_NE(info.find("/ModDate (D:"), std::string::npos);
  EXPECT_TRUE(test::QpdfAccepts(path));
}

TEST_F(InfoDict, DateStringsOfAnyFormAreWrittenBackUnchanged) {
  if (!test::HaveTool("qpdf")) GTEST_SKIP() << "qpdf is not installed";
  const std::string path = Put("a.pdf", Document("<< /CreationDate (D:2001+xyz'') >>"));
  auto doc = Open(path);
  ASSERT_NE(doc, nullptr);
  ASSERT_TRUE(doc->Save(path.c_str(), false, false));
  ASSERT_TRUE(doc->Flush());
  EXPECT_NE(test::ReadFile(path).find("/CreationDate (D:2001+xyz'')"), std::string::npos);
}

}  // namespace
}  // namespace quarn
