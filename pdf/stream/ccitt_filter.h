// "CCITTFaxDecode": CCITT Group 3 (one- and two-dimensional) and Group 4 fax coding through
// libtiff, the data wrapped in a one-strip TIFF image held in memory. Decoding gives the
// samples with the meaning the parameters give them ("BlackIs1" false: 0 is black), one row
// of (Columns + 7) / 8 bytes per image row.
#pragma once

#include <cstdint>
#include <string>

#include "pdf/stream/filter_frame.h"
#include "pdf/stream/image_params.h"

namespace quarn {

class CPDFCCITTFaxFilter {
 public:
  static constexpr const char* kClassName = "CPDFCCITTFaxFilter";
  static constexpr const char* kFilterName = "CCITTFaxDecode";

  // The coding of one fax image, as the decode parameters describe it.
  struct Coding {
    int32_t k = 0;  // < 0 Group 4, 0 Group 3 one-dimensional, > 0 Group 3 two-dimensional
    int32_t columns = 0;
    int32_t rows = 0;
    bool blackIs1 = false;
    bool endOfLine = false;
    bool byteAlign = false;
  };

  // Compresses the image's 1-bit rows (K = -1: Group 4; 0: Group 3 one-dimensional; other:
  // Group 3 two-dimensional) and records the filter with its parameters.
  static bool Encode(CPDFStream& stream, int32_t k, CPDFErrorRecord& error,
                     ProgressProc progress = nullptr, CancelProc cancel = nullptr,
                     const CPDFProgressRange* range = nullptr);
  static bool Decode(CPDFStream& stream, CPDFObject* parms, CPDFErrorRecord& error,
                     ProgressProc progress = nullptr, CancelProc cancel = nullptr,
                     const CPDFProgressRange* range = nullptr);

  // The decoder of the filter chain: checks the image's dictionary and parameters, then decodes.
  static void DecodeImage(CPDFStream& image, CPDFObject* parms, StrLoad& in, FilterFrame& frame,
                          FilterOutput& out);
  // The codec itself on the coding given.
  static void DecodeBytes(const Coding& coding, StrLoad& in, FilterFrame& frame, FilterOutput& out);
  static void EncodeBytes(const Coding& coding, StrLoad& in, FilterFrame& frame, FilterOutput& out);

  // The first line of the version text of the libtiff this process loads ("LIBTIFF, Version
  // 4.5.0"); "(not available)" when it cannot be opened.
  static std::string LibraryVersion();
};

}  // namespace quarn
