// The document's page operations: every one starts at the root of the page tree.
#include "pdf/document/catalog.h"
#include "pdf/document/doc.h"
#include "pdf/document/doc_members.h"
#include "pdf/document/page_tree_repair.h"
#include "pdf/document/pages.h"
#include "pdf/document/trailer.h"

namespace quarn {

namespace {
constexpr char kModule[] = "CPDFDoc";
}  // namespace

CPDFPages* CPDFDoc::PagesRoot(const char* method, CPDFObjRef* rootRef) {
  CPDFTrailer* trailer = GetTrailer();
  if (!trailer) Throw(kModule, method, kInternalError, "CPDFDoc::GetTrailer()");
  CPDFCatalog* catalog = trailer->Get_Root();
  if (!catalog) Throw(kModule, method, kInternalError, "CPDFTrailer::Get_Root()");
  CPDFPages* root = catalog->Get_Pages(rootRef);
  if (!root) Throw(kModule, method, kInternalError, "CPDFCatalog::Get_Pages()");
  return root;
}

CPDFPage* CPDFDoc::GetPage(int position, CPDFObjRef* ref) {
  ClearError();
  if (ref) ref->Reset();
  try {
    if (IsFDF()) Throw(kModule, "GetPage", kInternalError, "There is no CPDFPage for FDF file");
    CPDFPages* root = PagesRoot("GetPage", nullptr);
    CPDFPage* page = root->GetPage(position, ref);
    if (page) return page;
    // A place that the root's Count promises and the tree does not hold is damage in the
    // file (a kid missing, not a page, or fewer kids than counted), not a fault of the caller.
    const CPDFNumber* count = root->Get_Count();
    if (position >= 0 && count && position < count->IntValue()) {
      Throw(kModule, "GetPage", kInvalidFormat,
            Format("page %d of %d is missing from the page tree", position + 1, count->IntValue()));
    }
    Throw(kModule, "GetPage", kInternalError, "CPDFPages::GetPage()");
  } catch (...) {
    KeepCurrentError(m_->error, kModule, "GetPage");
  }
  return nullptr;
}

CPDFPage* CPDFDoc::SeparatePage(int position, CPDFObjRef* ref) {
  ClearError();
  if (ref) ref->Reset();
  try {
    if (IsFDF())
      Throw(kModule, "SeparatePage", kInternalError, "There is no CPDFPage for FDF file");
    CPDFObjRef rootRef;
    CPDFPages* root = PagesRoot("SeparatePage", &rootRef);
    CPDFObjRef made;
    CPDFPage* page = root->SeparatePage(position, rootRef, &made);
    if (!page) Throw(kModule, "SeparatePage", kInternalError, "CPDFPages::SeparatePage()");
    if (ref) *ref = made;
    return page;
  } catch (...) {
    KeepCurrentError(m_->error, kModule, "SeparatePage");
  }
  return nullptr;
}

int CPDFDoc::GetPageCount() {
  ClearError();
  try {
    if (IsFDF()) Throw(kModule, "GetPageCount", kUserError, "There is no CPDFPage for FDF file.");
    CPDFPages* root = PagesRoot("GetPageCount", nullptr);
    CPDFNumber* count = root->Get_Count();
    if (!count) Throw(kModule, "GetPageCount", kInternalError, "CPDFPages::Get_Count()");
    return count->IntValue();
  } catch (...) {
    KeepCurrentError(m_->error, kModule, "GetPageCount");
  }
  return -1;
}

bool CPDFDoc::RepairPageTree() {
  ClearError();
  if (IsFDF()) return true;
  const size_t warnings = m_->warnings.size();
  try {
    CPDFObjRef rootRef;
    CPDFPages* root = nullptr;
    try {
      root = PagesRoot("RepairPageTree", &rootRef);
    } catch (const CPDFException&) {
      ClearError();
      return true;
    }
    CPDFPageTreeRepair(*this).Run(*root, rootRef, m_->warnings);
    if (m_->warnings.size() > warnings) m_->repaired = true;
    return true;
  } catch (...) {
    if (m_->warnings.size() > warnings) m_->repaired = true;
    KeepCurrentError(m_->error, kModule, "RepairPageTree");
  }
  return false;
}

bool CPDFDoc::DeletePage(int position, int count) {
  ClearError();
  try {
    if (IsFDF()) Throw(kModule, "DeletePage", kUserError, "There is no CPDFPage for FDF file.");
    CPDFObjRef rootRef;
    CPDFPages* root = PagesRoot("DeletePage", &rootRef);
    CPDFNumber* total = root->Get_Count();
    if (!total) Throw(kModule, "DeletePage", kInternalError, "CPDFPages::Get_Count()");
    const int64_t pages = total->IntValue();
    if (position < 0 || position > pages - 1) {
      Throw(kModule, "DeletePage", kUserError, "Page position is out of range.");
    }
    if (count == -1) count = static_cast<int>(pages - position);
    if (count < 0 || int64_t{position} + count > pages) {
      Throw(kModule, "DeletePage", kUserError, "Page position is out of range.");
    }
    for (int i = 0; i < count; ++i) {
      if (!root->DeletePage(position, rootRef)) {
        Throw(kModule, "DeletePage", kInternalError, "CPDFPages::DeletePage()");
      }
    }
    return true;
  } catch (...) {
    KeepCurrentError(m_->error, kModule, "DeletePage");
  }
  return false;
}

}  // namespace quarn
