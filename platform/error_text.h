// The host's text for a system error number (what the library prints as "Factor" for code-2
// errors and what the tool shows for failing system calls).
#pragma once

#include <string>

namespace quarn {

// The system's message for `errorNumber`, without a trailing line end, in the language and
// encoding of the user's environment (LC_ALL, LC_MESSAGES, LANG; English under "C") rather than
// the process locale's; never empty (an unknown number gives "Unknown error N"). Every text
// made from an error number goes through here.
std::string SystemErrorText(int errorNumber);

}  // namespace quarn
