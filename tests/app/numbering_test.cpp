// Page numbering: the option values, the number text, the placement arithmetic, and the driver
// stamping numbers into real documents.
#include "app/numbering.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <memory>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "app/driver.h"
#include "app/page_view.h"
#include "app/zorvane_app.h"
#include "pdf/document/doc.h"
#include "pdf/document/pages.h"
#include "pdf/document/res_dict.h"
#include "pdf/library/pdf_lib.h"
#include "pdf/stream/stream.h"
#include "support/documents.h"
#include "support/files.h"
#include "support/pdf_builder.h"

namespace quarn {
namespace {

// ---- -nbp ---------------------------------------------------------------------------------------

struct PagesCase {
  const char* value;
  int firstPage, lastPage, initial;
};

class NumberingPagesParse : public ::testing::TestWithParam<PagesCase> {};

TEST_P(NumberingPagesParse, MissingPartsKeepTheirDefaults) {
  const PagesCase& c = GetParam();
  const NumberingPages pages = ParseNumberingPagesOption(c.value);
  EXPECT_EQ(pages.firstPage, c.firstPage);
  EXPECT_EQ(pages.lastPage, c.lastPage);
  EXPECT_EQ(pages.initial, c.initial);
}

// Decimal conversion: leading digits count, text without digits is 0; a first page below one
// is one.
INSTANTIATE_TEST_SUITE_P(
    Values, NumberingPagesParse,
    ::testing::Values(PagesCase{"", 1, 0, 1}, PagesCase{"3", 3, 0, 1}, PagesCase{",,7", 1, 0, 7},
                      PagesCase{"3,5,10", 3, 5, 10}, PagesCase{"0", 1, 0, 1},
                      PagesCase{"-4,2", 1, 2, 1}, PagesCase{"1,-1", 1, -1, 1},
                      PagesCase{"2x,abc,+5y", 2, 0, 5}));

TEST(NumberingPagesOption, PagesOfTheRangeCountOnFromTheInitialNumber) {
  // Pages 3, 4 and 5 of "3,5,10" get 10, 11 and 12.
  EXPECT_EQ(PageNumberValue(3, 3, 10), 10);
  EXPECT_EQ(PageNumberValue(4, 3, 10), 11);
  EXPECT_EQ(PageNumberValue(5, 3, 10), 12);
}

TEST(NumberingPagesOption, HugeInitialNumberDoesNotWrap) {
  const NumberingPages pages = ParseNumberingPagesOption("1,0,2147483647");
  EXPECT_EQ(pages.initial, 2147483647);
  EXPECT_EQ(PageNumberValue(3, 1, pages.initial), 2147483649LL);
  EXPECT_EQ(NumberText(PageNumberValue(3, 1, pages.initial), NumberStyle::kDecimal), "2147483649");
}

// ---- -nbf ---------------------------------------------------------------------------------------

TEST(NumberFormatOption, DefaultsForAnEmptyValue) {
  const NumberFormatSettings settings = ParseNumberFormatOption("");
  EXPECT_EQ(settings.style, NumberStyle::kDecimal);
  EXPECT_EQ(settings.format, "%s");
  EXPECT_EQ(settings.fontName, "Helvetica");
  EXPECT_EQ(settings.fontSize, 9.0f);
}

TEST(NumberFormatOption, TypeComparesExactly) {
  EXPECT_EQ(ParseNumberFormatOption("n").style, NumberStyle::kDecimal);
  EXPECT_EQ(ParseNumberFormatOption("R").style, NumberStyle::kUpperRoman);
  EXPECT_EQ(ParseNumberFormatOption("r").style, NumberStyle::kLowerRoman);
  EXPECT_EQ(ParseNumberFormatOption("RR").style, NumberStyle::kDecimal);
  EXPECT_EQ(ParseNumberFormatOption("N").style, NumberStyle::kDecimal);
  EXPECT_EQ(ParseNumberFormatOption(",%s").style, NumberStyle::kDecimal);
}

TEST(NumberFormatOption, FormatFieldIsUsedUnchanged) {
  EXPECT_EQ(ParseNumberFormatOption("n,Page %s").format, "Page %s");
  EXPECT_EQ(ParseNumberFormatOption("n,- %s -,H").format, "- %s -");
  EXPECT_EQ(ParseNumberFormatOption("n,,H").format, "%s");
}

TEST(NumberFormatOption, FontAbbreviationsAndOtherNames) {
  EXPECT_EQ(ParseNumberFormatOption("n,%s,HB").fontName, "Helvetica-Bold");
  EXPECT_EQ(ParseNumberFormatOption("n,%s,").fontName, "Helvetica");
  const std::vector<std::pair<std::string, std::string>> table = {{"C", "Courier"},
                                                                  {"CB", "Courier-Bold"},
                                                                  {"CBO", "Courier-BoldOblique"},
                                                                  {"CO", "Courier-Oblique"},
                                                                  {"H", "Helvetica"},
                                                                  {"HB", "Helvetica-Bold"},
                                                                  {"HBO", "Helvetica-BoldOblique"},
                                                                  {"HO", "Helvetica-Oblique"},
                                                                  {"T", "Times-Roman"},
                                                                  {"TB", "Times-Bold"},
                                                                  {"TI", "Times-Italic"},
                                                                  {"TBI", "Times-BoldItalic"}};
  for (const auto& [abbreviation, full] : table) EXPECT_EQ(NumberFontName(abbreviation), full);
  // Other names have their dashes turned into commas, the TrueType style form.
  EXPECT_EQ(NumberFontName("Arial-Bold"), "Arial,Bold");
  EXPECT_EQ(NumberFontName("Times-Roman"), "Times,Roman");
  EXPECT_EQ(NumberFontName("hb"), "hb");
  EXPECT_EQ(NumberFontName("Symbol"), "Symbol");
}

TEST(NumberFormatOption, SizeZeroOrBelowOrNotANumberBecomesNine) {
  EXPECT_EQ(ParseNumberFormatOption("n,%s,H,12.5").fontSize, 12.5f);
  EXPECT_EQ(ParseNumberFormatOption("n,%s,H,-3").fontSize, 9.0f);
  EXPECT_EQ(ParseNumberFormatOption("n,%s,H,0").fontSize, 9.0f);
  EXPECT_EQ(ParseNumberFormatOption("n,%s,H,big").fontSize, 9.0f);
  EXPECT_EQ(ParseNumberFormatOption("n,%s,H,20pt").fontSize, 20.0f);
  // Values that would write "nan" or "inf" into the content stream.
  EXPECT_EQ(ParseNumberFormatOption("n,%s,H,nan").fontSize, 9.0f);
  EXPECT_EQ(ParseNumberFormatOption("n,%s,H,inf").fontSize, 9.0f);
  EXPECT_EQ(ParseNumberFormatOption("n,%s,H,1e60").fontSize, 9.0f);
}

// ---- -nbs ---------------------------------------------------------------------------------------

TEST(NumberPlacementOption, AbsentOrEmptyIsBottomCentreFiveMillimetresUp) {
  for (const std::optional<std::string>& value :
       {std::optional<std::string>(), std::optional<std::string>("")}) {
    const NumberPlacement placement = ParseNumberPlacementOption(value);
    EXPECT_EQ(placement.location, 8);
    EXPECT_EQ(placement.offsetX, 0.0f);
    EXPECT_EQ(placement.offsetY, 14.173228f);
  }
}

TEST(NumberPlacementOption, GivenValueStartsFromZeroOffsets) {
  NumberPlacement placement = ParseNumberPlacementOption(std::string("3"));
  EXPECT_EQ(placement.location, 3);
  EXPECT_EQ(placement.offsetX, 0.0f);
  EXPECT_EQ(placement.offsetY, 0.0f);
  placement = ParseNumberPlacementOption(std::string("5,10,-2.5"));
  EXPECT_EQ(placement.location, 5);
  EXPECT_EQ(placement.offsetX, static_cast<float>(10 * 2.834645711863446));
  EXPECT_EQ(placement.offsetY, static_cast<float>(-2.5 * 2.834645711863446));
  EXPECT_NEAR(placement.offsetX, 28.34646, 1e-4);
}

TEST(NumberPlacementOption, LocationOutsideOneToEightIsEight) {
  EXPECT_EQ(ParseNumberPlacementOption(std::string("0")).location, 8);
  EXPECT_EQ(ParseNumberPlacementOption(std::string("9")).location, 8);
  EXPECT_EQ(ParseNumberPlacementOption(std::string("-1,3,3")).location, 8);
  EXPECT_EQ(ParseNumberPlacementOption(std::string(",3,3")).location, 8);
  for (int location = 1; location <= 8; ++location) {
    EXPECT_EQ(ParseNumberPlacementOption(std::to_string(location)).location, location);
  }
}

TEST(NumberPlacementOption, OffsetsThatAreNotNumbersAreZero) {
  const NumberPlacement placement = ParseNumberPlacementOption(std::string("1,nan,inf"));
  EXPECT_EQ(placement.offsetX, 0.0f);
  EXPECT_EQ(placement.offsetY, 0.0f);
}

// ---- number text --------------------------------------------------------------------------------

TEST(NumberTextStyle, RomanNumerals) {
  EXPECT_EQ(NumberText(1999, NumberStyle::kUpperRoman), "MCMXCIX");
  EXPECT_EQ(NumberText(1999, NumberStyle::kLowerRoman), "mcmxcix");
  EXPECT_EQ(RomanNumeral(1, false), "I");
  EXPECT_EQ(RomanNumeral(4, false), "IV");
  EXPECT_EQ(RomanNumeral(14, false), "XIV");
  EXPECT_EQ(RomanNumeral(40, false), "XL");
  EXPECT_EQ(RomanNumeral(90, false), "XC");
  EXPECT_EQ(RomanNumeral(400, false), "CD");
  EXPECT_EQ(RomanNumeral(2024, false), "MMXXIV");
  EXPECT_EQ(RomanNumeral(3888, true), "mmmdccclxxxviii");
  // Thousands are as many "M" as the digit says, up to nine.
  EXPECT_EQ(RomanNumeral(9999, false), "MMMMMMMMMCMXCIX");
}

TEST(NumberTextStyle, RomanOutsideOneToNineThousandNineHundredNinetyNineIsEmpty) {
  EXPECT_EQ(NumberText(10000, NumberStyle::kUpperRoman), "");
  EXPECT_EQ(NumberText(10000, NumberStyle::kLowerRoman), "");
  EXPECT_EQ(NumberText(0, NumberStyle::kUpperRoman), "");
  EXPECT_EQ(NumberText(-3, NumberStyle::kLowerRoman), "");
}

TEST(NumberTextStyle, DecimalIncludingZeroAndNegative) {
  EXPECT_EQ(NumberText(1, NumberStyle::kDecimal), "1");
  EXPECT_EQ(NumberText(10000, NumberStyle::kDecimal), "10000");
  EXPECT_EQ(NumberText(0, NumberStyle::kDecimal), "0");
  EXPECT_EQ(NumberText(-7, NumberStyle::kDecimal), "-7");
}

TEST(NumberFormatApply, PrintfRulesForOneString) {
  EXPECT_EQ(ApplyNumberFormat("Page %s", "4"), "Page 4");
  EXPECT_EQ(ApplyNumberFormat("%s", "12"), "12");
  EXPECT_EQ(ApplyNumberFormat("- %s - 100%%", "IV"), "- IV - 100%");
  EXPECT_EQ(ApplyNumberFormat("no number", "4"), "no number");
  EXPECT_EQ(ApplyNumberFormat("", "4"), "");
  EXPECT_EQ(ApplyNumberFormat("[%5s]", "12"), "[   12]");
  EXPECT_EQ(ApplyNumberFormat("[%-5s]", "12"), "[12   ]");
  EXPECT_EQ(ApplyNumberFormat("[%05s]", "12"), "[   12]");
  EXPECT_EQ(ApplyNumberFormat("[%+ #s]", "12"), "[12]");
  EXPECT_EQ(ApplyNumberFormat("[%.1s]", "123"), "[1]");
  EXPECT_EQ(ApplyNumberFormat("[%.s]", "123"), "[]");
  EXPECT_EQ(ApplyNumberFormat("[%-6.2s]", "123"), "[12    ]");
  EXPECT_EQ(ApplyNumberFormat("[%1s]", "123"), "[123]");
  EXPECT_EQ(ApplyNumberFormat("Page %1$s of %2$s", "3", "12"), "Page 3 of 12");
  EXPECT_EQ(ApplyNumberFormat("%2$s-%1$s-%1$s", "iv", "x"), "x-iv-iv");
  EXPECT_EQ(ApplyNumberFormat("[%1$3s|%2$-3s|%2$.1s]", "7", "12"), "[  7|12 |1]");
  EXPECT_EQ(ApplyNumberFormat("%2$s", "3"), "");
}

// Texts are kept whole whatever their length, and their bytes are handed on unchanged (they are
// in the host's multibyte encoding, which only the font interprets).
TEST(NumberFormatApply, LongAndNonAsciiTextsAreKeptWhole) {
  const std::string prefix(1000, 'x');
  const std::optional<std::string> text = ApplyNumberFormat(prefix + "%s", "12");
  ASSERT_TRUE(text);
  EXPECT_EQ(*text, prefix + "12");
  EXPECT_EQ(ApplyNumberFormat("\x83y\x81[\x83W %s", "3"), "\x83y\x81[\x83W 3");
  EXPECT_EQ(ApplyNumberFormat("%300s", "7")->size(), 300u);
  const std::string font(400, 'F');
  EXPECT_EQ(ParseNumberFormatOption("n,%s," + font + ",10").fontName, font);
}

TEST(NumberFormatApply, FormatsThatReadOtherArgumentsGiveNothing) {
  EXPECT_EQ(ApplyNumberFormat("%d", "4"), std::nullopt);
  EXPECT_EQ(ApplyNumberFormat("%s%s", "4"), std::nullopt);
  EXPECT_EQ(ApplyNumberFormat("%1$s of %s", "4", "9"), std::nullopt);
  EXPECT_EQ(ApplyNumberFormat("%3$s", "4", "9"), std::nullopt);
  EXPECT_EQ(ApplyNumberFormat("%n", "4"), std::nullopt);
  EXPECT_EQ(ApplyNumberFormat("100%", "4"), std::nullopt);
  EXPECT_EQ(ApplyNumberFormat("%*s", "4"), std::nullopt);
  EXPECT_EQ(ApplyNumberFormat("%99999s", "4"), std::nullopt);
}

// ---- placement ----------------------------------------------------------------------------------

TEST(NumberSpread, EverySecondPageIsMirrored) {
  NumberPlacement configured;
  configured.location = 1;
  configured.offsetX = 5.0f;
  configured.offsetY = 7.0f;
  // The first, third, ... numbered pages keep the place; the others are mirrored.
  for (int32_t page = 3; page <= 8; ++page) {
    const NumberPlacement placement = PlacementForPage(configured, true, page, 3);
    const bool second = (page - 3) % 2 == 1;
    EXPECT_EQ(placement.location, second ? 7 : 1) << page;
    EXPECT_EQ(placement.offsetX, second ? -5.0f : 5.0f) << page;
    EXPECT_EQ(placement.offsetY, 7.0f) << page;
  }
  const std::vector<std::pair<int32_t, int32_t>> mirror = {{1, 7}, {2, 6}, {3, 5}, {4, 4},
                                                           {5, 3}, {6, 2}, {7, 1}, {8, 8}};
  for (const auto& [location, mirrored] : mirror) {
    configured.location = location;
    EXPECT_EQ(PlacementForPage(configured, true, 2, 1).location, mirrored);
    EXPECT_EQ(PlacementForPage(configured, false, 2, 1).location, location);
    EXPECT_EQ(PlacementForPage(configured, false, 2, 1).offsetX, 5.0f);
  }
}

// The rule as the placement states it, in extended precision with float constants, for checking
// that each location picks the right horizontal and vertical rule.
float Rounded(long double value) { return static_cast<float>(value); }

struct Expectation {
  int32_t location;
  float x;
  float y;
};

TEST(NumberPlace, EightLocations) {
  const PageFrame box{0.0f, 0.0f, 612.0f, 792.0f};
  const float s = 9.0f;
  const TextMetrics metrics{1112, 718, -207};  // "10" in Helvetica
  const long double half = 0.5f, milli = 0.001f;
  const float left = 0.0f;
  const float centre = Rounded(612.0L * half - 1112.0L * half * s * milli);
  const float right = Rounded(612.0L - s * 1112.0L * milli);
  const float bottom = Rounded(-s * -207.0L * milli);
  const float middle = Rounded(792.0L * half - s * (718.0L * half) * milli);
  const float top = Rounded(792.0L - s * 718.0L * milli);
  const std::vector<Expectation> expected = {
      {1, left, bottom}, {2, left, middle},  {3, left, top},     {4, centre, top},
      {5, right, top},   {6, right, middle}, {7, right, bottom}, {8, centre, bottom}};
  for (const Expectation& e : expected) {
    NumberPlacement placement;
    placement.location = e.location;
    placement.offsetX = 0.0f;
    placement.offsetY = 0.0f;
    const TextPosition position = PlaceNumber(box, s, metrics, placement);
    EXPECT_EQ(position.x, e.x) << "location " << e.location;
    EXPECT_EQ(position.y, e.y) << "location " << e.location;
  }
  // The same numbers worked out by hand.
  EXPECT_NEAR(centre, 300.996, 1e-3);  // 306 - 1112 * 9 / 2000
  EXPECT_NEAR(right, 601.992, 1e-3);   // 612 - 10.008
  EXPECT_NEAR(bottom, 1.863, 1e-4);
  EXPECT_NEAR(middle, 392.769, 1e-3);
  EXPECT_NEAR(top, 785.538, 1e-3);
}

// Worked in 32-bit floats step by step, this centre comes out one float step away from the
// extended-precision result.
TEST(NumberPlace, ArithmeticRunsInExtendedPrecision) {
  NumberPlacement placement;
  placement.offsetY = 0.0f;
  const TextPosition position = PlaceNumber(PageFrame{0.0f, 0.0f, 100.0f, 300.0f}, 12.0f,
                                            TextMetrics{114, 718, -207}, placement);
  volatile float w = 114.0f, s = 12.0f, half = 0.5f, milli = 0.001f;
  volatile float product = w * half;
  product = product * s;
  product = product * milli;
  volatile float inFloats = 100.0f * half;
  inFloats = inFloats - product;
  const float extended = Rounded(100.0L * 0.5L - 114.0L * static_cast<long double>(0.5f) * 12.0L *
                                                     static_cast<long double>(0.001f));
  ASSERT_NE(extended, inFloats);
  EXPECT_EQ(position.x, extended);
}

TEST(NumberPlace, DefaultPlaceIsFiveMillimetresPlusTheDescentAboveTheBottom) {
  const PageFrame box{0.0f, 0.0f, 400.0f, 300.0f};
  const TextPosition position =
      PlaceNumber(box, 9.0f, TextMetrics{556, 718, -207}, NumberPlacement{});
  EXPECT_NEAR(position.x, 200.0 - 556 * 9 / 2000.0, 1e-4);
  EXPECT_NEAR(position.y, 14.173228 + 1.863, 1e-4);
}

TEST(NumberPlace, OffsetsAreAddedAfterTheEdgeRule) {
  const PageFrame box{0.0f, 0.0f, 400.0f, 300.0f};
  NumberPlacement placement;
  placement.location = 5;
  placement.offsetX = -10.0f;
  placement.offsetY = -20.0f;
  const TextMetrics metrics{1000, 700, -200};
  const TextPosition position = PlaceNumber(box, 10.0f, metrics, placement);
  EXPECT_NEAR(position.x, 400.0 - 10.0 - 10.0, 1e-4);
  EXPECT_NEAR(position.y, 300.0 - 7.0 - 20.0, 1e-4);
}

TEST(NumberPlace, UnmeasurableTextGoesToTheCornerWithoutOffsets) {
  NumberPlacement placement;
  placement.offsetX = 30.0f;
  placement.offsetY = 40.0f;
  const PageFrame box{0.0f, 0.0f, 400.0f, 300.0f};
  TextPosition position = PlaceNumber(box, 9.0f, TextMetrics{-1, 718, -207}, placement);
  EXPECT_EQ(position.x, 0.0f);
  EXPECT_EQ(position.y, 0.0f);
  position = PlaceNumber(box, 9.0f, TextMetrics{556, std::nullopt, -207}, placement);
  EXPECT_EQ(position.x, 0.0f);
  EXPECT_EQ(position.y, 0.0f);
  position = PlaceNumber(box, 9.0f, TextMetrics{556, 718, std::nullopt}, placement);
  EXPECT_EQ(position.x, 0.0f);
  EXPECT_EQ(position.y, 0.0f);
  // With the box elsewhere, its lower-left corner.
  position = PlaceNumber(PageFrame{50.0f, 60.0f, 400.0f, 300.0f}, 9.0f, TextMetrics{}, placement);
  EXPECT_EQ(position.x, 50.0f);
  EXPECT_EQ(position.y, 60.0f);
}

TEST(NumberPlace, BoxNotAtTheOriginMovesTheNumberWithIt) {
  const TextMetrics metrics{1668, 718, -207};
  for (int32_t location = 1; location <= 8; ++location) {
    NumberPlacement placement;
    placement.location = location;
    placement.offsetX = 3.0f;
    const TextPosition atOrigin =
        PlaceNumber(PageFrame{0.0f, 0.0f, 500.0f, 400.0f}, 12.0f, metrics, placement);
    const TextPosition moved =
        PlaceNumber(PageFrame{100.0f, -50.0f, 500.0f, 400.0f}, 12.0f, metrics, placement);
    EXPECT_FLOAT_EQ(moved.x, atOrigin.x + 100.0f) << location;
    EXPECT_FLOAT_EQ(moved.y, atOrigin.y - 50.0f) << location;
  }
}

TEST(NumberPlacementOption, OnlyAGivenLocationOutsideOneToEightIsReported) {
  for (const char* value : {"0", "9", "-1,3,3", " 12 ,0,0", "x"}) {
    EXPECT_TRUE(PlacementLocationOutOfRange(value)) << value;
  }
  for (const char* value : {"", ",3,3", " ,1", "1", "8,-5,5", " 4 "}) {
    EXPECT_FALSE(PlacementLocationOutOfRange(value)) << value;
  }
}

// Whether a number (Helvetica "12" at 10 pt: 556 wide per digit, Ascent 718, Descent -207) set at
// a position overlaps the 400 x 300 box at (50, 60).
struct MeetsCase {
  float x, y;
  TextMetrics metrics;
  bool meets;
};

class NumberMeetsFrameTest : public ::testing::TestWithParam<MeetsCase> {};

TEST_P(NumberMeetsFrameTest, TextBoxAgainstTheFrame) {
  const MeetsCase& c = GetParam();
  const PageFrame box{50.0f, 60.0f, 400.0f, 300.0f};
  EXPECT_EQ(NumberMeetsFrame(box, 10.0f, c.metrics, TextPosition{c.x, c.y}), c.meets)
      << c.x << "," << c.y;
}

const TextMetrics kTwoDigits{1112, 718, -207};

INSTANTIATE_TEST_SUITE_P(
    Positions, NumberMeetsFrameTest,
    ::testing::Values(
        MeetsCase{200, 70, kTwoDigits, true},
        // Left of the box: the text ends 11.12 pt after its start.
        MeetsCase{38.9f, 70, kTwoDigits, true}, MeetsCase{38.8f, 70, kTwoDigits, false},
        MeetsCase{450, 70, kTwoDigits, false}, MeetsCase{449, 70, kTwoDigits, true},
        // Below: the ascent reaches 7.18 pt above the baseline.
        MeetsCase{200, 52.9f, kTwoDigits, true}, MeetsCase{200, 52.8f, kTwoDigits, false},
        // Above: the descent reaches 2.07 pt below it.
        MeetsCase{200, 362, kTwoDigits, true}, MeetsCase{200, 362.1f, kTwoDigits, false},
        // Text that cannot be measured, or has no width, is not judged.
        MeetsCase{-999, -999, TextMetrics{-1, 718, -207}, true},
        MeetsCase{-999, -999, TextMetrics{0, 718, -207}, true},
        MeetsCase{-999, -999, TextMetrics{1112, std::nullopt, -207}, true},
        // No height from the descriptor: the font size above the baseline.
        MeetsCase{200, 51, TextMetrics{1112, 0, 0}, true},
        MeetsCase{200, 49, TextMetrics{1112, 0, 0}, false}));

// A watermark box carried by its matrices against the visible box (50, 60) to (450, 360).
TEST(WatermarkMeetsView, CarriedBoxAgainstTheVisibleBox) {
  PageView view;
  view.llx = 50;
  view.lly = 60;
  view.width = 400;
  view.height = 300;
  EXPECT_TRUE(BoxMeetsView(view, 0, 0, 200, 100, {1, 0, 0, 1, 150, 160}));
  EXPECT_TRUE(BoxMeetsView(view, 0, 0, 200, 100, {1, 0, 0, 1, -149, 0}));
  EXPECT_FALSE(BoxMeetsView(view, 0, 0, 200, 100, {1, 0, 0, 1, -150, 0}));
  EXPECT_FALSE(BoxMeetsView(view, 0, 0, 200, 100, {1, 0, 0, 1, 450, 100}));
  EXPECT_FALSE(BoxMeetsView(view, 0, 0, 200, 100, {1, 0, 0, 1, 100, 360}));
  // Turned a quarter: the box stands 100 wide and 200 high, its right edge at x = e.
  EXPECT_FALSE(BoxMeetsView(view, 0, 0, 200, 100, {0, 1, -1, 0, -40, 100}));
  EXPECT_TRUE(BoxMeetsView(view, 0, 0, 200, 100, {0, 1, -1, 0, 60, 100}));
  // A matrix of a zero-wide form stretched to the page: nothing finite is drawn.
  EXPECT_FALSE(BoxMeetsView(view, 0, 0, 200, 100, {INFINITY, 0, 0, 1, 0, 0}));
}

// ---- the driver ---------------------------------------------------------------------------------

// Runs the driver on documents written here and reads its output back.
class NumberingDriverTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(app_.Init(log_.c_str(), nullptr)); }

  // `count` pages of `box`, each with its own resources (holding `fonts` as its Font entry) and
  // its own content.
  void WriteInput(int count, const std::string& box = "[0 0 400 300]",
                  const std::string& fonts = "") {
    std::vector<std::string> pages;
    std::vector<std::string> extra;
    for (int i = 0; i < count; ++i) {
      const std::string resources = fonts.empty() ? "<< >>" : "<< /Font " + fonts + " >>";
      pages.push_back("/MediaBox " + box + " /Resources " + resources + " /Contents " +
                      std::to_string(3 + count + i) + " 0 R");
      extra.push_back(test::StreamObject("0 g 10 10 50 50 re f"));
    }
    test::WriteFile(input_, test::MakePagesPdf(pages, extra));
  }

  // `count` pages that all inherit one resource dictionary from the page tree.
  void WriteSharedResourcesInput(int count) {
    std::vector<std::string> pages(count, "/Contents " + std::to_string(3 + count) + " 0 R");
    test::WriteFile(input_,
                    test::MakePagesPdf(pages, {test::StreamObject("0 g 10 10 50 50 re f")},
                                       "/MediaBox [0 0 400 300] /Resources << /ProcSet [/PDF] >>"));
  }

  bool Run(const StampOptions& options) {
    CPDFDriver driver(lib_, app_);
    driver.SetOptions(options);
    return driver.Process(input_, output_);
  }

  static StampOptions Numbering(const char* pages = nullptr, const char* format = nullptr,
                                const char* placement = nullptr, bool spread = false) {
    StampOptions options;
    options.numberingOn = true;
    if (pages) options.numberingPagesSpec = pages;
    if (format) options.numberFormatSpec = format;
    if (placement) options.numberPlacementSpec = placement;
    options.spread = spread;
    return options;
  }

  std::unique_ptr<CPDFDoc> OpenOutput() {
    CPDFErrorRecord error;
    auto doc = lib_.OpenDoc(output_, nullptr, error);
    EXPECT_NE(doc, nullptr) << error.Message();
    return doc;
  }

  // The text object drawn on a page: font name, size, x, y and the shown string.
  struct DrawnNumber {
    std::string font;
    double size = 0;
    double x = 0;
    double y = 0;
    std::string text;
  };
  static std::optional<DrawnNumber> NumberOn(CPDFDoc& doc, int index) {
    static const std::regex kTextObject(
        R"(q BT /(\S+) (\S+) Tf (\S+) (\S+) Td \(((?:[^\\)]|\\.)*)\) Tj ET Q)");
    const std::string contents = test::DecodedPageContents(doc, index);
    std::smatch match;
    if (!std::regex_search(contents, match, kTextObject)) return std::nullopt;
    return DrawnNumber{match[1], std::stod(match[2]), std::stod(match[3]), std::stod(match[4]),
                       match[5]};
  }

  static CPDFDict* FontOf(CPDFDoc& doc, int index, const std::string& name) {
    CPDFPage* page = doc.GetPage(index);
    if (!page || !page->Get_Resources()) return nullptr;
    return AsDict(page->Get_Resources()->FindResource("Font", name));
  }

  static std::string NameValue(CPDFDoc& doc, CPDFDict* dict, const char* key) {
    const CPDFName* name =
        dict ? dynamic_cast<const CPDFName*>(dict->GetValue(&doc, key)) : nullptr;
    return name ? name->Str() : std::string();
  }

  std::string Log() { return test::ReadFile(log_); }

  test::TempDir dir_;
  std::string input_ = dir_.File("in.pdf");
  std::string output_ = dir_.File("out.pdf");
  std::string log_ = dir_.File("run.log");
  CZorvaneApp app_{stderr};
  CPDFLib lib_;
};

TEST_F(NumberingDriverTest, EveryPageGetsItsNumberAtTheBottomCentre) {
  WriteInput(10);
  ASSERT_TRUE(Run(Numbering())) << Log();
  auto doc = OpenOutput();
  ASSERT_NE(doc, nullptr);
  for (int i = 0; i < 10; ++i) {
    const auto drawn = NumberOn(*doc, i);
    ASSERT_TRUE(drawn) << test::DecodedPageContents(*doc, i);
    EXPECT_EQ(drawn->text, std::to_string(i + 1));
    EXPECT_EQ(drawn->font, "F1");
    EXPECT_EQ(drawn->size, 9.0);
    // Helvetica digits are 556 wide; the baseline is 5 mm plus the descent depth up.
    EXPECT_NEAR(drawn->x, 200.0 - 556.0 * drawn->text.size() * 9 / 2000, 1e-4);
    EXPECT_NEAR(drawn->y, 14.173228 + 207 * 9 / 1000.0, 1e-4);
    // The page's own content stays, drawn first.
    EXPECT_NE(test::DecodedPageContents(*doc, i).find("10 10 50 50 re f"), std::string::npos);
    EXPECT_LT(test::DecodedPageContents(*doc, i).find("re f"), test::DecodedPageContents(*doc, i).find("BT"));
  }
}

TEST_F(NumberingDriverTest, OneFontObjectForTheWholeRun) {
  WriteInput(3);
  ASSERT_TRUE(Run(Numbering())) << Log();
  auto doc = OpenOutput();
  ASSERT_NE(doc, nullptr);
  std::set<int32_t> fontObjects;
  for (int i = 0; i < 3; ++i) {
    CPDFDict* fonts = doc->GetPage(i)->Get_Resources()->Get_Font();
    ASSERT_NE(fonts, nullptr);
    const CPDFAtom* entry = fonts->Lookup("F1");
    ASSERT_NE(entry, nullptr);
    ASSERT_TRUE(entry->IsRef());
    fontObjects.insert(static_cast<const CPDFObjRef*>(entry)->Num());
    CPDFDict* font = FontOf(*doc, i, "F1");
    EXPECT_EQ(NameValue(*doc, font, "Type"), "Font");
    EXPECT_EQ(NameValue(*doc, font, "Subtype"), "Type1");
    EXPECT_EQ(NameValue(*doc, font, "BaseFont"), "Helvetica");
    // The procedure sets now name Text.
    std::string procSets;
    if (CPDFArray* sets = doc->GetPage(i)->Get_Resources()->Get_ProcSet()) {
      for (size_t k = 0; k < sets->Count(); ++k) {
        if (auto* name = dynamic_cast<CPDFName*>(sets->GetObj(doc.get(), static_cast<int>(k))))
          procSets += name->Str() + " ";
      }
    }
    EXPECT_EQ(procSets, "PDF Text ");
  }
  EXPECT_EQ(fontObjects.size(), 1u);
}

TEST_F(NumberingDriverTest, RangeAndInitialNumber) {
  WriteInput(6);
  ASSERT_TRUE(Run(Numbering("3,5,10"))) << Log();
  auto doc = OpenOutput();
  ASSERT_NE(doc, nullptr);
  const std::vector<std::string> expected = {"", "", "10", "11", "12", ""};
  for (int i = 0; i < 6; ++i) {
    const auto drawn = NumberOn(*doc, i);
    if (expected[i].empty()) {
      EXPECT_FALSE(drawn) << "page " << i + 1 << ": " << test::DecodedPageContents(*doc, i);
    } else {
      ASSERT_TRUE(drawn) << "page " << i + 1;
      EXPECT_EQ(drawn->text, expected[i]);
    }
  }
}

TEST_F(NumberingDriverTest, NegativeLastPageNumbersNothing) {
  WriteInput(3);
  ASSERT_TRUE(Run(Numbering("1,-1"))) << Log();
  auto doc = OpenOutput();
  ASSERT_NE(doc, nullptr);
  for (int i = 0; i < 3; ++i) EXPECT_FALSE(NumberOn(*doc, i));
}

TEST_F(NumberingDriverTest, FormatStyleFontAndSize) {
  WriteInput(4);
  ASSERT_TRUE(Run(Numbering(",,1999", "R,(Page %s),HB,-3"))) << Log();
  auto doc = OpenOutput();
  ASSERT_NE(doc, nullptr);
  const auto drawn = NumberOn(*doc, 0);
  ASSERT_TRUE(drawn);
  // Parentheses of the format are escaped in the string.
  EXPECT_EQ(drawn->text, "\\(Page MCMXCIX\\)");
  EXPECT_EQ(drawn->size, 9.0);
  EXPECT_EQ(NameValue(*doc, FontOf(*doc, 0, drawn->font), "BaseFont"), "Helvetica-Bold");
  const auto fourth = NumberOn(*doc, 3);
  ASSERT_TRUE(fourth);
  EXPECT_EQ(fourth->text, "\\(Page MMII\\)");
}

TEST_F(NumberingDriverTest, FormatAndFontOptionsAloneChangeNothing) {
  WriteInput(2);
  StampOptions options;
  options.numberFormatSpec = "R,Page %s,TB,20";
  options.numberPlacementSpec = "1,10,10";
  options.spread = true;
  ASSERT_TRUE(Run(options)) << Log();
  auto doc = OpenOutput();
  ASSERT_NE(doc, nullptr);
  EXPECT_FALSE(NumberOn(*doc, 0));
  EXPECT_EQ(doc->GetPage(0)->Get_Resources()->Get_Font(), nullptr);
}

TEST_F(NumberingDriverTest, SpreadMirrorsEverySecondPage) {
  WriteInput(4);
  ASSERT_TRUE(Run(Numbering(nullptr, "n,%s,C,10", "1,10,0", true))) << Log();
  auto doc = OpenOutput();
  ASSERT_NE(doc, nullptr);
  const double offset = 10 * 2.834645711863446;
  for (int i = 0; i < 4; ++i) {
    const auto drawn = NumberOn(*doc, i);
    ASSERT_TRUE(drawn);
    // Courier: 600 per glyph, descent 157.
    const double width = 600 * 10 / 1000.0;
    const double x = i % 2 == 0 ? offset : 400 - width - offset;
    EXPECT_NEAR(drawn->x, x, 1e-3) << "page " << i + 1;
    EXPECT_NEAR(drawn->y, 1.57, 1e-4) << "page " << i + 1;
  }
}

TEST_F(NumberingDriverTest, BoxNotAtTheOrigin) {
  WriteInput(1, "[100 200 500 500]");
  ASSERT_TRUE(Run(Numbering(nullptr, nullptr, "3,0,0"))) << Log();
  auto doc = OpenOutput();
  ASSERT_NE(doc, nullptr);
  const auto drawn = NumberOn(*doc, 0);
  ASSERT_TRUE(drawn);
  // Top left of a 400 x 300 box whose corner is at (100, 200).
  EXPECT_NEAR(drawn->x, 100.0, 1e-4);
  EXPECT_NEAR(drawn->y, 500.0 - 718 * 9 / 1000.0, 1e-4);
}

TEST_F(NumberingDriverTest, TakenFontNameIsSkipped) {
  WriteInput(2, "[0 0 400 300]", "<< /F1 << /Type /Font /Subtype /Type1 /BaseFont /Courier >> >>");
  ASSERT_TRUE(Run(Numbering())) << Log();
  auto doc = OpenOutput();
  ASSERT_NE(doc, nullptr);
  for (int i = 0; i < 2; ++i) {
    const auto drawn = NumberOn(*doc, i);
    ASSERT_TRUE(drawn);
    EXPECT_EQ(drawn->font, "F2");
    EXPECT_EQ(NameValue(*doc, FontOf(*doc, i, "F1"), "BaseFont"), "Courier");
    EXPECT_EQ(NameValue(*doc, FontOf(*doc, i, "F2"), "BaseFont"), "Helvetica");
  }
}

TEST_F(NumberingDriverTest, SharedResourcesUseOneNameForTheFont) {
  WriteSharedResourcesInput(5);
  ASSERT_TRUE(Run(Numbering())) << Log();
  auto doc = OpenOutput();
  ASSERT_NE(doc, nullptr);
  for (int i = 0; i < 5; ++i) {
    const auto drawn = NumberOn(*doc, i);
    ASSERT_TRUE(drawn);
    EXPECT_EQ(drawn->font, "F1");
    EXPECT_EQ(drawn->text, std::to_string(i + 1));
  }
  EXPECT_EQ(doc->GetPage(0)->Get_Resources()->Get_Font()->Count(), 1u);
}

// One name per page in a shared Font dictionary would run out after 4095 pages.
TEST_F(NumberingDriverTest, SharedResourcesBeyondTheResourceNameLimit) {
  WriteSharedResourcesInput(4100);
  ASSERT_TRUE(Run(Numbering())) << Log();
  auto doc = OpenOutput();
  ASSERT_NE(doc, nullptr);
  const auto last = NumberOn(*doc, 4099);
  ASSERT_TRUE(last);
  EXPECT_EQ(last->text, "4100");
  EXPECT_EQ(last->font, "F1");
}

TEST_F(NumberingDriverTest, UnknownFontFailsTheRunAndLeavesNoOutput) {
  WriteInput(2);
  const std::string before = test::ReadFile(input_);
  EXPECT_FALSE(Run(Numbering(nullptr, "n,%s,No-Such-Font")));
  const std::string log = Log();
  EXPECT_NE(log.find("%[ Error: cannot create PDF Font: No,Such,Font ]%\n"), std::string::npos)
      << log;
  EXPECT_NE(log.find("\nModule: "), std::string::npos) << log;
  EXPECT_NE(log.find("\nFactor: "), std::string::npos) << log;
  EXPECT_EQ(test::ReadFile(input_), before);
  EXPECT_FALSE(std::ifstream(output_).good());
}

TEST_F(NumberingDriverTest, UnsafeFormatIsRefusedByTheDriverToo) {
  WriteInput(1);
  EXPECT_FALSE(Run(Numbering(nullptr, "n,%s %n")));
  EXPECT_NE(Log().find("%[ Error: invalid number format: %s %n ]%"), std::string::npos) << Log();
  EXPECT_FALSE(std::ifstream(output_).good());
}

TEST_F(NumberingDriverTest, NumberingTogetherWithTheWatermark) {
  WriteInput(2);
  test::WriteFile(dir_.File("logo.pdf"),
                  test::MakePagesPdf({"/MediaBox [0 0 200 100] /Resources << >> /Contents 4 0 R"},
                                     {test::StreamObject("1 0 0 rg 0 0 200 100 re f")}));
  StampOptions options = Numbering("2");
  options.watermarkSpec = dir_.File("logo.pdf");
  ASSERT_TRUE(Run(options)) << Log();
  auto doc = OpenOutput();
  ASSERT_NE(doc, nullptr);
  EXPECT_FALSE(NumberOn(*doc, 0));
  const auto drawn = NumberOn(*doc, 1);
  ASSERT_TRUE(drawn);
  EXPECT_EQ(drawn->text, "1");
  // The watermark goes under the content, the number over it.
  const std::string contents = test::DecodedPageContents(*doc, 1);
  EXPECT_LT(contents.find("Do"), contents.find("re f"));
  EXPECT_LT(contents.find("re f"), contents.find("BT"));
}

}  // namespace
}  // namespace quarn
