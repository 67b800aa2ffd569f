#include "pdf/stream/str_load.h"

#include <algorithm>
#include <cerrno>

#include "pdf/object/exception.h"
#include "pdf/object/huge_string.h"
#include "pdf/stream/stream.h"

namespace quarn {

bool StrLoad::Open(CPDFStream& stream) {
  // A failed load must not read as "no data": that would let a filter report success while
  // it did nothing.
  if (stream.IsDataInFile() && !stream.LoadData(&m_storageError)) return false;
  Open(stream.Data(), stream.DataLength());
  return true;
}

void StrLoad::ThrowOpenFailure(const char* module, const char* method) const {
  if (m_storageError == 0) Throw(module, method, kInternalError, "StrLoad::Open()");
  errno = m_storageError;
  ThrowCode(module, method, kSystemError);
}

void StrLoad::Open(const char* data, size_t size) {
  m_data = data;
  m_size = data ? size : 0;
  m_pos = 0;
}

void StrLoad::Open(const TempHugeString& buffer) { Open(buffer.Data(), buffer.Length()); }

size_t StrLoad::Next(const char** block, size_t max) {
  const uint64_t left = m_size - m_pos;
  const size_t n = static_cast<size_t>(std::min<uint64_t>(left, max));
  *block = n ? m_data + m_pos : nullptr;
  m_pos += n;
  return n;
}

}  // namespace quarn
