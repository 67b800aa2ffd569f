#include "pdf/stream/predictor.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "pdf/object/limits.h"
#include "pdf/object/values.h"

namespace quarn {

namespace {

using Row = std::vector<unsigned char>;

int32_t IntEntry(CPDFObjHolder* doc, CPDFDict* dict, const char* key, int32_t fallback) {
  if (!dict || !dict->Lookup(key)) return fallback;
  CPDFNumber* number = dict->GetNumber(doc, key);
  return number ? number->IntValue() : fallback;
}

unsigned char Paeth(int left, int up, int upLeft) {
  const int estimate = left + up - upLeft;
  const int toLeft = std::abs(estimate - left);
  const int toUp = std::abs(estimate - up);
  const int toUpLeft = std::abs(estimate - upLeft);
  if (toLeft <= toUp && toLeft <= toUpLeft) return static_cast<unsigned char>(left);
  if (toUp <= toUpLeft) return static_cast<unsigned char>(up);
  return static_cast<unsigned char>(upLeft);
}

// Undoes one PNG row filter on the first n bytes of `row`, with `prior` the row above (zeros
// above the first row).
void UnfilterPNG(int tag, Row& row, const Row& prior, size_t n, size_t bpp) {
  switch (tag) {
    case 1:  // Sub
      for (size_t i = bpp; i < n; ++i) row[i] = static_cast<unsigned char>(row[i] + row[i - bpp]);
      break;
    case 2:  // Up
      for (size_t i = 0; i < n; ++i) row[i] = static_cast<unsigned char>(row[i] + prior[i]);
      break;
    case 3:  // Average
      for (size_t i = 0; i < n; ++i) {
        const int left = i >= bpp ? row[i - bpp] : 0;
        row[i] = static_cast<unsigned char>(row[i] + (left + prior[i]) / 2);
      }
      break;
    case 4:  // Paeth
      for (size_t i = 0; i < n; ++i) {
        const int left = i >= bpp ? row[i - bpp] : 0;
        const int upLeft = i >= bpp ? prior[i - bpp] : 0;
        row[i] = static_cast<unsigned char>(row[i] + Paeth(left, prior[i], upLeft));
      }
      break;
    default:  // 0, None
      break;
  }
}

// Sample `s` of a row of `bits`-wide samples, most significant bits first.
unsigned SampleAt(const Row& row, size_t s, int bits) {
  const size_t bit = s * static_cast<size_t>(bits);
  const unsigned shift = 8 - static_cast<unsigned>(bits) - static_cast<unsigned>(bit % 8);
  return (row[bit / 8] >> shift) & ((1u << bits) - 1);
}

void SetSampleAt(Row& row, size_t s, int bits, unsigned value) {
  const size_t bit = s * static_cast<size_t>(bits);
  const unsigned shift = 8 - static_cast<unsigned>(bits) - static_cast<unsigned>(bit % 8);
  const unsigned mask = ((1u << bits) - 1) << shift;
  row[bit / 8] = static_cast<unsigned char>((row[bit / 8] & ~mask) | ((value << shift) & mask));
}

// Undoes TIFF horizontal differencing on the first n bytes of a row: every sample is the sum of
// itself and the same component of the pixel before it, modulo the sample width.
void UndoTIFFRow(const PredictorParams& p, Row& row, size_t n) {
  const auto colors = static_cast<size_t>(p.colors);
  const int bits = p.bitsPerComponent;
  const uint64_t rowSamples = static_cast<uint64_t>(p.colors) * static_cast<uint64_t>(p.columns);
  if (bits == 8) {
    for (size_t i = colors; i < n; ++i)
      row[i] = static_cast<unsigned char>(row[i] + row[i - colors]);
    return;
  }
  if (bits == 16) {
    for (size_t s = colors; 2 * s + 1 < n; ++s) {
      const unsigned value =
          static_cast<unsigned>(row[2 * s] << 8 | row[2 * s + 1]) +
          static_cast<unsigned>(row[2 * (s - colors)] << 8 | row[2 * (s - colors) + 1]);
      row[2 * s] = static_cast<unsigned char>(value >> 8);
      row[2 * s + 1] = static_cast<unsigned char>(value);
    }
    return;
  }
  const uint64_t whole = std::min<uint64_t>(rowSamples, n * 8 / static_cast<size_t>(bits));
  for (size_t s = colors; s < whole; ++s) {
    SetSampleAt(row, s, bits, SampleAt(row, s, bits) + SampleAt(row, s - colors, bits));
  }
}

// Collects the input into rows of `width` bytes (each led by a tag byte for PNG) and hands each
// complete row, and a last partial one, to `emit(tag, row, length)`.
template <class Emit>
void ForEachRow(StrLoad& in, FilterFrame& frame, size_t width, bool tagged, Row& row, Emit emit) {
  size_t fill = 0;
  int tag = tagged ? -1 : 0;
  frame.ForEachBlock(in, [&](const char* block, size_t n) {
    size_t i = 0;
    while (i < n) {
      if (tag < 0) {
        tag = static_cast<unsigned char>(block[i++]);
        continue;
      }
      const size_t take = std::min(width - fill, n - i);
      std::memcpy(row.data() + fill, block + i, take);
      fill += take;
      i += take;
      if (fill == width) {
        emit(tag, width);
        fill = 0;
        tag = tagged ? -1 : 0;
      }
    }
    return true;
  });
  if (fill > 0) emit(tag, fill);
}

}  // namespace

PredictorParams PredictorParams::Read(CPDFObjHolder* doc, CPDFObject* parms, const FilterFrame& frame) {
  PredictorParams p;
  CPDFDict* dict = AsDict(parms);
  p.predictor = IntEntry(doc, dict, "Predictor", kNone);
  // 1 and anything below it mean no prediction, as readers commonly take it.
  if (p.predictor < kTIFF) {
    p.predictor = kNone;
    return p;
  }
  if (p.predictor != kTIFF && !p.IsPNG()) {
    frame.Fail(kInvalidFormat, Format("unknown predictor: %d", p.predictor));
  }
  p.colors = IntEntry(doc, dict, "Colors", 1);
  p.bitsPerComponent = IntEntry(doc, dict, "BitsPerComponent", 8);
  p.columns = IntEntry(doc, dict, "Columns", 1);
  if (p.colors < 1 || p.colors > limits::kMaxPredictorColors) {
    frame.Fail(kInvalidFormat, Format("invalid Colors: %d", p.colors));
  }
  const int bpc = p.bitsPerComponent;
  if (bpc != 1 && bpc != 2 && bpc != 4 && bpc != 8 && bpc != 16) {
    frame.Fail(kInvalidFormat, Format("invalid BitsPerComponent: %d", bpc));
  }
  if (p.columns < 1) frame.Fail(kInvalidFormat, Format("invalid Columns: %d", p.columns));
  return p;
}

uint64_t PredictorParams::RowBytes() const {
  // At most 32 colours x 16 bits x 2^31 columns: far inside 64 bits.
  const uint64_t bits = static_cast<uint64_t>(colors) * static_cast<uint64_t>(bitsPerComponent) *
                        static_cast<uint64_t>(columns);
  return (bits + 7) / 8;
}

size_t PredictorParams::PixelBytes() const {
  const auto bits = static_cast<size_t>(colors) * static_cast<size_t>(bitsPerComponent);
  return std::max<size_t>(1, (bits + 7) / 8);
}

void CPDFPredictor::DecodeBytes(const PredictorParams& params, StrLoad& in, FilterFrame& frame,
                                FilterOutput& out) {
  // A row longer than all of the input can only be a partial last row, so the row buffers
  // never grow past the data, whatever "Columns" claims.
  const auto width = static_cast<size_t>(std::min<uint64_t>(params.RowBytes(), in.Size()));
  if (width == 0) {
    frame.Finish();
    return;
  }
  Row row(width);
  if (params.IsPNG()) {
    Row prior(width, 0);
    const size_t bpp = params.PixelBytes();
    ForEachRow(in, frame, width, true, row, [&](int tag, size_t n) {
      if (tag > 4) frame.Fail(kInvalidFormat, Format("invalid predictor row tag: %d", tag));
      UnfilterPNG(tag, row, prior, n, bpp);
      out.Write(reinterpret_cast<const char*>(row.data()), n);
      std::copy(row.begin(), row.begin() + static_cast<std::ptrdiff_t>(n), prior.begin());
    });
  } else {
    ForEachRow(in, frame, width, false, row, [&](int, size_t n) {
      UndoTIFFRow(params, row, n);
      out.Write(reinterpret_cast<const char*>(row.data()), n);
    });
  }
  frame.Finish();
}

}  // namespace quarn
