// Where a save puts each object in its output (a byte offset, or a place in an object stream
// the save wrote), noted until the save's cross-reference data is written and the document's own
// table takes them over.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace quarn {

class CPDFXRefEntry;

// One 8-byte slot per object number, in pages of 1,024 made when a number in them is first
// noted: a long document keeps this for every object while its save runs. An object noted as
// released was written early and dropped from memory, so it can no longer be read back; the
// others were written by the final flush and may still be read from the input.
class OutputOffsets {
 public:
  // Notes that object `num` lies at `offset` of the output. False (and nothing noted) for a
  // number no table holds or a negative offset.
  bool Note(int32_t num, int64_t offset, bool released);
  // Notes that object `num` is the `index`th object of object stream `stream`. False (and
  // nothing noted) for numbers no table holds or a negative index.
  bool NoteCompressed(int32_t num, int32_t stream, int32_t index, bool released);
  bool Has(int32_t num) const { return SlotOf(num) != 0; }
  bool IsReleased(int32_t num) const { return (SlotOf(num) & kReleasedBit) != 0; }
  // The output offset of `num`, or -1 when it has none or lies in an object stream.
  int64_t Find(int32_t num) const { return OffsetIn(SlotOf(num)); }
  // Gives `entry` (an entry in use for `num`) the output place noted for it; false, and
  // `entry` unchanged, when none is.
  bool Place(int32_t num, CPDFXRefEntry& entry) const;
  // Calls fn(num) for every noted number in ascending order.
  template <typename Fn>
  void ForEach(Fn&& fn) const {
    for (size_t page = 0; page < m_pages.size(); ++page) {
      if (!m_pages[page]) continue;
      for (size_t i = 0; i < kPageSlots; ++i) {
        if (m_pages[page][i] != 0) fn(static_cast<int32_t>(page << kPageBits | i));
      }
    }
  }
  // Forgets every number, and the memory that held them.
  void Clear() { m_pages.clear(); }

 private:
  static constexpr int kPageBits = 10;
  static constexpr size_t kPageSlots = size_t(1) << kPageBits;
  // A slot holds the offset plus one (0: nothing noted) and the released flag in its top bit;
  // a place in an object stream sets the bit below it and holds the stream's number above
  // kStreamShift, the index below.
  static constexpr uint64_t kReleasedBit = uint64_t(1) << 63;
  static constexpr uint64_t kCompressedBit = uint64_t(1) << 62;
  static constexpr int kStreamShift = 32;
  static int64_t OffsetIn(uint64_t slot) {
    return (slot & kCompressedBit) ? -1 : static_cast<int64_t>(slot & ~kReleasedBit) - 1;
  }
  void Store(int32_t num, uint64_t slot);
  uint64_t SlotOf(int32_t num) const;

  std::vector<std::unique_ptr<uint64_t[]>> m_pages;
};

}  // namespace quarn
