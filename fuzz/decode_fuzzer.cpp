// Every decoder on arbitrary bytes, every encoder's output decoded back, and a stream whose
// "Filter" chain is picked by the first input byte decoded as a whole.
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

#include "pdf/object/exception.h"
#include "pdf/stream/ascii85_filter.h"
#include "pdf/stream/ascii_hex_filter.h"
#include "pdf/stream/filter_frame.h"
#include "pdf/stream/flate_filter.h"
#include "pdf/object/huge_string.h"
#include "pdf/stream/run_length_filter.h"
#include "pdf/stream/str_load.h"
#include "pdf/stream/stream.h"

namespace {

using quarn::ByteCodec;

struct Codec {
  const char* name;
  ByteCodec encode;
  ByteCodec decode;
};
const Codec kCodecs[] = {
    {"ASCIIHexDecode", &quarn::CPDFASCIIHexFilter::EncodeBytes,
     &quarn::CPDFASCIIHexFilter::DecodeBytes},
    {"ASCII85Decode", &quarn::CPDFASCII85Filter::EncodeBytes,
     &quarn::CPDFASCII85Filter::DecodeBytes},
    {"FlateDecode", &quarn::CPDFFlateFilter::EncodeBytes, &quarn::CPDFFlateFilter::DecodeBytes},
    {"RunLengthDecode", &quarn::CPDFRunLengthFilter::EncodeBytes,
     &quarn::CPDFRunLengthFilter::DecodeBytes},
};
// Small enough that a bomb in the input ends quickly, large enough to be reached.
constexpr uint64_t kFuzzLimit = uint64_t(16) << 20;

std::string Run(ByteCodec codec, const std::string& input, uint64_t limit) {
  quarn::StrLoad in;
  in.Open(input.data(), input.size());
  quarn::FilterFrame frame("Fuzz", "Run", nullptr, nullptr, nullptr, input.size());
  quarn::TempHugeString result;
  quarn::FilterOutput out(result, frame, limit);
  codec(in, frame, out);
  out.Flush();
  return std::string(result.Data(), result.Length());
}

void DecodeArbitraryBytes(const std::string& input) {
  for (const Codec& codec : kCodecs) {
    try {
      Run(codec.decode, input, kFuzzLimit);
    } catch (const quarn::CPDFException&) {
      // Malformed data is expected to fail; only crashes and leaks count.
    }
  }
}

void RoundTrip(const std::string& input) {
  for (const Codec& codec : kCodecs) {
    const std::string encoded = Run(codec.encode, input, quarn::FilterOutput::kNoLimit);
    if (Run(codec.decode, encoded, quarn::FilterOutput::kNoLimit) != input) std::abort();
  }
}

// A chain of one or two filters picked by `selector`; a failure must leave the stream as it
// was, a success must remove the chain. (Deeper run-length chains grow by 128 times per layer;
// they are capped by the decoded-size limit, which a fuzzer should not spend its time filling.)
void DecodeChain(uint8_t selector, const std::string& input) {
  quarn::CPDFStream stream(nullptr);
  stream.SetData(input.data(), input.size());
  auto names = std::make_unique<quarn::CPDFArray>();
  const int count = (selector & 1) + 1;
  for (int i = 0; i < count; ++i) {
    names->Push_Back(
        std::make_unique<quarn::CPDFName>(kCodecs[(selector >> (1 + 2 * i)) & 3].name));
  }
  stream.Set_Filter(std::move(names));
  quarn::CPDFErrorRecord error;
  if (stream.DecodeAllFilter(error)) {
    if (stream.Lookup("Filter") || error.IsError()) std::abort();
  } else {
    const std::string after(stream.Data() ? stream.Data() : "", stream.DataLength());
    if (after != input || !stream.Lookup("Filter") || !error.IsError()) std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const std::string input(reinterpret_cast<const char*>(data) + 1, size - 1);
  DecodeArbitraryBytes(input);
  RoundTrip(input);
  DecodeChain(data[0], input);
  return 0;
}
