// Type 1 fonts: creation, widths, descriptors, string widths, recognition and loading.
#include "pdf/font/type1_font.h"

#include <gtest/gtest.h>

#include <limits>

#include "pdf/document/doc.h"
#include "pdf/library/pdf_lib.h"
#include "pdf/font/encoding.h"
#include "pdf/font/font_caches.h"
#include "pdf/font/metrics.h"
#include "support/afm.h"
#include "support/files.h"
#include "support/values.h"

namespace quarn {
namespace {

using test::MakeAFM;

class Type1FontTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::WriteFile(m_afmDir.File("mono.afm"),
                    MakeAFM("Mono-Test",
                            "IsFixedPitch true\nEncodingScheme AdobeStandardEncoding\n"
                            "Ascender 700\nDescender -200\nCapHeight 650\nXHeight 480\n"
                            "ItalicAngle -11.3\nstemV 66\n",
                            "C 65 ; WX 600 ; N A ;\nC 66 ; WX 600 ; N B ;\n"
                            "C 32 ; WX 600 ; N space ;\n"));
    test::WriteFile(m_afmDir.File("prop.afm"),
                    MakeAFM("Prop-Test", "EncodingScheme AdobeStandardEncoding\n",
                            "C 65 ; WX 700 ; N A ;\nC 66 ; WX 500 ; N B ;\n"
                            "C 39 ; WX 210 ; N quoteright ;\n"));
    test::WriteFile(
        m_afmDir.File("special.afm"),
        MakeAFM("Special-Test", "EncodingScheme FontSpecific\n", "C 65 ; WX 700 ; N A ;\n"));
    m_lib = std::make_unique<CPDFLib>("", "", m_afmDir.Path());
    m_doc = std::make_unique<CPDFDoc>(m_lib.get());
    ASSERT_TRUE(m_doc->Create(m_lib.get()));
  }

  std::unique_ptr<CPDFType1Font> Create(const std::string& name, const std::string& enc = "") {
    return CPDFType1Font::CreateFont(m_doc.get(), name, enc);
  }
  // A font dictionary as read from a file, bound as a Type 1 font.
  std::unique_ptr<CPDFType1Font> Load(const std::string& text) {
    std::unique_ptr<CPDFDict> dict = test::ParseDict(text, m_doc.get());
    if (!dict) return nullptr;
    auto font = std::make_unique<CPDFType1Font>();
    if (!font->Realize(m_doc.get(), *dict)) return nullptr;
    return font;
  }
  const CPDFErrorRecord& Error() const { return m_doc->LastError(); }
  void ExpectError(const char* method, int code, const std::string& message) {
    EXPECT_EQ(Error().Module(), "CPDFType1Font");
    EXPECT_EQ(Error().Method(), method);
    EXPECT_EQ(Error().Code(), code);
    EXPECT_EQ(Error().Message(), message);
  }
  int32_t Width(CPDFFont& font, const std::string& text) {
    return font.CalcStringWidth(text.data(), text.size());
  }

  test::TempDir m_afmDir;
  std::unique_ptr<CPDFLib> m_lib;
  std::unique_ptr<CPDFDoc> m_doc;
};

// ---- creation ------------------------------------------------------------------------------

TEST_F(Type1FontTest, StandardFontIsABareDictionary) {
  auto font = Create("Helvetica");
  ASSERT_TRUE(font);
  EXPECT_EQ(test::Text(*font),
            "<<\r\n/BaseFont /Helvetica\r\n/Subtype /Type1\r\n/Type /Font\r\n>>");
  EXPECT_STREQ(font->GetCategory(), "Font");
  EXPECT_STREQ(font->GetPrefix(), "F");

  auto withEncoding = Create("Helvetica-Bold", "WinAnsiEncoding");
  ASSERT_TRUE(withEncoding);
  EXPECT_EQ(test::Text(*withEncoding),
            "<<\r\n/BaseFont /Helvetica-Bold\r\n/Encoding /WinAnsiEncoding\r\n"
            "/Subtype /Type1\r\n/Type /Font\r\n>>");
}

TEST_F(Type1FontTest, AFMFontGetsWidthsAndDescriptor) {
  auto font = Create("Prop-Test");
  ASSERT_TRUE(font) << Error().Message();
  EXPECT_EQ(font->Get_FirstChar()->IntValue(), 0);
  EXPECT_EQ(font->Get_LastChar()->IntValue(), 255);
  ASSERT_TRUE(font->Lookup("Widths")->IsRef());
  ASSERT_TRUE(font->Lookup("FontDescriptor")->IsRef());
  CPDFArray* widths = font->Get_Widths();
  ASSERT_TRUE(widths);
  ASSERT_EQ(widths->Count(), 256u);
  EXPECT_EQ(widths->GetNumber(m_doc.get(), 65)->IntValue(), 700);
  EXPECT_EQ(widths->GetNumber(m_doc.get(), 66)->IntValue(), 500);
  EXPECT_EQ(widths->GetNumber(m_doc.get(), 39)->IntValue(), 210);  // quoteright in Standard
  EXPECT_EQ(widths->GetNumber(m_doc.get(), 67)->IntValue(), 0);

  CPDFFontDesc* desc = font->GetFontDescriptor();
  ASSERT_TRUE(desc);
  EXPECT_EQ(desc, font->Get_FontDescriptor());
  EXPECT_EQ(test::Text(*desc),
            "<<\r\n/Ascent 0\r\n/CapHeight 0\r\n/Descent 0\r\n/Flags 32\r\n"
            "/FontBBox [-10 -20 900 800]\r\n/FontName /Prop-Test\r\n/ItalicAngle 0\r\n"
            "/StemV 0\r\n/Type /FontDescriptor\r\n/XHeight 0\r\n>>");
}

TEST_F(Type1FontTest, FixedPitchMetricsGiveFlags33) {
  auto font = Create("Mono-Test", "WinAnsiEncoding");
  ASSERT_TRUE(font) << Error().Message();
  CPDFFontDesc* desc = font->GetFontDescriptor();
  ASSERT_TRUE(desc);
  EXPECT_EQ(desc->Get_Flags()->IntValue(), 33);
  EXPECT_EQ(desc->Get_Ascent()->IntValue(), 700);
  EXPECT_EQ(desc->Get_Descent()->IntValue(), -200);
  EXPECT_EQ(desc->Get_CapHeight()->IntValue(), 650);
  EXPECT_EQ(desc->Get_XHeight()->IntValue(), 480);
  EXPECT_EQ(desc->Get_ItalicAngle()->IntValue(), -11);
  EXPECT_EQ(desc->Get_StemV()->IntValue(), 66);
  EXPECT_TRUE(font->HasName(m_doc.get(), "Encoding", "WinAnsiEncoding"));
  // WinAnsiEncoding names 160 "space" too.
  EXPECT_EQ(font->Get_Widths()->GetNumber(m_doc.get(), 160)->IntValue(), 600);
}

TEST_F(Type1FontTest, StandardFontDescriptorComesFromTheCache) {
  auto courier = Create("Courier");
  auto other = Create("Courier");
  ASSERT_TRUE(courier && other);
  CPDFFontDesc* desc = courier->GetFontDescriptor();
  ASSERT_TRUE(desc);
  EXPECT_EQ(desc, other->GetFontDescriptor());
  EXPECT_EQ(desc, m_lib->FontCache().FindFontDesc("Courier"));
  EXPECT_EQ(desc->Get_Flags()->IntValue(), 33);
  EXPECT_FALSE(courier->Lookup("FontDescriptor"));  // the font itself carries none
  EXPECT_EQ(Create("Times-Roman")->GetFontDescriptor()->Get_Flags()->IntValue(), 32);
}

TEST_F(Type1FontTest, UnknownFontIsReported) {
  EXPECT_FALSE(Create("Arial,Bold"));
  ExpectError("CreateFont", 3, "AFM file not found: Arial,Bold");
}

TEST_F(Type1FontTest, CIDMetricsAreRefused) {
  EXPECT_FALSE(Create("HeiseiMin-W3"));
  ExpectError("CreateFont", 3, "invalid AFM file: HeiseiMin-W3");
}

TEST_F(Type1FontTest, FailedCreationLeavesNoObjectBehind) {
  CPDFObjRef probe;
  ASSERT_TRUE(m_doc->RegistObj(std::make_unique<CPDFInt>(1), &probe));
  // FontSpecific metrics make the widths step fail after Widths was registered.
  EXPECT_FALSE(Create("Special-Test"));
  ExpectError("CreateWidths", 3, "invalid AFM: Special-Test");
  EXPECT_FALSE(m_doc->GetObj(CPDFObjRef(probe.Num() + 1, 0)));
}

TEST_F(Type1FontTest, CreateFontByNameAndTrueTypeFallback) {
  auto font = CreateFontByName(m_doc.get(), "Times-Bold", "");
  ASSERT_TRUE(font);
  EXPECT_EQ(font->Kind(), kFontType1);
  EXPECT_FALSE(CreateFontByName(m_doc.get(), "NoSuch", ""));
  ExpectError("CreateFont", 3, "AFM file not found: NoSuch");
  EXPECT_FALSE(CreateTrueTypeFontByName(m_doc.get(), "Arial,Bold", ""));
}

// ---- widths --------------------------------------------------------------------------------

TEST_F(Type1FontTest, CreateWidthsOfTimesRomanThroughStandardEncoding) {
  auto font = Create("Times-Roman");
  ASSERT_TRUE(font);
  ASSERT_TRUE(font->CreateWidths()) << Error().Message();
  EXPECT_FALSE(font->Lookup("FirstChar"));  // 0 and 255 are used, not written
  EXPECT_FALSE(font->Lookup("LastChar"));
  ASSERT_TRUE(font->Lookup("Widths")->IsRef());
  CPDFArray* widths = font->Get_Widths();
  ASSERT_EQ(widths->Count(), 256u);

  auto metrics = LoadBuiltInMetrics("Times-Roman");
  EncodingTable standard;
  ASSERT_TRUE(standard.LoadBuiltIn("StandardEncoding"));
  for (int code = 0; code < 256; ++code) {
    std::string name;
    const AFMCharMetric* glyph = nullptr;
    if (standard.HasCode(uint8_t(code)) && standard.CodeToName(uint8_t(code), name)) {
      glyph = metrics->FindGlyph(name);
    }
    EXPECT_EQ(widths->GetNumber(m_doc.get(), code)->IntValue(), glyph ? glyph->wx : 0) << code;
  }
  // Published Times-Roman values.
  EXPECT_EQ(widths->GetNumber(m_doc.get(), 'A')->IntValue(), 722);
  EXPECT_EQ(widths->GetNumber(m_doc.get(), ' ')->IntValue(), 250);
  EXPECT_EQ(widths->GetNumber(m_doc.get(), 39)->IntValue(), 333);  // quoteright
}

TEST_F(Type1FontTest, CreateWidthsRefillsAnExistingArray) {
  auto font = Load(
      "<< /Type /Font /Subtype /Type1 /BaseFont /Prop-Test /FirstChar 65 /LastChar 67 "
      "/Widths [1 2 3 4 5] >>");
  ASSERT_TRUE(font);
  ASSERT_TRUE(font->CreateWidths()) << Error().Message();
  CPDFArray* widths = font->Get_Widths();
  ASSERT_EQ(widths->Count(), 3u);
  EXPECT_EQ(widths->GetNumber(m_doc.get(), 0)->IntValue(), 700);
  EXPECT_EQ(widths->GetNumber(m_doc.get(), 1)->IntValue(), 500);
  EXPECT_EQ(widths->GetNumber(m_doc.get(), 2)->IntValue(), 0);
}

TEST_F(Type1FontTest, CreateWidthsReportsEachMissingPart) {
  auto noBase = Load("<< /Type /Font /Subtype /Type1 >>");
  ASSERT_TRUE(noBase);
  EXPECT_FALSE(noBase->CreateWidths());
  ExpectError("CreateWidths", 5, "CPDFType1Font::Get_BaseFont()");

  auto noFirst = Load("<< /BaseFont /Prop-Test /Widths [] /LastChar 3 >>");
  EXPECT_FALSE(noFirst->CreateWidths());
  ExpectError("CreateWidths", 5, "CPDFType1Font::Get_FirstChar()");

  auto noLast = Load("<< /BaseFont /Prop-Test /Widths [] /FirstChar 3 >>");
  EXPECT_FALSE(noLast->CreateWidths());
  ExpectError("CreateWidths", 5, "CPDFType1Font::Get_LastChar()");

  auto unknown = Load("<< /BaseFont /Unknown-Font >>");
  EXPECT_FALSE(unknown->CreateWidths());
  ExpectError("CreateWidths", 3, "undefined AFM: Unknown-Font");

  auto cid = Load("<< /BaseFont /HeiseiKakuGo-W5 >>");
  EXPECT_FALSE(cid->CreateWidths());
  ExpectError("CreateWidths", 3, "invalid AFM: HeiseiKakuGo-W5");

  auto symbol = Load("<< /BaseFont /Symbol >>");
  EXPECT_FALSE(symbol->CreateWidths());
  ExpectError("CreateWidths", 3, "invalid AFM: Symbol");

  auto dictEncoding = Load("<< /BaseFont /Helvetica /Encoding << /Differences [65 /B] >> >>");
  EXPECT_FALSE(dictEncoding->CreateWidths());
  ExpectError("CreateWidths", 4, "typecheck: Dictionary");

  auto badName = Load("<< /BaseFont /Helvetica /Encoding /Latin9Encoding >>");
  EXPECT_FALSE(badName->CreateWidths());
  ExpectError("CreateWidths", 3, "undefined Font Encoding: Latin9Encoding");
  EXPECT_FALSE(badName->Lookup("Widths"));  // nothing added by a failed attempt
}

TEST_F(Type1FontTest, HostileCharacterRangeIsRefused) {
  auto font = Load("<< /BaseFont /Prop-Test /FirstChar 0 /LastChar 2000000000 /Widths [] >>");
  ASSERT_TRUE(font);
  EXPECT_FALSE(font->CreateWidths());
  ExpectError("CreateWidths", 4, "rangecheck: 0 2000000000");
  EXPECT_EQ(font->Get_Widths()->Count(), 0u);
}

// ---- string widths -------------------------------------------------------------------------

TEST_F(Type1FontTest, StringWidthOfTimesRomanFromBuiltInMetrics) {
  auto font = Create("Times-Roman");
  ASSERT_TRUE(font);
  // H 722, e 444, l 278, l 278, o 500 (Adobe's Times-Roman metrics).
  EXPECT_EQ(Width(*font, "Hello"), 2222);
  // StandardEncoding names no glyph at 128, so it counts 0.
  EXPECT_EQ(Width(*font, "Hello\x80"), 2222);
  EXPECT_EQ(Width(*font, ""), 0);

  auto metrics = LoadBuiltInMetrics("Times-Roman");
  const std::string digits = "0123456789";
  const char* names[] = {"zero", "one", "two",   "three", "four",
                         "five", "six", "seven", "eight", "nine"};
  int32_t expected = 0;
  for (const char* name : names) expected += metrics->FindGlyph(name)->wx;
  EXPECT_EQ(Width(*font, digits), expected);
}

TEST_F(Type1FontTest, StringWidthThroughANamedEncoding) {
  auto font = Create("Helvetica", "WinAnsiEncoding");
  ASSERT_TRUE(font);
  // WinAnsi 128 is the Euro (556 in Helvetica); StandardEncoding would name nothing there.
  EXPECT_EQ(Width(*font, "\x80"), 556);
  EXPECT_EQ(Width(*font, "Page 12"), 667 + 556 + 556 + 556 + 278 + 556 + 556);
}

TEST_F(Type1FontTest, StringWidthThroughDifferencesKeepsTheBaseNames) {
  auto font = Load(
      "<< /Type /Font /Subtype /Type1 /BaseFont /Times-Roman "
      "/Encoding << /Type /Encoding /Differences [65 /W] >> >>");
  ASSERT_TRUE(font);
  // A is renamed W (944); a keeps its StandardEncoding name (444).
  EXPECT_EQ(Width(*font, "Aa"), 944 + 444);
  // A dictionary without Type /Encoding is read the same way.
  auto untyped = Load(
      "<< /Type /Font /Subtype /Type1 /BaseFont /Times-Roman "
      "/Encoding << /BaseEncoding /WinAnsiEncoding /Differences [65 /W] >> >>");
  ASSERT_TRUE(untyped);
  EXPECT_EQ(Width(*untyped, "A\x80"), 944 + 500);  // Euro in Times-Roman is 500
}

TEST_F(Type1FontTest, StringWidthFromWidthsUsesMissingWidthOutOfRange) {
  auto font = Load(
      "<< /Type /Font /Subtype /Type1 /BaseFont /Prop-Test /FirstChar 65 /LastChar 66 "
      "/Widths [700 500] /FontDescriptor << /MissingWidth 111 >> >>");
  ASSERT_TRUE(font);
  EXPECT_EQ(Width(*font, "AB"), 1200);
  EXPECT_EQ(Width(*font, "ABCz"), 1200 + 111 + 111);

  auto noMissing = Load("<< /BaseFont /Prop-Test /FirstChar 65 /LastChar 66 /Widths [700 500] >>");
  EXPECT_EQ(Width(*noMissing, "AC"), 700);
}

TEST_F(Type1FontTest, HugeStringWidthSaturates) {
  test::WriteFile(
      m_afmDir.File("wide.afm"),
      MakeAFM("Wide-Test", "EncodingScheme AdobeStandardEncoding\n", "C 65 ; WX 32767 ; N A ;\n"));
  auto font = Create("Wide-Test");
  ASSERT_TRUE(font) << Error().Message();
  const std::string text(70000, 'A');  // 70000 x 32767 is beyond 32 bits
  EXPECT_EQ(Width(*font, text), std::numeric_limits<int32_t>::max());
}

TEST_F(Type1FontTest, StringWidthFailures) {
  auto noBase = Load("<< /Type /Font /Subtype /Type1 >>");
  m_doc->ClearError();
  EXPECT_EQ(Width(*noBase, "A"), -1);
  EXPECT_FALSE(Error().IsError());  // no report without BaseFont

  auto shortWidths = Load("<< /BaseFont /Prop-Test /FirstChar 65 /LastChar 70 /Widths [700] >>");
  EXPECT_EQ(Width(*shortWidths, "A"), 700);
  EXPECT_EQ(Width(*shortWidths, "B"), -1);
  ExpectError("CalcStringWidth", 5, "");

  auto noLast = Load("<< /BaseFont /Prop-Test /FirstChar 65 /Widths [700] >>");
  EXPECT_EQ(Width(*noLast, "A"), -1);
  ExpectError("CalcStringWidth", 5, "CPDFType1Font::Get_LastChar()");

  auto symbol = Create("Symbol");
  EXPECT_EQ(Width(*symbol, "a"), -1);
  ExpectError("CalcStringWidth", 3, "invalid AFM: Symbol");

  auto badEncoding =
      Load("<< /BaseFont /Helvetica /Encoding << /BaseEncoding /Nope /Differences [1 /a] >> >>");
  EXPECT_EQ(Width(*badEncoding, "a"), -1);
  ExpectError("CalcStringWidth", 3, "undefined Font Encoding: Nope");

  auto intEncoding = Load("<< /BaseFont /Helvetica /Encoding 5 >>");
  EXPECT_EQ(Width(*intEncoding, "a"), -1);
  ExpectError("CalcStringWidth", 4, "typecheck: Number");
}

// ---- recognition and loading ---------------------------------------------------------------

TEST_F(Type1FontTest, Recognizer) {
  auto standard = test::ParseDict("<< /Type /Font /Subtype /Type1 /BaseFont /Courier >>");
  EXPECT_TRUE(IsType1Font(m_doc.get(), standard.get()));
  auto full = test::ParseDict(
      "<< /Type /Font /Subtype /Type1 /BaseFont /X /FirstChar 32 /LastChar 33 "
      "/Widths [1 2] /FontDescriptor << >> >>");
  EXPECT_TRUE(IsType1Font(m_doc.get(), full.get()));
  auto noWidths = test::ParseDict(
      "<< /Type /Font /Subtype /Type1 /BaseFont /X /FirstChar 32 /LastChar 33 "
      "/FontDescriptor << >> >>");
  EXPECT_FALSE(IsType1Font(m_doc.get(), noWidths.get()));
  auto trueType = test::ParseDict("<< /Type /Font /Subtype /TrueType /BaseFont /Courier >>");
  EXPECT_FALSE(IsType1Font(m_doc.get(), trueType.get()));
  auto noType = test::ParseDict("<< /Subtype /Type1 /BaseFont /Courier >>");
  EXPECT_FALSE(IsType1Font(m_doc.get(), noType.get()));

  // Numbers built by code are not numbers read from a file.
  auto built = Create("Prop-Test");
  ASSERT_TRUE(built);
  EXPECT_FALSE(IsType1Font(m_doc.get(), built.get()));
}

TEST_F(Type1FontTest, LoadFontBindsTheMatchingKind) {
  auto dict = test::ParseDict(
      "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica "
      "/Encoding << /Type /Encoding /Differences [65 /B] >> >>",
      m_doc.get());
  ASSERT_TRUE(dict);
  EXPECT_FALSE(LoadFont(kFontTrueType | kFontType0, m_doc.get(), *dict));
  EXPECT_EQ(dict->Count(), 4u);  // left as it was

  std::unique_ptr<CPDFFont> font = LoadFont(kFontAllKinds, m_doc.get(), *dict);
  ASSERT_TRUE(font);
  EXPECT_TRUE(dynamic_cast<CPDFType1Font*>(font.get()));
  EXPECT_EQ(font->Get_BaseFont()->Str(), "Helvetica");
  EXPECT_TRUE(dynamic_cast<CPDFEncoding*>(font->Get_Encoding()));

  auto notFont = test::ParseDict("<< /Type /XObject >>");
  EXPECT_FALSE(LoadFont(kFontAllKinds, m_doc.get(), *notFont));
}

TEST_F(Type1FontTest, BindFontEntryReplacesFontsInPlace) {
  auto font = test::ParseDict("<< /Type /Font /Subtype /Type1 /BaseFont /Courier >>", m_doc.get());
  CPDFObjRef ref;
  ASSERT_TRUE(m_doc->RegistObj(std::move(font), &ref));
  auto fonts = test::ParseDict(
      "<< /F2 << /Type /Font /Subtype /Type1 /BaseFont /Times-Roman >> /X << /Type /Other >> >>",
      m_doc.get());
  ASSERT_TRUE(fonts->SetReference("F1", ref));

  CPDFFont* bound = nullptr;
  ASSERT_TRUE(BindFontEntry(m_doc.get(), *fonts, "F1", kFontAllKinds, &bound));
  ASSERT_TRUE(bound);
  EXPECT_TRUE(fonts->Lookup("F1")->IsRef());  // still the same indirect object
  EXPECT_EQ(m_doc->GetObj(ref), static_cast<CPDFObject*>(bound));
  EXPECT_EQ(bound->CalcStringWidth("a", 1), 600);

  ASSERT_TRUE(BindFontEntry(m_doc.get(), *fonts, "F2", kFontType1, &bound));
  ASSERT_TRUE(bound);
  EXPECT_EQ(fonts->Lookup("F2"), static_cast<CPDFAtom*>(bound));
  EXPECT_EQ(bound->CalcStringWidth("a", 1), 444);

  ASSERT_TRUE(BindFontEntry(m_doc.get(), *fonts, "X", kFontAllKinds, &bound));
  EXPECT_FALSE(bound);
  EXPECT_FALSE(dynamic_cast<CPDFFont*>(fonts->Lookup("X")));
  ASSERT_TRUE(BindFontEntry(m_doc.get(), *fonts, "Missing", kFontAllKinds, &bound));
  EXPECT_FALSE(bound);
}

TEST_F(Type1FontTest, ValidDescriptorIsBoundWhenLoading) {
  auto dict = test::ParseDict(
      "<< /Type /Font /Subtype /Type1 /BaseFont /Prop-Test /FirstChar 65 /LastChar 65 "
      "/Widths [700] /FontDescriptor << /Type /FontDescriptor /Ascent 1 /CapHeight 1 "
      "/Descent -1 /Flags 32 /FontBBox [0 0 1 1] /FontName /Prop-Test /ItalicAngle 0 "
      "/StemV 0 /MissingWidth 5 >> >>",
      m_doc.get());
  ASSERT_TRUE(dict);
  std::unique_ptr<CPDFFont> font = LoadFont(kFontType1, m_doc.get(), *dict);
  ASSERT_TRUE(font);
  CPDFFontDesc* desc = font->GetFontDescriptor();
  ASSERT_TRUE(desc);
  EXPECT_EQ(desc->Get_MissingWidth()->IntValue(), 5);
}

TEST_F(Type1FontTest, CreatedFontIsRecognizedAfterASaveAndReopen) {
  auto font = Create("Mono-Test");
  ASSERT_TRUE(font);
  CPDFObjRef ref;
  ASSERT_TRUE(m_doc->RegistObj(std::move(font), &ref));
  const std::string path = m_afmDir.File("out.pdf");
  ASSERT_TRUE(m_doc->Save(path.c_str(), false, false)) << Error().Message();
  ASSERT_TRUE(m_doc->Flush()) << Error().Message();
  m_doc->Close();

  CPDFDoc reopened(m_lib.get());
  ASSERT_TRUE(reopened.Open(m_lib.get(), path, nullptr));
  // The saved objects may have been renumbered: find the font by its name.
  std::unique_ptr<CPDFFont> loaded;
  for (int32_t num = 1; num < 20 && !loaded; ++num) {
    CPDFObject* value = reopened.GetObj(CPDFObjRef(num, 0));
    auto* dict = AsDict(value);
    if (dict && dict->HasName(&reopened, "BaseFont", "Mono-Test")) {
      // Numbers read back from the file make the dictionary a Type 1 font now.
      EXPECT_TRUE(IsType1Font(&reopened, value));
      loaded = LoadFont(kFontAllKinds, &reopened, *value);
    }
  }
  ASSERT_TRUE(loaded);
  EXPECT_EQ(loaded->CalcStringWidth("AB", 2), 1200);
  ASSERT_TRUE(loaded->GetFontDescriptor());
  EXPECT_EQ(loaded->GetFontDescriptor()->Get_Flags()->IntValue(), 33);
}

TEST_F(Type1FontTest, DuplicateIntoAnotherDocument) {
  auto font = Create("Prop-Test");
  ASSERT_TRUE(font);
  CPDFDoc other(m_lib.get());
  ASSERT_TRUE(other.Create(m_lib.get()));
  std::unique_ptr<CPDFFont> copy = font->Duplicate(&other);
  ASSERT_TRUE(copy);
  EXPECT_TRUE(dynamic_cast<CPDFType1Font*>(copy.get()));
  EXPECT_EQ(copy->Doc(), &other);
  EXPECT_EQ(copy->CalcStringWidth("AB", 2), 1200);
}

}  // namespace
}  // namespace quarn
