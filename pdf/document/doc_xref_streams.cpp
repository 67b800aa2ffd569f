// The document's side of cross-reference streams and object streams: reading stream sections
// and hybrid files, loading objects that lie in object streams, and leaving both kinds of
// stream out of a full rewrite.
#include <algorithm>
#include <map>
#include <set>

#include "pdf/document/body.h"
#include "pdf/document/doc.h"
#include "pdf/document/doc_members.h"
#include "pdf/document/object_stream.h"
#include "pdf/document/repair.h"
#include "pdf/document/trailer.h"
#include "pdf/document/xref.h"
#include "pdf/document/xref_stream.h"
#include "pdf/object/in_stream.h"
#include "pdf/object/lexer.h"

namespace quarn {

namespace {

constexpr char kModule[] = "CPDFDoc";

}  // namespace

bool CPDFDoc::ReadStreamSection(int64_t offset, CPDFXRef& xref, CPDFTrailer& trailer) {
  if (CPDFXRefStream::StartsAt(*m_->in, offset)) {
    CPDFXRefStream::Read(*m_->in, offset, xref, &trailer);
    xref.SetStreamSection(true);
    return true;
  }
  // Word writes hybrid updates whose table has one empty subsection and whose entries are all
  // in the "XRefStm" stream. Any other empty subsection is left to the table reader.
  std::string token;
  if (!m_->in->Seek(offset)) return false;
  for (const char* expected : {"xref", "0", "0"}) {
    if (!ReadToken(*m_->in, token) || token != expected) return false;
  }
  const int64_t trailerAt = m_->in->Tell();
  if (!ReadToken(*m_->in, token) || token != "trailer" || !m_->in->Seek(trailerAt)) return false;
  trailer.Read(this, *m_->in);
  if (!trailer.Dict().Lookup("XRefStm")) return false;
  ReadHybridStream(xref, trailer);
  return true;
}

void CPDFDoc::ReadHybridStream(CPDFXRef& xref, const CPDFTrailer& trailer) {
  // Objects that only readers of cross-reference streams should see are listed in the stream
  // that "XRefStm" names; the table's own entries in use stay first.
  CPDFAtom* atom = trailer.Dict().Lookup("XRefStm");
  if (!atom) return;
  CPDFNumber* offset = atom->IsObject() ? AsNumber(static_cast<CPDFObject*>(atom)) : nullptr;
  if (!offset || offset->Int64Value() < 0) {
    Throw("CPDFTrailer", "Serialize", kInvalidFormat, "typecheck: XRefStm");
  }
  CPDFXRefStream::Read(*m_->in, offset->Int64Value(), xref, nullptr);
}

std::unique_ptr<CPDFObject> CPDFDoc::LoadEntry(const CPDFObjRef& ref, const CPDFXRefEntry& entry) {
  if (!entry.IsCompressed()) {
    std::unique_ptr<CPDFObject> obj = LoadObj(ref, entry.Offset());
    if (obj || m_->error.Code() != kInvalidFormat) return obj;
    // The table points at the wrong place: the object may still be found where it stands.
    const CPDFErrorRecord offsetError = m_->error;
    // Only for the generation the table names: a reference of another one is stale (a new
    // object took the deleted one's number), and what the scan finds for it is that deleted
    // object, which would be filed over the new one.
    if (entry.Gen() == ref.Gen()) obj = LoadFromScan(ref);
    if (!obj) {
      ClearError();
      m_->error.Keep(offsetError);
    }
    return obj;
  }
  ClearError();
  try {
    if (!m_->objStms) m_->objStms = std::make_shared<CPDFObjStmCache>();
    std::unique_ptr<CPDFObject> obj =
        m_->objStms->Load(*this, ref, entry.ObjStmNum(), entry.ObjStmIndex());
    ClearError();  // errors of lookups made while decoding do not belong to this load
    return obj;
  } catch (...) {
    ClearError();
    KeepCurrentError(m_->error, kModule, "LoadObj");
  }
  // An entry that names no object stream, or one that does not hold the object: the table is
  // wrong, and the object may stand in the open where readers find it.
  if (m_->error.Code() != kInvalidFormat || entry.Gen() != ref.Gen()) return nullptr;
  const CPDFErrorRecord streamError = m_->error;
  std::unique_ptr<CPDFObject> obj = LoadFromScan(ref);
  if (!obj) {
    ClearError();
    m_->error.Keep(streamError);
    return obj;
  }
  // The entry now lists the object where it was found: the stream it named is no object
  // stream, and a rewrite must not drop it as one.
  const CPDFXRefEntry plain(ref.Num(), ref.Gen(), m_->scan->Objects().at(ref.Num()).offset, true);
  for (auto& xref : m_->xrefs) {
    if (xref->GetEntry(ref.Num()) == &entry) {
      xref->SetEntry(plain);
      break;
    }
  }
  return obj;
}

void CPDFDoc::DropCrossReferenceStreams() {
  CPDFXRef* xref = GetXRef();
  CPDFBody* body = GetBody();
  if (!xref || !body) return;
  // A number is a stream's only while no newer section has given it to another object: the
  // newest definition of every number wins, whatever the older one was. So each stream number
  // is noted with the newest section that uses it as a stream (a section's own cross-reference
  // stream, or the object stream that objects still in use are read from), and dropped only
  // when no section newer than that one defines the number again.
  std::map<int32_t, size_t> streamSection;
  auto note = [&streamSection](int32_t num, size_t section) {
    const auto [at, added] = streamSection.emplace(num, section);
    if (!added) at->second = std::min(at->second, section);
  };
  // The section that a number's newest definition comes from.
  auto newestSection = [this](int32_t num) {
    size_t i = 1;
    while (i < m_->xrefs.size() && !m_->xrefs[i]->GetEntry(num)) ++i;
    return i;
  };
  for (size_t i = 1; i < m_->xrefs.size(); ++i) {
    for (const int32_t num : m_->xrefs[i]->StreamNumbers()) note(num, i);
  }
  xref->ForEach([&](int32_t num, const CPDFXRefEntry& entry) {
    if (entry.InUse() && entry.IsCompressed()) note(entry.ObjStmNum(), newestSection(num));
  });
  std::set<int32_t> dropped;
  for (const auto& [num, section] : streamSection) {
    if (newestSection(num) >= section) dropped.insert(num);
  }
  for (const int32_t num : dropped) {
    CPDFXRefEntry* entry = xref->GetEntry(num);
    if (!entry || !entry->InUse() || entry->IsCompressed()) continue;
    // The objects of an object stream are still read from it while the rewrite writes them.
    if (!m_->objStms) m_->objStms = std::make_shared<CPDFObjStmCache>();
    m_->objStms->KeepLocation(*entry);
    body->DeleteObj(CPDFObjRef(num, entry->Gen()));
    try {
      xref->FreeEntry(num);
    } catch (const CPDFException&) {
      // A free list that the file left broken: the number is retired without being linked in.
      entry->SetInUse(false);
      entry->SetOffset(0);
    }
  }
}

void CPDFDoc::CheckAppendable(const char* method) const {
  // Appending to a file whose cross-reference data is broken would hand readers the same
  // damage again under a new section.
  if (m_->repaired) {
    Throw(kModule, method, kUserError,
          "a repaired file cannot be updated incrementally: save it in full");
  }
}

}  // namespace quarn
