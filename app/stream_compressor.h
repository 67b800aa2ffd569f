// Flate compression of the content streams a run files, done on a worker thread while the
// driver walks on: each stream is filed with its plain text at once and gets its compressed
// data before anything can write it. The bytes never depend on the thread count: every stream
// is compressed by the same codec from the same text, and the driver applies the results at
// the same points of the run whether a worker made them or not.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "pdf/object/exception.h"
#include "pdf/object/values.h"

namespace quarn {

class CPDFObjHolder;

class StreamCompressor {
 public:
  // Jobs waiting for the worker beyond this make Submit wait: memory stays bounded however far
  // the walk runs ahead.
  static constexpr size_t kMaxQueued = 256;
  // The worker is woken once this many jobs wait, not for each: a wake-up costs more than
  // compressing one page's few bytes. Jobs that nobody took by the time they must be settled
  // are compressed by the settling thread itself.
  static constexpr size_t kWakeAt = 2;

  // With `useWorker` false (or when no thread can be started) every job is compressed in
  // Submit on the calling thread.
  explicit StreamCompressor(bool useWorker);
  // Stops the worker and joins it (jobs not settled are dropped).
  ~StreamCompressor();
  StreamCompressor(const StreamCompressor&) = delete;
  StreamCompressor& operator=(const StreamCompressor&) = delete;

  // A worker only when ZORVANE_THREADS asks for two threads or more.
  static bool WorkerWanted();
  bool HasWorker() const { return m_worker.joinable(); }

  // Queues the compression of `plain`, the data of the stream filed as `ref`.
  void Submit(const CPDFObjRef& ref, std::string plain);
  // How many jobs were submitted so far (a mark for Settle).
  uint64_t Submitted() const { return m_submitted; }
  // Gives the streams of the first `upTo` jobs their compressed data and "Filter", in `doc`,
  // waiting for the worker where needed. False on the first failure, described in `error`.
  bool Settle(uint64_t upTo, CPDFObjHolder* doc, CPDFErrorRecord& error);
  bool SettleAll(CPDFObjHolder* doc, CPDFErrorRecord& error) {
    return Settle(m_submitted, doc, error);
  }

 private:
  struct Job {
    CPDFObjRef ref;
    std::string data;  // plain text, then the compressed bytes
    bool done = false;
    CPDFErrorRecord error;
  };
  // Compresses one job's data in place (on whatever thread runs it).
  static void Compress(Job& job);
  void Work();

  std::mutex m_mutex;
  std::condition_variable m_work;  // the worker waits for jobs
  std::condition_variable m_done;  // the caller waits for a job the worker has in hand
  bool m_callerWaits = false;
  std::deque<Job> m_jobs;  // not yet settled, oldest first
  size_t m_next = 0;       // index in m_jobs of the first job the worker has not taken
  uint64_t m_submitted = 0;
  uint64_t m_settled = 0;
  bool m_stop = false;
  std::thread m_worker;
};

}  // namespace quarn
