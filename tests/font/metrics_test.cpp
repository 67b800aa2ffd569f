// Built-in metrics, the AFM directory and the four caches of the library object.
#include "pdf/font/metrics.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <mutex>

#include "pdf/font/encoding.h"
#include "pdf/font/cmap_file.h"
#include "pdf/font/font_caches.h"
#include "pdf/font/font_desc.h"
#include "support/afm.h"
#include "support/files.h"
#include "support/values.h"

namespace quarn {
namespace {

using test::MakeAFM;

// ---- built-in metrics ----------------------------------------------------------------------

TEST(BuiltInMetricsTest, AllSixteenFontsExist) {
  const char* latin[] = {
      "Courier",     "Courier-Bold",   "Courier-BoldOblique",   "Courier-Oblique",
      "Helvetica",   "Helvetica-Bold", "Helvetica-BoldOblique", "Helvetica-Oblique",
      "Times-Roman", "Times-Bold",     "Times-Italic",          "Times-BoldItalic"};
  for (const char* name : latin) {
    auto afm = LoadBuiltInMetrics(name);
    ASSERT_TRUE(afm) << name;
    EXPECT_TRUE(IsStandard14FontName(name));
    EXPECT_EQ(afm->Header().fontName, name);
    EXPECT_EQ(afm->Header().encodingScheme, "AdobeStandardEncoding") << name;
    EXPECT_FALSE(afm->IsCIDFont());
    // At least the 227 glyphs of the Adobe standard character set.
    EXPECT_GE(afm->GlyphsByName().size(), 227u) << name;
    EXPECT_EQ(afm->Header().stemV, 0);
  }
  EXPECT_EQ(LoadBuiltInMetrics("Symbol")->GlyphsByName().size(), 190u);
  EXPECT_EQ(LoadBuiltInMetrics("ZapfDingbats")->GlyphsByName().size(), 202u);
  EXPECT_EQ(LoadBuiltInMetrics("Symbol")->Header().encodingScheme, "FontSpecific");
  EXPECT_FALSE(LoadBuiltInMetrics("Arial"));
  EXPECT_FALSE(LoadBuiltInMetrics("helvetica"));
  EXPECT_FALSE(IsStandard14FontName("Helvetica,Bold"));
}

TEST(BuiltInMetricsTest, HeaderValuesOfTheLibrary) {
  auto courier = LoadBuiltInMetrics("Courier");
  EXPECT_EQ(courier->Header().fontBBox, (std::array<int16_t, 4>{-23, -250, 623, 805}));
  EXPECT_TRUE(courier->Header().isFixedPitch);
  EXPECT_EQ(courier->Header().fullName, "Courier");
  EXPECT_EQ(courier->Header().familyName, "Courier");

  auto italic = LoadBuiltInMetrics("Times-Italic");
  EXPECT_EQ(italic->Header().italicAngle, 0);
  EXPECT_EQ(italic->Header().fullName, "Times Italic");
  EXPECT_EQ(italic->Header().weight, "Medium");

  auto helvetica = LoadBuiltInMetrics("Helvetica");
  const AFMHeader& h = helvetica->Header();
  EXPECT_EQ(h.fontBBox, (std::array<int16_t, 4>{-166, -225, 1000, 931}));
  EXPECT_EQ(h.version, "002.000");
  EXPECT_EQ(h.capHeight, 718);
  EXPECT_EQ(h.xHeight, 523);
  EXPECT_EQ(h.ascender, 718);
  EXPECT_EQ(h.descender, -207);
  EXPECT_EQ(h.stdHW, 76);
  EXPECT_EQ(h.stdVW, 88);
  EXPECT_EQ(h.underlinePosition, -100);
  EXPECT_EQ(h.underlineThickness, 50);
  EXPECT_FALSE(h.isFixedPitch);

  auto dingbats = LoadBuiltInMetrics("ZapfDingbats");
  EXPECT_EQ(dingbats->Header().version, "001.004");
  EXPECT_EQ(dingbats->Header().familyName, "ITC Zapf Dingbats");
  EXPECT_EQ(dingbats->Header().underlinePosition, -98);
  EXPECT_EQ(dingbats->Header().underlineThickness, 54);
}

TEST(BuiltInMetricsTest, GlyphWidthsOfTheCoreFonts) {
  // Published Core 14 metrics: Helvetica digits are 556 wide, Courier glyphs all 600.
  auto helvetica = LoadBuiltInMetrics("Helvetica");
  for (const char* digit : {"zero", "one", "five", "nine"}) {
    EXPECT_EQ(helvetica->FindGlyph(digit)->wx, 556) << digit;
  }
  EXPECT_EQ(helvetica->FindGlyph("space")->code, 32);
  auto courier = LoadBuiltInMetrics("Courier-Bold");
  for (const auto& [name, glyph] : courier->GlyphsByName()) EXPECT_EQ(glyph.wx, 600) << name;
}

TEST(BuiltInMetricsTest, JapaneseCIDFonts) {
  for (const char* name : {"HeiseiMin-W3", "HeiseiKakuGo-W5"}) {
    auto afm = LoadBuiltInMetrics(name);
    ASSERT_TRUE(afm) << name;
    const AFMHeader& h = afm->Header();
    EXPECT_TRUE(afm->IsCIDFont());
    EXPECT_TRUE(h.isBaseFont);
    EXPECT_EQ(h.characterSet, "Adobe-Japan1-2");
    EXPECT_EQ(h.characters, 8720);
    EXPECT_EQ(h.version, "3.010");
    EXPECT_EQ(h.fullName, "");
    EXPECT_EQ(h.encodingScheme, "");
    ASSERT_EQ(afm->GlyphsByCID().size(), 8720u);
    EXPECT_EQ(afm->GlyphsByCID().begin()->first, 0);
    EXPECT_EQ(afm->GlyphsByCID().rbegin()->first, 8719);
    EXPECT_EQ(afm->FindCID(1000)->wx, 1000);  // a kanji: full width
    EXPECT_FALSE(IsStandard14FontName(name));
  }
  auto min = LoadBuiltInMetrics("HeiseiMin-W3");
  EXPECT_EQ(min->Header().fontBBox, (std::array<int16_t, 4>{-123, -257, 1001, 910}));
  EXPECT_EQ(min->Header().weight, "W3");
  EXPECT_EQ(min->FindCID(1)->wx, 250);  // the proportional space
  auto gothic = LoadBuiltInMetrics("HeiseiKakuGo-W5");
  EXPECT_EQ(gothic->Header().ascender, 922);
  EXPECT_EQ(gothic->Header().descender, -250);
  EXPECT_EQ(gothic->FindCID(300)->wx, 500);  // half-width forms
}

TEST(AFMPathTest, NamesThatCouldLeaveTheDirectoryGiveNoPath) {
  EXPECT_EQ(AFMPathFor("/afm/", "Foo"), "/afm/Foo.afm");
  EXPECT_EQ(AFMPathFor("", "Foo"), "Foo.afm");
  EXPECT_EQ(AFMPathFor("/afm/", "../etc/Foo"), "");
  EXPECT_EQ(AFMPathFor("/afm/", std::string("Fo\0o", 4)), "");
}

// ---- the caches ----------------------------------------------------------------------------

class FontCachesTest : public ::testing::Test {
 protected:
  std::unique_ptr<FontCaches> Caches(const std::string& afmDir) {
    return std::make_unique<FontCaches>(m_lock, "", afmDir.empty() ? "" : afmDir + "/");
  }
  std::recursive_mutex m_lock;
  test::TempDir m_dir;
};

TEST_F(FontCachesTest, MetricsComeFromBuiltInDataWithoutADirectory) {
  auto caches = Caches("");
  AFMFile* helvetica = caches->FindMetrics("Helvetica");
  ASSERT_TRUE(helvetica);
  EXPECT_EQ(caches->FindMetrics("Helvetica"), helvetica);  // the same cached entry
  EXPECT_FALSE(caches->FindMetrics("No-Such-Font"));
}

TEST_F(FontCachesTest, DirectoryFileWinsOverBuiltInMetrics) {
  // Filed under its FontName whatever the file is called.
  test::WriteFile(m_dir.File("custom.afm"),
                  MakeAFM("Helvetica", "", "C 32 ; WX 999 ; N space ;\n"));
  test::WriteFile(m_dir.File("other.afm"), MakeAFM("My-Font", "", "C 65 ; WX 640 ; N A ;\n"));
  auto caches = Caches(m_dir.Path());
  AFMFile* helvetica = caches->FindMetrics("Helvetica");
  ASSERT_TRUE(helvetica);
  EXPECT_EQ(helvetica->FindGlyph("space")->wx, 999);
  ASSERT_TRUE(caches->FindMetrics("My-Font"));
  EXPECT_EQ(caches->FindMetrics("My-Font")->FindGlyph("A")->wx, 640);
  // Fonts the directory lacks still come from the built-in data.
  ASSERT_TRUE(caches->FindMetrics("Times-Roman"));
  EXPECT_EQ(caches->FindMetrics("Times-Roman")->FindGlyph("space")->wx, 250);
}

TEST_F(FontCachesTest, LaterFileWithTheSameFontNameReplacesTheEarlier) {
  test::WriteFile(m_dir.File("a.afm"), MakeAFM("Twin", "", "C 65 ; WX 100 ; N A ;\n"));
  test::WriteFile(m_dir.File("b.afm"), MakeAFM("Twin", "", "C 65 ; WX 200 ; N A ;\n"));
  auto caches = Caches(m_dir.Path());
  ASSERT_TRUE(caches->FindMetrics("Twin"));
  EXPECT_EQ(caches->FindMetrics("Twin")->FindGlyph("A")->wx, 200);
}

TEST_F(FontCachesTest, NamedFileIsFoundAfterTheScan) {
  // A file that appears after the first scan is still found as "<dir><name>.afm".
  test::WriteFile(m_dir.File("first.afm"), MakeAFM("First", "", "C 65 ; WX 1 ; N A ;\n"));
  auto caches = Caches(m_dir.Path());
  ASSERT_TRUE(caches->FindMetrics("First"));
  test::WriteFile(m_dir.File("Late-Font.afm"), MakeAFM("Late-Font", "", "C 65 ; WX 2 ; N A ;\n"));
  ASSERT_TRUE(caches->FindMetrics("Late-Font"));
  EXPECT_EQ(caches->FindMetrics("Late-Font")->FindGlyph("A")->wx, 2);
}

TEST_F(FontCachesTest, FileThatIsNotAFMStopsTheScan) {
  test::WriteFile(m_dir.File("a.afm"), MakeAFM("Good-A", "", "C 65 ; WX 1 ; N A ;\n"));
  test::WriteFile(m_dir.File("b.txt"), "not metrics\n");
  test::WriteFile(m_dir.File("c.afm"), MakeAFM("Good-C", "", "C 65 ; WX 1 ; N A ;\n"));
  auto caches = Caches(m_dir.Path());
  // The scan files a.afm, stops at b.txt, and the request yields none.
  EXPECT_FALSE(caches->FindMetrics("Good-A"));
  // The cache is no longer empty, so the next request does not scan again.
  EXPECT_TRUE(caches->FindMetrics("Good-A"));
  EXPECT_FALSE(caches->FindMetrics("Good-C"));  // never scanned, and no file of that name
  EXPECT_TRUE(caches->FindMetrics("Helvetica"));
}

TEST_F(FontCachesTest, SubdirectoriesAreSkipped) {
  ASSERT_EQ(::mkdir(m_dir.File("sub").c_str(), 0700), 0);
  test::WriteFile(m_dir.File("z.afm"), MakeAFM("Only-Font", "", "C 65 ; WX 1 ; N A ;\n"));
  auto caches = Caches(m_dir.Path());
  EXPECT_TRUE(caches->FindMetrics("Only-Font"));
}

TEST_F(FontCachesTest, EncodingsAreBuiltInTablesByExactName) {
  auto caches = Caches("");
  EncodingTable* winAnsi = caches->FindEncoding("WinAnsiEncoding");
  ASSERT_TRUE(winAnsi);
  EXPECT_EQ(caches->FindEncoding("WinAnsiEncoding"), winAnsi);
  EXPECT_EQ(winAnsi->CodeCount(), 224u);
  EXPECT_FALSE(caches->FindEncoding("Identity-H"));
}

TEST_F(FontCachesTest, DescriptorsOfStandardFonts) {
  auto caches = Caches("");
  CPDFFontDesc* courier = caches->FindFontDesc("Courier");
  ASSERT_TRUE(courier);
  EXPECT_EQ(caches->FindFontDesc("Courier"), courier);
  EXPECT_EQ(courier->Get_Flags()->IntValue(), 33);
  EXPECT_EQ(caches->FindFontDesc("Helvetica")->Get_Flags()->IntValue(), 32);
  EXPECT_EQ(test::Text(*courier),
            "<<\r\n/Ascent 629\r\n/CapHeight 562\r\n/Descent -157\r\n/Flags 33\r\n"
            "/FontBBox [-23 -250 623 805]\r\n/FontName /Courier\r\n/ItalicAngle 0\r\n"
            "/StemV 0\r\n/Type /FontDescriptor\r\n/XHeight 426\r\n>>");
  EXPECT_FALSE(caches->FindFontDesc("No-Such-Font"));
}

TEST_F(FontCachesTest, CMapsComeFromTheLoader) {
  auto caches = Caches("");
  CMapFile* builtIn = caches->FindCMap("Identity-H");
  ASSERT_TRUE(builtIn);
  EXPECT_EQ(caches->FindCMap("Identity-H"), builtIn);
  int calls = 0;
  caches->SetCMapLoader([&calls](const std::string&, const std::string&) {
    ++calls;
    return std::shared_ptr<CMapFile>();
  });
  EXPECT_FALSE(caches->FindCMap("90ms-RKSJ-H"));
  EXPECT_FALSE(caches->FindCMap("90ms-RKSJ-H"));
  EXPECT_EQ(calls, 2);  // a failed load leaves no entry
}

}  // namespace
}  // namespace quarn
