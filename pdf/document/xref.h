// The cross-reference table of one file section: where each object of the section lies, and
// the free list of object numbers.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "pdf/document/file_struct.h"
#include "pdf/document/output_offsets.h"

namespace quarn {

// One slot of a cross-reference table, 16 bytes: a long document keeps one per object for the
// whole run, so it is packed rather than a heap node. A compressed entry keeps its object
// stream's number where a plain one keeps its generation, and its index where a plain one keeps
// its offset.
class CPDFXRefEntry {
 public:
  CPDFXRefEntry() = default;
  CPDFXRefEntry(int32_t num, int32_t gen, int64_t offset, bool inUse)
      : m_bits(NumBits(num) | (inUse ? kInUseBit : 0u)), m_gen(gen), m_offset(offset) {}

  // An object in use that is stored in object stream `stream` at position `index` (entry type
  // 2 of a cross-reference stream); its generation is 0.
  static CPDFXRefEntry Compressed(int32_t num, int32_t stream, int32_t index) {
    CPDFXRefEntry entry(num, stream, index, true);
    entry.m_bits |= kCompressedBit;
    return entry;
  }

  // -1 for an entry that was never filled.
  int32_t Num() const { return static_cast<int32_t>(m_bits & kNumMask) - 1; }
  int32_t Gen() const { return IsCompressed() ? 0 : m_gen; }
  // The byte offset of an object in use; for a free entry, the next number of the free list.
  int64_t Offset() const { return IsCompressed() ? 0 : m_offset; }
  bool InUse() const { return (m_bits & kInUseBit) != 0; }
  bool IsCompressed() const { return (m_bits & kCompressedBit) != 0; }
  int32_t ObjStmNum() const { return IsCompressed() ? m_gen : 0; }
  int32_t ObjStmIndex() const { return IsCompressed() ? static_cast<int32_t>(m_offset) : 0; }
  // A new generation is given to a number that no longer lies in an object stream.
  void SetGen(int32_t gen) {
    Uncompress();
    m_gen = gen;
  }
  // An entry given a byte offset (or a free-list link) no longer lies in an object stream.
  void SetOffset(int64_t offset) {
    Uncompress();
    m_offset = offset;
  }
  void SetInUse(bool inUse) {
    if (!inUse) Uncompress();
    m_bits = inUse ? (m_bits | kInUseBit) : (m_bits & ~kInUseBit);
  }

 private:
  static constexpr uint32_t kNumMask = 0x00FFFFFFu;
  static constexpr uint32_t kInUseBit = 1u << 30;
  static constexpr uint32_t kCompressedBit = 1u << 31;
  // A number beyond what the mask holds is kept as "no number", which every table refuses.
  static uint32_t NumBits(int32_t num) {
    return num >= 0 && num < static_cast<int32_t>(kNumMask) ? static_cast<uint32_t>(num) + 1 : 0u;
  }
  void Uncompress() {
    if (!IsCompressed()) return;
    m_bits &= ~kCompressedBit;
    m_gen = 0;
    m_offset = 0;
  }

  uint32_t m_bits = 0;  // the number plus one (0: none) and the two flags
  int32_t m_gen = -1;
  int64_t m_offset = 0;
};
static_assert(sizeof(CPDFXRefEntry) == 16, "one table slot per object must stay small");

class CPDFXRef : public CPDFFileStruct {
 public:
  // The generation at which a number is retired for good.
  static constexpr int32_t kMaxGeneration = 65535;

  explicit CPDFXRef(CPDFDoc* doc = nullptr) : CPDFFileStruct(kXRef, doc) {}

  // Reads "xref" and its subsections up to (not including) "trailer"; throws on failure.
  // Slots are made only for entries actually read, so a subsection count cannot make the
  // table allocate what the file does not hold.
  void Read(CPDFDoc* doc, InStream& in);
  void Serialize(OutStream& out) const override;
  // A new table: with `previous`, its free-list head, its size and its free entries.
  void Create(CPDFDoc* doc, const CPDFXRef* previous);

  // The number of slots: the highest object number the table spans.
  int32_t Size() const { return m_size; }
  // Makes the table span at least `size` numbers (no memory is taken for empty slots).
  void Grow(int32_t size);
  int32_t FreeHead() const { return m_freeHead; }
  void SetFreeHead(int32_t head) { m_freeHead = head; }

  // The entry for `num`, or nullptr (also for -1 and numbers beyond the table).
  CPDFXRefEntry* GetEntry(int32_t num);
  const CPDFXRefEntry* GetEntry(int32_t num) const;
  // Appends a slot after the last one holding a new entry; returns the new object number.
  int32_t AddEntry(int32_t gen, int64_t offset, bool inUse);
  // Stores a copy of `entry` in the slot of its number, growing the table when needed.
  CPDFXRefEntry* SetEntry(const CPDFXRefEntry& entry);
  // Marks the entry in use; a free entry is first taken off the free list. Throws when the
  // entry or a number on the free list is missing.
  void UpdateEntry(int32_t num);
  // Frees an entry in use: it is linked into the free list in ascending order, its
  // generation raised by one. Throws when the free list is broken.
  void FreeEntry(int32_t num);

  // Calls fn(num, entry) for every filled slot in ascending object number.
  template <typename Fn>
  void ForEach(Fn&& fn) const {
    for (size_t page = 0; page < m_pages.size(); ++page) {
      if (!m_pages[page]) continue;
      for (size_t i = 0; i < kPageSlots; ++i) {
        const CPDFXRefEntry& entry = m_pages[page][i];
        if (entry.Num() >= 0) fn(entry.Num(), entry);
      }
    }
  }
  // The number of filled slots, and the highest number among them (0 when none).
  size_t Count() const { return m_count; }
  int32_t Highest() const { return m_highest; }
  // Writes the table with the output offsets that `written` notes in place of the entries' own.
  void Write(OutStream& out, const OutputOffsets* written) const;

  // Numbers of the cross-reference stream objects this section was read from (the section's
  // own stream, or the "XRefStm" stream of a hybrid file); none for a plain table.
  const std::vector<int32_t>& StreamNumbers() const { return m_streamNumbers; }
  void AddStreamNumber(int32_t num) { m_streamNumbers.push_back(num); }

  // Where the section begins in its file (its "xref" or its stream object); -1 when it was not
  // read from one.
  int64_t SectionOffset() const { return m_sectionOffset; }
  void SetSectionOffset(int64_t offset) { m_sectionOffset = offset; }
  // The section is a cross-reference stream (a hybrid file's table is not).
  bool IsStreamSection() const { return m_streamSection; }
  void SetStreamSection(bool stream) { m_streamSection = stream; }

 private:
  // The entry that links to `num` in the free list: nullptr for the head; throws when the
  // chain is broken or loops.
  CPDFXRefEntry* FindFreeLink(int32_t num, bool* found, const char* method);

  // Slots live in pages of kPageSlots entries, made when a number in them is first filled: a
  // table costs 16 bytes per object, and a lone high number costs one page, not the whole span.
  static constexpr int kPageBits = 10;
  static constexpr size_t kPageSlots = size_t(1) << kPageBits;
  CPDFXRefEntry* Slot(int32_t num) const;

  int32_t m_freeHead = 0;
  int32_t m_size = 0;
  size_t m_count = 0;
  int32_t m_highest = 0;
  std::vector<std::unique_ptr<CPDFXRefEntry[]>> m_pages;
  std::vector<int32_t> m_streamNumbers;
  int64_t m_sectionOffset = -1;
  bool m_streamSection = false;
};

}  // namespace quarn
