// CIDFontType2 fonts: Japanese TrueType faces of the host (and the Heisei records) as the
// descendant of a Type 0 font in the Adobe-Japan1 character collection.
#pragma once

#include <memory>
#include <string>

#include "pdf/font/cid_font.h"
#include "pdf/font/type0_font.h"

namespace quarn {

class CPDFType2CIDFont : public CPDFCIDFont {
  QUARN_TYPED_CLASS(CPDFType2CIDFont, CPDFFont, "Font")
 public:
  // W from the face's single-byte widths: for a proportional face the runs of the host codes
  // 32-125 (from CID 1), 32-126 (from CID 231), 160-223 (from CID 326) and 126 (CID 631); for a
  // fixed-pitch face CIDs 1-94, 231-389 and 631 at 500.
  bool CreateWidths() override;

  // A Type 0 font over a new CIDFontType2 descendant for the Shift-JIS face `fontName`, encoded
  // by `cmapName` (empty: "90msp-RKSJ-H" for a proportional face, else "90ms-RKSJ-H").
  // Failures go to the document's last-error record; nullptr then.
  static std::unique_ptr<CPDFType0Font> CreateFont(CPDFObjHolder* doc, const std::string& fontName,
                                                   const std::string& cmapName);
};

// Subtype /CIDFontType2 and IsCIDFont.
bool IsType2CIDFont(CPDFObjHolder* doc, CPDFObject* value);

// Lets LoadCIDFont make CIDFontType2 fonts; once per process, later calls do nothing.
void RegisterType2CIDFontKind();

}  // namespace quarn
