// The look of a stamp beyond its shape: the colour its text is filled with and the opacity it
// is drawn with, read from -nbc "Colour,Opacity" and -wmo "Opacity". The defaults (black,
// opaque) are kept as "nothing to change", so that a stamp drawn with them adds nothing to a
// page.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

#include "app/stamp_options.h"

namespace quarn {

// An RGB colour, each component from 0 to 1.
using RGBColour = std::array<float, 3>;

struct StampStyle {
  std::optional<RGBColour> fill;  // none: black, as the page's text starts
  std::optional<float> opacity;   // none: opaque
};

// "#RRGGBB" (hexadecimal digits of either case); none for anything else.
std::optional<RGBColour> ParseColour(std::string_view text);
// A decimal number from 0 to 1 ("0.3", ".3", "1"); none for anything else.
std::optional<float> ParseOpacity(std::string_view text);
// -nbc "Colour[,Opacity]": either part may be empty (the default stays). None when a part does
// not parse.
std::optional<StampStyle> ParseNumberColourOption(std::string_view value);
// -wmo "Opacity". None when it does not parse.
std::optional<StampStyle> ParseWatermarkOpacityOption(std::string_view value);

// The error line for a -nbc or -wmo value that does not parse, naming it; none when both parse
// or are not used (-nbc is read only with -nbp, -wmo only with -wm).
std::optional<std::string> RefusedStyleLine(const StampOptions& options);

}  // namespace quarn
