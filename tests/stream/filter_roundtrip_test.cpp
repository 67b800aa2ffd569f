// Encoding then decoding gives the data back, through each filter and through chains of two.
#include <gtest/gtest.h>

#include <tuple>
#include "support/filters.h"
#include "support/values.h"


namespace quarn {
namespace {

using test::DataOf;
using test::NamesOf;
using test::RandomData;
using test::StreamWith;

using Encoder = bool (CPDFStream::*)(CPDFErrorRecord&, ProgressProc, CancelProc,
                                     CPDFProgressRange*);
struct Filter {
  const char* name;
  Encoder encode;
};
const Filter kFilters[] = {
    {"ASCIIHexDecode", &CPDFStream::EncodeASCIIHexFilter},
    {"ASCII85Decode", &CPDFStream::EncodeASCII85Filter},
    {"FlateDecode", &CPDFStream::EncodeFlateFilter},
    {"RunLengthDecode", &CPDFStream::EncodeRunLengthFilter},
};
constexpr size_t kTenMegabytes = 10u << 20;

std::string Describe(size_t size) { return "size " + std::to_string(size); }

// Encodes `data` with the filters in order, checks the recorded chain, decodes everything.
void RoundTrip(const std::string& data, const std::vector<Filter>& chain) {
  auto stream = StreamWith(data);
  CPDFErrorRecord error;
  for (const Filter& filter : chain) {
    ASSERT_TRUE(((*stream).*filter.encode)(error, nullptr, nullptr, nullptr)) << error.Message();
  }
  if (!data.empty()) {
    std::vector<std::string> expected;
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) expected.push_back(it->name);
    if (chain.size() == 1) {
      CPDFName* name = AsName(stream->Get_Filter());
      ASSERT_NE(name, nullptr);
      EXPECT_EQ(name->Str(), expected[0]);
    } else {
      EXPECT_EQ(NamesOf(stream->Get_Filter()), expected);
    }
  }
  ASSERT_TRUE(stream->DecodeAllFilter(error)) << error.Message();
  const std::string decoded = DataOf(*stream);
  ASSERT_EQ(decoded.size(), data.size());
  EXPECT_TRUE(decoded == data);
  EXPECT_EQ(stream->Lookup("Filter"), nullptr);
}

class SingleFilterRoundTrip : public ::testing::TestWithParam<std::tuple<size_t, size_t>> {};

TEST_P(SingleFilterRoundTrip, GivesTheDataBack) {
  const auto [filter, size] = GetParam();
  SCOPED_TRACE(kFilters[filter].name);
  SCOPED_TRACE(Describe(size));
  RoundTrip(RandomData(size, static_cast<uint32_t>(size + filter)), {kFilters[filter]});
  RoundTrip(RandomData(size, static_cast<uint32_t>(size + filter), true), {kFilters[filter]});
}

INSTANTIATE_TEST_SUITE_P(AllSizes, SingleFilterRoundTrip,
                         ::testing::Combine(::testing::Range<size_t>(0, 4),
                                            ::testing::Values(0, 1, 4095, 4096, 4097,
                                                              kTenMegabytes)));

class ChainRoundTrip : public ::testing::TestWithParam<std::tuple<size_t, size_t, size_t>> {};

TEST_P(ChainRoundTrip, GivesTheDataBack) {
  const auto [first, second, size] = GetParam();
  SCOPED_TRACE(std::string(kFilters[first].name) + " then " + kFilters[second].name);
  SCOPED_TRACE(Describe(size));
  RoundTrip(RandomData(size, static_cast<uint32_t>(size), true),
            {kFilters[first], kFilters[second]});
}

INSTANTIATE_TEST_SUITE_P(EveryPairSmallSizes, ChainRoundTrip,
                         ::testing::Combine(::testing::Range<size_t>(0, 4),
                                            ::testing::Range<size_t>(0, 4),
                                            ::testing::Values(0, 1, 4095, 4096, 4097)));

// Ten megabytes through pairs that put each filter once on top and once below.
INSTANTIATE_TEST_SUITE_P(TenMegabytes, ChainRoundTrip,
                         ::testing::Values(std::make_tuple(2, 1, kTenMegabytes),
                                           std::make_tuple(3, 0, kTenMegabytes),
                                           std::make_tuple(1, 2, kTenMegabytes),
                                           std::make_tuple(0, 3, kTenMegabytes)));

}  // namespace
}  // namespace quarn
