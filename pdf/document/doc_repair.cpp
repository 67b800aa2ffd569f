// Damaged files: when the sections cannot be read, the cross-reference data is rebuilt from
// the objects found in the file; when one object is not where its entry says, it is looked up
// where the scan found it. Either way the document notes one warning.
#include <algorithm>

#include "pdf/document/body.h"
#include "pdf/document/catalog.h"
#include "pdf/document/doc.h"
#include "pdf/document/doc_members.h"
#include "pdf/document/header.h"
#include "pdf/document/pages.h"
#include "pdf/document/repair.h"
#include "pdf/document/trailer.h"
#include "pdf/document/xref.h"
#include "pdf/object/in_stream.h"
#include "pdf/object/limits.h"
#include "pdf/object/typed_dict_impl.h"
#include "platform/source_file.h"

namespace quarn {

namespace {
// The version a file whose header cannot be read is written with.
constexpr int32_t kAssumedMajor = 1;
constexpr int32_t kAssumedMinor = 4;
// How many numbers past the highest object found a reference may name and still count as one.
constexpr int32_t kMaxLostNumbers = 4096;
// What a page takes from its ancestors.
constexpr const char* kInherited[] = {"MediaBox", "Resources", "CropBox", "Rotate"};

CPDFDict* AsPlainDict(CPDFObject* value) {
  return value && value->TypeCode() == kTypeDict ? static_cast<CPDFDict*>(value) : nullptr;
}

bool IsTypedPage(CPDFObjHolder* doc, CPDFObject* value) {
  CPDFDict* dict = AsPlainDict(value);
  return dict && dict->HasName(doc, "Type", "Page") && !dict->Lookup("Kids");
}
}  // namespace

void CPDFDoc::ReadSectionsOrRepair() {
  try {
    ReadSections();
  } catch (const CPDFException&) {
    m_->bodies.clear();
    m_->xrefs.clear();
    m_->trailers.clear();
    // A file that cannot be repaired keeps the error of its sections.
    if (!RepairSections()) throw;
  }
}

void CPDFDoc::RealizeSectionsOrRepair() {
  try {
    RealizeSections();
  } catch (const CPDFException&) {
    if (m_->repaired || IsFDF()) throw;
    const CPDFErrorRecord realizeError = m_->error;
    m_->bodies.clear();
    m_->xrefs.clear();
    m_->trailers.clear();
    // A file that cannot be repaired keeps the error of its trailer.
    auto keepFirstError = [&] {
      ClearError();
      m_->error.Keep(realizeError);
    };
    if (!RepairSections()) {
      keepFirstError();
      throw;
    }
    ClearError();
    try {
      RealizeSections();
    } catch (const CPDFException&) {
      keepFirstError();
      throw;
    }
  }
}

CPDFFileScan* CPDFDoc::Scan() {
  if (!m_->in || !m_->source) return nullptr;
  if (!m_->scan || m_->scanSource != m_->source.get()) {
    m_->scan = CPDFFileScan::Run(*m_->in);
    m_->scanSource = m_->source.get();
  }
  return m_->scan.get();
}

void CPDFDoc::NoteRepaired() {
  if (m_->repaired) return;
  NoteRepair(Format("damaged file repaired: %s", m_->fileName.c_str()));
}

void CPDFDoc::NoteRepair(std::string warning) {
  m_->repaired = true;
  // An object read again (after it left memory) is the same repair: said once.
  if (!m_->repairsNoted.insert(warning).second) return;
  m_->warnings.push_back(std::move(warning));
}

bool CPDFDoc::RepairSections() {
  if (!m_->in) return false;
  // The header first: a file may carry bytes in front of "%PDF-".
  auto header = std::make_unique<CPDFHeader>(this);
  try {
    if (!m_->in->Seek(0)) return false;
    header->Read(this, *m_->in);
  } catch (const CPDFException&) {
    m_->scan.reset();
    CPDFFileScan* scan = Scan();
    if (!scan) return false;
    bool read = false;
    if (scan->HeaderOffset() > 0 && m_->in->Seek(scan->HeaderOffset())) {
      try {
        header = std::make_unique<CPDFHeader>(this);
        header->Read(this, *m_->in);
        read = true;
      } catch (const CPDFException&) {
      }
    }
    if (!read) {
      // A header that is damaged beyond reading ("%PDF-x.y", or none at all) does not stop
      // readers when the objects are there; the file is taken as the version they assume.
      header = std::make_unique<CPDFHeader>(this);
      header->SetVersion(kAssumedMajor, kAssumedMinor);
      header->SetAssumed(true);
    }
  }
  if (header->IsFDF()) return false;

  CPDFFileScan* scan = Scan();
  if (!scan || scan->Objects().empty()) return false;

  // The trailer: the last one found whose catalog exists, else one made for the last catalog.
  auto trailer = std::make_unique<CPDFTrailer>(this);
  const CPDFDict* found = scan->Trailer();
  CPDFAtom* root = found ? found->Lookup("Root") : nullptr;
  if (root && root->IsRef() && scan->Objects().count(static_cast<CPDFObjRef*>(root)->Num())) {
    for (const auto& [key, atom] : *found) {
      if (atom) trailer->Dict().Insert(key, atom->CloneAtom());
    }
  } else if (const int32_t catalog = scan->Catalog()) {
    const int32_t gen = scan->Objects().at(catalog).gen;
    trailer->Dict().Insert("Root", std::make_unique<CPDFObjRef>(catalog, gen));
    // The made trailer keeps what the file's key is derived from. An encrypted file whose
    // trailer is lost cannot be read: taken as plain, its strings and streams would be
    // written out as the ciphertext they are.
    for (const char* key : {"Encrypt", "ID"}) {
      CPDFAtom* atom = found ? found->Lookup(key) : nullptr;
      if (atom) trailer->Dict().Insert(key, atom->CloneAtom());
    }
    if (scan->HasEncryption() && !trailer->Dict().Lookup("Encrypt")) return false;
  } else if (!root || !root->IsRef()) {
    return false;
  } else {
    // The catalog may lie in an object stream; the trailer is taken as it is.
    for (const auto& [key, atom] : *found) {
      if (atom) trailer->Dict().Insert(key, atom->CloneAtom());
    }
  }
  if (!trailer->Dict().Lookup("Encrypt")) scan->ExpandObjectStreams(*m_->in);

  auto xref = std::make_unique<CPDFXRef>(this);
  for (const auto& [num, object] : scan->Objects()) {
    xref->SetEntry(CPDFXRefEntry(num, object.gen, object.offset, true));
  }
  for (const auto& [num, compressed] : scan->CompressedObjects()) {
    xref->SetEntry(CPDFXRefEntry::Compressed(num, compressed.stream, compressed.index));
  }
  for (const int32_t num : scan->StreamNumbers()) xref->AddStreamNumber(num);
  const int32_t highest = xref->Highest();
  // Numbers past the objects found that the objects still name were lost with the damage: they
  // are listed as free, so that new objects do not take them (the old references would take
  // them for the lost ones) and the rewrite's table has no hole where readers look for them.
  // A number far past the objects found is more likely stray bytes than a reference.
  const int32_t lost = scan->HighestReferenceIn(
      highest, static_cast<int32_t>(std::min<int64_t>(int64_t(highest) + kMaxLostNumbers,
                                                      limits::kMaxObjectNumber)));
  for (int32_t num = highest + 1; num <= lost; ++num) {
    xref->SetEntry(CPDFXRefEntry(num, 0, 0, false));
  }
  CPDFNumber* size = AsNumber(trailer->Dict().GetValue(nullptr, "Size"));
  if (!size || size->IntValue() <= highest) {
    trailer->Dict().Insert("Size", std::make_unique<CPDFInt>(highest + 1));
  }
  // Nothing in the file can be trusted to lie where it was once written, so the repaired
  // section has no table offset of its own.
  trailer->SetStartXRef(-1);

  m_->header = std::move(header);
  auto body = std::make_unique<CPDFBody>(this);
  body->Grow(xref->Size());
  m_->bodies.push_back(std::move(body));
  m_->xrefs.push_back(std::move(xref));
  m_->trailers.push_back(std::move(trailer));
  NoteRepaired();
  return true;
}

std::unique_ptr<CPDFObject> CPDFDoc::LoadFromScan(const CPDFObjRef& ref) {
  const CPDFFileScan* scan = Scan();
  if (!scan) return nullptr;
  const auto found = scan->Objects().find(ref.Num());
  if (found == scan->Objects().end() || found->second.gen != ref.Gen()) return nullptr;
  std::unique_ptr<CPDFObject> obj = LoadObj(ref, found->second.offset);
  if (obj) NoteRepaired();
  return obj;
}

void CPDFDoc::RepairRoots() {
  const size_t warningsBefore = m_->warnings.size();
  CPDFDict& trailer = GetTrailer()->Dict();
  CPDFObjRef rootRef;
  CPDFDict* root = AsPlainDict(trailer.GetValue(this, "Root", &rootRef));
  ClearError();
  if (!root) {
    root = FindCatalog(&rootRef);
    if (!root) return;
    // A catalog that leads to no page is no better than none: the open fails as it did.
    RepairPageTree(*root, rootRef);
    if (!IsPagesNode(this, root->GetValue(this, "Pages"))) return;
    trailer.Insert("Root", std::make_unique<CPDFObjRef>(rootRef));
    NoteRepair(
        Format("damaged trailer Root replaced by catalog: %d %d", rootRef.Num(), rootRef.Gen()));
  }
  RepairPageTree(*root, rootRef);
  if (m_->warnings.size() == warningsBefore) return;
  // The catalog is bound again over its new page tree.
  if (!BindEntry<CPDFCatalog>(this, trailer, "Root", IsCatalog)) {
    ThrowCode("CPDFDoc", "Open", kInternalError);
  }
}

CPDFDict* CPDFDoc::FindCatalog(CPDFObjRef* ref) {
  const CPDFFileScan* scan = Scan();
  if (!scan) return nullptr;
  // The newest catalog first, as the repair of the sections takes it.
  for (const int32_t num : scan->Catalogs()) {
    const CPDFObjRef candidate(num, scan->Objects().at(num).gen);
    if (CPDFDict* dict = AsPlainDict(GetObj(candidate))) {
      *ref = candidate;
      return dict;
    }
  }
  ClearError();
  return nullptr;
}

void CPDFDoc::RepairPageTree(CPDFDict& catalog, const CPDFObjRef& catalogRef) {
  CPDFObjRef pagesRef;
  CPDFObject* pages = catalog.GetValue(this, "Pages", &pagesRef);
  ClearError();
  const bool node = IsPagesNode(this, pages);
  if (node && !PromisesPagesItLacks(*static_cast<CPDFDict*>(pages))) return;
  std::vector<CPDFObjRef> found;
  if (pagesRef.IsDefined() && IsTypedPage(this, pages)) {
    found.push_back(pagesRef);  // one page standing for the whole tree
  } else if (const CPDFFileScan* scan = Scan()) {
    for (const int32_t num : scan->Pages()) {
      const CPDFObjRef ref(num, scan->Objects().at(num).gen);
      if (IsTypedPage(this, GetObj(ref))) found.push_back(ref);
    }
    ClearError();
  }
  if (found.empty()) {
    // No page anywhere: the document fails as one without pages, also when its root still
    // counts the pages that its kids no longer hold (deleted by an update, or lost).
    if (node) {
      auto& root = *static_cast<CPDFDict*>(pages);
      root.Insert("Kids", std::make_unique<CPDFArray>());
      root.Insert("Count", std::make_unique<CPDFInt>(0));
    }
    return;
  }

  auto root = std::make_unique<CPDFDict>();
  root->Insert("Type", std::make_unique<CPDFName>("Pages"));
  auto kids = std::make_unique<CPDFArray>();
  for (const CPDFObjRef& ref : found) kids->Push_Back(std::make_unique<CPDFObjRef>(ref));
  root->Insert("Kids", std::move(kids));
  root->Insert("Count", std::make_unique<CPDFInt>(static_cast<int32_t>(found.size())));
  CPDFObjRef nodeRef;
  if (!RegistObj(std::move(root), &nodeRef)) ThrowCode("CPDFDoc", "Open", kInternalError);
  for (const CPDFObjRef& ref : found) {
    if (CPDFDict* page = AsPlainDict(GetObj(ref))) AdoptPage(*page, ref, nodeRef);
  }
  catalog.Insert("Pages", std::make_unique<CPDFObjRef>(nodeRef));
  if (catalogRef.IsDefined()) UpdateObj(catalogRef);
  ClearError();
  NoteRepair(Format("damaged page tree replaced by %d page(s) found in the file",
                    static_cast<int>(found.size())));
}

bool CPDFDoc::PromisesPagesItLacks(const CPDFDict& root) {
  const CPDFNumber* count = root.GetNumber(this, "Count");
  const CPDFArray* kids = root.GetArray(this, "Kids");
  if (!count || count->Int64Value() <= 0 || !kids) return false;
  // Judged without loading a kid (a damaged one is repaired when it is first asked for): the
  // first one that is a dictionary, or a reference to an object the tables list, ends the look.
  for (size_t i = 0; i < kids->Count(); ++i) {
    const CPDFAtom* kid = kids->At(i);
    if (!kid) continue;
    if (kid->IsRef()) {
      const CPDFXRefEntry* entry = FindEntry(static_cast<const CPDFObjRef*>(kid)->Num(), false);
      if (entry && entry->InUse()) return false;
    } else if (static_cast<const CPDFObject*>(kid)->TypeCode() == kTypeDict) {
      return false;
    }
  }
  return true;
}

void CPDFDoc::AdoptPage(CPDFDict& page, const CPDFObjRef& ref, const CPDFObjRef& node) {
  for (const char* key : kInherited) {
    if (page.Lookup(key)) continue;
    // Up a chain of any length; a second walker at half the pace meets the first only when the
    // chain loops.
    CPDFDict* ancestor = AsPlainDict(page.GetValue(this, "Parent"));
    CPDFDict* follower = ancestor;
    for (size_t steps = 1; ancestor; ++steps) {
      if (CPDFAtom* value = ancestor->Lookup(key)) {
        page.Insert(key, value->CloneAtom());
        break;
      }
      ancestor = AsPlainDict(ancestor->GetValue(this, "Parent"));
      if (steps % 2 == 0) follower = AsPlainDict(follower->GetValue(this, "Parent"));
      if (ancestor && ancestor == follower) break;
    }
  }
  page.Insert("Parent", std::make_unique<CPDFObjRef>(node));
  UpdateObj(ref);
  ClearError();
}

}  // namespace quarn
