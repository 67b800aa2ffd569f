#include "pdf/document/output_offsets.h"

#include "pdf/object/limits.h"

namespace quarn {

bool OutputOffsets::Note(int32_t num, int64_t offset, bool released) {
  // The released flag takes the top bit, so the offset plus one must stay below it.
  if (num <= 0 || num > limits::kMaxObjectNumber || offset < 0 || offset >= INT64_MAX) {
    return false;
  }
  const size_t page = static_cast<size_t>(num) >> kPageBits;
  if (page >= m_pages.size()) m_pages.resize(page + 1);
  // Value-initialised: every slot of a new page is empty.
  if (!m_pages[page]) m_pages[page] = std::make_unique<uint64_t[]>(kPageSlots);
  m_pages[page][static_cast<size_t>(num) & (kPageSlots - 1)] =
      (static_cast<uint64_t>(offset) + 1) | (released ? kReleasedBit : 0);
  return true;
}

uint64_t OutputOffsets::SlotOf(int32_t num) const {
  if (num <= 0) return 0;
  const size_t page = static_cast<size_t>(num) >> kPageBits;
  if (page >= m_pages.size() || !m_pages[page]) return 0;
  return m_pages[page][static_cast<size_t>(num) & (kPageSlots - 1)];
}

}  // namespace quarn
