#include "support/filters.h"

#include <algorithm>
#include <random>

#include "pdf/object/huge_string.h"
#include "pdf/stream/str_load.h"

namespace quarn::test {

std::string RunCodec(ByteCodec codec, const std::string& input, uint64_t limit) {
  StrLoad in;
  in.Open(input.data(), input.size());
  FilterFrame frame("Codec", "Run", nullptr, nullptr, nullptr, input.size());
  TempHugeString result;
  FilterOutput out(result, frame, limit);
  codec(in, frame, out);
  out.Flush();
  return std::string(result.Data(), result.Length());
}

CPDFException CodecError(ByteCodec codec, const std::string& input, uint64_t limit) {
  try {
    RunCodec(codec, input, limit);
  } catch (const CPDFException& e) {
    return e;
  }
  return CPDFException();
}

std::string RandomData(size_t size, uint32_t seed, bool runs) {
  std::mt19937 gen(seed);
  std::string data;
  data.reserve(size);
  while (data.size() < size) {
    const auto byte = static_cast<char>(gen() & 0xFF);
    size_t count = 1;
    if (runs && (gen() & 3) == 0) count = 1 + gen() % 300;
    count = std::min(count, size - data.size());
    data.append(count, byte);
  }
  return data;
}

std::unique_ptr<CPDFStream> StreamWith(const std::string& data) {
  auto stream = std::make_unique<CPDFStream>(nullptr);
  if (!data.empty()) stream->SetData(data.data(), data.size());
  return stream;
}

std::string DataOf(CPDFStream& stream) {
  const char* data = stream.Data();
  return data ? std::string(data, stream.DataLength()) : std::string();
}

std::vector<std::string> NamesOf(CPDFObject* value) {
  std::vector<std::string> names;
  CPDFArray* array = AsArray(value);
  if (!array) return names;
  for (size_t i = 0; i < array->Count(); ++i) {
    CPDFName* name = AsName(array->GetObj(nullptr, static_cast<int>(i)));
    names.push_back(name ? name->Str() : std::string());
  }
  return names;
}

}  // namespace quarn::test
