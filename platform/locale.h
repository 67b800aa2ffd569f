// The process locale. The tool's host text is Japanese (Shift-JIS) where the host offers it; on
// hosts without a Japanese locale the run still works with the environment's locale or "C".
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace quarn {

// The locale names tried, best first: the Shift-JIS spellings, the Windows-style alias, the
// UTF-8 spellings, the environment's locale ("") and finally "C".
const std::vector<std::string>& HostLocaleCandidates();

// Sets the locale of every category to the first candidate that the host accepts and returns
// the name the host reports for it; nothing when even "C" is refused.
std::optional<std::string> SetHostLocale();

}  // namespace quarn
