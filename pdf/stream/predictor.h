// The predictors that "FlateDecode" and "LZWDecode" may name in their "DecodeParms": the PNG
// row filters (Predictor 10 to 15) and TIFF horizontal differencing (Predictor 2). Undoing one
// is a stage after the codec: it reads the codec's output and writes the samples.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

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

// Undoes a predictor on data handed over piece by piece (a codec's output as it is decoded),
// writing each row as soon as it is complete: only the row being filled and the one above it
// are held, and they grow with the data, never past what "Columns" asks or the data holds.
class CPDFPredictor {
 public:
  CPDFPredictor(const PredictorParams& params, const FilterFrame& frame, FilterOutput& out);

  // A row that would hold more than limits::kMaxPredictorRowBytes fails with code 4; a PNG row
  // tag other than 0 to 4 fails with code 4.
  void Write(const char* data, size_t n);
  // Undoes a last row that the data cut short, as far as it goes.
  void Finish();

  // Undoes the predictor of `params` on all of `in`.
  static void DecodeBytes(const PredictorParams& params, StrLoad& in, FilterFrame& frame,
                          FilterOutput& out);

 private:
  // Makes room for `fill` bytes of the current row.
  void Hold(size_t fill);
  void EmitRow(size_t n);

  PredictorParams m_params;
  const FilterFrame& m_frame;
  FilterOutput& m_out;
  uint64_t m_width;
  size_t m_pixelBytes;
  std::vector<unsigned char> m_row;
  std::vector<unsigned char> m_prior;  // the row above; missing bytes are zeros
  size_t m_fill = 0;
  int m_tag;  // the current row's PNG tag, -1 before it is read; 0 for TIFF
};

}  // namespace quarn
