// The document: its file sections, its object store, saving, security and pages.
//
// Public contract used across the library. The document layer owns the private state below and
// may add private members and helpers freely; the public signatures are relied on by the
// content, font and tool layers and by programs using the library.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "pdf/document/output_offsets.h"
#include "pdf/object/crypt_context.h"
#include "pdf/object/exception.h"
#include "pdf/object/values.h"

namespace quarn {

class CPDFLibBase;
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
class CPDFObjStmPacker;
class CPDFFileScan;
class CPDFEncryptDict;

class CPDFDoc final : public CPDFObjHolder {
 public:
  explicit CPDFDoc(CPDFLibBase* lib = nullptr);
  ~CPDFDoc() override;
  CPDFDoc(const CPDFDoc&) = delete;
  CPDFDoc& operator=(const CPDFDoc&) = delete;

  // ---- error record ----
  CPDFErrorRecord& LastError() override;
  const CPDFErrorRecord& LastError() const override;
  using CPDFObjHolder::ClearError;

  // ---- life ----
  bool Open(CPDFLibBase* lib, const std::string& fileName, const char* password);
  // Makes a new, empty PDF document (header 1.3, catalog, empty page tree) with no file.
  bool Create(CPDFLibBase* lib);
  void Close();
  CPDFLibBase* Lib() const;
  const std::string& FileName() const;
  bool IsFDF() const;
  // The open input file, shared with streams whose data was left in it.
  const std::shared_ptr<SourceFile>& Source() const;

  // ---- object store ----
  CPDFObject* GetObj(const CPDFObjRef& ref) override;
  CPDFObject* FindLoadedObj(const CPDFObjRef& ref) override { return FindObj(ref, false); }
  // Only objects listed at a plain offset of the input are read, through an input of their own.
  bool PeekInteger(const CPDFObjRef& ref, int64_t* value) override;
  std::unique_ptr<CPDFObject> LoadObj(const CPDFObjRef& ref, int64_t offset);
  // A fresh copy of an object as the input holds it (decrypted), not filed: for an object whose
  // loaded form has changed or has been written and released. nullptr, with the error kept,
  // when the input has no such object.
  std::unique_ptr<CPDFObject> LoadOriginal(const CPDFObjRef& ref);
  CPDFObject* FindObj(const CPDFObjRef& ref, bool skipNewest, CPDFBody** body = nullptr);
  CPDFXRefEntry* FindEntry(int32_t num, bool skipNewest, CPDFXRef** table = nullptr);
  // Files `obj` under *ref when that is defined (replacing the object there), else gives it a
  // new number written back to *ref.
  bool RegistObj(std::unique_ptr<CPDFObject> obj, CPDFObjRef* ref) override;
  bool UpdateObj(const CPDFObjRef& ref) override;
  void DeleteObj(const CPDFObjRef& ref) override;
  int64_t StoreObj(const CPDFObjRef& ref, const CPDFObject& obj);
  bool ReleaseObj(const CPDFObjRef& ref, bool force) override;
  // Drops an object that was read from the input and not changed since (no UpdateObj, no
  // RegistObj over it) from memory without writing it: it is read again when next asked for,
  // and a save copies it from the input. False (nothing done) for any other object. Pointers to
  // the object must not be held.
  bool UnloadObj(const CPDFObjRef& ref);
  // Deletes the objects that were replaced in the store (a value re-filed as its typed class,
  // RegistObj over a number, DeleteObj) and kept alive until now for callers that might still
  // hold them. A caller that holds no pointer into the store calls it between its steps, so that
  // a long run does not keep one dead object per page.
  void DropReplacedObjs();
  const TempSpace* Temp() const override;
  CPDFBody* GetBody();
  CPDFXRef* GetXRef();
  CPDFTrailer* GetTrailer();
  CPDFHeader* GetHeader();

  // ---- saving ----
  bool Save(const char* fileName, bool incremental, bool linearize);
  // Saves the changes as an incremental update: the named file (the document's own or another)
  // gets a copy of every byte of the document's file followed by the update, made beside it and
  // put in place by one rename at Flush, so that the file is never seen half updated. A file
  // that had to be repaired, or that is not a PDF file, is refused.
  bool SaveUpdate(const char* fileName);
  bool Flush();
  bool SetDocInfo();
  bool IsSaving() const;
  // True when `ref` has not been read and the file shows a stream object there (a dictionary
  // followed by "stream"); false when only reading it would tell.
  bool IsStreamInFile(const CPDFObjRef& ref);
  // True when `ref` has not been read and the file shows a dictionary there in which no name
  // can be "Kids": a page (or no node of the page tree at all); false when only reading it
  // would tell.
  bool IsPageInFile(const CPDFObjRef& ref);
  bool IsFlushing() const override;

  // ---- pages ----
  // On failure *ref names the entry at `position` when there is one that could not be read.
  CPDFPage* GetPage(int position, CPDFObjRef* ref = nullptr);
  // Gives the page at `position` an object of its own in the page tree, copied from the input
  // (see CPDFPages::SeparatePage): for a page object that the tree lists more than once.
  CPDFPage* SeparatePage(int position, CPDFObjRef* ref = nullptr);
  int GetPageCount();
  // Mends the page tree as readers read it (see CPDFPageTreeRepair), one warning per mend; the
  // file then counts as repaired. A document without a page tree is left to the operations
  // above to report. False when the tree cannot be mended.
  bool RepairPageTree();
  bool DeletePage(int position, int count);

  // ---- linearization ----
  bool Linearize();
  bool LinearizeObj(const CPDFObjRef& ref, bool force) override;
  bool IsLinearized() const;

  // ---- damaged files ----
  // Warnings about the input, for the caller to show after Open: "damaged file repaired: %s"
  // (with the file name) when the cross-reference data had to be rebuilt from the objects in
  // the file. Reads that need a repair later on add it then.
  const std::vector<std::string>& Warnings() const;
  bool IsRepaired() const;
  // Records damage found in an object read later (the file then counts as repaired: it is not
  // updated incrementally).
  void NoteRepaired();
  // Records one repair of the input with its own warning line (once, however often it is met);
  // the file counts as repaired all the same.
  void NoteRepair(std::string warning);

  // ---- security ----
  // The object key context for reading (document key) or writing (output key); nullptr when
  // that side is not encrypted.
  std::unique_ptr<CPDFCryptContext> ReadCrypt(const CPDFObjRef& ref) const;
  std::unique_ptr<CPDFCryptContext> WriteCrypt(const CPDFObjRef& ref) const;
  // False for an encrypted document opened with its user password whose permissions ("P" bit 4)
  // forbid changing it.
  bool MayModify() const;

 private:
  // The document's state, defined with the code (doc_members.h).
  struct Members;
  std::unique_ptr<Members> m_;

  // Whether `entry`, a free one, says that the object `ref` names was deleted.
  static bool DeletedBy(const CPDFXRefEntry& entry, const CPDFObjRef& ref);

  // Reads the section at `offset` when it is a cross-reference stream, or a hybrid file's empty
  // table ("xref 0 0") whose trailer names its "XRefStm"; false (input position undefined) when
  // it is any other table.
  bool ReadStreamSection(int64_t offset, CPDFXRef& xref, CPDFTrailer& trailer);
  // Adds the entries of a hybrid file's "XRefStm" stream to the table of its section.
  void ReadHybridStream(CPDFXRef& xref, const CPDFTrailer& trailer);
  // An object at its entry: from the file, or from its object stream; a plain entry whose offset
  // is wrong falls back on the repair scan. nullptr with the error kept, as LoadObj.
  std::unique_ptr<CPDFObject> LoadEntry(const CPDFObjRef& ref, const CPDFXRefEntry& entry);
  // A full rewrite writes every object plainly: cross-reference streams and object streams are
  // not copied, and their numbers become free.
  void DropCrossReferenceStreams();
  // Refuses an incremental update where appending would not give a sound file.
  void CheckAppendable(const char* method = "Save") const;
  // ---- incremental updates (doc_update.cpp) ----
  bool SaveWith(const char* fileName, bool incremental, bool linearize, bool copyInput);
  // The output of an update, whether `name` is the document's own file or another: a
  // temporary beside `name` holding the input's bytes, positioned at their end.
  void ChooseCopiedOutput(const std::string& name);
  // False when `name` is the document's own name but no longer its file, or is its file but no
  // longer of the length it was read with.
  bool SourceUnchanged(const std::string& name) const;
  // Ends the update at `startXRef`: "Prev" names the section the update follows, and the
  // cross-reference data is a stream when that section is one, else a table.
  // Both write the offsets that `written` notes for the objects this flush wrote.
  void WriteUpdateXRef(CPDFXRef& xref, CPDFTrailer& trailer, int64_t startXRef,
                       const OutputOffsets& written);
  void WriteXRefStreamSection(CPDFXRef& xref, CPDFTrailer& trailer, int64_t startXRef,
                              const OutputOffsets& written);
  // Writes object `ref` into the output and notes where: into the object stream being filled
  // when the update packs it, else as an object of its own. Throws ("CPDFDoc", `method`).
  void WriteOutputObj(const CPDFObjRef& ref, const CPDFObject& obj, bool released,
                      const char* method);
  // Whether `obj` goes into an object stream: the update follows a cross-reference stream, and
  // `obj` is neither a stream, of a generation other than 0, nor the encryption dictionary.
  bool PacksObj(const CPDFObjRef& ref, const CPDFObject& obj) const;
  // Files `obj` under a number no section has used, at generation 0 (RegistObj may take a
  // freed number at a higher generation). Throws ("CPDFDoc", "RegistObj").
  CPDFObjRef RegistAtNewNumber(std::unique_ptr<CPDFObject> obj);
  // Writes the object stream being filled (when it holds anything).
  void WritePackedObjs();
  void ReadSectionsOrRepair();
  // A newest trailer that cannot be bound (a "Size" that is no number) is rebuilt as when the
  // sections cannot be read.
  void RealizeSectionsOrRepair();
  bool RepairSections();
  std::unique_ptr<CPDFObject> LoadFromScan(const CPDFObjRef& ref);
  CPDFFileScan* Scan();
  // A catalog that the trailer does not lead to is looked for in the file, and a "Pages" that
  // is no page tree node is replaced by one over the pages it names or the file holds.
  void RepairRoots();
  CPDFDict* FindCatalog(CPDFObjRef* ref);
  void RepairPageTree(CPDFDict& catalog, const CPDFObjRef& catalogRef);
  // Makes the page `ref` a kid of `node`, keeping what it inherited from its old ancestors.
  void AdoptPage(CPDFDict& page, const CPDFObjRef& ref, const CPDFObjRef& node);
  // Whether the page tree's root counts pages while its "Kids" hold nothing that could be one
  // (empty, or only nulls and missing objects): readers then find the pages in the file.
  bool PromisesPagesItLacks(const CPDFDict& root);

  // ---- helpers (doc.cpp) ----
  void ReadSections();
  void RealizeSections();
  void CreateUpdateSection();
  void MarkLinearized();
  void CheckSecurity(const char* password);
  // Opens `dict` (whose identity is `ref`) with a key length other than its "Length" gives,
  // as readers do; false when none fits the password.
  bool TryOtherKeyLengths(CPDFEncryptDict& dict, const CPDFObjRef& ref, const CPDFString* fileId,
                          const std::string& password, CPDFCryptContext::DocumentKey& key,
                          bool& owner);
  void BindRoots();
  void ReadLinearizationParams();
  // With `dropped`, the object is read leniently (SerializeObjectLeniently).
  std::unique_ptr<CPDFObject> ReadObjectAt(int64_t offset, const CPDFObjRef* expect,
                                           CPDFObjRef* found, int* dropped = nullptr);
  // LoadObj's read of an object that does not parse: as readers read it, passing over the
  // damaged tokens and a missing "endobj". nullptr when even that finds no object there.
  std::unique_ptr<CPDFObject> LoadDamagedObj(const CPDFObjRef& ref, int64_t offset);
  void ResetState();
  int32_t LargestTableSize() const;
  // ---- helpers (doc_save.cpp) ----
  void ChooseOutput(const char* fileName);
  void GatherForRewrite();
  void SerializeOut();
  // An object that cannot be loaded during the save: found by the repair scan, else a null.
  std::unique_ptr<CPDFObject> LoadDamaged(const CPDFObjRef& ref);
  // A stream read for the flush whose indirect "Length" does not match the data it holds (a
  // damaged file) is given its true length in a direct entry.
  void KeepLengthTrue(CPDFObject& loaded);
  void FinishFlush();
  void CleanupAfterFailure();
  // ---- helpers (pages) ----
  CPDFPages* PagesRoot(const char* method, CPDFObjRef* rootRef);
};

// The document behind a holder, or nullptr when the holder is not a document.
inline CPDFDoc* DocOf(CPDFObjHolder* holder) { return dynamic_cast<CPDFDoc*>(holder); }
inline const CPDFDoc* DocOf(const CPDFObjHolder* holder) {
  return dynamic_cast<const CPDFDoc*>(holder);
}

// The library of the document behind a holder, or nullptr.
inline CPDFLibBase* LibOf(CPDFObjHolder* holder) {
  const CPDFDoc* doc = DocOf(holder);
  return doc ? doc->Lib() : nullptr;
}

}  // namespace quarn
