// Installed TrueType faces: face records, lookup, TrueType and CIDFontType2 fonts, embedding.
#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <regex>

#include "pdf/document/doc.h"
#include "pdf/font/identity_font.h"
#include "pdf/font/truetype_embed.h"
#include "pdf/font/truetype_font.h"
#include "pdf/font/type2_cid_font.h"
#include "pdf/library/pdf_lib.h"
#include "platform/temp_file.h"
#include "support/values.h"

namespace quarn {
namespace {

constexpr const char* kDejaVu = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
constexpr const char* kIPAGothic = "/usr/share/fonts/opentype/ipafont-gothic/ipag.ttf";

class TrueTypeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!FileExists(kDejaVu) || !FileExists(kIPAGothic)) GTEST_SKIP() << "fonts missing";
    m_lib = std::make_unique<CPDFLib>();
    m_doc = std::make_unique<CPDFDoc>(m_lib.get());
    ASSERT_TRUE(m_doc->Create(m_lib.get()));
  }
  const TrueTypeInfo* Info(const std::string& name) {
    return m_lib->FontCache().FindTrueTypeInfo(name);
  }
  std::string W(CPDFFont& font) {
    return test::Text(*dynamic_cast<CPDFType0Font&>(font).Descendant()->Get_W());
  }
  std::unique_ptr<CPDFLib> m_lib;
  std::unique_ptr<CPDFDoc> m_doc;
};

TEST(TrueTypeNames, KeysStylesAndTags) {
  EXPECT_EQ(TrueTypeLookupKey("DejaVu Sans,Bold Italic"), "DejaVuSans");
  EXPECT_FALSE(StyleSuffix("DejaVuSans"));
  EXPECT_FALSE(StyleSuffix("Arial,Narrow"));
  EXPECT_EQ(StyleSuffix("DejaVuSans,Bold"), (FaceStyle{true, false}));
  EXPECT_EQ(StyleSuffix("DejaVuSans,Oblique"), (FaceStyle{false, true}));
  EXPECT_EQ(StyleSuffix("DejaVuSans,Bold Italic"), (FaceStyle{true, true}));
  EXPECT_EQ(WithoutSubsetTag("ABCDEF+IPAGothic"), "IPAGothic");
  EXPECT_EQ(WithoutSubsetTag("ABCDEf+IPAGothic"), "ABCDEf+IPAGothic");
  const std::string tag = SubsetTag("DejaVuSans", U"0123");
  EXPECT_TRUE(std::regex_match(tag, std::regex("[A-Z]{6}")));
  EXPECT_EQ(tag, SubsetTag("DejaVuSans", U"0123"));
  EXPECT_NE(tag, SubsetTag("DejaVuSans", U"0124"));
}

// name | charset | lfPitchAndFamily | proportional | bold | width of "0"
TEST_F(TrueTypeTest, FaceRecordsFromTheInstalledFaces) {
  struct Row {
    const char* name;
    uint8_t charSet, pitchAndFamily;
    bool proportional, bold;
    int32_t zero;
  };
  const Row rows[] = {
      {"DejaVuSans", 0, 0x22, true, false, 636},
      {"DejaVu Sans Mono", 0, 0x31, false, false, 602},
      {"LiberationSerif,Bold", 0, 0x12, true, true, 500},
      {"IPAGothic", 128, 0x31, false, false, 500},
      {"IPAPGothic", 128, 0x22, true, false, 630},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const TrueTypeInfo* info = Info(row.name);
    ASSERT_TRUE(info);
    EXPECT_EQ(info->charSet, row.charSet);
    EXPECT_EQ(info->pitchAndFamily, row.pitchAndFamily);
    EXPECT_EQ((info->tmPitchAndFamily & kTmProportional) != 0, row.proportional);
    EXPECT_EQ(info->style.bold, row.bold);
    EXPECT_EQ(info->WidthOf('0'), row.zero);
    EXPECT_EQ(info->firstChar, 32);
  }
  EXPECT_EQ(Info("DejaVu Sans"), Info("DejaVuSans"));
  EXPECT_EQ(Info("ABCDEF+DejaVuSans"), Info("DejaVuSans"));
  EXPECT_FALSE(Info("IPAGothic,Bold")->style.bold);  // no bold face: the regular one measures
  EXPECT_FALSE(Info("NoSuchFace"));
  const TrueTypeInfo* heisei = Info("HeiseiKakuGo-W5");
  ASSERT_TRUE(heisei);
  EXPECT_EQ(heisei->charSet, 128);
  EXPECT_EQ(heisei->macAscent, 752);
  EXPECT_EQ(heisei->boxBottom, -250);
  EXPECT_TRUE(heisei->widths.empty());
}

TEST_F(TrueTypeTest, SimpleFontsWithWidthsFlagsAndPanose) {
  std::unique_ptr<CPDFTrueTypeFont> font =
      CPDFTrueTypeFont::CreateFont(m_doc.get(), "DejaVuSans", "");
  ASSERT_TRUE(font);
  EXPECT_STREQ(font->GetPrefix(), "TT");
  EXPECT_EQ(font->Get_Encoding()->TypeCode(), kTypeName);
  EXPECT_EQ(font->Get_FirstChar()->IntValue(), 32);
  EXPECT_EQ(font->CalcStringWidth("10\x01", 3), 1272);  // a byte below FirstChar counts 0
  CPDFFontDesc* desc = font->GetFontDescriptor();
  EXPECT_EQ(desc->Get_Flags()->IntValue(), 32);
  EXPECT_EQ(desc->Get_Descent()->IntValue(), -236);
  EXPECT_EQ(desc->Get_Style()->GetString(m_doc.get(), "Panose")->Length(), 12u);
  EXPECT_EQ(CPDFTrueTypeFont::CreateFont(m_doc.get(), "Liberation Serif", "")
                ->GetFontDescriptor()
                ->Get_Flags()
                ->IntValue(),
            34);  // serif

  EXPECT_FALSE(CPDFTrueTypeFont::CreateFont(m_doc.get(), "IPAGothic", ""));
  EXPECT_EQ(m_doc->LastError().Message(), "unknown TrueType encoding: IPAGothic");
  m_doc->ClearError();
  EXPECT_FALSE(CPDFType2CIDFont::CreateFont(m_doc.get(), "DejaVuSans", ""));
  EXPECT_EQ(m_doc->LastError().Message(), "unknown TrueType encoding: DejaVuSans");
  m_doc->ClearError();
  EXPECT_FALSE(CreateTrueTypeFontByName(m_doc.get(), "NoSuchFace", ""));
  EXPECT_EQ(m_doc->LastError().Message(), "TrueType info not found: NoSuchFace");
}

TEST_F(TrueTypeTest, JapaneseFacesAsType0OverCIDFontType2) {
  std::unique_ptr<CPDFFont> fixed = CreateTrueTypeFontByName(m_doc.get(), "IPAGothic", "");
  ASSERT_TRUE(fixed);
  EXPECT_STREQ(fixed->GetPrefix(), "G");
  EXPECT_EQ(fixed->Get_Encoding()->TypeCode(), kTypeName);
  EXPECT_EQ(W(*fixed), "[1 94 500 231 389 500 631 631 500]");
  EXPECT_EQ(fixed->CalcStringWidth("\x91\xe6"
                                   "12",
                                   4),
            2000);  // a kanji and two digits
  EXPECT_EQ(fixed->GetFontDescriptor()->Get_Flags()->IntValue(), 4);

  std::unique_ptr<CPDFFont> proportional = CreateTrueTypeFontByName(m_doc.get(), "IPAPGothic", "");
  ASSERT_TRUE(proportional);
  EXPECT_TRUE(std::regex_match(
      W(*proportional),
      std::regex(
          R"(\[1 \[(\d+ ){93}\d+\] 231 \[(\d+ ){94}\d+\] 326 \[(\d+ ){63}\d+\] 631 631 \d+\])")));

  std::unique_ptr<CPDFType0Font> heisei =
      CPDFType2CIDFont::CreateFont(m_doc.get(), "HeiseiMin-W3", "");
  ASSERT_TRUE(heisei);
  EXPECT_EQ(heisei->Get_BaseFont()->Str(), "HeiseiMin-W3");
  EXPECT_EQ(W(*heisei), "[1 94 500 231 389 500 631 631 500]");
  EXPECT_EQ(EmbedFontSubset(*heisei, "12").outcome, EmbedOutcome::kNotEmbedded);
}

TEST_F(TrueTypeTest, EmbedsTaggedSubsets) {
  std::unique_ptr<CPDFFont> simple = CreateTrueTypeFontByName(m_doc.get(), "DejaVuSans", "");
  ASSERT_EQ(EmbedFontSubset(*simple, "Page 12").outcome, EmbedOutcome::kEmbedded);
  const std::string name = simple->Get_BaseFont()->Str();
  EXPECT_TRUE(std::regex_match(name, std::regex("[A-Z]{6}\\+DejaVuSans")));
  CPDFFontDesc* desc = simple->GetFontDescriptor();
  EXPECT_EQ(desc->Get_FontName()->Str(), name);
  ASSERT_TRUE(desc->Get_FontFile2());
  EXPECT_GT(desc->Get_FontFile2()->GetNumber(m_doc.get(), "Length1")->IntValue(), 1000);
  EXPECT_EQ(simple->CalcStringWidth("10", 2), 1272);  // the tagged name still measures

  std::unique_ptr<CPDFFont> composite = CreateTrueTypeFontByName(m_doc.get(), "IPAGothic", "");
  ASSERT_EQ(EmbedFontSubset(*composite,
                            "\x91\xe6"
                            "12")
                .outcome,
            EmbedOutcome::kEmbedded);
  CPDFCIDFont* cid = dynamic_cast<CPDFType0Font&>(*composite).Descendant();
  EXPECT_EQ(cid->Get_BaseFont()->Str(), composite->Get_BaseFont()->Str());
  EXPECT_TRUE(cid->GetValue(m_doc.get(), "CIDToGIDMap"));
  EXPECT_TRUE(cid->GetFontDescriptor()->Get_FontFile2());

  std::unique_ptr<CPDFFont> simulated = CreateTrueTypeFontByName(m_doc.get(), "IPAGothic,Bold", "");
  EXPECT_EQ(EmbedFontSubset(*simulated, "12").outcome, EmbedOutcome::kNotEmbedded);
  EXPECT_EQ(simulated->Get_BaseFont()->Str(), "IPAGothic,Bold");
}

TEST_F(TrueTypeTest, GlyphNumberedFontsForTextBeyondTheEncoding) {
  UndrawableCharacter undrawable;
  std::optional<FaceGlyphText> glyphs =
      FaceGlyphText::Find(*Info("DejaVuSans"), "Σελίδα 0123456789", undrawable);
  ASSERT_TRUE(glyphs);
  const std::optional<std::string> codes = glyphs->Encode("Σ 10");
  ASSERT_TRUE(codes);
  EXPECT_EQ(codes->size(), 8u);
  EXPECT_FALSE(glyphs->Encode("Ω"));  // not among the characters found

  std::unique_ptr<CPDFType0Font> font = glyphs->CreateFont(m_doc.get(), "DejaVuSans");
  ASSERT_TRUE(font);
  EXPECT_EQ(font->Get_Encoding()->TypeCode(), kTypeName);
  EXPECT_TRUE(font->Get_ToUnicode());
  // The digits measure as in the simple font of the same face.
  EXPECT_EQ(font->CalcStringWidth(codes->data() + 4, 4), 1272);
  ASSERT_EQ(EmbedFontSubset(*font, *codes).outcome, EmbedOutcome::kEmbedded);
  EXPECT_TRUE(std::regex_match(font->Get_BaseFont()->Str(), std::regex("[A-Z]{6}\\+DejaVuSans")));
  EXPECT_TRUE(font->GetFontDescriptor()->Get_FontFile2());

  const struct {
    const char* text;
    const char* character;
    UndrawableCharacter::Reason reason;
  } refusals[] = {
      {"\u05E2\u05DE\u05D5\u05D3", "\u05E2", UndrawableCharacter::Reason::kRightToLeft},
      {"\u200F1", "\u200F", UndrawableCharacter::Reason::kRightToLeft},
      {"x\u0301", "\u0301", UndrawableCharacter::Reason::kCombining},
      {"1\u7B2C", "\u7B2C", UndrawableCharacter::Reason::kNotInFace},
  };
  for (const auto& refusal : refusals) {
    EXPECT_FALSE(FaceGlyphText::Find(*Info("DejaVuSans"), refusal.text, undrawable));
    EXPECT_EQ(undrawable.character, refusal.character) << refusal.text;
    EXPECT_EQ(undrawable.reason, refusal.reason) << refusal.text;
  }
}

TEST(GlyphToUnicode, BlocksOfAHundredAndSurrogatePairs) {
  std::map<char32_t, FaceGlyph> glyphs;
  for (char32_t c = 0x41; c < 0x41 + 150; ++c) glyphs[c] = {static_cast<uint16_t>(c), 0};
  glyphs[0x1D11E] = {7, 0};  // beyond the BMP
  glyphs[0x42] = {7, 0};     // a lower character drawn with the same glyph wins
  const std::string cmap = GlyphToUnicodeCMap(glyphs);
  EXPECT_NE(cmap.find("100 beginbfchar\n<0007> <0042>\n<0041> <0041>\n"), std::string::npos);
  EXPECT_NE(cmap.find("\n50 beginbfchar\n"), std::string::npos);
  EXPECT_EQ(cmap.find("D834DD1E"), std::string::npos);
  glyphs.erase(0x42);
  EXPECT_NE(GlyphToUnicodeCMap(glyphs).find("<0007> <D834DD1E>\n"), std::string::npos);
}

TEST_F(TrueTypeTest, LoadsTrueTypeDictionaries) {
  std::unique_ptr<CPDFDict> dict = test::ParseDict(
      "<< /Type /Font /Subtype /TrueType /BaseFont /DejaVuSans /FirstChar 48 /LastChar 49 "
      "/Widths [600 700] >>",
      m_doc.get());
  std::unique_ptr<CPDFFont> font = LoadFont(kFontAllKinds, m_doc.get(), *dict);
  ASSERT_TRUE(dynamic_cast<CPDFTrueTypeFont*>(font.get()));
  EXPECT_EQ(font->CalcStringWidth("10A", 3), 1300);
}

}  // namespace
}  // namespace quarn
