// Buffered input over a file (one descriptor, positional reads) or over bytes in memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace quarn {

class SourceFile;

class InStream {
 public:
  enum SourceKind : int { kFileSource = 0, kMemorySource = 2 };
  static constexpr size_t kDefaultBufferSize = 4096;

  virtual ~InStream() = default;

  int SourceKindOf() const { return m_sourceKind; }

  // The next byte without consuming it, or -1 at the end.
  int Peek() {
    if (m_pos < m_count) return static_cast<unsigned char>(m_buffer[m_pos]);
    return Refill() ? static_cast<unsigned char>(m_buffer[m_pos]) : -1;
  }
  // Up to `n` bytes from the position on, not consumed: as many as the buffer holds, reading
  // it again from the position when fewer than `n` wait there (fewer only at the end of input).
  std::string_view Window(size_t n);
  // The next byte, consumed, or -1.
  int Get() {
    if (m_pos < m_count) return static_cast<unsigned char>(m_buffer[m_pos++]);
    if (!Refill()) return -1;
    return static_cast<unsigned char>(m_buffer[m_pos++]);
  }
  // Consumes one byte and returns the byte after it, or -1.
  int AdvancePeek() {
    Get();
    return Peek();
  }
  // Steps back n bytes.
  void Unget(size_t n);

  int64_t Tell() const { return m_bufferStart + static_cast<int64_t>(m_pos); }
  bool Seek(int64_t pos);
  int64_t Size() const { return m_size; }
  // Raw read of up to n bytes; returns the count read.
  size_t Read(void* dst, size_t n);
  // Scans forward from the current position for `pattern`; the absolute offset of its start or
  // -1. The read position afterwards is not defined.
  int64_t Search(const char* pattern, size_t length);

 protected:
  InStream(int kind, size_t bufferSize);
  // Reads up to n bytes at absolute offset `at` into dst; returns the count (0 at the end).
  virtual size_t ReadAt(int64_t at, char* dst, size_t n) = 0;

  int64_t m_size = 0;

 private:
  bool Refill();
  // Keeps the buffer's bytes as the spare block before the buffer is given to another place.
  void ParkBuffer();

  int m_sourceKind;
  std::vector<char> m_buffer;
  size_t m_pos = 0;
  size_t m_count = 0;
  int64_t m_bufferStart = 0;
  // Blocks read before the current one, the least recently used given up first. Objects are
  // often read from a few places of a file in turn (Ghostscript writes a page's dictionary,
  // its resources and its content in three places): returning to a place then costs no read.
  // Each is made on first need.
  struct Block {
    std::vector<char> bytes;
    size_t count = 0;
    int64_t start = 0;
    uint64_t lastUse = 0;
  };
  static constexpr size_t kSpareBlocks = 3;
  Block m_spares[kSpareBlocks];
  uint64_t m_uses = 0;
};

// Input over a whole file through one shared descriptor (stream data left in the file is read
// later through the same descriptor).
class FileInStream : public InStream {
 public:
  explicit FileInStream(std::shared_ptr<SourceFile> file, size_t bufferSize = kDefaultBufferSize);
  const std::shared_ptr<SourceFile>& File() const { return m_file; }

 protected:
  size_t ReadAt(int64_t at, char* dst, size_t n) override;

 private:
  std::shared_ptr<SourceFile> m_file;
};

// Input over bytes in memory; the bytes are not owned and must outlive the stream.
class MemInStream : public InStream {
 public:
  MemInStream(const char* data, size_t n, size_t bufferSize = kDefaultBufferSize);

 protected:
  size_t ReadAt(int64_t at, char* dst, size_t n) override;

 private:
  const char* m_data;
};

}  // namespace quarn
