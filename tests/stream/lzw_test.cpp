// LZW decoding: the example of the PDF reference, round trips through an encoder written here
// (with and without early change, past a full table), damaged and cut-off data, and "LZWDecode"
// in a stream's filter chain with "EarlyChange" and a predictor.
#include <gtest/gtest.h>

#include <map>

#include "pdf/stream/lzw_filter.h"
#include "support/filters.h"
#include "support/values.h"

namespace quarn {
namespace {

using test::Bytes;
using test::DataOf;
using test::RandomData;
using test::RunCodec;
using test::StreamWith;

// An LZW encoder as TIFF and PDF writers make it: a clear code first, codes most significant
// bit first, widths of 9 to 12 bits growing one code early with `early`, a clear code whenever
// the table is full, the end-of-data code last.
std::string Encode(const std::string& data, bool early) {
  std::string out;
  uint32_t bits = 0;
  int count = 0;
  int width = 9;
  auto put = [&](unsigned code) {
    bits = (bits << width) | code;
    count += width;
    while (count >= 8) {
      count -= 8;
      out.push_back(static_cast<char>(bits >> count));
    }
    bits &= (1u << count) - 1;
  };
  std::map<std::string, unsigned> table;
  unsigned next = 258;
  auto reset = [&] {
    table.clear();
    for (unsigned c = 0; c < 256; ++c) table[std::string(1, static_cast<char>(c))] = c;
    next = 258;
  };
  reset();
  put(256);
  std::string current;
  for (char c : data) {
    const std::string longer = current + c;
    if (table.count(longer)) {
      current = longer;
      continue;
    }
    put(table[current]);
    table[longer] = next++;
    if (next + (early ? 1 : 0) > (1u << width) && width < 12) ++width;
    if (next == 4096 - (early ? 1 : 0)) {
      put(256);
      reset();
      width = 9;
    }
    current = std::string(1, c);
  }
  if (!current.empty()) put(table[current]);
  put(257);
  if (count) out.push_back(static_cast<char>(bits << (8 - count)));
  return out;
}

TEST(LZWDecode, TheExampleOfThePDFReference) {
  // "-----A---B" encoded with early change: 80 0B 60 50 22 0C 0C 85 01.
  const std::string encoded = Bytes({0x80, 0x0B, 0x60, 0x50, 0x22, 0x0C, 0x0C, 0x85, 0x01});
  EXPECT_EQ(RunCodec(&CPDFLZWFilter::DecodeBytes, encoded), "-----A---B");
}

TEST(LZWDecode, RoundTripsWithAndWithoutEarlyChange) {
  for (const bool early : {true, false}) {
    for (const size_t size : {size_t(1), size_t(300), size_t(5000), size_t(200000)}) {
      const std::string data = RandomData(size, static_cast<uint32_t>(size), true);
      const ByteCodec codec = early ? &CPDFLZWFilter::DecodeBytes : &CPDFLZWFilter::DecodeBytesLate;
      EXPECT_EQ(RunCodec(codec, Encode(data, early)), data) << size << " bytes, early " << early;
    }
  }
}

TEST(LZWDecode, TheCodeBeingDefinedIsDecoded) {
  // "aaaa" makes the encoder send a code in the very step that defines it.
  EXPECT_EQ(RunCodec(&CPDFLZWFilter::DecodeBytes, Encode("aaaaaaaaaa", true)), "aaaaaaaaaa");
}

TEST(LZWDecode, DataEndsAtTheEndCodeOrTheEndOfTheInput) {
  const std::string encoded = Encode("hello hello hello", true);
  EXPECT_EQ(RunCodec(&CPDFLZWFilter::DecodeBytes, encoded + "junk after the end"),
            "hello hello hello");
  // Cut off: what was decoded stays.
  const std::string cut = RunCodec(&CPDFLZWFilter::DecodeBytes, encoded.substr(0, 8));
  EXPECT_FALSE(cut.empty());
  EXPECT_EQ(std::string("hello hello hello").rfind(cut, 0), 0u);
  EXPECT_EQ(RunCodec(&CPDFLZWFilter::DecodeBytes, ""), "");
}

TEST(LZWDecode, ACodeThatCannotOccurEndsTheData) {
  // After the clear code, 9-bit code 300 names nothing yet: the data ends there.
  const uint32_t code = (256u << 9) | 300u;
  const std::string bad = Bytes({static_cast<int>(code >> 10), static_cast<int>((code >> 2) & 0xFF),
                                 static_cast<int>((code & 3) << 6)});
  EXPECT_EQ(RunCodec(&CPDFLZWFilter::DecodeBytes, bad), "");
  // "A" then code 400 (beyond the next free code 258): "A" stays.
  std::string later;
  {
    // 256, 65, 400 as 9-bit codes.
    uint32_t bits = (256u << 18) | (65u << 9) | 400u;
    later = Bytes({static_cast<int>(bits >> 19), static_cast<int>((bits >> 11) & 0xFF),
                   static_cast<int>((bits >> 3) & 0xFF), static_cast<int>((bits & 7) << 5)});
  }
  EXPECT_EQ(RunCodec(&CPDFLZWFilter::DecodeBytes, later), "A");
}

TEST(LZWDecode, TheDecodedSizeCapHolds) {
  const std::string data(100000, 'z');
  const CPDFException e = test::CodecError(&CPDFLZWFilter::DecodeBytes, Encode(data, true), 1000);
  EXPECT_EQ(e.Code(), kInvalidFormat);
  EXPECT_EQ(e.Message(), "decoded data too large: more than 1000 bytes");
}

TEST(LZWDecode, EarlyChangeComesFromTheParameters) {
  auto parms = std::make_unique<CPDFDict>();
  EXPECT_TRUE(CPDFLZWFilter::EarlyChangeOf(nullptr, nullptr));
  EXPECT_TRUE(CPDFLZWFilter::EarlyChangeOf(nullptr, parms.get()));
  parms->Insert("EarlyChange", std::make_unique<CPDFInt>(0));
  EXPECT_FALSE(CPDFLZWFilter::EarlyChangeOf(nullptr, parms.get()));
  parms->Insert("EarlyChange", std::make_unique<CPDFInt>(1));
  EXPECT_TRUE(CPDFLZWFilter::EarlyChangeOf(nullptr, parms.get()));
}

TEST(LZWChain, LZWDecodeInAStreamHonoursEarlyChange) {
  const std::string data = RandomData(20000, 4, true);
  for (const bool early : {true, false}) {
    auto stream = StreamWith(Encode(data, early));
    stream->Set_Filter(std::make_unique<CPDFName>("LZWDecode"));
    if (!early) {
      auto parms = std::make_unique<CPDFDict>();
      parms->Insert("EarlyChange", std::make_unique<CPDFInt>(0));
      stream->Set_DecodeParms(std::move(parms));
    }
    CPDFErrorRecord error;
    ASSERT_TRUE(stream->DecodeAllFilter(error)) << error.Message();
    EXPECT_EQ(DataOf(*stream), data);
    EXPECT_EQ(stream->Lookup("Filter"), nullptr);
  }
}

TEST(LZWChain, LZWWithATIFFPredictor) {
  // Samples 1 2 3 4 / 5 6 7 8 differenced per row become 1 1 1 1 / 5 1 1 1.
  auto stream = StreamWith(Encode(std::string("\x01\x01\x01\x01\x05\x01\x01\x01", 8), true));
  stream->Set_Filter(std::make_unique<CPDFName>("LZWDecode"));
  auto parms = std::make_unique<CPDFDict>();
  parms->Insert("Predictor", std::make_unique<CPDFInt>(2));
  parms->Insert("Columns", std::make_unique<CPDFInt>(4));
  stream->Set_DecodeParms(std::move(parms));
  CPDFErrorRecord error;
  ASSERT_TRUE(stream->DecodeAllFilter(error)) << error.Message();
  EXPECT_EQ(DataOf(*stream), std::string("\x01\x02\x03\x04\x05\x06\x07\x08", 8));
}

}  // namespace
}  // namespace quarn
