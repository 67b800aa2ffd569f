#include "platform/error_text.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <clocale>
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

TEST(SystemErrorTextTest, LeavesErrnoAlone) {
  errno = EINTR;
  (void)SystemErrorText(ENOENT);
  EXPECT_EQ(errno, EINTR);
}

}  // namespace
}  // namespace quarn
