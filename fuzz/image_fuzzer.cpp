// The image decoders on arbitrary bytes: DCT on the whole input, CCITT with a coding picked by
// the first two bytes; then the input's bits as a fax image through the CCITT encoder and back,
// which must give them unchanged. QUARN_FUZZ_CODEC=dct or =ccitt keeps a run on one decoder, so that
// each gets the whole of a timed run.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "pdf/object/exception.h"
#include "pdf/object/huge_string.h"
#include "pdf/stream/ccitt_filter.h"
#include "pdf/stream/dct_filter.h"
#include "pdf/stream/filter_frame.h"
#include "pdf/stream/str_load.h"

namespace {

// Small enough that a bomb in the input ends quickly, large enough to be reached.
constexpr uint64_t kFuzzLimit = uint64_t(16) << 20;

template <class Codec>
std::string Run(const std::string& input, uint64_t limit, Codec&& codec) {
  quarn::StrLoad in;
  in.Open(input.data(), input.size());
  quarn::FilterFrame frame("Fuzz", "Run", nullptr, nullptr, nullptr, input.size());
  quarn::TempHugeString result;
  quarn::FilterOutput out(result, frame, limit);
  codec(in, frame, out);
  out.Flush();
  return std::string(result.Data(), result.Length());
}

quarn::CPDFCCITTFaxFilter::Coding CodingOf(uint8_t a, uint8_t b) {
  quarn::CPDFCCITTFaxFilter::Coding coding;
  coding.k = static_cast<int32_t>(a % 3) - 1;
  coding.columns = 1 + (a >> 2) * 13 + b % 7;
  coding.rows = 1 + b;
  coding.blackIs1 = (b & 0x80) != 0;
  coding.endOfLine = (a & 1) != 0;
  coding.byteAlign = (a & 2) != 0;
  return coding;
}

enum class Codecs { kBoth, kDct, kCcitt };

Codecs SelectedCodecs() {
  const char* only = std::getenv("QUARN_FUZZ_CODEC");
  if (!only) return Codecs::kBoth;
  const std::string name(only);
  return name == "dct" ? Codecs::kDct : name == "ccitt" ? Codecs::kCcitt : Codecs::kBoth;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const std::string input(reinterpret_cast<const char*>(data) + 2, size - 2);
  const quarn::CPDFCCITTFaxFilter::Coding coding = CodingOf(data[0], data[1]);
  static const Codecs codecs = SelectedCodecs();
  if (codecs != Codecs::kCcitt) {
    try {
      Run(input, kFuzzLimit, [](auto& in, auto& frame, auto& out) {
        quarn::CPDFDCTFilter::DecodeBytes(in, frame, out);
      });
    } catch (const quarn::CPDFException&) {
      // Malformed data is expected to fail; only crashes and leaks count.
    }
  }
  if (codecs == Codecs::kDct) return 0;
  try {
    Run(input, kFuzzLimit, [&](auto& in, auto& frame, auto& out) {
      quarn::CPDFCCITTFaxFilter::DecodeBytes(coding, in, frame, out);
    });
  } catch (const quarn::CPDFException&) {
  }
  // The input as rows of the coding's width, the bits past the last column cleared.
  quarn::CPDFCCITTFaxFilter::Coding rows = coding;
  const size_t rowBytes = (static_cast<size_t>(rows.columns) + 7) / 8;
  rows.rows = static_cast<int32_t>(input.size() / rowBytes);
  if (rows.rows == 0) return 0;
  std::string image = input.substr(0, rowBytes * static_cast<size_t>(rows.rows));
  const int spare = static_cast<int>(rowBytes * 8) - rows.columns;
  for (size_t end = rowBytes; end <= image.size(); end += rowBytes) {
    image[end - 1] = static_cast<char>(image[end - 1] & (0xFF << spare));
  }
  rows.endOfLine = rows.k >= 0;
  rows.byteAlign = false;
  const std::string encoded = Run(image, quarn::FilterOutput::kNoLimit, [&](auto& in, auto& frame, auto& out) {
    quarn::CPDFCCITTFaxFilter::EncodeBytes(rows, in, frame, out);
  });
  const std::string decoded = Run(encoded, quarn::FilterOutput::kNoLimit, [&](auto& in, auto& frame, auto& out) {
    quarn::CPDFCCITTFaxFilter::DecodeBytes(rows, in, frame, out);
  });
  if (decoded != image) std::abort();
  return 0;
}
