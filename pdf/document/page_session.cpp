#include "pdf/document/page_session.h"

#include <algorithm>
#include <utility>

#include "pdf/document/body.h"
#include "pdf/document/doc.h"
#include "pdf/document/page_session_members.h"
#include "pdf/document/pages.h"
#include "pdf/document/res_dict.h"
#include "pdf/document/trailer.h"
#include "pdf/document/xref.h"
#include "pdf/object/out_stream.h"

namespace quarn {

PageSession::PageSession(CPDFDoc& doc, bool incremental, bool useWorker)
    : m_(std::make_unique<Members>(doc, incremental, useWorker)) {}

StreamCompressor& PageSession::Compressor() { return m_->compressor; }
bool PageSession::Incremental() const { return m_->incremental; }
void PageSession::NoteFixedBox(const char* key) { m_->fixedBoxes.push_back(key); }
void PageSession::NoteOwned(const CPDFObjRef& ref) { m_->pageOwned.push_back(ref); }

PageSession::~PageSession() = default;

CPDFPage* PageSession::OpenPage(int32_t index, CPDFObjRef* ref, CPDFObjRef* shared) {
  shared->Reset();
  CPDFPage* page = m_->doc.GetPage(index, ref);
  // A page object listed twice has had its first place changed, or written and released
  // already (then it cannot be read at all): its second place gets its own copy.
  const auto visited = static_cast<size_t>(ref->Num());
  if (ref->IsDefined() && visited < m_->visitedPages.size() && m_->visitedPages[visited]) {
    const CPDFObjRef listed = *ref;
    page = m_->doc.SeparatePage(index, ref);
    if (page) *shared = listed;
  }
  if (!page) return nullptr;
  const auto num = static_cast<size_t>(ref->Num());
  if (num >= m_->visitedPages.size())
    m_->visitedPages.resize(std::max(num + 1, 2 * m_->visitedPages.size()));
  m_->visitedPages[num] = true;
  return page;
}

void PageSession::BeginPage(CPDFPage& page, const CPDFObjRef& ref) {
  m_->page = &page;
  m_->pageRef = ref;
  m_->fixedBoxes.clear();
  m_->pageOwned.clear();
  m_->watched.Reset();
  m_->resourcesBefore.clear();
  m_->contentsBefore.Reset();
}

void PageSession::WatchResources(bool changed) {
  if (!m_->incremental) return;
  m_->watched = WatchedResources(changed);
  if (m_->watched.IsDefined()) m_->resourcesBefore = ResourcesText();
}

void PageSession::NoteContentsBefore() {
  const CPDFAtom* contents = m_->page->Lookup("Contents");
  m_->contentsBefore =
      contents && contents->IsRef() ? *static_cast<const CPDFObjRef*>(contents) : CPDFObjRef();
}

bool PageSession::FinishPage(bool changed, bool hasResources, std::function<bool()> beforeWrite) {
  // A change the output would leave out must not pass for a changed page.
  if (m_->incremental ? !MarkPageChanges(changed) : !KeepEditedNodes(hasResources)) return false;
  NoteNewContentsArray();
  UnloadReadContents();
  // Pages visited before this one are done for good: the page-tree lookup has moved past them
  // (it resumes from the previous page, which therefore stays in memory until the next visit).
  m_->donePages.push_back(
      {m_->pageRef, m_->pageOwned, m_->compressor.Submitted(), std::move(beforeWrite)});
  return true;
}

bool PageSession::Release(size_t kept, CPDFErrorRecord& error) {
  while (m_->donePages.size() > kept) {
    DonePage& done = m_->donePages.front();
    // The page's streams get their compressed data before anything of it is written.
    if (!m_->compressor.Settle(done.jobsEnd, &m_->doc, error)) return false;
    if (done.beforeWrite && !done.beforeWrite()) return false;
    ReleaseDonePage(done);
    m_->donePages.pop_front();
  }
  return true;
}

// ---- the marks of an incremental update --------------------------------------------------------
// Updates write only the objects marked changed. A walk changes objects of the input in three
// places: the page (its content, and a box or resources it is given), the dictionary that holds
// the page's resources, and a box that is put in order where the page inherits it.

std::string PageSession::ResourcesText() const {
  CPDFResDict* resources = m_->page ? m_->page->Get_Resources() : nullptr;
  if (!resources) return std::string();
  StringOutStream text;
  resources->Serialize(text, nullptr);
  return text.Str();
}

CPDFObjRef PageSession::WatchedResources(bool changed) {
  // Resources held in a changed object need no watching: the update writes that object as it
  // stands at the end. That is the page itself when it changes, and shared resources once an
  // earlier page changed them.
  const CPDFObjRef holder = InheritedHolder("Resources");
  if (!holder.IsDefined() || (changed && holder == m_->pageRef)) return CPDFObjRef();
  CPDFBody* body = nullptr;
  if (m_->doc.FindObj(holder, false, &body) && body == m_->doc.GetBody()) return CPDFObjRef();
  return holder;
}

bool PageSession::MarkPageChanges(bool changed) {
  // A page that was only visited stays as the input has it, unless one of its boxes had to be
  // put in order.
  if (changed && !m_->doc.UpdateObj(m_->pageRef)) return false;
  for (const char* key : m_->fixedBoxes) {
    const CPDFObjRef holder = InheritedHolder(key);
    if (holder.IsDefined() && !m_->doc.UpdateObj(holder)) return false;
  }
  // Shared resources change once (a form's name, a font's, the procedure sets); every later
  // page finds them in the update.
  return !m_->watched.IsDefined() || ResourcesText() == m_->resourcesBefore ||
         m_->doc.UpdateObj(m_->watched);
}

bool PageSession::KeepEditedNodes(bool hasResources) {
  // A full rewrite: the page-tree nodes whose dictionaries the page's changes edited (the
  // resources it inherits, a box put in order) are marked changed, so that they are written as
  // edited and never dropped from memory as if they were as the input holds them.
  std::vector<const char*> edited = m_->fixedBoxes;
  if (hasResources) edited.push_back("Resources");
  for (const char* key : edited) {
    const CPDFObjRef holder = InheritedHolder(key);
    if (holder.IsDefined() && holder != m_->pageRef && !m_->doc.UpdateObj(holder)) return false;
  }
  return true;
}

CPDFObjRef PageSession::InheritedHolder(const char* key) {
  // Up a "Parent" chain of any length (page trees may be thousands of levels deep): a follower
  // at half the pace meets the walk only when the chain loops.
  auto parentOf = [](const CPDFDict* node) {
    const CPDFAtom* parent = node ? node->Lookup("Parent") : nullptr;
    return parent && parent->IsRef() ? *static_cast<const CPDFObjRef*>(parent) : CPDFObjRef();
  };
  CPDFObjRef nodeRef = m_->pageRef;
  CPDFObjRef followerRef = m_->pageRef;
  const CPDFDict* node = m_->page;
  for (size_t steps = 1; node; ++steps) {
    if (const CPDFAtom* value = node->Lookup(key)) {
      return value->IsRef() ? *static_cast<const CPDFObjRef*>(value) : nodeRef;
    }
    nodeRef = parentOf(node);
    if (!nodeRef.IsDefined()) break;
    if (steps % 2 == 0) {
      followerRef =
          parentOf(followerRef == m_->pageRef ? m_->page : AsDict(m_->doc.GetObj(followerRef)));
    }
    if (nodeRef == followerRef) break;
    node = AsDict(m_->doc.GetObj(nodeRef));
  }
  return CPDFObjRef();
}

bool PageSession::CatalogWritten() const {
  CPDFTrailer* trailer = m_->doc.GetTrailer();
  const CPDFAtom* root = trailer ? trailer->Dict().Lookup("Root") : nullptr;
  if (!root || !root->IsRef()) return false;
  const CPDFObjRef& ref = *static_cast<const CPDFObjRef*>(root);
  // An update lists only what changed; the catalog then stands in an older section.
  const CPDFXRefEntry* entry =
      m_->incremental ? m_->doc.FindEntry(ref.Num(), false)
                      : (m_->doc.GetXRef() ? m_->doc.GetXRef()->GetEntry(ref.Num()) : nullptr);
  return entry && entry->InUse() && entry->Gen() == ref.Gen() && AsDict(m_->doc.GetObj(ref));
}

// ---- release -----------------------------------------------------------------------------------

void PageSession::NoteNewContentsArray() {
  // Adding content to a page whose content was one stream gives it a new array of its own;
  // nothing else refers to it. (A stream filed for a page without content is not noted: it may
  // be the stream that other pages share.)
  const CPDFAtom* contents = m_->page->Lookup("Contents");
  if (!contents || !contents->IsRef()) return;
  const CPDFObjRef& now = *static_cast<const CPDFObjRef*>(contents);
  if (now == m_->contentsBefore) return;
  const CPDFObject* made = m_->doc.FindObj(now, false);
  if (made && made->IsType(kTypeArray)) m_->pageOwned.push_back(now);
}

void PageSession::UnloadReadContents() {
  // The page's own content was at most read: read from the input and unchanged, it leaves
  // memory now and is copied from the input by the save.
  if (!m_->contentsBefore.IsDefined() || !m_->doc.IsSaving()) return;
  if (const CPDFArray* parts = AsArray(m_->doc.FindObj(m_->contentsBefore, false))) {
    for (size_t i = 0; i < parts->Count(); ++i) {
      const CPDFAtom* part = parts->At(i);
      if (part && part->IsRef()) m_->doc.UnloadObj(*static_cast<const CPDFObjRef*>(part));
    }
  }
  m_->doc.UnloadObj(m_->contentsBefore);
}

void PageSession::ReleaseDonePage(const DonePage& done) {
  // While the save is under way a released object is written to the output at once and leaves
  // memory. Only the page dictionary itself goes: what it refers to (the page tree, shared
  // resources, content streams that other pages may share) is kept for the pages still to come.
  if (!done.ref.IsDefined() || !m_->doc.IsSaving()) return;
  const CPDFObject* page = m_->doc.FindObj(done.ref, false);
  if (!page) return;
  KeepReferencedObjects(*page, 0);
  // A page that cannot be written now simply stays in memory and is written by the flush.
  m_->doc.ReleaseObj(done.ref, false);
  for (const CPDFObjRef& ref : done.owned) ReleaseOwnedObject(ref);
  // The page fetched since holds nothing of the pages before it.
  m_->doc.DropReplacedObjs();
}

void PageSession::ReleaseOwnedObject(const CPDFObjRef& ref) {
  // Made for one page and never changed after it: written at once rather than held until the
  // flush, which on a long document is most of the memory. What it refers to (shared streams,
  // the page's own content) stays, as for the page.
  const CPDFObject* object = m_->doc.FindObj(ref, false);
  if (!object) return;
  KeepReferencedObjects(*object, 0);
  m_->doc.ReleaseObj(ref, true);
}

void PageSession::KeepReferencedObjects(const CPDFObject& value, int depth) {
  if (depth > kMaxReleaseScanDepth) return;
  auto keep = [&](const CPDFAtom* atom) {
    if (!atom) return;
    if (atom->IsRef()) {
      if (CPDFObject* target = m_->doc.FindObj(*static_cast<const CPDFObjRef*>(atom), false)) {
        target->m_releasable = false;
      }
    } else {
      KeepReferencedObjects(*static_cast<const CPDFObject*>(atom), depth + 1);
    }
  };
  if (value.IsType(kTypeDict | kTypeStream)) {
    for (const auto& entry : static_cast<const CPDFDict&>(value)) keep(entry.second.get());
  } else if (value.IsType(kTypeArray)) {
    const auto& array = static_cast<const CPDFArray&>(value);
    for (size_t i = 0; i < array.Count(); ++i) keep(array.At(i));
  }
}

}  // namespace quarn
