// Single-byte encodings: the code <-> glyph name table that every simple font uses, the five
// built-in named encodings, and the encoding dictionary with its Differences.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "pdf/object/typed_dict.h"

namespace quarn {

// Two maps, code -> glyph name and glyph name -> code. Adding a mapping overwrites both, so a
// name carried by several codes maps back to the code added last.
class EncodingTable {
 public:
  bool AddMapping(uint8_t code, std::string_view name);
  // The code's name; a code without one gets the synthetic name "G%02X", unless a real glyph
  // of exactly that name is in the table (then false: the names would be confused).
  bool CodeToName(uint8_t code, std::string& name) const;
  // The name's code; a synthetic name "Gxx" (hex digits of either case) reads back as its code.
  bool NameToCode(std::string_view name, uint8_t& code) const;
  // Fills the table with the built-in encoding of that exact name; false for unknown names.
  bool LoadBuiltIn(std::string_view name);

  // True when the table names the code itself (a synthetic name does not count).
  bool HasCode(uint8_t code) const { return m_codeToName.count(code) != 0; }
  size_t CodeCount() const { return m_codeToName.size(); }
  size_t NameCount() const { return m_nameToCode.size(); }
  void Clear();

  static std::string SyntheticName(uint8_t code);
  static std::optional<uint8_t> ParseSyntheticName(std::string_view name);

 private:
  std::map<uint8_t, std::string> m_codeToName;
  std::map<std::string, uint8_t, std::less<>> m_nameToCode;
};

// The names of the built-in encodings, in the order the library knows them.
inline constexpr std::string_view kBuiltInEncodingNames[] = {"StandardEncoding", "WinAnsiEncoding",
                                                             "MacRomanEncoding",
                                                             "MacExpertEncoding", "PDFDocEncoding"};

// An encoding dictionary: a base encoding changed by a Differences array.
class CPDFEncoding : public CPDFDataStruct, public CPDFDict {
  QUARN_TYPED_CLASS(CPDFEncoding, CPDFDict, "Encoding")
 public:
  // Writes Type /Encoding.
  bool Create(CPDFObjHolder* doc);
  // Takes over the content of `source`; numbers read from the file in Differences become
  // integer objects in place (indirect elements keep their identity).
  bool Realize(CPDFObjHolder* doc, CPDFObject& source);
  void SwapContent(CPDFObject& other) override;

  // The base encoding's name, "StandardEncoding" when the key is absent.
  std::string Get_BaseEncoding() const;
  QUARN_SET(BaseEncoding, CPDFName)
  QUARN_ACCESSOR(Differences, CPDFArray)

  // Rebuilds the differences table from Differences; failures go to the document's record.
  bool UpdateDifferences();
  // The differences table, built on first use; nullptr when it cannot be built.
  const EncodingTable* GetDifferences();

  // An encoding view of any encoding dictionary (one without a Type entry among them): a
  // bound copy of it, so that the dictionary itself keeps its class.
  static std::unique_ptr<CPDFEncoding> FromDict(CPDFObjHolder* doc, const CPDFDict& dict);

 private:
  std::unique_ptr<EncodingTable> m_differences;
};

// Recognizer: a dictionary whose Type is the name "Encoding".
bool IsEncoding(CPDFObjHolder* doc, CPDFObject* value);

// Fills `table` from a Differences array: the first element gives the starting code, an integer
// object starts a new run, a name takes the current code and moves it on by one (255 wraps to
// 0); anything else is passed over.
bool BuildDifferencesTable(CPDFObjHolder* doc, const CPDFArray& differences, EncodingTable& table);

// A new encoding dictionary whose Differences turn StandardEncoding into PDFDocEncoding (used by
// the interactive form dictionary).
std::unique_ptr<CPDFEncoding> CreatePDFDocEncodingDict(CPDFObjHolder* doc);

}  // namespace quarn
