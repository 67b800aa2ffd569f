// The host's text for a system error number (what the library prints as "Factor" for code-2
// errors and what the tool shows for failing system calls).
#pragma once

#include <string>

namespace quarn {

// The system's message for `errorNumber`, without a trailing line end; never empty (an unknown
// number gives "Unknown error N").
std::string SystemErrorText(int errorNumber);

}  // namespace quarn
