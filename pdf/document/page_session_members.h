// The private state of a page session, kept out of the installed header so that adding to it
// does not change the layout that programs linked against the shared library were built with.
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "pdf/document/page_session.h"
#include "pdf/document/stream_compressor.h"
#include "pdf/object/values.h"

namespace quarn {

struct PageSession::Members {
  Members(CPDFDoc& document, bool incrementalSave, bool useWorker)
      : doc(document), incremental(incrementalSave), compressor(useWorker) {}

  CPDFDoc& doc;
  const bool incremental;
  StreamCompressor compressor;
  CPDFPage* page = nullptr;  // the page being visited (observed)
  CPDFObjRef pageRef;
  std::vector<const char*> fixedBoxes;  // boxes of the current page put in order (or given)
  std::vector<CPDFObjRef> pageOwned;    // objects made for the current page alone
  CPDFObjRef watched;                   // the resources an update watches, see WatchResources
  std::string resourcesBefore;
  CPDFObjRef contentsBefore;
  std::deque<DonePage> donePages;  // oldest first
  // The page objects visited so far, by number (see OpenPage).
  std::vector<bool> visitedPages;
};

}  // namespace quarn
