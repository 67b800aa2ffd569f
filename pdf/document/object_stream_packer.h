// Object streams written by an incremental update: the changed objects that may lie in one
// (neither streams nor of a generation other than 0) are gathered as text and handed out a
// stream at a time, so that an update of many small dictionaries costs a few compressed bytes
// for each.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quarn {

class CPDFObjStmPacker {
 public:
  // A stream is full at this many objects or this many bytes of text: enough for the
  // dictionaries of a run of pages to share their words, little enough to keep in memory.
  static constexpr size_t kMaxObjects = 200;
  static constexpr size_t kMaxBytes = size_t(64) << 10;

  // The decoded data of one object stream: "N" pairs of number and offset, then the objects
  // from offset "First".
  struct Packed {
    std::string data;
    int32_t count = 0;
    int64_t first = 0;
  };

  bool Empty() const { return m_numbers.empty(); }
  bool Full() const { return m_numbers.size() >= kMaxObjects || m_text.size() >= kMaxBytes; }
  // Adds object `num`, serialized as `text`, to the stream being filled; returns its index.
  int32_t Add(int32_t num, std::string_view text);
  // The stream being filled, made whole; the packer starts the next one empty.
  Packed Take();

 private:
  std::vector<int32_t> m_numbers;
  std::vector<size_t> m_offsets;  // of each object in m_text
  std::string m_text;
};

}  // namespace quarn
