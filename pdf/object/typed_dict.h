// The typed-value pattern: a mix-in that ties a value to its document, then the value class.
// Each typed class has a class name object, a recognizer, Create, Realize and Get_/Set_
// accessors declared compactly with the macros below.
#pragma once

#include <memory>
#include <string_view>

#include "pdf/object/values.h"

namespace quarn {

// Base of the mix-ins: the store the typed value belongs to, shared with CPDFStream so that a
// typed stream is tied to one store only.
class CPDFStructBase : public virtual CPDFHolderBinding {};

// Values of the document's structure: catalog, pages, annotations, actions, information...
class CPDFDocStruct : public CPDFStructBase {};
// Values that describe data: resources, fonts, functions, dates, rectangles, matrices...
class CPDFDataStruct : public CPDFStructBase {};

// Values filed in a resource dictionary under a name made from their prefix.
class CPDFResource : public CPDFDataStruct {
 public:
  virtual const char* GetCategory() const = 0;
  virtual const char* GetPrefix() const = 0;
};

// A recognizer: says whether a value is of a class; never changes the value.
using Recognizer = bool (*)(CPDFObjHolder* doc, CPDFObject* value);

// The typed object behind the entry `key` of `holder`, bound as T when it is a plain value that
// `recognize` accepts: a new T is realized from it and stored back under the same key (or the
// same indirect identity). Returns false only when a binding was tried and failed (the entry is
// then left as it was). `bound` receives the typed object, or nullptr when the entry is absent
// or not of the class.
template <class T>
bool BindEntry(CPDFObjHolder* doc, CPDFDict& holder, std::string_view key, Recognizer recognize,
               T** bound = nullptr);
// The same for element `index` of an array.
template <class T>
bool BindElement(CPDFObjHolder* doc, CPDFArray& holder, size_t index, Recognizer recognize,
                 T** bound = nullptr);
// Binds a value already at hand (for example an indirect object fetched by identity): when
// `ref` is defined the new object replaces the document's object under that identity.
template <class T>
T* BindValue(CPDFObjHolder* doc, CPDFObject* value, const CPDFObjRef& ref, Recognizer recognize,
             bool* failed = nullptr);

// ---- accessor declarations ------------------------------------------------------------------
// Get_<Key>(ref out) returns the resolved entry as T (nullptr when absent or of another class);
// Set_<Key>(value, indirect, ref in/out) stores it directly or as an indirect object.
#define QUARN_GET(Key, T)                                                          \
  T* Get_##Key(::quarn::CPDFObjRef* ref = nullptr) {                               \
    return dynamic_cast<T*>(this->GetValue(this->Doc(), #Key, ref));               \
  }                                                                                \
  const T* Get_##Key(::quarn::CPDFObjRef* ref = nullptr) const {                   \
    return dynamic_cast<const T*>(this->GetValue(this->Doc(), #Key, ref));         \
  }
#define QUARN_SET(Key, T)                                                                   \
  bool Set_##Key(std::unique_ptr<T> value, bool indirect = false,                          \
                 ::quarn::CPDFObjRef* ref = nullptr) {                                      \
    return this->SetValue(this->Doc(), #Key, std::move(value), indirect, ref);              \
  }
#define QUARN_ACCESSOR(Key, T) QUARN_GET(Key, T) QUARN_SET(Key, T)

// The class-name object, the empty-object factory and the content swap of a typed class.
#define QUARN_TYPED_CLASS(Class, Base, ClassNameText)                                    \
 public:                                                                                 \
  static const ::quarn::CPDFName& ClassName() {                                          \
    static const ::quarn::CPDFName name(ClassNameText);                                  \
    return name;                                                                         \
  }                                                                                      \
  std::unique_ptr<::quarn::CPDFObject> NewEmpty(::quarn::CPDFObjHolder* target) const override { \
    auto obj = std::make_unique<Class>();                                                \
    obj->BindDoc(target);                                                                \
    return obj;                                                                          \
  }

}  // namespace quarn

#include "pdf/object/typed_dict_impl.h"
