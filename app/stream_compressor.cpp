#include "app/stream_compressor.h"

#include <cstdlib>
#include <new>
#include <system_error>
#include <utility>

#include "pdf/document/doc.h"
#include "pdf/stream/stream.h"

namespace quarn {

namespace {

constexpr const char* kModule = "StreamCompressor";

}  // namespace

StreamCompressor::StreamCompressor(bool useWorker) {
  if (!useWorker) return;
  try {
    m_worker = std::thread([this] { Work(); });
  } catch (const std::system_error&) {
    // No thread to be had (a process or memory limit): the jobs run on the caller's thread.
  }
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
  // One thread unless asked: measured on an idle two-processor host, handing each page's small
  // number stream to a worker cost more in wake-ups than the compression it moved (20,000
  // pages: 0.50 s on one thread, 0.72 s on two). It pays only where the host is shared.
  const char* threads = std::getenv("ZORVANE_THREADS");
  return threads && std::atoi(threads) >= 2;
}

void StreamCompressor::Compress(Job& job) {
  // A stream of no document: nothing of the run is touched, only this job's own bytes.
  try {
    CPDFStream stream(nullptr);
    if (!stream.SetData(job.data.data(), job.data.size())) {
      job.error = CPDFException(kModule, "Compress", kRuntimeError, "out of memory");
    } else if (stream.EncodeFlateFilter(job.error)) {
      job.data.assign(stream.Data(), stream.DataLength());
    }
  } catch (const CPDFException& e) {
    job.error = e;
  } catch (const std::bad_alloc&) {
    job.error = CPDFException(kModule, "Compress", kRuntimeError, "out of memory");
  }
  if (!job.error.IsError()) return;
  job.data.clear();
}

void StreamCompressor::Submit(const CPDFObjRef& ref, std::string plain) {
  ++m_submitted;
  if (!HasWorker()) {
    Job job{ref, std::move(plain), true, {}};
    Compress(job);
    m_jobs.push_back(std::move(job));
    return;
  }
  bool wake = false;
  {
    std::unique_lock<std::mutex> lock(m_mutex);
    m_callerWaits = true;
    m_done.wait(lock, [&] { return m_jobs.size() - m_next < kMaxQueued; });
    m_callerWaits = false;
    m_jobs.push_back(Job{ref, std::move(plain), false, {}});
    wake = m_jobs.size() - m_next >= kWakeAt;
  }
  if (wake) m_work.notify_one();
}

void StreamCompressor::Work() {
  for (;;) {
    Job* job = nullptr;
    {
      std::unique_lock<std::mutex> lock(m_mutex);
      m_work.wait(lock, [&] { return m_stop || m_next < m_jobs.size(); });
      if (m_stop) return;
      // The deque keeps the job where it is while others are added behind it or settled
      // jobs leave in front of it; only the thread that took it touches an unfinished job.
      job = &m_jobs[m_next++];
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

bool StreamCompressor::Settle(uint64_t upTo, CPDFObjHolder* doc, CPDFErrorRecord& error) {
  while (m_settled < upTo && m_settled < m_submitted) {
    Job job;
    bool untaken = false;
    {
      std::unique_lock<std::mutex> lock(m_mutex);
      if (m_next == 0 && !m_jobs.front().done) {
        // Nobody has taken it: this thread does it rather than wait for a wake-up.
        untaken = true;
        ++m_next;
      } else {
        m_callerWaits = true;
        m_done.wait(lock, [&] { return m_jobs.front().done; });
        m_callerWaits = false;
      }
    }
    if (untaken) Compress(m_jobs.front());
    {
      std::lock_guard<std::mutex> lock(m_mutex);
      job = std::move(m_jobs.front());
      m_jobs.pop_front();
      if (m_next > 0) --m_next;
    }
    ++m_settled;
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
  }
  return true;
}

}  // namespace quarn
