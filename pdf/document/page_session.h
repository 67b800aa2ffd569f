// One walk over the pages of a document while it is being saved: each page is visited once, in
// page order, changed, and written out and dropped from memory a while after its visit, so that
// a long document is never held whole. The session keeps the bookkeeping that such a walk needs
// whatever it does to the pages: the compression of the streams it files (on a worker thread),
// the release of finished pages and of the objects made for them alone, and the marks that make
// an incremental update write every object the walk changed.
//
// Use: OpenPage, BeginPage, WatchResources (updates only), the changes (NoteFixedBox, NoteOwned,
// Compressor().Submit for filed streams), NoteContentsBefore before the content changes,
// FinishPage, then Release(kReleaseLag). After the last page: Release(0) and the save's Flush.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "pdf/document/stream_compressor.h"
#include "pdf/object/exception.h"
#include "pdf/object/values.h"

namespace quarn {

class CPDFDoc;
class CPDFPage;

class PageSession {
 public:
  // Pages stay this many visits in memory after their own, so that the worker has compressed
  // their streams by the time they are written; the order of writing stays that of the pages.
  static constexpr size_t kReleaseLag = 160;

  // `incremental`: the save writes only the objects marked changed. `useWorker`: streams are
  // compressed on a second thread (see StreamCompressor).
  PageSession(CPDFDoc& doc, bool incremental, bool useWorker);
  ~PageSession();
  PageSession(const PageSession&) = delete;
  PageSession& operator=(const PageSession&) = delete;

  // The page at `index` (0-based). A page object that an earlier visit met at another place of
  // the page tree (and may have changed, or written already) is first given a copy of its own
  // there; `shared` then receives the object listed before (else it is left undefined). nullptr
  // when the page cannot be had (the document's record tells why).
  CPDFPage* OpenPage(int32_t index, CPDFObjRef* ref, CPDFObjRef* shared);
  // Starts the visit of `page`, filed as `ref`.
  void BeginPage(CPDFPage& page, const CPDFObjRef& ref);
  // An update: notes how the page's resources stand before they change, when they sit in an
  // object that the update would not write otherwise (`changed`: the page itself will be
  // marked changed).
  void WatchResources(bool changed);
  // A box of the page (`key`, a static name) was put in order where the page finds it.
  void NoteFixedBox(const char* key);
  // An object made for the current page alone: written and dropped along with it.
  void NoteOwned(const CPDFObjRef& ref);
  // Notes the page's "Contents" entry before the page's content changes.
  void NoteContentsBefore();
  // Ends the visit: marks what the page's changes touched (`changed`: the page's own dictionary;
  // `hasResources`: its resources were brought up to date), drops content that was only read,
  // and queues the page for release. `beforeWrite`, when given, runs once the page's streams are
  // compressed and before the page is written. False when a change cannot be marked (the
  // document's record tells why).
  bool FinishPage(bool changed, bool hasResources, std::function<bool()> beforeWrite = {});
  // Writes out the oldest finished pages until at most `kept` wait. False on the first failure:
  // `error` describes a stream that could not be compressed; a failed `beforeWrite` leaves it
  // clear (it has reported itself).
  bool Release(size_t kept, CPDFErrorRecord& error);

  StreamCompressor& Compressor();
  // ContentsArray kind for the current page's new arrays: an update writes each changed page
  // anyway, so the array a second content stream needs is kept in the page rather than written
  // as one more object.
  bool Incremental() const;
  // Whether the output's trailer leads to a catalog that the output holds: a table that lost
  // the catalog's entry would give a file that no reader opens.
  bool CatalogWritten() const;

 private:
  // The session's state, defined with the code (page_session_members.h).
  struct Members;
  std::unique_ptr<Members> m_;

  struct DonePage {
    CPDFObjRef ref;
    std::vector<CPDFObjRef> owned;
    uint64_t jobsEnd = 0;  // compression jobs submitted by the end of its visit
    std::function<bool()> beforeWrite;
  };
  std::string ResourcesText() const;
  CPDFObjRef WatchedResources(bool changed);
  bool MarkPageChanges(bool changed);
  bool KeepEditedNodes(bool hasResources);
  // The object that gives the current page its `key`: the value itself when it is an indirect
  // object, else the page or the ancestor whose dictionary holds it (undefined when none does).
  CPDFObjRef InheritedHolder(const char* key);
  void NoteNewContentsArray();
  void UnloadReadContents();
  void ReleaseDonePage(const DonePage& done);
  void ReleaseOwnedObject(const CPDFObjRef& ref);
  // Marks the indirect objects that `value` refers to (through its direct containers) as not
  // releasable, so that releasing the page does not take them along.
  void KeepReferencedObjects(const CPDFObject& value, int depth);
  // Direct containers nested deeper than this inside a page are not looked into.
  static constexpr int kMaxReleaseScanDepth = 64;
};

}  // namespace quarn
