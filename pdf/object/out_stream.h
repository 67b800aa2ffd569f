// Buffered output: documents write through a file writer, stream data through a memory writer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/background_writeback.h"

namespace quarn {

class TempHugeString;
class SourceFile;

class OutStream {
 public:
  static constexpr size_t kDefaultBufferSize = 4096;
  using Manipulator = void (*)(OutStream&);

  explicit OutStream(size_t bufferSize = kDefaultBufferSize);
  virtual ~OutStream() = default;
  OutStream(const OutStream&) = delete;
  OutStream& operator=(const OutStream&) = delete;

  OutStream& operator<<(const char* text);
  OutStream& operator<<(std::string_view text) {
    WriteBytes(text.data(), text.size());
    return *this;
  }
  OutStream& operator<<(char c) {
    Put(c);
    return *this;
  }
  OutStream& operator<<(float v);    // the real format
  OutStream& operator<<(int32_t v);  // "%ld"
  OutStream& operator<<(bool v) { return *this << (v ? "true" : "false"); }
  OutStream& operator<<(Manipulator m) {
    m(*this);
    return *this;
  }

  void Put(char c) {
    if (m_count == m_buffer.size()) Flush();
    m_buffer[m_count++] = c;
  }
  // Formats into a 256-byte buffer with printf rules and writes the result.
  void Printf(const char* fmt, ...) __attribute__((format(printf, 2, 3)));
  void WriteBytes(const void* data, size_t n);
  // Copies `length` bytes of `file` from `offset` to the output as they are, in large blocks;
  // false when the file could not be read (the output's own failures make Good() false).
  virtual bool CopyFrom(const SourceFile& file, int64_t offset, int64_t length);
  // Hands the waiting bytes to the destination.
  void Flush();
  // Flushes and releases the buffer.
  virtual void Close();
  // Bytes written so far (the destination's position plus what is waiting).
  int64_t Position() const { return m_flushed + static_cast<int64_t>(m_count); }
  // False once the destination refused bytes.
  bool Good() const { return m_good; }

 protected:
  // Starts on a fresh destination: its position at which this writer starts (appending to an
  // existing file) and no failure yet.
  void SetStartPosition(int64_t p) {
    m_flushed = p;
    m_good = true;
  }
  // Hands bytes to the destination; false when the destination fails.
  virtual bool Emit(const char* data, size_t n) = 0;
  // Counts bytes that reached the destination past the buffer; `ok` false marks a failure.
  void Emitted(int64_t n, bool ok) {
    m_flushed += n;
    if (!ok) m_good = false;
  }
  // The block of a copy through memory.
  static constexpr size_t kCopyBlock = size_t(1) << 20;
  // Room for `n` more bytes at the end of the buffer, flushing first when they do not fit;
  // nullptr when `n` exceeds the whole buffer. CommitTail(n) then counts them as written.
  char* ReserveTail(size_t n);
  void CommitTail(size_t n) { m_count += n; }
  // The destination's position: the bytes handed to it so far.
  int64_t FlushedPosition() const { return m_flushed; }

 private:
  size_t m_bufferSize;
  std::vector<char> m_buffer;
  size_t m_count = 0;
  int64_t m_flushed = 0;
  bool m_good = true;
};

// The end-of-line manipulator: CR LF.
void endl(OutStream& out);

// Output into a file descriptor that the writer owns (or standard output, not owned).
class FileOutStream : public OutStream {
 public:
  // A document is written in large blocks: one system call per 64 KiB, not per 4 KiB.
  static constexpr size_t kFileBufferSize = size_t(64) << 10;
  FileOutStream() : OutStream(kFileBufferSize) {}
  // Opens `path` for writing ("wb": truncate/create, "ab": append); false with errno set.
  bool Open(const std::string& path, bool append);
  // Writes to standard output without owning it.
  void OpenStdout();
  // Adopts an already open descriptor (for example one made by mkstemps).
  void Adopt(int fd, int64_t startPosition);
  ~FileOutStream() override;
  void Close() override;
  // Flushes and forces the data to the disk; false when anything failed on the way.
  bool Sync();
  int Fd() const { return m_fd; }
  // The kernel copies file to file (copy_file_range); where it cannot, positional reads and
  // writes in large blocks do, still past the buffer. A copy that fits in the buffer is read
  // into it instead: a page's small content stream then costs one read, not a flush and a copy.
  bool CopyFrom(const SourceFile& file, int64_t offset, int64_t length) override;

 protected:
  bool Emit(const char* data, size_t n) override;

 private:
  int m_fd = -1;
  bool m_owned = false;
  // Hands what is written to the disk as it goes, so that Sync waits for the last stretch only.
  BackgroundWriteback m_writeback;
};

// Output appended to a growing byte buffer.
class MemOutStream : public OutStream {
 public:
  explicit MemOutStream(TempHugeString& target, size_t bufferSize = kDefaultBufferSize)
      : OutStream(bufferSize), m_target(target) {}
  ~MemOutStream() override { Flush(); }

 protected:
  bool Emit(const char* data, size_t n) override;

 private:
  TempHugeString& m_target;
};

// Output collected into a std::string (tests and small texts).
class StringOutStream : public OutStream {
 public:
  StringOutStream() = default;
  ~StringOutStream() override { Flush(); }
  const std::string& Str() {
    Flush();
    return m_text;
  }

 protected:
  bool Emit(const char* data, size_t n) override {
    m_text.append(data, n);
    return true;
  }

 private:
  std::string m_text;
};

// "%f", then trailing zeros and a trailing "." removed: 2.5 -> "2.5", 3.0 -> "3".
std::string FormatReal(double value, const char* format = nullptr);

}  // namespace quarn
