// Threads that help a run along (compressing, starting the disk's writes) without ever taking
// the signals that end a run: the handlers of those signals cut an appended update back or
// remove temporaries, which must happen on the thread that writes, never while it goes on
// writing. Faults stay with the thread that makes them.
#pragma once

#include <functional>
#include <thread>

namespace quarn {

// Starts `body` on a new thread named `name` (at most 15 bytes, as `top -H` and /proc show it)
// with every asynchronous signal blocked; an unjoinable thread when none can be started (a
// process or memory limit), and the caller then does the work.
std::thread StartHelperThread(const char* name, std::function<void()> body);

}  // namespace quarn
