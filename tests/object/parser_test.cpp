#include "pdf/object/parser.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "pdf/object/lexer.h"
#include "pdf/object/limits.h"
#include "pdf/stream/stream.h"
#include "support/values.h"

namespace quarn {
namespace {

using test::Parse;
using test::ParseError;
using test::Text;

const CPDFObjRef* AsRef(const CPDFAtom* atom) {
  return atom && atom->IsRef() ? static_cast<const CPDFObjRef*>(atom) : nullptr;
}

// ---- dispatch -----------------------------------------------------------------------------------

TEST(ParserDispatchTest, EachFirstByteSelectsItsReader) {
  EXPECT_EQ(Parse("null")->TypeCode(), kTypeNull);
  EXPECT_EQ(Parse("true")->TypeCode(), kTypeBool);
  EXPECT_EQ(Parse("-.5")->TypeCode(), kTypeNumber);
  EXPECT_EQ(Parse("+1")->TypeCode(), kTypeNumber);
  EXPECT_EQ(Parse("/N ")->TypeCode(), kTypeName);
  EXPECT_EQ(Parse("(s)")->TypeCode(), kTypeString);
  EXPECT_EQ(Parse("<41>")->TypeCode(), kTypeString);
  EXPECT_EQ(Parse("[]")->TypeCode(), kTypeArray);
  EXPECT_EQ(Parse("<<>>")->TypeCode(), kTypeDict);
}

TEST(ParserDispatchTest, NoValueStartsAtClosingBytesOrTheEnd) {
  for (const char* text : {")", ">", "]", "}", "{", "endobj", "", "   ", "% just a comment\n"}) {
    EXPECT_EQ(Parse(text), nullptr) << text;
  }
}

TEST(ParserDispatchTest, WhitespaceAndCommentsBeforeTheValueAreSkipped) {
  auto value = Parse(" %c1\r\n %c2\n\t 42");
  ASSERT_NE(value, nullptr);
  EXPECT_EQ(AsNumber(value.get())->IntValue(), 42);
}

TEST(ParserDispatchTest, EndOfInputAfterAnOpeningByteIsAnIoError) {
  EXPECT_ERROR(ParseError("<"), "CPDFDict", "SerializeObject", 4, "ioerror");
  EXPECT_ERROR(ParseError("("), "CPDFString", "SerializeObject", 4, "ioerror");
}

TEST(ParserDispatchTest, EveryParsedValueIsMarkedAsReadFromTheFile) {
  auto dict = Parse("<< /A [1 (s) /N true null] >>");
  ASSERT_NE(dict, nullptr);
  EXPECT_TRUE(dict->m_readFromFile);
  auto* array = AsDict(dict.get())->GetArray(nullptr, "A");
  ASSERT_NE(array, nullptr);
  EXPECT_TRUE(array->m_readFromFile);
  for (size_t i = 0; i < array->Count(); ++i) {
    EXPECT_TRUE(static_cast<CPDFObject*>(array->At(i))->m_readFromFile) << i;
  }
  EXPECT_FALSE(CPDFDict().m_readFromFile);
}

// ---- scalars ------------------------------------------------------------------------------------

TEST(ParserScalarTest, NullAndBooleans) {
  EXPECT_TRUE(static_cast<CPDFBool*>(Parse("true").get())->Value());
  EXPECT_FALSE(static_cast<CPDFBool*>(Parse("false").get())->Value());
  EXPECT_ERROR(ParseError("truex"), "CPDFBool", "Serialize", 4, "invalidtoken: truex");
  EXPECT_ERROR(ParseError("f"), "CPDFBool", "Serialize", 4, "invalidtoken: f");
  EXPECT_ERROR(ParseError("nul"), "CPDFNull", "Serialize", 4, "invalidtoken: nul");
  EXPECT_ERROR(ParseError("nullx"), "CPDFNull", "Serialize", 4, "invalidtoken: nullx");
}

TEST(ParserScalarTest, NumbersHoldBothFormsOfTheSameToken) {
  struct Case {
    const char* text;
    int32_t integer;
    float real;
  };
  for (const Case& c : {Case{"-0.5", 0, -0.5f}, Case{"40000", 40000, 40000.0f},
                        Case{"2.9", 2, 2.9f}, Case{"3.5.1", 3, 3.5f}, Case{".25", 0, 0.25f},
                        Case{"-12", -12, -12.0f}, Case{"7abc", 7, 7.0f}}) {
    auto value = Parse(c.text);
    ASSERT_NE(value, nullptr) << c.text;
    EXPECT_EQ(value->TypeCode(), kTypeNumber) << "the parser never makes CPDFInt or CPDFReal";
    EXPECT_EQ(AsNumber(value.get())->IntValue(), c.integer) << c.text;
    EXPECT_FLOAT_EQ(AsNumber(value.get())->RealValue(), c.real) << c.text;
  }
}

TEST(ParserScalarTest, HugeNumbersSaturateAndStayFinite) {
  auto big = Parse("123456789012345678901234567890");
  EXPECT_EQ(AsNumber(big.get())->IntValue(), INT32_MAX);
  auto small = Parse("-123456789012345678901234567890");
  EXPECT_EQ(AsNumber(small.get())->IntValue(), INT32_MIN);
  auto exponent = Parse("1e39");
  EXPECT_EQ(AsNumber(exponent.get())->IntValue(), 1);
  EXPECT_FLOAT_EQ(AsNumber(exponent.get())->RealValue(), 1.0f);
}

TEST(ParserScalarTest, NamesDecodeTheirHexEscapes) {
  EXPECT_EQ(static_cast<CPDFName*>(Parse("/A#20B ").get())->Str(), "A B");
  EXPECT_EQ(static_cast<CPDFName*>(Parse("/Type/Page").get())->Str(), "Type");
  EXPECT_EQ(static_cast<CPDFName*>(Parse("/a#2f#2Fb ").get())->Str(), "a//b");
  EXPECT_EQ(static_cast<CPDFName*>(Parse("/N#00 ").get())->Str(), std::string("N\0", 2));
  EXPECT_EQ(static_cast<CPDFName*>(Parse("/x%comment\n").get())->Str(), "x");
}

TEST(ParserScalarTest, NamesLongerThanATokenAreReadWhole) {
  const std::string name(1000, 'n');
  auto value = Parse("/" + name + " ");
  EXPECT_EQ(static_cast<CPDFName*>(value.get())->Str(), name);
}

// Names that files hold and that must read back the same after a save: the empty name, a "#"
// that two hex digits do not follow (the byte "#" itself), bytes outside the regular set, and a
// name that the end of the input ends.
TEST(ParserScalarTest, OddNamesKeepTheirBytesAndReadBackTheSame) {
  const struct {
    const char* text;
    std::string bytes;
    const char* written;
  } cases[] = {
      {"/ ", "", "/"},
      {"/", "", "/"},
      {"/Abc", "Abc", "/Abc"},
      {"/Im#1 ", "Im#1", "/Im#231"},
      {"/AB#4 ", "AB#4", "/AB#234"},
      {"/A#G1 ", "A#G1", "/A#23G1"},
      {"/A##41 ", "A#A", "/A#23A"},
      {"/A\xff\x01"
       "B ",
       "A\xff\x01"
       "B",
       "/A#FF#01B"},
      {"/N#00 ", std::string("N\0", 2), "/N#00"},
  };
  for (const auto& c : cases) {
    auto value = Parse(c.text);
    ASSERT_TRUE(value && value->TypeCode() == kTypeName) << c.text;
    EXPECT_EQ(static_cast<CPDFName*>(value.get())->Str(), c.bytes) << c.text;
    const std::string written = Text(*value);
    EXPECT_EQ(written, c.written) << c.text;
    EXPECT_EQ(static_cast<CPDFName*>(Parse(written + " ").get())->Str(), c.bytes) << c.text;
  }
  auto dict = Parse("<< / /A /E [/ /] >>");
  ASSERT_TRUE(dict);
  EXPECT_EQ(Text(*dict), "<<\r\n/ /A\r\n/E [/ /]\r\n>>");
}

TEST(ParserScalarTest, MalformedNames) {
  const std::string text = "x";
  MemInStream in(text.data(), text.size());
  try {
    ReadName(in);
    FAIL() << "a name must start with /";
  } catch (const CPDFException& e) {
    EXPECT_EQ(e.Message(), "invalidtoken: x");
  }
}

// ---- strings ------------------------------------------------------------------------------------

std::string StringOf(const std::string& text) {
  auto value = Parse(text);
  if (!value || value->TypeCode() != kTypeString) return "<not a string>";
  return static_cast<CPDFString*>(value.get())->Str();
}

TEST(ParserStringTest, LiteralStringsBalanceParentheses) {
  EXPECT_EQ(StringOf("(a(b)c)"), "a(b)c");
  EXPECT_EQ(StringOf("(a\\)b)"), "a)b");
  EXPECT_EQ(StringOf("(a\\(b)"), "a(b");
  EXPECT_EQ(StringOf("(a\\\\)"), "a\\");
  EXPECT_EQ(StringOf("()"), "");
}

TEST(ParserStringTest, LiteralEscapes) {
  EXPECT_EQ(StringOf("(\\101\\102)"), "AB");
  EXPECT_EQ(StringOf("(\\n\\r\\t\\b\\f)"), "\n\r\t\b\f");
  EXPECT_EQ(StringOf("(one\\\ntwo)"), "onetwo");
  EXPECT_EQ(StringOf("(one\\\r\ntwo)"), "onetwo");
  EXPECT_EQ(StringOf("(one\\\rtwo)"), "onetwo");
  EXPECT_EQ(StringOf("(raw\r\nbreak)"), "raw\r\nbreak");  // unescaped line ends stay as read
  EXPECT_EQ(StringOf("(\\000)"), std::string(1, '\0'));
  EXPECT_EQ(StringOf("(\\377)"), "\xFF");
  EXPECT_EQ(StringOf("(\\0053)"),
            "\x05"
            "3");  // three digits at most
}

TEST(ParserStringTest, ShortOctalEscapesAreKept) {
  // One or two octal digits are a whole escape: a short escape before ")" is not dropped.
  EXPECT_EQ(StringOf("(ab\\7)"), "ab\x07");
  EXPECT_EQ(StringOf("(\\12a)"), "\na");
  // A backslash before any other byte stands for that byte.
  EXPECT_EQ(StringOf("(\\q)"), "q");
}

TEST(ParserStringTest, HexStrings) {
  auto value = Parse("<41 42 4>");
  ASSERT_NE(value, nullptr);
  auto* string = static_cast<CPDFString*>(value.get());
  EXPECT_EQ(string->Str(), "\x41\x42\x40");
  EXPECT_EQ(string->m_form, CPDFString::kHex);
  EXPECT_EQ(StringOf("<6a6B>"), "jk");
  EXPECT_EQ(StringOf("<>"), "");
  EXPECT_EQ(StringOf("< 4\r\n1 >"), "A");
  EXPECT_EQ(static_cast<CPDFString*>(Parse("(x)").get())->m_form, CPDFString::kLiteral);
}

TEST(ParserStringTest, MalformedStrings) {
  EXPECT_ERROR(ParseError("<41G2>"), "CPDFString", "Serialize", 4, "invalidtoken: G");
  EXPECT_ERROR(ParseError("<4142"), "CPDFString", "Serialize", 4, "ioerror");
  EXPECT_ERROR(ParseError("(abc"), "CPDFString", "Serialize", 4, "ioerror");
  EXPECT_ERROR(ParseError("(a(b)"), "CPDFString", "Serialize", 4, "ioerror");
  EXPECT_ERROR(ParseError("(a\\)"), "CPDFString", "Serialize", 4, "ioerror");
  const std::string text = "x";
  MemInStream in(text.data(), text.size());
  try {
    ReadString(in);
    FAIL() << "a string must start with ( or <";
  } catch (const CPDFException& e) {
    EXPECT_EQ(e.Message(), "invalidtoken: x");
  }
}

// ---- arrays -------------------------------------------------------------------------------------

TEST(ParserArrayTest, ElementsAndReferences) {
  auto two = Parse("[1 2]");
  ASSERT_NE(two, nullptr);
  auto* array = AsArray(two.get());
  ASSERT_EQ(array->Count(), 2u);
  EXPECT_EQ(array->GetNumber(nullptr, 0)->IntValue(), 1);
  EXPECT_EQ(array->GetNumber(nullptr, 1)->IntValue(), 2);

  auto one = Parse("[1 2 R]");
  ASSERT_EQ(AsArray(one.get())->Count(), 1u);
  const CPDFObjRef* ref = AsRef(AsArray(one.get())->At(0));
  ASSERT_NE(ref, nullptr);
  EXPECT_EQ(ref->Num(), 1);
  EXPECT_EQ(ref->Gen(), 2);

  auto mixed = Parse("[3 0 R 4 5 0 R/N(s)[]<<>>]");
  auto* elements = AsArray(mixed.get());
  ASSERT_EQ(elements->Count(), 7u);
  EXPECT_NE(AsRef(elements->At(0)), nullptr);
  EXPECT_EQ(elements->GetNumber(nullptr, 1)->IntValue(), 4);
  EXPECT_EQ(AsRef(elements->At(2))->Num(), 5);
}

TEST(ParserArrayTest, ReferenceLookaheadNeedsDigitsAndExactlyR) {
  // "1 0 Rx" is no reference: the three numbers and the keyword do not fit.
  EXPECT_EQ(AsArray(Parse("[1 0 R ]").get())->Count(), 1u);
  EXPECT_ERROR(ParseError("[1 0 Rx]"), "CPDFArray", "Serialize", 4, "invalidtoken: Rx");
  EXPECT_EQ(AsArray(Parse("[-1 0 1]").get())->Count(), 3u);
}

TEST(ParserArrayTest, ReadReferenceRestoresTheInputWhenItIsNoReference) {
  const std::string text = "12 0 obj";
  MemInStream in(text.data(), text.size());
  EXPECT_EQ(ReadReference(nullptr, in), nullptr);
  EXPECT_EQ(in.Tell(), 0);
  const std::string ref = "12 3 R";
  MemInStream refIn(ref.data(), ref.size());
  auto found = ReadReference(nullptr, refIn);
  ASSERT_NE(found, nullptr);
  EXPECT_EQ(found->Num(), 12);
  EXPECT_EQ(found->Gen(), 3);
}

TEST(ParserArrayTest, MalformedArrays) {
  EXPECT_ERROR(ParseError("[1 2"), "CPDFArray", "Serialize", 4, "ioerror");
  EXPECT_ERROR(ParseError("[1 )]"), "CPDFArray", "Serialize", 4, "invalidtoken: )");
  EXPECT_ERROR(ParseError("[1 {x} ]"), "CPDFArray", "Serialize", 4, "invalidtoken: {x}");
  EXPECT_ERROR(ParseError("[(a]"), "CPDFString", "Serialize", 4, "ioerror");
}

// ---- dictionaries -------------------------------------------------------------------------------

TEST(ParserDictTest, ReferencesAndNestedArrays) {
  auto value = Parse("<< /A 1 0 R /B [1 0 R 2] >>");
  ASSERT_NE(value, nullptr);
  auto* dict = AsDict(value.get());
  ASSERT_EQ(dict->Count(), 2u);
  const CPDFObjRef* a = AsRef(dict->Lookup("A"));
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(a->Num(), 1);
  EXPECT_EQ(a->Gen(), 0);
  auto* b = dict->GetArray(nullptr, "B");
  ASSERT_NE(b, nullptr);
  ASSERT_EQ(b->Count(), 2u);
  EXPECT_NE(AsRef(b->At(0)), nullptr);
  EXPECT_EQ(b->GetNumber(nullptr, 1)->IntValue(), 2);
}

TEST(ParserDictTest, TheLastOfARepeatedKeyWins) {
  auto value = Parse("<</K 1/K 2>>");
  auto* dict = AsDict(value.get());
  EXPECT_EQ(dict->Count(), 1u);
  EXPECT_EQ(dict->GetNumber(nullptr, "K")->IntValue(), 2);
}

TEST(ParserDictTest, CommentsBetweenKeysAndValuesAreSkipped) {
  auto value = Parse("<< /Key % the key\n % again\r\n 5 % after\n >>");
  ASSERT_NE(value, nullptr);
  EXPECT_EQ(AsDict(value.get())->GetNumber(nullptr, "Key")->IntValue(), 5);
}

TEST(ParserDictTest, KeysMustBeNames) {
  EXPECT_ERROR(ParseError("<< 1 2 >>"), "CPDFDict", "Serialize", 4, "typecheck: Number");
  EXPECT_ERROR(ParseError("<< (k) 2 >>"), "CPDFDict", "Serialize", 4, "typecheck: String");
  EXPECT_ERROR(ParseError("<< [/k] 2 >>"), "CPDFDict", "Serialize", 4, "typecheck: Array");
}

TEST(ParserDictTest, MalformedDictionaries) {
  EXPECT_ERROR(ParseError("<< /A 1"), "CPDFDict", "Serialize", 4, "ioerror");
  EXPECT_ERROR(ParseError("<< /A 1 >"), "CPDFDict", "Serialize", 4, "ioerror");
  EXPECT_ERROR(ParseError("<< /A >>"), "CPDFDict", "Serialize", 4, "invalidtoken: >");
  EXPECT_ERROR(ParseError("<< /A 1 > >>"), "CPDFDict", "Serialize", 4, "invalidtoken: >");
  EXPECT_ERROR(ParseError("<< ) >>"), "CPDFDict", "Serialize", 4, "invalidtoken: )");
  const std::string text = "<a>";
  MemInStream in(text.data(), text.size());
  try {
    ReadDict(nullptr, in);
    FAIL() << "a dictionary must start with <<";
  } catch (const CPDFException& e) {
    EXPECT_EQ(e.Module(), "CPDFDict");
    EXPECT_EQ(e.Message(), "invalidtoken: <a");
  }
}

// Read leniently, as readers read a damaged object: each token that cannot stand where it is
// is passed over and counted, and a keyword that ends the object closes what is left open.
TEST(ParserLenientTest, DamagedTokensArePassedOver) {
  const struct {
    const char* input;
    const char* value;
    int dropped;
    const char* rest;  // what is left to read
  } kCases[] = {
      {"<< /A 1 ) /B 2 >>", "<</A 1/B 2>>", 1, ""},
      {"<< /A 1 7 /B 2 >>", "<</A 1/B 2>>", 1, ""},
      {"<< /A >> ", "<<>>", 1, ""},
      {"<< /A 1 > >>", "<</A 1>>", 1, ""},
      {"<< /A <41G2> /B 2 >>", "<</B 2>>", 3, ""},
      {"[1 ) 2 } 3]", "[1 2 3]", 2, ""},
      {"<< /A [1 2 endobj", "<</A [1 2]>>", 0, "endobj"},
      {"<< /A 1 stream", "<</A 1>>", 0, "stream"},
  };
  for (const auto& c : kCases) {
    const std::string text = c.input;
    MemInStream in(text.data(), text.size());
    int dropped = 0;
    std::unique_ptr<CPDFObject> value;
    try {
      value = ParseObjectLeniently(nullptr, in, nullptr, nullptr, &dropped);
    } catch (const CPDFException& e) {
      ADD_FAILURE() << c.input << ": " << e.Message();
      continue;
    }
    ASSERT_NE(value, nullptr) << c.input;
    std::string shown = Text(*value);
    shown.erase(
        std::remove_if(shown.begin(), shown.end(), [](char b) { return b == '\r' || b == '\n'; }),
        shown.end());
    EXPECT_EQ(shown, c.value) << c.input;
    EXPECT_EQ(dropped, c.dropped) << c.input;
    std::string rest;
    ReadToken(in, rest);
    EXPECT_EQ(rest, c.rest) << c.input;
  }
}

TEST(ParserLenientTest, TheEndOfTheInputStillFails) {
  const std::string text = "<< /A 1 ) /B";
  MemInStream in(text.data(), text.size());
  int dropped = 0;
  EXPECT_THROW(ParseObjectLeniently(nullptr, in, nullptr, nullptr, &dropped), CPDFException);
}

TEST(ParserDictTest, ReadDictLeavesAFollowingKeywordAlone) {
  // The trailer's dictionary is followed by "startxref", which must not be taken for "stream".
  const std::string text = "<</Size 3>>\r\nstartxref\r\n120";
  MemInStream in(text.data(), text.size());
  auto dict = ReadDict(nullptr, in);
  ASSERT_NE(dict, nullptr);
  EXPECT_EQ(dict->GetNumber(nullptr, "Size")->IntValue(), 3);
  std::string token;
  ASSERT_TRUE(ReadToken(in, token));
  EXPECT_EQ(token, "startxref");
}

TEST(ParserDictTest, RefillsInsideTheTwoByteBracketsAreHandled) {
  // A 3-byte buffer puts buffer edges inside "<<" and ">>" and inside "n g R".
  const std::string text = "<</Ab 12 0 R/C<</D[1 2 3]>>>>";
  auto value = Parse(text, nullptr, 3);
  ASSERT_NE(value, nullptr);
  EXPECT_EQ(test::Text(*value), test::Reserialize(text));
  EXPECT_NE(AsRef(AsDict(value.get())->Lookup("Ab")), nullptr);
}

// ---- nesting ------------------------------------------------------------------------------------

TEST(ParserNestingTest, ContainersNestUpToTheLimit) {
  const int limit = limits::kMaxNesting;
  const std::string deepest = std::string(limit, '[') + std::string(limit, ']');
  EXPECT_NE(Parse(deepest), nullptr);
  const std::string tooDeep = std::string(limit + 1, '[') + std::string(limit + 1, ']');
  EXPECT_ERROR(ParseError(tooDeep), "CPDFArray", "Serialize", 4, "nesting too deep");
}

TEST(ParserNestingTest, DictionariesCountTowardsTheSameLimit) {
  std::string text;
  for (int i = 0; i < limits::kMaxNesting; ++i) text += "<</A[";
  EXPECT_NE(ParseError(text).value().Message().find("nesting too deep"), std::string::npos);
  // Hostile depth far beyond the limit fails the same way instead of exhausting the stack.
  EXPECT_ERROR(ParseError(std::string(1000000, '[')), "CPDFArray", "Serialize", 4,
               "nesting too deep");
}

}  // namespace
}  // namespace quarn
