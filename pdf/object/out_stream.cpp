#include "pdf/object/out_stream.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <clocale>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <vector>

#include "pdf/object/huge_string.h"
#include "platform/source_file.h"

namespace quarn {

OutStream::OutStream(size_t bufferSize)
    : m_bufferSize(bufferSize ? bufferSize : kDefaultBufferSize), m_buffer(m_bufferSize) {}

OutStream& OutStream::operator<<(const char* text) {
  if (text) WriteBytes(text, std::strlen(text));
  return *this;
}

OutStream& OutStream::operator<<(float v) {
  const std::string s = FormatReal(v);
  WriteBytes(s.data(), s.size());
  return *this;
}

OutStream& OutStream::operator<<(int32_t v) {
  char buf[16];
  const int n = std::snprintf(buf, sizeof buf, "%ld", static_cast<long>(v));
  WriteBytes(buf, static_cast<size_t>(n));
  return *this;
}

void OutStream::Printf(const char* fmt, ...) {
  // Short texts are formatted on the stack; a longer one is formatted again at its full size
  // rather than cut.
  char buf[256];
  va_list ap;
  va_start(ap, fmt);
  va_list again;
  va_copy(again, ap);
  const int n = std::vsnprintf(buf, sizeof buf, fmt, ap);
  va_end(ap);
  if (n >= 0 && static_cast<size_t>(n) < sizeof buf) {
    WriteBytes(buf, static_cast<size_t>(n));
  } else if (n > 0) {
    std::string text(static_cast<size_t>(n) + 1, '\0');
    std::vsnprintf(text.data(), text.size(), fmt, again);
    WriteBytes(text.data(), static_cast<size_t>(n));
  }
  va_end(again);
}

void OutStream::WriteBytes(const void* data, size_t n) {
  const char* p = static_cast<const char*>(data);
  while (n > 0) {
    if (m_count == m_buffer.size()) Flush();
    // Large writes bypass the buffer once it is empty.
    if (m_count == 0 && n >= m_buffer.size()) {
      if (!Emit(p, n)) m_good = false;
      m_flushed += static_cast<int64_t>(n);
      return;
    }
    const size_t take = std::min(n, m_buffer.size() - m_count);
    std::memcpy(m_buffer.data() + m_count, p, take);
    m_count += take;
    p += take;
    n -= take;
  }
}

void OutStream::Flush() {
  if (m_count == 0) return;
  if (!Emit(m_buffer.data(), m_count)) m_good = false;
  m_flushed += static_cast<int64_t>(m_count);
  m_count = 0;
}

char* OutStream::ReserveTail(size_t n) {
  if (n > m_buffer.size()) return nullptr;
  if (m_buffer.size() - m_count < n) Flush();
  return m_buffer.data() + m_count;
}

void OutStream::Close() {
  Flush();
  m_buffer.clear();
  m_buffer.shrink_to_fit();
  m_buffer.resize(m_bufferSize);
}

void endl(OutStream& out) { out.WriteBytes("\r\n", 2); }

bool FileOutStream::Open(const std::string& path, bool append) {
  Close();
  const int flags = O_WRONLY | O_CREAT | O_CLOEXEC | (append ? O_APPEND : O_TRUNC);
  m_fd = open(path.c_str(), flags, 0666);
  if (m_fd < 0) return false;
  m_owned = true;
  SetStartPosition(0);
  int64_t end = 0;
  if (append) {
    const off_t size = lseek(m_fd, 0, SEEK_END);
    end = size < 0 ? 0 : size;
    SetStartPosition(end);
  }
  // The bytes already in a file appended to are on the disk or on their way: only what this
  // writer adds is handed over.
  m_writeback.Follow(m_fd, end);
  return true;
}

void FileOutStream::OpenStdout() {
  Close();
  m_fd = STDOUT_FILENO;
  m_owned = false;
  SetStartPosition(0);
}

void FileOutStream::Adopt(int fd, int64_t startPosition) {
  m_fd = fd;
  m_owned = true;
  SetStartPosition(startPosition);
  // Bytes put into the file before (the input copied ahead of an incremental update) are
  // handed to the disk at once, while the run goes on.
  m_writeback.Follow(fd, 0);
  m_writeback.Written(startPosition);
}

FileOutStream::~FileOutStream() { Close(); }

void FileOutStream::Close() {
  if (m_fd < 0) return;
  OutStream::Close();
  m_writeback.Stop();
  if (m_owned) close(m_fd);
  m_fd = -1;
  m_owned = false;
}

bool FileOutStream::Sync() {
  Flush();
  m_writeback.Stop();
  if (!Good() || m_fd < 0) return false;
  return m_fd == STDOUT_FILENO || fsync(m_fd) == 0;
}

bool OutStream::CopyFrom(const SourceFile& file, int64_t offset, int64_t length) {
  std::vector<char> block(static_cast<size_t>(std::min<int64_t>(length, kCopyBlock)));
  for (int64_t done = 0; done < length;) {
    const size_t take = static_cast<size_t>(std::min<int64_t>(length - done, kCopyBlock));
    if (!file.ReadExact(offset + done, block.data(), take)) return false;
    WriteBytes(block.data(), take);
    done += static_cast<int64_t>(take);
  }
  return true;
}

bool FileOutStream::CopyFrom(const SourceFile& file, int64_t offset, int64_t length) {
  if (length >= 0 && static_cast<uint64_t>(length) <= kFileBufferSize) {
    const size_t n = static_cast<size_t>(length);
    if (char* tail = ReserveTail(n)) {
      if (!file.ReadExact(offset, tail, n)) return false;
      CommitTail(n);
      return true;
    }
  }
  Flush();
  if (m_fd < 0 || !Good()) return false;
  loff_t from = static_cast<loff_t>(offset);
  int64_t done = 0;
  // Descriptors the kernel will not copy between (a pipe, an appending file, another file
  // system on older kernels) say so at once; the rest of the copy then goes through memory.
  while (done < length) {
    const ssize_t n =
        copy_file_range(file.Fd(), &from, m_fd, nullptr, static_cast<size_t>(length - done), 0);
    if (n > 0) {
      done += n;
      Emitted(n, true);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n == 0) return false;  // the file is shorter than it was
    break;
  }
  m_writeback.Written(FlushedPosition());
  if (done == length) return true;
  std::vector<char> block(static_cast<size_t>(std::min<int64_t>(length - done, kCopyBlock)));
  while (done < length) {
    const size_t take = static_cast<size_t>(std::min<int64_t>(length - done, kCopyBlock));
    if (!file.ReadExact(offset + done, block.data(), take)) return false;
    const bool ok = Emit(block.data(), take);
    Emitted(static_cast<int64_t>(take), ok);
    if (!ok) return true;
    done += static_cast<int64_t>(take);
  }
  return true;
}

bool FileOutStream::Emit(const char* data, size_t n) {
  if (m_fd < 0) return false;
  const int64_t end = FlushedPosition() + static_cast<int64_t>(n);
  while (n > 0) {
    ssize_t w = write(m_fd, data, n);
    if (w < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += w;
    n -= static_cast<size_t>(w);
  }
  m_writeback.Written(end);
  return true;
}

bool MemOutStream::Emit(const char* data, size_t n) { return m_target.Append(data, n); }

std::string FormatReal(double value, const char* format) {
  std::string s;
  if (!format) {
    // "%f" in the C locale whatever the process locale is: a document never gets a decimal comma.
    char buf[512];
    const auto result = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, 6);
    s.assign(buf, result.ec == std::errc() ? result.ptr : buf);
  } else {
    const int n = std::snprintf(nullptr, 0, format, value);
    if (n > 0) {
      s.resize(static_cast<size_t>(n) + 1);
      std::snprintf(s.data(), s.size(), format, value);
      s.resize(static_cast<size_t>(n));
    }
    // A caller's format goes through the C library, which follows the process locale: turn a
    // decimal comma (or any other point) back into ".".
    const char* point = std::localeconv()->decimal_point;
    if (point && std::strcmp(point, ".") != 0) {
      const size_t at = s.find(point);
      if (at != std::string::npos) s = s.substr(0, at) + "." + s.substr(at + std::strlen(point));
    }
  }
  while (!s.empty() && s.back() == '0') s.pop_back();
  if (!s.empty() && s.back() == '.') s.pop_back();
  return s;
}

}  // namespace quarn
