// The cross-reference table of one file section: where each object of the section lies, and
// the free list of object numbers.
#pragma once

#include <cstdint>
#include <map>
#include <vector>

#include "pdf/document/file_struct.h"

namespace quarn {

class CPDFXRefEntry {
 public:
  CPDFXRefEntry() = default;
  CPDFXRefEntry(int32_t num, int32_t gen, int64_t offset, bool inUse)
      : m_num(num), m_gen(gen), m_offset(offset), m_inUse(inUse) {}

  // An object in use that is stored in object stream `stream` at position `index` (entry type
  // 2 of a cross-reference stream); its generation is 0.
  static CPDFXRefEntry Compressed(int32_t num, int32_t stream, int32_t index) {
    CPDFXRefEntry entry(num, 0, 0, true);
    entry.m_objStm = stream;
    entry.m_objStmIndex = index;
    return entry;
  }

  int32_t Num() const { return m_num; }
  int32_t Gen() const { return m_gen; }
  // The byte offset of an object in use; for a free entry, the next number of the free list.
  int64_t Offset() const { return m_offset; }
  bool InUse() const { return m_inUse; }
  bool IsCompressed() const { return m_objStm > 0; }
  int32_t ObjStmNum() const { return m_objStm; }
  int32_t ObjStmIndex() const { return m_objStmIndex; }
  void SetGen(int32_t gen) { m_gen = gen; }
  // An entry given a byte offset (or a free-list link) no longer lies in an object stream.
  void SetOffset(int64_t offset) {
    m_offset = offset;
    m_objStm = 0;
    m_objStmIndex = 0;
  }
  void SetInUse(bool inUse) {
    m_inUse = inUse;
    if (!inUse) m_objStm = m_objStmIndex = 0;
  }

 private:
  int32_t m_num = -1;
  int32_t m_gen = -1;
  int64_t m_offset = 0;
  bool m_inUse = false;
  int32_t m_objStm = 0;  // 0: the object stands at m_offset in the file
  int32_t m_objStmIndex = 0;
};

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

  // Filled slots in ascending object number.
  const std::map<int32_t, CPDFXRefEntry>& Entries() const { return m_entries; }

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

  int32_t m_freeHead = 0;
  int32_t m_size = 0;
  std::map<int32_t, CPDFXRefEntry> m_entries;
  std::vector<int32_t> m_streamNumbers;
  int64_t m_sectionOffset = -1;
  bool m_streamSection = false;
};

}  // namespace quarn
