// The document: its file sections, its object store, saving, security and pages.
//
// Public contract used across the library. The document layer owns the private state and may
// add private members and helpers freely; the public signatures below are relied on by the
// stream, content, font and tool layers.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "pdf/object/crypt_context.h"
#include "pdf/object/exception.h"
#include "pdf/object/values.h"

namespace quarn {

class CPDFLib;
class CPDFPage;
class CPDFHeader;
class CPDFBody;
class CPDFXRef;
class CPDFXRefEntry;
class CPDFTrailer;
class InStream;
class FileOutStream;
class SourceFile;
class OutputFile;
class CPDFPages;
class CPDFLineaParams;
class CPDFHintStream;
class CPDFObjRefDict;
class CPDFObjStmCache;
class CPDFFileScan;

class CPDFDoc {
 public:
  explicit CPDFDoc(CPDFLib* lib = nullptr);
  ~CPDFDoc();
  CPDFDoc(const CPDFDoc&) = delete;
  CPDFDoc& operator=(const CPDFDoc&) = delete;

  // ---- error record ----
  CPDFErrorRecord& LastError() { return m_error; }
  const CPDFErrorRecord& LastError() const { return m_error; }
  void ClearError() { m_error.Clear(); }

  // ---- life ----
  bool Open(CPDFLib* lib, const std::string& fileName, const char* password);
  // Makes a new, empty PDF document (header 1.3, catalog, empty page tree) with no file.
  bool Create(CPDFLib* lib);
  void Close();
  CPDFLib* Lib() const { return m_lib; }
  const std::string& FileName() const { return m_fileName; }
  bool IsFDF() const;
  // The open input file, shared with streams whose data was left in it.
  const std::shared_ptr<SourceFile>& Source() const { return m_source; }

  // ---- object store ----
  CPDFObject* GetObj(const CPDFObjRef& ref);
  std::unique_ptr<CPDFObject> LoadObj(const CPDFObjRef& ref, int64_t offset);
  CPDFObject* FindObj(const CPDFObjRef& ref, bool skipNewest, CPDFBody** body = nullptr);
  CPDFXRefEntry* FindEntry(int32_t num, bool skipNewest, CPDFXRef** table = nullptr);
  // Files `obj` under *ref when that is defined (replacing the object there), else gives it a
  // new number written back to *ref.
  bool RegistObj(std::unique_ptr<CPDFObject> obj, CPDFObjRef* ref);
  bool UpdateObj(const CPDFObjRef& ref);
  void DeleteObj(const CPDFObjRef& ref);
  int64_t StoreObj(const CPDFObjRef& ref, const CPDFObject& obj);
  bool ReleaseObj(const CPDFObjRef& ref, bool force);
  CPDFBody* GetBody();
  CPDFXRef* GetXRef();
  CPDFTrailer* GetTrailer();
  CPDFHeader* GetHeader() { return m_header.get(); }

  // ---- saving ----
  bool Save(const char* fileName, bool incremental, bool linearize);
  bool Flush();
  bool SetDocInfo();
  bool IsSaving() const { return m_saveCalled; }
  bool IsFlushing() const { return m_flushRunning; }

  // ---- pages ----
  CPDFPage* GetPage(int position, CPDFObjRef* ref = nullptr);
  int GetPageCount();
  bool DeletePage(int position, int count);

  // ---- linearization ----
  bool Linearize();
  bool LinearizeObj(const CPDFObjRef& ref, bool force);
  bool IsLinearized() const { return m_linearized; }

  // ---- damaged files ----
  // Warnings about the input, for the caller to show after Open: "damaged file repaired: %s"
  // (with the file name) when the cross-reference data had to be rebuilt from the objects in
  // the file. Reads that need a repair later on add it then.
  const std::vector<std::string>& Warnings() const { return m_warnings; }
  bool IsRepaired() const { return m_repaired; }

  // ---- security ----
  // The object key context for reading (document key) or writing (output key); nullptr when
  // that side is not encrypted.
  std::unique_ptr<CPDFCryptContext> ReadCrypt(const CPDFObjRef& ref) const;
  std::unique_ptr<CPDFCryptContext> WriteCrypt(const CPDFObjRef& ref) const;

 private:
#include "pdf/document/doc_private.inc"
};

}  // namespace quarn
