// The PDF value classes: null, booleans, numbers, strings, names, arrays, dictionaries and the
// indirect reference. Containers own their values; indirect objects belong to the document.
#pragma once

#include <algorithm>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

#include "pdf/object/obj_holder.h"
#include "pdf/object/temp_containers.h"

namespace quarn {

class OutStream;
class CPDFCryptContext;
class CPDFObjRef;

// Atom kinds.
enum : int { kAtomBase = 0, kAtomRef = 1, kAtomObject = 2 };

// One bit per value type, so that one mask test accepts several types.
enum TypeCode : int {
  kTypeBool = 1,
  kTypeNumber = 2,
  kTypeInteger = 4,
  kTypeReal = 8,
  kTypeString = 16,
  kTypeName = 64,
  kTypeArray = 128,
  kTypeDict = 256,
  kTypeStream = 512,
  kTypeNull = 1024,
};

// The root of every value: either an indirect reference (kind 1) or a direct object (kind 2).
class CPDFAtom {
 public:
  virtual ~CPDFAtom() = default;
  int Kind() const { return m_kind; }
  const char* KindText() const;
  bool IsRef() const { return m_kind == kAtomRef; }
  bool IsObject() const { return m_kind == kAtomObject; }
  // Writes the value; only strings and stream data are transformed by a crypt context.
  virtual void Serialize(OutStream& out, const CPDFCryptContext* crypt = nullptr) const = 0;
  // A copy of the atom itself: references copy their identity, objects clone deeply
  // (references below them are copied as references).
  virtual std::unique_ptr<CPDFAtom> CloneAtom() const = 0;

 protected:
  explicit CPDFAtom(int kind) : m_kind(kind) {}
  CPDFAtom(const CPDFAtom&) = default;
  CPDFAtom& operator=(const CPDFAtom&) = default;

 private:
  int m_kind;
};

// The indirect reference, and the identity of an indirect object.
class CPDFObjRef final : public CPDFAtom {
 public:
  CPDFObjRef() : CPDFAtom(kAtomRef) {}
  CPDFObjRef(int32_t num, int32_t gen) : CPDFAtom(kAtomRef), m_num(num), m_gen(gen) {}
  CPDFObjRef(const CPDFObjRef&) = default;
  CPDFObjRef& operator=(const CPDFObjRef&) = default;

  int32_t Num() const { return m_num; }
  int32_t Gen() const { return m_gen; }
  void Set(int32_t num, int32_t gen) { m_num = num; m_gen = gen; }
  void Reset() { m_num = -1; m_gen = -1; }
  bool IsDefined() const { return m_num != -1 && m_gen != -1; }
  bool operator==(const CPDFObjRef& o) const { return m_num == o.m_num && m_gen == o.m_gen; }
  bool operator<(const CPDFObjRef& o) const {
    return m_num != o.m_num ? m_num < o.m_num : m_gen < o.m_gen;
  }

  void Serialize(OutStream& out, const CPDFCryptContext* crypt = nullptr) const override;
  std::unique_ptr<CPDFAtom> CloneAtom() const override;
  // "num gen obj", the words that open the object in a file, written into `buffer` without
  // printf (they are written or looked for once per object of a run); returns their length.
  static constexpr size_t kObjHeaderSize = 32;
  size_t ObjHeader(char (&buffer)[kObjHeaderSize]) const;

 private:
  int32_t m_num = -1;
  int32_t m_gen = -1;
};

// Source identity -> target identity, kept by one Duplicate operation.
using DuplicateMap = std::map<std::pair<int32_t, int32_t>, CPDFObjRef>;

// The base of every direct value.
class CPDFObject : public CPDFAtom {
 public:
  int TypeCode() const { return m_type; }
  const char* TypeName() const;
  bool IsType(int mask) const { return (m_type & mask) != 0; }

  // The four flags.
  bool m_readFromFile = false;       // set by the parser when it starts reading the value
  bool m_copyWithContainer = true;   // false: left out when its container is duplicated
  bool m_releasable = true;          // ReleaseObj drops it only when set (unless forced)
  bool m_relocatable = true;         // LinearizeObj renumbers it only when set (unless forced)
  void CopyFlagsFrom(const CPDFObject& o);

  // A copy into `target`, resolving references through `source`; nothing on failure.
  std::unique_ptr<CPDFObject> Duplicate(CPDFObjHolder* target, CPDFObjHolder* source) const;
  // The walk behind Duplicate; throws on failure.
  virtual std::unique_ptr<CPDFObject> DuplicateWith(CPDFObjHolder* target, CPDFObjHolder* source,
                                                    DuplicateMap& map) const = 0;
  // An empty object of the same class, tied to `target` when the class is tied to a document.
  virtual std::unique_ptr<CPDFObject> NewEmpty(CPDFObjHolder* target) const = 0;
  // Moves the whole content (not the flags) between two objects of the same value class.
  virtual void SwapContent(CPDFObject& other) = 0;

  // Containers hand references to doc->ReleaseObj and recurse into direct values; throws on
  // failure. Scalars succeed at once.
  virtual bool Release(CPDFObjHolder* doc);
  // The container's step of the linearization walk; scalars succeed at once.
  virtual bool Linearize(CPDFObjHolder* doc);

  std::unique_ptr<CPDFAtom> CloneAtom() const override;
  // The store that a stream or a typed value is tied to; plain values have none.
  CPDFObjHolder* OwnHolder() const;
  // A deep copy with references kept as references (no document involved).
  std::unique_ptr<CPDFObject> Clone() const;

 protected:
  explicit CPDFObject(int type) : CPDFAtom(kAtomObject), m_type(type) {}

 private:
  int m_type;
};

class CPDFNull : public CPDFObject {
 public:
  CPDFNull() : CPDFObject(kTypeNull) {}
  void Serialize(OutStream& out, const CPDFCryptContext* crypt = nullptr) const override;
  std::unique_ptr<CPDFObject> DuplicateWith(CPDFObjHolder*, CPDFObjHolder*, DuplicateMap&) const override;
  std::unique_ptr<CPDFObject> NewEmpty(CPDFObjHolder*) const override { return std::make_unique<CPDFNull>(); }
  void SwapContent(CPDFObject&) override {}
};

class CPDFBool : public CPDFObject {
 public:
  CPDFBool() : CPDFObject(kTypeBool) {}
  explicit CPDFBool(bool v) : CPDFObject(kTypeBool), m_value(v) {}
  bool Value() const { return m_value; }
  void SetValue(bool v) { m_value = v; }
  void Serialize(OutStream& out, const CPDFCryptContext* crypt = nullptr) const override;
  std::unique_ptr<CPDFObject> DuplicateWith(CPDFObjHolder*, CPDFObjHolder*, DuplicateMap&) const override;
  std::unique_ptr<CPDFObject> NewEmpty(CPDFObjHolder*) const override { return std::make_unique<CPDFBool>(); }
  void SwapContent(CPDFObject& other) override;

 private:
  bool m_value = false;
};

// Holds both forms of a number: a signed 64-bit integer and a 32-bit float. The integer is
// 64-bit because numbers count a file's bytes (stream lengths, offsets), and a file may pass
// 2 GiB; values that are 32-bit by nature (counts, flags, indexes) read IntValue, which
// saturates, and byte counts read Int64Value.
class CPDFNumber : public CPDFObject {
 public:
  CPDFNumber() : CPDFObject(kTypeNumber) {}
  explicit CPDFNumber(int32_t v) : CPDFObject(kTypeNumber), m_int(v), m_real(static_cast<float>(v)) {}
  explicit CPDFNumber(int64_t v)
      : CPDFObject(kTypeNumber), m_int(v), m_real(static_cast<float>(v)) {}
  explicit CPDFNumber(float v) : CPDFObject(kTypeNumber), m_int(TruncateReal(v)), m_real(v) {}
  explicit CPDFNumber(double v) : CPDFNumber(static_cast<float>(v)) {}
  // Both forms given explicitly (the parser sets them from the same token).
  CPDFNumber(int64_t i, float r) : CPDFObject(kTypeNumber), m_int(i), m_real(r) {}

  // The integer within the 32-bit range (saturating).
  int32_t IntValue() const { return SaturateToInt32(m_int); }
  int64_t Int64Value() const { return m_int; }
  float RealValue() const { return m_real; }
  void SetInt(int64_t v) {
    m_int = v;
    m_real = static_cast<float>(v);
    m_fromFile = false;
  }
  void SetReal(float v) { m_real = v; m_int = TruncateReal(v); m_fromFile = false; }
  void SetBoth(int64_t i, float r) {
    m_int = i;
    m_real = r;
    m_fromFile = false;
  }
  // A number read from a file: both forms as the parser sets them, and the value the file gave,
  // which is what gets written back (the 32-bit float would shift 842.4 to 842.400024). An
  // integer token is written back from the integer, which holds all of its digits where the
  // double keeps only 53 bits.
  void SetFromFile(int64_t i, float r, double value, bool integerToken = false) {
    m_int = i;
    m_real = r;
    m_fileValue = value;
    m_fromFile = true;
    m_integerToken = integerToken;
  }
  bool HasFileValue() const { return m_fromFile; }
  double FileValue() const { return m_fileValue; }

  void Serialize(OutStream& out, const CPDFCryptContext* crypt = nullptr) const override;
  std::unique_ptr<CPDFObject> DuplicateWith(CPDFObjHolder*, CPDFObjHolder*, DuplicateMap&) const override;
  std::unique_ptr<CPDFObject> NewEmpty(CPDFObjHolder*) const override { return std::make_unique<CPDFNumber>(); }
  void SwapContent(CPDFObject& other) override;

  // Truncation toward zero, saturating at the 32-bit range (NaN gives 0).
  static int32_t TruncateReal(double v);
  static int32_t SaturateToInt32(int64_t v) {
    return static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
  }

 protected:
  CPDFNumber(int type, int64_t i, float r) : CPDFObject(type), m_int(i), m_real(r) {}

 private:
  // Widest first: a document holds many numbers.
  int64_t m_int = 0;
  double m_fileValue = 0.0;
  float m_real = 0.0f;
  bool m_fromFile = false;      // read from a file and not changed since
  bool m_integerToken = false;  // ... from a token of digits that m_int holds exactly
};

// A number built by code that is always written as an integer.
class CPDFInt : public CPDFNumber {
 public:
  CPDFInt() : CPDFNumber(kTypeInteger, 0, 0.0f) {}
  explicit CPDFInt(int64_t v) : CPDFNumber(kTypeInteger, v, static_cast<float>(v)) {}
  void Serialize(OutStream& out, const CPDFCryptContext* crypt = nullptr) const override;
  std::unique_ptr<CPDFObject> NewEmpty(CPDFObjHolder*) const override { return std::make_unique<CPDFInt>(); }
};

// A number built by code that is always written in the real format.
class CPDFReal : public CPDFNumber {
 public:
  CPDFReal() : CPDFNumber(kTypeReal, 0, 0.0f) {}
  explicit CPDFReal(float v) : CPDFNumber(kTypeReal, TruncateReal(v), v) {}
  explicit CPDFReal(double v) : CPDFReal(static_cast<float>(v)) {}
  void Serialize(OutStream& out, const CPDFCryptContext* crypt = nullptr) const override;
  std::unique_ptr<CPDFObject> NewEmpty(CPDFObjHolder*) const override { return std::make_unique<CPDFReal>(); }
};

// A string's bytes after escape decoding and decryption, and the form it is written in.
class CPDFString : public CPDFObject, public TempString {
 public:
  enum Form : uint8_t { kHex = 0, kLiteral = 1 };
  CPDFString() : CPDFObject(kTypeString) {}
  explicit CPDFString(const char* text) : CPDFObject(kTypeString), TempString(text ? text : "") {}
  CPDFString(const char* data, size_t n) : CPDFObject(kTypeString), TempString(std::string(data, n)) {}
  explicit CPDFString(std::string s) : CPDFObject(kTypeString), TempString(std::move(s)) {}

  uint8_t m_form = kLiteral;

  void Serialize(OutStream& out, const CPDFCryptContext* crypt = nullptr) const override;
  std::unique_ptr<CPDFObject> DuplicateWith(CPDFObjHolder*, CPDFObjHolder*, DuplicateMap&) const override;
  std::unique_ptr<CPDFObject> NewEmpty(CPDFObjHolder*) const override { return std::make_unique<CPDFString>(); }
  void SwapContent(CPDFObject& other) override;
};

// A name's bytes without the leading "/" and with "#xx" escapes decoded.
class CPDFName : public CPDFObject, public TempString {
 public:
  CPDFName() : CPDFObject(kTypeName) {}
  explicit CPDFName(std::string_view s) : CPDFObject(kTypeName), TempString(std::string(s)) {}
  bool Equals(std::string_view s) const { return m_str == s; }

  void Serialize(OutStream& out, const CPDFCryptContext* crypt = nullptr) const override;
  std::unique_ptr<CPDFObject> DuplicateWith(CPDFObjHolder*, CPDFObjHolder*, DuplicateMap&) const override;
  std::unique_ptr<CPDFObject> NewEmpty(CPDFObjHolder*) const override { return std::make_unique<CPDFName>(); }
  void SwapContent(CPDFObject& other) override;
};

class CPDFArray : public CPDFObject, public TempArray<CPDFAtom> {
 public:
  CPDFArray() : CPDFObject(kTypeArray) {}

  // Appends an atom; throws ("CPDFArray::Push_Back()") only if it cannot.
  bool Push_Back(std::unique_ptr<CPDFAtom> atom);
  // The element at `index`, resolved through `doc` as CPDFDict::GetValue resolves an entry.
  CPDFObject* GetObj(CPDFObjHolder* doc, int index, CPDFObjRef* ref = nullptr) const;
  // Convenience for numeric arrays: element i as a number (direct or resolved), or nullptr.
  CPDFNumber* GetNumber(CPDFObjHolder* doc, int index) const;

  void Serialize(OutStream& out, const CPDFCryptContext* crypt = nullptr) const override;
  std::unique_ptr<CPDFObject> DuplicateWith(CPDFObjHolder* target, CPDFObjHolder* source,
                                            DuplicateMap& map) const override;
  std::unique_ptr<CPDFObject> NewEmpty(CPDFObjHolder*) const override { return std::make_unique<CPDFArray>(); }
  void SwapContent(CPDFObject& other) override;
  bool Release(CPDFObjHolder* doc) override;
  bool Linearize(CPDFObjHolder* doc) override;

 protected:
  explicit CPDFArray(int type) : CPDFObject(type) {}
};

class CPDFDict : public CPDFObject, public TempDict<CPDFAtom> {
 public:
  CPDFDict() : CPDFObject(kTypeDict) {}

  // Stores `atom` under `key`, deleting any old value there.
  bool Insert(std::string_view key, std::unique_ptr<CPDFAtom> atom);
  // The raw stored atom (a reference or a direct value), or nullptr.
  CPDFAtom* Lookup(std::string_view key) const { return Find(key); }

  // Resolves the entry: a reference is looked up through `doc` (nothing without a document)
  // and copied to *ref; a direct value is returned as it is. Clears doc's last error.
  CPDFObject* GetValue(CPDFObjHolder* doc, std::string_view key, CPDFObjRef* ref = nullptr) const;
  // Stores `value` directly, or registers it in `doc` as an indirect object (under *ref when
  // that is defined, else a new number) and stores a reference; the identity used is written
  // back to *ref. Clears doc's last error.
  bool SetValue(CPDFObjHolder* doc, std::string_view key, std::unique_ptr<CPDFObject> value,
                bool indirect = false, CPDFObjRef* ref = nullptr);
  // Stores a reference to an existing indirect object.
  bool SetReference(std::string_view key, const CPDFObjRef& ref);
  // Removes and deletes the entry. Clears doc's last error.
  void RemoveValue(CPDFObjHolder* doc, std::string_view key);

  // Typed reads of resolved entries; nullptr when absent or of another type.
  CPDFNumber* GetNumber(CPDFObjHolder* doc, std::string_view key, CPDFObjRef* ref = nullptr) const;
  CPDFName* GetName(CPDFObjHolder* doc, std::string_view key) const;
  CPDFArray* GetArray(CPDFObjHolder* doc, std::string_view key, CPDFObjRef* ref = nullptr) const;
  CPDFDict* GetDict(CPDFObjHolder* doc, std::string_view key, CPDFObjRef* ref = nullptr) const;
  CPDFString* GetString(CPDFObjHolder* doc, std::string_view key) const;
  // True when the entry is a name equal to `value`.
  bool HasName(CPDFObjHolder* doc, std::string_view key, std::string_view value) const;

  // Copies the entries of `from` that this dictionary lacks (the merge variant of Duplicate).
  void MergeWith(CPDFObjHolder* target, CPDFObjHolder* source, const CPDFDict& from, DuplicateMap& map);

  void Serialize(OutStream& out, const CPDFCryptContext* crypt = nullptr) const override;
  std::unique_ptr<CPDFObject> DuplicateWith(CPDFObjHolder* target, CPDFObjHolder* source,
                                            DuplicateMap& map) const override;
  std::unique_ptr<CPDFObject> NewEmpty(CPDFObjHolder*) const override { return std::make_unique<CPDFDict>(); }
  void SwapContent(CPDFObject& other) override;
  bool Release(CPDFObjHolder* doc) override;
  bool Linearize(CPDFObjHolder* doc) override;

 protected:
  explicit CPDFDict(int type) : CPDFObject(type) {}
  // Copies every entry of this dictionary into `copy` by the Duplicate walk.
  void DuplicateEntriesInto(CPDFDict& copy, CPDFObjHolder* target, CPDFObjHolder* source,
                            DuplicateMap& map, bool mergeOnly) const;
  // Writes "<<" CR LF, the entries, ">>".
  void SerializeEntries(OutStream& out, const CPDFCryptContext* crypt) const;
};

// Resolves an atom: a reference through the document, a direct value as is.
CPDFObject* Resolve(CPDFObjHolder* doc, CPDFAtom* atom, CPDFObjRef* ref = nullptr);

// Typed view helpers: the object as T when its type code fits, else nullptr.
inline CPDFNumber* AsNumber(CPDFObject* o) {
  return o && o->IsType(kTypeNumber | kTypeInteger | kTypeReal) ? static_cast<CPDFNumber*>(o) : nullptr;
}
inline CPDFName* AsName(CPDFObject* o) { return o && o->IsType(kTypeName) ? static_cast<CPDFName*>(o) : nullptr; }
inline CPDFString* AsString(CPDFObject* o) { return o && o->IsType(kTypeString) ? static_cast<CPDFString*>(o) : nullptr; }
inline CPDFArray* AsArray(CPDFObject* o) { return o && o->IsType(kTypeArray) ? static_cast<CPDFArray*>(o) : nullptr; }
inline CPDFDict* AsDict(CPDFObject* o) {
  return o && o->IsType(kTypeDict | kTypeStream) ? static_cast<CPDFDict*>(o) : nullptr;
}
inline const CPDFNumber* AsNumber(const CPDFObject* o) { return AsNumber(const_cast<CPDFObject*>(o)); }
inline const CPDFName* AsName(const CPDFObject* o) { return AsName(const_cast<CPDFObject*>(o)); }
inline const CPDFString* AsString(const CPDFObject* o) { return AsString(const_cast<CPDFObject*>(o)); }
inline const CPDFArray* AsArray(const CPDFObject* o) { return AsArray(const_cast<CPDFObject*>(o)); }
inline const CPDFDict* AsDict(const CPDFObject* o) { return AsDict(const_cast<CPDFObject*>(o)); }

}  // namespace quarn
