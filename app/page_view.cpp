#include "app/page_view.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "pdf/object/geometry.h"
#include "pdf/object/values.h"

namespace quarn {

Affine Multiply(const Affine& a, const Affine& b) {
  return {a[0] * b[0] + a[1] * b[2],        a[0] * b[1] + a[1] * b[3],
          a[2] * b[0] + a[3] * b[2],        a[2] * b[1] + a[3] * b[3],
          a[4] * b[0] + a[5] * b[2] + b[4], a[4] * b[1] + a[5] * b[3] + b[5]};
}

bool Invert(const Affine& m, Affine& inverse) {
  const double det = m[0] * m[3] - m[1] * m[2];
  if (!std::isfinite(det) || std::fabs(det) < 1e-12) return false;
  inverse = {m[3] / det,
             -m[1] / det,
             -m[2] / det,
             m[0] / det,
             (m[2] * m[5] - m[3] * m[4]) / det,
             (m[1] * m[4] - m[0] * m[5]) / det};
  return true;
}

bool NearlyIdentity(const Affine& m) {
  for (size_t i = 0; i < m.size(); ++i) {
    if (std::fabs(m[i] - kIdentity[i]) > 1e-4) return false;
  }
  return true;
}

Affine PageView::DisplayToUser() const {
  const double x0 = llx, y0 = lly, x1 = double{llx} + width, y1 = double{lly} + height;
  switch (rotate) {
    case 90:  // the left edge is shown on top
      return {0, 1, -1, 0, x1, y0};
    case 180:
      return {-1, 0, 0, -1, x1, y1};
    case 270:  // the right edge is shown on top
      return {0, -1, 1, 0, x0, y1};
    default:
      return {1, 0, 0, 1, x0, y0};
  }
}

bool BoxMeetsView(const PageView& view, double x0, double y0, double x1, double y1,
                  const Affine& m) {
  double left = INFINITY, bottom = INFINITY, right = -INFINITY, top = -INFINITY;
  for (const auto& [x, y] :
       {std::pair{x0, y0}, std::pair{x1, y0}, std::pair{x0, y1}, std::pair{x1, y1}}) {
    const double u = x * m[0] + y * m[2] + m[4];
    const double v = x * m[1] + y * m[3] + m[5];
    if (!std::isfinite(u) || !std::isfinite(v)) return false;
    left = std::min(left, u);
    right = std::max(right, u);
    bottom = std::min(bottom, v);
    top = std::max(top, v);
  }
  const double viewRight = double{view.llx} + view.width;
  const double viewTop = double{view.lly} + view.height;
  return left < viewRight && right > view.llx && bottom < viewTop && top > view.lly;
}

int32_t NormalizedRotate(const CPDFNumber* rotate) {
  if (!rotate) return 0;
  const double value = rotate->RealValue();
  if (!std::isfinite(value) || value != std::floor(value) || std::fabs(value) > 1e9) return 0;
  const int64_t whole = static_cast<int64_t>(value);
  if (whole % 90 != 0) return 0;
  return static_cast<int32_t>(((whole % 360) + 360) % 360);
}

PageView ViewOfPage(const CPDFRect& media, const CPDFRect* crop, const CPDFNumber* rotate) {
  PageView view;
  view.rotate = NormalizedRotate(rotate);
  view.llx = media.Llx();
  view.lly = media.Lly();
  view.width = media.Width();
  view.height = media.Height();
  const bool sameAsMedia = !crop || (crop->Llx() == media.Llx() && crop->Lly() == media.Lly() &&
                                     crop->Urx() == media.Urx() && crop->Ury() == media.Ury());
  view.plain = view.rotate == 0 && sameAsMedia;
  if (view.plain) return view;
  // Readers normalise both boxes and show their intersection; a CropBox outside the MediaBox
  // leaves the MediaBox.
  const float mx0 = std::min(media.Llx(), media.Urx()), mx1 = std::max(media.Llx(), media.Urx());
  const float my0 = std::min(media.Lly(), media.Ury()), my1 = std::max(media.Lly(), media.Ury());
  float x0 = mx0, y0 = my0, x1 = mx1, y1 = my1;
  if (crop) {
    const float cx0 = std::max(mx0, std::min(crop->Llx(), crop->Urx()));
    const float cy0 = std::max(my0, std::min(crop->Lly(), crop->Ury()));
    const float cx1 = std::min(mx1, std::max(crop->Llx(), crop->Urx()));
    const float cy1 = std::min(my1, std::max(crop->Lly(), crop->Ury()));
    if (cx1 > cx0 && cy1 > cy0) {
      x0 = cx0, y0 = cy0, x1 = cx1, y1 = cy1;
    }
  }
  view.llx = x0;
  view.lly = y0;
  view.width = x1 - x0;
  view.height = y1 - y0;
  return view;
}

}  // namespace quarn
