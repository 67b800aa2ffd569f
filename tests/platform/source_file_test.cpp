// Positional reads of an input file: small reads come from a block read ahead, and must give the
// same bytes as the file holds wherever they fall (inside the block, across its end, past the
// end of the file).
#include "platform/source_file.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/files.h"

namespace quarn {
namespace {

TEST(SourceFileTest, ReadsGiveTheFileBytesWhereverTheyFall) {
  test::TempDir dir;
  std::string bytes(200000, '\0');
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>((i * 131 + i / 7) & 0xFF);
  test::WriteFile(dir.File("in.bin"), bytes);
  const auto file = SourceFile::Open(dir.File("in.bin"));
  ASSERT_TRUE(file);
  const int64_t size = static_cast<int64_t>(bytes.size());
  struct Read {
    int64_t offset;
    size_t n;
    bool ok;
  };
  // In order, as a save reads: each row after the first may or may not lie in the block held.
  const std::vector<Read> reads = {
      {0, 38, true},         {100, 16384, true},     {65500, 100, true},  // across the block
      {65536, 0, true},      {70000, 20000, true},   {10, 5, true},       // back before it
      {size - 10, 10, true}, {size - 10, 11, false}, {size, 1, false},    // the end of file
      {size + 5, 3, false},  {-1, 4, false},         {150000, 4, true},
  };
  for (const Read& r : reads) {
    std::vector<char> out(r.n + 1, '\x7f');
    EXPECT_EQ(file->ReadExact(r.offset, out.data(), r.n), r.ok) << r.offset << "+" << r.n;
    if (r.ok) {
      EXPECT_EQ(std::string(out.data(), r.n), bytes.substr(static_cast<size_t>(r.offset), r.n))
          << r.offset << "+" << r.n;
    }
  }
}

}  // namespace
}  // namespace quarn
