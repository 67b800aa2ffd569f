// What every filter shares: the block loop over its input with the cancel query and the
// progress mapping, the output gathered into a growing buffer (with the decoded-size cap), and
// the conversion of failures into the caller's error record.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>

#include "pdf/object/exception.h"
#include "pdf/stream/str_load.h"
#include "pdf/stream/stream.h"

namespace quarn {

class FilterFrame {
 public:
  // Without a range record, progress is reported as a percentage (0 to 100).
  FilterFrame(const char* module, const char* method, ProgressProc progress, CancelProc cancel,
              const CPDFProgressRange* range, uint64_t total);

  const char* Module() const { return m_module; }
  const char* Method() const { return m_method; }

  // Asks the cancel query (a set flag fails with "canceled by user"), then reports the
  // position reached when its mapped value moved.
  void BeforeBlock(uint64_t position);
  // Reports the end of the range once the input is used up.
  void Finish();
  [[noreturn]] void Fail(int code, const std::string& message) const;

  // Walks `in` block by block: BeforeBlock, then body(block, size). The body returns false to
  // stop early (the rest of the input is not needed).
  template <class Body>
  void ForEachBlock(StrLoad& in, Body&& body, size_t blockSize = StrLoad::kBlockSize) {
    while (!in.AtEnd()) {
      BeforeBlock(in.Position());
      const char* block = nullptr;
      const size_t n = in.Next(&block, blockSize);
      if (!body(block, n)) return;
    }
  }

 private:
  void Report(uint64_t position);

  const char* m_module;
  const char* m_method;
  ProgressProc m_progress;
  CancelProc m_cancel;
  int32_t m_begin = 0;
  int32_t m_end = 100;
  void* m_user = nullptr;
  uint64_t m_total;
  bool m_reported = false;
  int32_t m_last = 0;
};

// A filter's result: bytes are collected in a small buffer and appended to the target in
// large pieces. With a limit, growing past it fails (a decompression bomb must not fill the
// disk); the check is exact, it happens before anything past the limit is appended.
class FilterOutput {
 public:
  static constexpr size_t kBufferSize = 64 * 1024;
  static constexpr uint64_t kNoLimit = UINT64_MAX;

  FilterOutput(TempHugeString& target, const FilterFrame& frame, uint64_t limit = kNoLimit);
  // Hands the bytes to `sink` in pieces instead of keeping them.
  FilterOutput(const DataSink& sink, const FilterFrame& frame, uint64_t limit = kNoLimit);
  FilterOutput(const FilterOutput&) = delete;
  FilterOutput& operator=(const FilterOutput&) = delete;

  void Put(char c) {
    if (m_fill == kBufferSize) Flush();
    m_buffer[m_fill++] = c;
  }
  void Write(const char* data, size_t n);
  void Fill(size_t count, char c);
  // Appends straight to the target (for codecs that fill buffers of their own).
  void Append(const char* data, size_t n);
  // Moves the collected bytes into the target; call once at the end.
  void Flush();
  uint64_t Length() const { return m_appended + m_fill; }

 private:
  void CheckLimit(uint64_t length) const;
  void Deliver(const char* data, size_t n);

  TempHugeString* m_target = nullptr;
  const DataSink* m_sink = nullptr;
  const FilterFrame& m_frame;
  uint64_t m_limit;
  std::unique_ptr<char[]> m_buffer;
  size_t m_fill = 0;
  uint64_t m_appended = 0;
};

// A filter's codec on bytes: reads all of `in`, writes to `out`; throws CPDFException.
using ByteCodec = void (*)(StrLoad& in, FilterFrame& frame, FilterOutput& out);

// Thrown when "Filter" holds something a new filter cannot be recorded in; such a failure
// leaves the caller's error record empty.
struct FilterEntryRejected {};

// Runs `body`; a library error is kept in `error` (the first error wins), any other failure
// becomes code 5 with the given labels and no message. True when `body` finished.
template <class Body>
bool GuardFilterCall(const char* module, const char* method, CPDFErrorRecord& error, Body&& body) {
  try {
    body();
    return true;
  } catch (const FilterEntryRejected&) {
    error.Clear();
  } catch (...) {
    KeepCurrentError(error, module, method);
  }
  return false;
}

// One decoder applied to a stream: its data is replaced by the decoded bytes ("Length"
// follows); on any failure the stream keeps its data.
bool RunDecode(CPDFStream& stream, const char* module, ByteCodec codec, CPDFErrorRecord& error,
               ProgressProc progress, CancelProc cancel, const CPDFProgressRange* range);
// One encoder applied to a stream, then `filterName` recorded as the newest filter; on any
// failure neither the data nor the dictionary changes.
bool RunEncode(CPDFStream& stream, const char* module, const char* filterName, ByteCodec codec,
               CPDFErrorRecord& error, ProgressProc progress, CancelProc cancel,
               const CPDFProgressRange* range);

}  // namespace quarn
