// The byte buffer of stream data: in memory while small, in a growing mapped temporary file
// once it passes 40960 bytes.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "platform/file_map.h"

namespace quarn {

// Where mapped buffers are made: a directory kept with a trailing "/" (empty: the host's
// temporary directory) and the prefix of the file names. One per library object.
struct TempSpace {
  std::string directory;
  std::string prefix = "qx";
};

class TempHugeString {
 public:
  TempHugeString() = default;
  explicit TempHugeString(const TempSpace* space) : m_space(space) {}
  TempHugeString(const TempHugeString&) = delete;
  TempHugeString& operator=(const TempHugeString&) = delete;
  TempHugeString(TempHugeString&& other) noexcept { Swap(other); }
  TempHugeString& operator=(TempHugeString&& other) noexcept {
    Swap(other);
    return *this;
  }

  // Where this buffer goes once it is large (observed; nullptr: the host's temp directory).
  const TempSpace* Space() const { return m_space; }
  void SetSpace(const TempSpace* space) { m_space = space; }

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

  const TempSpace* m_space = nullptr;
  std::vector<char> m_mem;
  std::unique_ptr<FileMap> m_map;
  size_t m_length = 0;
};

}  // namespace quarn
