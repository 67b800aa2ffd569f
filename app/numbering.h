// Page numbering, the parts that need no document: reading the -nbp, -nbf and -nbs values, the
// number text of a page (decimal or Roman, put through the user's format) and where on the page
// box that text goes.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quarn {

// ---- option values ------------------------------------------------------------------------------

// -nbp "StartPage,EndPage,Initial": every part optional.
struct NumberingPages {
  int32_t firstPage = 1;  // N1, at least 1
  int32_t lastPage = 0;   // N2: 0 means the last page, negative means no page at all
  int32_t initial = 1;    // the number of page N1
};
NumberingPages ParseNumberingPagesOption(std::string_view value);

enum class NumberStyle : int32_t { kDecimal = 1, kUpperRoman = 2, kLowerRoman = 3 };

// -nbf "Type,Format,Font,Size".
struct NumberFormatSettings {
  NumberStyle style = NumberStyle::kDecimal;
  std::string format = "%s";
  std::string fontName = "Helvetica";
  // The name as typed (abbreviations expanded): tried when `fontName`, with its "-" turned
  // into ",", finds no font ("HeiseiMin-W3").
  std::string typedFontName = "Helvetica";
  float fontSize = 9.0f;
};
NumberFormatSettings ParseNumberFormatOption(std::string_view value);

// The font a -nbf Font field asks for: empty is Helvetica, the abbreviations of the standard
// fonts ("H", "TB", ...) give their full names, any other name has each "-" turned into ",".
std::string NumberFontName(std::string_view field);
// The same without the "-" to "," turn.
std::string TypedFontName(std::string_view field);

// The eight places along the edges of the page box.
inline constexpr int32_t kFirstLocation = 1;
inline constexpr int32_t kLastLocation = 8;
inline constexpr int32_t kBottomCentre = 8;

// Millimetres to points.
inline constexpr double kPointsPerMillimetre = 2.834645711863446;

// -nbs "Location,OffsetX,OffsetY" (offsets given in millimetres, kept in points).
struct NumberPlacement {
  int32_t location = kBottomCentre;
  float offsetX = 0.0f;
  float offsetY = static_cast<float>(5 * kPointsPerMillimetre);  // 5 mm above the edge
};
// An absent or empty value gives the defaults above; any other value starts from offsets 0.
NumberPlacement ParseNumberPlacementOption(const std::optional<std::string>& value);
// Whether a -nbs value gives a location outside 1 to 8 (which counts as 8). An empty location
// field gives none.
bool PlacementLocationOutOfRange(std::string_view value);

// ---- the number text ----------------------------------------------------------------------------

// The number of `page` in the range that starts at `firstPage` with `initial`. Worked out in 64
// bits: an initial number near the 32-bit limit must not wrap into a negative page number.
int64_t PageNumberValue(int32_t page, int32_t firstPage, int32_t initial);

// Roman numerals for 1..9999 (thousands as up to nine "M"); empty outside that range.
std::string RomanNumeral(int64_t number, bool lowerCase);

// The number in the chosen style, before formatting.
std::string NumberText(int64_t number, NumberStyle style);
// Every character a number of that style can be written with (a decimal number may be
// negative): with the format's own text, the glyphs an embedded subset font must hold.
std::string_view NumberAlphabet(NumberStyle style);

// `format` applied by printf rules to `text` and `lastText` as its two string arguments ("%s"
// and "%1$s" give `text`, "%2$s" gives `lastText`). Only literal text, "%%" and those
// conversions with flags, width and precision are formats the tool accepts (see
// IsSafeNumberFormat); for anything else the result is none. Built here on std::string, so a
// user's format never reaches printf.
std::optional<std::string> ApplyNumberFormat(std::string_view format, std::string_view text,
                                             std::string_view lastText = {});

// ---- placement ----------------------------------------------------------------------------------

// The location and offsets used on `page`: with spread, every second page of the range (counted
// from `firstPage`) has its location mirrored left to right and its x offset negated.
NumberPlacement PlacementForPage(const NumberPlacement& configured, bool spread, int32_t page,
                                 int32_t firstPage);

// What placement needs to know of the page box.
struct PageFrame {
  float llx = 0.0f;
  float lly = 0.0f;
  float width = 0.0f;
  float height = 0.0f;
};

// What placement needs to know of the text: its width in thousandths of the font size (-1 when
// it could not be measured) and the font descriptor's Ascent and Descent, when present.
struct TextMetrics {
  int32_t width = -1;
  std::optional<int32_t> ascent;
  std::optional<int32_t> descent;
};

struct TextPosition {
  float x = 0.0f;
  float y = 0.0f;
};

// The baseline start of the number text on a page. Worked out from the box's width and height in
// extended precision, each result kept as a 32-bit float, then moved by the offsets and by the
// box's lower-left corner. Text that cannot be measured goes at that corner, without offsets.
TextPosition PlaceNumber(const PageFrame& box, float fontSize, const TextMetrics& metrics,
                         const NumberPlacement& placement);

// Whether the number text set at `position` overlaps the box: its width from the metrics, its
// height from the Descent to the Ascent (the font size above the baseline when they give none).
// Text that could not be measured, or has no width, is not judged (true).
bool NumberMeetsFrame(const PageFrame& box, float fontSize, const TextMetrics& metrics,
                      const TextPosition& position);

}  // namespace quarn
