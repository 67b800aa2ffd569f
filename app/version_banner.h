// The texts printed by "zorvane -v" and "zorvane --version".
#pragma once

#include <string>

namespace quarn {

// The tool's and the library's lines, an empty line, then one line per linked library, each
// followed by tab-indented notice lines naming what this build actually links.
std::string VersionBanner();

// What "zorvane --version" prints: "zorvane X.Y.Z", "libquarn X.Y.Z", then one line per linked
// library with the version this build runs with.
std::string VersionSummary();

}  // namespace quarn
