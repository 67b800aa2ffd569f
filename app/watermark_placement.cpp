#include "app/watermark_placement.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "pdf/object/geometry.h"

namespace quarn {

namespace {

// A quotient that stays finite: `otherwise` where the divisor is nothing.
double Ratio(double over, double under, double otherwise) {
  return under > 0.0 && std::isfinite(over / under) ? over / under : otherwise;
}

// The uniform scale of a box `width` x `height`, turned by `c` = |cos|, `s` = |sin|, that
// fills the frame without leaving it.
double InsideScale(double frameWidth, double frameHeight, double width, double height, double c,
                   double s) {
  const double across = width * c + height * s;
  const double up = width * s + height * c;
  return std::min(Ratio(frameWidth, across, 1.0), Ratio(frameHeight, up, 1.0));
}

// The longest line through the frame's centre along a direction (`c` = |cos|, `s` = |sin|).
double Span(double frameWidth, double frameHeight, double c, double s) {
  constexpr double kTiny = 1e-9;
  const double alongWidth = c > kTiny ? frameWidth / c : INFINITY;
  const double alongHeight = s > kTiny ? frameHeight / s : INFINITY;
  return std::min(alongWidth, alongHeight);
}

}  // namespace

double TurnDegrees(const WatermarkTurn& turn, const PageView& view) {
  if (!turn.diagonal) return turn.degrees;
  const double width = view.DisplayWidth(), height = view.DisplayHeight();
  return std::atan2(height, width) * 180.0 / std::numbers::pi;
}

Affine PlaceWatermark(const PageView& view, const CPDFRect& formBox,
                      const WatermarkLayout& layout) {
  const double width = view.DisplayWidth(), height = view.DisplayHeight();
  const double formWidth = formBox.Width(), formHeight = formBox.Height();
  Affine inFrame;
  if (layout.Classic()) {
    // The first watermarks' arithmetic, kept so that their pages come out as they always did.
    if (layout.sizing == WatermarkSizing::kStretch && formWidth != 0 && formHeight != 0) {
      const double sx = width / formWidth, sy = height / formHeight;
      inFrame = {sx, 0, 0, sy, -sx * formBox.Llx(), -sy * formBox.Lly()};
    } else {
      inFrame = {1,
                 0,
                 0,
                 1,
                 (width - formWidth) * 0.5 - formBox.Llx(),
                 (height - formHeight) * 0.5 - formBox.Lly()};
    }
    return Multiply(inFrame, view.DisplayToUser());
  }
  // The form's centre goes to the frame's centre; it is scaled and turned about it.
  const double radians = TurnDegrees(layout.turn, view) * std::numbers::pi / 180.0;
  const double cosine = std::cos(radians), sine = std::sin(radians);
  const double c = std::fabs(cosine), s = std::fabs(sine);
  double scale = 1.0;
  switch (layout.sizing) {
    case WatermarkSizing::kNatural:
      break;
    case WatermarkSizing::kStretch:  // turned: stretching would shear it, so it fits instead
    case WatermarkSizing::kInside:
      scale = InsideScale(width, height, formWidth, formHeight, c, s);
      break;
    case WatermarkSizing::kSpan:
      scale = std::min(Ratio(layout.spanShare * Span(width, height, c, s), formWidth, 1.0),
                       InsideScale(width, height, formWidth, formHeight, c, s));
      break;
  }
  const double centreX = (double{formBox.Llx()} + formBox.Urx()) * 0.5;
  const double centreY = (double{formBox.Lly()} + formBox.Ury()) * 0.5;
  const Affine toCentre = {1, 0, 0, 1, -centreX, -centreY};
  // Against an edge, the turned box's extent touches it.
  const double spareX = std::max(0.0, width - scale * (formWidth * c + formHeight * s)) * 0.5;
  const double spareY = std::max(0.0, height - scale * (formWidth * s + formHeight * c)) * 0.5;
  const int32_t at = layout.location;
  const double shiftX = at >= 1 && at <= 3 ? -spareX : (at >= 5 && at <= 7 ? spareX : 0.0);
  const double shiftY =
      at >= 3 && at <= 5 ? spareY : (at == 1 || at == 7 || at == 8 ? -spareY : 0.0);
  const Affine turned = {scale * cosine, scale * sine,         -scale * sine,
                         scale * cosine, width * 0.5 + shiftX, height * 0.5 + shiftY};
  inFrame = Multiply(toCentre, turned);
  return Multiply(inFrame, view.DisplayToUser());
}

}  // namespace quarn
