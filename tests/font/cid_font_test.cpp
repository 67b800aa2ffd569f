// Type 0 and CID fonts: creation, W packing, string widths, loading and conversions.
#include "pdf/font/cid_font.h"

#include <gtest/gtest.h>

#include "pdf/document/doc.h"
#include "pdf/library/pdf_lib.h"
#include "pdf/font/type0_font.h"
#include "pdf/font/type3_font.h"
#include "support/afm.h"
#include "support/values.h"

namespace quarn {
namespace {

class CIDFontTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_lib = std::make_unique<CPDFLib>();
    m_doc = std::make_unique<CPDFDoc>(m_lib.get());
    ASSERT_TRUE(m_doc->Create(m_lib.get()));
  }
  // A font dictionary as read from a file, typed by the loader.
  std::unique_ptr<CPDFFont> Load(const std::string& text) {
    std::unique_ptr<CPDFDict> dict = test::ParseDict(text, m_doc.get());
    return dict ? LoadFont(kFontAllKinds, m_doc.get(), *dict) : nullptr;
  }
  std::unique_ptr<CPDFLib> m_lib;
  std::unique_ptr<CPDFDoc> m_doc;
};

TEST_F(CIDFontTest, CreatesHeiseiFontsWithPackedWidths) {
  std::unique_ptr<CPDFType0Font> font = CPDFType0CIDFont::CreateFont(m_doc.get(), "HeiseiMin-W3", "");
  ASSERT_TRUE(font);
  EXPECT_EQ(font->Get_BaseFont()->Str(), "HeiseiMin-W3-90ms-RKSJ-H");
  EXPECT_STREQ(font->GetPrefix(), "G");
  CPDFCIDFont* descendant = font->Descendant();
  ASSERT_TRUE(descendant);
  EXPECT_EQ(descendant->Get_DW()->IntValue(), 1000);
  EXPECT_EQ(descendant->Get_CIDSystemInfo()->Get_Ordering()->Str(), "Japan1");
  EXPECT_EQ(font->GetFontDescriptor()->Get_Flags()->IntValue(), 4);
  // Proportional CIDs gather in lists, the half-width block is one range, DW widths are left out.
  std::string w = test::Text(*descendant->Get_W());
  for (size_t at; (at = w.find("\r\n")) != std::string::npos;) w.replace(at, 2, " ");
  EXPECT_EQ(w.rfind("[1 [250 333 408] 4 5 500 6 [833 778 180] 9 10 333 ", 0), 0u) << w.substr(0, 60);
  EXPECT_NE(w.find("231 632 500"), std::string::npos);
  EXPECT_EQ(w.find(" 633 "), std::string::npos);

  EXPECT_FALSE(CPDFType0CIDFont::CreateFont(m_doc.get(), "HeiseiMin-W3", "No-Such-CMap"));
  EXPECT_EQ(m_doc->LastError().Message(), "CMap file not found: No-Such-CMap");
  m_doc->ClearError();
  EXPECT_FALSE(CPDFType0CIDFont::CreateFont(m_doc.get(), "Helvetica", ""));
  EXPECT_EQ(m_doc->LastError().Message(), "invalid AFM file: Helvetica");
}

TEST_F(CIDFontTest, MeasuresThroughTheCMapAndW) {
  struct Case {
    const char* font;
    std::string text;  // Shift-JIS bytes
    int32_t width;
  };
  const Case cases[] = {
      {"HeiseiMin-W3", "12", 1000},  // half-width digits: "12" at 10 pt is 10 pt wide
      {"HeiseiKakuGo-W5", "12", 1000},
      {"HeiseiMin-W3", "\x91\xe6" "1\x95\xc5", 2500},  // 第1頁
      {"HeiseiKakuGo-W5", "- iv -", 3000},
  };
  for (const Case& c : cases) {
    std::unique_ptr<CPDFType0Font> font = CPDFType0CIDFont::CreateFont(m_doc.get(), c.font, "");
    ASSERT_TRUE(font) << c.font;
    EXPECT_EQ(font->CalcStringWidth(c.text.data(), c.text.size()), c.width) << c.font << c.text;
  }
}

TEST_F(CIDFontTest, WidthsOfLoadedCIDFonts) {
  struct Case {
    const char* entries;  // DW and W of the descendant
    std::string cids;
    int32_t width;
  };
  const Case cases[] = {
      {"/W [231 389 500]", std::string("\0\xe7\0\xe8", 4), 1000},
      {"/W [231 389 500]", std::string("\0\x05\0\xe7", 4), 500},  // no DW: absent CIDs are 0
      {"/DW 1000 /W [231 389 500]", std::string("\0\x05\0\xe7", 4), 1500},
      {"/DW 0 /W [10 [100 200] 20 21 7]", std::string("\0\x0b\0\x0b\0\x15\0\x0c", 8), 407},
      {"/DW 1000", std::string("\0\x05", 2), 0},  // no W at all
      {"/W [10 /X]", std::string("\0\x0a", 2), -1},
  };
  for (const Case& c : cases) {
    std::unique_ptr<CPDFFont> font = Load(
        std::string("<< /Type /Font /Subtype /CIDFontType0 /BaseFont /X "
                    "/CIDSystemInfo << /Registry (Adobe) /Ordering (Japan1) /Supplement 2 >> "
                    "/FontDescriptor << /Type /FontDescriptor >> ") + c.entries + " >>");
    EXPECT_FALSE(font) << "a CID font is only loaded as a descendant";
    std::unique_ptr<CPDFFont> type0 = Load(
        std::string("<< /Type /Font /Subtype /Type0 /BaseFont /X /Encoding /Identity-H "
                    "/DescendantFonts [<< /Type /Font /Subtype /CIDFontType0 /BaseFont /X "
                    "/CIDSystemInfo << /Registry (Adobe) /Ordering (Japan1) /Supplement 2 >> "
                    "/FontDescriptor << /Type /FontDescriptor >> ") + c.entries + " >>] >>");
    auto* composite = dynamic_cast<CPDFType0Font*>(type0.get());
    ASSERT_TRUE(composite) << c.entries;
    CPDFCIDFont* descendant = composite->Descendant();
    ASSERT_TRUE(dynamic_cast<CPDFType0CIDFont*>(descendant)) << c.entries;
    if (CPDFNumber* dw = descendant->Get_DW()) {
      EXPECT_EQ(dw->TypeCode(), kTypeInteger);
    }
    EXPECT_EQ(descendant->CalcStringWidth(c.cids.data(), c.cids.size()), c.width) << c.entries;
    // Identity-H hands the codes to the descendant as CIDs.
    EXPECT_EQ(composite->CalcStringWidth(c.cids.data(), c.cids.size()), c.width) << c.entries;
  }
}

TEST_F(CIDFontTest, FractionalWidthsKeepTheirValueOnLoad) {
  std::unique_ptr<CPDFFont> type0 = Load(
      "<< /Type /Font /Subtype /Type0 /BaseFont /X /Encoding /Identity-H "
      "/DescendantFonts [<< /Type /Font /Subtype /CIDFontType0 /BaseFont /X "
      "/CIDSystemInfo << /Registry (Adobe) /Ordering (Japan1) /Supplement 2 >> "
      "/FontDescriptor << /Type /FontDescriptor >> /DW 1000 /W [10 [277.832031 500]] >>] >>");
  auto* composite = dynamic_cast<CPDFType0Font*>(type0.get());
  ASSERT_TRUE(composite);
  CPDFArray* list = AsArray(composite->Descendant()->Get_W()->GetObj(nullptr, 1));
  ASSERT_TRUE(list);
  EXPECT_FLOAT_EQ(AsNumber(list->GetObj(nullptr, 0))->RealValue(), 277.832031f);
  EXPECT_EQ(list->GetObj(nullptr, 1)->TypeCode(), kTypeInteger);
}

TEST_F(CIDFontTest, LoaderRecognisesEveryKind) {
  struct Case {
    const char* text;
    int kind;  // 0: not a font of any kind
  };
  const Case cases[] = {
      {"<< /Type /Font /Subtype /Type3 /FirstChar 0 /LastChar 1 /Widths [0 0] /FontBBox [0 0 1 1] "
       "/FontMatrix [1 0 0 1 0 0] /CharProcs << >> /Encoding << /Differences [0 /a] >> >>",
       kFontType3},
      {"<< /Type /Font /Subtype /Type3 /FirstChar 0 /LastChar 1 /Widths [0 0] >>", 0},
      {"<< /Type /Font /Subtype /MMType1 /BaseFont /M /FirstChar 0 /LastChar 0 /Widths [0] "
       "/FontDescriptor << >> >>",
       kFontMMType1},
      {"<< /Type /Font /Subtype /Type0 /BaseFont /X /Encoding /Identity-H /DescendantFonts [] >>",
       kFontType0},
      {"<< /Type /Font /Subtype /Type0 /BaseFont /X /Encoding 5 /DescendantFonts [] >>", 0},
  };
  for (const Case& c : cases) {
    std::unique_ptr<CPDFFont> font = Load(c.text);
    EXPECT_EQ(font ? font->Kind() : 0, c.kind) << c.text;
    if (font) {
      EXPECT_EQ(font->CalcStringWidth("ab", 2), c.kind == kFontType0 ? -1 : 0);
    }
  }
}

TEST_F(CIDFontTest, Conversions) {
  std::unique_ptr<CPDFFont> identity = Load(
      "<< /Type /Font /Subtype /Type0 /BaseFont /X /Encoding /Identity-H /DescendantFonts [] >>");
  ASSERT_TRUE(identity);
  std::string host;
  // CID 17 (proportional "0") folds to the half-width CID the host CMap covers.
  EXPECT_EQ(identity->ToHostEncoding(host, "\0\x11\0\xf8", 4), 2);
  EXPECT_EQ(host, "01");
  EXPECT_EQ(identity->FromHostEncoding(host, "1"), 2);
  EXPECT_EQ(host, std::string("\0\xf8", 2));

  std::unique_ptr<CPDFType0Font> sjis = CPDFType0CIDFont::CreateFont(m_doc.get(), "HeiseiMin-W3", "");
  ASSERT_TRUE(sjis);
  std::u16string unicode;
  EXPECT_EQ(sjis->ToUnicode(unicode, "\x91\xe6" "1", 3), 2);
  EXPECT_EQ(unicode, u"\u7b2c1");
  // Unicode gives the proportional CID of "1", which the RKSJ CMap has no code for.
  EXPECT_EQ(sjis->FromUnicode(host, u"\u7b2c1"), 2);
  EXPECT_EQ(host, "\x91\xe6");
}

}  // namespace
}  // namespace quarn
