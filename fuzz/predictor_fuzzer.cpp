// The PNG and TIFF predictors on arbitrary bytes, with parameters taken from the first bytes
// (including rows far longer than the data and sub-byte samples). Nothing may crash, read or
// write out of bounds, or allocate what the data does not hold.
#include <cstdint>
#include <memory>

#include "pdf/object/exception.h"
#include "pdf/object/values.h"
#include "pdf/object/huge_string.h"
#include "pdf/stream/predictor.h"
#include "pdf/stream/str_load.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 5) return 0;
  static constexpr int kPredictors[] = {1, 2, 10, 11, 12, 13, 14, 15, 3, 16};
  static constexpr int kBits[] = {1, 2, 4, 8, 16, 3};
  auto parms = std::make_unique<quarn::CPDFDict>();
  parms->Insert("Predictor", std::make_unique<quarn::CPDFInt>(kPredictors[data[0] % 10]));
  parms->Insert("Colors", std::make_unique<quarn::CPDFInt>(data[1] % 40));
  parms->Insert("BitsPerComponent", std::make_unique<quarn::CPDFInt>(kBits[data[2] % 6]));
  // Mostly small rows, sometimes a row of billions of samples.
  const int32_t columns = data[3] == 255 ? INT32_MAX : data[3] * (1 + data[4] % 4);
  parms->Insert("Columns", std::make_unique<quarn::CPDFInt>(columns));
  quarn::StrLoad in;
  in.Open(reinterpret_cast<const char*>(data + 5), size - 5);
  quarn::FilterFrame frame("CPDFPredictor", "Decode", nullptr, nullptr, nullptr, in.Size());
  quarn::TempHugeString result;
  try {
    const quarn::PredictorParams params = quarn::PredictorParams::Read(nullptr, parms.get(), frame);
    quarn::FilterOutput out(result, frame, uint64_t(1) << 26);
    if (params.Active()) quarn::CPDFPredictor::DecodeBytes(params, in, frame, out);
    out.Flush();
  } catch (const quarn::CPDFException&) {
  }
  return 0;
}
