// The copy of an input's first bytes that an incremental update is written after: the bytes are
// the input's, a sparse input's holes stay holes, and an input shorter than asked is an error.
#include "platform/prefix_copy.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <string>

#include "support/files.h"

namespace quarn {
namespace {

constexpr off_t kHole = off_t{1} << 30;  // a gigabyte of nothing between two pieces of data

TEST(PrefixCopyTest, CopiesTheBytesAndKeepsTheHoles) {
  test::TempDir dir;
  const std::string head = "%PDF-1.4\n", tail = "trailer\n%%EOF\n";
  const int from = open(dir.File("in.pdf").c_str(), O_RDWR | O_CREAT | O_TRUNC, 0600);
  ASSERT_GE(from, 0);
  ASSERT_EQ(pwrite(from, head.data(), head.size(), 0), static_cast<ssize_t>(head.size()));
  const off_t tailAt = static_cast<off_t>(head.size()) + kHole;
  ASSERT_EQ(pwrite(from, tail.data(), tail.size(), tailAt), static_cast<ssize_t>(tail.size()));
  const int64_t size = tailAt + static_cast<off_t>(tail.size());

  struct Case {
    int64_t prefix;
    bool ok;
  };
  for (const Case& c : {Case{size, true}, Case{size - 5, true}, Case{9, true}, Case{0, true},
                        Case{size + 1, false}}) {
    const std::string out = dir.File("out.pdf");
    const int to = open(out.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0600);
    ASSERT_GE(to, 0);
    EXPECT_EQ(CopyFilePrefix(from, to, c.prefix), c.ok) << c.prefix;
    struct stat copied {};
    ASSERT_EQ(fstat(to, &copied), 0);
    if (c.ok) {
      EXPECT_EQ(copied.st_size, c.prefix);
      EXPECT_EQ(lseek(to, 0, SEEK_CUR), c.prefix);
      // The gigabyte between the two pieces was not written out.
      EXPECT_LT(copied.st_blocks * 512, off_t{64} << 20) << c.prefix;
      std::string back(head.size(), '\0');
      if (c.prefix >= static_cast<int64_t>(head.size())) {
        ASSERT_EQ(pread(to, back.data(), back.size(), 0), static_cast<ssize_t>(back.size()));
        EXPECT_EQ(back, head);
      }
      if (c.prefix == size) {
        back.assign(tail.size(), '\0');
        ASSERT_EQ(pread(to, back.data(), back.size(), tailAt), static_cast<ssize_t>(back.size()));
        EXPECT_EQ(back, tail);
      }
    }
    close(to);
  }
  close(from);
}

}  // namespace
}  // namespace quarn
