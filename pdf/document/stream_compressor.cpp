#include "pdf/document/stream_compressor.h"

#include <algorithm>
#include <cstdlib>
#include <new>
#include <utility>

#include "pdf/document/doc.h"
#include "pdf/stream/stream.h"
#include "platform/helper_thread.h"

namespace quarn {

namespace {

constexpr const char* kModule = "StreamCompressor";

CPDFException OutOfMemory() {
  return CPDFException(kModule, "Compress", kRuntimeError, "out of memory");
}

}  // namespace

StreamCompressor::StreamCompressor(bool useWorker) {
  // Without a thread to be had the jobs run on the caller's thread.
  if (useWorker) m_worker = StartHelperThread("zorvane-deflate", [this] { Work(); });
}

StreamCompressor::~StreamCompressor() {
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_stop = true;
  }
  m_work.notify_all();
  if (m_worker.joinable()) m_worker.join();
}

bool StreamCompressor::WorkerWanted() {
  // ZORVANE_THREADS=1 keeps the run on one thread; otherwise a second processor takes the
  // compression.
  if (const char* threads = std::getenv("ZORVANE_THREADS")) return std::atoi(threads) >= 2;
  return std::thread::hardware_concurrency() >= 2;
}

void StreamCompressor::Compress(Job& job) {
  // A stream of no document: nothing of the run is touched, only this job's own bytes.
  try {
    const TextMaker make = std::exchange(job.make, nullptr);
    if (make && !make(job.data, job.error)) {
      if (!job.error.IsError()) job.error = OutOfMemory();
    } else {
      CPDFStream stream(nullptr);
      if (!stream.SetData(job.data.data(), job.data.size())) {
        job.error = OutOfMemory();
      } else if (stream.EncodeFlateFilter(job.error)) {
        job.data.assign(stream.Data(), stream.DataLength());
      }
    }
  } catch (const CPDFException& e) {
    job.error = e;
  } catch (const std::bad_alloc&) {
    job.error = OutOfMemory();
  }
  if (job.error.IsError()) job.data.clear();
}

void StreamCompressor::Submit(const CPDFObjRef& ref, std::string plain) {
  Enqueue(Job{ref, nullptr, std::move(plain), false, {}});
}

void StreamCompressor::Submit(const CPDFObjRef& ref, TextMaker make) {
  Enqueue(Job{ref, std::move(make), std::string(), false, {}});
}

void StreamCompressor::Enqueue(Job job) {
  ++m_submitted;
  if (!HasWorker()) {
    job.done = true;
    Compress(job);
    m_jobs.push_back(std::move(job));
    ++m_handed;
    ++m_taken;
    return;
  }
  bool wake = false;
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_jobs.push_back(std::move(job));
    if (m_submitted - m_handed >= kBatch) {
      m_handed = m_submitted;
      wake = true;
    }
  }
  if (wake) m_work.notify_one();
}

void StreamCompressor::Work() {
  for (;;) {
    Job* job = nullptr;
    {
      std::unique_lock<std::mutex> lock(m_mutex);
      m_work.wait(lock, [&] { return m_stop || m_taken < m_handed; });
      if (m_stop) return;
      // The deque keeps the job where it is while others are added behind it or settled
      // jobs leave in front of it; only the thread that took it touches an unfinished job.
      job = &m_jobs[static_cast<size_t>(m_taken++ - m_settled)];
    }
    Compress(*job);
    bool callerWaits = false;
    {
      std::lock_guard<std::mutex> lock(m_mutex);
      job->done = true;
      callerWaits = m_callerWaits;
    }
    if (callerWaits) m_done.notify_one();
  }
}

StreamCompressor::Job StreamCompressor::TakeFront() {
  bool untaken = false;
  {
    std::unique_lock<std::mutex> lock(m_mutex);
    if (m_taken == m_settled) {
      // Nobody has taken it: this thread does it rather than wait for a wake-up.
      untaken = true;
      ++m_taken;
      m_handed = std::max(m_handed, m_taken);
    } else {
      m_callerWaits = true;
      m_done.wait(lock, [&] { return m_jobs.front().done; });
      m_callerWaits = false;
    }
  }
  if (untaken) Compress(m_jobs.front());
  std::lock_guard<std::mutex> lock(m_mutex);
  Job job = std::move(m_jobs.front());
  m_jobs.pop_front();
  ++m_settled;
  return job;
}

bool StreamCompressor::Apply(const Job& job, CPDFObjHolder* doc, CPDFErrorRecord& error) {
  if (job.error.IsError()) {
    error = job.error;
    return false;
  }
  // What the encoder does to a stream: the compressed data (its "Length" follows), then
  // "FlateDecode" recorded as the newest filter.
  auto* stream = dynamic_cast<CPDFStream*>(doc ? doc->GetObj(job.ref) : nullptr);
  if (!stream) {
    error = CPDFException(kModule, "Settle", kInternalError, "CPDFDoc::GetObj()");
    return false;
  }
  if (!stream->SetData(job.data.data(), job.data.size()) ||
      !stream->EncodeFilter("FlateDecode", nullptr, error)) {
    if (!error.IsError()) error = CPDFException(kModule, "Settle", kRuntimeError, "out of memory");
    return false;
  }
  return true;
}

bool StreamCompressor::Settle(uint64_t upTo, CPDFObjHolder* doc, CPDFErrorRecord& error) {
  while (m_settled < upTo && m_settled < m_submitted) {
    if (!Apply(TakeFront(), doc, error)) return false;
  }
  return true;
}

}  // namespace quarn
