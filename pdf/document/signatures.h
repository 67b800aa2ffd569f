// What the signatures of a document allow: a full rewrite moves every byte that a signature's
// digest covers, and a certified document forbids any change to its pages.
#pragma once

namespace quarn {

class CPDFDoc;

struct SignatureState {
  // A form field of type "Sig" holds a signature dictionary as its value.
  bool signed_ = false;
  // The catalog's "Perms" names a "DocMDP" signature whose references hold a DocMDP transform:
  // the author certified the document against changes (every level of "P" forbids changing
  // page content).
  bool certified = false;
};

// Reads the catalog's "AcroForm" field tree (through "Kids", bounded and safe against cycles)
// and its "Perms". Objects that cannot be read count as no signature; the document's last
// error is left clear.
SignatureState InspectSignatures(CPDFDoc& doc);

}  // namespace quarn
