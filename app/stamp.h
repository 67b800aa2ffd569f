// What one kind of stamp is to the driver: something drawn on the pages of its range, under or
// over each page's content. The driver walks the pages and, on each, asks every stamp whether
// the page is one of its own and has it draw there; the stamp makes what it needs once per run
// (its form or font in the output document) and draws one page at a time in that page's
// visible frame.
#pragma once

#include <cstdint>
#include <string>

#include "pdf/object/exception.h"
#include "pdf/object/values.h"

namespace quarn {

class CPDFDoc;
class CPDFGraphObjs;
class CPDFLib;
class CPDFPage;
class CPDFRect;
class CPDFResDict;
class CZorvaneApp;
struct NumberStamp;
struct PageView;

enum class StampPlace { kUnder, kOver };

// The page a stamp draws on, and what the driver does for it there.
class StampCanvas {
 public:
  virtual ~StampCanvas() = default;

  virtual CPDFLib& Lib() = 0;
  virtual CZorvaneApp& App() = 0;
  virtual CPDFDoc& Document() = 0;
  // The current page, its MediaBox (corners in order), its resources and its visible frame.
  virtual CPDFPage& Page() = 0;
  virtual const CPDFRect& PageBox() = 0;
  virtual CPDFResDict& Resources() = 0;
  virtual const PageView& View() = 0;

  // Adds `objects` as a Flate-compressed content stream of the current page, drawn under or
  // over its content (pages drawing the same bytes share one stream).
  virtual bool AddGraphics(const CPDFGraphObjs& objects, StampPlace place) = 0;
  // Adds a stream over the current page's content whose text `stamp` writes (on the compressing
  // worker); `filed`, when given, gets the stream filed for this page alone.
  virtual bool AddStampOver(NumberStamp stamp, CPDFObjRef* filed) = 0;
  // An object made for the current page alone: written out and dropped along with the page.
  virtual void NotePageOwned(const CPDFObjRef& ref) = 0;

  // "file not found" / "not a regular file" for a name that cannot be read as a file.
  virtual bool CheckReadable(const std::string& fileName) = 0;
  // One framed error line, with the library's report lines when `record` is given.
  virtual void LogError(const std::string& message) = 0;
  virtual void LogError(const std::string& message, const CPDFErrorRecord& record) = 0;
};

class Stamp {
 public:
  virtual ~Stamp() = default;

  // Before the document is opened: whatever needs no document (a text turned into the font's
  // encoding). False, with its line written, when the run cannot go on.
  virtual bool Prepare(StampCanvas& /*canvas*/) { return true; }
  // The pages the stamp is drawn on (1-based, inclusive; empty when `last` < `first`), once
  // resolved against the page count.
  void SetPages(int32_t first, int32_t last) {
    m_firstPage = first;
    m_lastPage = last;
  }
  // Whether page `page` (1-based) carries this stamp.
  bool Covers(int32_t page) const { return m_firstPage <= page && page <= m_lastPage; }
  // Where the stamp goes on `page`.
  virtual StampPlace Place() const = 0;
  // Whether what the run shares among pages is made (see Make).
  virtual bool Made() const = 0;
  // Makes, on the first page the stamp is drawn on, what every page of the run shares (the form
  // or the font in the output document), and names it in that page's resources. False, with
  // its lines written, on failure.
  virtual bool Make(StampCanvas& canvas, int32_t page) = 0;
  // Draws the stamp on the canvas's current page `page`. False, with its lines written, on
  // failure.
  virtual bool Draw(StampCanvas& canvas, int32_t page) = 0;
  // Whether this stamp, drawn over `page`'s content, draws a text of that page alone (no other
  // page can share its stream): the scan of the content may then wait for the stream's writer.
  virtual bool DrawsTextOfItsOwn(int32_t /*page*/) { return false; }
  // At the end of a run: one line for the pages on which the stamp lies wholly outside what
  // readers show.
  virtual void WarnUnseen(CZorvaneApp& /*app*/) const {}

 protected:
  int32_t m_firstPage = 1;
  int32_t m_lastPage = 0;
  // Pages on which a stamp lies wholly outside the visible page.
  struct UnseenPages {
    int32_t pages = 0;
    int32_t firstPage = 0;
    void Note(int32_t page) {
      if (pages++ == 0) firstPage = page;
    }
  };
};

}  // namespace quarn
