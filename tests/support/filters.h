// Filters for the tests: running a codec on bytes, streams made from bytes, random data of a
// given size, and a watcher of one filter call's cancel and progress callbacks.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "pdf/object/exception.h"
#include "pdf/stream/filter_frame.h"
#include "pdf/stream/stream.h"

namespace quarn::test {

// Runs a byte codec over `input` and returns its output; throws what the codec throws.
std::string RunCodec(ByteCodec codec, const std::string& input,
                     uint64_t limit = FilterOutput::kNoLimit);
// The error a codec raises on `input` (code 0 when it raised none).
CPDFException CodecError(ByteCodec codec, const std::string& input,
                         uint64_t limit = FilterOutput::kNoLimit);

// Random bytes; `runs` mixes in runs of equal bytes so that run-length coding has work.
std::string RandomData(size_t size, uint32_t seed, bool runs = false);

// A stream without a document holding `data`.
std::unique_ptr<CPDFStream> StreamWith(const std::string& data);
// The data a stream holds now (empty when it holds none).
std::string DataOf(CPDFStream& stream);
// Names of the entries of an array (empty text for an element that is not a name).
std::vector<std::string> NamesOf(CPDFObject* value);

// Watches one filter call through the range record's user pointer: answers the cancel query
// with yes from block `cancelFrom` on (counted from 0) and records every progress value.
struct FilterWatch {
  int cancelFrom = INT32_MAX;
  int asked = 0;
  std::vector<int32_t> progress;

  CPDFProgressRange Range(int32_t begin, int32_t end) { return CPDFProgressRange{begin, end, this}; }
  static void Cancel(bool* cancel, void* user) {
    auto* self = static_cast<FilterWatch*>(user);
    *cancel = self->asked++ >= self->cancelFrom;
  }
  static void Progress(int32_t position, void* user) {
    static_cast<FilterWatch*>(user)->progress.push_back(position);
  }
};

}  // namespace quarn::test
