#include "pdf/stream/flate_filter.h"

#include <zlib.h>

#include <memory>

namespace quarn {

namespace {

// Output is produced into a buffer of this size and appended whenever it fills. The bytes do
// not depend on the buffer size; a large one keeps the number of zlib calls and appends low.
constexpr size_t kOutputChunk = 256 * 1024;

// Owns one zlib stream; ends it on every path out of a codec.
class ZStream {
 public:
  using EndProc = int (*)(z_streamp);
  explicit ZStream(EndProc end) : m_end(end) {}
  ~ZStream() {
    if (m_open) m_end(&m_z);
  }
  ZStream(const ZStream&) = delete;
  ZStream& operator=(const ZStream&) = delete;

  z_stream* operator->() { return &m_z; }
  z_stream* Get() { return &m_z; }
  void MarkOpen() { m_open = true; }
  // Ends the stream and returns zlib's result.
  int End() {
    m_open = false;
    return m_end(&m_z);
  }

 private:
  z_stream m_z{};  // zeroed: zlib's default allocators
  EndProc m_end;
  bool m_open = false;
};

// The output window that zlib writes into, emptied into the filter's result when it fills.
class OutputWindow {
 public:
  explicit OutputWindow(ZStream& z)
      : m_z(z), m_buffer(std::make_unique_for_overwrite<unsigned char[]>(kOutputChunk)) {
    Reset();
  }
  bool Full() const { return m_z->avail_out == 0; }
  void Drain(FilterOutput& out) {
    out.Append(reinterpret_cast<const char*>(m_buffer.get()), kOutputChunk - m_z->avail_out);
    Reset();
  }

 private:
  void Reset() {
    m_z->next_out = m_buffer.get();
    m_z->avail_out = static_cast<uInt>(kOutputChunk);
  }
  ZStream& m_z;
  std::unique_ptr<unsigned char[]> m_buffer;
};

void SetInput(ZStream& z, const char* block, size_t n) {
  z->next_in = reinterpret_cast<Bytef*>(const_cast<char*>(block));
  z->avail_in = static_cast<uInt>(n);
}

}  // namespace

bool CPDFFlateFilter::Encode(CPDFStream& stream, CPDFErrorRecord& error, ProgressProc progress,
                             CancelProc cancel, const CPDFProgressRange* range) {
  return RunEncode(stream, kClassName, kFilterName, &EncodeBytes, error, progress, cancel, range);
}

bool CPDFFlateFilter::Decode(CPDFStream& stream, CPDFObject* parms, CPDFErrorRecord& error,
                             ProgressProc progress, CancelProc cancel,
                             const CPDFProgressRange* range) {
  if (!parms) return RunDecode(stream, kClassName, &DecodeBytes, error, progress, cancel, range);
  // The stream's filter chain knows the predictor stage; the range is only read there.
  return stream.DecodeFilter(CPDFName(kFilterName), parms, error, progress, cancel,
                             const_cast<CPDFProgressRange*>(range));
}

void CPDFFlateFilter::DecodeBytes(StrLoad& in, FilterFrame& frame, FilterOutput& out) {
  ZStream z(&inflateEnd);
  // inflateInit passes the version of the zlib headers we were built with.
  if (inflateInit(z.Get()) != Z_OK) frame.Fail(kInternalError, "inflateInit()");
  z.MarkOpen();
  OutputWindow window(z);
  frame.ForEachBlock(in, [&](const char* block, size_t n) {
    SetInput(z, block, n);
    for (;;) {
      const int rc = inflate(z.Get(), Z_NO_FLUSH);
      if (window.Full()) window.Drain(out);
      switch (rc) {
        case Z_OK:
          // With room left in the window, inflate stopped because the block is used up.
          if (z->avail_in == 0 && z->avail_out != 0) return true;
          break;
        case Z_BUF_ERROR:
          return true;  // no progress possible: the block is used up
        case Z_STREAM_END:
        case Z_DATA_ERROR:
        case Z_NEED_DICT:
          // The end of the compressed data, or an error inside it: what was decoded so far is
          // the result, and the rest of the input is not looked at.
          return false;
        default:
          // Z_MEM_ERROR, Z_STREAM_ERROR: a failure of the decoder itself, not of the data.
          frame.Fail(kInternalError, "inflate()");
      }
    }
  });
  window.Drain(out);
  if (z.End() != Z_OK) frame.Fail(kInternalError, "inflateEnd()");
  frame.Finish();
}

void CPDFFlateFilter::EncodeBytes(StrLoad& in, FilterFrame& frame, FilterOutput& out) {
  ZStream z(&deflateEnd);
  if (deflateInit(z.Get(), Z_DEFAULT_COMPRESSION) != Z_OK) {
    frame.Fail(kInternalError, "deflateInit()");
  }
  z.MarkOpen();
  OutputWindow window(z);
  auto step = [&](int flush) {
    const int rc = deflate(z.Get(), flush);
    if (window.Full()) window.Drain(out);
    if (rc != Z_OK && rc != Z_BUF_ERROR && rc != Z_STREAM_END) {
      frame.Fail(kInternalError, "deflate()");
    }
    return rc;
  };
  frame.ForEachBlock(in, [&](const char* block, size_t n) {
    SetInput(z, block, n);
    // A window left with room means deflate has taken the whole block.
    while (step(Z_NO_FLUSH) == Z_OK && z->avail_in != 0) {
    }
    return true;
  });
  // With fresh room in the window every call, finishing either makes progress or ends; a call
  // that can do neither would loop for ever.
  for (;;) {
    const int rc = step(Z_FINISH);
    if (rc == Z_STREAM_END) break;
    if (rc != Z_OK) frame.Fail(kInternalError, "deflate()");
  }
  window.Drain(out);
  if (z.End() != Z_OK) frame.Fail(kInternalError, "deflateEnd()");
  frame.Finish();
}

}  // namespace quarn
