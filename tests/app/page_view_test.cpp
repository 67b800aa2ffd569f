// The page as readers show it: visible box, rotation and the displayed frame.
#include "app/page_view.h"

#include <gtest/gtest.h>

#include "pdf/content/geometry.h"
#include "pdf/object/values.h"

namespace quarn {
namespace {

TEST(PageView, RotateIsAMultipleOf90ModuloOtherwiseZero) {
  const std::pair<int32_t, int32_t> cases[] = {{0, 0},     {90, 90},  {-90, 270}, {450, 90},
                                               {720, 0},   {45, 0},   {180, 180}, {-270, 90}};
  for (const auto& [value, expected] : cases) {
    CPDFInt rotate(value);
    EXPECT_EQ(NormalizedRotate(&rotate), expected) << value;
  }
  EXPECT_EQ(NormalizedRotate(nullptr), 0);
}

TEST(PageView, VisibleBoxAndDisplayedCorners) {
  const CPDFRect media(40, 25, 652, 817);
  const CPDFRect inside(100, 80, 500, 700);
  const CPDFRect outside(700, 900, 800, 1000);
  CPDFInt turned(90);
  EXPECT_TRUE(ViewOfPage(media, nullptr, nullptr).plain);
  EXPECT_TRUE(ViewOfPage(media, &media, nullptr).plain);
  EXPECT_FALSE(ViewOfPage(media, &inside, nullptr).plain);
  // A CropBox off the MediaBox leaves the MediaBox visible.
  const PageView off = ViewOfPage(media, &outside, &turned);
  EXPECT_EQ(off.width, 612);
  EXPECT_EQ(off.height, 792);

  // Each rotation carries the displayed lower-left corner to the right corner of the crop box.
  struct Case {
    int32_t rotate;
    double x, y;  // where the displayed origin lands in the page's own space
  } const corners[] = {{0, 100, 80}, {90, 500, 80}, {180, 500, 700}, {270, 100, 700}};
  for (const Case& c : corners) {
    CPDFInt rotate(c.rotate);
    const PageView view = ViewOfPage(media, &inside, &rotate);
    const Affine m = view.DisplayToUser();
    EXPECT_DOUBLE_EQ(m[4], c.x) << c.rotate;
    EXPECT_DOUBLE_EQ(m[5], c.y) << c.rotate;
    EXPECT_EQ(view.DisplayWidth(), c.rotate % 180 ? 620 : 400);
    Affine back;
    ASSERT_TRUE(Invert(m, back));
    EXPECT_TRUE(NearlyIdentity(Multiply(m, back)));
  }
}

}  // namespace
}  // namespace quarn
