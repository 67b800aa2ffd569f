// What the host can still give this process: free space where temporary files go, and address
// space under the process's limit. Data that must be held decoded is bounded by them, so that a
// decompression bomb ends the run with its error line instead of a killed process or a full
// disk.
#pragma once

#include <cstdint>
#include <string>

namespace quarn {

// Bytes an unprivileged user may still write to the file system that holds `directory` (empty:
// $TMPDIR, else /tmp). UINT64_MAX when the host does not say.
uint64_t SpareTempSpace(const std::string& directory);

// Bytes of address space the process may still map under its limit (ulimit -v); UINT64_MAX
// when it has none or the host does not say.
uint64_t SpareAddressSpace();

}  // namespace quarn
