#include "pdf/object/lexer.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <string>
#include <vector>

#include "pdf/object/in_stream.h"

namespace quarn {
namespace {

// All tokens of `text`, read with the library's 256-byte buffer.
std::vector<std::string> Tokens(const std::string& text, size_t bufferSize = 4096) {
  MemInStream in(text.data(), text.size(), bufferSize);
  std::vector<std::string> tokens;
  char token[256];
  while (ReadToken(in, token, sizeof token)) tokens.emplace_back(token);
  return tokens;
}

using Strings = std::vector<std::string>;

TEST(InStreamTest, PeekGetAndUngetAcrossRefills) {
  const std::string text = "abcdefghij";
  MemInStream in(text.data(), text.size(), 3);  // a refill every three bytes
  EXPECT_EQ(in.SourceKindOf(), InStream::kMemorySource);
  EXPECT_EQ(in.Peek(), 'a');
  EXPECT_EQ(in.Get(), 'a');
  EXPECT_EQ(in.AdvancePeek(), 'c');
  in.Get();                  // c
  EXPECT_EQ(in.Get(), 'd');  // from the second buffer
  in.Unget(3);               // back into the first buffer
  EXPECT_EQ(in.Tell(), 1);
  EXPECT_EQ(in.Get(), 'b');
  ASSERT_TRUE(in.Seek(9));
  EXPECT_EQ(in.Get(), 'j');
  EXPECT_EQ(in.Peek(), -1);
  EXPECT_EQ(in.Get(), -1);
  in.Unget(1);
  EXPECT_EQ(in.Get(), 'j');
  EXPECT_FALSE(in.Seek(11));
  EXPECT_FALSE(in.Seek(-1));
}

TEST(InStreamTest, ReadServesBufferedBytesThenTheRest) {
  const std::string text = "0123456789";
  MemInStream in(text.data(), text.size(), 4);
  EXPECT_EQ(in.Get(), '0');
  char out[16] = {};
  EXPECT_EQ(in.Read(out, 6), 6u);
  EXPECT_EQ(std::string(out, 6), "123456");
  EXPECT_EQ(in.Tell(), 7);
  EXPECT_EQ(in.Get(), '7');
  EXPECT_EQ(in.Read(out, 10), 2u);  // only "89" is left
  EXPECT_EQ(std::string(out, 2), "89");
  EXPECT_EQ(in.Get(), -1);
}

TEST(InStreamTest, WindowShowsBytesAheadWithoutConsumingThem) {
  const std::string text = "0123456789";
  MemInStream in(text.data(), text.size(), 4);
  EXPECT_EQ(in.Get(), '0');
  EXPECT_EQ(in.Window(2), "12");    // from the buffer as it stands
  EXPECT_EQ(in.Window(4), "1234");  // read again from the position
  EXPECT_EQ(in.Window(9), "1234");  // never more than one buffer
  EXPECT_EQ(in.Get(), '1');
  ASSERT_TRUE(in.Seek(8));
  EXPECT_EQ(in.Window(4), "89");  // the end of input
  ASSERT_TRUE(in.Seek(10));
  EXPECT_EQ(in.Window(4), "");
}

// Memory input that counts the block reads it is asked for.
class CountingInStream : public MemInStream {
 public:
  using MemInStream::MemInStream;
  int reads = 0;

 protected:
  size_t ReadAt(int64_t at, char* dst, size_t n) override {
    ++reads;
    return MemInStream::ReadAt(at, dst, n);
  }
};

TEST(InStreamTest, ReadingFromAFewPlacesInTurnReadsEachBlockOnce) {
  std::string text;
  for (int i = 0; i < 64; ++i) text += static_cast<char>('A' + i % 26) + std::string(15, '.');
  CountingInStream in(text.data(), text.size(), 64);  // four "objects" of 16 bytes per block
  // Objects from four places in turn (blocks at 0, 256, 512 and 768) cost one read each place;
  // a fifth place (900) gives up the one least recently used (256).
  const struct {
    int64_t at;
    int readsAfter;
  } steps[] = {{0, 1},   {256, 2}, {512, 3}, {768, 4}, {16, 4},  {272, 4}, {528, 4},
               {784, 4}, {48, 4},  {300, 4}, {560, 4}, {800, 4}, {32, 4},  {544, 4},
               {790, 4}, {900, 5}, {20, 5},  {520, 5}, {770, 5}, {260, 6}};
  for (const auto& step : steps) {
    ASSERT_TRUE(in.Seek(step.at));
    EXPECT_EQ(in.Get(), static_cast<unsigned char>(text[static_cast<size_t>(step.at)])) << step.at;
    EXPECT_EQ(in.Tell(), step.at + 1);
    EXPECT_EQ(in.reads, step.readsAfter) << step.at;
  }
  // A raw read past the buffer keeps the block it leaves for a later return.
  ASSERT_TRUE(in.Seek(599));
  in.Get();
  char raw[100];
  ASSERT_EQ(in.Read(raw, sizeof raw), sizeof raw);
  EXPECT_EQ(std::string(raw, sizeof raw), text.substr(600, 100));
  const int before = in.reads;
  ASSERT_TRUE(in.Seek(610));
  EXPECT_EQ(in.Get(), static_cast<unsigned char>(text[610]));
  EXPECT_EQ(in.reads, before);
}

TEST(InStreamTest, SearchFindsPatternsAcrossItsWindows) {
  std::string text(9000, 'x');
  text.replace(4094, 9, "endstream");  // straddles the first 4096-byte window
  MemInStream in(text.data(), text.size());
  EXPECT_EQ(in.Search("endstream", 9), 4094);
  ASSERT_TRUE(in.Seek(4095));
  EXPECT_EQ(in.Search("endstream", 9), -1);
  ASSERT_TRUE(in.Seek(0));
  EXPECT_EQ(in.Search("nothere", 7), -1);
}

TEST(LexerTest, SkipWhitespaceCountsOnlyTheFiveWhitespaceBytes) {
  const std::string text = std::string(" \t\r\n\f") + '\0' + "x";
  MemInStream in(text.data(), text.size());
  EXPECT_EQ(SkipWhitespace(in), 5u);
  EXPECT_EQ(in.Peek(), 0);  // the byte 0 is not whitespace
  EXPECT_EQ(SkipWhitespace(in), 0u);
}

TEST(LexerTest, SkipCommentStopsBeforeTheEndOfLine) {
  const std::string text = "%PDF-1.3\r\nrest";
  MemInStream in(text.data(), text.size());
  char buffer[5];
  EXPECT_EQ(SkipComment(in, buffer, sizeof buffer), 8u);
  EXPECT_STREQ(buffer, "%PDF");  // at most size - 1 bytes are copied
  EXPECT_EQ(in.Peek(), '\r');
  EXPECT_EQ(SkipComment(in), 0u);  // not at a "%"
}

TEST(LexerTest, SkipCommentRunsToTheEndOfInput) {
  const std::string text = "% trailing";
  MemInStream in(text.data(), text.size());
  EXPECT_EQ(SkipComment(in), text.size());
  EXPECT_EQ(in.Peek(), -1);
}

TEST(LexerTest, TokensSplitAtWhitespaceDelimitersAndComments) {
  EXPECT_EQ(Tokens("1 0 obj"), (Strings{"1", "0", "obj"}));
  EXPECT_EQ(Tokens("<</A[1 2]>>"), (Strings{"<", "<", "/", "A", "[", "1", "2", "]", ">", ">"}));
  EXPECT_EQ(Tokens("abc%comment\nxyz"), (Strings{"abc", "xyz"}));
  EXPECT_EQ(Tokens("% only a comment\r\n  trailer"), (Strings{"trailer"}));
  EXPECT_EQ(Tokens("(a)"), (Strings{"(", "a", ")"}));
  // Braces are not delimiters.
  EXPECT_EQ(Tokens("{x}"), (Strings{"{x}"}));
  EXPECT_TRUE(Tokens(" \r\n\t").empty());
  EXPECT_TRUE(Tokens("").empty());
}

TEST(LexerTest, LongTokensAreCutAt255Bytes) {
  const std::string text(300, 'a');
  const Strings tokens = Tokens(text, 7);
  ASSERT_EQ(tokens.size(), 2u);
  EXPECT_EQ(tokens[0].size(), 255u);
  EXPECT_EQ(tokens[1].size(), 45u);
}

TEST(LexerTest, TokenIntoStringUsesTheSameRules) {
  const std::string text = " endobj ";
  MemInStream in(text.data(), text.size());
  std::string token = "old";
  EXPECT_TRUE(ReadToken(in, token));
  EXPECT_EQ(token, "endobj");
  EXPECT_FALSE(ReadToken(in, token));
  EXPECT_TRUE(token.empty());
}

TEST(LexerTest, ReadLineHandlesEveryEndOfLine) {
  const std::string text = "\r\n\nfirst\rsecond\r\nthird\nlast";
  MemInStream in(text.data(), text.size(), 5);
  char line[64];
  EXPECT_EQ(ReadLine(in, line, sizeof line, true), 5u);
  EXPECT_STREQ(line, "first");
  EXPECT_EQ(ReadLine(in, line, sizeof line, false), 8u);
  EXPECT_STREQ(line, "second\r\n");  // CR LF is one end of line, stored as read
  EXPECT_EQ(ReadLine(in, line, sizeof line, false), 6u);
  EXPECT_STREQ(line, "third\n");
  EXPECT_EQ(ReadLine(in, line, sizeof line, true), 4u);
  EXPECT_STREQ(line, "last");
  EXPECT_EQ(ReadLine(in, line, sizeof line, true), 0u);
  EXPECT_STREQ(line, "");
}

TEST(LexerTest, ReadLineStopsAfterSizeMinusOneBytes) {
  const std::string text = "0123456789\n";
  MemInStream in(text.data(), text.size());
  char line[5];
  EXPECT_EQ(ReadLine(in, line, sizeof line, true), 4u);
  EXPECT_STREQ(line, "0123");
  EXPECT_EQ(ReadLine(in, line, sizeof line, true), 4u);
  EXPECT_STREQ(line, "4567");
}

TEST(LexerTest, SkipWhitespaceAndCommentsAlternates) {
  const std::string text = "  %a\r\n %b\n\t%c\nvalue";
  MemInStream in(text.data(), text.size());
  SkipWhitespaceAndComments(in);
  EXPECT_EQ(in.Peek(), 'v');
}

TEST(NumberConversionTest, IntegerTakesTheLeadingDigits) {
  EXPECT_EQ(TokenToInt("40000"), 40000);
  EXPECT_EQ(TokenToInt("2.9"), 2);
  EXPECT_EQ(TokenToInt("-0.5"), 0);
  EXPECT_EQ(TokenToInt("3.5.1"), 3);
  EXPECT_EQ(TokenToInt("+17"), 17);
  EXPECT_EQ(TokenToInt("-17x"), -17);
  EXPECT_EQ(TokenToInt(".5"), 0);
  EXPECT_EQ(TokenToInt("--5"), 0);
}

TEST(NumberConversionTest, IntegerSaturatesInsteadOfOverflowing) {
  EXPECT_EQ(TokenToInt("2147483647"), INT32_MAX);
  EXPECT_EQ(TokenToInt("2147483648"), INT32_MAX);
  EXPECT_EQ(TokenToInt("99999999999999999999999"), INT32_MAX);
  EXPECT_EQ(TokenToInt("-2147483648"), INT32_MIN);
  EXPECT_EQ(TokenToInt("-99999999999999999999999"), INT32_MIN);
}

TEST(NumberConversionTest, Int64KeepsByteCountsPastThirtyTwoBits) {
  // `exact`: the token is only a sign and digits, and the value holds them all.
  const struct {
    const char* token;
    int64_t value;
    bool exact;
  } cases[] = {
      {"2147483647", INT32_MAX, true},
      {"2147483648", int64_t{INT32_MAX} + 1, true},
      {"-2147483649", int64_t{INT32_MIN} - 1, true},
      {"4294967295", 4294967295, true},
      {"4294967296", 4294967296, true},
      {"+2400000000", 2400000000, true},
      {"9007199254740993", 9007199254740993, true},
      {"9223372036854775807", INT64_MAX, true},
      {"-9223372036854775808", INT64_MIN, true},
      {"9223372036854775808", INT64_MAX, false},
      {"-99999999999999999999999", INT64_MIN, false},
      {"4294967296.5", 4294967296, false},
      {"4294967296x", 4294967296, false},
      {"-", 0, false},
  };
  for (const auto& c : cases) {
    bool exact = !c.exact;
    EXPECT_EQ(TokenToInt64(c.token, &exact), c.value) << c.token;
    EXPECT_EQ(exact, c.exact) << c.token;
  }
}

TEST(NumberConversionTest, RealFollowsFloatingConversion) {
  EXPECT_FLOAT_EQ(TokenToReal("2.9"), 2.9f);
  EXPECT_FLOAT_EQ(TokenToReal("-0.5"), -0.5f);
  EXPECT_FLOAT_EQ(TokenToReal("3.5.1"), 3.5f);
  EXPECT_FLOAT_EQ(TokenToReal(".25"), 0.25f);
  EXPECT_FLOAT_EQ(TokenToReal("+4"), 4.0f);
  EXPECT_FLOAT_EQ(TokenToReal("-"), 0.0f);
}

TEST(NumberConversionTest, RealThatAFloatCannotHoldFallsBackToTheInteger) {
  EXPECT_FLOAT_EQ(TokenToReal("1e39"), 1.0f);
  EXPECT_FLOAT_EQ(TokenToReal("-nan"), 0.0f);
  EXPECT_FLOAT_EQ(TokenToReal("+inf"), 0.0f);
  EXPECT_TRUE(std::isfinite(TokenToReal("99999999999999999999999999999999999999999")));
}

TEST(NumberConversionTest, RealIgnoresTheProcessLocale) {
  const std::string saved = std::setlocale(LC_NUMERIC, nullptr);
  bool switched = false;
  for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "fr_FR.utf8"}) {
    if (std::setlocale(LC_NUMERIC, name)) {
      switched = true;
      break;
    }
  }
  if (!switched) GTEST_SKIP() << "no locale with a decimal comma is installed";
  const float value = TokenToReal("2.5");
  std::setlocale(LC_NUMERIC, saved.c_str());
  EXPECT_FLOAT_EQ(value, 2.5f);
}

TEST(NumberConversionTest, TypedExtractorsReadOneToken) {
  const std::string text = " 12 3.25 true maybe false";
  MemInStream in(text.data(), text.size());
  int64_t i = 0;
  float r = 0;
  bool b = false;
  ASSERT_TRUE(ReadIntToken(in, i));
  EXPECT_EQ(i, 12);
  ASSERT_TRUE(ReadRealToken(in, r));
  EXPECT_FLOAT_EQ(r, 3.25f);
  ASSERT_TRUE(ReadBoolToken(in, b));
  EXPECT_TRUE(b);
  ASSERT_TRUE(ReadBoolToken(in, b));  // "maybe" leaves it unchanged
  EXPECT_TRUE(b);
  ASSERT_TRUE(ReadBoolToken(in, b));
  EXPECT_FALSE(b);
  EXPECT_FALSE(ReadIntToken(in, i));
  EXPECT_EQ(i, 12);
}

}  // namespace
}  // namespace quarn
