#include "pdf/document/output_offsets.h"

#include "pdf/document/xref.h"
#include "pdf/object/limits.h"

namespace quarn {

bool OutputOffsets::Note(int32_t num, int64_t offset, bool released) {
  // The released flag takes the top bit, so the offset plus one must stay below it.
  if (num <= 0 || num > limits::kMaxObjectNumber || offset < 0 || offset >= INT64_MAX) {
    return false;
  }
  // An offset that would reach the compressed bit is past any file.
  if (static_cast<uint64_t>(offset) + 1 >= kCompressedBit) return false;
  Store(num, (static_cast<uint64_t>(offset) + 1) | (released ? kReleasedBit : 0));
  return true;
}

bool OutputOffsets::NoteCompressed(int32_t num, int32_t stream, int32_t index, bool released) {
  if (num <= 0 || num > limits::kMaxObjectNumber || stream <= 0 ||
      stream > limits::kMaxObjectNumber || index < 0) {
    return false;
  }
  Store(num, kCompressedBit | static_cast<uint64_t>(stream) << kStreamShift |
                 static_cast<uint32_t>(index) | (released ? kReleasedBit : 0));
  return true;
}

bool OutputOffsets::Place(int32_t num, CPDFXRefEntry& entry) const {
  const uint64_t slot = SlotOf(num);
  if (slot == 0) return false;
  if (slot & kCompressedBit) {
    const auto stream = static_cast<int32_t>((slot & ~(kReleasedBit | kCompressedBit)) >> kStreamShift);
    const auto index = static_cast<int32_t>(slot & 0xFFFFFFFFu);
    entry = CPDFXRefEntry::Compressed(num, stream, index);
  } else {
    entry.SetOffset(OffsetIn(slot));
  }
  return true;
}

void OutputOffsets::Store(int32_t num, uint64_t slot) {
  const size_t page = static_cast<size_t>(num) >> kPageBits;
  if (page >= m_pages.size()) m_pages.resize(page + 1);
  // Value-initialised: every slot of a new page is empty.
  if (!m_pages[page]) m_pages[page] = std::make_unique<uint64_t[]>(kPageSlots);
  m_pages[page][static_cast<size_t>(num) & (kPageSlots - 1)] = slot;
}

uint64_t OutputOffsets::SlotOf(int32_t num) const {
  if (num <= 0) return 0;
  const size_t page = static_cast<size_t>(num) >> kPageBits;
  if (page >= m_pages.size() || !m_pages[page]) return 0;
  return m_pages[page][static_cast<size_t>(num) & (kPageSlots - 1)];
}

}  // namespace quarn
