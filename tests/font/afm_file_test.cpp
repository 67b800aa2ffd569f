// The AFM reader: header keys, glyph metric lines and the conditions under which a file loads.
#include <gtest/gtest.h>
#include "support/afm.h"
#include "support/files.h"
#include "support/values.h"


namespace quarn {
namespace {

using test::MakeAFM;
using test::ParseAFM;

TEST(AFMHeaderTest, ReadsStringNumberAndBooleanKeys) {
  auto afm = ParseAFM(MakeAFM("Test-Font",
                              "FullName   Test Font Regular\n"
                              "FamilyName Test\n"
                              "Weight Bold\n"
                              "Version 001.002\n"
                              "EncodingScheme AdobeStandardEncoding\n"
                              "CapHeight 700\n"
                              "XHeight 500.9\n"
                              "Ascender 750\n"
                              "Descender -250\n"
                              "IsFixedPitch true\n"
                              "IsBaseFont TRUE\n"
                              "Characters 315\n"
                              "VVector 500 880\n"
                              "CharWidth 600 0\n",
                              "C 32 ; WX 250 ; N space ; B 0 0 0 0 ;\n"));
  ASSERT_TRUE(afm);
  const AFMHeader& h = afm->Header();
  EXPECT_EQ(h.fontName, "Test-Font");
  EXPECT_EQ(h.fullName, "Test Font Regular");  // rest of the line, leading blanks skipped
  EXPECT_EQ(h.familyName, "Test");
  EXPECT_EQ(h.weight, "Bold");
  EXPECT_EQ(h.version, "001.002");
  EXPECT_EQ(h.encodingScheme, "AdobeStandardEncoding");
  EXPECT_EQ(h.fontBBox, (std::array<int16_t, 4>{-10, -20, 900, 800}));
  EXPECT_EQ(h.capHeight, 700);
  EXPECT_EQ(h.xHeight, 500);  // digits after the decimal point are ignored
  EXPECT_EQ(h.ascender, 750);
  EXPECT_EQ(h.descender, -250);
  EXPECT_TRUE(h.isFixedPitch);
  EXPECT_FALSE(h.isBaseFont);  // only exactly "true" is true
  EXPECT_EQ(h.characters, 315);
  EXPECT_EQ(h.vVector, (std::array<int16_t, 2>{500, 880}));
  EXPECT_EQ(h.charWidth, (std::array<int16_t, 2>{600, 0}));
}

TEST(AFMHeaderTest, NegativeFractionalItalicAngleKeepsWholeDegrees) {
  auto afm = ParseAFM(MakeAFM("Slanted", "ItalicAngle -12.5\n", "C 32 ; WX 250 ; N space ;\n"));
  ASSERT_TRUE(afm);
  EXPECT_EQ(afm->Header().italicAngle, -12);
}

TEST(AFMHeaderTest, OnlyLowerCaseStemVSetsStemV) {
  auto withStdVW = ParseAFM(MakeAFM("A", "StdVW 84\n", "C 32 ; WX 250 ; N space ;\n"));
  ASSERT_TRUE(withStdVW);
  EXPECT_EQ(withStdVW->Header().stdVW, 84);
  EXPECT_EQ(withStdVW->Header().stemV, 0);

  auto withStemV = ParseAFM(MakeAFM("A", "stemV 77\n", "C 32 ; WX 250 ; N space ;\n"));
  ASSERT_TRUE(withStemV);
  EXPECT_EQ(withStemV->Header().stemV, 77);
}

TEST(AFMHeaderTest, KeysMatchByPrefixInTheirFixedOrder) {
  // "CharacterSet" is tried before "Characters", and both differ in their tenth byte.
  auto afm = ParseAFM(MakeAFM("A",
                              "CharacterSet ExtendedRoman\n"
                              "Characters 42\n"
                              "FontNameSuffix ignored?\n",
                              "C 32 ; WX 250 ; N space ;\n"));
  ASSERT_TRUE(afm);
  EXPECT_EQ(afm->Header().characterSet, "ExtendedRoman");
  EXPECT_EQ(afm->Header().characters, 42);
  // A key is recognised by the start of the line alone, so this line set FontName again.
  EXPECT_EQ(afm->Header().fontName, "Suffix ignored?");
}

TEST(AFMHeaderTest, IncompleteValuesStoreNothing) {
  auto afm = ParseAFM(MakeAFM("A",
                              "FontBBox 1 2 3\n"  // three numbers: the earlier box stays
                              "FullName    \n"    // empty: nothing stored
                              "VVector 5\n",
                              "C 32 ; WX 250 ; N space ;\n"));
  ASSERT_TRUE(afm);
  EXPECT_EQ(afm->Header().fontBBox, (std::array<int16_t, 4>{-10, -20, 900, 800}));
  EXPECT_EQ(afm->Header().fullName, "");
  EXPECT_EQ(afm->Header().vVector, (std::array<int16_t, 2>{0, 0}));
}

TEST(AFMHeaderTest, CommentsAndLeadingBlanksAndCRLFLineEnds) {
  auto afm = ParseAFM(
      "StartFontMetrics 2.0\r\n"
      "Comment FontName Wrong\r\n"
      "\r\n"
      "  \t FontName Right\r\n"
      "FontBBox 0 0 1 1\r"
      "StartCharMetrics 1\r\n"
      "C 65 ; WX 600 ; N A ;\r\n"
      "EndCharMetrics\r\n"
      "EndFontMetrics\r\n");
  ASSERT_TRUE(afm);
  EXPECT_EQ(afm->Header().fontName, "Right");
  ASSERT_TRUE(afm->FindGlyph("A"));
  EXPECT_EQ(afm->FindGlyph("A")->wx, 600);
}

TEST(AFMLoadTest, FileMustStartWithStartFontMetrics) {
  EXPECT_FALSE(ParseAFM("FontName A\nFontBBox 0 0 1 1\nStartFontMetrics 4.1\n"));
  EXPECT_FALSE(ParseAFM(""));
}

TEST(AFMLoadTest, LoadsWithoutEndFontMetricsWhenNameAndBoxAreSet) {
  auto afm = ParseAFM(
      "StartFontMetrics 4.1\n"
      "FontName Open-Ended\n"
      "FontBBox 0 -200 1000 800\n"
      "StartCharMetrics 1\n"
      "C 65 ; WX 722 ; N A ;\n");
  ASSERT_TRUE(afm);
  EXPECT_EQ(afm->FindGlyph("A")->wx, 722);
}

TEST(AFMLoadTest, AllZeroFontBBoxFails) {
  EXPECT_FALSE(
      ParseAFM("StartFontMetrics 4.1\nFontName Boxless\nFontBBox 0 0 0 0\nEndFontMetrics\n"));
}

TEST(AFMLoadTest, MissingFontNameFails) {
  EXPECT_FALSE(ParseAFM("StartFontMetrics 4.1\nFontBBox 0 0 10 10\nEndFontMetrics\n"));
}

TEST(AFMLoadTest, LinesAfterEndFontMetricsAreNotRead) {
  auto afm = ParseAFM(
      "StartFontMetrics 4.1\nFontName A\nFontBBox 0 0 10 10\nEndFontMetrics\nFontName B\n");
  ASSERT_TRUE(afm);
  EXPECT_EQ(afm->Header().fontName, "A");
}

TEST(AFMLoadTest, OverlongLineIsCutAndItsRestReadAsTheNextLine) {
  // 254 bytes of the first line are read; the rest starts a line of its own that sets Weight.
  std::string notice = "Notice " + std::string(247, 'x');
  ASSERT_EQ(notice.size(), 254u);
  auto afm = ParseAFM(MakeAFM("A", notice + "Weight Heavy\n", "C 32 ; WX 250 ; N space ;\n"));
  ASSERT_TRUE(afm);
  EXPECT_EQ(afm->Header().notice.size(), 247u);
  EXPECT_EQ(afm->Header().weight, "Heavy");
}

TEST(AFMLoadTest, LoadReadsFilesAndRefusesWhatIsNoFile) {
  test::TempDir dir;
  const std::string path = dir.File("a.afm");
  test::WriteFile(path, MakeAFM("From-File", "", "C 32 ; WX 250 ; N space ;\n"));
  AFMFile afm;
  EXPECT_TRUE(afm.Load(path));
  EXPECT_EQ(afm.Header().fontName, "From-File");

  AFMFile other;
  EXPECT_FALSE(other.Load(dir.File("missing.afm")));
  EXPECT_FALSE(other.Load(dir.Path()));  // a directory
  EXPECT_FALSE(other.Load(""));          // never standard input
}

TEST(AFMCharMetricTest, GlyphWithoutCodeIsFiledByName) {
  auto afm = ParseAFM(MakeAFM("A", "", "C -1 ; WX 250 ; N space ; B 1 2 3 4 ;\n"));
  ASSERT_TRUE(afm);
  const AFMCharMetric* space = afm->FindGlyph("space");
  ASSERT_TRUE(space);
  EXPECT_EQ(space->code, -1);
  EXPECT_EQ(space->wx, 250);
  EXPECT_EQ(space->bbox, (std::array<int16_t, 4>{1, 2, 3, 4}));
}

TEST(AFMCharMetricTest, LineWithoutNameFailsTheWholeFile) {
  EXPECT_FALSE(ParseAFM(MakeAFM("A", "", "C 32 ; WX 250 ; N space ;\nC 33 ; WX 300 ;\n")));
  EXPECT_FALSE(ParseAFM(MakeAFM("A", "", "C 33 ; WX 300 ; N\n")));
}

TEST(AFMCharMetricTest, AllWidthAndCodeForms) {
  auto afm = ParseAFM(MakeAFM("A", "",
                              "CH <41> ; W0X 500 ; N A ;\n"
                              "CH <8140> ; W 1000 -880 ; N wide ;\n"
                              "CH <123456> ; W1Y -1000 ; VV 500 880 ; N tall ;\n"
                              "% a comment line\n"
                              "C 102 ; WX 333 ; N f ; L i fi ; L l fl ;\n"));
  ASSERT_TRUE(afm);
  EXPECT_EQ(afm->FindGlyph("A")->code, 0x41);
  EXPECT_EQ(afm->FindGlyph("A")->wx, 500);
  EXPECT_EQ(static_cast<uint16_t>(afm->FindGlyph("wide")->code), 0x8140);
  EXPECT_EQ(afm->FindGlyph("wide")->wx, 1000);
  EXPECT_EQ(afm->FindGlyph("wide")->wy, -880);
  EXPECT_EQ(afm->FindGlyph("tall")->code, 0);  // three bytes give code 0
  EXPECT_EQ(afm->FindGlyph("tall")->wy, -1000);
  EXPECT_EQ(afm->FindGlyph("tall")->vvx, 500);
  EXPECT_EQ(afm->FindGlyph("tall")->vvy, 880);
  EXPECT_EQ(afm->FindGlyph("f")->wx, 333);  // ligature entries are passed over
  EXPECT_EQ(afm->GlyphsByName().size(), 4u);
}

TEST(AFMCharMetricTest, LaterGlyphOfTheSameNameReplacesTheEarlier) {
  auto afm = ParseAFM(MakeAFM("A", "", "C 65 ; WX 500 ; N A ;\nC 97 ; WX 700 ; N A ;\n"));
  ASSERT_TRUE(afm);
  EXPECT_EQ(afm->FindGlyph("A")->wx, 700);
  EXPECT_EQ(afm->FindGlyph("A")->code, 97);
}

TEST(AFMCharMetricTest, EndCharMetricsReturnsToTheHeader) {
  auto afm = ParseAFM(
      "StartFontMetrics 4.1\nFontName A\n"
      "StartCharMetrics 1\nC 65 ; WX 500 ; N A ;\nEndCharMetrics\n"
      "FontBBox 1 2 3 4\nEndFontMetrics\n");
  ASSERT_TRUE(afm);
  EXPECT_EQ(afm->Header().fontBBox, (std::array<int16_t, 4>{1, 2, 3, 4}));
}

TEST(AFMCharMetricTest, CIDFontGlyphsAreFiledByCID) {
  auto afm = ParseAFM(MakeAFM("CID-Font", "IsCIDFont true\n",
                              "C -1 ; WX 1000 ; N 0 ;\n"
                              "C -1 ; WX 250 ; N 1 ;\n"
                              "C -1 ; WX 500 ; N 8719 ;\n"));
  ASSERT_TRUE(afm);
  EXPECT_TRUE(afm->IsCIDFont());
  EXPECT_TRUE(afm->GlyphsByName().empty());
  ASSERT_EQ(afm->GlyphsByCID().size(), 3u);
  EXPECT_EQ(afm->FindCID(1)->wx, 250);
  EXPECT_EQ(afm->FindCID(8719)->wx, 500);
  EXPECT_FALSE(afm->FindCID(2));
}

TEST(AFMCharMetricTest, OutOfRangeNumbersSaturate) {
  auto afm =
      ParseAFM(MakeAFM("A", "CapHeight 99999999999999999999\n", "C 65 ; WX -70000 ; N A ;\n"));
  ASSERT_TRUE(afm);
  EXPECT_EQ(afm->Header().capHeight, 32767);
  EXPECT_EQ(afm->FindGlyph("A")->wx, -32768);
}

}  // namespace
}  // namespace quarn
