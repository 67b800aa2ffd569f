// Rectangles and matrices.
#include "pdf/object/geometry.h"

#include <gtest/gtest.h>

#include "support/values.h"

namespace quarn {
namespace {

using test::Numbers;
using test::Text;

TEST(Rect, WidthAndHeightFromTheCorners) {
  CPDFRect rect(10, 20, 110, 70);
  EXPECT_FLOAT_EQ(rect.Width(), 100);
  EXPECT_FLOAT_EQ(rect.Height(), 50);
  EXPECT_FLOAT_EQ(rect.Llx(), 10);
  EXPECT_FLOAT_EQ(rect.Ury(), 70);
  EXPECT_EQ(Text(rect), "[10 20 110 70]");
}

TEST(Rect, RealizeNeedsFourNumbers) {
  EXPECT_TRUE(IsRect(nullptr, Numbers({0, 0, 612, 792}).get()));
  EXPECT_FALSE(IsRect(nullptr, Numbers({0, 0, 612}).get()));
  EXPECT_FALSE(IsRect(nullptr, Numbers({0, 0, 612, 792, 1}).get()));
  auto mixed = Numbers({0, 0, 1});
  mixed->Append(std::make_unique<CPDFName>("x"));
  EXPECT_FALSE(IsRect(nullptr, mixed.get()));
  auto source = Numbers({1, 2, 3, 5});
  CPDFRect rect;
  ASSERT_TRUE(rect.Realize(nullptr, *source));
  EXPECT_EQ(source->Count(), 0u);
  EXPECT_FLOAT_EQ(rect.Height(), 3);
}

TEST(Matrix, StartsAsIdentity) {
  CPDFMatrix m;
  EXPECT_EQ(Text(m), "[1 0 0 1 0 0]");
}

TEST(Matrix, ConcatInRowVectorOrder) {
  CPDFMatrix m;
  m.Set(1, 2, 3, 4, 5, 6);
  m.Concat(7, 8, 9, 10, 11, 12);
  // [1 2 3 4 5 6] x [7 8 9 10 11 12]
  EXPECT_FLOAT_EQ(m.At(0), 1 * 7 + 2 * 9);
  EXPECT_FLOAT_EQ(m.At(1), 1 * 8 + 2 * 10);
  EXPECT_FLOAT_EQ(m.At(2), 3 * 7 + 4 * 9);
  EXPECT_FLOAT_EQ(m.At(3), 3 * 8 + 4 * 10);
  EXPECT_FLOAT_EQ(m.At(4), 5 * 7 + 6 * 9 + 11);
  EXPECT_FLOAT_EQ(m.At(5), 5 * 8 + 6 * 10 + 12);
}

TEST(Matrix, ScaleThenTranslate) {
  CPDFMatrix m;
  m.Scale(0.5f, 2);
  m.Translate(100, 50);
  EXPECT_FLOAT_EQ(m.At(0), 0.5f);
  EXPECT_FLOAT_EQ(m.At(3), 2);
  EXPECT_FLOAT_EQ(m.At(4), 100);
  EXPECT_FLOAT_EQ(m.At(5), 50);
  m.Scale(2, 2);
  EXPECT_FLOAT_EQ(m.At(4), 200);
  EXPECT_FLOAT_EQ(m.At(0), 1);
  // Each element is rounded to a 32-bit float.
  CPDFMatrix r;
  r.Scale(0.1f, 0.1f);
  r.Scale(3, 3);
  EXPECT_EQ(r.At(0), static_cast<float>(static_cast<double>(0.1f) * 3));
}

TEST(Matrix, RealizeNeedsSixNumbers) {
  EXPECT_TRUE(IsMatrix(nullptr, Numbers({1, 0, 0, 1, 0, 0}).get()));
  EXPECT_FALSE(IsMatrix(nullptr, Numbers({1, 0, 0, 1}).get()));
  auto source = Numbers({2, 0, 0, 2, 0, 0});
  CPDFMatrix m;
  ASSERT_TRUE(m.Realize(nullptr, *source));
  EXPECT_FLOAT_EQ(m.At(0), 2);
}

}  // namespace
}  // namespace quarn
