#include "pdf/document/object_stream_packer.h"

#include <utility>

namespace quarn {

int32_t CPDFObjStmPacker::Add(int32_t num, std::string_view text) {
  m_numbers.push_back(num);
  m_offsets.push_back(m_text.size());
  m_text.append(text);
  // Objects are parsed from their offset on: white space keeps a number or a name at the end
  // of one from running into the next.
  m_text.push_back('\n');
  return static_cast<int32_t>(m_numbers.size() - 1);
}

CPDFObjStmPacker::Packed CPDFObjStmPacker::Take() {
  Packed packed;
  for (size_t i = 0; i < m_numbers.size(); ++i) {
    packed.data += std::to_string(m_numbers[i]);
    packed.data += ' ';
    packed.data += std::to_string(m_offsets[i]);
    packed.data += i + 1 < m_numbers.size() ? ' ' : '\n';
  }
  packed.count = static_cast<int32_t>(m_numbers.size());
  packed.first = static_cast<int64_t>(packed.data.size());
  packed.data += m_text;
  m_numbers.clear();
  m_offsets.clear();
  m_text.clear();
  return packed;
}

}  // namespace quarn
