// Object streams ("Type" "ObjStm"): streams whose decoded data holds "N" objects, led by N pairs
// of object number and offset (from "First"). Objects whose cross-reference entry is
// compressed (type 2) are parsed from here. A decoded stream is kept in a small cache while it
// is needed, so that reading its objects one by one decodes it once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <list>
#include <map>
#include <memory>
#include <utility>
#include <vector>

#include "pdf/document/xref.h"
#include "pdf/object/values.h"
#include "pdf/object/huge_string.h"

namespace quarn {

class CPDFDoc;
class CPDFStream;
class SourceFile;

class CPDFObjStm {
 public:
  // Decodes `stream`, the object stream numbered `num` (read and decrypted by the caller), and
  // reads its header. Throws code 4 ("CPDFDoc", "LoadObj") when it is not an object stream or
  // its "N", "First" or data do not fit together.
  static std::unique_ptr<CPDFObjStm> Decode(int32_t num, CPDFStream& stream);
  // The same on data already decoded, with the values of "N" and "First".
  static std::unique_ptr<CPDFObjStm> FromData(int32_t num, const char* data, size_t size,
                                              int32_t count, int64_t first);

  int32_t Num() const { return m_num; }
  // The pairs the header really holds (fewer than "N" when the data ends early).
  size_t Count() const { return m_header.size(); }
  int32_t NumberAt(size_t index) const { return m_header[index].first; }
  // The size of the decoded data.
  uint64_t DataSize() const { return m_data.Length(); }
  // The object stream this one extends ("Extends"), 0 for none.
  int32_t Extends() const { return m_extends; }

  // Parses object `num` stored at `index` (when the header has another number there, the
  // header is searched for `num`). Objects in an object stream are never encrypted and never
  // streams. Throws code 4 ("CPDFDoc", "LoadObj").
  std::unique_ptr<CPDFObject> ParseObject(int32_t num, int32_t index) const;

 private:
  CPDFObjStm() = default;

  int32_t m_num = 0;
  int32_t m_extends = 0;
  int64_t m_first = 0;
  TempHugeString m_data;
  std::vector<std::pair<int32_t, int64_t>> m_header;  // object number, offset from First
};

class CPDFObjStmCache {
 public:
  // How many decoded object streams are kept: objects are mostly read in number order, and an
  // object stream holds neighbouring numbers.
  static constexpr size_t kCapacity = 8;

  // Loads object `ref` (generation 0) from object stream `stmNum` at `index`, decoding that
  // stream first when it is not in the cache. Throws code 4 ("CPDFDoc", "LoadObj") when the
  // object stream is missing, free, itself compressed, being loaded already (it contains
  // itself), or broken.
  std::unique_ptr<CPDFObject> Load(CPDFDoc& doc, const CPDFObjRef& ref, int32_t stmNum,
                                   int32_t index);
  // Keeps where object stream `entry.Num()` lies, for when the document's tables no longer list
  // it (a full rewrite frees the numbers of object streams before it writes their objects).
  void KeepLocation(const CPDFXRefEntry& entry);
  void Clear();

 private:
  const CPDFObjStm& Get(CPDFDoc& doc, int32_t stmNum);
  std::unique_ptr<CPDFObjStm> Read(CPDFDoc& doc, int32_t stmNum);

  std::list<std::unique_ptr<CPDFObjStm>> m_streams;  // most recently used first
  std::map<int32_t, CPDFXRefEntry> m_locations;
  std::vector<int32_t> m_loading;
  const SourceFile* m_source = nullptr;  // the file the decoded streams came from
};

}  // namespace quarn
