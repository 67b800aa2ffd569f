// The predictors that "FlateDecode" and "LZWDecode" may name in their "DecodeParms": the PNG
// row filters (Predictor 10 to 15) and TIFF horizontal differencing (Predictor 2). Undoing one
// is a stage after the codec: it reads the codec's output and writes the samples.
#pragma once

#include <cstddef>
#include <cstdint>

#include "pdf/stream/filter_frame.h"

namespace quarn {

class CPDFObjHolder;
class CPDFObject;

struct PredictorParams {
  static constexpr int32_t kNone = 1;
  static constexpr int32_t kTIFF = 2;

  int32_t predictor = kNone;
  int32_t colors = 1;
  int32_t bitsPerComponent = 8;
  int32_t columns = 1;

  // The parameters of a "DecodeParms" dictionary (resolved through `doc`); absent keys, a
  // missing dictionary or a null take the defaults. Values that no predictor can work with
  // fail through `frame` with code 4.
  static PredictorParams Read(CPDFObjHolder* doc, CPDFObject* parms, const FilterFrame& frame);

  bool Active() const { return predictor != kNone; }
  bool IsPNG() const { return predictor >= 10 && predictor <= 15; }
  // Bytes of one row of samples (without the PNG tag byte).
  uint64_t RowBytes() const;
  // Bytes of one pixel, at least 1: the distance PNG's Sub, Average and Paeth look back.
  size_t PixelBytes() const;
};

class CPDFPredictor {
 public:
  // Undoes the predictor of `params` on all of `in`. A last row that the data cuts short is
  // undone as far as it goes; a PNG row tag other than 0 to 4 fails with code 4.
  static void DecodeBytes(const PredictorParams& params, StrLoad& in, FilterFrame& frame,
                          FilterOutput& out);
};

}  // namespace quarn
