// LZW decoding of arbitrary bytes, with "EarlyChange" on or off by the first byte, alone and
// through a stream's filter chain with a predictor. Nothing may crash or read out of bounds,
// and the output stays within the decoded-size cap.
#include <cstdint>
#include <memory>

#include "pdf/object/exception.h"
#include "pdf/object/huge_string.h"
#include "pdf/stream/lzw_filter.h"
#include "pdf/stream/str_load.h"
#include "pdf/stream/stream.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const bool early = data[0] & 1;
  quarn::StrLoad in;
  in.Open(reinterpret_cast<const char*>(data + 1), size - 1);
  quarn::FilterFrame frame("CPDFLZWFilter", "Decode", nullptr, nullptr, nullptr, in.Size());
  quarn::TempHugeString result;
  try {
    quarn::FilterOutput out(result, frame, uint64_t(1) << 26);
    if (early) {
      quarn::CPDFLZWFilter::DecodeBytes(in, frame, out);
    } else {
      quarn::CPDFLZWFilter::DecodeBytesLate(in, frame, out);
    }
    out.Flush();
  } catch (const quarn::CPDFException&) {
  }
  if (data[0] & 2) {
    quarn::CPDFStream stream(nullptr);
    stream.SetData(data + 1, size - 1);
    stream.Insert("Filter", std::make_unique<quarn::CPDFName>("LZWDecode"));
    auto parms = std::make_unique<quarn::CPDFDict>();
    parms->Insert("EarlyChange", std::make_unique<quarn::CPDFInt>(early ? 1 : 0));
    parms->Insert("Predictor", std::make_unique<quarn::CPDFInt>(data[0] & 4 ? 12 : 2));
    parms->Insert("Columns", std::make_unique<quarn::CPDFInt>(1 + (data[0] >> 3)));
    stream.Insert("DecodeParms", std::move(parms));
    quarn::CPDFErrorRecord error;
    (void)stream.DecodeAllFilterWithin(uint64_t(1) << 26, error);
  }
  return 0;
}
