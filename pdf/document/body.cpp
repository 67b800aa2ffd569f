#include "pdf/document/body.h"

#include <vector>

#include "pdf/object/exception.h"
#include "pdf/object/limits.h"

namespace quarn {

CPDFBody::~CPDFBody() {
  // Objects are torn down one by one, outside the map, so that an object's destructor never
  // runs while the map is being changed underneath it.
  std::vector<std::unique_ptr<CPDFObject>> objects;
  objects.reserve(m_slots.size());
  for (auto& [num, slot] : m_slots) objects.push_back(std::move(slot.obj));
  m_slots.clear();
  for (auto& retired : m_retired) objects.push_back(std::move(retired));
  m_retired.clear();
}

CPDFObject* CPDFBody::GetObj(const CPDFObjRef& ref) const {
  auto it = m_slots.find(ref.Num());
  if (it == m_slots.end() || it->second.gen != ref.Gen()) return nullptr;
  return it->second.obj.get();
}

CPDFObject* CPDFBody::GetObjByNumber(int32_t num, CPDFObjRef* ref) const {
  auto it = m_slots.find(num);
  if (it == m_slots.end()) return nullptr;
  if (ref) ref->Set(num, it->second.gen);
  return it->second.obj.get();
}

bool CPDFBody::IsPristine(const CPDFObjRef& ref) const {
  auto it = m_slots.find(ref.Num());
  return it != m_slots.end() && it->second.gen == ref.Gen() && it->second.pristine;
}

void CPDFBody::MarkChanged(const CPDFObjRef& ref) {
  auto it = m_slots.find(ref.Num());
  if (it != m_slots.end() && it->second.gen == ref.Gen()) it->second.pristine = false;
}

void CPDFBody::SetObj(const CPDFObjRef& ref, std::unique_ptr<CPDFObject> obj, bool pristine) {
  if (ref.Num() <= 0 || ref.Num() > limits::kMaxObjectNumber || ref.Gen() < 0) {
    Throw("CPDFBody", "SetObj", kInternalError, "CPDFBody::SetObj()");
  }
  Grow(ref.Num());
  Slot& slot = m_slots[ref.Num()];
  std::unique_ptr<CPDFObject> old = std::move(slot.obj);
  slot.gen = ref.Gen();
  slot.pristine = pristine;
  slot.obj = std::move(obj);
  Retire(std::move(old));
}

void CPDFBody::Retire(std::unique_ptr<CPDFObject> obj) {
  if (obj) m_retired.push_back(std::move(obj));
}

int32_t CPDFBody::AddObj(std::unique_ptr<CPDFObject> obj) {
  if (m_size >= limits::kMaxObjectNumber) {
    Throw("CPDFBody", "AddObj", kInternalError, "CPDFBody::AddObj()");
  }
  const int32_t num = m_size + 1;
  SetObj(CPDFObjRef(num, 0), std::move(obj));
  return num;
}

std::unique_ptr<CPDFObject> CPDFBody::DetachObj(const CPDFObjRef& ref) {
  auto it = m_slots.find(ref.Num());
  if (it == m_slots.end() || it->second.gen != ref.Gen()) return nullptr;
  std::unique_ptr<CPDFObject> obj = std::move(it->second.obj);
  m_slots.erase(it);
  return obj;
}

void CPDFBody::DeleteObj(const CPDFObjRef& ref) { Retire(DetachObj(ref)); }

}  // namespace quarn
