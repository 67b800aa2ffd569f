#include "app/number_format.h"

#include <gtest/gtest.h>

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
  EXPECT_FALSE(IsSafeNumberFormat("%1$s"));
}

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
