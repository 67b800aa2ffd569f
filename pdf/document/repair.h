// Finding the objects of a damaged file by reading it through: "N G obj" headers, "trailer"
// dictionaries, cross-reference streams, catalogs and object streams, as common readers do when
// "startxref" or the cross-reference data cannot be trusted. The file is read in blocks, and
// every byte is looked at a bounded number of times, so a scan of any size finishes in time
// linear in the file and memory linear in the number of objects.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "pdf/object/values.h"

namespace quarn {

class InStream;

class CPDFFileScan {
 public:
  static constexpr size_t kBlockSize = 64 * 1024;
  // A dictionary is judged from at most this many bytes after its object header.
  static constexpr size_t kPeekSize = 4096;

  struct Object {
    int32_t gen = 0;
    int64_t offset = 0;  // of the object header
  };
  struct Compressed {
    int32_t stream = 0;  // the object stream's number
    int32_t index = 0;
    int64_t streamOffset = 0;  // where that object stream stands in the file
  };

  // Reads all of `in`. Never fails: a file without anything recognizable gives an empty scan.
  static std::unique_ptr<CPDFFileScan> Run(InStream& in);
  ~CPDFFileScan();

  // Decodes the object streams found (the newest definition of each number) and lists the
  // objects they hold. Only for files that are not encrypted: an encrypted object stream cannot
  // be read before the document key is known, and its objects then stay unlisted.
  void ExpandObjectStreams(InStream& in);

  // The newest definition of each object number found in the open.
  const std::map<int32_t, Object>& Objects() const;
  // Objects whose newest definition lies in an object stream (after ExpandObjectStreams).
  const std::map<int32_t, Compressed>& CompressedObjects() const;
  // The last trailer dictionary (of a "trailer" keyword or a cross-reference stream) that
  // names a "Root"; nullptr when there is none.
  const CPDFDict* Trailer() const;
  // The number of the last object whose dictionary has "Type" "Catalog"; 0 when none.
  int32_t Catalog() const;
  // The numbers of all objects whose newest definition has "Type" "Catalog", the last in the
  // file first.
  std::vector<int32_t> Catalogs() const;
  // The numbers of the objects whose newest definition has "Type" "Page", in file order.
  std::vector<int32_t> Pages() const;
  // Numbers of the cross-reference streams and object streams found that are still the newest
  // definition of their number: a rewrite drops them.
  std::vector<int32_t> StreamNumbers() const;
  // Whether an object of the file is an encryption dictionary, named by a trailer or not.
  bool HasEncryption() const;
  // Where "%PDF-" stands in the first kilobyte, or -1.
  int64_t HeaderOffset() const;
  // The highest number above `low` and up to `high` that a reference "N G R" in the file's
  // plain bytes names (`low` for none): an object lost with the damage may still be named by
  // the objects found.
  int32_t HighestReferenceIn(int32_t low, int32_t high) const;

 private:
  struct Event {
    enum Kind { kNone, kObject, kTrailer } kind = kNone;
    int32_t num = 0;
    int32_t gen = 0;
    int64_t start = 0;      // of the header or keyword
    int64_t bodyStart = 0;  // just after "obj" or "trailer"
  };
  struct ObjectStream {
    int32_t gen = 0;
    int64_t offset = 0;
    int64_t dataStart = 0;
    int64_t dataEnd = 0;
    std::unique_ptr<CPDFDict> dict;
  };

  // The scan's state, defined with the code (repair_members.h).
  struct Members;
  std::unique_ptr<Members> m_;

  CPDFFileScan();
  void ScanBlock(InStream& in, const char* buffer, size_t length, size_t carried, int64_t base,
                 bool atEnd);
  void Accept(InStream& in, const Event& event);
  // Settles the pending event, whose bytes end where the next event starts (or the file ends).
  void Settle(InStream& in, int64_t end);
  void SettleObject(InStream& in, const Event& event, int64_t end);
  void SettleTrailer(InStream& in, const Event& event, int64_t end);
  // Whether the object of `event`, whose bytes run to `end`, was cut off: no "endobj", and a
  // value that does not parse or that a reader cannot take without it (a dictionary).
  static bool IsCutOff(InStream& in, const Event& event, int64_t end);
  void NoteEncryption(const std::string& peek);
};

}  // namespace quarn
