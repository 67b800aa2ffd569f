// The machinery of the typed dictionary family (annotations, actions, fields, shadings, colour
// spaces and the rest): every class is one row of data, a ClassRow, that says what sets it
// apart (its "Type", its discriminating entry and value, the entries it requires) and which of
// its entries are bound to typed classes. One recognizer, one Create and one Realize read the
// rows; the headers of the families declare the classes with QUARN_FAMILY_CLASS, one line each
// plus their accessors.
#pragma once

#include <array>
#include <memory>
#include <string_view>

#include "pdf/document/info_dict.h"
#include "pdf/document/res_dict.h"
#include "pdf/object/geometry.h"
#include "pdf/object/typed_dict.h"
#include "pdf/stream/stream.h"

namespace quarn {

// What a maker did with a value: left it (not of its classes, already typed, or met again
// inside its own binding), bound it, or recognised it and failed to bind it.
enum class BindOutcome { kLeft, kBound, kFailed };

// Makes the typed object of `value` among the classes enabled in `kinds`. On kBound `out`
// holds the new object, which has taken over the value's content; on kFailed the value is as
// it was.
using FamilyMaker = BindOutcome (*)(CPDFObjHolder* doc, CPDFObject& value, int kinds,
                                    std::unique_ptr<CPDFObject>& out);

// Binds an entry of a dictionary in place (keeping its indirect identity): used for the
// typed entries of a class row.
using EntryBinder = bool (*)(CPDFObjHolder* doc, CPDFDict& holder, std::string_view key);

// Any number, as read from a file or made by code.
inline constexpr int kAnyNumber = kTypeNumber | kTypeInteger | kTypeReal;

// How a class treats "Type".
enum class TypeRule : unsigned char {
  kNone,      // not looked at
  kRequired,  // must be the name
  kOptional,  // may be absent, but when present must be the name
};

struct RequiredEntry {
  const char* key = nullptr;
  int kinds = 0;  // type-code mask the value must match; 0: any value that is present
};

struct TypedEntry {
  const char* key = nullptr;
  EntryBinder bind = nullptr;
};

// One class of the family, as data.
struct ClassRow {
  const ClassRow* base = nullptr;  // the intermediate class whose rules come first
  const char* name = "";            // class-name text: the discriminator's value ("Link", "2")
  int valueKinds = 0;               // value classes a leaf binds (kTypeDict, kTypeStream, ...)
  const char* discriminator = nullptr;  // entry that tells the classes of a family apart
  bool numbered = false;                // its value is an integer (shading, pattern, ... types)
  bool inherited = false;  // the value may come from the nearest ancestor along "Parent"
  const char* typeName = nullptr;       // "Type" value, written by Create
  TypeRule typeRule = TypeRule::kNone;
  std::array<RequiredEntry, 6> required{};
  std::array<TypedEntry, 8> typed{};
  EntryBinder eachEntry = nullptr;  // binds every entry of the dictionary (additional actions)
  Recognizer extra = nullptr;  // checks that the table cannot say, or nullptr
  bool (*create)(CPDFObjHolder* doc, CPDFDict& dict) = nullptr;  // Create's further entries
};

// The rules of `rules` (its bases' first): recognizer, Create's entries, Realize's bindings.
bool RecognizeRules(const ClassRow& rules, CPDFObjHolder* doc, CPDFObject* value);
// Create's entries: "Type" and the discriminator on a dictionary; the family name on an empty
// array or a name.
bool CreateRules(const ClassRow& rules, CPDFObjHolder* doc, CPDFObject& self);
// Takes over `source` into `self` (bound to `doc`) and binds the typed entries of the rows.
// Past the nesting limit the typed entries of the class stay plain.
bool RealizeRules(const ClassRow& rules, CPDFObjHolder* doc, CPDFObject& self, CPDFObject& source);

// Makes T of `value` when T's recognizer accepts it; the value is never touched when refused.
// A value that is already being bound further up (a loop through references) is left alone.
template <class T>
BindOutcome MakeAs(CPDFObjHolder* doc, CPDFObject& value, std::unique_ptr<CPDFObject>& out);
// The same as a single-class maker (the kinds are not looked at).
template <class T>
BindOutcome MakeOne(CPDFObjHolder* doc, CPDFObject& value, int, std::unique_ptr<CPDFObject>& out) {
  return MakeAs<T>(doc, value, out);
}

// A factory's order: maker i is asked when bit i of `kinds` is set; the first that does not
// leave the value decides.
template <size_t N>
BindOutcome MakeFirstOf(const FamilyMaker (&order)[N], CPDFObjHolder* doc, CPDFObject& value,
                        int kinds, std::unique_ptr<CPDFObject>& out) {
  const auto enabled = static_cast<unsigned>(kinds);
  for (size_t i = 0; i < N; ++i) {
    if (!(enabled & (1u << i))) continue;
    const BindOutcome outcome = order[i](doc, value, -1, out);
    if (outcome != BindOutcome::kLeft) return outcome;
  }
  return BindOutcome::kLeft;
}

// A maker seen as a factory of the library's registry (pdf/document/lib_base.h): a value that
// fails to bind reads as not recognised.
template <FamilyMaker Make>
std::unique_ptr<CPDFObject> AsFactory(CPDFObjHolder* doc, CPDFObject& value, int kinds) {
  std::unique_ptr<CPDFObject> out;
  return Make(doc, value, kinds, out) == BindOutcome::kBound ? std::move(out) : nullptr;
}

// Runs `make` on the entry `key` (or element `index`) when its value kind is in `typeMask`, and
// files the typed object in its place. An entry that is absent, cannot be loaded, is already
// typed or is not recognised stays as it is; only a failed binding answers false.
bool BindEntryWith(CPDFObjHolder* doc, CPDFDict& holder, std::string_view key, int typeMask,
                   FamilyMaker make, int kinds = -1);
bool BindElementWith(CPDFObjHolder* doc, CPDFArray& holder, size_t index, int typeMask,
                     FamilyMaker make, int kinds = -1);
// Binds the entry when it is one value, or each element when it is an array of them.
bool BindEntryOrElements(CPDFObjHolder* doc, CPDFDict& holder, std::string_view key, int typeMask,
                         FamilyMaker make, int kinds = -1);

// Entry binders of the data classes of lower layers.
bool BindDateEntry(CPDFObjHolder* doc, CPDFDict& holder, std::string_view key);
bool BindRectEntry(CPDFObjHolder* doc, CPDFDict& holder, std::string_view key);
bool BindMatrixEntry(CPDFObjHolder* doc, CPDFDict& holder, std::string_view key);
bool BindResDictEntry(CPDFObjHolder* doc, CPDFDict& holder, std::string_view key);

// The value of `key` in `dict` or, when it has none, in its nearest ancestor along "Parent"
// (a chain that loops ends the search); nullptr when none has it.
CPDFObject* InheritedValue(CPDFObjHolder* doc, const CPDFDict& dict, std::string_view key);

// True when `doc` is an FDF document.
bool IsFDFHolder(CPDFObjHolder* doc);

// ---- declaring the classes ------------------------------------------------------------------

// Generic typed getter of a class whose entry is bound on first use (outline items, tree
// kids): binds with `Make` and answers the typed object, or nullptr.
#define QUARN_BOUND_GET(Key, T, Make, TypeMask)                                          \
  T* Get_##Key(::quarn::CPDFObjRef* ref = nullptr) {                                     \
    ::quarn::BindEntryWith(this->Doc(), *this, #Key, TypeMask, Make);                    \
    return dynamic_cast<T*>(this->GetValue(this->Doc(), #Key, ref));                     \
  }

// The members every class of the family has: its row, its class-name object, the empty-object
// factory, Create and Realize.
#define QUARN_FAMILY_MEMBERS(Class)                                                              \
 public:                                                                                         \
  static const ::quarn::ClassRow& Rules();                                                       \
  static const ::quarn::CPDFName& ClassName() {                                                  \
    static const ::quarn::CPDFName name(Rules().name);                                            \
    return name;                                                                                 \
  }                                                                                              \
  static bool Recognize(::quarn::CPDFObjHolder* doc, ::quarn::CPDFObject* value) {               \
    return ::quarn::RecognizeRules(Rules(), doc, value);                                           \
  }                                                                                              \
  std::unique_ptr<::quarn::CPDFObject> NewEmpty(::quarn::CPDFObjHolder* target) const override { \
    auto obj = std::make_unique<Class>();                                                        \
    obj->BindDoc(target);                                                                        \
    return obj;                                                                                  \
  }                                                                                              \
  bool Realize(::quarn::CPDFObjHolder* doc, ::quarn::CPDFObject& source) {                       \
    return ::quarn::RealizeRules(Rules(), doc, *this, source);                                     \
  }

// A class of the family whose dictionary part is reachable as CPDFDict: a row, then the
// accessors as the remaining arguments.
#define QUARN_FAMILY_CLASS(Class, Base, ...)                                     \
  class Class : public Base {                                                    \
    QUARN_FAMILY_MEMBERS(Class)                                                  \
    bool Create(::quarn::CPDFObjHolder* doc) {                                   \
      this->BindDoc(doc);                                                        \
      return ::quarn::CreateRules(Rules(), doc, *this);                            \
    }                                                                            \
    __VA_ARGS__                                                                  \
  };

// Defines the row of a class in its family's source file.
#define QUARN_CLASS_ROW(Class, ...)                    \
  const ::quarn::ClassRow& Class::Rules() {             \
    static const ::quarn::ClassRow rules{__VA_ARGS__};  \
    return rules;                                        \
  }

// ---- template bodies ---------------------------------------------------------------------------

namespace family_detail {
// The values being bound at this moment, innermost last: a value met again is a loop. The
// scope enters `value` unless it is already being bound or the nesting is too deep, and
// leaves it on every path out, a thrown error included.
class BindingScope {
 public:
  explicit BindingScope(const CPDFObject* value);
  ~BindingScope();
  BindingScope(const BindingScope&) = delete;
  BindingScope& operator=(const BindingScope&) = delete;
  bool Entered() const { return m_entered; }

 private:
  bool m_entered = false;
};
}  // namespace family_detail

// Binds `value` as a new T once its recognizer has accepted it (`recognized`), under the
// family's loop guard. An error thrown half-way, or a failed binding, gives the content back, so
// that the holder keeps its value as it was.
template <class T>
BindOutcome MakeRecognized(CPDFObjHolder* doc, CPDFObject& value, bool recognized,
                           std::unique_ptr<CPDFObject>& out) {
  if (!recognized) return BindOutcome::kLeft;
  family_detail::BindingScope scope(&value);
  if (!scope.Entered()) return BindOutcome::kLeft;
  auto typed = std::make_unique<T>();
  typed->CopyFlagsFrom(value);
  bool realized = false;
  try {
    realized = typed->Realize(doc, value);
  } catch (...) {
    value.SwapContent(*typed);
    throw;
  }
  if (!realized) {
    value.SwapContent(*typed);
    return BindOutcome::kFailed;
  }
  out = std::move(typed);
  return BindOutcome::kBound;
}

template <class T>
BindOutcome MakeAs(CPDFObjHolder* doc, CPDFObject& value, std::unique_ptr<CPDFObject>& out) {
  return MakeRecognized<T>(doc, value, T::Recognize(doc, &value), out);
}

}  // namespace quarn
