// The page-number format of -nbf is printf text typed by the user. It is only ever given one
// string argument, so anything that would read another argument is refused up front.
#pragma once

#include <string>
#include <string_view>

namespace quarn {

// The Format field of an -nbf value "Type,Format,Font,Size": the text between the first and
// the second comma, empty when there is none.
std::string NumberFormatField(std::string_view numberFormatSpec);

// True when `format` holds literal text, "%%" and at most one "%s" conversion (flags "-+ #0",
// a decimal width and a decimal precision allowed). Empty counts as safe: it means "%s".
bool IsSafeNumberFormat(std::string_view format);

}  // namespace quarn
