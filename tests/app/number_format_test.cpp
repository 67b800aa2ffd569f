#include "app/number_format.h"

#include <gtest/gtest.h>

#include <ostream>

namespace quarn {
namespace {

TEST(NumberFormatFieldTest, TakesTheTextBetweenTheFirstTwoCommas) {
  EXPECT_EQ(NumberFormatField("R,Page %s,HB,12"), "Page %s");
  EXPECT_EQ(NumberFormatField("n,- %s -"), "- %s -");
  EXPECT_EQ(NumberFormatField("n,,H"), "");
  EXPECT_EQ(NumberFormatField("n"), "");
  EXPECT_EQ(NumberFormatField(""), "");
  EXPECT_EQ(NumberFormatField(",%s"), "%s");
}

TEST(SafeNumberFormatTest, AcceptsLiteralTextAndOneStringConversion) {
  EXPECT_TRUE(IsSafeNumberFormat(""));
  EXPECT_TRUE(IsSafeNumberFormat("%s"));
  EXPECT_TRUE(IsSafeNumberFormat("Page %s"));
  EXPECT_TRUE(IsSafeNumberFormat("no number at all"));
  EXPECT_TRUE(IsSafeNumberFormat("100%% - %s"));
  EXPECT_TRUE(IsSafeNumberFormat("%%%s%%"));
  EXPECT_TRUE(IsSafeNumberFormat("[%-8s]"));
  EXPECT_TRUE(IsSafeNumberFormat("[%08.3s]"));
  EXPECT_TRUE(IsSafeNumberFormat("%+ #0s"));
  EXPECT_TRUE(IsSafeNumberFormat("%.s"));
}

TEST(SafeNumberFormatTest, RefusesConversionsThatReadOtherArguments) {
  EXPECT_FALSE(IsSafeNumberFormat("%d"));
  EXPECT_FALSE(IsSafeNumberFormat("%n"));
  EXPECT_FALSE(IsSafeNumberFormat("%x %s"));
  EXPECT_FALSE(IsSafeNumberFormat("%p"));
  EXPECT_FALSE(IsSafeNumberFormat("%ls"));
  EXPECT_FALSE(IsSafeNumberFormat("%*s"));
  EXPECT_FALSE(IsSafeNumberFormat("%.*s"));
}

// Positional conversions name the number (1) and the last number of the run (2), as printf
// numbers its arguments; they take the modifiers a plain "%s" takes and never mix with it.
struct PositionalCase {
  const char* format;
  bool safe;
};

void PrintTo(const PositionalCase& c, std::ostream* out) { *out << c.format; }

class PositionalFormatTest : public ::testing::TestWithParam<PositionalCase> {};

TEST_P(PositionalFormatTest, IsJudgedAsPrintfWouldReadIt) {
  EXPECT_EQ(IsSafeNumberFormat(GetParam().format), GetParam().safe) << GetParam().format;
}

INSTANTIATE_TEST_SUITE_P(
    Formats, PositionalFormatTest,
    ::testing::Values(PositionalCase{"%1$s", true}, PositionalCase{"Page %1$s of %2$s", true},
                      PositionalCase{"%2$s/%1$s", true}, PositionalCase{"%2$s", true},
                      PositionalCase{"%1$s %1$s", true}, PositionalCase{"[%1$-4s|%2$04.2s]", true},
                      PositionalCase{"100%% %01$s", true}, PositionalCase{"%1$s of %s", false},
                      PositionalCase{"%s of %2$s", false}, PositionalCase{"%3$s", false},
                      PositionalCase{"%0$s", false}, PositionalCase{"%1$d", false},
                      PositionalCase{"%1$n", false}, PositionalCase{"%1$*2$s", false},
                      PositionalCase{"%$s", false}, PositionalCase{"%1$", false},
                      PositionalCase{"%99999999999$s", false}, PositionalCase{"%1$4097s", false}));

TEST(SafeNumberFormatTest, RefusesASecondStringAndDanglingPercent) {
  EXPECT_FALSE(IsSafeNumberFormat("%s of %s"));
  EXPECT_FALSE(IsSafeNumberFormat("Page %s %"));
  EXPECT_FALSE(IsSafeNumberFormat("%"));
  EXPECT_FALSE(IsSafeNumberFormat("%-"));
}

TEST(SafeNumberFormatTest, RefusesHugeWidthsAndPrecisions) {
  EXPECT_TRUE(IsSafeNumberFormat("%4096s"));
  EXPECT_FALSE(IsSafeNumberFormat("%4097s"));
  EXPECT_FALSE(IsSafeNumberFormat("%99999999999999999999s"));
  EXPECT_FALSE(IsSafeNumberFormat("%.99999s"));
}

}  // namespace
}  // namespace quarn
