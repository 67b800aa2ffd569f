// The process's threads as the kernel sees them, for tests of helper threads.
#pragma once

#include <cstdint>
#include <vector>

namespace quarn::test {

// The blocked-signal masks (bit n-1 for signal n) of the process's threads named `name`.
std::vector<uint64_t> ThreadsBlocked(const char* name);
// Waits (up to five seconds) until exactly one thread named `name` runs and has set its own
// mask (a new thread blocks every signal, SIGSEGV too, until it has); that mask, or all ones
// when no such thread showed.
uint64_t SettledHelperMask(const char* name);

}  // namespace quarn::test
