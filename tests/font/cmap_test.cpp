// CMaps: parsing, the four mappings, usecmap parents, the built-in CMaps and CID folding.
#include "pdf/font/cmap_file.h"

#include <gtest/gtest.h>
#include "support/files.h"
#include "support/values.h"


namespace quarn {
namespace {

using test::Bytes;

const char* const kHeader = "%!PS-Adobe-3.0 Resource-CMap\n";

std::unique_ptr<CMapFile> Parsed(const std::string& text, bool asToUnicode = false) {
  auto cmap = std::make_unique<CMapFile>();
  if (!cmap->Parse(text, asToUnicode, "")) return nullptr;
  return cmap;
}

TEST(CMapFileTest, ParsesHeaderRecordsAndRanges) {
  const std::string text = std::string(kHeader) +
                           "%%Title: (Test-H Adobe Japan1 1)\n"
                           "/CIDSystemInfo 3 dict dup begin\n  /Registry (Adobe) def\n"
                           "  /Ordering (Japan1) def\n  /Supplement 2 def\nend def\n"
                           "/CMapName /Test-H def\n/WMode 0 def\n"
                           "2 begincodespacerange\n<00> <80>\n<8140> <9FFC>\nendcodespacerange\n"
                           "1 beginnotdefrange\n<00> <1f> 231\nendnotdefrange\n"
                           "3 begincidrange\n<20> <7d> 231\n<8140> <817e>\n633\n"
                           "<8180> <81ac> 696\nendcidrange\n";
  auto cmap = Parsed(text);
  ASSERT_TRUE(cmap);
  EXPECT_EQ(cmap->CMapName(), "Test-H");
  EXPECT_EQ(cmap->Registry(), "Adobe");
  EXPECT_EQ(cmap->Supplement(), 2);  // the dictionary's values win over the title's
  EXPECT_EQ(cmap->CodeSpaceRanges().size(), 2u);
  // The range split after its high code is dropped; its CID line is no entry of its own.
  ASSERT_EQ(cmap->CIDRanges().size(), 2u);
  EXPECT_EQ(cmap->CIDRanges()[1].low, 0x8180);
  std::string cids;
  cmap->MapCodesToCIDs(cids, Bytes({0x05, 0x41, 0x81, 0x80}));
  EXPECT_EQ(cids, Bytes({0, 231, 0x01, 0x08, 0x02, 0xB8}));  // 231, 264, 696
  EXPECT_FALSE(Parsed("not a CMap\n"));
  EXPECT_TRUE(Parsed("begincmap\n", true));  // ToUnicode streams need no header
}

TEST(CMapFileTest, BuiltInCMapsAndTheirParents) {
  struct Case {
    const char* name;
    std::string codes;
    std::string cids;
  };
  const Case cases[] = {
      {"90ms-RKSJ-H", Bytes({0x31, 0x7E, 0x81, 0x40}), Bytes({0, 248, 2, 119, 2, 121})},
      // Own vertical range first, the parent for the rest.
      {"90ms-RKSJ-V", Bytes({0x81, 0x41, 0x81, 0x40}), Bytes({0x1E, 0xCF, 2, 121})},
      {"EUC-H", Bytes({0x8E, 0xA0, 0xA1, 0xA1}), Bytes({1, 70, 2, 121})},
      // Identity copies 2-byte codes; an odd last byte ends the output.
      {"Identity-H", Bytes({0x12, 0x34, 0x56}), Bytes({0x12, 0x34})},
      {"Identity-V", Bytes({0xAB, 0xCD}), Bytes({0xAB, 0xCD})},
  };
  for (const Case& c : cases) {
    CMapFile cmap;
    ASSERT_TRUE(cmap.LoadBuiltIn(c.name)) << c.name;
    std::string cids;
    cmap.MapCodesToCIDs(cids, c.codes);
    EXPECT_EQ(cids, c.cids) << c.name;
  }
  CMapFile vertical;
  ASSERT_TRUE(vertical.LoadBuiltIn("90ms-RKSJ-V"));
  EXPECT_TRUE(vertical.IsVertical());
  ASSERT_TRUE(vertical.Parent());
  EXPECT_EQ(vertical.Parent()->CMapName(), "90ms-RKSJ-H");
  std::string codes;
  vertical.MapCIDsToCodes(codes, Bytes({0, 248, 0x1E, 0xCF, 0xFF, 0xFF}));  // unknown skipped
  EXPECT_EQ(codes, Bytes({0x31, 0x81, 0x41}));
  EXPECT_FALSE(vertical.LoadBuiltIn("No-Such-CMap"));
}

TEST(CMapFileTest, FileInTheDirectoryWinsAndNamesStayInside) {
  test::TempDir dir;
  test::WriteFile(dir.File("90ms-RKSJ-H"),
                  std::string(kHeader) + "1 begincidrange\n<20> <7e> 1\nendcidrange\n");
  CMapFile cmap;
  ASSERT_TRUE(cmap.LoadByName(dir.Path() + "/", "90ms-RKSJ-V"));
  std::string cids;
  cmap.MapCodesToCIDs(cids, "1");  // the parent came from the directory
  EXPECT_EQ(cids, Bytes({0, 0x12}));
  EXPECT_FALSE(cmap.LoadByName(dir.Path() + "/", "../90ms-RKSJ-H"));
  // A CMap whose parent is itself fails instead of recursing.
  test::WriteFile(dir.File("Loop"), std::string(kHeader) + "/CMapName /Loop def\n/Loop usecmap\n");
  EXPECT_FALSE(cmap.LoadByName(dir.Path() + "/", "Loop"));
}

TEST(CMapFileTest, ToUnicodeMappings) {
  const std::string text =
      "/CIDSystemInfo << /Registry (Adobe) /Ordering (UCS) /Supplement 0 >> def\n"
      "2 beginbfchar\n<41> <0042>\n<0003><0020>\nendbfchar\n"
      "2 beginbfrange\n<0010> <0012> <0061>\n<0020> <0021> [<0078> <0079>]\nendbfrange\n";
  auto cmap = Parsed(text, true);
  ASSERT_TRUE(cmap);
  std::string out;
  // A one-byte source matches the code with that byte first and zero second.
  cmap->MapCodesToUnicode(out, Bytes({0x41, 0, 0, 3, 0, 0x11, 0, 0x21, 0x77, 0x77, 0, 3}));
  EXPECT_EQ(out, Bytes({0, 0x42, 0, 0x20, 0, 0x62, 0, 0x79}));
  out.clear();
  cmap->MapUnicodeToCodes(out, Bytes({0, 0x63, 0x12, 0x34, 0, 0x20}));
  EXPECT_EQ(out, Bytes({0, 0x12, 0, 3}));
}

TEST(CMapFileTest, Folding) {
  struct Case {
    bool toHalfWidth;
    uint16_t in;
    uint16_t out;
  };
  const Case cases[] = {{true, 34, 264},    {true, 95, 631},     {true, 7887, 634},
                        {true, 7889, 649},  {true, 8268, 636},   {true, 500, 500},
                        {false, 264, 34},   {false, 631, 95},    {false, 7888, 635},
                        {false, 325, 325}};
  for (const Case& c : cases) {
    std::string cids = Bytes({c.in >> 8, c.in & 0xFF});
    c.toHalfWidth ? FoldToHalfWidth(cids) : FoldToProportional(cids);
    EXPECT_EQ(cids, Bytes({c.out >> 8, c.out & 0xFF})) << c.in;
  }
}

}  // namespace
}  // namespace quarn
