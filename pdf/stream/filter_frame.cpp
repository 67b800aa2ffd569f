#include "pdf/stream/filter_frame.h"

#include <cstring>

#include "pdf/object/huge_string.h"
#include "pdf/object/limits.h"
#include "pdf/stream/filter_record.h"

namespace quarn {

FilterFrame::FilterFrame(const char* module, const char* method, ProgressProc progress,
                         CancelProc cancel, const CPDFProgressRange* range, uint64_t total)
    : m_module(module), m_method(method), m_progress(progress), m_cancel(cancel), m_total(total) {
  if (range) {
    m_begin = range->begin;
    m_end = range->end;
    m_user = range->user;
  }
}

void FilterFrame::Fail(int code, const std::string& message) const {
  Throw(m_module, m_method, code, message);
}

void FilterFrame::BeforeBlock(uint64_t position) {
  if (m_cancel) {
    bool canceled = false;
    m_cancel(&canceled, m_user);
    if (canceled) Fail(kUserError, "canceled by user");
  }
  Report(position);
}

void FilterFrame::Finish() { Report(m_total); }

void FilterFrame::Report(uint64_t position) {
  if (!m_progress) return;
  // begin + (end - begin) * position / total, in a width that cannot overflow for any
  // 32-bit range and any data size.
  const __int128 span = static_cast<__int128>(m_end) - m_begin;
  const __int128 done =
      m_total ? static_cast<__int128>(position > m_total ? m_total : position) : 1;
  const __int128 total = m_total ? static_cast<__int128>(m_total) : 1;
  const auto value = static_cast<int32_t>(m_begin + span * done / total);
  if (m_reported && value == m_last) return;
  m_reported = true;
  m_last = value;
  m_progress(value, m_user);
}

FilterOutput::FilterOutput(TempHugeString& target, const FilterFrame& frame, uint64_t limit)
    : m_target(&target),
      m_frame(frame),
      m_limit(limit),
      m_buffer(std::make_unique_for_overwrite<char[]>(kBufferSize)) {}

FilterOutput::FilterOutput(const DataSink& sink, const FilterFrame& frame, uint64_t limit)
    : m_sink(&sink),
      m_frame(frame),
      m_limit(limit),
      m_buffer(std::make_unique_for_overwrite<char[]>(kBufferSize)) {}

void FilterOutput::Deliver(const char* data, size_t n) {
  if (m_sink) {
    (*m_sink)(data, n);
  } else if (!m_target->Append(data, n)) {
    ThrowCode(m_frame.Module(), m_frame.Method(), kSystemError);
  }
}

void FilterOutput::CheckLimit(uint64_t length) const {
  if (length > m_limit) {
    m_frame.Fail(kInvalidFormat, Format("decoded data too large: more than %llu bytes",
                                        static_cast<unsigned long long>(m_limit)));
  }
}

void FilterOutput::Append(const char* data, size_t n) {
  if (n == 0) return;
  Flush();
  CheckLimit(m_appended + n);
  Deliver(data, n);
  m_appended += n;
}

void FilterOutput::Write(const char* data, size_t n) {
  if (n >= kBufferSize) {
    Append(data, n);
    return;
  }
  if (n > kBufferSize - m_fill) Flush();
  std::memcpy(m_buffer.get() + m_fill, data, n);
  m_fill += n;
}

void FilterOutput::Fill(size_t count, char c) {
  while (count) {
    if (m_fill == kBufferSize) Flush();
    const size_t n = count < kBufferSize - m_fill ? count : kBufferSize - m_fill;
    std::memset(m_buffer.get() + m_fill, c, n);
    m_fill += n;
    count -= n;
  }
}

void FilterOutput::Flush() {
  if (m_fill == 0) return;
  CheckLimit(m_appended + m_fill);
  Deliver(m_buffer.get(), m_fill);
  m_appended += m_fill;
  m_fill = 0;
}

bool RunDecode(CPDFStream& stream, const char* module, ByteCodec codec, CPDFErrorRecord& error,
               ProgressProc progress, CancelProc cancel, const CPDFProgressRange* range) {
  constexpr const char* kMethod = "Decode";
  return GuardFilterCall(module, kMethod, error, [&] {
    StrLoad in;
    if (!in.Open(stream)) in.ThrowOpenFailure(module, kMethod);
    if (in.Size() == 0) return;
    FilterFrame frame(module, kMethod, progress, cancel, range, in.Size());
    TempHugeString result(stream.Space());
    FilterOutput out(result, frame, limits::kMaxDecodedSize);
    codec(in, frame, out);
    out.Flush();
    if (!stream.SetData(std::move(result))) {
      Throw(module, kMethod, kInternalError, "CPDFStream::SetData()");
    }
  });
}

bool RunEncode(CPDFStream& stream, const char* module, const char* filterName, ByteCodec codec,
               CPDFErrorRecord& error, ProgressProc progress, CancelProc cancel,
               const CPDFProgressRange* range) {
  constexpr const char* kMethod = "Encode";
  return GuardFilterCall(module, kMethod, error, [&] {
    StrLoad in;
    if (!in.Open(stream)) in.ThrowOpenFailure(module, kMethod);
    if (in.Size() == 0) return;
    // Worked out first: a "Filter" that cannot take the new name fails before any work.
    CPDFFilterRecord record = CPDFFilterRecord::Prepare(stream, filterName, nullptr);
    FilterFrame frame(module, kMethod, progress, cancel, range, in.Size());
    TempHugeString result(stream.Space());
    FilterOutput out(result, frame);
    codec(in, frame, out);
    out.Flush();
    if (!stream.SetData(std::move(result))) {
      Throw(module, kMethod, kInternalError, "CPDFStream::SetData()");
    }
    record.Commit(stream);
  });
}

}  // namespace quarn
