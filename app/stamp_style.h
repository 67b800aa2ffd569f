// The look of a stamp beyond its shape: the colour its text is filled with and the opacity it
// is drawn with, read from -nbc "Colour,Opacity" and -wmo "Opacity"; the font, size and colour of
// a text watermark (-wmf "Font,Size,Colour") and the turn of every watermark (-wmr "Angle"). The
// defaults (black, opaque) are kept as "nothing to change", so that a stamp drawn with them adds
// nothing to a page.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "app/stamp_options.h"
#include "app/watermark_placement.h"

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

// -wmf "Font,Size,Colour,Location" of a text watermark: the font as -nbf names one
// (Helvetica-Bold when empty), a size in points (none: sized to the page), a colour as -nbc reads
// one (#808080), and where it goes: 0 or nothing centred, 1 to 8 as the locations of -nbs.
struct WatermarkFont {
  std::string fontName = "Helvetica-Bold";
  std::string typedFontName = "Helvetica-Bold";
  std::optional<float> size;
  RGBColour colour{128 / 255.0f, 128 / 255.0f, 128 / 255.0f};
  int32_t location = 0;
};
// None when the size, the colour or the location does not parse.
std::optional<WatermarkFont> ParseWatermarkFontOption(std::string_view value);
// -wmr "Angle" in degrees counter-clockwise ("45", "-30", "12.5"), or "diag". None for anything
// else.
std::optional<WatermarkTurn> ParseWatermarkTurnOption(std::string_view value);

// The error line for a -nbc, -wmo, -wmr or -wmf value that does not parse, naming it; none when
// all parse or are not used (-nbc is read only with -nbp, the others only with a watermark).
std::optional<std::string> RefusedStyleLine(const StampOptions& options);

}  // namespace quarn
