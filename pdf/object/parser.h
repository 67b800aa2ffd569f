// Reads PDF values from an input stream.
#pragma once

#include <memory>

#include "pdf/object/exception.h"
#include "pdf/object/in_stream.h"
#include "pdf/object/values.h"

namespace quarn {

class CPDFObjHolder;
class CPDFCryptContext;

// Reads the body of a stream whose dictionary has just been read, the input standing at the
// keyword "stream"; takes the dictionary over. The stream layer supplies it.
using StreamReader = std::unique_ptr<CPDFObject> (*)(CPDFObjHolder* doc, InStream& in,
                                                     std::unique_ptr<CPDFDict> dict,
                                                     const CPDFCryptContext* crypt);

// Reads one value of any type; a dictionary followed by "stream" becomes a stream through
// `streams` (without it the dictionary is returned and the keyword left unread). nullptr when
// the input holds no value at that point. Throws CPDFException on malformed input.
// SerializeObject (pdf/stream/stream.h) is this with the library's stream reader.
std::unique_ptr<CPDFObject> ParseObject(CPDFObjHolder* doc, InStream& in,
                                        const CPDFCryptContext* crypt = nullptr,
                                        StreamReader streams = nullptr);
// As ParseObject, reading a damaged container as readers do: a token that cannot stand in an
// array or a dictionary (a stray delimiter, a key that is no name, a value broken inside) is
// passed over and counted in `dropped`, and a keyword that ends an object ("endobj",
// "stream") closes the containers left open. Throws only where nothing can be read at all.
std::unique_ptr<CPDFObject> ParseObjectLeniently(CPDFObjHolder* doc, InStream& in,
                                                 const CPDFCryptContext* crypt,
                                                 StreamReader streams, int* dropped);
// "n g R" lookahead; nullptr with the input restored when the next tokens are not a reference.
std::unique_ptr<CPDFObjRef> ReadReference(CPDFObjHolder* doc, InStream& in);

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
std::unique_ptr<CPDFArray> ReadArray(CPDFObjHolder* doc, InStream& in,
                                     const CPDFCryptContext* crypt = nullptr);
std::unique_ptr<CPDFDict> ReadDict(CPDFObjHolder* doc, InStream& in,
                                   const CPDFCryptContext* crypt = nullptr);

}  // namespace quarn
