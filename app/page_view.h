// The page as a reader shows it: the visible box (the CropBox clipped to the MediaBox) turned by
// the page's /Rotate. Stamps are placed in this displayed frame, whose origin is the displayed
// lower-left corner, and carried into the page's own space by DisplayToUser().
#pragma once

#include <array>
#include <cstdint>

namespace quarn {

class CPDFNumber;
class CPDFRect;

// [a b c d e f], row-vector convention as in PDF ("apply A, then B" is Multiply(A, B)).
using Affine = std::array<double, 6>;

inline constexpr Affine kIdentity = {1, 0, 0, 1, 0, 0};
Affine Multiply(const Affine& first, const Affine& then);
// False (and `inverse` untouched) for a degenerate matrix.
bool Invert(const Affine& m, Affine& inverse);
bool NearlyIdentity(const Affine& m);

struct PageView {
  float llx = 0, lly = 0, width = 0, height = 0;  // the visible box in the page's own space
  int32_t rotate = 0;                             // 0, 90, 180 or 270 (clockwise)
  // No rotation and no CropBox other than the MediaBox: stamps go exactly where they always did.
  bool plain = true;

  float DisplayWidth() const { return rotate % 180 ? height : width; }
  float DisplayHeight() const { return rotate % 180 ? width : height; }
  // From displayed coordinates to the page's own space.
  Affine DisplayToUser() const;
};

// Whether the box from (x0, y0) to (x1, y1), carried into the page's own space by `m`, overlaps
// the visible box of `view`. A box that comes out empty or not finite overlaps nothing.
bool BoxMeetsView(const PageView& view, double x0, double y0, double x1, double y1,
                  const Affine& m);

// A /Rotate value as readers take it: a multiple of 90 modulo 360; anything else counts as 0.
int32_t NormalizedRotate(const CPDFNumber* rotate);
// The view of a page with these (inherited) entries; `crop` and `rotate` may be null.
PageView ViewOfPage(const CPDFRect& media, const CPDFRect* crop, const CPDFNumber* rotate);

}  // namespace quarn
