// The body of one file section: the indirect objects of that section that are in memory, each
// filed under its identity (number and generation).
#pragma once

#include <cstdint>
#include <unordered_map>
#include <memory>
#include <vector>

#include "pdf/document/file_struct.h"
#include "pdf/object/values.h"

namespace quarn {

class CPDFBody : public CPDFFileStruct {
 public:
  explicit CPDFBody(CPDFDoc* doc = nullptr) : CPDFFileStruct(kBody, doc) {}
  ~CPDFBody() override;

  // The body writes nothing itself: its objects are written by the document.
  void Serialize(OutStream&) const override {}

  // The number of slots: the highest object number the body spans.
  int32_t Size() const { return m_size; }
  void Grow(int32_t size) {
    if (size > m_size) m_size = size;
  }

  // The object filed under exactly this identity, or nullptr.
  CPDFObject* GetObj(const CPDFObjRef& ref) const;
  // The object filed under `num` whatever its generation, with that identity.
  CPDFObject* GetObjByNumber(int32_t num, CPDFObjRef* ref = nullptr) const;
  // Files `obj` under `ref`. Whatever was filed under that number is retired, not deleted:
  // callers may still hold it (a page being stamped whose file makes it its own resources),
  // and it lives until the body goes.
  // `pristine` tells an object just read from the input, which may be dropped and read again.
  void SetObj(const CPDFObjRef& ref, std::unique_ptr<CPDFObject> obj, bool pristine = false);
  // True for an object filed as read from the input and not marked changed since.
  bool IsPristine(const CPDFObjRef& ref) const;
  void MarkChanged(const CPDFObjRef& ref);
  // Appends `obj` under the next number (size + 1, generation 0); returns that number.
  int32_t AddObj(std::unique_ptr<CPDFObject> obj);
  // Takes the object out of the body without deleting it; nullptr when it is not there.
  std::unique_ptr<CPDFObject> DetachObj(const CPDFObjRef& ref);
  // Takes the object filed under exactly this identity out of the body; like a replaced object
  // it is retired and lives until the body goes.
  void DeleteObj(const CPDFObjRef& ref);
  bool Empty() const { return m_slots.empty(); }
  // Deletes the objects retired so far; nobody may hold one any more.
  void DropRetired() { m_retired.clear(); }

  struct Slot {
    int32_t gen = -1;
    bool pristine = false;
    std::unique_ptr<CPDFObject> obj;
  };
  const std::unordered_map<int32_t, Slot>& Slots() const { return m_slots; }

 private:
  void Retire(std::unique_ptr<CPDFObject> obj);

  int32_t m_size = 0;
  std::unordered_map<int32_t, Slot> m_slots;
  // Objects taken out of their slots while someone may still point at them.
  std::vector<std::unique_ptr<CPDFObject>> m_retired;
};

}  // namespace quarn
