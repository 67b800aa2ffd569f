#include "app/numbering.h"

#include <locale.h>
#include <stdlib.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <cstring>

#include "app/driver.h"
#include "app/number_format.h"

namespace quarn {

namespace {

// Field `index` (0-based) of a comma-separated value; empty when it is missing.
std::string_view CommaField(std::string_view value, size_t index) {
  size_t start = 0;
  for (size_t i = 0; i < index; ++i) {
    const size_t comma = value.find(',', start);
    if (comma == std::string_view::npos) return {};
    start = comma + 1;
  }
  const size_t end = value.find(',', start);
  return value.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
}

// The standard library's decimal floating-point conversion (leading blanks, sign, digits,
// exponent; 0 when there is no number). Read in the "C" locale: the process runs in a Japanese
// locale or whatever the host offers instead, and a size of "10.5" must not depend on which.
double DecimalFloat(std::string_view text) {
  static const locale_t cLocale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
  const std::string copy(text);
  if (cLocale == static_cast<locale_t>(nullptr)) return std::strtod(copy.c_str(), nullptr);
  return strtod_l(copy.c_str(), nullptr, cLocale);
}

// "nan" or "inf" typed as a size or an offset would be written into the content stream as a
// number no reader accepts; such a value counts as not given.
float FiniteOr(double value, float fallback) {
  const float narrowed = static_cast<float>(value);
  return std::isfinite(narrowed) ? narrowed : fallback;
}

NumberStyle StyleOf(std::string_view type) {
  if (type == "R") return NumberStyle::kUpperRoman;
  if (type == "r") return NumberStyle::kLowerRoman;
  return NumberStyle::kDecimal;  // "n", empty and anything else
}

struct FontAbbreviation {
  std::string_view shortName;
  std::string_view fullName;
};

constexpr std::array<FontAbbreviation, 12> kFontAbbreviations{{
    {"C", "Courier"},
    {"CB", "Courier-Bold"},
    {"CBO", "Courier-BoldOblique"},
    {"CO", "Courier-Oblique"},
    {"H", "Helvetica"},
    {"HB", "Helvetica-Bold"},
    {"HBO", "Helvetica-BoldOblique"},
    {"HO", "Helvetica-Oblique"},
    {"T", "Times-Roman"},
    {"TB", "Times-Bold"},
    {"TI", "Times-Italic"},
    {"TBI", "Times-BoldItalic"},
}};

// The digits of 0..9 in one decimal place of a Roman numeral.
using RomanPlace = std::array<std::string_view, 10>;
constexpr RomanPlace kRomanHundreds{"", "C", "CC", "CCC", "CD", "D", "DC", "DCC", "DCCC", "CM"};
constexpr RomanPlace kRomanTens{"", "X", "XX", "XXX", "XL", "L", "LX", "LXX", "LXXX", "XC"};
constexpr RomanPlace kRomanUnits{"", "I", "II", "III", "IV", "V", "VI", "VII", "VIII", "IX"};
constexpr int64_t kLargestRoman = 9999;

int32_t MirroredLocation(int32_t location) {
  switch (location) {
    case 1:
      return 7;
    case 2:
      return 6;
    case 3:
      return 5;
    case 5:
      return 3;
    case 6:
      return 2;
    case 7:
      return 1;
    default:
      return location;  // 4 and 8 sit on the centre line
  }
}

bool IsLeft(int32_t location) { return location >= 1 && location <= 3; }
bool IsRight(int32_t location) { return location >= 5 && location <= 7; }
bool IsTop(int32_t location) { return location >= 3 && location <= 5; }
bool IsMiddle(int32_t location) { return location == 2 || location == 6; }

// One "%[flags][width][.precision]s" conversion at `i` (just after its "%"), applied to `text`.
// The format has passed IsSafeNumberFormat, so the conversion is complete and its numbers small.
void AppendConversion(std::string_view format, size_t& i, std::string_view text, std::string& out) {
  bool leftAligned = false;
  for (; i < format.size() && std::strchr("-+ #0", format[i]) != nullptr; ++i) {
    if (format[i] == '-') leftAligned = true;  // "0", "+", " " and "#" do nothing for %s
  }
  size_t width = 0;
  for (; i < format.size() && std::isdigit(static_cast<unsigned char>(format[i])); ++i) {
    width = width * 10 + static_cast<size_t>(format[i] - '0');
  }
  if (i < format.size() && format[i] == '.') {
    size_t precision = 0;
    for (++i; i < format.size() && std::isdigit(static_cast<unsigned char>(format[i])); ++i) {
      precision = precision * 10 + static_cast<size_t>(format[i] - '0');
    }
    text = text.substr(0, precision);
  }
  const size_t padding = width > text.size() ? width - text.size() : 0;
  if (!leftAligned) out.append(padding, ' ');
  out.append(text);
  if (leftAligned) out.append(padding, ' ');
  // `i` is on the "s".
}

}  // namespace

// ---- option values ------------------------------------------------------------------------------

NumberingPages ParseNumberingPagesOption(std::string_view value) {
  NumberingPages pages;
  if (auto first = CommaField(value, 0); !first.empty()) pages.firstPage = DecimalValue(first);
  if (auto last = CommaField(value, 1); !last.empty()) pages.lastPage = DecimalValue(last);
  if (auto initial = CommaField(value, 2); !initial.empty()) pages.initial = DecimalValue(initial);
  pages.firstPage = std::max<int32_t>(pages.firstPage, 1);
  return pages;
}

std::string TypedFontName(std::string_view field) {
  if (field.empty()) return "Helvetica";
  for (const FontAbbreviation& abbreviation : kFontAbbreviations) {
    if (field == abbreviation.shortName) return std::string(abbreviation.fullName);
  }
  return std::string(field);
}

std::string NumberFontName(std::string_view field) {
  if (field.empty()) return "Helvetica";
  for (const FontAbbreviation& abbreviation : kFontAbbreviations) {
    if (field == abbreviation.shortName) return std::string(abbreviation.fullName);
  }
  // A comma cannot be typed inside the value (it separates the fields), so the style suffix of
  // a TrueType name ("Arial,Bold") is written after a dash.
  std::string name(field);
  std::replace(name.begin(), name.end(), '-', ',');
  return name;
}

NumberFormatSettings ParseNumberFormatOption(std::string_view value) {
  NumberFormatSettings settings;
  settings.style = StyleOf(CommaField(value, 0));
  // The same field that the run frame checked with IsSafeNumberFormat.
  settings.format = NumberFormatField(value);
  if (settings.format.empty()) settings.format = "%s";
  settings.fontName = NumberFontName(CommaField(value, 2));
  settings.typedFontName = TypedFontName(CommaField(value, 2));
  const std::string_view size = CommaField(value, 3);
  if (!size.empty()) settings.fontSize = FiniteOr(DecimalFloat(size), 0.0f);
  if (!(settings.fontSize > 0.0f)) settings.fontSize = 9.0f;
  return settings;
}

NumberPlacement ParseNumberPlacementOption(const std::optional<std::string>& value) {
  NumberPlacement placement;
  if (!value || value->empty()) return placement;
  placement.offsetY = 0.0f;
  const std::string_view text = *value;
  placement.location = DecimalValue(CommaField(text, 0));
  if (placement.location < kFirstLocation || placement.location > kLastLocation) {
    placement.location = kBottomCentre;
  }
  placement.offsetX = FiniteOr(DecimalFloat(CommaField(text, 1)) * kPointsPerMillimetre, 0.0f);
  placement.offsetY = FiniteOr(DecimalFloat(CommaField(text, 2)) * kPointsPerMillimetre, 0.0f);
  return placement;
}

bool PlacementLocationOutOfRange(std::string_view value) {
  const std::string_view location = CommaField(value, 0);
  if (location.find_first_not_of(" \t") == std::string_view::npos) return false;
  const int32_t given = DecimalValue(location);
  return given < kFirstLocation || given > kLastLocation;
}

// ---- the number text ----------------------------------------------------------------------------

int64_t PageNumberValue(int32_t page, int32_t firstPage, int32_t initial) {
  return int64_t{page} + int64_t{initial} - int64_t{firstPage};
}

std::string RomanNumeral(int64_t number, bool lowerCase) {
  if (number < 1 || number > kLargestRoman) return std::string();
  std::string text(static_cast<size_t>(number / 1000), 'M');
  const auto digit = [number](int64_t place) { return static_cast<size_t>(number / place % 10); };
  text += kRomanHundreds[digit(100)];
  text += kRomanTens[digit(10)];
  text += kRomanUnits[digit(1)];
  if (lowerCase) {
    std::transform(text.begin(), text.end(), text.begin(), [](char c) {
      return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    });
  }
  return text;
}

std::string NumberText(int64_t number, NumberStyle style) {
  switch (style) {
    case NumberStyle::kUpperRoman:
      return RomanNumeral(number, false);
    case NumberStyle::kLowerRoman:
      return RomanNumeral(number, true);
    case NumberStyle::kDecimal:
      break;
  }
  return std::to_string(number);
}

std::string_view NumberAlphabet(NumberStyle style) {
  switch (style) {
    case NumberStyle::kUpperRoman:
      return "MDCLXVI";
    case NumberStyle::kLowerRoman:
      return "mdclxvi";
    case NumberStyle::kDecimal:
      break;
  }
  return "-0123456789";
}

std::optional<std::string> ApplyNumberFormat(std::string_view format, std::string_view text,
                                             std::string_view lastText) {
  if (!IsSafeNumberFormat(format)) return std::nullopt;
  std::string out;
  out.reserve(format.size() + text.size() + lastText.size());
  for (size_t i = 0; i < format.size(); ++i) {
    if (format[i] != '%') {
      out += format[i];
      continue;
    }
    ++i;
    if (format[i] == '%') {
      out += '%';
      continue;
    }
    const bool last = PositionalArgument(format, i) == kLastNumberArgument;
    AppendConversion(format, i, last ? lastText : text, out);
  }
  return out;
}

// ---- placement ----------------------------------------------------------------------------------

NumberPlacement PlacementForPage(const NumberPlacement& configured, bool spread, int32_t page,
                                 int32_t firstPage) {
  NumberPlacement placement = configured;
  const int64_t position = int64_t{page} - int64_t{firstPage};
  if (spread && position % 2 != 0) {
    placement.location = MirroredLocation(configured.location);
    placement.offsetX = -configured.offsetX;
  }
  return placement;
}

TextPosition PlaceNumber(const PageFrame& box, float fontSize, const TextMetrics& metrics,
                         const NumberPlacement& placement) {
  // The arithmetic runs in extended precision with 0.5 and 0.001 as 32-bit constants, and each
  // result is kept as a 32-bit float: positions then come out to the bit the same on every host.
  using Extended = long double;
  const Extended half = 0.5f;
  const Extended milli = 0.001f;
  const Extended s = fontSize;
  const Extended originX = box.llx;
  const Extended originY = box.lly;
  if (metrics.width < 0 || !metrics.ascent || !metrics.descent) {
    return TextPosition{static_cast<float>(originX), static_cast<float>(originY)};
  }
  const Extended w = metrics.width;
  const Extended ascent = *metrics.ascent;
  const Extended descent = *metrics.descent;
  const Extended width = box.width;
  const Extended height = box.height;
  const int32_t location = placement.location;

  float x = 0.0f;
  if (IsRight(location)) {
    x = static_cast<float>(width - s * w * milli);
  } else if (!IsLeft(location)) {
    x = static_cast<float>(width * half - w * half * s * milli);
  }
  float y = 0.0f;
  if (IsTop(location)) {
    y = static_cast<float>(height - s * ascent * milli);
  } else if (IsMiddle(location)) {
    y = static_cast<float>(height * half - s * (ascent * half) * milli);
  } else {
    y = static_cast<float>(-s * descent * milli);  // the descenders touch the bottom edge
  }
  x = static_cast<float>(Extended{x} + Extended{placement.offsetX});
  y = static_cast<float>(Extended{y} + Extended{placement.offsetY});
  // The box need not start at the origin; for one that does this adds nothing.
  return TextPosition{static_cast<float>(Extended{x} + originX),
                      static_cast<float>(Extended{y} + originY)};
}

bool NumberMeetsFrame(const PageFrame& box, float fontSize, const TextMetrics& metrics,
                      const TextPosition& position) {
  if (metrics.width <= 0 || !metrics.ascent || !metrics.descent) return true;
  const double size = fontSize;
  const double x0 = position.x;
  const double x1 = x0 + size * metrics.width * 0.001;
  double y0 = position.y + size * *metrics.descent * 0.001;
  double y1 = position.y + size * *metrics.ascent * 0.001;
  if (!(y1 > y0)) {
    y0 = position.y;
    y1 = position.y + size;
  }
  const double left = box.llx, bottom = box.lly;
  const double right = left + double{box.width}, top = bottom + double{box.height};
  return x0 < right && x1 > left && y0 < top && y1 > bottom;
}

}  // namespace quarn
