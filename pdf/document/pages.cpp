#include "pdf/document/pages.h"

#include <algorithm>
#include <climits>
#include <string>
#include <unordered_set>

#include "pdf/document/doc.h"
#include "pdf/document/res_dict.h"
#include "pdf/object/exception.h"
#include "pdf/object/limits.h"

namespace quarn {

namespace {

CPDFDict* AsPlainDict(CPDFObject* value) {
  return value && value->TypeCode() == kTypeDict ? static_cast<CPDFDict*>(value) : nullptr;
}

bool IsNull(const CPDFAtom* atom) {
  return atom && atom->IsObject() && static_cast<const CPDFObject*>(atom)->TypeCode() == kTypeNull;
}

// An entry that is absent, null, or a reference to no object counts as not there.
bool IsAbsent(CPDFObjHolder* doc, CPDFDict& dict, const char* key) {
  CPDFAtom* atom = dict.Lookup(key);
  if (!atom || IsNull(atom)) return true;
  if (atom->IsRef()) {
    CPDFObject* value = dict.GetValue(doc, key);
    return !value || value->TypeCode() == kTypeNull;
  }
  return false;
}

// Binds an entry that a page types; present entries must fit their class.
template <class T>
bool BindRequired(CPDFObjHolder* doc, CPDFDict& dict, const char* key, Recognizer recognize) {
  if (IsAbsent(doc, dict, key)) return true;
  T* bound = nullptr;
  return BindEntry<T>(doc, dict, key, recognize, &bound) && bound;
}

bool IsDateString(CPDFObjHolder*, CPDFObject* value) { return AsString(value) != nullptr; }

constexpr const char* kBoxes[] = {"MediaBox", "CropBox", "ArtBox", "TrimBox", "BleedBox"};

}  // namespace

// ---- recognizers -------------------------------------------------------------------------------

// Pages are found as readers find them, whatever "Type" says (many writers leave it out or
// misspell it): a node of the tree is a dictionary with a "Kids" array, and a page is what a
// "Kids" array leads to without "Kids" of its own.
bool IsPagesNode(CPDFObjHolder* doc, CPDFObject* value) {
  CPDFDict* dict = AsPlainDict(value);
  return dict && dict->GetArray(doc, "Kids");
}

bool IsPage(CPDFObjHolder* doc, CPDFObject* value) {
  CPDFDict* dict = AsPlainDict(value);
  if (!dict || dict->GetArray(doc, "Kids")) return false;
  return !dict->Lookup("B") || dict->GetArray(doc, "B");
}

namespace {

// The pages below a node that has no "Count" of its own: its kids counted through, a null kid
// as one page (as the walk counts it). The nodes on the way down are kept on a stack of its own,
// however deep the tree, and a tree that loops is reported instead of counted forever.
int64_t CountPages(CPDFObjHolder* doc, CPDFDict& root) {
  struct Level {
    CPDFDict* node;
    size_t index;
  };
  std::vector<Level> levels{{&root, 0}};
  std::unordered_set<const CPDFDict*> onPath{&root};
  int64_t pages = 0;
  while (!levels.empty()) {
    Level& level = levels.back();
    CPDFArray* kids = level.node->GetArray(doc, "Kids");
    if (!kids || level.index >= kids->Count()) {
      onPath.erase(level.node);
      levels.pop_back();
      continue;
    }
    const size_t index = level.index++;
    if (IsNull(kids->At(index))) {
      ++pages;
      continue;
    }
    CPDFDict* kid = AsDict(kids->GetObj(doc, static_cast<int>(index)));
    if (!kid) continue;
    if (!kid->GetArray(doc, "Kids")) {
      ++pages;
    } else if (CPDFNumber* count = kid->GetNumber(doc, "Count")) {
      pages += std::max<int64_t>(count->IntValue(), 0);
    } else {
      if (!onPath.insert(kid).second) {
        Throw("CPDFPages", "Realize", kInvalidFormat, "page tree loops");
      }
      levels.push_back({kid, 0});
    }
  }
  return pages;
}

}  // namespace

// ---- the walk over the tree --------------------------------------------------------------------

// Finding and deleting pages by position. The nodes on the way down are kept so that a tree
// whose "Kids" lead back to an ancestor is reported instead of walked forever.
class CPDFPageTreeWalk {
 public:
  // A walk that separates gives the page it finds an object of its own first (see
  // CPDFPages::SeparatePage).
  explicit CPDFPageTreeWalk(CPDFObjHolder* doc, bool separate = false)
      : m_doc(doc), m_separate(separate) {}

  // The page at `position` below `node`, whose own identity is `nodeRef` (undefined for the
  // node the walk starts from) and whose first page is at `base` in the walk's numbering.
  CPDFPage* Find(CPDFPages& start, int64_t position, CPDFObjRef* ref,
                 const CPDFObjRef& startRef = CPDFObjRef(), int64_t startBase = 0) {
    // Down the tree one node at a time, on no stack but the walk's own path.
    CPDFPages* node = &start;
    CPDFObjRef nodeRef = startRef;
    int64_t base = startBase;
    for (;;) {
      Enter(*node, "GetPage");
      // Only a walk that separates looks back at the identities of the nodes it passed.
      if (m_separate) m_pathRefs.push_back(nodeRef);
      CPDFArray* kids = node->Get_Kids();
      CPDFNumber* count = node->Get_Count();
      if (!kids || !count || position < 0 || position > int64_t{count->IntValue()} - 1) {
        return nullptr;
      }
      CPDFPages::Cursor& cursor = node->m_cursor;
      size_t index = 0;
      int64_t passed = 0;
      if (cursor.kids == kids && cursor.kidCount == kids->Count() && cursor.passed <= position) {
        index = cursor.index;
        passed = cursor.passed;
      }
      CPDFPages* below = nullptr;
      CPDFObjRef belowRef;
      for (; index < kids->Count(); ++index) {
        CPDFAtom* atom = kids->At(index);
        if (IsNull(atom)) {
          if (passed == position) return nullptr;
          ++passed;
          continue;
        }
        CPDFObjRef kidRef;
        CPDFDict* kid = Kid(*kids, index, kidRef);
        // An entry that cannot be read here is a page a running save has already written (a
        // node is never released), or a damaged one.
        if (m_separate && passed == position && kidRef.IsDefined() &&
            (!kid || !IsPagesNode(m_doc, kid))) {
          kid = Separate(*node, *kids, index, kidRef, nodeRef);
        }
        if (!kid) {
          if (ref && passed == position) *ref = kidRef;
          return nullptr;
        }
        if (IsPagesNode(m_doc, kid)) {
          CPDFPages* child = BindNode(*kids, index, kid, kidRef, "GetPage");
          CPDFNumber* childCount = child ? child->Get_Count() : nullptr;
          if (!childCount) return nullptr;
          if (position < passed + childCount->IntValue()) {
            cursor = {kids, kids->Count(), index, passed};
            below = child;
            belowRef = kidRef;
            break;
          }
          passed += childCount->IntValue();
          // A node passed over (on a walk in page order, the one just finished) leaves memory
          // when it is as the input holds it; it is read again should it be asked for. A long
          // document thus keeps only the nodes on the way to the current page.
          if (CPDFDoc* doc = DocOf(m_doc); doc && kidRef.IsDefined()) doc->UnloadObj(kidRef);
        } else {
          if (passed == position) {
            CPDFPage* page = BindKid<CPDFPage>(*kids, index, kid, kidRef, IsPage);
            if (!page) return nullptr;
            if (ref) *ref = kidRef;
            cursor = {kids, kids->Count(), index, passed};
            if (nodeRef.IsDefined()) {
              m_foundIn = {nodeRef, node, kids, kids->Count(), base, count->IntValue()};
            }
            return page;
          }
          ++passed;
        }
      }
      if (!below) return nullptr;
      node = below;
      nodeRef = belowRef;
      position -= passed;
      base += passed;
    }
  }

  // The node below the start that held the page found last, when there was one.
  const CPDFPages::LastLeaf& FoundIn() const { return m_foundIn; }

  bool Delete(CPDFPages& start, int64_t position, const CPDFObjRef& startSelf) {
    // The nodes passed on the way down, each with the kid that leads on: once the page is
    // removed, each count drops by one on the way back up, and a node left empty goes.
    std::vector<Level> levels;
    CPDFPages* node = &start;
    CPDFObjRef self = startSelf;
    for (;;) {
      Enter(*node, "DeletePage");
      node->m_cursor = {};
      CPDFArray* kids = node->Get_Kids();
      CPDFObjRef countRef;
      CPDFNumber* count = node->Get_Count(&countRef);
      if (!kids || !count || position < 0 || position > int64_t{count->IntValue()} - 1) {
        return false;
      }
      int64_t passed = 0;
      CPDFPages* below = nullptr;
      for (size_t index = 0; index < kids->Count() && !below; ++index) {
        CPDFAtom* atom = kids->At(index);
        if (IsNull(atom)) {
          if (passed == position) return false;
          ++passed;
          continue;
        }
        CPDFObjRef kidRef;
        CPDFDict* kid = Kid(*kids, index, kidRef);
        if (!kid) return false;
        if (IsPagesNode(m_doc, kid)) {
          CPDFPages* child = BindNode(*kids, index, kid, kidRef, "DeletePage");
          CPDFNumber* childCount = child ? child->Get_Count() : nullptr;
          if (!childCount) return false;
          if (position < passed + childCount->IntValue()) {
            levels.push_back({node, self, kids, index, kidRef, count, countRef});
            below = child;
            self = kidRef;
            position -= passed;
          } else {
            passed += childCount->IntValue();
          }
        } else if (passed == position) {
          RemoveKid(*kids, index, kidRef);
          if (!Decrease(*node, self, *count, countRef)) return false;
          return Unwind(levels, node);
        } else {
          ++passed;
        }
      }
      if (!below) return false;
      node = below;
    }
  }

 private:
  // A node passed on the way down to a page being deleted, with the kid that leads on.
  struct Level {
    CPDFPages* node;
    CPDFObjRef self;
    CPDFArray* kids;
    size_t index;
    CPDFObjRef kidRef;
    CPDFNumber* count;
    CPDFObjRef countRef;
  };

  // After the page below `levels` is removed (from `child`, the last node on the way): each
  // count drops by one on the way back up, and a node left without pages goes.
  bool Unwind(const std::vector<Level>& levels, CPDFPages* child) {
    for (auto level = levels.rbegin(); level != levels.rend(); ++level) {
      if (child->Get_Count() && child->Get_Count()->IntValue() == 0) {
        RemoveKid(*level->kids, level->index, level->kidRef);
      }
      if (!Decrease(*level->node, level->self, *level->count, level->countRef)) return false;
      child = level->node;
    }
    return true;
  }

  void Enter(CPDFPages& node, const char* method) {
    if (!m_onPath.insert(&node).second) {
      Throw("CPDFPages", method, kInvalidFormat, "page tree loops");
    }
    m_path.push_back(&node);
  }

  // The kid at `index` as a dictionary, and its identity (undefined for a dictionary written
  // directly into "Kids"); nullptr otherwise.
  CPDFDict* Kid(CPDFArray& kids, size_t index, CPDFObjRef& kidRef) {
    CPDFAtom* atom = kids.At(index);
    if (!atom) return nullptr;
    if (atom->IsRef()) {
      kidRef = *static_cast<CPDFObjRef*>(atom);
      if (!kidRef.IsDefined()) return nullptr;
    }
    return AsPlainDict(kids.GetObj(m_doc, static_cast<int>(index)));
  }

  // Binds a kid as T under its identity. A dictionary written directly into "Kids" is first
  // made an indirect object of its own, as readers and writers expect every kid to be;
  // `kidRef` receives its new identity.
  template <class T>
  T* BindKid(CPDFArray& kids, size_t index, CPDFDict* kid, CPDFObjRef& kidRef,
             Recognizer recognize) {
    if (!kidRef.IsDefined()) {
      if (recognize && !recognize(m_doc, kid)) return nullptr;
      std::unique_ptr<CPDFAtom> direct = kids.Replace(index, std::make_unique<CPDFObjRef>());
      std::unique_ptr<CPDFObject> value(static_cast<CPDFObject*>(direct.release()));
      CPDFObjRef made;
      if (!m_doc->RegistObj(std::move(value), &made)) return nullptr;
      kids.Replace(index, std::make_unique<CPDFObjRef>(made));
      kidRef = made;
      kid = AsPlainDict(m_doc->GetObj(made));
    }
    return BindValue<T>(m_doc, kid, kidRef, recognize);
  }

  CPDFPages* BindNode(CPDFArray& kids, size_t index, CPDFDict* kid, CPDFObjRef& kidRef,
                      const char* method) {
    if (m_onPath.count(kid)) {
      Throw("CPDFPages", method, kInvalidFormat, "page tree loops");
    }
    return BindKid<CPDFPages>(kids, index, kid, kidRef, IsPagesNode);
  }

  void RemoveKid(CPDFArray& kids, size_t index, const CPDFObjRef& kidRef) {
    kids.Detach(index);
    m_doc->DeleteObj(kidRef);
  }

  // After a removal below `node`: its "Count" drops by one and the node (and an indirect
  // "Count") is marked changed, so that an incremental update writes every count that moved.
  bool Decrease(CPDFPages& node, const CPDFObjRef& self, CPDFNumber& count,
                const CPDFObjRef& countRef) {
    count.SetInt(count.IntValue() - 1);
    if (self.IsDefined() && !m_doc->UpdateObj(self)) return false;
    if (countRef.IsDefined() && !m_doc->UpdateObj(countRef)) return false;
    node.m_cursor = {};
    return true;
  }

  // The kid at `index` of `node` (identity `nodeRef`) replaced by a copy of it as the input
  // holds it, under a new number written to `kidRef`.
  CPDFDict* Separate(CPDFPages& node, CPDFArray& kids, size_t index, CPDFObjRef& kidRef,
                     const CPDFObjRef& nodeRef) {
    CPDFDoc* doc = DocOf(m_doc);
    if (!doc || !nodeRef.IsDefined()) return nullptr;
    CheckPathListedOnce();
    std::unique_ptr<CPDFObject> copy = doc->LoadOriginal(kidRef);
    CPDFDict* page = AsPlainDict(copy.get());
    if (!page || !IsPage(m_doc, page)) return nullptr;
    // Readers give a page what it inherits along the path that leads to it, whatever its own
    // "Parent" says; the copy's "Parent" is that path's node.
    page->SetReference("Parent", nodeRef);
    CPDFObjRef made;
    if (!m_doc->RegistObj(std::move(copy), &made)) return nullptr;
    kids.Replace(index, std::make_unique<CPDFObjRef>(made));
    // The node (or its "Kids" array, when that is an object of its own) is written again.
    const CPDFAtom* kidsEntry = node.Lookup("Kids");
    const CPDFObjRef changed =
        kidsEntry && kidsEntry->IsRef() ? *static_cast<const CPDFObjRef*>(kidsEntry) : nodeRef;
    if (!m_doc->UpdateObj(changed)) return nullptr;
    kidRef = made;
    return AsPlainDict(m_doc->GetObj(made));
  }

  // A page listed twice is given a copy at its later place; a node listed twice would take
  // its pages' copies to both its places, so such a tree is refused. Each node on the way down
  // must be listed once by the node above it, and name that node as its "Parent".
  void CheckPathListedOnce() {
    for (size_t i = 1; i < m_path.size() && i < m_pathRefs.size(); ++i) {
      const CPDFObjRef& above = m_pathRefs[i - 1];
      const CPDFObjRef& self = m_pathRefs[i];
      const CPDFAtom* parent = m_path[i]->Lookup("Parent");
      const CPDFArray* kids = m_path[i - 1]->GetArray(m_doc, "Kids");
      size_t listed = 0;
      for (size_t k = 0; kids && k < kids->Count(); ++k) {
        const CPDFAtom* kid = kids->At(k);
        if (kid && kid->IsRef() && *static_cast<const CPDFObjRef*>(kid) == self) ++listed;
      }
      if (listed != 1 || !above.IsDefined() || !parent || !parent->IsRef() ||
          *static_cast<const CPDFObjRef*>(parent) != above) {
        Throw("CPDFPages", "SeparatePage", kInvalidFormat, "page tree lists a node twice");
      }
    }
  }

  CPDFObjHolder* m_doc;
  bool m_separate = false;
  std::vector<const CPDFDict*> m_path;
  std::unordered_set<const CPDFDict*> m_onPath;  // the nodes of m_path
  std::vector<CPDFObjRef> m_pathRefs;  // the identities of the nodes of m_path, when separating
  CPDFPages::LastLeaf m_foundIn;
};

// ---- CPDFPages ---------------------------------------------------------------------------------

bool CPDFPages::Create(CPDFObjHolder* doc, const CPDFObjRef* parent) {
  BindDoc(doc);
  Insert("Type", std::make_unique<CPDFName>(ClassName().View()));
  if (parent && parent->IsDefined()) SetReference("Parent", *parent);
  Insert("Kids", std::make_unique<CPDFArray>());
  Insert("Count", std::make_unique<CPDFInt>(0));
  return true;
}

bool CPDFPages::Realize(CPDFObjHolder* doc, CPDFObject& source) {
  BindDoc(doc);
  SwapContent(source);
  // Found by its "Kids": a "Type" that is missing or says otherwise is written as it should be.
  if (!HasName(doc, "Type", "Pages")) Insert("Type", std::make_unique<CPDFName>("Pages"));
  if (!GetNumber(doc, "Count")) {
    // A node without "Count" is counted through, and the count it gets is written with it.
    int64_t pages = 0;
    try {
      pages = CountPages(doc, *this);
    } catch (const CPDFException& e) {
      if (doc) doc->LastError().Keep(e);
      return false;
    }
    Insert("Count",
           std::make_unique<CPDFInt>(static_cast<int32_t>(std::min<int64_t>(pages, INT32_MAX))));
  }
  for (const char* box : kBoxes) {
    if (!BindEntry<CPDFRect>(doc, *this, box, IsRect)) return false;
  }
  return BindEntry<CPDFResDict>(doc, *this, "Resources", IsResDict);
}

void CPDFPages::SwapContent(CPDFObject& other) {
  CPDFDict::SwapContent(other);
  m_cursor = {};
  m_lastLeaf = {};
}

CPDFPages* CPDFPages::LastLeafHolding(int64_t position) {
  const LastLeaf& leaf = m_lastLeaf;
  if (!leaf.node || position < leaf.first || position - leaf.first >= leaf.count) return nullptr;
  CPDFObjHolder* doc = Doc();
  // A node passed over leaves memory and is read again as a new object: the one remembered
  // must still be the object filed under its identity.
  auto* node = doc ? dynamic_cast<CPDFPages*>(doc->FindLoadedObj(leaf.ref)) : nullptr;
  if (!node || node != leaf.node) return nullptr;
  CPDFArray* kids = node->Get_Kids();
  CPDFNumber* count = node->Get_Count();
  if (!kids || kids != leaf.kids || kids->Count() != leaf.kidCount || !count ||
      count->IntValue() != leaf.count) {
    return nullptr;
  }
  return node;
}

CPDFPage* CPDFPages::GetPage(int position, CPDFObjRef* ref) {
  if (ref) ref->Reset();
  // Pages visited in order mostly lie in the node of the page before.
  if (CPDFPages* leaf = LastLeafHolding(position)) {
    CPDFPageTreeWalk walk(Doc());
    if (CPDFPage* page = walk.Find(*leaf, position - m_lastLeaf.first, ref)) return page;
    if (ref) ref->Reset();
  }
  m_lastLeaf = {};
  CPDFPageTreeWalk walk(Doc());
  CPDFPage* page = walk.Find(*this, position, ref);
  if (page) m_lastLeaf = walk.FoundIn();
  return page;
}

CPDFPage* CPDFPages::SeparatePage(int position, const CPDFObjRef& self, CPDFObjRef* ref) {
  if (ref) ref->Reset();
  m_lastLeaf = {};
  CPDFPageTreeWalk walk(Doc(), true);
  return walk.Find(*this, position, ref, self);
}

bool CPDFPages::DeletePage(int position, const CPDFObjRef& self) {
  m_lastLeaf = {};
  CPDFPageTreeWalk walk(Doc());
  return walk.Delete(*this, position, self);
}

// ---- CPDFPage ----------------------------------------------------------------------------------

bool CPDFPage::Realize(CPDFObjHolder* doc, CPDFObject& source) {
  BindDoc(doc);
  SwapContent(source);
  if (!HasName(doc, "Type", "Page") && !HasName(doc, "Type", "Template")) {
    Insert("Type", std::make_unique<CPDFName>("Page"));
  }
  for (const char* box : kBoxes) {
    if (!BindRequired<CPDFRect>(doc, *this, box, IsRect)) return false;
  }
  if (!BindRequired<CPDFResDict>(doc, *this, "Resources", IsResDict)) return false;
  return BindRequired<CPDFDate>(doc, *this, "LastModified", IsDateString);
}

CPDFDict* CPDFPage::FindInheritedHolder(const char* key) {
  CPDFObjHolder* doc = Doc();
  // Asked several times for every page, up a chain of any length: a second walker that follows
  // at half the pace meets the first only when the chain loops, so no node needs remembering.
  CPDFDict* node = this;
  CPDFDict* follower = this;
  for (size_t steps = 1; node; ++steps) {
    if (node->Lookup(key)) return node;
    node = node->GetDict(doc, "Parent");
    if (steps % 2 == 0) follower = follower->GetDict(doc, "Parent");
    if (node && node == follower) {
      if (doc) {
        doc->LastError().Keep(CPDFException("CPDFPage", Format("Get_%s", key).c_str(),
                                            kInvalidFormat, "Parent chain loops"));
      }
      return nullptr;
    }
  }
  return nullptr;
}

CPDFRect* CPDFPage::Get_MediaBox(CPDFObjRef* ref) {
  if (ref) ref->Reset();
  CPDFDict* holder = FindInheritedHolder("MediaBox");
  if (!holder) return nullptr;
  CPDFRect* rect = nullptr;
  if (!BindEntry<CPDFRect>(Doc(), *holder, "MediaBox", IsRect, &rect) || !rect) return nullptr;
  if (ref) holder->GetValue(Doc(), "MediaBox", ref);
  return rect;
}

CPDFResDict* CPDFPage::Get_Resources(CPDFObjRef* ref) {
  if (ref) ref->Reset();
  CPDFDict* holder = FindInheritedHolder("Resources");
  if (!holder) return nullptr;
  CPDFResDict* resources = nullptr;
  if (!BindEntry<CPDFResDict>(Doc(), *holder, "Resources", IsResDict, &resources) || !resources) {
    return nullptr;
  }
  if (ref) holder->GetValue(Doc(), "Resources", ref);
  return resources;
}

CPDFRect* CPDFPage::Get_CropBox(CPDFObjRef* ref) {
  if (ref) ref->Reset();
  CPDFDict* holder = FindInheritedHolder("CropBox");
  if (!holder) return nullptr;
  CPDFRect* rect = nullptr;
  if (!BindEntry<CPDFRect>(Doc(), *holder, "CropBox", IsRect, &rect) || !rect) return nullptr;
  if (ref) holder->GetValue(Doc(), "CropBox", ref);
  return rect;
}

CPDFNumber* CPDFPage::Get_Rotate(CPDFObjRef* ref) {
  if (ref) ref->Reset();
  CPDFDict* holder = FindInheritedHolder("Rotate");
  return holder ? holder->GetNumber(Doc(), "Rotate", ref) : nullptr;
}

bool CPDFPage::Uninherit() {
  CPDFObjHolder* doc = Doc();
  for (const char* key : {"MediaBox", "Resources"}) {
    if (Lookup(key)) continue;
    CPDFDict* holder = FindInheritedHolder(key);
    if (!holder) return false;
    CPDFObjRef ref;
    CPDFObject* value = holder->GetValue(doc, key, &ref);
    if (!value) return false;
    std::unique_ptr<CPDFObject> copy = value->Duplicate(doc, doc);
    if (!copy) return false;
    if (!SetValue(doc, key, std::move(copy), ref.IsDefined())) return false;
  }
  return true;
}

}  // namespace quarn
