// What the signatures of a document allow: a full rewrite moves every byte that a signature's
// digest covers, and a certified document forbids any change to its pages.
#pragma once

namespace quarn {

class CPDFDoc;

// True when a form field of type "Sig" (found through "Kids", bounded and safe against cycles;
// "FT" and "V" inherited) holds a signature dictionary as its value. It reads every field of
// the form, so a caller that writes only an incremental update need not ask.
bool HasSignature(CPDFDoc& doc);

// True when the catalog's "Perms" names a "DocMDP" signature whose references hold a DocMDP
// transform: the author certified the document against changes, and every level of "P"
// forbids changing page content.
bool IsCertified(CPDFDoc& doc);

// Both read what they can: an object that cannot be read counts as no signature, and the
// document's last error is left clear.

}  // namespace quarn
