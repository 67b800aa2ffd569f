// CMaps: multi-byte character codes to CIDs (encoding CMaps) and codes to Unicode (ToUnicode
// CMaps). A CMap is read from an Adobe CMap resource file, from a ToUnicode stream, or made
// from the eight Japanese CMaps built into the library; the CMap stream dictionary of a font's
// Encoding is `CPDFCMap`.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "pdf/object/typed_dict.h"
#include "pdf/stream/stream.h"

namespace quarn {

// Where the CMap resources are looked for when the library is given no CMap directory: the
// Adobe-Japan1 resources of Debian's poppler-data.
inline constexpr const char* kDefaultCMapDir = "/usr/share/poppler/cMap/Adobe-Japan1/";

// A code-space, notdef or CID range. A notdef range maps every code to its start CID.
struct CMapRange {
  uint16_t low = 0;
  uint16_t high = 0;
  uint8_t length = 0;  // 1 or 2 bytes; 0 marks a range no code can match
  uint16_t startCID = 0;
  uint16_t endCID = 0;
};

// A bf char (low == high) or bf range of a ToUnicode CMap: codes low..high to Unicode
// first..last (one UTF-16 unit each).
struct CMapBfEntry {
  uint16_t low = 0;
  uint16_t high = 0;
  uint16_t first = 0;
  uint16_t last = 0;
};

class CMapFile {
 public:
  CMapFile() = default;
  CMapFile(const CMapFile&) = delete;
  CMapFile& operator=(const CMapFile&) = delete;

  // Parses the file at `path`; a parent named by usecmap is looked for in `cmapDir`.
  bool Load(const std::string& path, bool headerRequired, const std::string& cmapDir = "");
  // The file `name` in `cmapDir` (a directory with its trailing "/"), else the built-in CMap of
  // that exact name. A name holding "/" never reaches the file system.
  bool LoadByName(const std::string& cmapDir, const std::string& name);
  // One of the eight built-in CMaps; its parent is loaded by name from `cmapDir`.
  bool LoadBuiltIn(const std::string& name, const std::string& cmapDir = "");
  // Parses a buffer. A ToUnicode CMap needs no header line.
  bool Parse(std::string_view bytes, bool asToUnicode, const std::string& cmapDir = "");

  const std::string& CMapName() const { return m_cmapName; }
  const std::string& Registry() const { return m_registry; }
  const std::string& Ordering() const { return m_ordering; }
  int16_t Supplement() const { return m_supplement; }
  int32_t CMapVersion() const { return m_cmapVersion; }
  int32_t CMapMode() const { return m_cmapMode; }
  int32_t WMode() const { return m_wmode; }
  bool IsVertical() const { return m_wmode == 1; }
  const std::string& UseCMapName() const { return m_useCMapName; }
  const CMapFile* Parent() const { return m_parent.get(); }

  const std::vector<CMapRange>& CodeSpaceRanges() const { return m_codeSpace; }
  const std::vector<CMapRange>& NotdefRanges() const { return m_notdef; }
  const std::vector<CMapRange>& CIDRanges() const { return m_cidRanges; }
  const std::vector<CMapBfEntry>& BfChars() const { return m_bfChars; }
  const std::vector<CMapBfEntry>& BfRanges() const { return m_bfRanges; }

  // The four mappings. Each appends to `out` and returns the number of bytes it appended.
  // Codes -> big-endian 2-byte CIDs; stops at the first code no range holds.
  size_t MapCodesToCIDs(std::string& out, std::string_view codes) const;
  // Big-endian 2-byte CIDs -> codes of 1 or 2 bytes; a CID no range gives is skipped.
  size_t MapCIDsToCodes(std::string& out, std::string_view cids) const;
  // 2-byte codes -> UTF-16BE; stops at the first unmapped code.
  size_t MapCodesToUnicode(std::string& out, std::string_view codes) const;
  // UTF-16BE -> 2-byte codes; an unmapped unit is skipped.
  size_t MapUnicodeToCodes(std::string& out, std::string_view text) const;

 private:
  friend class CMapParser;
  void Reset();
  const CMapRange* FindCodeRange(const unsigned char* code, size_t remaining) const;
  const CMapRange* FindCIDRange(uint16_t cid) const;
  const CMapBfEntry* FindBfByCode(uint16_t code) const;
  const CMapBfEntry* FindBfByUnicode(uint16_t value) const;
  bool LoadParent(const std::string& cmapDir);

  std::string m_cmapName;
  std::string m_registry;
  std::string m_ordering;
  int16_t m_supplement = -1;
  int32_t m_cmapVersion = 0;
  int32_t m_cmapMode = 0;
  int32_t m_wmode = 0;
  std::string m_useCMapName;
  std::unique_ptr<CMapFile> m_parent;

  std::vector<CMapRange> m_codeSpace;
  std::vector<CMapRange> m_notdef;
  std::vector<CMapRange> m_cidRanges;
  std::vector<CMapBfEntry> m_bfChars;
  std::vector<CMapBfEntry> m_bfRanges;

  // Memo maps: the entry that last answered a code (or CID, or Unicode value).
  mutable const CMapRange* m_memoByte[256] = {};
  mutable std::unordered_map<uint16_t, const CMapRange*> m_memoCode;
  mutable std::unordered_map<uint16_t, const CMapRange*> m_memoCID;
  mutable std::unordered_map<uint16_t, const CMapBfEntry*> m_memoUnicodeOfCode;
  mutable std::unordered_map<uint16_t, const CMapBfEntry*> m_memoCodeOfUnicode;
};

// CID folding between the proportional, full-width and half-width forms of Adobe-Japan1, in
// place over big-endian 2-byte CIDs (an odd last byte is left alone).
void FoldToHalfWidth(std::string& cids);
void FoldToProportional(std::string& cids);

// The CMap stream of a font's Encoding.
class CPDFCMap : public CPDFDataStruct, public CPDFStream {
 public:
  explicit CPDFCMap(CPDFObjHolder* doc = nullptr) : CPDFStream(doc) {}
  std::unique_ptr<CPDFObject> NewEmpty(CPDFObjHolder* target) const override {
    return std::make_unique<CPDFCMap>(target);
  }
  bool Realize(CPDFObjHolder* doc, CPDFObject& source);
  void SwapContent(CPDFObject& other) override { CPDFStream::SwapContent(other); }

  QUARN_ACCESSOR(CMapName, CPDFName)
  QUARN_ACCESSOR(CIDSystemInfo, CPDFObject)
  QUARN_ACCESSOR(WMode, CPDFNumber)
  QUARN_ACCESSOR(UseCMap, CPDFObject)
};

// Recognizer: a stream with Type /CMap, a CMapName name and a CIDSystemInfo array or dictionary.
bool IsCMap(CPDFObjHolder* doc, CPDFObject* value);

// A CMap stream (an Encoding or a ToUnicode stream) decoded and parsed. Throws the filter's
// error, or (module, operation, 5, "CPDFStream::Duplicate()" / "invalid ToUnicode stream").
std::unique_ptr<CMapFile> ParseCMapStream(CPDFObjHolder* doc, CPDFStream& stream, bool asToUnicode,
                                          const char* module, const char* operation);

}  // namespace quarn
