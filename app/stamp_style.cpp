#include "app/stamp_style.h"

#include <cctype>
#include <cmath>
#include <cstdlib>
#include <string>

#include "app/numbering.h"

namespace quarn {

namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  const char lower = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (lower >= 'a' && lower <= 'f') return lower - 'a' + 10;
  return -1;
}

// Black and opaque are what a page's drawing starts with: no operator is needed for them.
StampStyle WithoutDefaults(StampStyle style) {
  if (style.fill && *style.fill == RGBColour{0, 0, 0}) style.fill.reset();
  if (style.opacity && *style.opacity >= 1.0f) style.opacity.reset();
  return style;
}

// A decimal number: an optional sign, digits and at most one point (no blank, exponent, "nan" or
// "inf", which strtod would take).
std::optional<double> PlainDecimal(std::string_view text) {
  const bool hasSign = !text.empty() && (text[0] == '-' || text[0] == '+');
  bool digit = false;
  bool point = false;
  for (const char c : text.substr(hasSign ? 1 : 0)) {
    if (std::isdigit(static_cast<unsigned char>(c))) {
      digit = true;
    } else if (c == '.' && !point) {
      point = true;
    } else {
      return std::nullopt;
    }
  }
  if (!digit) return std::nullopt;
  return std::strtod(std::string(text).c_str(), nullptr);
}

}  // namespace

std::optional<RGBColour> ParseColour(std::string_view text) {
  constexpr size_t kHexLength = 7;  // "#RRGGBB"
  if (text.size() != kHexLength || text[0] != '#') return std::nullopt;
  RGBColour colour{};
  for (size_t i = 0; i < 3; ++i) {
    const int high = HexDigit(text[1 + 2 * i]);
    const int low = HexDigit(text[2 + 2 * i]);
    if (high < 0 || low < 0) return std::nullopt;
    colour[i] = static_cast<float>(high * 16 + low) / 255.0f;
  }
  return colour;
}

std::optional<float> ParseOpacity(std::string_view text) {
  // Digits and at most one point: no sign either.
  if (!text.empty() && (text[0] == '-' || text[0] == '+')) return std::nullopt;
  const std::optional<double> value = PlainDecimal(text);
  if (!value || *value < 0.0 || *value > 1.0) return std::nullopt;
  return static_cast<float>(*value);
}

std::optional<WatermarkFont> ParseWatermarkFontOption(std::string_view value) {
  WatermarkFont font;
  const size_t first = value.find(',');
  const std::string_view name = value.substr(0, first);
  if (!name.empty()) {
    font.fontName = NumberFontName(name);
    font.typedFontName = TypedFontName(name);
  }
  if (first == std::string_view::npos) return font;
  const std::string_view rest = value.substr(first + 1);
  const size_t second = rest.find(',');
  const std::string_view size = rest.substr(0, second);
  if (!size.empty()) {
    const std::optional<double> points = PlainDecimal(size);
    if (!points || !(*points > 0.0) || !std::isfinite(static_cast<float>(*points))) {
      return std::nullopt;
    }
    font.size = static_cast<float>(*points);
  }
  if (second == std::string_view::npos) return font;
  const std::string_view tail = rest.substr(second + 1);
  const size_t third = tail.find(',');
  const std::string_view colour = tail.substr(0, third);
  if (!colour.empty()) {
    const std::optional<RGBColour> parsed = ParseColour(colour);
    if (!parsed) return std::nullopt;
    font.colour = *parsed;
  }
  if (third == std::string_view::npos) return font;
  const std::string_view location = tail.substr(third + 1);
  if (location.size() > 1 || (location.size() == 1 && (location[0] < '0' || location[0] > '8'))) {
    return std::nullopt;
  }
  if (!location.empty()) font.location = location[0] - '0';
  return font;
}

std::optional<WatermarkTurn> ParseWatermarkTurnOption(std::string_view value) {
  WatermarkTurn turn;
  if (value == "diag") {
    turn.diagonal = true;
    return turn;
  }
  const std::optional<double> degrees = PlainDecimal(value);
  if (!degrees || !std::isfinite(*degrees)) return std::nullopt;
  // Whole turns change nothing; what is left is kept small for the sine and cosine.
  turn.degrees = std::fmod(*degrees, 360.0);
  return turn;
}

std::optional<StampStyle> ParseNumberColourOption(std::string_view value) {
  const size_t comma = value.find(',');
  const std::string_view colour = value.substr(0, comma);
  StampStyle style;
  if (!colour.empty()) {
    style.fill = ParseColour(colour);
    if (!style.fill) return std::nullopt;
  }
  if (comma != std::string_view::npos) {
    const std::string_view opacity = value.substr(comma + 1);
    if (!opacity.empty()) {
      style.opacity = ParseOpacity(opacity);
      if (!style.opacity) return std::nullopt;
    }
  }
  return WithoutDefaults(style);
}

std::optional<std::string> RefusedStyleLine(const StampOptions& options) {
  if (options.numberingOn && options.numberColourSpec &&
      !ParseNumberColourOption(*options.numberColourSpec)) {
    return "invalid value of -nbc: " + *options.numberColourSpec;
  }
  const bool watermarked = options.watermarkSpec || options.textWatermarkSpec;
  if (watermarked && options.watermarkOpacitySpec &&
      !ParseWatermarkOpacityOption(*options.watermarkOpacitySpec)) {
    return "invalid value of -wmo: " + *options.watermarkOpacitySpec;
  }
  if (watermarked && options.watermarkTurnSpec &&
      !ParseWatermarkTurnOption(*options.watermarkTurnSpec)) {
    return "invalid value of -wmr: " + *options.watermarkTurnSpec;
  }
  if (options.textWatermarkSpec && options.watermarkFontSpec &&
      !ParseWatermarkFontOption(*options.watermarkFontSpec)) {
    return "invalid value of -wmf: " + *options.watermarkFontSpec;
  }
  return std::nullopt;
}

std::optional<StampStyle> ParseWatermarkOpacityOption(std::string_view value) {
  StampStyle style;
  style.opacity = ParseOpacity(value);
  if (!style.opacity) return std::nullopt;
  return WithoutDefaults(style);
}

}  // namespace quarn
