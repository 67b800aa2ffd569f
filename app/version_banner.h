// The text printed by "zorvane -v".
#pragma once

#include <string>

namespace quarn {

// The tool's and the library's lines, an empty line, then one line per linked library, each
// followed by tab-indented notice lines naming what this build actually links.
std::string VersionBanner();

}  // namespace quarn
