// Page-content operations beyond CPDFPage's own: adding a stream and learning the identity it was
// filed under, and adding a stream that the document already holds (one stream shared by many
// pages draws the same thing on each of them).
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

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
// Leaves out of the page's "Contents" array the items that are not streams (null, a reference
// to no object or to one that cannot be read, a dictionary, a number...): they hold no content,
// and readers that meet one drop the whole array, with whatever is added to it. Streams keep
// their order; an indirect array is marked changed only when it loses items. Errors go into
// the page's document record.
bool DropNonStreamContents(CPDFPage& page);
// The page's whole content decoded, as CPDFPage::ReadContents gives it (each stream of an array
// followed by a space), handed to `sink` piece by piece instead of being held: content of any
// size is read in little memory. Errors go into the page's document record.
bool StreamContents(CPDFPage& page, const DataSink& sink);

// The page's content streams as copies of their own: the still-encoded data in memory and the
// filters, with nothing left that refers into the document, so that another thread can decode
// them while the document goes on being used.
struct DetachedContents {
  std::vector<std::shared_ptr<CPDFStream>> parts;
  bool array = false;  // "Contents" is an array: a space follows each part
};
// False (with nothing kept and no error recorded) when the content does not lend itself to
// that: more than `maxBytes` of encoded data in all or more than 64 streams, a filter other
// than the general-purpose ones (Flate, LZW, ASCII85, ASCIIHex, RunLength), parameters that
// refer to other objects, or content that cannot be read. A page without content gives no parts.
bool DetachContents(CPDFPage& page, uint64_t maxBytes, DetachedContents& detached);
// StreamContents on detached content; errors go into `error`.
bool StreamDetachedContents(const DetachedContents& detached, const DataSink& sink,
                            CPDFErrorRecord& error);

}  // namespace quarn
