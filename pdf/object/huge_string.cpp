#include "pdf/object/huge_string.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "pdf/object/limits.h"

namespace quarn {

bool TempHugeString::Grow(size_t needed) {
  if (m_map) {
    if (needed > m_map->Size()) {
      size_t size = m_map->Size();
      while (size < needed) size = size < (size_t(1) << 62) ? size * 2 : needed;
      if (!m_map->Resize(size)) return false;
    }
    m_map->Prefault(needed);
    return true;
  }
  if (needed <= limits::kHugeStringThreshold) {
    try {
      // The first allocation is exact (most stream data is written once); later growth is
      // geometric through the vector.
      if (needed > m_mem.size()) m_mem.resize(needed);
    } catch (const std::bad_alloc&) {
      return false;
    }
    return true;
  }
  // Past the threshold the data moves into a mapped temporary file.
  auto map = std::make_unique<FileMap>();
  static const TempSpace kHostSpace;
  const TempSpace& space = m_space ? *m_space : kHostSpace;
  size_t size = std::max(needed, limits::kHugeStringThreshold * 2);
  if (!map->Open(space.directory, space.prefix, size)) return false;
  if (m_length) std::memcpy(map->Data(), m_mem.data(), m_length);
  m_mem.clear();
  m_mem.shrink_to_fit();
  m_map = std::move(map);
  return true;
}

bool TempHugeString::Reserve(size_t n) { return Grow(n); }

bool TempHugeString::Append(const void* data, size_t n) {
  if (n == 0) return true;
  if (n > SIZE_MAX - m_length || !Grow(m_length + n)) return false;
  std::memcpy(Data() + m_length, data, n);
  m_length += n;
  return true;
}

bool TempHugeString::AppendRepeated(size_t count, char byte) {
  if (count == 0) return true;
  if (count > SIZE_MAX - m_length || !Grow(m_length + count)) return false;
  std::memset(Data() + m_length, byte, count);
  m_length += count;
  return true;
}

bool TempHugeString::Assign(const void* data, size_t n) {
  TempHugeString fresh(m_space);
  if (!fresh.Append(data, n)) return false;
  Swap(fresh);
  return true;
}

void TempHugeString::Clear() {
  m_map.reset();
  m_mem.clear();
  m_mem.shrink_to_fit();
  m_length = 0;
}

void TempHugeString::Swap(TempHugeString& other) noexcept {
  m_mem.swap(other.m_mem);
  m_map.swap(other.m_map);
  std::swap(m_length, other.m_length);
  std::swap(m_space, other.m_space);
}

}  // namespace quarn
