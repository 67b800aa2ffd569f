#include "pdf/stream/ascii85_filter.h"

#include <gtest/gtest.h>
#include "support/filters.h"
#include "support/values.h"


namespace quarn {
namespace {

using test::Bytes;
using test::CodecError;
using test::RunCodec;

std::string Encode(const std::string& s) { return RunCodec(&CPDFASCII85Filter::EncodeBytes, s); }
std::string Decode(const std::string& s) { return RunCodec(&CPDFASCII85Filter::DecodeBytes, s); }
std::string DecodeError(const std::string& s) {
  const CPDFException e = CodecError(&CPDFASCII85Filter::DecodeBytes, s);
  EXPECT_EQ(e.Code(), kInvalidFormat) << s;
  return e.Message();
}

TEST(ASCII85Encode, ZeroGroupsAndShortGroups) {
  EXPECT_EQ(Encode(std::string(4, '\0')), "z~>");
  EXPECT_EQ(Encode(std::string(1, '\0')), "!!~>");
  // A short group of zeros is never written as "z".
  EXPECT_EQ(Encode(std::string(3, '\0')), "!!!!~>");
  EXPECT_EQ(Encode(std::string(8, '\0')), "zz~>");
  EXPECT_EQ(Encode(""), "~>");
}

TEST(ASCII85Encode, KnownText) {
  EXPECT_EQ(Encode("Man is distinguished"), "9jqo^BlbD-BleB1DJ+*+F(f,q~>");
  EXPECT_EQ(Encode(Bytes({0xFF, 0xFF, 0xFF, 0xFF})), "s8W-!~>");
}

TEST(ASCII85Encode, OnlyTheLastGroupIsShortAcrossBlocks) {
  // 4097 bytes: the block of 4096 holds 1024 whole groups, one byte is left for the end.
  const std::string data(4097, 'A');
  const std::string text = Encode(data);
  EXPECT_EQ(text.size(), 1024 * 5 + 2 + 2);
  EXPECT_EQ(Decode(text), data);
}

TEST(ASCII85Decode, KnownTextWithWhitespace) {
  EXPECT_EQ(Decode("9jqo^ BlbD-\r\nBleB1\tDJ+*+\fF(f,q~>"), "Man is distinguished");
  EXPECT_EQ(Decode(std::string("9jqo^\0", 6) + "~>"), "Man ");
}

TEST(ASCII85Decode, ZeroGroup) {
  EXPECT_EQ(Decode("z~>"), std::string(4, '\0'));
  EXPECT_EQ(Decode("!!~>"), std::string(1, '\0'));
}

TEST(ASCII85Decode, ZInsideAGroupFails) { EXPECT_EQ(DecodeError("9jz~>"), "invalid char: z"); }

TEST(ASCII85Decode, SecondTildeFailsAsInvalidEod) {
  EXPECT_EQ(DecodeError("9jqo^~~>"), "invalid eod");
  EXPECT_EQ(DecodeError("9jqo^~x"), "invalid eod");
}

TEST(ASCII85Decode, WhitespaceMayStandInsideTheEndMarker) { EXPECT_EQ(Decode("9jqo^~ >"), "Man "); }

TEST(ASCII85Decode, GreaterThanWithoutTildeIsADigit) {
  // ">" is digit 29: ">>>>>" is 29 * (85^4 + 85^3 + 85^2 + 85 + 1).
  const uint32_t v = 29u * (52200625u + 614125u + 7225u + 85u + 1u);
  EXPECT_EQ(Decode(">>>>>~>"),
            Bytes({int(v >> 24), int(v >> 16 & 255), int(v >> 8 & 255), int(v & 255)}));
}

TEST(ASCII85Decode, OtherCharactersFail) {
  EXPECT_EQ(DecodeError("9jqo{"), "invalid char: {");
  EXPECT_EQ(DecodeError("9jv"), "invalid char: v");
}

TEST(ASCII85Decode, ShortLastGroupsInvertTheEncoding) {
  for (size_t n = 1; n <= 3; ++n) {
    const std::string data = std::string("\xFF\x01\x80").substr(0, n);
    EXPECT_EQ(Decode(Encode(data)), data) << n;
  }
}

TEST(ASCII85Decode, EndOfInputWithoutMarkerEndsTheData) {
  EXPECT_EQ(Decode("9jqo^Bl"), "Man i");
  EXPECT_EQ(Decode(""), "");
}

TEST(ASCII85Decode, SingleDigitLastGroupFailsNamingIt) {
  EXPECT_EQ(DecodeError("9jqo^B~>"), "invalid char: B");
  EXPECT_EQ(DecodeError("9"), "invalid char: 9");
}

TEST(ASCII85Decode, GroupsAbove32BitsFailNamingTheLastDigit) {
  EXPECT_EQ(Decode("s8W-!~>"), Bytes({0xFF, 0xFF, 0xFF, 0xFF}));
  EXPECT_EQ(DecodeError("s8W-\"~>"), "invalid char: \"");
  EXPECT_EQ(DecodeError("uuuuu"), "invalid char: u");
  // A short group whose completion passes 32 bits names the last digit of the data.
  EXPECT_EQ(DecodeError("uuu~>"), "invalid char: u");
  EXPECT_EQ(DecodeError("uut~>"), "invalid char: t");
}

TEST(ASCII85Decode, BytesAfterTheMarkerAreIgnored) {
  EXPECT_EQ(Decode("z~>garbage{{"), std::string(4, '\0'));
}

}  // namespace
}  // namespace quarn
