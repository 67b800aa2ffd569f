// Reads PDF values from an input stream.
#pragma once

#include <memory>

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

}  // namespace quarn
