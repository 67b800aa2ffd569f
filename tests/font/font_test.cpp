// The font base: recognition, the four text conversions, descriptors and embedded font files.
#include "pdf/font/font.h"

#include <gtest/gtest.h>

#include "pdf/document/doc.h"
#include "pdf/library/pdf_lib.h"
#include "pdf/font/font_desc.h"
#include "pdf/font/font_file.h"
#include "pdf/font/type1_font.h"
#include "support/afm.h"
#include "support/values.h"

namespace quarn {
namespace {

class FontBaseTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_lib = std::make_unique<CPDFLib>();
    m_doc = std::make_unique<CPDFDoc>(m_lib.get());
    ASSERT_TRUE(m_doc->Create(m_lib.get()));
  }
  // A font dictionary as a document reader binds it (the base class only).
  std::unique_ptr<CPDFFont> Load(const std::string& text) {
    std::unique_ptr<CPDFDict> dict = test::ParseDict(text, m_doc.get());
    if (!dict) return nullptr;
    auto font = std::make_unique<CPDFFont>();
    if (!font->Realize(m_doc.get(), *dict)) return nullptr;
    return font;
  }
  void ExpectError(const char* method, int code, const std::string& message) {
    const CPDFErrorRecord& e = m_doc->LastError();
    EXPECT_EQ(e.Module(), "CPDFFont");
    EXPECT_EQ(e.Method(), method);
    EXPECT_EQ(e.Code(), code);
    EXPECT_EQ(e.Message(), message);
  }
  std::string ToHost(CPDFFont& font, const std::string& bytes) {
    std::string out;
    return font.ToHostEncoding(out, bytes.data(), bytes.size()) < 0 ? "<failed>" : out;
  }
  std::string FromHost(CPDFFont& font, const std::string& text) {
    std::string out;
    return font.FromHostEncoding(out, text) < 0 ? "<failed>" : out;
  }

  std::unique_ptr<CPDFLib> m_lib;
  std::unique_ptr<CPDFDoc> m_doc;
};

// ---- recognition and the base slots --------------------------------------------------------

TEST_F(FontBaseTest, IsFontNeedsTypeFontAndABaseFontName) {
  auto good = test::ParseDict("<< /Type /Font /BaseFont /Anything >>");
  auto noBase = test::ParseDict("<< /Type /Font >>");
  auto stringBase = test::ParseDict("<< /Type /Font /BaseFont (Helvetica) >>");
  auto wrongType = test::ParseDict("<< /Type /FontDescriptor /BaseFont /X >>");
  EXPECT_TRUE(IsFont(m_doc.get(), good.get()));
  EXPECT_FALSE(IsFont(m_doc.get(), noBase.get()));
  EXPECT_FALSE(IsFont(m_doc.get(), stringBase.get()));
  EXPECT_FALSE(IsFont(m_doc.get(), wrongType.get()));
  EXPECT_FALSE(IsFont(m_doc.get(), nullptr));
}

TEST_F(FontBaseTest, BaseSlotsDoNothing) {
  CPDFFont font;
  ASSERT_TRUE(font.Create(m_doc.get(), "Plain"));
  EXPECT_EQ(test::Text(font), "<<\r\n/BaseFont /Plain\r\n/Type /Font\r\n>>");
  EXPECT_FALSE(font.CreateWidths());
  EXPECT_FALSE(font.GetFontDescriptor());
  EXPECT_EQ(font.CalcStringWidth("abc", 3), 0);
  EXPECT_EQ(font.Kind(), 0);
}

// ---- conversions ---------------------------------------------------------------------------

TEST_F(FontBaseTest, WithoutEncodingBytesPassUnchanged) {
  auto font = Load("<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>");
  ASSERT_TRUE(font);
  EXPECT_EQ(ToHost(*font, "Page 7"), "Page 7");
  EXPECT_EQ(FromHost(*font, "Page 7"), "Page 7");
  EXPECT_EQ(FromHost(*font, std::string("ab\0cd", 5)), "ab");  // the text ends at its zero

  std::u16string unicode;
  ASSERT_EQ(font->ToUnicode(unicode, "Hi!", 3), 3);
  EXPECT_EQ(unicode, u"Hi!");
  std::string bytes;
  ASSERT_EQ(font->FromUnicode(bytes, u"Hi!"), 3);
  EXPECT_EQ(bytes, "Hi!");
}

TEST_F(FontBaseTest, NameEncodingKeepsTheBytes) {
  auto font = Load("<< /Type /Font /BaseFont /Helvetica /Encoding /MacRomanEncoding >>");
  ASSERT_TRUE(font);
  EXPECT_EQ(ToHost(*font, "xyz"), "xyz");
}

TEST_F(FontBaseTest, IntegerEncodingIsATypeErrorForEveryConversion) {
  auto font = Load("<< /Type /Font /BaseFont /Helvetica /Encoding 3 >>");
  ASSERT_TRUE(font);
  std::string bytes;
  std::u16string unicode;
  EXPECT_EQ(font->ToUnicode(unicode, "a", 1), -1);
  ExpectError("ToUnicode", 4, "typecheck: Number");
  EXPECT_EQ(font->ToHostEncoding(bytes, "a", 1), -1);
  ExpectError("ToHostEncoding", 4, "typecheck: Number");
  EXPECT_EQ(font->FromUnicode(bytes, u"a"), -1);
  ExpectError("FromUnicode", 4, "typecheck: Number");
  EXPECT_EQ(font->FromHostEncoding(bytes, "a"), -1);
  ExpectError("FromHostEncoding", 4, "typecheck: Number");
}

TEST_F(FontBaseTest, DifferencesRecodeThroughTheBaseEncoding) {
  // No BaseEncoding: StandardEncoding. Code 65 is named B, whose standard code is 66.
  auto font = Load("<< /Type /Font /BaseFont /X /Encoding << /Differences [65 /B] >> >>");
  ASSERT_TRUE(font);
  EXPECT_EQ(ToHost(*font, "AB"), "BB");
  std::u16string unicode;
  ASSERT_EQ(font->ToUnicode(unicode, "AC", 2), 2);
  EXPECT_EQ(unicode, u"BC");
  // Back: host B is named B in StandardEncoding, and the differences give B the code 65.
  EXPECT_EQ(FromHost(*font, "BC"), "AC");
  std::string bytes;
  ASSERT_EQ(font->FromUnicode(bytes, u"BC"), 2);
  EXPECT_EQ(bytes, "AC");
}

TEST_F(FontBaseTest, DifferenceNameMissingFromTheBaseIsDropped) {
  auto font = Load(
      "<< /Type /Font /BaseFont /X /Encoding << /Type /Encoding "
      "/BaseEncoding /WinAnsiEncoding /Differences [66 /nosuchglyph] >> >>");
  ASSERT_TRUE(font);
  EXPECT_EQ(ToHost(*font, "ABC"), "AC");
  std::u16string unicode;
  ASSERT_EQ(font->ToUnicode(unicode, "ABC", 3), 2);
  EXPECT_EQ(unicode, u"AC");
}

TEST_F(FontBaseTest, UnknownBaseEncodingIsReported) {
  auto font = Load(
      "<< /Type /Font /BaseFont /X /Encoding << /BaseEncoding /KOI8 /Differences [1 /a] >> >>");
  ASSERT_TRUE(font);
  EXPECT_EQ(ToHost(*font, "a"), "<failed>");
  ExpectError("ToHostEncoding", 3, "undefined Font Encoding: KOI8");
}

TEST_F(FontBaseTest, ConversionClearsAnEarlierError) {
  auto font = Load("<< /Type /Font /BaseFont /X >>");
  ASSERT_TRUE(font);
  m_doc->LastError().Keep(CPDFException("Earlier", "Call", 3, "stale"));
  EXPECT_EQ(ToHost(*font, "a"), "a");
  EXPECT_FALSE(m_doc->LastError().IsError());
}

TEST_F(FontBaseTest, ToUnicodeStreamCannotBeReadYet) {
  // ToUnicode CMaps are read by the CMap module, which is not part of the library yet.
  std::unique_ptr<CPDFFont> font = Load("<< /Type /Font /BaseFont /X >>");
  ASSERT_TRUE(font);
  auto stream = std::make_unique<CPDFStream>(m_doc.get());
  const std::string cmap = "begincmap endcmap";
  ASSERT_TRUE(stream->SetData(cmap.data(), cmap.size()));
  ASSERT_TRUE(font->Set_ToUnicode(std::move(stream), true));
  std::u16string unicode;
  EXPECT_EQ(font->ToUnicode(unicode, "a", 1), -1);
  ExpectError("ToUnicode", 5, "invalid ToUnicode stream");
}

// ---- descriptors ---------------------------------------------------------------------------

constexpr const char* kValidDescriptor =
    "<< /Type /FontDescriptor /Ascent 700 /CapHeight 650 /Descent -200 /Flags 32 "
    "/FontBBox [0 -200 1000 900] /FontName /X /ItalicAngle 0 /StemV 80 >>";

TEST_F(FontBaseTest, DescriptorValidity) {
  auto valid = test::ParseDict(kValidDescriptor);
  EXPECT_TRUE(IsFontDesc(m_doc.get(), valid.get()));

  for (const char* key : {"Type", "Ascent", "CapHeight", "Descent", "Flags", "FontBBox", "FontName",
                          "ItalicAngle", "StemV"}) {
    auto missing = test::ParseDict(kValidDescriptor);
    missing->RemoveValue(nullptr, key);
    EXPECT_FALSE(IsFontDesc(m_doc.get(), missing.get())) << key;
  }
  auto nameBox = test::ParseDict(kValidDescriptor);
  nameBox->Insert("FontBBox", std::make_unique<CPDFName>("Box"));
  EXPECT_FALSE(IsFontDesc(m_doc.get(), nameBox.get()));

  // Integers built by code do not count as numbers of a descriptor.
  auto built = test::ParseDict(kValidDescriptor);
  built->Insert("Flags", std::make_unique<CPDFInt>(32));
  EXPECT_FALSE(IsFontDesc(m_doc.get(), built.get()));
  CPDFFontDesc created;
  ASSERT_TRUE(created.Create(m_doc.get(), 1, 2, 3, 32, {0, 0, 1, 1}, "X", 0, 0));
  EXPECT_FALSE(IsFontDesc(m_doc.get(), &created));
}

TEST_F(FontBaseTest, DescriptorCreateWritesItsEntries) {
  CPDFFontDesc desc;
  ASSERT_TRUE(desc.Create(m_doc.get(), 718, 718, -207, 33, {-166.5f, -225, 1000, 931}, "Helvetica",
                          -12, 88));
  EXPECT_EQ(test::Text(desc),
            "<<\r\n/Ascent 718\r\n/CapHeight 718\r\n/Descent -207\r\n/Flags 33\r\n"
            "/FontBBox [-166.5 -225 1000 931]\r\n/FontName /Helvetica\r\n/ItalicAngle -12\r\n"
            "/StemV 88\r\n/Type /FontDescriptor\r\n>>");
}

// ---- embedded font files -------------------------------------------------------------------

TEST_F(FontBaseTest, FontFileLengthsBecomeIntegers) {
  auto stream = std::make_unique<CPDFStream>(m_doc.get());
  stream->Insert("Length1", std::make_unique<CPDFNumber>(int32_t(1200)));
  stream->Insert("Length2", std::make_unique<CPDFNumber>(int32_t(3400)));
  EXPECT_TRUE(IsFontFile(m_doc.get(), stream.get()));
  CPDFFontFile file;
  ASSERT_TRUE(file.Realize(m_doc.get(), *stream));
  ASSERT_TRUE(file.Get_Length1());
  EXPECT_EQ(file.Get_Length1()->TypeCode(), kTypeInteger);
  EXPECT_EQ(file.Get_Length1()->IntValue(), 1200);
  EXPECT_EQ(file.Get_Length2()->TypeCode(), kTypeInteger);
  EXPECT_FALSE(file.Get_Length3());

  auto noLength1 = std::make_unique<CPDFStream>(m_doc.get());
  noLength1->Insert("Length1", std::make_unique<CPDFInt>(5));  // built by code
  EXPECT_FALSE(IsFontFile(m_doc.get(), noLength1.get()));
  auto dict = test::ParseDict("<< /Length1 5 >>");
  EXPECT_FALSE(IsFontFile(m_doc.get(), dict.get()));  // not a stream
}

TEST_F(FontBaseTest, IndirectLengthKeepsItsIdentity) {
  CPDFObjRef lengthRef;
  ASSERT_TRUE(m_doc->RegistObj(std::make_unique<CPDFNumber>(int32_t(99)), &lengthRef));
  auto stream = std::make_unique<CPDFStream>(m_doc.get());
  stream->Insert("Length1", std::make_unique<CPDFObjRef>(lengthRef));
  CPDFFontFile file;
  ASSERT_TRUE(file.Realize(m_doc.get(), *stream));
  CPDFAtom* atom = file.Lookup("Length1");
  ASSERT_TRUE(atom && atom->IsRef());
  EXPECT_EQ(*static_cast<CPDFObjRef*>(atom), lengthRef);
  CPDFObject* value = m_doc->GetObj(lengthRef);
  ASSERT_TRUE(value);
  EXPECT_EQ(value->TypeCode(), kTypeInteger);
}

TEST_F(FontBaseTest, DescriptorBindsItsFontFile) {
  auto desc = test::ParseDict(kValidDescriptor, m_doc.get());
  ASSERT_TRUE(desc);
  auto stream = std::make_unique<CPDFStream>(m_doc.get());
  stream->Insert("Length1", std::make_unique<CPDFNumber>(int32_t(10)));
  desc->Insert("FontFile", std::move(stream));
  CPDFFontDesc bound;
  ASSERT_TRUE(bound.Realize(m_doc.get(), *desc));
  EXPECT_TRUE(dynamic_cast<CPDFFontFile*>(bound.Get_FontFile()));
}

}  // namespace
}  // namespace quarn
