// The cross-reference table's packed slots: what an entry keeps, and tables that span pages of
// slots, sparse numbers and the offsets of objects written before the table; the table of
// output offsets that a save keeps.
#include <gtest/gtest.h>

#include <cstdint>
#include <iterator>
#include <utility>
#include <vector>

#include "pdf/document/xref.h"
#include "pdf/object/limits.h"
#include "support/values.h"

namespace quarn {
namespace {

using test::Text;

// A compressed entry given an offset, or freed, no longer lies in its object stream.
CPDFXRefEntry Changed(bool free) {
  CPDFXRefEntry entry = CPDFXRefEntry::Compressed(9, 4, 2);
  if (free)
    entry.SetInUse(false);
  else
    entry.SetOffset(500);
  return entry;
}

// A plain entry whose generation, then offset, are changed in place: each keeps the other.
CPDFXRefEntry Renewed() {
  CPDFXRefEntry entry(11, 65535, -5, true);
  entry.SetGen(3);
  entry.SetOffset((int64_t(1) << 47) - 2);
  return entry;
}

struct Packed {
  CPDFXRefEntry entry;
  int32_t num, gen;
  int64_t offset;
  bool inUse, compressed;
  int32_t stm, index;
};

TEST(XRefSlots, EntriesKeepWhatTheyWereGiven) {
  const int64_t far = int64_t(1) << 40;
  const int64_t unreachable = CPDFXRefEntry::kUnreachableOffset;
  const int32_t top = limits::kMaxObjectNumber;
  const Packed cases[] = {
      {CPDFXRefEntry(), -1, -1, 0, false, false, 0, 0},
      {CPDFXRefEntry(7, 99999, far, true), 7, 99999, far, true, false, 0, 0},
      {CPDFXRefEntry(top, 3, 12, false), top, 3, 12, false, false, 0, 0},
      {CPDFXRefEntry(1, 0, 0, true), 1, 0, 0, true, false, 0, 0},
      {CPDFXRefEntry(2, 65535, int64_t(1) << 32, true), 2, 65535, int64_t(1) << 32, true, false, 0,
       0},
      // What a damaged table may say: a generation of -1 or -9999, a negative offset.
      {CPDFXRefEntry(3, -1, -999999999, false), 3, -1, -999999999, false, false, 0, 0},
      {CPDFXRefEntry(4, -9999, 9999999999, true), 4, -9999, 9999999999, true, false, 0, 0},
      {CPDFXRefEntry(5, (1 << 20) - 1, unreachable, true), 5, (1 << 20) - 1, unreachable, true,
       false, 0, 0},
      {CPDFXRefEntry(6, -(1 << 20), -(int64_t(1) << 47), true), 6, -(1 << 20), -(int64_t(1) << 47),
       true, false, 0, 0},
      // Beyond what a slot holds: a retired generation, an offset that no file reaches.
      {CPDFXRefEntry(8, 1 << 20, (int64_t(1) << 48) - 1, true), 8, 65535, unreachable, true, false,
       0, 0},
      {CPDFXRefEntry(8, INT32_MIN, -(int64_t(1) << 47) - 1, false), 8, 65535, unreachable, false,
       false, 0, 0},
      {CPDFXRefEntry::Compressed(9, 4, 2147483647), 9, 0, 0, true, true, 4, 2147483647},
      {CPDFXRefEntry::Compressed(top, top, 0), top, 0, 0, true, true, top, 0},
      {CPDFXRefEntry(int32_t(1) << 25, 0, 5, true), -1, 0, 5, true, false, 0, 0},
      {Changed(false), 9, 0, 500, true, false, 0, 0},
      {Changed(true), 9, 0, 0, false, false, 0, 0},
      {Renewed(), 11, 3, (int64_t(1) << 47) - 2, true, false, 0, 0},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    const Packed& c = cases[i];
    SCOPED_TRACE(i);
    EXPECT_EQ(c.entry.Num(), c.num);
    EXPECT_EQ(c.entry.Gen(), c.gen);
    EXPECT_EQ(c.entry.Offset(), c.offset);
    EXPECT_EQ(c.entry.InUse(), c.inUse);
    EXPECT_EQ(c.entry.IsCompressed(), c.compressed);
    EXPECT_EQ(c.entry.ObjStmNum(), c.stm);
    EXPECT_EQ(c.entry.ObjStmIndex(), c.index);
  }
  // A number the slot cannot hold is refused, not folded onto another.
  CPDFXRef xref;
  EXPECT_EQ(xref.SetEntry(cases[13].entry), nullptr);
  EXPECT_EQ(xref.Count(), 0u);
}

TEST(XRefSlots, SparseNumbersAcrossPagesOfSlots) {
  CPDFXRef xref;
  const int32_t nums[] = {1, 2, 1023, 1024, 1025, 5000000};
  for (const int32_t n : nums) ASSERT_NE(xref.SetEntry(CPDFXRefEntry(n, 0, n * 10, true)), nullptr);
  xref.SetEntry(CPDFXRefEntry(1024, 1, 7, false));  // filled again: still one slot
  EXPECT_EQ(xref.Count(), 6u);
  EXPECT_EQ(xref.Highest(), 5000000);
  EXPECT_EQ(xref.Size(), 5000000);
  for (const int32_t absent : {3, 1022, 1026, 4999999, 5000001}) {
    EXPECT_EQ(xref.GetEntry(absent), nullptr) << absent;
  }
  EXPECT_EQ(xref.GetEntry(1024)->Gen(), 1);
  std::vector<int32_t> seen;
  xref.ForEach([&seen](int32_t num, const CPDFXRefEntry& e) {
    EXPECT_EQ(e.Num(), num);
    seen.push_back(num);
  });
  EXPECT_EQ(seen, std::vector<int32_t>(std::begin(nums), std::end(nums)));
}

TEST(XRefSlots, WriteTakesTheOffsetsOfObjectsWrittenBefore) {
  CPDFXRef xref;
  xref.SetEntry(CPDFXRefEntry(1, 0, 100, true));
  xref.SetEntry(CPDFXRefEntry(2, 0, 0, false));
  xref.SetEntry(CPDFXRefEntry(4, 2, 300, true));
  OutputOffsets written;
  written.Note(2, 9, true);  // free in the table: keeps its own link
  written.Note(4, 17, false);
  StringOutStream out;
  xref.Write(out, &written);
  EXPECT_EQ(out.Str(),
            "xref\r\n0 3\r\n0000000000 65535 f \n0000000100 00000 n \n0000000000 00000 f \n"
            "4 1\r\n0000000017 00002 n \n");
  EXPECT_EQ(Text(xref).substr(Text(xref).size() - 20), "0000000300 00002 n \n");
}

TEST(OutputOffsetsTable, NotesFindsAndListsInAscendingOrder) {
  using Noted = std::vector<std::pair<int32_t, int64_t>>;
  // Across pages of slots, the first and last numbers a table holds, offset 0 and large ones;
  // odd numbers are noted as released.
  const Noted noted = {{1, 0},
                       {1023, 15},
                       {1024, int64_t(1) << 40},
                       {5000000, (int64_t(1) << 62) - 2},
                       {limits::kMaxObjectNumber, 7}};
  OutputOffsets offsets;
  for (const auto& [num, offset] : noted) EXPECT_TRUE(offsets.Note(num, offset, num % 2 == 1));
  Noted listed;
  offsets.ForEach([&](int32_t num) { listed.emplace_back(num, offsets.Find(num)); });
  EXPECT_EQ(listed, noted);
  for (const auto& [num, offset] : noted) {
    EXPECT_EQ(offsets.Find(num), offset) << num;
    EXPECT_EQ(offsets.IsReleased(num), num % 2 == 1) << num;
  }
  // What a slot cannot hold is refused.
  for (const auto& [num, offset] :
       Noted{{0, 1}, {-1, 1}, {limits::kMaxObjectNumber + 1, 1}, {2, -1}, {3, int64_t(1) << 62}}) {
    EXPECT_FALSE(offsets.Note(num, offset, true)) << num;
    EXPECT_FALSE(offsets.Has(num)) << num;
  }
  offsets.Note(1023, 3, false);  // noted again: the last note holds
  EXPECT_EQ(offsets.Find(1023), 3);
  EXPECT_FALSE(offsets.IsReleased(1023));
  offsets.Clear();
  for (const auto& [num, offset] : noted) EXPECT_FALSE(offsets.Has(num)) << num;
}

TEST(OutputOffsetsTable, PlacesObjectsInObjectStreamsAndAtOffsets) {
  OutputOffsets offsets;
  ASSERT_TRUE(offsets.NoteCompressed(7, limits::kMaxObjectNumber, 199, true));
  ASSERT_TRUE(offsets.Note(8, 4096, false));
  EXPECT_FALSE(offsets.NoteCompressed(9, 0, 1, true));
  EXPECT_FALSE(offsets.NoteCompressed(9, 5, -1, true));
  EXPECT_TRUE(offsets.IsReleased(7));
  EXPECT_EQ(offsets.Find(7), -1);  // no byte offset of its own
  CPDFXRefEntry packed(7, 0, 100, true), moved(8, 3, 100, true), untouched(9, 0, 100, true);
  ASSERT_TRUE(offsets.Place(7, packed));
  EXPECT_TRUE(packed.IsCompressed());
  EXPECT_EQ(packed.ObjStmNum(), limits::kMaxObjectNumber);
  EXPECT_EQ(packed.ObjStmIndex(), 199);
  ASSERT_TRUE(offsets.Place(8, moved));
  EXPECT_FALSE(moved.IsCompressed());
  EXPECT_EQ(moved.Offset(), 4096);
  EXPECT_EQ(moved.Gen(), 3);
  EXPECT_FALSE(offsets.Place(9, untouched));
  EXPECT_EQ(untouched.Offset(), 100);
}

}  // namespace
}  // namespace quarn
