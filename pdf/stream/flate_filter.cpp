#include "pdf/stream/flate_filter.h"

#include <libdeflate.h>
#include <zlib.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <string_view>

namespace quarn {

namespace {

// zlib writes into an output window that is appended to the result whenever it fills. The
// bytes do not depend on the window size, so it is sized from the input: a page's small
// content stream gets a few kilobytes instead of the largest window, which kept the heap
// growing and shrinking (and the kernel zeroing fresh pages) on every stream.
constexpr size_t kMinWindow = 4 * 1024;
constexpr size_t kMaxWindow = 256 * 1024;

size_t WindowFor(uint64_t estimate) {
  return static_cast<size_t>(std::clamp<uint64_t>(estimate, kMinWindow, kMaxWindow));
}
// Compressed data is rarely larger than its input (zlib adds a few bytes per 16 KB block).
size_t EncodeWindow(uint64_t inputSize) {
  return WindowFor(2 * std::min<uint64_t>(inputSize, kMaxWindow) + 64);
}
// Content streams inflate to a few times their compressed size; larger data simply takes more
// rounds through the window.
size_t DecodeWindow(uint64_t inputSize) {
  return WindowFor(4 * std::min<uint64_t>(inputSize, kMaxWindow) + 64);
}

// One zlib stream, set up on first use and reset for each further one. Setting up a deflate
// state allocates and clears about 256 KB; a document whose every page gets a content stream of
// its own would pay that per page. A reset state compresses to exactly the same bytes as a
// new one (deflateReset starts from the same empty history and the same parameters).
class ZState {
 public:
  using InitProc = int (*)(z_streamp);
  using ResetProc = int (*)(z_streamp);
  using EndProc = int (*)(z_streamp);
  ZState(InitProc init, ResetProc reset, EndProc end) : m_init(init), m_reset(reset), m_end(end) {}
  ~ZState() {
    if (m_open) m_end(&m_z);
  }
  ZState(const ZState&) = delete;
  ZState& operator=(const ZState&) = delete;

  // Ready for a new stream: false when zlib cannot set one up.
  bool Begin() {
    if (m_open && m_reset(&m_z) == Z_OK) return true;
    if (m_open) Discard();
    m_z = z_stream{};  // zlib's default allocators
    if (m_init(&m_z) != Z_OK) return false;
    m_open = true;
    return true;
  }
  // Drops the state (after a zlib failure it is not trusted again).
  void Discard() {
    if (m_open) m_end(&m_z);
    m_open = false;
  }
  bool InUse() const { return m_inUse; }
  void SetInUse(bool inUse) { m_inUse = inUse; }
  z_stream* operator->() { return &m_z; }
  z_stream* Get() { return &m_z; }

 private:
  z_stream m_z{};
  InitProc m_init;
  ResetProc m_reset;
  EndProc m_end;
  bool m_open = false;
  bool m_inUse = false;
};

int InitDeflate(z_streamp z) { return deflateInit(z, Z_DEFAULT_COMPRESSION); }
// inflateInit passes the version of the zlib headers we were built with.
int InitInflate(z_streamp z) { return inflateInit(z); }

// Lends a codec the calling thread's state for the time of one stream. A codec entered again
// on the same thread while its state is lent (a progress or cancel callback that runs a filter
// itself) gets a state of its own, which ends with the loan.
class ZLoan {
 public:
  ZLoan(ZState& shared, ZState::InitProc init, ZState::ResetProc reset, ZState::EndProc end) {
    if (shared.InUse()) {
      m_own = std::make_unique<ZState>(init, reset, end);
      m_state = m_own.get();
    } else {
      m_state = &shared;
    }
    m_state->SetInUse(true);
  }
  ~ZLoan() { m_state->SetInUse(false); }
  ZLoan(const ZLoan&) = delete;
  ZLoan& operator=(const ZLoan&) = delete;
  ZState& State() { return *m_state; }

 private:
  std::unique_ptr<ZState> m_own;
  ZState* m_state = nullptr;
};

ZState& ThreadDeflater() {
  thread_local ZState state(&InitDeflate, &deflateReset, &deflateEnd);
  return state;
}

ZState& ThreadInflater() {
  thread_local ZState state(&InitInflate, &inflateReset, &inflateEnd);
  return state;
}

// The output window that zlib writes into, emptied into the filter's result when it fills.
class OutputWindow {
 public:
  OutputWindow(ZState& z, size_t size)
      : m_z(z), m_size(size), m_buffer(std::make_unique_for_overwrite<unsigned char[]>(size)) {
    Reset();
  }
  bool Full() const { return m_z->avail_out == 0; }
  void Drain(FilterOutput& out) {
    out.Append(reinterpret_cast<const char*>(m_buffer.get()), m_size - m_z->avail_out);
    Reset();
  }

 private:
  void Reset() {
    m_z->next_out = m_buffer.get();
    m_z->avail_out = static_cast<uInt>(m_size);
  }
  ZState& m_z;
  size_t m_size;
  std::unique_ptr<unsigned char[]> m_buffer;
};

// Small streams (a page's content, mostly) are inflated whole by libdeflate, about twice as
// fast as zlib's stream interface. Its result is used only when it decoded the whole stream
// without a fault; then zlib would have decoded the same bytes. Anything else (damaged or cut
// data, more output than the buffer holds) is left to zlib, which keeps what it decoded before
// a fault.
constexpr size_t kMaxWholeInput = 64 * 1024;
constexpr size_t kWholeOutput = 256 * 1024;

class WholeInflater {
 public:
  WholeInflater() : m_decompressor(libdeflate_alloc_decompressor()) {}
  ~WholeInflater() { libdeflate_free_decompressor(m_decompressor); }
  WholeInflater(const WholeInflater&) = delete;
  WholeInflater& operator=(const WholeInflater&) = delete;

  // The bytes `data` inflates to, valid until Release; nullopt when zlib has to tell, or when
  // the bytes of an earlier call are still in use (a sink that inflates a stream itself).
  std::optional<std::string_view> Inflate(std::string_view data) {
    if (!m_decompressor || m_inUse || data.size() > kMaxWholeInput) return std::nullopt;
    if (!m_output) m_output = std::make_unique_for_overwrite<char[]>(kWholeOutput);
    size_t length = 0;
    if (libdeflate_zlib_decompress(m_decompressor, data.data(), data.size(), m_output.get(),
                                   kWholeOutput, &length) != LIBDEFLATE_SUCCESS) {
      return std::nullopt;
    }
    m_inUse = true;
    return std::string_view(m_output.get(), length);
  }
  void Release() { m_inUse = false; }

 private:
  libdeflate_decompressor* m_decompressor;
  bool m_inUse = false;
  std::unique_ptr<char[]> m_output;  // made on first use
};

bool InflateWhole(StrLoad& in, FilterFrame& frame, FilterOutput& out) {
  thread_local WholeInflater inflater;
  const std::string_view data = in.Rest();
  if (data.size() > kMaxWholeInput) return false;
  frame.BeforeBlock(in.Position());
  const std::optional<std::string_view> inflated = inflater.Inflate(data);
  if (!inflated) return false;
  struct Releaser {
    WholeInflater& inflater;
    ~Releaser() { inflater.Release(); }
  } releaser{inflater};
  const char* block = nullptr;
  in.Next(&block, data.size());
  out.Append(inflated->data(), inflated->size());
  return true;
}

void SetInput(ZState& z, const char* block, size_t n) {
  z->next_in = reinterpret_cast<Bytef*>(const_cast<char*>(block));
  z->avail_in = static_cast<uInt>(n);
}

}  // namespace

bool CPDFFlateFilter::Encode(CPDFStream& stream, CPDFErrorRecord& error, ProgressProc progress,
                             CancelProc cancel, const CPDFProgressRange* range) {
  return RunEncode(stream, kClassName, kFilterName, &EncodeBytes, error, progress, cancel, range);
}

bool CPDFFlateFilter::EncodeFast(CPDFStream& stream, CPDFErrorRecord& error) {
  return RunEncode(stream, kClassName, kFilterName, &EncodeBytesFast, error, nullptr, nullptr,
                   nullptr);
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
  if (InflateWhole(in, frame, out)) {
    frame.Finish();
    return;
  }
  ZLoan loan(ThreadInflater(), &InitInflate, &inflateReset, &inflateEnd);
  ZState& z = loan.State();
  if (!z.Begin()) frame.Fail(kInternalError, "inflateInit()");
  OutputWindow window(z, DecodeWindow(in.Size() - in.Position()));
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
          z.Discard();
          frame.Fail(kInternalError, "inflate()");
      }
    }
  });
  window.Drain(out);
  frame.Finish();
}

void CPDFFlateFilter::EncodeBytes(StrLoad& in, FilterFrame& frame, FilterOutput& out) {
  EncodeBytesAt(Z_DEFAULT_COMPRESSION, in, frame, out);
}

void CPDFFlateFilter::EncodeBytesFast(StrLoad& in, FilterFrame& frame, FilterOutput& out) {
  EncodeBytesAt(Z_BEST_SPEED, in, frame, out);
}

void CPDFFlateFilter::EncodeBytesAt(int level, StrLoad& in, FilterFrame& frame, FilterOutput& out) {
  ZLoan loan(ThreadDeflater(), &InitDeflate, &deflateReset, &deflateEnd);
  ZState& z = loan.State();
  if (!z.Begin()) frame.Fail(kInternalError, "deflateInit()");
  // A reset keeps the level of the last use of the thread's state; before any input, setting
  // it costs nothing.
  if (deflateParams(z.Get(), level, Z_DEFAULT_STRATEGY) != Z_OK) {
    z.Discard();
    frame.Fail(kInternalError, "deflateInit()");
  }
  OutputWindow window(z, EncodeWindow(in.Size() - in.Position()));
  auto step = [&](int flush) {
    const int rc = deflate(z.Get(), flush);
    if (window.Full()) window.Drain(out);
    if (rc != Z_OK && rc != Z_BUF_ERROR && rc != Z_STREAM_END) {
      z.Discard();
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
    if (rc != Z_OK) {
      z.Discard();
      frame.Fail(kInternalError, "deflate()");
    }
  }
  window.Drain(out);
  frame.Finish();
}

// ---- FlateEncoder ----------------------------------------------------------------------------

struct FlateEncoder::State {
  z_stream z{};
  std::string out;
  bool open = false;
};

FlateEncoder::FlateEncoder() : m_state(std::make_unique<State>()) {
  if (deflateInit(&m_state->z, Z_DEFAULT_COMPRESSION) != Z_OK) {
    Throw(CPDFFlateFilter::kClassName, "Encode", kInternalError, "deflateInit()");
  }
  m_state->open = true;
}

FlateEncoder::~FlateEncoder() {
  if (m_state->open) deflateEnd(&m_state->z);
}

void FlateEncoder::Write(const char* data, size_t n) {
  z_stream& z = m_state->z;
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data));
  z.avail_in = static_cast<uInt>(n);
  Run(Z_NO_FLUSH);
}

std::string FlateEncoder::Finish() {
  m_state->z.avail_in = 0;
  Run(Z_FINISH);
  deflateEnd(&m_state->z);
  m_state->open = false;
  return std::move(m_state->out);
}

void FlateEncoder::Run(int flush) {
  z_stream& z = m_state->z;
  unsigned char window[16384];
  for (;;) {
    z.next_out = window;
    z.avail_out = sizeof window;
    const int rc = deflate(&z, flush);
    if (rc != Z_OK && rc != Z_BUF_ERROR && rc != Z_STREAM_END) {
      Throw(CPDFFlateFilter::kClassName, "Encode", kInternalError, "deflate()");
    }
    m_state->out.append(reinterpret_cast<char*>(window), sizeof window - z.avail_out);
    // Done when the input is used up and the window was not filled (more may be pending
    // only when it was), or when the stream has ended.
    if (rc == Z_STREAM_END || (flush == Z_NO_FLUSH && z.avail_in == 0 && z.avail_out != 0)) break;
    if (rc == Z_BUF_ERROR && flush == Z_FINISH) {
      Throw(CPDFFlateFilter::kClassName, "Encode", kInternalError, "deflate()");
    }
  }
}

}  // namespace quarn
