// Objects made for one page (its number's stream, its new "Contents" array) leave memory with
// the page while the output is written. Pages that share streams, pages without content and
// numbers repeated from page to page must all come out whole.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "app/driver.h"
#include "app/zorvane_app.h"
#include "pdf/document/doc.h"
#include "pdf/document/pages.h"
#include "pdf/library/pdf_lib.h"
#include "pdf/stream/stream.h"
#include "support/documents.h"
#include "support/files.h"
#include "support/pdf_builder.h"

namespace quarn {
namespace {

class DriverReleaseTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(app_.Init(dir_.File("run.log").c_str(), nullptr));
    test::WriteFile(dir_.File("logo.pdf"),
                    test::MakePagesPdf({"/MediaBox [0 0 200 100] /Resources << >> /Contents 4 0 R"},
                                       {test::StreamObject("0 0 1 rg 0 0 200 100 re f")}));
    // 1 catalog, 2 root, 3 and 4 intermediate nodes, 5-10 pages, 11 content shared by pages
    // 5, 6 and 9, 12 resources shared by every page, 13 a content array of page 10's own.
    // Pages 7 and 8 have no content.
    test::WriteFile(
        dir_.File("in.pdf"),
        test::MakePdf({"<< /Type /Catalog /Pages 2 0 R >>",
                       "<< /Type /Pages /Kids [3 0 R 4 0 R] /Count 6 >>",
                       "<< /Type /Pages /Parent 2 0 R /Kids [5 0 R 6 0 R] /Count 2 "
                       "/MediaBox [0 0 400 400] >>",
                       "<< /Type /Pages /Parent 2 0 R /Kids [7 0 R 8 0 R 9 0 R 10 0 R] /Count 4 "
                       "/MediaBox [0 0 400 400] >>",
                       "<< /Type /Page /Parent 3 0 R /Resources 12 0 R /Contents 11 0 R >>",
                       "<< /Type /Page /Parent 3 0 R /Resources 12 0 R /Contents 11 0 R >>",
                       "<< /Type /Page /Parent 4 0 R /Resources 12 0 R >>",
                       "<< /Type /Page /Parent 4 0 R /Resources 12 0 R >>",
                       "<< /Type /Page /Parent 4 0 R /Resources 12 0 R /Contents 11 0 R >>",
                       "<< /Type /Page /Parent 4 0 R /Resources 12 0 R /Contents 13 0 R >>",
                       test::StreamObject("0 g"), "<< /ProcSet [/PDF] >>", "[11 0 R]"}));
  }

  bool Run(const std::string& format, bool watermark) {
    StampOptions options;
    if (watermark) options.watermarkSpec = dir_.File("logo.pdf");
    options.numberingOn = true;
    options.numberFormatSpec = format;
    CPDFDriver driver(lib_, app_);
    driver.SetOptions(options);
    return driver.Process(dir_.File("in.pdf"), dir_.File("out.pdf"));
  }

  // The decoded content streams of every page of the output, joined by "|" (a part that
  // cannot be read shows as "<none>").
  std::vector<std::string> OutputContents() {
    CPDFErrorRecord error;
    auto doc = lib_.OpenDoc(dir_.File("out.pdf"), nullptr, error);
    if (!doc) {
      ADD_FAILURE() << error.Message();
      return {};
    }
    std::vector<std::string> pages;
    for (int i = 0; i < doc->GetPageCount(); ++i) pages.push_back(test::DecodedPageContents(*doc, i));
    return pages;
  }

  // Whether `contents` ends with a number drawing that shows `text`.
  static bool EndsWithNumber(const std::string& contents, const std::string& text) {
    const size_t last = contents.rfind('|');
    const std::string part = last == std::string::npos ? contents : contents.substr(last + 1);
    return part.find("BT") != std::string::npos &&
           part.find("(" + text + ") Tj") != std::string::npos;
  }

  test::TempDir dir_;
  CZorvaneApp app_{stderr};
  CPDFLib lib_;
};

TEST_F(DriverReleaseTest, NumbersOnEveryKindOfPageComeOutWhole) {
  ASSERT_TRUE(Run("n,%s,H,9", false));
  const std::vector<std::string> pages = OutputContents();
  ASSERT_EQ(pages.size(), 6u);
  const bool hasContent[] = {true, true, false, false, true, true};
  for (size_t i = 0; i < pages.size(); ++i) {
    SCOPED_TRACE("page " + std::to_string(i + 1) + ": " + pages[i]);
    EXPECT_EQ(pages[i].find("<none>"), std::string::npos);
    EXPECT_TRUE(EndsWithNumber(pages[i], std::to_string(i + 1)));
    EXPECT_EQ(pages[i].find("0 g") != std::string::npos, hasContent[i]);
  }
}

TEST_F(DriverReleaseTest, OneTextOnEveryPageSharesItsStreamAfterThePageIsWritten) {
  // The same text on every page: the stream filed for page 1 leaves memory with page 1 and
  // every later page refers to it, the pages without content directly.
  ASSERT_TRUE(Run("n,Draft,H,9", false));
  const std::vector<std::string> pages = OutputContents();
  ASSERT_EQ(pages.size(), 6u);
  for (size_t i = 0; i < pages.size(); ++i) {
    SCOPED_TRACE("page " + std::to_string(i + 1) + ": " + pages[i]);
    EXPECT_EQ(pages[i].find("<none>"), std::string::npos);
    EXPECT_TRUE(EndsWithNumber(pages[i], "Draft"));
  }
}

TEST_F(DriverReleaseTest, WatermarkAndNumbersTogetherKeepEveryPart) {
  for (const std::string format : {"n,%s,H,9", "n,Draft,H,9"}) {
    ASSERT_TRUE(Run(format, true)) << format;
    const std::vector<std::string> pages = OutputContents();
    ASSERT_EQ(pages.size(), 6u);
    const bool hasContent[] = {true, true, false, false, true, true};
    for (size_t i = 0; i < pages.size(); ++i) {
      SCOPED_TRACE(format + ", page " + std::to_string(i + 1) + ": " + pages[i]);
      EXPECT_EQ(pages[i].find("<none>"), std::string::npos);
      // The watermark under the page's own content, the number over it.
      EXPECT_NE(pages[i].find("q /Fm1 Do Q"), std::string::npos);
      EXPECT_EQ(pages[i].find("0 g") != std::string::npos, hasContent[i]);
      const std::string number = format == "n,Draft,H,9" ? "Draft" : std::to_string(i + 1);
      EXPECT_TRUE(EndsWithNumber(pages[i], number));
    }
  }
}

}  // namespace
}  // namespace quarn
