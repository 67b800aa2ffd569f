#include "pdf/object/in_stream.h"

#include <algorithm>
#include <cstring>

#include "platform/source_file.h"

namespace quarn {

InStream::InStream(int kind, size_t bufferSize)
    : m_sourceKind(kind), m_buffer(bufferSize ? bufferSize : kDefaultBufferSize) {}

bool InStream::Refill() {
  m_bufferStart += static_cast<int64_t>(m_count);
  m_pos = 0;
  m_count = 0;
  if (m_bufferStart >= m_size) return false;
  m_count = ReadAt(m_bufferStart, m_buffer.data(), m_buffer.size());
  return m_count > 0;
}

std::string_view InStream::Window(size_t n) {
  n = std::min(n, m_buffer.size());
  if (m_count - m_pos < n) {
    m_bufferStart = Tell();
    m_pos = 0;
    m_count = m_bufferStart < m_size ? ReadAt(m_bufferStart, m_buffer.data(), m_buffer.size()) : 0;
  }
  return std::string_view(m_buffer.data() + m_pos, std::min(n, m_count - m_pos));
}

void InStream::Unget(size_t n) {
  if (n <= m_pos) {
    m_pos -= n;
  } else {
    Seek(Tell() - static_cast<int64_t>(n));
  }
}

bool InStream::Seek(int64_t pos) {
  if (pos < 0 || pos > m_size) return false;
  if (pos >= m_bufferStart && pos <= m_bufferStart + static_cast<int64_t>(m_count)) {
    m_pos = static_cast<size_t>(pos - m_bufferStart);
    return true;
  }
  for (Block& spare : m_spares) {
    if (pos < spare.start || pos >= spare.start + static_cast<int64_t>(spare.count)) continue;
    m_buffer.swap(spare.bytes);
    std::swap(m_count, spare.count);
    std::swap(m_bufferStart, spare.start);
    spare.lastUse = ++m_uses;
    m_pos = static_cast<size_t>(pos - m_bufferStart);
    return true;
  }
  ParkBuffer();
  m_bufferStart = pos;
  m_pos = 0;
  m_count = 0;
  return true;
}

void InStream::ParkBuffer() {
  if (m_count == 0) return;
  Block* oldest = &m_spares[0];
  for (Block& spare : m_spares) {
    if (spare.lastUse < oldest->lastUse) oldest = &spare;
  }
  if (oldest->bytes.size() != m_buffer.size()) oldest->bytes.resize(m_buffer.size());
  m_buffer.swap(oldest->bytes);
  oldest->count = m_count;
  oldest->start = m_bufferStart;
  oldest->lastUse = ++m_uses;
}

size_t InStream::Read(void* dst, size_t n) {
  char* out = static_cast<char*>(dst);
  size_t done = 0;
  // Serve what the buffer holds, then read the rest directly.
  const size_t buffered = std::min(n, m_count - m_pos);
  if (buffered) {
    std::memcpy(out, m_buffer.data() + m_pos, buffered);
    m_pos += buffered;
    done = buffered;
  }
  if (done < n) {
    const int64_t at = Tell();
    ParkBuffer();
    const size_t got = ReadAt(at, out + done, n - done);
    done += got;
    m_bufferStart = at + static_cast<int64_t>(got);
    m_pos = 0;
    m_count = 0;
  }
  return done;
}

int64_t InStream::Search(const char* pattern, size_t length) {
  if (length == 0) return Tell();
  std::vector<char> block(4096 + length);
  int64_t at = Tell();
  while (at < m_size) {
    const size_t got = ReadAt(at, block.data(), block.size());
    if (got < length) break;
    const char* begin = block.data();
    const char* end = begin + got;
    const char* hit = std::search(begin, end, pattern, pattern + length);
    if (hit != end) return at + (hit - begin);
    // Step so that a match straddling the block end is found in the next window.
    at += static_cast<int64_t>(got - length + 1);
  }
  return -1;
}

FileInStream::FileInStream(std::shared_ptr<SourceFile> file, size_t bufferSize)
    : InStream(kFileSource, bufferSize), m_file(std::move(file)) {
  m_size = m_file ? m_file->Size() : 0;
}

size_t FileInStream::ReadAt(int64_t at, char* dst, size_t n) {
  if (!m_file) return 0;
  const int64_t got = m_file->ReadAt(at, dst, n);
  return got > 0 ? static_cast<size_t>(got) : 0;
}

MemInStream::MemInStream(const char* data, size_t n, size_t bufferSize)
    : InStream(kMemorySource, bufferSize), m_data(data) {
  m_size = static_cast<int64_t>(n);
}

size_t MemInStream::ReadAt(int64_t at, char* dst, size_t n) {
  if (at >= m_size) return 0;
  const size_t take = std::min(n, static_cast<size_t>(m_size - at));
  std::memcpy(dst, m_data + at, take);
  return take;
}

}  // namespace quarn
