// Cross-reference streams from arbitrary bytes, two ways: the first byte chooses between a
// whole stream object ("N G obj << /Type /XRef ... >> stream ... endstream endobj", decoded with
// its filters and predictor) and raw rows, whose widths and runs come from the next bytes.
// Nothing may crash, hang or allocate what the data does not hold.
#include <cstdint>
#include <string>

#include "pdf/document/trailer.h"
#include "pdf/document/xref.h"
#include "pdf/document/xref_stream.h"
#include "pdf/object/exception.h"
#include "pdf/object/in_stream.h"

namespace {

void FromObject(const uint8_t* data, size_t size) {
  quarn::MemInStream in(reinterpret_cast<const char*>(data), size);
  quarn::CPDFXRef table;
  quarn::CPDFTrailer trailer;
  try {
    if (quarn::CPDFXRefStream::StartsAt(in, 0)) quarn::CPDFXRefStream::Read(in, 0, table, &trailer);
  } catch (const quarn::CPDFException&) {
  }
}

void FromRows(const uint8_t* data, size_t size) {
  if (size < 8) return;
  quarn::XRefStreamLayout layout;
  for (int i = 0; i < 3; ++i) layout.widths[i] = data[i] % 9;
  if (layout.RowBytes() == 0) return;
  // Up to three runs with starts and counts from the input (a count beyond the data is fine).
  const int runs = 1 + data[3] % 3;
  size_t at = 4;
  for (int r = 0; r < runs && at + 2 <= size; ++r, at += 2) {
    layout.ranges.emplace_back(data[at] * 7, data[at + 1] * 3);
  }
  quarn::CPDFXRef table;
  quarn::CPDFXRefStream::ReadEntries(reinterpret_cast<const char*>(data + at), size - at, layout,
                                     table);
  table.ForEach([](int32_t, const quarn::CPDFXRefEntry& entry) { (void)entry.IsCompressed(); });
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  if (data[0] & 1) {
    FromObject(data + 1, size - 1);
  } else {
    FromRows(data + 1, size - 1);
  }
  return 0;
}
