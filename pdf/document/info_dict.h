// The document information dictionary and its typed strings: text and dates.
#pragma once

#include <ctime>
#include <memory>
#include <string>

#include "pdf/object/typed_dict.h"

namespace quarn {

// A string meant as text.
class CPDFText : public CPDFString {
 public:
  CPDFText() = default;
  explicit CPDFText(const char* text) : CPDFString(text) {}
  explicit CPDFText(std::string text) : CPDFString(std::move(text)) {}
  std::unique_ptr<CPDFObject> NewEmpty(CPDFObjHolder*) const override {
    return std::make_unique<CPDFText>();
  }
  // Takes over the bytes of a string unchanged.
  bool Realize(CPDFObjHolder* doc, CPDFObject& source);
};

// A date in the PDF form "D:YYYYMMDDHHmmSS". Dates read from a file are kept as they are,
// neither parsed nor checked.
class CPDFDate : public CPDFDataStruct, public CPDFString {
  QUARN_TYPED_CLASS(CPDFDate, CPDFString, "")
 public:
  CPDFDate() = default;
  bool Realize(CPDFObjHolder* doc, CPDFObject& source);
  void SwapContent(CPDFObject& other) override { CPDFString::SwapContent(other); }
  // Sets the value to the current local time.
  void SetNow();
  // Sets the value to the local time of `when`.
  void SetTime(std::time_t when);
};

class CPDFInfoDict : public CPDFDocStruct, public CPDFDict {
  QUARN_TYPED_CLASS(CPDFInfoDict, CPDFDict, "")
 public:
  bool Create(CPDFObjHolder* doc);
  // Takes over `source` and wraps each of the eight keys whose value is a string in its class.
  bool Realize(CPDFObjHolder* doc, CPDFObject& source);
  void SwapContent(CPDFObject& other) override { CPDFDict::SwapContent(other); }

  QUARN_ACCESSOR(Author, CPDFText)
  QUARN_ACCESSOR(CreationDate, CPDFDate)
  QUARN_ACCESSOR(ModDate, CPDFDate)
  QUARN_ACCESSOR(Creator, CPDFText)
  QUARN_ACCESSOR(Producer, CPDFText)
  QUARN_ACCESSOR(Title, CPDFText)
  QUARN_ACCESSOR(Subject, CPDFText)
  QUARN_ACCESSOR(Keywords, CPDFText)
};

// Any dictionary can be an information dictionary; any string a text or a date.
bool IsInfoDict(CPDFObjHolder* doc, CPDFObject* value);
bool IsTextString(CPDFObjHolder* doc, CPDFObject* value);

// The library's name written as "Producer".
inline constexpr char kProducerName[] = "libquarn";

}  // namespace quarn
