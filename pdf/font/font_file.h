// An embedded font program: a stream with the lengths of its clear-text, encrypted and
// trailing parts.
#pragma once

#include <memory>

#include "pdf/object/typed_dict.h"
#include "pdf/stream/stream.h"

namespace quarn {

class CPDFFontFile : public CPDFDataStruct, public CPDFStream {
 public:
  explicit CPDFFontFile(CPDFObjHolder* doc = nullptr) : CPDFStream(doc) { BindDoc(doc); }

  std::unique_ptr<CPDFObject> NewEmpty(CPDFObjHolder* target) const override {
    return std::make_unique<CPDFFontFile>(target);
  }
  // Takes over the stream `source`; Length1, Length2 and Length3 read from the file become
  // integer objects (an indirect one keeps its identity).
  bool Realize(CPDFObjHolder* doc, CPDFObject& source);
  void SwapContent(CPDFObject& other) override { CPDFStream::SwapContent(other); }

  // A copy of the stream into `target`; nullptr on failure.
  std::unique_ptr<CPDFFontFile> Duplicate(CPDFObjHolder* target) const;
  using CPDFObject::Duplicate;

  QUARN_ACCESSOR(Length1, CPDFNumber)
  QUARN_ACCESSOR(Length2, CPDFNumber)
  QUARN_ACCESSOR(Length3, CPDFNumber)
};

// Recognizer: a stream whose Length1 is a number read from the file.
bool IsFontFile(CPDFObjHolder* doc, CPDFObject* value);

}  // namespace quarn
