// The cross-reference table of one file section: where each object of the section lies, and
// the free list of object numbers.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "pdf/document/file_struct.h"
#include "pdf/document/output_offsets.h"

namespace quarn {

// One slot of a cross-reference table, 12 bytes: a long document keeps one per object for the
// whole run, so it is packed rather than a heap node. Three words:
//   head: the number plus one (bits 0-23; 0: none), the generation's top 5 bits (24-28), the
//         in-use flag (30) and the compressed flag (31);
//   low:  the offset's bits 0-31, or the object stream's number for a compressed entry;
//   high: the offset's bits 32-47 (0-15) and the generation's low 16 bits (16-31), or the
//         index in the object stream for a compressed entry.
// The generation (21 bits) and the offset (48 bits) are signed, so every value a table can be
// read with round-trips: five-digit generations of a damaged table (up to 99999, or -9999),
// ten-digit offsets, negative ones. A generation beyond that range becomes the last one
// (kMaxGeneration: retired, never reused), as a cross-reference stream's wide field does; an
// offset beyond it becomes kUnreachableOffset, which no file reaches, so loading the object
// fails as an offset past the end of the file does and the damaged-object path takes over.
class CPDFXRefEntry {
 public:
  // The generation at which a number is retired for good.
  static constexpr int32_t kMaxGeneration = 65535;
  // 2^47 - 1: 128 TiB, more than any file.
  static constexpr int64_t kUnreachableOffset = (int64_t(1) << 47) - 1;

  CPDFXRefEntry() = default;
  CPDFXRefEntry(int32_t num, int32_t gen, int64_t offset, bool inUse)
      : m_head(NumBits(num) | (inUse ? kInUseBit : 0u)) {
    Place(gen, offset);
  }

  // An object in use that is stored in object stream `stream` at position `index` (entry type
  // 2 of a cross-reference stream); its generation is 0.
  static CPDFXRefEntry Compressed(int32_t num, int32_t stream, int32_t index) {
    CPDFXRefEntry entry(num, 0, 0, true);
    entry.m_head |= kCompressedBit;
    entry.m_low = static_cast<uint32_t>(stream);
    entry.m_high = static_cast<uint32_t>(index);
    return entry;
  }

  // -1 for an entry that was never filled.
  int32_t Num() const { return static_cast<int32_t>(m_head & kNumMask) - 1; }
  // -1 for an entry that was never filled.
  int32_t Gen() const { return IsCompressed() ? 0 : PlacedGen(); }
  // The byte offset of an object in use; for a free entry, the next number of the free list.
  int64_t Offset() const { return IsCompressed() ? 0 : PlacedOffset(); }
  bool InUse() const { return (m_head & kInUseBit) != 0; }
  bool IsCompressed() const { return (m_head & kCompressedBit) != 0; }
  int32_t ObjStmNum() const { return IsCompressed() ? static_cast<int32_t>(m_low) : 0; }
  int32_t ObjStmIndex() const { return IsCompressed() ? static_cast<int32_t>(m_high) : 0; }
  // A new generation is given to a number that no longer lies in an object stream.
  void SetGen(int32_t gen) {
    Uncompress();
    Place(gen, PlacedOffset());
  }
  // An entry given a byte offset (or a free-list link) no longer lies in an object stream.
  void SetOffset(int64_t offset) {
    Uncompress();
    Place(PlacedGen(), offset);
  }
  void SetInUse(bool inUse) {
    if (!inUse) Uncompress();
    m_head = inUse ? (m_head | kInUseBit) : (m_head & ~kInUseBit);
  }

 private:
  static constexpr uint32_t kNumMask = 0x00FFFFFFu;
  static constexpr int kGenHighShift = 24;
  static constexpr uint32_t kGenHighMask = 0x1Fu << kGenHighShift;
  static constexpr uint32_t kInUseBit = 1u << 30;
  static constexpr uint32_t kCompressedBit = 1u << 31;
  static constexpr int kGenBits = 21;
  static constexpr int kOffsetBits = 48;
  static constexpr int32_t kGenLimit = int32_t(1) << (kGenBits - 1);
  static constexpr int64_t kOffsetLimit = int64_t(1) << (kOffsetBits - 1);
  // A number beyond what the mask holds is kept as "no number", which every table refuses.
  static uint32_t NumBits(int32_t num) {
    return num >= 0 && num < static_cast<int32_t>(kNumMask) ? static_cast<uint32_t>(num) + 1 : 0u;
  }

  // The generation and offset of a plain entry, each as a two's complement field.
  int32_t PlacedGen() const {
    const uint32_t bits = (m_head & kGenHighMask) >> (kGenHighShift - 16) | m_high >> 16;
    return static_cast<int32_t>(bits << (32 - kGenBits)) >> (32 - kGenBits);
  }
  int64_t PlacedOffset() const {
    const uint64_t bits = static_cast<uint64_t>(m_high & 0xFFFFu) << 32 | m_low;
    return static_cast<int64_t>(bits << (64 - kOffsetBits)) >> (64 - kOffsetBits);
  }
  void Place(int32_t gen, int64_t offset) {
    if (gen < -kGenLimit || gen >= kGenLimit) gen = kMaxGeneration;
    if (offset < -kOffsetLimit || offset >= kOffsetLimit) offset = kUnreachableOffset;
    const auto genBits = static_cast<uint32_t>(gen);
    const auto offsetBits = static_cast<uint64_t>(offset);
    m_head = (m_head & ~kGenHighMask) | ((genBits << (kGenHighShift - 16)) & kGenHighMask);
    m_low = static_cast<uint32_t>(offsetBits);
    m_high = genBits << 16 | static_cast<uint32_t>((offsetBits >> 32) & 0xFFFFu);
  }
  void Uncompress() {
    if (!IsCompressed()) return;
    m_head &= ~kCompressedBit;
    Place(0, 0);
  }

  // A never-filled entry: no number, generation -1, offset 0.
  uint32_t m_head = kGenHighMask;
  uint32_t m_low = 0;
  uint32_t m_high = 0xFFFF0000u;
};
static_assert(sizeof(CPDFXRefEntry) == 12, "one table slot per object must stay small");

class CPDFXRef : public CPDFFileStruct {
 public:
  // The generation at which a number is retired for good.
  static constexpr int32_t kMaxGeneration = CPDFXRefEntry::kMaxGeneration;

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
  // table costs 12 bytes per object, and a lone high number costs one page, not the whole span.
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
