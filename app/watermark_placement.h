// Where a watermark's form goes on a page: centred in the page's visible frame (or against its
// edges), at its natural size, stretched to the frame (-fit), scaled to the largest size that
// stays inside it, or to a share of the frame's span; turned by an angle about its centre (-wmr).
// Every kind of watermark (a PDF page, a line of text) is a form placed by this one function.
#pragma once

#include <cstdint>

#include "app/page_view.h"

namespace quarn {

class CPDFRect;

// -wmr: an angle in degrees counter-clockwise, or the angle of the page's diagonal (bottom left
// to top right, as the page is shown).
struct WatermarkTurn {
  double degrees = 0.0;
  bool diagonal = false;

  bool Any() const { return diagonal || degrees != 0.0; }
};

enum class WatermarkSizing {
  kNatural,  // as the form is
  kStretch,  // each axis to the frame's (the watermark of -fit, unturned)
  kInside,   // the largest size, the same on both axes, that stays inside the frame once turned
  kSpan,     // the width to a share of the frame's span along the turned axis (a text)
};

struct WatermarkLayout {
  WatermarkSizing sizing = WatermarkSizing::kNatural;
  WatermarkTurn turn;
  // kSpan: the share of the longest line through the frame's centre along the turned axis (the
  // frame's width unturned, its diagonal turned diagonally).
  double spanShare = 0.8;
  // 0: centred; 1 to 8: against the frame's edges, numbered as the page number's locations
  // (1 bottom left, 2 middle left, 3 top left, 4 top centre, ... 8 bottom centre).
  int32_t location = 0;

  // Placed by the arithmetic of the first watermarks (centred or stretched, unturned).
  bool Classic() const {
    return !turn.Any() && location == 0 &&
           (sizing == WatermarkSizing::kNatural || sizing == WatermarkSizing::kStretch);
  }
};

// The angle in degrees by which the watermark is turned on a page shown as `view`.
double TurnDegrees(const WatermarkTurn& turn, const PageView& view);

// The matrix that carries the form box `formBox` (in form space, after the form's own Matrix)
// to where it belongs on a page shown as `view`, in the page's own space.
Affine PlaceWatermark(const PageView& view, const CPDFRect& formBox, const WatermarkLayout& layout);

}  // namespace quarn
