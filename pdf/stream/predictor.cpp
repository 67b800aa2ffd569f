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

CPDFPredictor::CPDFPredictor(const PredictorParams& params, const FilterFrame& frame,
                             FilterOutput& out)
    : m_params(params),
      m_frame(frame),
      m_out(out),
      m_width(params.RowBytes()),
      m_pixelBytes(params.PixelBytes()),
      m_tag(params.IsPNG() ? -1 : 0) {}

void CPDFPredictor::Hold(size_t fill) {
  if (fill <= m_row.size()) return;
  // The row is refused only once the data reaches past the bound: a short stream whose
  // "Columns" claims more is one cut-short row, undone as far as it goes.
  if (fill > limits::kMaxPredictorRowBytes) {
    m_frame.Fail(kInvalidFormat, Format("invalid Columns: %d", m_params.columns));
  }
  const uint64_t grown = std::max<uint64_t>(fill, 2 * static_cast<uint64_t>(m_row.size()));
  m_row.resize(static_cast<size_t>(
      std::min({grown, m_width, static_cast<uint64_t>(limits::kMaxPredictorRowBytes)})));
}

void CPDFPredictor::EmitRow(size_t n) {
  if (m_params.IsPNG()) {
    if (m_tag > 4) m_frame.Fail(kInvalidFormat, Format("invalid predictor row tag: %d", m_tag));
    if (m_prior.size() < n) m_prior.resize(n, 0);
    UnfilterPNG(m_tag, m_row, m_prior, n, m_pixelBytes);
    m_out.Write(reinterpret_cast<const char*>(m_row.data()), n);
    std::copy(m_row.begin(), m_row.begin() + static_cast<std::ptrdiff_t>(n), m_prior.begin());
  } else {
    UndoTIFFRow(m_params, m_row, n);
    m_out.Write(reinterpret_cast<const char*>(m_row.data()), n);
  }
}

void CPDFPredictor::Write(const char* data, size_t n) {
  size_t i = 0;
  while (i < n) {
    if (m_tag < 0) {
      m_tag = static_cast<unsigned char>(data[i++]);
      continue;
    }
    const auto take = static_cast<size_t>(std::min<uint64_t>(m_width - m_fill, n - i));
    Hold(m_fill + take);
    std::memcpy(m_row.data() + m_fill, data + i, take);
    m_fill += take;
    i += take;
    if (m_fill == m_width) {
      EmitRow(m_fill);
      m_fill = 0;
      m_tag = m_params.IsPNG() ? -1 : 0;
    }
  }
}

void CPDFPredictor::Finish() {
  if (m_fill > 0) EmitRow(m_fill);
  m_fill = 0;
}

void CPDFPredictor::DecodeBytes(const PredictorParams& params, StrLoad& in, FilterFrame& frame,
                                FilterOutput& out) {
  CPDFPredictor predictor(params, frame, out);
  frame.ForEachBlock(in, [&](const char* block, size_t n) {
    predictor.Write(block, n);
    return true;
  });
  predictor.Finish();
  frame.Finish();
}

}  // namespace quarn
