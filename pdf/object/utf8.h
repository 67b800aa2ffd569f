// UTF-8 as texts typed on a command line come: a sequence is refused when it is cut short,
// overlong, a surrogate or past U+10FFFF.
#pragma once

#include <cstddef>
#include <string_view>

namespace quarn {

// The length of the UTF-8 sequence starting at byte `i` of `s`, 0 when it is not a valid one;
// its character goes to *value when given.
size_t UTF8SequenceLength(std::string_view s, size_t i, char32_t* value = nullptr);

}  // namespace quarn
