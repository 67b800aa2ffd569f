// "RunLengthDecode": literal records and repeat records, ended by the byte 128.
#pragma once

#include "pdf/stream/filter_frame.h"

namespace quarn {

class CPDFRunLengthFilter {
 public:
  static constexpr const char* kClassName = "CPDFRunLengthFilter";
  static constexpr const char* kFilterName = "RunLengthDecode";

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
