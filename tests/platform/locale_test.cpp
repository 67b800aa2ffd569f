#include "platform/locale.h"

#include <gtest/gtest.h>

#include <clocale>
#include <string>

namespace quarn {
namespace {

class HostLocaleTest : public ::testing::Test {
 protected:
  void TearDown() override { std::setlocale(LC_ALL, "C"); }
};

TEST_F(HostLocaleTest, CandidatesGoFromShiftJisToC) {
  const std::vector<std::string>& candidates = HostLocaleCandidates();
  const std::vector<std::string> expected = {
      "ja_JP.SJIS", "ja_JP.sjis", "japanese", "ja_JP.UTF-8", "ja_JP.utf8", "", "C",
  };
  EXPECT_EQ(candidates, expected);
}

TEST_F(HostLocaleTest, SetsTheFirstLocaleTheHostAccepts) {
  std::string firstAccepted;
  for (const std::string& name : HostLocaleCandidates()) {
    if (const char* accepted = std::setlocale(LC_ALL, name.c_str())) {
      firstAccepted = accepted;
      break;
    }
  }
  std::setlocale(LC_ALL, "C");
  ASSERT_FALSE(firstAccepted.empty());

  const std::optional<std::string> chosen = SetHostLocale();
  ASSERT_TRUE(chosen.has_value());
  EXPECT_EQ(*chosen, firstAccepted);
  EXPECT_EQ(std::string(std::setlocale(LC_ALL, nullptr)), *chosen);
}

TEST_F(HostLocaleTest, PrefersShiftJisWhenInstalled) {
  if (std::setlocale(LC_ALL, "ja_JP.SJIS") == nullptr) {
    GTEST_SKIP() << "ja_JP.SJIS is not installed here (scripts/setup.sh makes it)";
  }
  std::setlocale(LC_ALL, "C");
  EXPECT_EQ(SetHostLocale().value_or(""), "ja_JP.SJIS");
  // Every category follows, not just the character type.
  EXPECT_STREQ(std::setlocale(LC_CTYPE, nullptr), "ja_JP.SJIS");
  EXPECT_STREQ(std::setlocale(LC_TIME, nullptr), "ja_JP.SJIS");
}

}  // namespace
}  // namespace quarn
