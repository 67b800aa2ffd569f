#include "pdf/document/page_tree_repair.h"

#include "pdf/document/doc.h"
#include "pdf/document/pages.h"
#include "pdf/object/exception.h"
#include "pdf/object/limits.h"

namespace quarn {

namespace {

CPDFDict* AsPlainDict(CPDFObject* value) {
  return value && value->TypeCode() == kTypeDict ? static_cast<CPDFDict*>(value) : nullptr;
}

// Count mends named one by one in the log; the rest are counted in one line.
constexpr size_t kCountLinesShown = 3;

std::pair<int32_t, int32_t> KeyOf(const CPDFObjRef& ref) { return {ref.Num(), ref.Gen()}; }

}  // namespace

void CPDFPageTreeRepair::Run(CPDFDict& root, const CPDFObjRef& rootRef,
                             std::vector<std::string>& warnings) {
  m_warnings = &warnings;
  m_stack.push_back(Frame{&root, rootRef, rootRef, 0, 0, false});
  if (rootRef.IsDefined()) {
    m_onPath.insert(KeyOf(rootRef));
    m_visited.insert(KeyOf(rootRef));
  }
  while (!m_stack.empty()) {
    Frame& top = m_stack.back();
    const CPDFArray* kids = top.node->GetArray(&m_doc, "Kids");
    if (kids && top.index < kids->Count()) {
      Step();
    } else {
      Leave();
    }
  }
  if (m_countsMended > kCountLinesShown) {
    warnings.push_back(
        Format("page counts of %zu more node(s) corrected", m_countsMended - kCountLinesShown));
  }
}

void CPDFPageTreeRepair::Step() {
  Frame& top = m_stack.back();
  CPDFArray& kids = *top.node->GetArray(&m_doc, "Kids");
  const size_t index = top.index;
  CPDFAtom* atom = kids.At(index);
  CPDFObjRef kidRef;
  CPDFDict* kid = nullptr;
  bool loadedHere = false;
  if (atom && atom->IsRef()) {
    kidRef = *static_cast<CPDFObjRef*>(atom);
    if (m_doc.IsPageInFile(kidRef)) {
      // A page takes one place and needs no mending: told from the file, it is not read here
      // only to be read again when it is visited.
      ++top.pages;
      ++top.index;
      return;
    }
    if (kidRef.IsDefined()) {
      loadedHere = !m_doc.FindLoadedObj(kidRef);
      kid = AsPlainDict(m_doc.GetObj(kidRef));
    }
  } else if (atom && atom->IsObject()) {
    kid = AsPlainDict(static_cast<CPDFObject*>(atom));
  }
  // A page, and whatever cannot be read here (a null, a damaged object), takes one place, as
  // the walk that finds pages by position counts it.
  if (!kid || !IsPagesNode(&m_doc, kid)) {
    if (kid && !kidRef.IsDefined() && !kid->Lookup("Parent") && top.holder.IsDefined()) {
      // A page written into its node's "Kids" without a "Parent" inherits from that node for
      // readers; without the link its MediaBox and Resources would be lost.
      kid->SetReference("Parent", top.holder);
      m_warnings->push_back(
          Format("page %zu of node %s given its Parent", index + 1, Name(top).c_str()));
      MarkChanged(top);
    }
    ++top.pages;
    ++top.index;
    if (loadedHere) m_doc.UnloadObj(kidRef);
    return;
  }
  if (kidRef.IsDefined() && m_onPath.count(KeyOf(kidRef))) {
    // Readers show each page of a loop once: the kid that leads back is left out.
    m_warnings->push_back(Format("page tree loops: kid %d %d of node %s left out", kidRef.Num(),
                                 kidRef.Gen(), Name(top).c_str()));
    kids.Detach(index);
    MarkChanged(top);
    return;
  }
  if (kidRef.IsDefined() && m_visited.count(KeyOf(kidRef))) {
    CPDFObjRef copyRef;
    kid = CopyNode(*kid, copyRef);
    m_warnings->push_back(Format("page tree node %d %d listed twice: node %s given a copy %d %d",
                                 kidRef.Num(), kidRef.Gen(), Name(top).c_str(), copyRef.Num(),
                                 copyRef.Gen()));
    kidRef = copyRef;
    loadedHere = false;
  }
  ++top.index;
  const CPDFObjRef holder = kidRef.IsDefined() ? kidRef : top.holder;
  if (kidRef.IsDefined()) {
    m_onPath.insert(KeyOf(kidRef));
    m_visited.insert(KeyOf(kidRef));
  }
  m_stack.push_back(Frame{kid, kidRef, holder, 0, 0, loadedHere});
}

CPDFDict* CPDFPageTreeRepair::CopyNode(const CPDFDict& kid, CPDFObjRef& copyRef) {
  if (++m_copies > limits::kMaxPageTreeCopies) {
    Throw("CPDFPages", "Repair", kInvalidFormat, "page tree lists a node twice");
  }
  Frame& top = m_stack.back();
  std::unique_ptr<CPDFObject> copy = kid.Clone();
  auto& dict = static_cast<CPDFDict&>(*copy);
  // The copy's kids are its own, so that the copies made below it change this copy alone.
  if (const CPDFArray* kids = kid.GetArray(&m_doc, "Kids")) dict.Insert("Kids", kids->Clone());
  dict.SetReference("Parent", top.holder);
  if (!m_doc.RegistObj(std::move(copy), &copyRef)) {
    Throw("CPDFPages", "Repair", kInternalError, "CPDFDoc::RegistObj()");
  }
  top.node->GetArray(&m_doc, "Kids")->Replace(top.index, std::make_unique<CPDFObjRef>(copyRef));
  MarkChanged(top);
  return AsPlainDict(m_doc.GetObj(copyRef));
}

void CPDFPageTreeRepair::Leave() {
  Frame frame = m_stack.back();
  m_stack.pop_back();
  if (frame.ref.IsDefined()) m_onPath.erase(KeyOf(frame.ref));
  const CPDFNumber* count = frame.node->GetNumber(&m_doc, "Count");
  if (!count || count->Int64Value() != frame.pages) {
    if (++m_countsMended > kCountLinesShown) {
      // A tree of thousands of nodes without counts would otherwise fill the log.
    } else if (count) {
      m_warnings->push_back(Format("page count of node %s corrected: %lld, not %lld",
                                   Name(frame).c_str(), static_cast<long long>(frame.pages),
                                   static_cast<long long>(count->Int64Value())));
    } else {
      m_warnings->push_back(Format("page count of node %s added: %lld", Name(frame).c_str(),
                                   static_cast<long long>(frame.pages)));
    }
    frame.node->Insert("Count", std::make_unique<CPDFInt>(frame.pages));
    MarkChanged(frame);
  }
  if (!m_stack.empty()) m_stack.back().pages += frame.pages;
  // A node read for the walk alone leaves memory again, unless it was mended.
  if (frame.loadedHere) m_doc.UnloadObj(frame.ref);
}

void CPDFPageTreeRepair::MarkChanged(const Frame& frame) {
  if (frame.holder.IsDefined() && !m_doc.UpdateObj(frame.holder)) {
    Throw("CPDFPages", "Repair", kInternalError, "CPDFDoc::UpdateObj()");
  }
  const CPDFAtom* kids = frame.node->Lookup("Kids");
  if (kids && kids->IsRef() && !m_doc.UpdateObj(*static_cast<const CPDFObjRef*>(kids))) {
    Throw("CPDFPages", "Repair", kInternalError, "CPDFDoc::UpdateObj()");
  }
}

std::string CPDFPageTreeRepair::Name(const Frame& frame) const {
  return Format("%d %d", frame.holder.Num(), frame.holder.Gen());
}

}  // namespace quarn
