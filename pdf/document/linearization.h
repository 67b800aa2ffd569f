// Linearized files: the parameter dictionary at the start of the file, the hint stream, and
// the map from old to new identities that the linearization walk builds.
#pragma once

#include <map>
#include <utility>

#include "pdf/object/typed_dict.h"
#include "pdf/stream/stream.h"

namespace quarn {

class CPDFLineaParams : public CPDFDocStruct, public CPDFDict {
  QUARN_TYPED_CLASS(CPDFLineaParams, CPDFDict, "")
 public:
  // Takes over `source`; every required number and each element of "H" becomes a direct
  // integer; a missing "H" or element fails.
  bool Realize(CPDFObjHolder* doc, CPDFObject& source);
  void SwapContent(CPDFObject& other) override { CPDFDict::SwapContent(other); }

  CPDFArray* Get_Hints(CPDFObjRef* ref = nullptr) const {
    return AsArray(GetValue(Doc(), "H", ref));
  }
  QUARN_ACCESSOR(L, CPDFNumber)
  QUARN_ACCESSOR(O, CPDFNumber)
  QUARN_ACCESSOR(E, CPDFNumber)
  QUARN_ACCESSOR(N, CPDFNumber)
  QUARN_ACCESSOR(T, CPDFNumber)
  QUARN_ACCESSOR(P, CPDFNumber)
};

// "Linearized", "L", "O", "E", "N", "T" numbers and "H" an array.
bool IsLineaParams(CPDFObjHolder* doc, CPDFObject* value);

// The hint stream: a stream whose dictionary gives the offsets of the hint tables.
class CPDFHintStream : public CPDFDocStruct, public CPDFStream {
 public:
  std::unique_ptr<CPDFObject> NewEmpty(CPDFObjHolder* target) const override {
    auto obj = std::make_unique<CPDFHintStream>();
    obj->BindDoc(target);
    obj->BindDoc(target);
    return obj;
  }
  // Takes over `source`; indirect table offsets become direct integers.
  bool Realize(CPDFObjHolder* doc, CPDFObject& source);

#define QUARN_HINT_OFFSET(Key)                                              \
  CPDFNumber* Get_##Key() const { return AsNumber(GetValue(Doc(), #Key)); } \
  bool Set_##Key(int64_t v) { return SetValue(Doc(), #Key, std::make_unique<CPDFInt>(v)); }
  QUARN_HINT_OFFSET(P)
  QUARN_HINT_OFFSET(S)
  QUARN_HINT_OFFSET(T)
  QUARN_HINT_OFFSET(O)
  QUARN_HINT_OFFSET(A)
  QUARN_HINT_OFFSET(E)
  QUARN_HINT_OFFSET(V)
  QUARN_HINT_OFFSET(I)
  QUARN_HINT_OFFSET(C)
#undef QUARN_HINT_OFFSET
};

// A stream whose dictionary has "S" as a number.
bool IsHintStream(CPDFObjHolder* doc, CPDFObject* value);

// Old identity -> new identity of the objects moved by the linearization walk.
class CPDFObjRefDict {
 public:
  bool Insert(const CPDFObjRef& from, const CPDFObjRef& to) {
    return m_map.emplace(std::make_pair(from.Num(), from.Gen()), to).second;
  }
  const CPDFObjRef* Find(const CPDFObjRef& from) const {
    auto it = m_map.find(std::make_pair(from.Num(), from.Gen()));
    return it == m_map.end() ? nullptr : &it->second;
  }
  size_t Count() const { return m_map.size(); }
  void Clear() { m_map.clear(); }

 private:
  std::map<std::pair<int32_t, int32_t>, CPDFObjRef> m_map;
};

}  // namespace quarn
