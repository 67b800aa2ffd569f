#include "app/stamp_style.h"

#include <gtest/gtest.h>

#include <optional>
#include <ostream>

namespace quarn {
namespace {

// A -nbc value and what it reads as: refused, or the fill and opacity kept (none: the default,
// which adds nothing to a page).
struct ColourCase {
  const char* value;
  bool parses;
  std::optional<RGBColour> fill;
  std::optional<float> opacity;
};

void PrintTo(const ColourCase& c, std::ostream* out) { *out << '"' << c.value << '"'; }

class NumberColourOption : public ::testing::TestWithParam<ColourCase> {};

TEST_P(NumberColourOption, ReadsColourAndOpacity) {
  const ColourCase& c = GetParam();
  const std::optional<StampStyle> style = ParseNumberColourOption(c.value);
  ASSERT_EQ(style.has_value(), c.parses) << c.value;
  if (!style) return;
  EXPECT_EQ(style->fill, c.fill) << c.value;
  EXPECT_EQ(style->opacity, c.opacity) << c.value;
}

INSTANTIATE_TEST_SUITE_P(
    Values, NumberColourOption,
    ::testing::Values(
        ColourCase{"#FF0000", true, RGBColour{1, 0, 0}, std::nullopt},
        ColourCase{"#ff8000,0.5", true, RGBColour{1, 128 / 255.0f, 0}, 0.5f},
        ColourCase{",0.25", true, std::nullopt, 0.25f},
        ColourCase{"#00FF00,", true, RGBColour{0, 1, 0}, std::nullopt},
        ColourCase{"#000000,1", true, std::nullopt, std::nullopt},
        ColourCase{"#000000,1.0", true, std::nullopt, std::nullopt},
        ColourCase{"#0000FF,0", true, RGBColour{0, 0, 1}, 0.0f},
        ColourCase{"#0000FF,.3", true, RGBColour{0, 0, 1}, 0.3f},
        ColourCase{"", true, std::nullopt, std::nullopt}, ColourCase{"red", false, {}, {}},
        ColourCase{"#F00", false, {}, {}}, ColourCase{"#GG0000", false, {}, {}},
        ColourCase{"FF0000", false, {}, {}}, ColourCase{"#FF0000,1.5", false, {}, {}},
        ColourCase{"#FF0000,-0.5", false, {}, {}}, ColourCase{"#FF0000,nan", false, {}, {}},
        ColourCase{"#FF0000,1e-1", false, {}, {}}, ColourCase{"#FF0000,0.5,1", false, {}, {}},
        ColourCase{"#FF0000,.", false, {}, {}}));

TEST(WatermarkOpacityOption, IsADecimalFromZeroToOne) {
  EXPECT_EQ(ParseWatermarkOpacityOption("0.3")->opacity, 0.3f);
  EXPECT_EQ(ParseWatermarkOpacityOption("1")->opacity, std::nullopt);
  EXPECT_FALSE(ParseWatermarkOpacityOption(""));
  EXPECT_FALSE(ParseWatermarkOpacityOption("2"));
  EXPECT_FALSE(ParseWatermarkOpacityOption("0,3"));
}

// A -wmr value: refused, or the angle (none: the page's diagonal).
struct TurnCase {
  const char* value;
  bool parses;
  std::optional<double> degrees;
};

void PrintTo(const TurnCase& c, std::ostream* out) { *out << '"' << c.value << '"'; }

class WatermarkTurnOption : public ::testing::TestWithParam<TurnCase> {};

TEST_P(WatermarkTurnOption, ReadsDegreesOrTheDiagonal) {
  const TurnCase& c = GetParam();
  const std::optional<WatermarkTurn> turn = ParseWatermarkTurnOption(c.value);
  ASSERT_EQ(turn.has_value(), c.parses);
  if (!turn) return;
  EXPECT_EQ(turn->diagonal, !c.degrees);
  if (c.degrees) {
    EXPECT_DOUBLE_EQ(turn->degrees, *c.degrees);
  }
}

INSTANTIATE_TEST_SUITE_P(Values, WatermarkTurnOption,
                         ::testing::Values(TurnCase{"45", true, 45.0}, TurnCase{"-30", true, -30.0},
                                           TurnCase{"+12.5", true, 12.5}, TurnCase{"0", true, 0.0},
                                           TurnCase{"405", true, 45.0},
                                           TurnCase{"diag", true, std::nullopt},
                                           TurnCase{"", false, {}}, TurnCase{"Diag", false, {}},
                                           TurnCase{"45deg", false, {}}, TurnCase{"1e2", false, {}},
                                           TurnCase{"nan", false, {}}, TurnCase{"-", false, {}},
                                           TurnCase{"4 5", false, {}}));

// A -wmf value: refused, or the font, size and colour it gives.
struct FontCase {
  const char* value;
  bool parses;
  const char* fontName;
  std::optional<float> size;
  RGBColour colour;
};

void PrintTo(const FontCase& c, std::ostream* out) { *out << '"' << c.value << '"'; }

class WatermarkFontOption : public ::testing::TestWithParam<FontCase> {};

constexpr RGBColour kGrey{128 / 255.0f, 128 / 255.0f, 128 / 255.0f};

TEST_P(WatermarkFontOption, ReadsFontSizeAndColour) {
  const FontCase& c = GetParam();
  const std::optional<WatermarkFont> font = ParseWatermarkFontOption(c.value);
  ASSERT_EQ(font.has_value(), c.parses);
  if (!font) return;
  EXPECT_EQ(font->fontName, c.fontName);
  EXPECT_EQ(font->size, c.size);
  EXPECT_EQ(font->colour, c.colour);
}

INSTANTIATE_TEST_SUITE_P(
    Values, WatermarkFontOption,
    ::testing::Values(FontCase{"", true, "Helvetica-Bold", std::nullopt, kGrey},
                      FontCase{"TB", true, "Times-Bold", std::nullopt, kGrey},
                      FontCase{"Arial-Bold,36", true, "Arial,Bold", 36.0f, kGrey},
                      FontCase{",,#FF0000", true, "Helvetica-Bold", std::nullopt, {1, 0, 0}},
                      FontCase{"H,12.5,#0000ff", true, "Helvetica", 12.5f, {0, 0, 1}},
                      FontCase{"H,0", false, "", {}, {}}, FontCase{"H,-5", false, "", {}, {}},
                      FontCase{"H,big", false, "", {}, {}}, FontCase{"H,12,red", false, "", {}, {}},
                      FontCase{"H,12,#FF0000,x", false, "", {}, {}}));

TEST(WatermarkFontOption, LocationIsCentredOrOneToEight) {
  EXPECT_EQ(ParseWatermarkFontOption(",,#FF0000")->location, 0);
  EXPECT_EQ(ParseWatermarkFontOption(",,,4")->location, 4);
  EXPECT_EQ(ParseWatermarkFontOption("H,9,,0")->location, 0);
  EXPECT_FALSE(ParseWatermarkFontOption(",,,9"));
  EXPECT_FALSE(ParseWatermarkFontOption(",,,12"));
}

TEST(RefusedStyleLine, NamesTheValueOfAnOptionInUse) {
  StampOptions options;
  options.numberColourSpec = "red";
  EXPECT_EQ(RefusedStyleLine(options), std::nullopt);  // without -nbp it is not read
  options.numberingOn = true;
  EXPECT_EQ(RefusedStyleLine(options), "invalid value of -nbc: red");
  options.numberColourSpec = "#FF0000";
  options.watermarkOpacitySpec = "x";
  EXPECT_EQ(RefusedStyleLine(options), std::nullopt);  // without -wm it is not read
  options.watermarkSpec = "logo";
  EXPECT_EQ(RefusedStyleLine(options), "invalid value of -wmo: x");
  options.watermarkOpacitySpec = "0.5";
  options.watermarkTurnSpec = "north";
  EXPECT_EQ(RefusedStyleLine(options), "invalid value of -wmr: north");
  options.watermarkTurnSpec = "diag";
  options.watermarkFontSpec = "H,12,grey";
  EXPECT_EQ(RefusedStyleLine(options), std::nullopt);  // without -wmt it is not read
  options.textWatermarkSpec = "DRAFT";
  EXPECT_EQ(RefusedStyleLine(options), "invalid value of -wmf: H,12,grey");
}

}  // namespace
}  // namespace quarn
