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
}

}  // namespace
}  // namespace quarn
