#include "pdf/document/page_session.h"

#include <algorithm>
#include <utility>

#include "pdf/document/body.h"
#include "pdf/document/doc.h"
#include "pdf/document/pages.h"
#include "pdf/document/res_dict.h"
#include "pdf/document/trailer.h"
#include "pdf/document/xref.h"
#include "pdf/object/out_stream.h"

namespace quarn {

PageSession::PageSession(CPDFDoc& doc, bool incremental, bool useWorker)
    : m_doc(doc), m_incremental(incremental), m_compressor(useWorker) {}

PageSession::~PageSession() = default;

CPDFPage* PageSession::OpenPage(int32_t index, CPDFObjRef* ref, CPDFObjRef* shared) {
  shared->Reset();
  CPDFPage* page = m_doc.GetPage(index, ref);
  // A page object listed twice has had its first place changed, or written and released
  // already (then it cannot be read at all): its second place gets its own copy.
  const auto visited = static_cast<size_t>(ref->Num());
  if (ref->IsDefined() && visited < m_visitedPages.size() && m_visitedPages[visited]) {
    const CPDFObjRef listed = *ref;
    page = m_doc.SeparatePage(index, ref);
    if (page) *shared = listed;
  }
  if (!page) return nullptr;
  const auto num = static_cast<size_t>(ref->Num());
  if (num >= m_visitedPages.size())
    m_visitedPages.resize(std::max(num + 1, 2 * m_visitedPages.size()));
  m_visitedPages[num] = true;
  return page;
}

void PageSession::BeginPage(CPDFPage& page, const CPDFObjRef& ref) {
  m_page = &page;
  m_pageRef = ref;
  m_fixedBoxes.clear();
  m_pageOwned.clear();
  m_watched.Reset();
  m_resourcesBefore.clear();
  m_contentsBefore.Reset();
}

void PageSession::WatchResources(bool changed) {
  if (!m_incremental) return;
  m_watched = WatchedResources(changed);
  if (m_watched.IsDefined()) m_resourcesBefore = ResourcesText();
}

void PageSession::NoteContentsBefore() {
  const CPDFAtom* contents = m_page->Lookup("Contents");
  m_contentsBefore =
      contents && contents->IsRef() ? *static_cast<const CPDFObjRef*>(contents) : CPDFObjRef();
}

bool PageSession::FinishPage(bool changed, bool hasResources, std::function<bool()> beforeWrite) {
  // A change the output would leave out must not pass for a changed page.
  if (m_incremental ? !MarkPageChanges(changed) : !KeepEditedNodes(hasResources)) return false;
  NoteNewContentsArray();
  UnloadReadContents();
  // Pages visited before this one are done for good: the page-tree lookup has moved past them
  // (it resumes from the previous page, which therefore stays in memory until the next visit).
  m_donePages.push_back({m_pageRef, m_pageOwned, m_compressor.Submitted(), std::move(beforeWrite)});
  return true;
}

bool PageSession::Release(size_t kept, CPDFErrorRecord& error) {
  while (m_donePages.size() > kept) {
    DonePage& done = m_donePages.front();
    // The page's streams get their compressed data before anything of it is written.
    if (!m_compressor.Settle(done.jobsEnd, &m_doc, error)) return false;
    if (done.beforeWrite && !done.beforeWrite()) return false;
    ReleaseDonePage(done);
    m_donePages.pop_front();
  }
  return true;
}

// ---- the marks of an incremental update --------------------------------------------------------
// Updates write only the objects marked changed. A walk changes objects of the input in three
// places: the page (its content, and a box or resources it is given), the dictionary that holds
// the page's resources, and a box that is put in order where the page inherits it.

std::string PageSession::ResourcesText() const {
  CPDFResDict* resources = m_page ? m_page->Get_Resources() : nullptr;
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
  if (!holder.IsDefined() || (changed && holder == m_pageRef)) return CPDFObjRef();
  CPDFBody* body = nullptr;
  if (m_doc.FindObj(holder, false, &body) && body == m_doc.GetBody()) return CPDFObjRef();
  return holder;
}

bool PageSession::MarkPageChanges(bool changed) {
  // A page that was only visited stays as the input has it, unless one of its boxes had to be
  // put in order.
  if (changed && !m_doc.UpdateObj(m_pageRef)) return false;
  for (const char* key : m_fixedBoxes) {
    const CPDFObjRef holder = InheritedHolder(key);
    if (holder.IsDefined() && !m_doc.UpdateObj(holder)) return false;
  }
  // Shared resources change once (a form's name, a font's, the procedure sets); every later
  // page finds them in the update.
  return !m_watched.IsDefined() || ResourcesText() == m_resourcesBefore ||
         m_doc.UpdateObj(m_watched);
}

bool PageSession::KeepEditedNodes(bool hasResources) {
  // A full rewrite: the page-tree nodes whose dictionaries the page's changes edited (the
  // resources it inherits, a box put in order) are marked changed, so that they are written as
  // edited and never dropped from memory as if they were as the input holds them.
  std::vector<const char*> edited = m_fixedBoxes;
  if (hasResources) edited.push_back("Resources");
  for (const char* key : edited) {
    const CPDFObjRef holder = InheritedHolder(key);
    if (holder.IsDefined() && holder != m_pageRef && !m_doc.UpdateObj(holder)) return false;
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
  CPDFObjRef nodeRef = m_pageRef;
  CPDFObjRef followerRef = m_pageRef;
  const CPDFDict* node = m_page;
  for (size_t steps = 1; node; ++steps) {
    if (const CPDFAtom* value = node->Lookup(key)) {
      return value->IsRef() ? *static_cast<const CPDFObjRef*>(value) : nodeRef;
    }
    nodeRef = parentOf(node);
    if (!nodeRef.IsDefined()) break;
    if (steps % 2 == 0) {
      followerRef = parentOf(followerRef == m_pageRef ? m_page : AsDict(m_doc.GetObj(followerRef)));
    }
    if (nodeRef == followerRef) break;
    node = AsDict(m_doc.GetObj(nodeRef));
  }
  return CPDFObjRef();
}

bool PageSession::CatalogWritten() const {
  CPDFTrailer* trailer = m_doc.GetTrailer();
  const CPDFAtom* root = trailer ? trailer->Dict().Lookup("Root") : nullptr;
  if (!root || !root->IsRef()) return false;
  const CPDFObjRef& ref = *static_cast<const CPDFObjRef*>(root);
  // An update lists only what changed; the catalog then stands in an older section.
  const CPDFXRefEntry* entry =
      m_incremental ? m_doc.FindEntry(ref.Num(), false)
                    : (m_doc.GetXRef() ? m_doc.GetXRef()->GetEntry(ref.Num()) : nullptr);
  return entry && entry->InUse() && entry->Gen() == ref.Gen() && AsDict(m_doc.GetObj(ref));
}

// ---- release -----------------------------------------------------------------------------------

void PageSession::NoteNewContentsArray() {
  // Adding content to a page whose content was one stream gives it a new array of its own;
  // nothing else refers to it. (A stream filed for a page without content is not noted: it may
  // be the stream that other pages share.)
  const CPDFAtom* contents = m_page->Lookup("Contents");
  if (!contents || !contents->IsRef()) return;
  const CPDFObjRef& now = *static_cast<const CPDFObjRef*>(contents);
  if (now == m_contentsBefore) return;
  const CPDFObject* made = m_doc.FindObj(now, false);
  if (made && made->IsType(kTypeArray)) m_pageOwned.push_back(now);
}

void PageSession::UnloadReadContents() {
  // The page's own content was at most read: read from the input and unchanged, it leaves
  // memory now and is copied from the input by the save.
  if (!m_contentsBefore.IsDefined() || !m_doc.IsSaving()) return;
  if (const CPDFArray* parts = AsArray(m_doc.FindObj(m_contentsBefore, false))) {
    for (size_t i = 0; i < parts->Count(); ++i) {
      const CPDFAtom* part = parts->At(i);
      if (part && part->IsRef()) m_doc.UnloadObj(*static_cast<const CPDFObjRef*>(part));
    }
  }
  m_doc.UnloadObj(m_contentsBefore);
}

void PageSession::ReleaseDonePage(const DonePage& done) {
  // While the save is under way a released object is written to the output at once and leaves
  // memory. Only the page dictionary itself goes: what it refers to (the page tree, shared
  // resources, content streams that other pages may share) is kept for the pages still to come.
  if (!done.ref.IsDefined() || !m_doc.IsSaving()) return;
  const CPDFObject* page = m_doc.FindObj(done.ref, false);
  if (!page) return;
  KeepReferencedObjects(*page, 0);
  // A page that cannot be written now simply stays in memory and is written by the flush.
  m_doc.ReleaseObj(done.ref, false);
  for (const CPDFObjRef& ref : done.owned) ReleaseOwnedObject(ref);
  // The page fetched since holds nothing of the pages before it.
  m_doc.DropReplacedObjs();
}

void PageSession::ReleaseOwnedObject(const CPDFObjRef& ref) {
  // Made for one page and never changed after it: written at once rather than held until the
  // flush, which on a long document is most of the memory. What it refers to (shared streams,
  // the page's own content) stays, as for the page.
  const CPDFObject* object = m_doc.FindObj(ref, false);
  if (!object) return;
  KeepReferencedObjects(*object, 0);
  m_doc.ReleaseObj(ref, true);
}

void PageSession::KeepReferencedObjects(const CPDFObject& value, int depth) {
  if (depth > kMaxReleaseScanDepth) return;
  auto keep = [&](const CPDFAtom* atom) {
    if (!atom) return;
    if (atom->IsRef()) {
      if (CPDFObject* target = m_doc.FindObj(*static_cast<const CPDFObjRef*>(atom), false)) {
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
