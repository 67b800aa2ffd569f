// Depth guard for the recursive walks over values (copying, releasing, linearizing). A walk
// follows containers and indirect references, so a hostile file can make it as deep as it likes;
// the guard turns "too deep" into an ordinary library error instead of a stack overflow.
#pragma once

#include "pdf/object/exception.h"
#include "pdf/object/limits.h"

namespace quarn {

// Internal to the library: hidden from libquarn.so's exports.
class __attribute__((visibility("hidden"))) WalkDepthGuard {
 public:
  WalkDepthGuard(const char* module, const char* method) {
    if (s_depth >= limits::kMaxWalkDepth) Throw(module, method, kInvalidFormat, "nesting too deep");
    ++s_depth;
  }
  ~WalkDepthGuard() { --s_depth; }
  WalkDepthGuard(const WalkDepthGuard&) = delete;
  WalkDepthGuard& operator=(const WalkDepthGuard&) = delete;

  static int Depth() { return s_depth; }

 private:
  // The library is single-threaded; thread_local keeps a stray second thread from confusing it.
  static inline thread_local int s_depth = 0;
};

}  // namespace quarn
