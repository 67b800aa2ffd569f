// The trailer of one file section: its dictionary ("Size", "Prev", "Root", "Info", "ID",
// "Encrypt") and the offset of the section's cross-reference table.
#pragma once

#include <cstdint>
#include <memory>

#include "pdf/document/file_struct.h"
#include "pdf/object/values.h"

namespace quarn {

class CPDFCatalog;
class CPDFInfoDict;
class CPDFEncryptDict;

class CPDFTrailer : public CPDFFileStruct {
 public:
  explicit CPDFTrailer(CPDFDoc* doc = nullptr) : CPDFFileStruct(kTrailer, doc) {}

  // Reads "trailer", the dictionary, "startxref", the offset and "%%EOF"; throws on failure.
  void Read(CPDFDoc* doc, InStream& in);
  // "trailer", the dictionary, "startxref", the offset, "%%EOF", each line ending in CR LF.
  void Serialize(OutStream& out) const override;
  // A new trailer: a copy of `previous` with "Prev" set to its table's offset; without one, a
  // new document's "Size" 1 and catalog (an FDF catalog for FDF files).
  void Create(CPDFDoc* doc, const CPDFTrailer* previous);
  // Resolves indirect "Size" and "Prev" into direct integers and binds "Encrypt" (PDF only).
  bool Realize(CPDFDoc* doc);

  CPDFDict& Dict() { return m_dict; }
  const CPDFDict& Dict() const { return m_dict; }
  int64_t StartXRef() const { return m_startXRef; }
  void SetStartXRef(int64_t offset) { m_startXRef = offset; }

  CPDFNumber* Get_Size(CPDFObjRef* ref = nullptr) const;
  CPDFNumber* Get_Prev(CPDFObjRef* ref = nullptr) const;
  // The catalog and the information dictionary, bound on first use when they are plain.
  CPDFCatalog* Get_Root(CPDFObjRef* ref = nullptr);
  CPDFInfoDict* Get_Info(CPDFObjRef* ref = nullptr);
  CPDFArray* Get_ID(CPDFObjRef* ref = nullptr) const;
  // The bound encryption dictionary (binding a plain one on first use), or nullptr.
  CPDFEncryptDict* Get_Encrypt(CPDFObjRef* ref = nullptr);
  // The FDF catalog of an FDF file: the "Root" dictionary as it stands.
  CPDFDict* Get_FDFRoot(CPDFObjRef* ref = nullptr) const;

  bool Set_Size(std::unique_ptr<CPDFObject> v, bool indirect = false, CPDFObjRef* ref = nullptr);
  bool Set_Prev(std::unique_ptr<CPDFObject> v, bool indirect = false, CPDFObjRef* ref = nullptr);
  bool Set_Root(std::unique_ptr<CPDFObject> v, bool indirect = false, CPDFObjRef* ref = nullptr);
  bool Set_Info(std::unique_ptr<CPDFObject> v, bool indirect = false, CPDFObjRef* ref = nullptr);
  bool Set_Encrypt(std::unique_ptr<CPDFObject> v, bool indirect = false, CPDFObjRef* ref = nullptr);

 private:
  // Replaces an indirect number under `key` by a direct integer of the same value.
  bool MakeDirectInt(const char* key, bool required);

  CPDFDict m_dict;
  int64_t m_startXRef = -1;
};

}  // namespace quarn
