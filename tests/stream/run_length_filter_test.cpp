#include "pdf/stream/run_length_filter.h"

#include <gtest/gtest.h>
#include "support/filters.h"
#include "support/values.h"


namespace quarn {
namespace {

using test::Bytes;
using test::RunCodec;

std::string Encode(const std::string& s) { return RunCodec(&CPDFRunLengthFilter::EncodeBytes, s); }
std::string Decode(const std::string& s) { return RunCodec(&CPDFRunLengthFilter::DecodeBytes, s); }

TEST(RunLengthEncode, LongRunSplitsIntoRecordsOf128) {
  // 257 - 128 = 129 and 257 - 72 = 185.
  EXPECT_EQ(Encode(std::string(200, 'x')), Bytes({129, 'x', 185, 'x', 128}));
}

TEST(RunLengthEncode, ShortInputIsOneLiteralRecord) {
  EXPECT_EQ(Encode("abc"), Bytes({2, 'a', 'b', 'c', 128}));
  EXPECT_EQ(Encode(""), Bytes({128}));
}

TEST(RunLengthEncode, RunsOfOneOrTwoStayLiteral) {
  EXPECT_EQ(Encode("aabcc"), Bytes({4, 'a', 'a', 'b', 'c', 'c', 128}));
  EXPECT_EQ(Encode("abbbc"), Bytes({0, 'a', 254, 'b', 0, 'c', 128}));
}

TEST(RunLengthEncode, LeftoverOfALongRunJoinsTheNextLiteral) {
  std::string data(130, 'x');
  data += "y";
  EXPECT_EQ(Encode(data), Bytes({129, 'x', 2, 'x', 'x', 'y', 128}));
}

TEST(RunLengthEncode, LiteralRecordsHoldAtMost128Bytes) {
  std::string data;
  for (int i = 0; i < 200; ++i) data.push_back(static_cast<char>(i));
  const std::string encoded = Encode(data);
  ASSERT_EQ(encoded.size(), 200u + 2 + 1);
  EXPECT_EQ(static_cast<unsigned char>(encoded[0]), 127);
  EXPECT_EQ(static_cast<unsigned char>(encoded[129]), 71);
  EXPECT_EQ(Decode(encoded), data);
}

TEST(RunLengthEncode, RecordsNeverSpanTwoBlocks) {
  // 5000 equal bytes: the first block gives 32 records of 128, the second 904 bytes as
  // 7 records of 128 and one of 8.
  const std::string encoded = Encode(std::string(5000, 'q'));
  EXPECT_EQ(encoded.size(), (32 + 8) * 2 + 1u);
  EXPECT_EQ(static_cast<unsigned char>(encoded[encoded.size() - 3]), 257 - 8);
  // A run of 4098 is cut at the block's end into 4096 and 2: the 2 are a literal record.
  const std::string cut = Encode(std::string(4098, 'q'));
  EXPECT_EQ(cut.substr(cut.size() - 4), Bytes({1, 'q', 'q', 128}));
}

TEST(RunLengthDecode, RecordsAndEndOfData) {
  EXPECT_EQ(Decode(Bytes({2, 'a', 'b', 'c', 255, 'z', 128})), "abczz");
  EXPECT_EQ(Decode(Bytes({129, 'x', 128})), std::string(128, 'x'));
}

TEST(RunLengthDecode, BytesAfterEndOfDataAreIgnored) {
  EXPECT_EQ(Decode(Bytes({0, 'a', 128, 0, 'b'})), "a");
}

TEST(RunLengthDecode, EndOfInputWithoutEndByteEndsTheData) {
  EXPECT_EQ(Decode(Bytes({0, 'a', 255, 'b'})), "abb");
  // A literal record cut short keeps the bytes it had; a repeat without its byte gives none.
  EXPECT_EQ(Decode(Bytes({5, 'a', 'b'})), "ab");
  EXPECT_EQ(Decode(Bytes({0, 'a', 200})), "a");
}

TEST(RunLengthDecode, RecordCutByTheBlockEndGoesOnInTheNextBlock) {
  // A literal record whose length byte and first byte end the block; the rest of it opens the
  // next block.
  std::string data(4094, '\0');  // 2047 literal records of one byte
  for (size_t i = 0; i < data.size(); i += 2) data[i + 1] = 'a';
  std::string expected(2047, 'a');
  data += Bytes({3, 'w', 'x', 'y', 'z'});
  expected += "wxyz";
  EXPECT_EQ(Decode(data + Bytes({128})), expected);
  // A repeat record whose length byte is the block's last byte and whose byte opens the next.
  std::string repeat = Bytes({3, 'b', 'b', 'b', 'b'});
  for (int i = 0; i < 2045; ++i) repeat += Bytes({0, 'b'});
  ASSERT_EQ(repeat.size(), 4095u);
  repeat += Bytes({250, 'c'});
  EXPECT_EQ(Decode(repeat), std::string(2049, 'b') + std::string(7, 'c'));
}

}  // namespace
}  // namespace quarn
