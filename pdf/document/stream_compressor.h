// Flate compression of the content streams a run files, done on a worker thread while the
// driver walks on: each stream is filed at once, with its plain text or with a maker of that
// text, and gets its compressed data before anything can write it. The bytes never depend on the
// thread count: every stream is compressed by the same codec from the same text, and the driver
// applies the results at the same points of the run whether a worker made them or not.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "pdf/object/exception.h"
#include "pdf/object/values.h"

namespace quarn {

class CPDFObjHolder;

class StreamCompressor {
 public:
  // Jobs are handed to the worker this many at a time: one wake-up per batch, not per page,
  // whose few bytes cost less to compress than a wake-up.
  static constexpr size_t kBatch = 64;

  // With `useWorker` false (or when no thread can be started) every job is compressed in
  // Submit on the calling thread.
  explicit StreamCompressor(bool useWorker);
  // Stops the worker and joins it (jobs not settled are dropped).
  ~StreamCompressor();
  StreamCompressor(const StreamCompressor&) = delete;
  StreamCompressor& operator=(const StreamCompressor&) = delete;

  // A worker where the host has a second processor, unless ZORVANE_THREADS asks for one thread.
  static bool WorkerWanted();
  bool HasWorker() const;

  // Makes a stream's plain text on whichever thread runs the job: it may touch nothing but
  // what it holds. False, with `error` set, when it fails.
  using TextMaker = std::function<bool(std::string& text, CPDFErrorRecord& error)>;

  // Queues the compression of `plain`, the data of the stream filed as `ref`.
  void Submit(const CPDFObjRef& ref, std::string plain);
  // Queues the making of the text of the stream filed as `ref`, and its compression.
  void Submit(const CPDFObjRef& ref, TextMaker make);
  // How many jobs were submitted so far (a mark for Settle).
  uint64_t Submitted() const;
  // Gives the streams of the first `upTo` jobs their compressed data and "Filter", in `doc`,
  // waiting for the worker where needed. False on the first failure, described in `error`.
  bool Settle(uint64_t upTo, CPDFObjHolder* doc, CPDFErrorRecord& error);
  bool SettleAll(CPDFObjHolder* doc, CPDFErrorRecord& error);

 private:
  // The compressor's state, defined with the code (stream_compressor_members.h).
  struct Members;
  std::unique_ptr<Members> m_;

  struct Job {
    CPDFObjRef ref;
    TextMaker make;    // when set, makes the plain text first
    std::string data;  // plain text, then the compressed bytes
    bool done = false;
    CPDFErrorRecord error;
  };
  void Enqueue(Job job);
  // Makes and compresses one job's data in place (on whatever thread runs it).
  static void Compress(Job& job);
  void Work();
  // Takes the oldest unsettled job off the queue once it is compressed (by this thread when
  // the worker has not taken it).
  Job TakeFront();
  static bool Apply(const Job& job, CPDFObjHolder* doc, CPDFErrorRecord& error);
};

}  // namespace quarn
