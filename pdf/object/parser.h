// Reads PDF values from an input stream.
#pragma once

#include <memory>

#include "pdf/object/exception.h"
#include "pdf/object/in_stream.h"
#include "pdf/object/values.h"

namespace quarn {

class CPDFDoc;
class CPDFCryptContext;

// Reads one value of any type (a dictionary followed by "stream" becomes a stream); nullptr
// when the input holds no value at that point. Throws CPDFException on malformed input.
std::unique_ptr<CPDFObject> SerializeObject(CPDFDoc* doc, InStream& in,
                                            const CPDFCryptContext* crypt = nullptr);
// "n g R" lookahead; nullptr with the input restored when the next tokens are not a reference.
std::unique_ptr<CPDFObjRef> ReadReference(CPDFDoc* doc, InStream& in);

// The readers of single classes (the load form of each class's Serialize). Each expects its
// value at the current position (no whitespace skipped first, except where a class says so),
// throws CPDFException with its class label and the method label "Serialize" on malformed input,
// and returns the new value. A dictionary read here is never turned into a stream: callers that
// read a dictionary followed by another keyword (the trailer's "startxref") use ReadDict.
std::unique_ptr<CPDFNull> ReadNull(InStream& in);
std::unique_ptr<CPDFBool> ReadBool(InStream& in);
std::unique_ptr<CPDFNumber> ReadNumber(InStream& in);
std::unique_ptr<CPDFName> ReadName(InStream& in);
std::unique_ptr<CPDFString> ReadString(InStream& in, const CPDFCryptContext* crypt = nullptr);
std::unique_ptr<CPDFArray> ReadArray(CPDFDoc* doc, InStream& in,
                                     const CPDFCryptContext* crypt = nullptr);
std::unique_ptr<CPDFDict> ReadDict(CPDFDoc* doc, InStream& in,
                                   const CPDFCryptContext* crypt = nullptr);

}  // namespace quarn
