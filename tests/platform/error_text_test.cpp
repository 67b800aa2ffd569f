#include "platform/error_text.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <clocale>
#include <cstdlib>
#include <cstring>

namespace quarn {
namespace {

TEST(SystemErrorTextTest, IsTheHostMessageWithoutLineEnd) {
  std::setlocale(LC_ALL, "C");
  EXPECT_EQ(SystemErrorText(ENOENT), std::strerror(ENOENT));
  EXPECT_EQ(SystemErrorText(EACCES), std::strerror(EACCES));
  const std::string text = SystemErrorText(ENOSPC);
  ASSERT_FALSE(text.empty());
  EXPECT_NE(text.back(), '\n');
}

TEST(SystemErrorTextTest, UnknownNumbersStillGiveText) {
  std::setlocale(LC_ALL, "C");
  const std::string text = SystemErrorText(987654);
  EXPECT_FALSE(text.empty());
  EXPECT_NE(text.find("987654"), std::string::npos);
}

// The process locale is Japanese Shift-JIS for the font conversions; the texts follow the user's
// environment instead.
TEST(SystemErrorTextTest, FollowsTheEnvironmentNotTheProcessLocale) {
  const char* host = std::setlocale(LC_ALL, "ja_JP.SJIS");
  if (host == nullptr) GTEST_SKIP() << "no Shift-JIS locale on this host";
  const char* saved = std::getenv("LC_ALL");
  const std::string before = saved ? saved : "";
  setenv("LC_ALL", "C", 1);
  const std::string text = SystemErrorText(ENOENT);
  if (saved) {
    setenv("LC_ALL", before.c_str(), 1);
  } else {
    unsetenv("LC_ALL");
  }
  std::setlocale(LC_ALL, "C");
  EXPECT_EQ(text, "No such file or directory");
}

TEST(SystemErrorTextTest, LeavesErrnoAlone) {
  errno = EINTR;
  (void)SystemErrorText(ENOENT);
  EXPECT_EQ(errno, EINTR);
}

}  // namespace
}  // namespace quarn
