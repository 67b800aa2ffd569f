// Page-content operations beyond CPDFPage's own: adding a stream and learning the identity it was
// filed under, and adding a stream that the document already holds (one stream shared by many
// pages draws the same thing on each of them).
#pragma once

#include "pdf/object/values.h"
#include "pdf/stream/stream.h"

namespace quarn {

class CPDFPage;

// How a page whose content is one stream gets the array that adds a second one: as a new
// indirect object (as AddContents makes it), or held in the page's own dictionary (one object
// fewer to write, which counts when only changed objects are written).
enum class ContentsArray { kIndirect, kDirect };

// CPDFPage::AddContents, with the identity of the filed copy written to *filed when given.
bool AddContentsFiled(CPDFPage& page, const CPDFStream& stream, bool after, CPDFObjRef* filed,
                      ContentsArray made = ContentsArray::kIndirect);
// Puts a reference to the existing content stream `stream` after (or before) the page's
// content, turning "Contents" into an array as AddContents does. Errors go into the page's
// document record.
bool AddContentsReference(CPDFPage& page, const CPDFObjRef& stream, bool after,
                          ContentsArray made = ContentsArray::kIndirect);
// The page's whole content decoded, as CPDFPage::ReadContents gives it (each stream of an array
// followed by a space), handed to `sink` piece by piece instead of being held: content of any
// size is read in little memory. Errors go into the page's document record.
bool StreamContents(CPDFPage& page, const DataSink& sink);

}  // namespace quarn
