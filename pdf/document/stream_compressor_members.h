// The private state of the stream compressor, kept out of the installed header so that adding
// to it does not change the layout that programs linked against the shared library were built
// with.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <thread>

#include "pdf/document/stream_compressor.h"

namespace quarn {

struct StreamCompressor::Members {
  // Job numbers count from the first job of the run: job n is jobs[n - settled]. The
  // worker takes jobs in order up to handed; the settling thread takes the next one itself
  // when the worker has not.
  std::mutex mutex;
  std::condition_variable work;  // the worker waits for jobs
  std::condition_variable done;  // the caller waits for a job the worker has in hand
  bool callerWaits = false;
  std::deque<Job> jobs;  // not yet settled, oldest first
  uint64_t submitted = 0;
  uint64_t handed = 0;  // jobs the worker may take
  uint64_t taken = 0;   // jobs taken, by the worker or the settling thread
  uint64_t settled = 0;
  bool stop = false;
  std::thread worker;
};

}  // namespace quarn
