#include <gtest/gtest.h>
#include <signal.h>

#include <clocale>
#include <cmath>
#include <limits>
#include <memory>
#include <string>
#include <utility>

#include "pdf/object/crypt_context.h"
#include "pdf/stream/stream.h"
#include "platform/background_writeback.h"
#include "platform/source_file.h"
#include "support/files.h"
#include "support/threads.h"
#include "support/values.h"

namespace quarn {
namespace {

using test::Parse;
using test::Reserialize;
using test::Text;

// ---- numbers ------------------------------------------------------------------------------------

TEST(SerializeNumberTest, RealFormatTrimsZerosAndThePoint) {
  EXPECT_EQ(FormatReal(2.5), "2.5");
  EXPECT_EQ(FormatReal(3.0), "3");
  EXPECT_EQ(FormatReal(0.0), "0");
  EXPECT_EQ(FormatReal(-0.25), "-0.25");
  EXPECT_EQ(FormatReal(0.1f), "0.1");
  EXPECT_EQ(FormatReal(100.0), "100");
  EXPECT_EQ(FormatReal(1.0 / 3.0), "0.333333");
  EXPECT_EQ(FormatReal(2.5, "%.3f"), "2.5");
}

TEST(SerializeNumberTest, RealFormatIgnoresTheProcessLocale) {
  const std::string saved = std::setlocale(LC_NUMERIC, nullptr);
  bool switched = false;
  for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "fr_FR.utf8"}) {
    if (std::setlocale(LC_NUMERIC, name)) {
      switched = true;
      break;
    }
  }
  if (!switched) GTEST_SKIP() << "no locale with a decimal comma is installed";
  const std::string plain = FormatReal(2.5);
  const std::string formatted = FormatReal(2.5, "%.2f");
  std::setlocale(LC_NUMERIC, saved.c_str());
  EXPECT_EQ(plain, "2.5");
  EXPECT_EQ(formatted, "2.5");
}

// A number read from a file is written with the value it was read with, in the shortest text
// that reads back the same (a 32-bit float would turn 842.4 into 842.400024).
TEST(SerializeNumberTest, ParsedNumbersKeepTheirValue) {
  // clang-format off
  const std::pair<const char*, const char*> cases[] = {
      {"40000.5", "40000.5"}, {"7", "7"},         {"0.5", "0.5"},       {"-32767.5", "-32767.5"},
      {"-32768.5", "-32768.5"}, {"32768.25", "32768.25"}, {"-0.5", "-0.5"}, {"842.4", "842.4"},
      {"595.2", "595.2"},       {"0.1", "0.1"},   {"1.0", "1"},         {"-.5", "-0.5"},
      {"+5", "5"},              {"00012", "12"},  {"3.5.1", "3.5"},     {"-0", "0"},
      {"0.0000001", "0.0000001"}, {"3000000000", "3000000000"}, {"1.23456789", "1.23456789"},
  };
  // clang-format on
  for (const auto& [text, written] : cases) EXPECT_EQ(Reserialize(text), written) << text;
  // Both forms still come from the token; a number changed by code is written in its own form.
  auto number = Parse("842.4 ");
  EXPECT_EQ(AsNumber(number.get())->IntValue(), 842);
  EXPECT_FLOAT_EQ(AsNumber(number.get())->RealValue(), 842.4f);
  EXPECT_EQ(Text(*number->Clone()), "842.4");
  AsNumber(number.get())->SetReal(842.4f);
  EXPECT_EQ(Text(*number), "842.400024");
}

// Integers count a file's bytes: past 2^31, 2^32 and the 53 bits of a double they are read, kept
// and written with every digit, as parsed numbers and as integers built by code.
TEST(SerializeNumberTest, IntegersPastThirtyTwoBitsKeepEveryDigit) {
  for (const char* text : {"2147483647", "2147483648", "-2147483648", "-2147483649", "4294967295",
                           "4294967296", "2400000000", "9007199254740993", "-9007199254740993",
                           "9223372036854775807", "-9223372036854775808"}) {
    EXPECT_EQ(Reserialize(text), text);
    auto number = Parse(std::string(text) + " ");
    ASSERT_NE(AsNumber(number.get()), nullptr) << text;
    EXPECT_EQ(number->TypeCode(), kTypeNumber) << text;
    EXPECT_EQ(std::to_string(AsNumber(number.get())->Int64Value()), text);
    EXPECT_EQ(Text(*number->Clone()), text);
    const int64_t value = AsNumber(number.get())->Int64Value();
    const CPDFInt built(value);
    EXPECT_EQ(built.TypeCode(), kTypeInteger) << text;
    EXPECT_EQ(Text(built), text);
    EXPECT_EQ(Text(CPDFNumber(value)), text);
    // The 32-bit view saturates rather than wrapping.
    EXPECT_EQ(built.IntValue(), CPDFNumber::SaturateToInt32(value)) << text;
  }
}

TEST(SerializeNumberTest, CodeBuiltNumbersKeepTheirForm) {
  EXPECT_EQ(Text(CPDFReal(100000.0f)), "100000");
  EXPECT_EQ(Text(CPDFReal(0.75f)), "0.75");
  EXPECT_EQ(Text(CPDFInt(5)), "5");
  EXPECT_EQ(Text(CPDFInt(-40000)), "-40000");
  EXPECT_EQ(Text(CPDFNumber(int32_t{12})), "12");
  EXPECT_EQ(Text(CPDFNumber(1.5f)), "1.5");
}

TEST(SerializeNumberTest, NumbersWithoutAFiniteRealWriteTheirInteger) {
  const float inf = std::numeric_limits<float>::infinity();
  EXPECT_EQ(Text(CPDFReal(inf)), "2147483647");
  EXPECT_EQ(Text(CPDFNumber(int32_t{3}, std::numeric_limits<float>::quiet_NaN())), "3");
  EXPECT_EQ(Reserialize("-nan"), "0");
  EXPECT_EQ(Reserialize("1e39"), "1");
}

// ---- scalars ------------------------------------------------------------------------------------

TEST(SerializeScalarTest, NullBooleansAndReferences) {
  EXPECT_EQ(Text(CPDFNull()), "null");
  EXPECT_EQ(Text(CPDFBool(true)), "true");
  EXPECT_EQ(Text(CPDFBool(false)), "false");
  EXPECT_EQ(Text(CPDFObjRef(12, 0)), "12 0 R");
  EXPECT_EQ(Text(CPDFObjRef(7, 65535)), "7 65535 R");
}

TEST(SerializeScalarTest, NamesEscapeTheirTableOfBytes) {
  EXPECT_EQ(Text(CPDFName("A B")), "/A#20B");
  EXPECT_EQ(Text(CPDFName("")), "/");
  EXPECT_EQ(Text(CPDFName("Type")), "/Type");
  EXPECT_EQ(Text(CPDFName("#%()/<>[]{}")), "/#23#25#28#29#2F#3C#3E#5B#5D#7B#7D");
  EXPECT_EQ(Text(CPDFName(std::string("\x00\x1F\x7F\x80\xFF", 5))), "/#00#1F#7F#80#FF");
  EXPECT_EQ(Text(CPDFName("!~-_.;:'\"")), "/!~-_.;:'\"");
}

TEST(SerializeScalarTest, NameEscapingCoversExactlyTheTable) {
  for (int c = 0; c < 256; ++c) {
    const std::string text = Text(CPDFName(std::string(1, static_cast<char>(c))));
    const bool plain = c > 32 && c < 127 &&
                       std::string("#%()/<>[]{}").find(static_cast<char>(c)) == std::string::npos;
    EXPECT_EQ(text.size(), plain ? 2u : 4u) << "byte " << c;
  }
}

TEST(SerializeScalarTest, LiteralStrings) {
  EXPECT_EQ(Text(CPDFString("a\n(")), "(a\\n\\()");
  EXPECT_EQ(Text(CPDFString("\b\t\n\f\r")), "(\\b\\t\\n\\f\\r)");
  EXPECT_EQ(Text(CPDFString("(x)\\")), "(\\(x\\)\\\\)");
  EXPECT_EQ(Text(CPDFString(std::string("\x00\x1F\x7F\x80\xFF", 5))),
            "(\\000\\037\\177\\200\\377)");
  EXPECT_EQ(Text(CPDFString("")), "()");
  EXPECT_EQ(Text(CPDFString("plain text 123 ~")), "(plain text 123 ~)");
}

TEST(SerializeScalarTest, HexStrings) {
  CPDFString string("a\n(");
  string.m_form = CPDFString::kHex;
  EXPECT_EQ(Text(string), "<610A28>");
  CPDFString high(std::string("\xAB\xCD", 2));
  high.m_form = CPDFString::kHex;
  EXPECT_EQ(Text(high), "<ABCD>");
  CPDFString empty;
  empty.m_form = CPDFString::kHex;
  EXPECT_EQ(Text(empty), "<>");
}

// ---- containers ---------------------------------------------------------------------------------

TEST(SerializeContainerTest, DictionariesWriteKeysInByteOrder) {
  CPDFDict dict;
  dict.Insert("Type", std::make_unique<CPDFName>("XObject"));
  dict.Insert("Length", std::make_unique<CPDFInt>(3));
  EXPECT_EQ(Text(dict), "<<\r\n/Length 3\r\n/Type /XObject\r\n>>");
  EXPECT_EQ(Text(CPDFDict()), "<<\r\n>>");
}

TEST(SerializeContainerTest, ArraysSeparateElementsWithOneSpace) {
  CPDFArray array;
  array.Push_Back(std::make_unique<CPDFInt>(1));
  array.Push_Back(std::make_unique<CPDFObjRef>(4, 0));
  array.Push_Back(std::make_unique<CPDFArray>());
  array.Push_Back(std::make_unique<CPDFName>("N"));
  EXPECT_EQ(Text(array), "[1 4 0 R [] /N]");
  EXPECT_EQ(Text(CPDFArray()), "[]");
}

TEST(SerializeContainerTest, NestedContainers) {
  EXPECT_EQ(Reserialize("<</Kids[1 0 R 2 0 R]/Sub<</X(y)>>>>"),
            "<<\r\n/Kids [1 0 R 2 0 R]\r\n/Sub <<\r\n/X (y)\r\n>>\r\n>>");
}

// ---- encryption ---------------------------------------------------------------------------------

TEST(SerializeCryptTest, StringsAreWrittenEncryptedAndStayClearInMemory) {
  const CPDFCryptContext::DocumentKey key = {1, 2, 3, 4, 5};
  CPDFCryptContext crypt(key, 7, 0);
  CPDFDict dict;
  dict.Insert("S", std::make_unique<CPDFString>("secret"));
  dict.Insert("N", std::make_unique<CPDFName>("name"));
  const std::string written = Text(dict, &crypt);
  EXPECT_EQ(written.find("secret"), std::string::npos);
  EXPECT_NE(written.find("/N /name"), std::string::npos) << "names are never encrypted";
  EXPECT_EQ(dict.GetString(nullptr, "S")->Str(), "secret");

  // Reading with the same context gives the clear text back.
  MemInStream in(written.data(), written.size());
  auto read = SerializeObject(nullptr, in, &crypt);
  ASSERT_NE(read, nullptr);
  EXPECT_EQ(AsDict(read.get())->GetString(nullptr, "S")->Str(), "secret");
}

// ---- round trips --------------------------------------------------------------------------------

TEST(SerializeRoundTripTest, ReadingWhatWasWrittenGivesTheSameValue) {
  for (const char* text :
       {"null", "true", "false", "0", "-17", "3.25", "-32767.5", "2147483647", "/A#20B ",
        "/#00#FF ", "(a\\n\\()", "<610A28>", "(\\000\\377\\\\)", "(nested (paren) text)",
        "[1 0 R 2 [3 [4]] <<>>]", "<</A 1 0 R/B[1 0 R 2]/C<</D(e)>>/E<00FF>>>", "[]", "<<>>"}) {
    const std::string first = Reserialize(text);
    // Names are read up to a delimiter, so a lone name needs a byte after it.
    const std::string second = Reserialize(first + " ");
    EXPECT_EQ(first, second) << text;
  }
}

TEST(SerializeRoundTripTest, EveryByteSurvivesInBothStringForms) {
  std::string all;
  for (int c = 0; c < 256; ++c) all.push_back(static_cast<char>(c));
  for (uint8_t form : {CPDFString::kLiteral, CPDFString::kHex}) {
    CPDFString string(all);
    string.m_form = form;
    auto read = test::Parse(Text(string));
    ASSERT_NE(read, nullptr);
    EXPECT_EQ(static_cast<CPDFString*>(read.get())->Str(), all);
    EXPECT_EQ(static_cast<CPDFString*>(read.get())->m_form, form);
  }
  auto name = test::Parse(Text(CPDFName(all.substr(1))) + " ");
  ASSERT_NE(name, nullptr);
  EXPECT_EQ(static_cast<CPDFName*>(name.get())->Str(), all.substr(1));
}

// ---- output stream ------------------------------------------------------------------------------

TEST(OutStreamTest, WritesLargerThanTheBufferArriveWhole) {
  StringOutStream out;
  const std::string big(10000, 'x');
  out << "head";
  out.WriteBytes(big.data(), big.size());
  out << 'z' << int32_t{-5} << 1.5f << true;
  EXPECT_EQ(out.Position(), static_cast<int64_t>(4 + big.size() + 1 + 2 + 3 + 4));
  EXPECT_EQ(out.Str(), "head" + big + "z-51.5true");
}

TEST(OutStreamTest, EndOfLineIsCrLf) {
  StringOutStream out;
  out << "a" << endl << "b";
  EXPECT_EQ(out.Str(), "a\r\nb");
}

TEST(OutStreamTest, PrintfKeepsLongTextsWhole) {
  StringOutStream out;
  const std::string long_text(600, 'q');
  out.Printf("<%s>%d", long_text.c_str(), 42);
  EXPECT_EQ(out.Str(), "<" + long_text + ">42");
}

TEST(OutStreamTest, FileWriterPositionsStartAfreshOnEachOpen) {
  test::TempDir dir;
  const std::string path = dir.File("out.bin");
  FileOutStream out;
  ASSERT_TRUE(out.Open(path, false));
  out << "first file";
  EXPECT_EQ(out.Position(), 10);
  out.Close();
  EXPECT_EQ(test::ReadFile(path), "first file");

  ASSERT_TRUE(out.Open(path, false));
  EXPECT_EQ(out.Position(), 0);
  out << "new";
  ASSERT_TRUE(out.Sync());
  out.Close();
  EXPECT_EQ(test::ReadFile(path), "new");

  ASSERT_TRUE(out.Open(path, true));
  EXPECT_EQ(out.Position(), 3);
  out << "+more";
  EXPECT_EQ(out.Position(), 8);
  out.Close();
  EXPECT_EQ(test::ReadFile(path), "new+more");
}

TEST(OutStreamTest, FileWriterReportsADestinationThatCannotBeOpened) {
  test::TempDir dir;
  FileOutStream out;
  EXPECT_FALSE(out.Open(dir.File("missing/sub/file"), false));
}

TEST(OutStreamTest, FileWriterHandsALargeOutputToTheDiskAsItGoes) {
  // Past a stretch of written bytes a helper thread starts the disk's writes; it takes none of
  // the signals that end a run, the bytes are those written by every path (buffered, large,
  // kernel copy), and it is gone once the output is synced.
  test::TempDir dir;
  std::string source(BackgroundWriteback::kStretch + 12345, '\0');
  for (size_t i = 0; i < source.size(); ++i) source[i] = static_cast<char>('a' + i % 23);
  test::WriteFile(dir.File("in.bin"), source);
  const std::shared_ptr<SourceFile> in = SourceFile::Open(dir.File("in.bin"));
  ASSERT_TRUE(in);

  FileOutStream out;
  ASSERT_TRUE(out.Open(dir.File("out.bin"), false));
  std::string expected;
  for (int i = 0; i < 2000; ++i) {
    const std::string line = "line " + std::to_string(i) + "\r\n";
    out << line;
    expected += line;
  }
  ASSERT_TRUE(out.CopyFrom(*in, 7, in->Size() - 7));
  expected += source.substr(7);
  out.WriteBytes(source.data(), source.size());
  expected += source;
  const uint64_t mask = test::SettledHelperMask("zorvane-sync");
  EXPECT_TRUE(mask & (uint64_t(1) << (SIGTERM - 1)));
  EXPECT_FALSE(mask & (uint64_t(1) << (SIGSEGV - 1)));
  ASSERT_TRUE(out.Sync());
  EXPECT_TRUE(test::ThreadsBlocked("zorvane-sync").empty());
  out.Close();
  EXPECT_EQ(test::ReadFile(dir.File("out.bin")), expected);

  // Appending to that file hands over only what is appended: a short update starts no thread.
  ASSERT_TRUE(out.Open(dir.File("out.bin"), true));
  out << "appended";
  out.Flush();
  EXPECT_TRUE(test::ThreadsBlocked("zorvane-sync").empty());
  ASSERT_TRUE(out.Sync());
  out.Close();
  EXPECT_EQ(test::ReadFile(dir.File("out.bin")), expected + "appended");
}

}  // namespace
}  // namespace quarn
