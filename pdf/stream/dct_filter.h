// "DCTDecode": baseline and progressive JPEG through libjpeg (the version 62 interface).
// Decoding gives 8-bit samples, components interleaved, rows without padding; libjpeg's own
// errors fail the filter (code 4 with libjpeg's message) instead of ending the program.
#pragma once

#include <cstdint>

#include "pdf/stream/filter_frame.h"
#include "pdf/stream/image_params.h"

namespace quarn {

class CPDFDCTFilter {
 public:
  static constexpr const char* kClassName = "CPDFDCTFilter";
  static constexpr const char* kFilterName = "DCTDecode";

  // Compresses the image's rows ("Width" × components of "ColorSpace", 8 bits) at `quality`
  // (0 to 100, baseline) and records the filter.
  static bool Encode(CPDFStream& stream, int32_t quality, CPDFErrorRecord& error,
                     ProgressProc progress = nullptr, CancelProc cancel = nullptr,
                     const CPDFProgressRange* range = nullptr);
  static bool Decode(CPDFStream& stream, CPDFErrorRecord& error, ProgressProc progress = nullptr,
                     CancelProc cancel = nullptr, const CPDFProgressRange* range = nullptr);

  // The decoder of the filter chain: checks the image's dictionary, then decodes.
  static void DecodeImage(CPDFStream& image, CPDFObject* parms, StrLoad& in, FilterFrame& frame,
                          FilterOutput& out);
  // The codec itself. The JPEG carries its own geometry; `colorTransform` is the "ColorTransform"
  // parameter (-1 when absent: libjpeg decides from the file's markers).
  static void DecodeBytes(StrLoad& in, FilterFrame& frame, FilterOutput& out,
                          int32_t colorTransform = -1);
  static void EncodeBytes(StrLoad& in, int32_t width, int32_t height, int32_t components,
                          int32_t quality, FilterFrame& frame, FilterOutput& out);
};

}  // namespace quarn
