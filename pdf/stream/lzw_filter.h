// "LZWDecode": the variable-width LZW code of TIFF and PDF (codes of 9 to 12 bits, most
// significant bit first, 256 clears the table, 257 ends the data). Decoding only.
#pragma once

#include "pdf/stream/filter_frame.h"

namespace quarn {

class CPDFObjHolder;
class CPDFObject;

class CPDFLZWFilter {
 public:
  static constexpr const char* kClassName = "CPDFLZWFilter";
  static constexpr const char* kFilterName = "LZWDecode";

  // "EarlyChange" of a "DecodeParms" dictionary: true (the default) when the code width grows
  // one code early, as TIFF and most PDF writers do; only 0 turns it off.
  static bool EarlyChangeOf(CPDFObjHolder* doc, CPDFObject* parms);

  // The codec on bytes, with early change on and off. Like Flate decoding, the data ends at the
  // end-of-data code, at the end of the input, or at a code that cannot occur (a damaged tail);
  // what was decoded before stays the result.
  static void DecodeBytes(StrLoad& in, FilterFrame& frame, FilterOutput& out);
  static void DecodeBytesLate(StrLoad& in, FilterFrame& frame, FilterOutput& out);
};

}  // namespace quarn
