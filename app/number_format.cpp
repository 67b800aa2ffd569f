#include "app/number_format.h"

#include <cctype>
#include <cstring>

namespace quarn {

namespace {

// A width or precision beyond this would pad a page number with pages of blanks (and printf
// fails outright past INT_MAX); no real format asks for it.
constexpr long kMaxFieldWidth = 4096;

bool IsDigit(char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; }

// Reads the decimal number at `i` (possibly empty); false when it is larger than allowed.
bool SkipFieldWidth(std::string_view format, size_t& i) {
  long value = 0;
  for (; i < format.size() && IsDigit(format[i]); ++i) {
    value = value * 10 + (format[i] - '0');
    if (value > kMaxFieldWidth) return false;
  }
  return true;
}

// Skips the flags, width and precision of a conversion that starts after its "%" at `i`;
// false when a width or precision is out of bounds.
bool SkipConversionModifiers(std::string_view format, size_t& i) {
  while (i < format.size() && std::strchr("-+ #0", format[i]) != nullptr) ++i;
  if (!SkipFieldWidth(format, i)) return false;
  if (i < format.size() && format[i] == '.') {
    ++i;
    if (!SkipFieldWidth(format, i)) return false;
  }
  return true;
}

}  // namespace

std::string NumberFormatField(std::string_view numberFormatSpec) {
  const size_t first = numberFormatSpec.find(',');
  if (first == std::string_view::npos) return std::string();
  const size_t second = numberFormatSpec.find(',', first + 1);
  const size_t end = second == std::string_view::npos ? numberFormatSpec.size() : second;
  return std::string(numberFormatSpec.substr(first + 1, end - first - 1));
}

int PositionalArgument(std::string_view format, size_t& i) {
  size_t end = i;
  long argument = 0;
  for (; end < format.size() && IsDigit(format[end]); ++end) {
    argument = argument * 10 + (format[end] - '0');
    if (argument > kMaxFieldWidth) return -1;
  }
  // Digits without "$" are the conversion's width.
  if (end == i || end >= format.size() || format[end] != '$') return 0;
  i = end + 1;
  // Arguments count from 1: "%0$s" names none.
  return argument == 0 ? -1 : static_cast<int>(argument);
}

bool IsSafeNumberFormat(std::string_view format) {
  int plainConversions = 0;
  int positionalConversions = 0;
  for (size_t i = 0; i < format.size(); ++i) {
    if (format[i] != '%') continue;
    if (i + 1 < format.size() && format[i + 1] == '%') {
      ++i;
      continue;
    }
    ++i;
    const int argument = PositionalArgument(format, i);
    if (argument == 0) {
      ++plainConversions;
    } else if (argument == kNumberArgument || argument == kLastNumberArgument) {
      ++positionalConversions;
    } else {
      return false;
    }
    if (!SkipConversionModifiers(format, i)) return false;
    if (i >= format.size() || format[i] != 's') return false;
    if (plainConversions > 1 || (plainConversions > 0 && positionalConversions > 0)) return false;
  }
  return true;
}

}  // namespace quarn
