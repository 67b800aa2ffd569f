// The stamping driver: -wm values, page ranges, the watermark's matrix and place, and the
// failure lines of one run.
#include "app/driver.h"

#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>
#include <set>
#include <string>
#include <vector>

#include "app/zorvane_app.h"
#include "pdf/document/res_dict.h"
#include "pdf/content/xobject.h"
#include "pdf/document/doc.h"
#include "pdf/document/pages.h"
#include "pdf/library/pdf_lib.h"
#include "pdf/object/out_stream.h"
#include "support/documents.h"
#include "support/files.h"
#include "support/pdf_builder.h"
#include "support/values.h"

namespace quarn {
namespace {

using test::Text;

// ---- -wm values
// ----------------------------------------------------------------------------------

struct SpecCase {
  const char* value;
  const char* fileName;
  int firstPage;
  int lastPage;
};

class WatermarkSpecParse : public ::testing::TestWithParam<SpecCase> {};

TEST_P(WatermarkSpecParse, NameGetsPdfWithoutExtensionAndPagesFollowIt) {
  const SpecCase& c = GetParam();
  const WatermarkSpec value = ParseWatermarkSpec(c.value);
  EXPECT_EQ(value.fileName, c.fileName);
  EXPECT_EQ(value.firstPage, c.firstPage);
  EXPECT_EQ(value.lastPage, c.lastPage);
}

INSTANTIATE_TEST_SUITE_P(
    Values, WatermarkSpecParse,
    ::testing::Values(SpecCase{"logo", "logo.pdf", 1, 0}, SpecCase{"logo.pdf", "logo.pdf", 1, 0},
                      SpecCase{"logo.PDF", "logo.PDF", 1, 0},
                      SpecCase{"art/logo.v2", "art/logo.v2", 1, 0},
                      SpecCase{"art.v2/logo", "art.v2/logo.pdf", 1, 0}, SpecCase{"", "", 1, 0},
                      SpecCase{",3", "", 3, 0}, SpecCase{"logo.pdf,3", "logo.pdf", 3, 0},
                      SpecCase{"logo.pdf,0,2", "logo.pdf", 1, 2},
                      SpecCase{"logo.pdf,1,-1", "logo.pdf", 1, -1},
                      SpecCase{"logo.pdf,-4,+7x", "logo.pdf", 1, 7},
                      SpecCase{"logo.pdf,abc,99999999999", "logo.pdf", 1, 2147483647}));

TEST(TextWatermarkOptionParse, EscapedCommasStayInTheTextAndPagesFollowIt) {
  struct Case {
    const char* value;
    const char* text;
    int firstPage;
    int lastPage;
  };
  for (const Case& c :
       {Case{"DRAFT", "DRAFT", 1, 0}, Case{"DRAFT,2,3", "DRAFT", 2, 3},
        Case{"Yes\\, no,4", "Yes, no", 4, 0}, Case{"a\\\\,2", "a\\", 2, 0},
        Case{"a\\b", "a\\b", 1, 0}, Case{",5", "", 5, 0}, Case{"x,0,-1", "x", 1, -1}}) {
    const TextWatermarkOption parsed = ParseTextWatermarkOption(c.value);
    EXPECT_EQ(parsed.text, c.text) << c.value;
    EXPECT_EQ(parsed.firstPage, c.firstPage) << c.value;
    EXPECT_EQ(parsed.lastPage, c.lastPage) << c.value;
  }
}

TEST(WatermarkSpecParseLong, LongValuesAreKeptWhole) {
  const std::string name(600, 'n');
  EXPECT_EQ(ParseWatermarkSpec(name + ",2,3").fileName, name + ".pdf");
}

// ---- ranges
// --------------------------------------------------------------------------------------

// Watermark range, numbering range (0 0: off), page count, and the pages visited.
struct RangeCase {
  int watermarkFirst, watermarkLast, numberingFirst, numberingLast, pageCount;
  int firstVisited, lastVisited;
};

class PageRangeResolve : public ::testing::TestWithParam<RangeCase> {};

TEST_P(PageRangeResolve, VisitedPagesCoverBothRangesWithinTheDocument) {
  const RangeCase& c = GetParam();
  const PageRanges r = ResolvePageRanges(c.watermarkFirst, c.watermarkLast, c.numberingFirst,
                                         c.numberingLast, c.pageCount);
  EXPECT_EQ(r.firstVisited, c.firstVisited);
  EXPECT_EQ(r.lastVisited, c.lastVisited);
}

INSTANTIATE_TEST_SUITE_P(
    Ranges, PageRangeResolve,
    ::testing::Values(RangeCase{1, 0, 0, 0, 10, 1, 10},  // without any option every page
                      RangeCase{5, 2, 0, 0, 10, 5, 10},  // a backward range still visits to the end
                      RangeCase{1, -1, 0, 0, 10, 1, 10},  // numbering (off) ends at the last page
                      RangeCase{4, 6, 3, 5, 10, 3, 6},    // both ranges together
                      RangeCase{2, 3, 7, 0, 10, 2, 10},   // numbering to the end
                      RangeCase{1, 50, 1, 40, 10, 1, 10},  // never past the page count
                      RangeCase{1, -1, 1, -1, 10, 1, 0}));  // nothing at all

TEST(PageRangeWatermark, LastPageDefaultsToTheEndAndNegativeIsEmpty) {
  EXPECT_EQ(ResolvePageRanges(1, 0, 0, 0, 10).watermarkLast, 10);
  const PageRanges backward = ResolvePageRanges(5, 2, 0, 0, 10);
  EXPECT_GT(backward.watermarkFirst, backward.watermarkLast);
  EXPECT_EQ(ResolvePageRanges(1, -1, 0, 0, 10).watermarkLast, 0);
}

// ---- runs
// ----------------------------------------------------------------------------------------

const std::string kLogoContent = "0 0 1 rg 0 0 200 100 re f";

class DriverTest : public ::testing::Test {
 protected:
  void SetUp() override {
    log_ = dir_.File("run.log");
    ASSERT_TRUE(app_.Init(log_.c_str(), nullptr));
  }

  void WriteLogo(const std::string& name, const std::string& mediaBox = "[0 0 200 100]") {
    test::WriteFile(dir_.File(name), test::MakePagesPdf({"/MediaBox " + mediaBox +
                                                         " /Resources << >> /Contents 4 0 R"},
                                                        {test::StreamObject(kLogoContent)}));
  }

  // `count` pages of `box`, each with its own resources and content.
  void WriteInput(const std::string& name, int count, const std::string& box = "[0 0 400 400]",
                  const std::string& resources = "<< /ProcSet [/PDF /Text] >>") {
    std::vector<std::string> pages;
    std::vector<std::string> contents;
    for (int i = 0; i < count; ++i) {
      pages.push_back("/MediaBox " + box + " /Resources " + resources + " /Contents " +
                      std::to_string(3 + count + i) + " 0 R");
      contents.push_back(test::StreamObject("0 g 10 10 50 50 re f"));
    }
    test::WriteFile(dir_.File(name), test::MakePagesPdf(pages, contents));
  }

  bool Run(const std::string& in, const std::string& out, StampOptions options) {
    CPDFDriver driver(lib_, app_);
    driver.SetOptions(options);
    return driver.Process(in, out);
  }

  static StampOptions Watermark(const std::string& value, bool fit = false, bool up = false) {
    StampOptions options;
    options.watermarkSpec = value;
    options.fit = fit;
    options.up = up;
    return options;
  }

  std::unique_ptr<CPDFDoc> OpenOutput(const std::string& path) {
    CPDFErrorRecord error;
    auto doc = lib_.OpenDoc(path, nullptr, error);
    EXPECT_NE(doc, nullptr) << error.Message();
    return doc;
  }

  // The watermark form that page `index` of `doc` names under `name`.
  static CPDFDict* FormOf(CPDFDoc& doc, int index, const std::string& name) {
    CPDFPage* page = doc.GetPage(index);
    if (!page || !page->Get_Resources()) return nullptr;
    return AsDict(page->Get_Resources()->FindResource("XObject", name));
  }

  std::string Log() { return test::ReadFile(log_); }

  std::set<std::string> Files() {
    std::set<std::string> names;
    if (DIR* d = opendir(dir_.Path().c_str())) {
      while (dirent* entry = readdir(d)) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..") names.insert(name);
      }
      closedir(d);
    }
    return names;
  }

  test::TempDir dir_;
  std::string log_;
  CZorvaneApp app_{stderr};
  CPDFLib lib_;
};

TEST_F(DriverTest, CentredMatrixForASmallerWatermark) {
  WriteLogo("logo.pdf");
  WriteInput("in.pdf", 2);
  ASSERT_TRUE(Run(dir_.File("in.pdf"), dir_.File("out.pdf"), Watermark(dir_.File("logo.pdf"))))
      << Log();
  auto out = OpenOutput(dir_.File("out.pdf"));
  ASSERT_NE(out, nullptr);
  CPDFDict* form = FormOf(*out, 0, "Fm1");
  ASSERT_NE(form, nullptr);
  EXPECT_EQ(Text(form->GetValue(out.get(), "Matrix")), "[1 0 0 1 100 150]");
  EXPECT_EQ(Text(form->GetValue(out.get(), "BBox")), "[0 0 200 100]");
  EXPECT_EQ(test::DecodedPageContents(*out, 0), "q /Fm1 Do Q|0 g 10 10 50 50 re f");
  EXPECT_EQ(test::DecodedPageContents(*out, 1), "q /Fm1 Do Q|0 g 10 10 50 50 re f");
}

TEST_F(DriverTest, FitStretchesBothAxes) {
  WriteLogo("logo.pdf");
  WriteInput("in.pdf", 1);
  ASSERT_TRUE(
      Run(dir_.File("in.pdf"), dir_.File("out.pdf"), Watermark(dir_.File("logo.pdf"), true)))
      << Log();
  auto out = OpenOutput(dir_.File("out.pdf"));
  ASSERT_NE(out, nullptr);
  CPDFDict* form = FormOf(*out, 0, "Fm1");
  ASSERT_NE(form, nullptr);
  EXPECT_EQ(Text(form->GetValue(out.get(), "Matrix")), "[2 0 0 4 0 0]");
}

TEST_F(DriverTest, UpDrawsOverTheContent) {
  WriteLogo("logo.pdf");
  WriteInput("in.pdf", 1);
  ASSERT_TRUE(Run(dir_.File("in.pdf"), dir_.File("out.pdf"),
                  Watermark(dir_.File("logo.pdf"), false, true)));
  auto out = OpenOutput(dir_.File("out.pdf"));
  ASSERT_NE(out, nullptr);
  // The page's own content is enclosed in q ... Q so that the watermark starts from the
  // default graphics state.
  // (A stream written without a final end of line gets CR LF in front of "endstream".)
  EXPECT_EQ(test::DecodedPageContents(*out, 0), "q\r\n|0 g 10 10 50 50 re f|Q q /Fm1 Do Q");
}

TEST_F(DriverTest, OverAPageThatLeavesItsMatrixChanged) {
  WriteLogo("logo.pdf");
  // The page flips its coordinates and never restores them; the watermark must not follow.
  test::WriteFile(
      dir_.File("in.pdf"),
      test::MakePagesPdf({"/MediaBox [0 0 400 400] /Resources << >> /Contents 4 0 R"},
                         {test::StreamObject("1 0 0 -1 0 400 cm 0 g 10 10 50 50 re f")}));
  ASSERT_TRUE(Run(dir_.File("in.pdf"), dir_.File("out.pdf"),
                  Watermark(dir_.File("logo.pdf"), false, true)));
  auto out = OpenOutput(dir_.File("out.pdf"));
  ASSERT_NE(out, nullptr);
  EXPECT_EQ(test::DecodedPageContents(*out, 0), "q\r\n|1 0 0 -1 0 400 cm 0 g 10 10 50 50 re f|Q q /Fm1 Do Q");
}

TEST_F(DriverTest, OverAPageWithoutContent) {
  WriteLogo("logo.pdf");
  test::WriteFile(dir_.File("in.pdf"),
                  test::MakePagesPdf({"/MediaBox [0 0 400 400] /Resources << >>"}));
  ASSERT_TRUE(Run(dir_.File("in.pdf"), dir_.File("out.pdf"),
                  Watermark(dir_.File("logo.pdf"), false, true)));
  auto out = OpenOutput(dir_.File("out.pdf"));
  ASSERT_NE(out, nullptr);
  EXPECT_EQ(test::DecodedPageContents(*out, 0), "q /Fm1 Do Q");
}

TEST_F(DriverTest, BoxesAwayFromTheOriginKeepTheWatermarkOnThePage) {
  WriteLogo("logo.pdf", "[10 20 210 120]");
  WriteInput("in.pdf", 1, "[100 200 500 600]");
  ASSERT_TRUE(Run(dir_.File("in.pdf"), dir_.File("centred.pdf"), Watermark(dir_.File("logo.pdf"))));
  ASSERT_TRUE(
      Run(dir_.File("in.pdf"), dir_.File("fitted.pdf"), Watermark(dir_.File("logo.pdf"), true)));
  auto centred = OpenOutput(dir_.File("centred.pdf"));
  auto fitted = OpenOutput(dir_.File("fitted.pdf"));
  ASSERT_NE(centred, nullptr);
  ASSERT_NE(fitted, nullptr);
  // Centred: the box's centre (110, 70) lands on the page's centre (300, 400).
  EXPECT_EQ(Text(FormOf(*centred, 0, "Fm1")->GetValue(centred.get(), "Matrix")),
            "[1 0 0 1 190 330]");
  // Fitted: the box's corner (10, 20) lands on the page's corner (100, 200).
  EXPECT_EQ(Text(FormOf(*fitted, 0, "Fm1")->GetValue(fitted.get(), "Matrix")), "[2 0 0 4 80 120]");
}

// Later pages draw the form made for the first watermarked page; a page whose box differs from
// that page's gets a "cm" of its own that puts the watermark on its own box (centred, or fitted),
// and a page like the first draws the form as it is.
struct FrameCase {
  bool fit;
  const char* matrix;               // the form's Matrix, made for the first page
  std::vector<const char*> stamps;  // each page's watermark stream
};

class WatermarkOnEachFrame : public DriverTest, public ::testing::WithParamInterface<FrameCase> {};

TEST_P(WatermarkOnEachFrame, PagesOfOtherBoxesGetTheirOwnPlacement) {
  const FrameCase& expected = GetParam();
  WriteLogo("logo.pdf");
  std::vector<std::string> pages;
  for (const char* box :
       {"[0 0 400 400]", "[0 0 400 400]", "[0 0 800 800]", "[100 200 500 600]", "[0 0 800 400]"}) {
    pages.push_back(std::string("/MediaBox ") + box + " /Resources << >>");
  }
  test::WriteFile(dir_.File("in.pdf"), test::MakePagesPdf(pages));
  ASSERT_TRUE(Run(dir_.File("in.pdf"), dir_.File("out.pdf"),
                  Watermark(dir_.File("logo.pdf"), expected.fit)))
      << Log();
  auto out = OpenOutput(dir_.File("out.pdf"));
  ASSERT_NE(out, nullptr);
  CPDFObjRef first;
  CPDFObjRef third;
  out->GetPage(0)->Get_Resources()->Get_XObject()->GetValue(out.get(), "Fm1", &first);
  out->GetPage(2)->Get_Resources()->Get_XObject()->GetValue(out.get(), "Fm1", &third);
  EXPECT_TRUE(first.IsDefined());
  EXPECT_EQ(first, third);  // one form for all pages
  EXPECT_EQ(Text(FormOf(*out, 2, "Fm1")->GetValue(out.get(), "Matrix")), expected.matrix);
  for (size_t i = 0; i < expected.stamps.size(); ++i) {
    EXPECT_EQ(test::DecodedPageContents(*out, static_cast<int>(i)), expected.stamps[i])
        << "page " << i + 1;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Placements, WatermarkOnEachFrame,
    ::testing::Values(FrameCase{false,
                                "[1 0 0 1 100 150]",
                                {"q /Fm1 Do Q", "q /Fm1 Do Q", "q 1 0 0 1 200 200 cm /Fm1 Do Q",
                                 "q 1 0 0 1 100 200 cm /Fm1 Do Q", "q 1 0 0 1 200 0 cm /Fm1 Do Q"}},
                      FrameCase{true,
                                "[2 0 0 4 0 0]",
                                {"q /Fm1 Do Q", "q /Fm1 Do Q", "q 2 0 0 2 0 0 cm /Fm1 Do Q",
                                 "q 1 0 0 1 100 200 cm /Fm1 Do Q", "q 2 0 0 1 0 0 cm /Fm1 Do Q"}}));

TEST_F(DriverTest, EachPageNamesTheFormInItsOwnResources) {
  WriteLogo("logo.pdf");
  // Page 1 has no XObjects, page 2 already uses Fm1 for something else.
  std::vector<std::string> pages = {
      "/MediaBox [0 0 400 400] /Resources << >>",
      "/MediaBox [0 0 400 400] /Resources << /XObject << /Fm1 5 0 R >> >>"};
  test::WriteFile(
      dir_.File("in.pdf"),
      test::MakePagesPdf(
          pages,
          {"<< /Type /XObject /Subtype /Form /BBox [0 0 1 1] /Length 0 >>\nstream\nendstream"}));
  ASSERT_TRUE(Run(dir_.File("in.pdf"), dir_.File("out.pdf"), Watermark(dir_.File("logo.pdf"))));
  auto out = OpenOutput(dir_.File("out.pdf"));
  ASSERT_NE(out, nullptr);
  EXPECT_EQ(test::DecodedPageContents(*out, 0), "q /Fm1 Do Q");
  EXPECT_EQ(test::DecodedPageContents(*out, 1), "q /Fm2 Do Q");
  EXPECT_EQ(Text(out->GetPage(1)->Get_Resources()->Get_ProcSet()),
            "[/PDF /ImageB /ImageC /ImageI]");
}

TEST_F(DriverTest, SharedResourcesNameTheFormOnce) {
  WriteLogo("logo.pdf");
  // 5000 pages share one resource object: a new name per page would run out after 4095.
  const int count = 5000;
  std::vector<std::string> pages(
      count, "/MediaBox [0 0 400 400] /Resources " + std::to_string(3 + count) + " 0 R");
  test::WriteFile(dir_.File("in.pdf"), test::MakePagesPdf(pages, {"<< /ProcSet [/PDF] >>"}));
  ASSERT_TRUE(Run(dir_.File("in.pdf"), dir_.File("out.pdf"), Watermark(dir_.File("logo.pdf"))))
      << Log();
  auto out = OpenOutput(dir_.File("out.pdf"));
  ASSERT_NE(out, nullptr);
  EXPECT_EQ(out->GetPageCount(), count);
  EXPECT_EQ(out->GetPage(0)->Get_Resources()->Get_XObject()->Count(), 1u);
  EXPECT_EQ(test::DecodedPageContents(*out, count - 1), "q /Fm1 Do Q");
}

TEST_F(DriverTest, PagesStampedAlikeShareOneContentStream) {
  WriteLogo("logo.pdf");
  WriteInput("in.pdf", 3);
  ASSERT_TRUE(Run(dir_.File("in.pdf"), dir_.File("out.pdf"), Watermark(dir_.File("logo.pdf"))));
  auto out = OpenOutput(dir_.File("out.pdf"));
  ASSERT_NE(out, nullptr);
  std::set<std::string> stamps;
  for (int i = 0; i < 3; ++i) {
    CPDFArray* parts = AsArray(out->GetPage(i)->Get_Contents());
    ASSERT_NE(parts, nullptr);
    ASSERT_EQ(parts->Count(), 2u);
    stamps.insert(Text(parts->At(0)));
    EXPECT_EQ(test::DecodedPageContents(*out, i), "q /Fm1 Do Q|0 g 10 10 50 50 re f");
  }
  EXPECT_EQ(stamps.size(), 1u);  // one stream, referred to by every page
}

TEST_F(DriverTest, NumberStampsShareAStreamOnlyWhenTheyDrawAlike) {
  // Pages 1 and 2 get the same text at the same place; page 3, of another size, another place.
  test::WriteFile(dir_.File("in.pdf"),
                  test::MakePagesPdf({"/MediaBox [0 0 400 400] /Contents 6 0 R",
                                      "/MediaBox [0 0 400 400] /Contents 6 0 R",
                                      "/MediaBox [0 0 300 300] /Rotate 90"},
                                     {test::StreamObject("0 g 10 10 50 50 re f q")}));
  StampOptions options;
  options.numberingOn = true;
  options.numberFormatSpec = "n,Draft,H,10";
  ASSERT_TRUE(Run(dir_.File("in.pdf"), dir_.File("out.pdf"), options)) << Log();
  auto out = OpenOutput(dir_.File("out.pdf"));
  ASSERT_NE(out, nullptr);
  auto lastPart = [&](int page) {
    const CPDFArray* parts = AsArray(out->GetPage(page)->Get_Contents());
    return parts ? Text(parts->At(parts->Count() - 1)) : std::string();
  };
  EXPECT_EQ(lastPart(0), lastPart(1));
  EXPECT_EQ(test::DecodedPageContents(*out, 0),
            "q\r\n|0 g 10 10 50 50 re f q|Q Q q BT /F1 10 Tf 189.164993 16.243229 Td (Draft) Tj ET Q");
  // The page without content of its own is not enclosed; it is shown turned.
  EXPECT_EQ(test::DecodedPageContents(*out, 2),
            "q 0 1 -1 0 300 0 cm BT /F1 10 Tf 139.164993 16.243229 Td (Draft) Tj ET Q");
  // A text of each page's own: the page's content is scanned by the stamp's writer, and what
  // it leaves open is closed just the same.
  options.numberFormatSpec = "n,%s,H,10";
  ASSERT_TRUE(Run(dir_.File("in.pdf"), dir_.File("own.pdf"), options)) << Log();
  out = OpenOutput(dir_.File("own.pdf"));
  ASSERT_NE(out, nullptr);
  EXPECT_EQ(test::DecodedPageContents(*out, 1),
            "q\r\n|0 g 10 10 50 50 re f q|Q Q q BT /F1 10 Tf 197.220001 16.243229 Td (2) Tj ET Q");
}

TEST_F(DriverTest, ContentThatRestoresMoreThanItSavesGetsMoreSavesInFront) {
  // The content's first "Q" would take the enclosing "q" away and leave its matrix on the stamp.
  test::WriteFile(dir_.File("in.pdf"),
                  test::MakePagesPdf({"/MediaBox [0 0 400 400] /Contents 4 0 R"},
                                     {test::StreamObject("Q 1 0 0 1 90 90 cm")}));
  // The number's own text (content scanned on the worker) and a constant one (scanned here).
  for (const char* format : {"n,%s,H,10", "n,Draft,H,10"}) {
    StampOptions options;
    options.numberingOn = true;
    options.numberFormatSpec = format;
    ASSERT_TRUE(Run(dir_.File("in.pdf"), dir_.File("out.pdf"), options)) << Log();
    auto out = OpenOutput(dir_.File("out.pdf"));
    ASSERT_NE(out, nullptr);
    const std::string contents = test::DecodedPageContents(*out, 0);
    EXPECT_EQ(contents.substr(0, contents.find('|')), "q q\r\n") << format;
  }
}

TEST_F(DriverTest, NestedTreeWithSharedContentIsStampedThroughout) {
  WriteLogo("logo.pdf");
  // 1 catalog, 2 root, 3 and 4 intermediate nodes, 5-9 pages, 10 content shared by pages 5 and 6,
  // 11 resources shared by every page.
  std::vector<std::string> objects = {
      "<< /Type /Catalog /Pages 2 0 R >>",
      "<< /Type /Pages /Kids [3 0 R 4 0 R] /Count 5 >>",
      "<< /Type /Pages /Parent 2 0 R /Kids [5 0 R 6 0 R] /Count 2 /MediaBox [0 0 400 400] >>",
      "<< /Type /Pages /Parent 2 0 R /Kids [7 0 R 8 0 R 9 0 R] /Count 3 /MediaBox [0 0 400 400] >>",
      "<< /Type /Page /Parent 3 0 R /Resources 11 0 R /Contents 10 0 R >>",
      "<< /Type /Page /Parent 3 0 R /Resources 11 0 R /Contents 10 0 R >>",
      "<< /Type /Page /Parent 4 0 R /Resources 11 0 R >>",
      "<< /Type /Page /Parent 4 0 R /Resources 11 0 R /Contents 10 0 R >>",
      "<< /Type /Page /Parent 4 0 R /Resources 11 0 R >>",
      test::StreamObject("0 g"),
      "<< /ProcSet [/PDF] >>"};
  test::WriteFile(dir_.File("in.pdf"), test::MakePdf(objects));
  ASSERT_TRUE(Run(dir_.File("in.pdf"), dir_.File("out.pdf"), Watermark(dir_.File("logo.pdf"))))
      << Log();
  auto out = OpenOutput(dir_.File("out.pdf"));
  ASSERT_NE(out, nullptr);
  ASSERT_EQ(out->GetPageCount(), 5);
  const char* expected[] = {"q /Fm1 Do Q|0 g", "q /Fm1 Do Q|0 g", "q /Fm1 Do Q", "q /Fm1 Do Q|0 g",
                            "q /Fm1 Do Q"};
  for (int i = 0; i < 5; ++i) EXPECT_EQ(test::DecodedPageContents(*out, i), expected[i]) << "page " << i + 1;
  EXPECT_EQ(out->GetPage(4)->Get_Resources()->Get_XObject()->Count(), 1u);
}

TEST_F(DriverTest, InheritedResourcesReceiveTheForm) {
  WriteLogo("logo.pdf");
  test::WriteFile(
      dir_.File("in.pdf"),
      test::MakePagesPdf({"/Contents 5 0 R", "/Contents 5 0 R"}, {test::StreamObject("0 g")},
                         "/MediaBox [0 0 400 400] /Resources << /ProcSet [/PDF] >>"));
  ASSERT_TRUE(Run(dir_.File("in.pdf"), dir_.File("out.pdf"), Watermark(dir_.File("logo.pdf"))));
  auto out = OpenOutput(dir_.File("out.pdf"));
  ASSERT_NE(out, nullptr);
  EXPECT_EQ(out->GetPage(0)->Lookup("Resources"), nullptr);  // still inherited
  EXPECT_EQ(test::DecodedPageContents(*out, 0), "q /Fm1 Do Q|0 g");
  EXPECT_EQ(test::DecodedPageContents(*out, 1), "q /Fm1 Do Q|0 g");
  EXPECT_EQ(Text(out->GetPage(1)->Get_Resources()->Get_ProcSet()),
            "[/PDF /ImageB /ImageC /ImageI]");
}

TEST_F(DriverTest, BackwardRangeStampsNothingButRebuildsProcSetsFromItsStart) {
  WriteLogo("logo.pdf");
  WriteInput("in.pdf", 6);
  ASSERT_TRUE(
      Run(dir_.File("in.pdf"), dir_.File("out.pdf"), Watermark(dir_.File("logo.pdf") + ",5,2")));
  auto out = OpenOutput(dir_.File("out.pdf"));
  ASSERT_NE(out, nullptr);
  for (int i = 0; i < 6; ++i) {
    EXPECT_EQ(test::DecodedPageContents(*out, i), "0 g 10 10 50 50 re f") << "page " << i + 1;
    const std::string procSet = Text(out->GetPage(i)->Get_Resources()->Get_ProcSet());
    EXPECT_EQ(procSet, i < 4 ? "[/PDF /Text]" : "[/PDF]") << "page " << i + 1;
  }
}

TEST_F(DriverTest, NegativeLastPageStampsNothing) {
  WriteLogo("logo.pdf");
  WriteInput("in.pdf", 3);
  ASSERT_TRUE(
      Run(dir_.File("in.pdf"), dir_.File("out.pdf"), Watermark(dir_.File("logo.pdf") + ",1,-1")));
  auto out = OpenOutput(dir_.File("out.pdf"));
  ASSERT_NE(out, nullptr);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(test::DecodedPageContents(*out, i), "0 g 10 10 50 50 re f");
    EXPECT_EQ(Text(out->GetPage(i)->Get_Resources()->Get_ProcSet()), "[/PDF]");
  }
}

TEST_F(DriverTest, RangeAndNameWithoutExtension) {
  WriteLogo("logo.pdf");
  WriteInput("in.pdf", 4);
  ASSERT_TRUE(Run(dir_.File("in.pdf"), dir_.File("out.pdf"), Watermark(dir_.File("logo") + ",2,3")))
      << Log();
  auto out = OpenOutput(dir_.File("out.pdf"));
  ASSERT_NE(out, nullptr);
  EXPECT_EQ(test::DecodedPageContents(*out, 0), "0 g 10 10 50 50 re f");
  EXPECT_EQ(test::DecodedPageContents(*out, 1), "q /Fm1 Do Q|0 g 10 10 50 50 re f");
  EXPECT_EQ(test::DecodedPageContents(*out, 2), "q /Fm1 Do Q|0 g 10 10 50 50 re f");
  EXPECT_EQ(test::DecodedPageContents(*out, 3), "0 g 10 10 50 50 re f");
}

TEST_F(DriverTest, NoOptionRewritesInPlace) {
  WriteInput("in.pdf", 2);
  const std::string before = test::ReadFile(dir_.File("in.pdf"));
  ASSERT_TRUE(Run(dir_.File("in.pdf"), dir_.File("in.pdf"), StampOptions{}));
  EXPECT_NE(test::ReadFile(dir_.File("in.pdf")), before);
  auto out = OpenOutput(dir_.File("in.pdf"));
  ASSERT_NE(out, nullptr);
  EXPECT_EQ(Text(out->GetPage(1)->Get_Resources()->Get_ProcSet()), "[/PDF]");
  EXPECT_EQ(Files(), (std::set<std::string>{"in.pdf", "run.log"}));
}

TEST_F(DriverTest, SecondNameOfTheInputIsRewrittenInPlace) {
  WriteLogo("logo.pdf");
  WriteInput("in.pdf", 2);
  const std::string other = dir_.Path() + "/./in.pdf";
  ASSERT_TRUE(Run(dir_.File("in.pdf"), other, Watermark(dir_.File("logo.pdf")))) << Log();
  auto out = OpenOutput(dir_.File("in.pdf"));
  ASSERT_NE(out, nullptr);
  EXPECT_EQ(out->GetPageCount(), 2);
  EXPECT_EQ(test::DecodedPageContents(*out, 1), "q /Fm1 Do Q|0 g 10 10 50 50 re f");
}

// ---- failures
// ------------------------------------------------------------------------------------

TEST_F(DriverTest, MissingInput) {
  EXPECT_FALSE(Run(dir_.File("none.pdf"), dir_.File("out.pdf"), StampOptions{}));
  EXPECT_EQ(Log(), "%[ Error: file not found: " + dir_.File("none.pdf") + " ]%\n");
  EXPECT_EQ(Files(), std::set<std::string>{"run.log"});
}

TEST_F(DriverTest, InputThatIsNotAPdf) {
  test::WriteFile(dir_.File("in.pdf"), "just text\n");
  EXPECT_FALSE(Run(dir_.File("in.pdf"), dir_.File("out.pdf"), StampOptions{}));
  const std::string log = Log();
  EXPECT_EQ(
      log.rfind("%[ Error: cannot open PDF Document: " + dir_.File("in.pdf") + " ]%\nModule: CPDF",
                0),
      0u)
      << log;
  EXPECT_NE(log.find("\nMethod: "), std::string::npos);
  EXPECT_NE(log.find("\nType: "), std::string::npos);
  EXPECT_NE(log.find("\nFactor: "), std::string::npos);
  EXPECT_EQ(test::ReadFile(dir_.File("in.pdf")), "just text\n");
  EXPECT_EQ(Files(), (std::set<std::string>{"in.pdf", "run.log"}));
}

TEST_F(DriverTest, MissingWatermarkNamesTheFileAndDropsTheOutput) {
  WriteInput("in.pdf", 2);
  const std::string before = test::ReadFile(dir_.File("in.pdf"));
  EXPECT_FALSE(Run(dir_.File("in.pdf"), dir_.File("out.pdf"), Watermark(dir_.File("nologo"))));
  EXPECT_EQ(Log(), "%[ Error: file not found: " + dir_.File("nologo.pdf") + " ]%\n");
  EXPECT_EQ(test::ReadFile(dir_.File("in.pdf")), before);
  EXPECT_EQ(Files(), (std::set<std::string>{"in.pdf", "run.log"}));
}

TEST_F(DriverTest, FailureKeepsAnOutputThatWasThereBefore) {
  WriteInput("in.pdf", 2);
  test::WriteFile(dir_.File("out.pdf"), "an older file of the user");
  EXPECT_FALSE(Run(dir_.File("in.pdf"), dir_.File("out.pdf"), Watermark(dir_.File("nologo.pdf"))));
  // The run never put anything under that name, so it has nothing to take back.
  EXPECT_EQ(test::ReadFile(dir_.File("out.pdf")), "an older file of the user");
  EXPECT_EQ(Files(), (std::set<std::string>{"in.pdf", "out.pdf", "run.log"}));
}

TEST_F(DriverTest, FailureInPlaceKeepsTheInput) {
  WriteInput("in.pdf", 2);
  const std::string before = test::ReadFile(dir_.File("in.pdf"));
  EXPECT_FALSE(Run(dir_.File("in.pdf"), dir_.File("in.pdf"), Watermark(dir_.File("nologo.pdf"))));
  EXPECT_EQ(test::ReadFile(dir_.File("in.pdf")), before);
  EXPECT_EQ(Files(), (std::set<std::string>{"in.pdf", "run.log"}));
}

TEST_F(DriverTest, WatermarkThatIsNotAPdf) {
  WriteInput("in.pdf", 1);
  test::WriteFile(dir_.File("logo.pdf"), "%PDF-1.4\nnothing else\n");
  EXPECT_FALSE(Run(dir_.File("in.pdf"), dir_.File("out.pdf"), Watermark(dir_.File("logo.pdf"))));
  const std::string log = Log();
  EXPECT_EQ(
      log.rfind("%[ Error: cannot open PDF Document: " + dir_.File("logo.pdf") + " ]%\nModule: ",
                0),
      0u)
      << log;
  EXPECT_EQ(Files(), (std::set<std::string>{"in.pdf", "logo.pdf", "run.log"}));
}

TEST_F(DriverTest, WatermarkWithoutPages) {
  WriteInput("in.pdf", 1);
  test::WriteFile(dir_.File("logo.pdf"), test::MakePagesPdf({}));
  EXPECT_FALSE(Run(dir_.File("in.pdf"), dir_.File("out.pdf"), Watermark(dir_.File("logo.pdf"))));
  const std::string log = Log();
  EXPECT_EQ(log.rfind("%[ Error: cannot get PDF Page: 1 ]%\nModule: ", 0), 0u) << log;
  EXPECT_EQ(Files(), (std::set<std::string>{"in.pdf", "logo.pdf", "run.log"}));
}

TEST_F(DriverTest, PageWithoutMediaBoxIsTakenAsLetter) {
  test::WriteFile(dir_.File("in.pdf"), test::MakePagesPdf({"/Resources << >>"}));
  EXPECT_TRUE(Run(dir_.File("in.pdf"), dir_.File("out.pdf"), StampOptions{})) << Log();
  EXPECT_NE(Log().find("MediaBox of page 1 is missing or empty: US Letter assumed"),
            std::string::npos)
      << Log();
}

TEST_F(DriverTest, PageWithoutResourcesGetsItsOwnWhenStamped) {
  // Readers take a missing resource dictionary as an empty one.
  test::WriteFile(dir_.File("in.pdf"), test::MakePagesPdf({"/MediaBox [0 0 10 10]"}));
  EXPECT_TRUE(Run(dir_.File("in.pdf"), dir_.File("plain.pdf"), StampOptions{})) << Log();
  EXPECT_EQ(test::ReadFile(dir_.File("plain.pdf")).find("/Resources"), std::string::npos);
  StampOptions numbered;
  numbered.numberingOn = true;
  EXPECT_TRUE(Run(dir_.File("in.pdf"), dir_.File("out.pdf"), numbered)) << Log();
  const std::string out = test::ReadFile(dir_.File("out.pdf"));
  EXPECT_NE(out.find("/Resources"), std::string::npos);
  EXPECT_NE(out.find("/Helvetica"), std::string::npos);
}

TEST_F(DriverTest, OutputThatIsADirectory) {
  WriteInput("in.pdf", 1);
  ASSERT_EQ(mkdir(dir_.File("out").c_str(), 0755), 0);
  const std::string before = test::ReadFile(dir_.File("in.pdf"));
  EXPECT_FALSE(Run(dir_.File("in.pdf"), dir_.File("out"), StampOptions{}));
  // A name that stands for a directory is refused before anything is written, with one line.
  EXPECT_EQ(Log(), "%[ Error: output is not a regular file: " + dir_.File("out") + " ]%\n");
  struct stat info {};
  EXPECT_EQ(stat(dir_.File("out").c_str(), &info), 0);
  EXPECT_TRUE(S_ISDIR(info.st_mode));
  EXPECT_EQ(test::ReadFile(dir_.File("in.pdf")), before);
  EXPECT_EQ(Files(), (std::set<std::string>{"in.pdf", "out", "run.log"}));
}

TEST_F(DriverTest, OutputInAMissingDirectory) {
  WriteInput("in.pdf", 1);
  EXPECT_FALSE(Run(dir_.File("in.pdf"), dir_.File("no/such/out.pdf"), StampOptions{}));
  EXPECT_NE(Log().find("%[ Error: cannot save PDF Document: "), std::string::npos);
  EXPECT_EQ(Files(), (std::set<std::string>{"in.pdf", "run.log"}));
}

TEST_F(DriverTest, UnwritableExistingOutputIsLeftAlone) {
  if (geteuid() == 0) GTEST_SKIP() << "permissions do not apply to root";
  WriteInput("in.pdf", 1);
  test::WriteFile(dir_.File("out.pdf"), "keep me");
  ASSERT_EQ(chmod(dir_.File("out.pdf").c_str(), 0444), 0);
  EXPECT_FALSE(Run(dir_.File("in.pdf"), dir_.File("out.pdf"), StampOptions{}));
  EXPECT_EQ(test::ReadFile(dir_.File("out.pdf")), "keep me");
}

TEST_F(DriverTest, NumberingRangeDefaultsForRangeResolution) {
  CPDFDriver driver(lib_, app_);
  StampOptions options;
  driver.SetOptions(options);
  EXPECT_FALSE(driver.Numbering().on);
  EXPECT_EQ(driver.Numbering().firstPage, 0);
  EXPECT_EQ(driver.Numbering().lastPage, 0);
  options.numberingOn = true;
  driver.SetOptions(options);
  EXPECT_TRUE(driver.Numbering().on);
  EXPECT_EQ(driver.Numbering().firstPage, 1);
  EXPECT_EQ(driver.Numbering().lastPage, 0);
}

}  // namespace
}  // namespace quarn
