// The object store as the value classes see it: what a container or a stream needs from the
// document that holds its indirect objects. The document implements it; the value layer never
// sees the document itself.
#pragma once

#include <cstdint>
#include <memory>

#include "pdf/object/exception.h"

namespace quarn {

class CPDFObject;
class CPDFObjRef;
struct TempSpace;

class CPDFObjHolder {
 public:
  virtual ~CPDFObjHolder() = default;

  // The indirect object under `ref`, loaded on first use; nullptr (error kept) when it cannot be.
  virtual CPDFObject* GetObj(const CPDFObjRef& ref) = 0;
  // The indirect object under `ref` if it is already loaded; never reads the file.
  virtual CPDFObject* FindLoadedObj(const CPDFObjRef& ref) = 0;
  // The value of the integer object under `ref` without loading it: from memory when it is
  // loaded, else read on its own from where the file keeps it, leaving any reading in progress
  // where it stands and nothing in memory. False ("unknown") when that cannot be had cheaply and
  // safely: not a number, not found where the table says, in an object stream, unreadable.
  // Never fails otherwise and records no error.
  virtual bool PeekInteger(const CPDFObjRef& ref, int64_t* value) = 0;
  // Files `obj` under *ref when that is defined (replacing the object there), else gives it a
  // new number written back to *ref.
  virtual bool RegistObj(std::unique_ptr<CPDFObject> obj, CPDFObjRef* ref) = 0;
  // Marks the object as changed, so that an incremental save writes it.
  virtual bool UpdateObj(const CPDFObjRef& ref) = 0;
  virtual void DeleteObj(const CPDFObjRef& ref) = 0;
  // Drops a loaded object (writing it first during a save).
  virtual bool ReleaseObj(const CPDFObjRef& ref, bool force) = 0;
  // Moves the object into linearization order.
  virtual bool LinearizeObj(const CPDFObjRef& ref, bool force) = 0;
  // True while the objects are being written out (nothing may be loaded then).
  virtual bool IsFlushing() const = 0;

  virtual CPDFErrorRecord& LastError() = 0;
  virtual const CPDFErrorRecord& LastError() const = 0;
  void ClearError() { LastError().Clear(); }

  // Where large data of this store's streams goes (nullptr: the host's temporary directory).
  virtual const TempSpace* Temp() const = 0;
};

// The store that a stream or a typed value belongs to (observed, not owned). Streams and the
// typed mix-ins share it as a virtual base, so a typed stream holds its store once.
class CPDFHolderBinding {
 public:
  virtual ~CPDFHolderBinding() = default;
  CPDFObjHolder* Doc() const { return m_holder; }
  void BindDoc(CPDFObjHolder* holder) { m_holder = holder; }

 private:
  CPDFObjHolder* m_holder = nullptr;
};

// Files `obj` under the defined identity `ref`, replacing the object there.
bool ReplaceIndirect(CPDFObjHolder* holder, const CPDFObjRef& ref, std::unique_ptr<CPDFObject> obj);

}  // namespace quarn
