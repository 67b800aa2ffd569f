#include "pdf/document/stream_compressor.h"

#include <algorithm>
#include <cstdlib>
#include <new>
#include <utility>

#include "pdf/document/doc.h"
#include "pdf/document/stream_compressor_members.h"
#include "pdf/stream/stream.h"
#include "platform/helper_thread.h"

namespace quarn {

namespace {

constexpr const char* kModule = "StreamCompressor";

CPDFException OutOfMemory() {
  return CPDFException(kModule, "Compress", kRuntimeError, "out of memory");
}

}  // namespace

StreamCompressor::StreamCompressor(bool useWorker) : m_(std::make_unique<Members>()) {
  // Without a thread to be had the jobs run on the caller's thread.
  if (useWorker) m_->worker = StartHelperThread("zorvane-deflate", [this] { Work(); });
}

StreamCompressor::~StreamCompressor() {
  {
    std::lock_guard<std::mutex> lock(m_->mutex);
    m_->stop = true;
  }
  m_->work.notify_all();
  if (m_->worker.joinable()) m_->worker.join();
}

bool StreamCompressor::HasWorker() const { return m_->worker.joinable(); }
uint64_t StreamCompressor::Submitted() const { return m_->submitted; }

bool StreamCompressor::SettleAll(CPDFObjHolder* doc, CPDFErrorRecord& error) {
  return Settle(m_->submitted, doc, error);
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
  ++m_->submitted;
  if (!HasWorker()) {
    job.done = true;
    Compress(job);
    m_->jobs.push_back(std::move(job));
    ++m_->handed;
    ++m_->taken;
    return;
  }
  bool wake = false;
  {
    std::lock_guard<std::mutex> lock(m_->mutex);
    m_->jobs.push_back(std::move(job));
    if (m_->submitted - m_->handed >= kBatch) {
      m_->handed = m_->submitted;
      wake = true;
    }
  }
  if (wake) m_->work.notify_one();
}

void StreamCompressor::Work() {
  for (;;) {
    Job* job = nullptr;
    {
      std::unique_lock<std::mutex> lock(m_->mutex);
      m_->work.wait(lock, [&] { return m_->stop || m_->taken < m_->handed; });
      if (m_->stop) return;
      // The deque keeps the job where it is while others are added behind it or settled
      // jobs leave in front of it; only the thread that took it touches an unfinished job.
      job = &m_->jobs[static_cast<size_t>(m_->taken++ - m_->settled)];
    }
    Compress(*job);
    bool callerWaits = false;
    {
      std::lock_guard<std::mutex> lock(m_->mutex);
      job->done = true;
      callerWaits = m_->callerWaits;
    }
    if (callerWaits) m_->done.notify_one();
  }
}

StreamCompressor::Job StreamCompressor::TakeFront() {
  bool untaken = false;
  {
    std::unique_lock<std::mutex> lock(m_->mutex);
    if (m_->taken == m_->settled) {
      // Nobody has taken it: this thread does it rather than wait for a wake-up.
      untaken = true;
      ++m_->taken;
      m_->handed = std::max(m_->handed, m_->taken);
    } else {
      m_->callerWaits = true;
      m_->done.wait(lock, [&] { return m_->jobs.front().done; });
      m_->callerWaits = false;
    }
  }
  if (untaken) Compress(m_->jobs.front());
  std::lock_guard<std::mutex> lock(m_->mutex);
  Job job = std::move(m_->jobs.front());
  m_->jobs.pop_front();
  ++m_->settled;
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
  while (m_->settled < upTo && m_->settled < m_->submitted) {
    if (!Apply(TakeFront(), doc, error)) return false;
  }
  return true;
}

}  // namespace quarn
