// "ASCII85Decode": four bytes as five base-85 digits, "z" for four zero bytes, "~>" at the end.
#pragma once

#include "pdf/stream/filter_frame.h"

namespace quarn {

class CPDFASCII85Filter {
 public:
  static constexpr const char* kClassName = "CPDFASCII85Filter";
  static constexpr const char* kFilterName = "ASCII85Decode";

  // Replaces the stream's data by its encoded form and records the filter.
  static bool Encode(CPDFStream& stream, CPDFErrorRecord& error, ProgressProc progress = nullptr,
                     CancelProc cancel = nullptr, const CPDFProgressRange* range = nullptr);
  // Replaces the stream's data by its decoded form; the filter takes no parameters.
  static bool Decode(CPDFStream& stream, CPDFObject* parms, CPDFErrorRecord& error,
                     ProgressProc progress = nullptr, CancelProc cancel = nullptr,
                     const CPDFProgressRange* range = nullptr);

  // The codec on bytes (throws CPDFException with the frame's labels).
  static void EncodeBytes(StrLoad& in, FilterFrame& frame, FilterOutput& out);
  static void DecodeBytes(StrLoad& in, FilterFrame& frame, FilterOutput& out);
};

}  // namespace quarn
