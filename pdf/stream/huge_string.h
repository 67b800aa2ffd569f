// The byte buffer of stream data: in memory while small, in a growing mapped temporary file
// once it passes 40960 bytes.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "platform/file_map.h"

namespace quarn {

class TempHugeString {
 public:
  TempHugeString() = default;
  TempHugeString(const TempHugeString&) = delete;
  TempHugeString& operator=(const TempHugeString&) = delete;
  TempHugeString(TempHugeString&& other) noexcept { Swap(other); }
  TempHugeString& operator=(TempHugeString&& other) noexcept {
    Swap(other);
    return *this;
  }

  // Where mapped buffers are made; set once by the library (empty: the host's temp directory).
  static void SetTempLocation(const std::string& directory, const std::string& prefix);

  const char* Data() const { return m_map ? m_map->Data() : m_mem.data(); }
  char* Data() { return m_map ? m_map->Data() : m_mem.data(); }
  size_t Length() const { return m_length; }
  bool Empty() const { return m_length == 0; }

  // False when memory or the mapped file cannot grow (errno kept).
  bool Reserve(size_t n);
  bool Append(const void* data, size_t n);
  bool AppendRepeated(size_t count, char byte);
  bool Assign(const void* data, size_t n);
  // Drops the data and any mapped file.
  void Clear();
  void Swap(TempHugeString& other) noexcept;

 private:
  bool Grow(size_t needed);

  std::vector<char> m_mem;
  std::unique_ptr<FileMap> m_map;
  size_t m_length = 0;
};

}  // namespace quarn
