#include "pdf/stream/ascii_hex_filter.h"

#include <gtest/gtest.h>
#include "support/filters.h"
#include "support/values.h"


namespace quarn {
namespace {

using test::Bytes;
using test::CodecError;
using test::RunCodec;

std::string Encode(const std::string& s) { return RunCodec(&CPDFASCIIHexFilter::EncodeBytes, s); }
std::string Decode(const std::string& s) { return RunCodec(&CPDFASCIIHexFilter::DecodeBytes, s); }

TEST(ASCIIHexEncode, UppercasePairsWithoutSpacesThenEndMarker) {
  EXPECT_EQ(Encode(Bytes({0x00, 0xFF})), "00FF>");
  EXPECT_EQ(Encode("\x12\xab\n"), "12AB0A>");
  EXPECT_EQ(Encode(""), ">");
}

TEST(ASCIIHexEncode, LongInputHasNoLineBreaks) {
  const std::string data(10000, '\x5c');
  const std::string text = Encode(data);
  ASSERT_EQ(text.size(), 2 * data.size() + 1);
  EXPECT_EQ(text.find_first_not_of("5C"), text.size() - 1);
}

TEST(ASCIIHexDecode, SkipsFilterWhitespaceIncludingNul) {
  EXPECT_EQ(Decode("0 0 f f>"), Bytes({0x00, 0xFF}));
  EXPECT_EQ(Decode(std::string("4\0"
                               "1\t\r\n\f 42>",
                               11)),
            "AB");
}

TEST(ASCIIHexDecode, AcceptsEitherCase) { EXPECT_EQ(Decode("aBcD>"), Bytes({0xAB, 0xCD})); }

TEST(ASCIIHexDecode, LastUnpairedDigitIsCompletedWithZero) {
  EXPECT_EQ(Decode("A>"), Bytes({0xA0}));
  EXPECT_EQ(Decode("123>"), Bytes({0x12, 0x30}));
}

TEST(ASCIIHexDecode, EndOfInputWithoutMarkerEndsTheData) {
  EXPECT_EQ(Decode("414"), Bytes({0x41, 0x40}));
  EXPECT_EQ(Decode(""), "");
}

TEST(ASCIIHexDecode, BytesAfterTheMarkerAreIgnored) { EXPECT_EQ(Decode("41>zz 42"), "A"); }

TEST(ASCIIHexDecode, OtherBytesFailNamingTheByte) {
  const CPDFException e = CodecError(&CPDFASCIIHexFilter::DecodeBytes, "41g2>");
  EXPECT_EQ(e.Code(), kInvalidFormat);
  EXPECT_EQ(e.Message(), "invalid char: g");
  EXPECT_EQ(CodecError(&CPDFASCIIHexFilter::DecodeBytes, "4~").Message(), "invalid char: ~");
}

TEST(ASCIIHexDecode, PairSplitAcrossBlocksIsJoined) {
  // 4095 digits then the pair's second half in the next block.
  std::string text(4095, '6');
  text += "1>";
  const std::string bytes = Decode(text);
  ASSERT_EQ(bytes.size(), 2048u);
  EXPECT_EQ(bytes.back(), '\x61');
}

}  // namespace
}  // namespace quarn
