// The reader that every filter walks its input with: a window over the stream's data (or over
// an intermediate buffer of a filter chain), handed out in blocks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace quarn {

class CPDFStream;
class TempHugeString;

class StrLoad {
 public:
  // Blocks of this size are what the filters process between cancel and progress checks.
  static constexpr size_t kBlockSize = 4096;

  StrLoad() = default;
  StrLoad(const StrLoad&) = delete;
  StrLoad& operator=(const StrLoad&) = delete;

  // Reads the data of `stream`, first moving data left in the file into memory. False when
  // that load fails; the stream is unchanged then.
  bool Open(CPDFStream& stream);
  // Throws the failure of the last Open of a stream for (`module`, `method`): the system's
  // reason when the data could not be held (a full temporary directory), else code 5
  // "StrLoad::Open()".
  [[noreturn]] void ThrowOpenFailure(const char* module, const char* method) const;
  // Reads bytes that the caller keeps alive while the reader is used.
  void Open(const char* data, size_t size);
  void Open(const TempHugeString& buffer);

  uint64_t Size() const { return m_size; }
  uint64_t Position() const { return m_pos; }
  bool AtEnd() const { return m_pos >= m_size; }

  // The bytes from the position to the end, not consumed.
  std::string_view Rest() const {
    return std::string_view(m_data + m_pos, static_cast<size_t>(m_size - m_pos));
  }
  // The next block of at most `max` bytes (nullptr/0 at the end); the bytes stay valid as long
  // as the source is unchanged.
  size_t Next(const char** block, size_t max = kBlockSize);

 private:
  const char* m_data = nullptr;
  uint64_t m_size = 0;
  uint64_t m_pos = 0;
  int m_storageError = 0;  // errno of the last failed load that could not hold the data
};

}  // namespace quarn
