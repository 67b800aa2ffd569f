// Encoding tables, the built-in encodings, Differences and the encoding dictionary.
#include "pdf/font/encoding.h"

#include <gtest/gtest.h>
#include "support/afm.h"
#include "support/values.h"


namespace quarn {
namespace {

std::string NameOf(const EncodingTable& table, int code) {
  std::string name;
  return table.CodeToName(static_cast<uint8_t>(code), name) ? name : "<none>";
}

int CodeOf(const EncodingTable& table, std::string_view name) {
  uint8_t code = 0;
  return table.NameToCode(name, code) ? code : -1;
}

EncodingTable BuiltIn(std::string_view name) {
  EncodingTable table;
  EXPECT_TRUE(table.LoadBuiltIn(name)) << name;
  return table;
}

// ---- the table itself ----------------------------------------------------------------------

TEST(EncodingTableTest, AddingOverwritesBothDirections) {
  EncodingTable table;
  ASSERT_TRUE(table.AddMapping(65, "A"));
  ASSERT_TRUE(table.AddMapping(97, "A"));
  EXPECT_EQ(CodeOf(table, "A"), 97);  // the code added last
  EXPECT_EQ(NameOf(table, 65), "A");
  ASSERT_TRUE(table.AddMapping(65, "Alpha"));
  EXPECT_EQ(NameOf(table, 65), "Alpha");
  EXPECT_EQ(CodeOf(table, "Alpha"), 65);
}

TEST(EncodingTableTest, SyntheticNamesForCodesWithoutOne) {
  EncodingTable table;
  EXPECT_EQ(NameOf(table, 65), "G41");
  EXPECT_EQ(NameOf(table, 0), "G00");
  EXPECT_EQ(NameOf(table, 255), "GFF");
  EXPECT_EQ(CodeOf(table, "G4a"), 0x4A);
  EXPECT_EQ(CodeOf(table, "G4A"), 0x4A);
  EXPECT_EQ(CodeOf(table, "G4"), -1);
  EXPECT_EQ(CodeOf(table, "G4AB"), -1);
  EXPECT_EQ(CodeOf(table, "g41"), -1);
  EXPECT_EQ(CodeOf(table, "GZZ"), -1);
  EXPECT_EQ(CodeOf(table, "nosuchglyph"), -1);
}

TEST(EncodingTableTest, RealGlyphNamedLikeASyntheticNameBlocksIt) {
  EncodingTable table;
  ASSERT_TRUE(table.AddMapping(200, "G41"));
  std::string name;
  EXPECT_FALSE(table.CodeToName(65, name));
  EXPECT_EQ(CodeOf(table, "G41"), 200);  // the real glyph wins over the synthetic reading
  EXPECT_FALSE(table.HasCode(65));
  EXPECT_TRUE(table.HasCode(200));
}

TEST(EncodingTableTest, UnknownBuiltInNameFails) {
  EncodingTable table;
  EXPECT_FALSE(table.LoadBuiltIn("SymbolEncoding"));
  EXPECT_FALSE(table.LoadBuiltIn("standardencoding"));
  EXPECT_FALSE(table.LoadBuiltIn(""));
}

// ---- the five built-in encodings -----------------------------------------------------------

struct EncodingShape {
  const char* name;
  size_t entries;
  int lowest;
  int highest;
};

TEST(BuiltInEncodingTest, CountsAndCodeRanges) {
  const EncodingShape shapes[] = {{"StandardEncoding", 149, 32, 251},
                                  {"WinAnsiEncoding", 224, 32, 255},
                                  {"MacRomanEncoding", 208, 32, 255},
                                  {"MacExpertEncoding", 165, 32, 251},
                                  {"PDFDocEncoding", 229, 24, 255}};
  for (const EncodingShape& shape : shapes) {
    EncodingTable table = BuiltIn(shape.name);
    EXPECT_EQ(table.CodeCount(), shape.entries) << shape.name;
    int lowest = 256;
    int highest = -1;
    for (int code = 0; code < 256; ++code) {
      if (!table.HasCode(static_cast<uint8_t>(code))) continue;
      lowest = std::min(lowest, code);
      highest = std::max(highest, code);
    }
    EXPECT_EQ(lowest, shape.lowest) << shape.name;
    EXPECT_EQ(highest, shape.highest) << shape.name;
  }
}

TEST(BuiltInEncodingTest, WinAnsiParticulars) {
  EncodingTable table = BuiltIn("WinAnsiEncoding");
  for (int code = 32; code <= 255; ++code) EXPECT_TRUE(table.HasCode(uint8_t(code))) << code;
  EXPECT_EQ(NameOf(table, 128), "Euro");
  for (int code : {127, 129, 141, 143, 144, 149, 157}) EXPECT_EQ(NameOf(table, code), "bullet");
  EXPECT_EQ(NameOf(table, 32), "space");
  EXPECT_EQ(NameOf(table, 160), "space");
  EXPECT_EQ(NameOf(table, 45), "hyphen");
  EXPECT_EQ(NameOf(table, 173), "hyphen");
  // Added from the highest code down, so shared names map back to their lowest code.
  EXPECT_EQ(CodeOf(table, "space"), 32);
  EXPECT_EQ(CodeOf(table, "hyphen"), 45);
  EXPECT_EQ(CodeOf(table, "bullet"), 127);
}

TEST(BuiltInEncodingTest, MacRomanParticulars) {
  EncodingTable table = BuiltIn("MacRomanEncoding");
  const int gaps[] = {127, 173, 176, 178, 179, 182, 183, 184,
                      185, 186, 189, 195, 197, 198, 215, 240};
  for (int code : gaps) EXPECT_FALSE(table.HasCode(uint8_t(code))) << code;
  EXPECT_EQ(NameOf(table, 202), "space");
  EXPECT_EQ(CodeOf(table, "space"), 32);
}

TEST(BuiltInEncodingTest, PDFDocParticulars) {
  EncodingTable table = BuiltIn("PDFDocEncoding");
  const char* accents[] = {"breve",        "caron",  "circumflex", "dotaccent",
                           "hungarumlaut", "ogonek", "ring",       "tilde"};
  for (int i = 0; i < 8; ++i) EXPECT_EQ(NameOf(table, 24 + i), accents[i]);
  EXPECT_EQ(NameOf(table, 160), "Euro");
  for (int code : {127, 159, 173}) EXPECT_FALSE(table.HasCode(uint8_t(code))) << code;
}

TEST(BuiltInEncodingTest, StandardEncodingNamesTheAdobeGlyphs) {
  EncodingTable table = BuiltIn("StandardEncoding");
  EXPECT_EQ(NameOf(table, 39), "quoteright");
  EXPECT_EQ(NameOf(table, 96), "quoteleft");
  EXPECT_EQ(NameOf(table, 251), "germandbls");
  EXPECT_EQ(NameOf(table, 128), "G80");  // unnamed codes get synthetic names
}

// ---- Differences ---------------------------------------------------------------------------

EncodingTable DifferencesOf(const std::string& arrayText) {
  std::unique_ptr<CPDFObject> value = test::Parse(arrayText);
  EncodingTable table;
  auto encoding = std::make_unique<CPDFEncoding>();
  auto dict = std::make_unique<CPDFDict>();
  dict->Insert("Differences", std::move(value));
  EXPECT_TRUE(encoding->Realize(nullptr, *dict));
  const EncodingTable* built = encoding->GetDifferences();
  EXPECT_TRUE(built);
  for (int code = 0; code < 256; ++code) {
    std::string name;
    if (built && built->HasCode(uint8_t(code)) && built->CodeToName(uint8_t(code), name)) {
      table.AddMapping(uint8_t(code), name);
    }
  }
  return table;
}

TEST(DifferencesTest, RunsStartAtNumbers) {
  EncodingTable table = DifferencesOf("[32 /a /b 40 /c]");
  EXPECT_EQ(table.CodeCount(), 3u);
  EXPECT_EQ(NameOf(table, 32), "a");
  EXPECT_EQ(NameOf(table, 33), "b");
  EXPECT_EQ(NameOf(table, 40), "c");
}

TEST(DifferencesTest, CodeAfter255WrapsToZero) {
  EncodingTable table = DifferencesOf("[255 /last /first]");
  EXPECT_EQ(NameOf(table, 255), "last");
  EXPECT_EQ(NameOf(table, 0), "first");
}

TEST(DifferencesTest, RealBuiltByCodeDoesNotStartARun) {
  auto differences = std::make_unique<CPDFArray>();
  differences->Push_Back(std::make_unique<CPDFInt>(65));
  differences->Push_Back(std::make_unique<CPDFName>("A"));
  differences->Push_Back(std::make_unique<CPDFReal>(100.0f));
  differences->Push_Back(std::make_unique<CPDFName>("B"));
  EncodingTable table;
  ASSERT_TRUE(BuildDifferencesTable(nullptr, *differences, table));
  EXPECT_EQ(NameOf(table, 65), "A");
  EXPECT_EQ(NameOf(table, 66), "B");
  EXPECT_FALSE(table.HasCode(100));
}

TEST(DifferencesTest, NumbersFromTheFileBecomeIntegersWhenBound) {
  auto dict = test::ParseDict("<< /Type /Encoding /Differences [32 /a 7.9 /b] >>");
  ASSERT_TRUE(dict);
  CPDFEncoding encoding;
  ASSERT_TRUE(encoding.Realize(nullptr, *dict));
  CPDFArray* differences = encoding.Get_Differences();
  ASSERT_TRUE(differences);
  EXPECT_EQ(differences->GetObj(nullptr, 0)->TypeCode(), kTypeInteger);
  EXPECT_EQ(differences->GetObj(nullptr, 2)->TypeCode(), kTypeInteger);
  EXPECT_EQ(static_cast<CPDFNumber*>(differences->GetObj(nullptr, 2))->IntValue(), 7);
  const EncodingTable* table = encoding.GetDifferences();
  ASSERT_TRUE(table);
  EXPECT_EQ(NameOf(*table, 7), "b");
}

TEST(DifferencesTest, NoDifferencesGivesAnEmptyTable) {
  CPDFEncoding encoding;
  ASSERT_TRUE(encoding.Create(nullptr));
  const EncodingTable* table = encoding.GetDifferences();
  ASSERT_TRUE(table);
  EXPECT_EQ(table->CodeCount(), 0u);
}

TEST(DifferencesTest, UpdateDifferencesRefreshesTheTable) {
  CPDFEncoding encoding;
  ASSERT_TRUE(encoding.Create(nullptr));
  auto first = std::make_unique<CPDFArray>();
  first->Push_Back(std::make_unique<CPDFInt>(65));
  first->Push_Back(std::make_unique<CPDFName>("one"));
  ASSERT_TRUE(encoding.Set_Differences(std::move(first)));
  ASSERT_EQ(NameOf(*encoding.GetDifferences(), 65), "one");
  auto second = std::make_unique<CPDFArray>();
  second->Push_Back(std::make_unique<CPDFInt>(66));
  second->Push_Back(std::make_unique<CPDFName>("two"));
  ASSERT_TRUE(encoding.Set_Differences(std::move(second)));
  ASSERT_TRUE(encoding.UpdateDifferences());
  EXPECT_FALSE(encoding.GetDifferences()->HasCode(65));
  EXPECT_EQ(NameOf(*encoding.GetDifferences(), 66), "two");
}

// ---- the encoding dictionary ---------------------------------------------------------------

TEST(EncodingDictTest, BaseEncodingDefaultsToStandard) {
  CPDFEncoding encoding;
  ASSERT_TRUE(encoding.Create(nullptr));
  EXPECT_EQ(encoding.Get_BaseEncoding(), "StandardEncoding");
  ASSERT_TRUE(encoding.Set_BaseEncoding(std::make_unique<CPDFName>("WinAnsiEncoding")));
  EXPECT_EQ(encoding.Get_BaseEncoding(), "WinAnsiEncoding");
}

TEST(EncodingDictTest, RecognizedOnlyWithTypeEncoding) {
  auto typed = test::ParseDict("<< /Type /Encoding /BaseEncoding /WinAnsiEncoding >>");
  auto untyped = test::ParseDict("<< /BaseEncoding /WinAnsiEncoding >>");
  auto wrong = test::ParseDict("<< /Type (Encoding) >>");
  EXPECT_TRUE(IsEncoding(nullptr, typed.get()));
  EXPECT_FALSE(IsEncoding(nullptr, untyped.get()));
  EXPECT_FALSE(IsEncoding(nullptr, wrong.get()));
  EXPECT_FALSE(IsEncoding(nullptr, nullptr));
}

TEST(EncodingDictTest, FromDictLeavesThePlainDictionaryAlone) {
  auto dict = test::ParseDict("<< /Differences [65 /B] >>");
  ASSERT_TRUE(dict);
  std::unique_ptr<CPDFEncoding> view = CPDFEncoding::FromDict(nullptr, *dict);
  ASSERT_TRUE(view);
  EXPECT_EQ(NameOf(*view->GetDifferences(), 65), "B");
  EXPECT_EQ(dict->GetArray(nullptr, "Differences")->GetObj(nullptr, 0)->TypeCode(), kTypeNumber);
}

TEST(EncodingDictTest, PDFDocEncodingDictionary) {
  std::unique_ptr<CPDFEncoding> dict = CreatePDFDocEncodingDict(nullptr);
  ASSERT_TRUE(dict);
  EXPECT_TRUE(dict->HasName(nullptr, "Type", "Encoding"));
  EXPECT_FALSE(dict->Lookup("BaseEncoding"));
  CPDFArray* differences = dict->Get_Differences();
  ASSERT_TRUE(differences);
  EXPECT_EQ(differences->Count(), 140u);
  EXPECT_EQ(differences->GetObj(nullptr, 0)->TypeCode(), kTypeInteger);

  // Applied to StandardEncoding, the differences name every code as PDFDocEncoding does
  // (173 as .notdef, which PDFDocEncoding leaves out).
  const EncodingTable* table = dict->GetDifferences();
  ASSERT_TRUE(table);
  EncodingTable standard = BuiltIn("StandardEncoding");
  EncodingTable pdfDoc = BuiltIn("PDFDocEncoding");
  for (int code = 24; code < 256; ++code) {
    if (!pdfDoc.HasCode(uint8_t(code))) continue;
    const std::string expected = NameOf(pdfDoc, code);
    const std::string actual =
        table->HasCode(uint8_t(code)) ? NameOf(*table, code) : NameOf(standard, code);
    EXPECT_EQ(actual, expected) << "code " << code;
  }
  EXPECT_EQ(NameOf(*table, 173), ".notdef");
  EXPECT_EQ(NameOf(*table, 215), "multiply");
  EXPECT_EQ(NameOf(*table, 247), "divide");
}

}  // namespace
}  // namespace quarn
