// The Flate codecs keep one zlib state per thread between streams: whatever the stream before
// did (finished, failed half-way, or ran a codec from its own callback), the next one gives the
// same bytes as a fresh state.
#include <gtest/gtest.h>
#include <zlib.h>

#include <string>
#include <thread>
#include <vector>

#include "pdf/stream/flate_filter.h"
#include "support/filters.h"
#include "support/values.h"
#include "support/pdf_builder.h"

namespace quarn {
namespace {

using test::RandomData;
using test::RunCodec;

std::string Encode(const std::string& s) { return RunCodec(&CPDFFlateFilter::EncodeBytes, s); }
std::string Decode(const std::string& s) { return RunCodec(&CPDFFlateFilter::DecodeBytes, s); }

std::string PageText(int page) {
  std::string text = "q BT /F1 9 Tf 297.5 14 Td (" + std::to_string(page) + ") Tj ET Q\n";
  for (int i = 0; i < page % 7; ++i) text += text;
  return text;
}

TEST(FlateState, ManySmallStreamsInARowMatchAFreshState) {
  for (int page = 1; page <= 300; ++page) {
    const std::string text = PageText(page);
    ASSERT_EQ(Encode(text), test::Deflate(text)) << page;
  }
}

TEST(FlateState, SizesAroundTheOutputWindowMatchAFreshState) {
  // The window is sized from the input: sizes at and around its smallest and largest.
  for (size_t size : {size_t(0), size_t(1), size_t(2015), size_t(2016), size_t(4096),
                      size_t(131040), size_t(131041), size_t(262144), size_t(600000)}) {
    const std::string noise = RandomData(size, static_cast<uint32_t>(size) + 1);
    EXPECT_EQ(Encode(noise), test::Deflate(noise)) << size;
    EXPECT_EQ(Decode(test::Deflate(noise)), noise) << size;
  }
}

TEST(FlateState, AStreamThatFailedHalfWayLeavesNoTrace) {
  const std::string big = RandomData(300000, 11);
  const std::string next = PageText(42);
  // The output limit stops the encoder in the middle of its data.
  EXPECT_THROW(RunCodec(&CPDFFlateFilter::EncodeBytes, big, 1000), CPDFException);
  EXPECT_EQ(Encode(next), test::Deflate(next));
  // The same for the decoder, stopped in the middle of a stream.
  EXPECT_THROW(RunCodec(&CPDFFlateFilter::DecodeBytes, test::Deflate(big), 1000), CPDFException);
  EXPECT_EQ(Decode(test::Deflate(next)), next);
  // Data cut off leaves the decoder mid-stream too.
  const std::string compressed = test::Deflate(big);
  EXPECT_LT(Decode(compressed.substr(0, compressed.size() / 3)).size(), big.size());
  EXPECT_EQ(Decode(test::Deflate(next)), next);
}

// A cancel query that compresses and decompresses other data itself, once, while the outer
// codec is half-way through its stream.
struct NestedCodecs {
  std::string inner = "BT (inner) Tj ET\n";
  std::string innerEncoded;
  std::string innerDecoded;
  bool ran = false;
  static void Query(bool* cancel, void* user) {
    auto* self = static_cast<NestedCodecs*>(user);
    *cancel = false;
    if (self->ran) return;
    self->ran = true;
    self->innerEncoded = Encode(self->inner);
    self->innerDecoded = Decode(test::Deflate(self->inner));
  }
};

std::string RunWithNested(ByteCodec codec, const std::string& input, NestedCodecs& nested) {
  StrLoad in;
  in.Open(input.data(), input.size());
  CPDFProgressRange range{0, 100, &nested};
  FilterFrame frame("Codec", "Run", nullptr, &NestedCodecs::Query, &range, input.size());
  TempHugeString result;
  FilterOutput out(result, frame);
  codec(in, frame, out);
  out.Flush();
  return std::string(result.Data(), result.Length());
}

TEST(FlateState, ACodecRunFromACallbackGetsAStateOfItsOwn) {
  const std::string outer = RandomData(50000, 5, true);
  NestedCodecs whileEncoding;
  EXPECT_EQ(RunWithNested(&CPDFFlateFilter::EncodeBytes, outer, whileEncoding),
            test::Deflate(outer));
  ASSERT_TRUE(whileEncoding.ran);
  EXPECT_EQ(whileEncoding.innerEncoded, test::Deflate(whileEncoding.inner));
  EXPECT_EQ(whileEncoding.innerDecoded, whileEncoding.inner);

  NestedCodecs whileDecoding;
  EXPECT_EQ(RunWithNested(&CPDFFlateFilter::DecodeBytes, test::Deflate(outer), whileDecoding),
            outer);
  ASSERT_TRUE(whileDecoding.ran);
  EXPECT_EQ(whileDecoding.innerEncoded, test::Deflate(whileDecoding.inner));
  EXPECT_EQ(whileDecoding.innerDecoded, whileDecoding.inner);
}

TEST(FlateState, ThreadsDoNotShareAState) {
  std::vector<std::string> results(4);
  std::vector<std::thread> threads;
  for (size_t t = 0; t < results.size(); ++t) {
    threads.emplace_back([t, &results] {
      std::string all;
      for (int page = 1; page <= 50; ++page) {
        const std::string text = PageText(page * static_cast<int>(t + 1));
        all += Encode(text) == test::Deflate(text) && Decode(Encode(text)) == text ? "." : "x";
      }
      results[t] = all;
    });
  }
  for (auto& thread : threads) thread.join();
  for (const std::string& result : results) EXPECT_EQ(result, std::string(50, '.'));
}

}  // namespace
}  // namespace quarn
