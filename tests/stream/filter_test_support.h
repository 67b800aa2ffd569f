// Helpers of the filter tests: running a codec on bytes, streams made from bytes, and random
// data of a given size.
#pragma once

#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "pdf/object/exception.h"
#include "pdf/stream/filter_frame.h"
#include "pdf/object/huge_string.h"
#include "pdf/stream/str_load.h"
#include "pdf/stream/stream.h"

namespace quarn::test {

// Runs a byte codec over `input` and returns its output; throws what the codec throws.
inline std::string RunCodec(ByteCodec codec, const std::string& input,
                            uint64_t limit = FilterOutput::kNoLimit) {
  StrLoad in;
  in.Open(input.data(), input.size());
  FilterFrame frame("Codec", "Run", nullptr, nullptr, nullptr, input.size());
  TempHugeString result;
  FilterOutput out(result, frame, limit);
  codec(in, frame, out);
  out.Flush();
  return std::string(result.Data(), result.Length());
}

// The error a codec raises on `input` (code 0 when it raised none).
inline CPDFException CodecError(ByteCodec codec, const std::string& input,
                                uint64_t limit = FilterOutput::kNoLimit) {
  try {
    RunCodec(codec, input, limit);
  } catch (const CPDFException& e) {
    return e;
  }
  return CPDFException();
}

inline std::string Bytes(std::initializer_list<int> values) {
  std::string s;
  for (int v : values) s.push_back(static_cast<char>(v));
  return s;
}

// Random bytes; `runs` mixes in runs of equal bytes so that run-length coding has work.
inline std::string RandomData(size_t size, uint32_t seed, bool runs = false) {
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

inline std::unique_ptr<CPDFStream> StreamWith(const std::string& data) {
  auto stream = std::make_unique<CPDFStream>(nullptr);
  if (!data.empty()) stream->SetData(data.data(), data.size());
  return stream;
}

inline std::string DataOf(CPDFStream& stream) {
  const char* data = stream.Data();
  return data ? std::string(data, stream.DataLength()) : std::string();
}

// Names of the entries of an array (empty text for an element that is not a name).
inline std::vector<std::string> NamesOf(CPDFObject* value) {
  std::vector<std::string> names;
  CPDFArray* array = AsArray(value);
  if (!array) return names;
  for (size_t i = 0; i < array->Count(); ++i) {
    CPDFName* name = AsName(array->GetObj(nullptr, static_cast<int>(i)));
    names.push_back(name ? name->Str() : std::string());
  }
  return names;
}

// Watches one filter call through the range record's user pointer: answers the cancel query
// with yes from block `cancelFrom` on (counted from 0) and records every progress value.
struct FilterWatch {
  int cancelFrom = INT32_MAX;
  int asked = 0;
  std::vector<int32_t> progress;

  CPDFProgressRange Range(int32_t begin, int32_t end) {
    return CPDFProgressRange{begin, end, this};
  }
  static void Cancel(bool* cancel, void* user) {
    auto* self = static_cast<FilterWatch*>(user);
    *cancel = self->asked++ >= self->cancelFrom;
  }
  static void Progress(int32_t position, void* user) {
    static_cast<FilterWatch*>(user)->progress.push_back(position);
  }
};

}  // namespace quarn::test
