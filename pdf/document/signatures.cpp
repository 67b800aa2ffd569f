#include "pdf/document/signatures.h"

#include <set>
#include <vector>

#include "pdf/document/catalog.h"
#include "pdf/document/doc.h"
#include "pdf/document/trailer.h"
#include "pdf/object/limits.h"

namespace quarn {

namespace {

// A signature dictionary: "Type" "Sig" where the producer wrote it (it is optional), else the
// "Filter" of a signature handler and the signature value in "Contents".
bool IsSignatureDict(CPDFObjHolder* doc, const CPDFDict* dict) {
  if (!dict) return false;
  if (dict->HasName(doc, "Type", "Sig")) return true;
  return dict->GetName(doc, "Filter") && dict->Lookup("Contents");
}

// One field of the tree to look at, with the values its ancestors pass on to it ("FT" and "V"
// are inheritable).
struct PendingField {
  CPDFAtom* atom;
  CPDFName* type;
  CPDFObject* value;
  int depth;
};

class FieldWalk {
 public:
  explicit FieldWalk(CPDFObjHolder* doc) : m_doc(doc) {}

  bool FindsSignature(const CPDFArray& fields) {
    Push(fields, nullptr, nullptr, 0);
    while (!m_pending.empty() && m_visited < limits::kMaxFieldsInspected) {
      const PendingField field = m_pending.back();
      m_pending.pop_back();
      ++m_visited;
      CPDFObjRef ref;
      const CPDFDict* dict = AsDict(Resolve(m_doc, field.atom, &ref));
      if (!dict) continue;
      if (ref.IsDefined() && !m_seen.insert(ref).second) continue;  // listed twice, or a loop
      CPDFName* own = dict->GetName(m_doc, "FT");
      CPDFName* type = own ? own : field.type;
      CPDFObject* value = dict->Lookup("V") ? dict->GetValue(m_doc, "V") : field.value;
      if (type && type->Equals("Sig") && IsSignatureDict(m_doc, AsDict(value))) return true;
      const CPDFArray* kids = dict->GetArray(m_doc, "Kids");
      if (kids && field.depth < limits::kMaxFieldDepth) Push(*kids, type, value, field.depth + 1);
    }
    return false;
  }

 private:
  void Push(const CPDFArray& fields, CPDFName* type, CPDFObject* value, int depth) {
    // Pushed last to first, so that fields are looked at in the order the form lists them.
    for (size_t i = fields.Count(); i-- > 0;) {
      m_pending.push_back({fields.At(i), type, value, depth});
    }
  }

  CPDFObjHolder* m_doc;
  std::vector<PendingField> m_pending;
  std::set<CPDFObjRef> m_seen;
  size_t m_visited = 0;
};

bool HasDocMDPTransform(CPDFObjHolder* doc, const CPDFDict& signature) {
  const CPDFArray* references = signature.GetArray(doc, "Reference");
  if (!references) return false;
  for (size_t i = 0; i < references->Count(); ++i) {
    const CPDFDict* reference = AsDict(Resolve(doc, references->At(i)));
    if (reference && reference->HasName(doc, "TransformMethod", "DocMDP")) return true;
  }
  return false;
}

const CPDFDict* CatalogOf(CPDFDoc& doc) {
  CPDFTrailer* trailer = doc.GetTrailer();
  return trailer ? trailer->Get_Root() : nullptr;
}

}  // namespace

bool HasSignature(CPDFDoc& doc) {
  const CPDFDict* catalog = CatalogOf(doc);
  const CPDFDict* form = catalog ? catalog->GetDict(&doc, "AcroForm") : nullptr;
  const CPDFArray* fields = form ? form->GetArray(&doc, "Fields") : nullptr;
  const bool found = fields && FieldWalk(&doc).FindsSignature(*fields);
  // A field that cannot be read is no signature, and not a failure of the caller's.
  doc.ClearError();
  return found;
}

bool IsCertified(CPDFDoc& doc) {
  const CPDFDict* catalog = CatalogOf(doc);
  const CPDFDict* perms = catalog ? catalog->GetDict(&doc, "Perms") : nullptr;
  const CPDFDict* signature = perms ? perms->GetDict(&doc, "DocMDP") : nullptr;
  const bool certified = IsSignatureDict(&doc, signature) && HasDocMDPTransform(&doc, *signature);
  doc.ClearError();
  return certified;
}

}  // namespace quarn
