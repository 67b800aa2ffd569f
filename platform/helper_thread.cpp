#include "platform/helper_thread.h"

#include <pthread.h>
#include <signal.h>

#include <system_error>
#include <utility>

namespace quarn {

std::thread StartHelperThread(const char* name, std::function<void()> body) {
  // A new thread inherits the mask of the thread that starts it.
  sigset_t blocked;
  sigset_t previous;
  sigfillset(&blocked);
  for (const int fault : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGTRAP, SIGSYS, SIGABRT}) {
    sigdelset(&blocked, fault);
  }
  const bool masked = pthread_sigmask(SIG_SETMASK, &blocked, &previous) == 0;
  std::thread thread;
  try {
    thread = std::thread([name, work = std::move(body)] {
      pthread_setname_np(pthread_self(), name);
      work();
    });
  } catch (const std::system_error&) {
  }
  if (masked) pthread_sigmask(SIG_SETMASK, &previous, nullptr);
  return thread;
}

}  // namespace quarn
