// The page-number format of -nbf is printf text typed by the user. It is given two string
// arguments, the page's number and the last number of the run, so anything that would read
// another argument is refused up front.
#pragma once

#include <string>
#include <string_view>

namespace quarn {

// The Format field of an -nbf value "Type,Format,Font,Size": the text between the first and
// the second comma, empty when there is none.
std::string NumberFormatField(std::string_view numberFormatSpec);

// True when `format` holds literal text, "%%" and either at most one "%s" conversion or any
// number of positional ones, "%1$s" (the number) and "%2$s" (the last number of the run); flags
// "-+ #0", a decimal width and a decimal precision are allowed on each. Plain and positional
// conversions do not mix, as in printf. Empty counts as safe: it means "%s".
bool IsSafeNumberFormat(std::string_view format);

// The argument that the conversion starting at `i` (just after its "%") names with "n$", with
// `i` moved past it; 0 when it names none (and `i` is left), -1 when the number is 0 or out of
// bounds.
int PositionalArgument(std::string_view format, size_t& i);
// The arguments a positional conversion may name.
inline constexpr int kNumberArgument = 1;
inline constexpr int kLastNumberArgument = 2;

}  // namespace quarn
