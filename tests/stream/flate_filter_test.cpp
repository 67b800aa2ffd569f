#include "pdf/stream/flate_filter.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include "pdf/stream/stream.h"
#include "support/filters.h"
#include "support/values.h"

namespace quarn {
namespace {

using test::CodecError;
using test::RandomData;
using test::RunCodec;

std::string Encode(const std::string& s) { return RunCodec(&CPDFFlateFilter::EncodeBytes, s); }
std::string Decode(const std::string& s) { return RunCodec(&CPDFFlateFilter::DecodeBytes, s); }

// Text-like data that compresses well.
std::string Compressible(size_t size) {
  std::string data;
  for (int line = 0; data.size() < size; ++line) {
    data += "BT /F1 12 Tf 72 " + std::to_string(700 - line % 640) + " Td (Line " +
            std::to_string(line) + ") Tj ET\r\n";
  }
  data.resize(size);
  return data;
}

// The reference procedure with 4096-byte input blocks and 4096-byte output buffers, written
// straight on zlib: our larger buffers must give the very same bytes.
std::string ReferenceDeflate(const std::string& data) {
  z_stream z{};
  EXPECT_EQ(deflateInit(&z, Z_DEFAULT_COMPRESSION), Z_OK);
  std::string out;
  unsigned char buffer[4096];
  auto pump = [&](int flush) {
    int rc;
    do {
      z.next_out = buffer;
      z.avail_out = sizeof buffer;
      rc = deflate(&z, flush);
      out.append(reinterpret_cast<char*>(buffer), sizeof buffer - z.avail_out);
    } while (rc == Z_OK);
  };
  for (size_t pos = 0; pos < data.size(); pos += 4096) {
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data() + pos));
    z.avail_in = static_cast<uInt>(std::min<size_t>(4096, data.size() - pos));
    pump(Z_NO_FLUSH);
  }
  pump(Z_FINISH);
  deflateEnd(&z);
  return out;
}

// Compressed bytes of `data` flushed to a byte boundary but not finished.
std::string SyncFlushed(const std::string& data) {
  z_stream z{};
  EXPECT_EQ(deflateInit(&z, Z_DEFAULT_COMPRESSION), Z_OK);
  std::string out(compressBound(data.size()) + 64, '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  z.avail_in = static_cast<uInt>(data.size());
  z.next_out = reinterpret_cast<Bytef*>(out.data());
  z.avail_out = static_cast<uInt>(out.size());
  EXPECT_EQ(deflate(&z, Z_SYNC_FLUSH), Z_OK);
  out.resize(out.size() - z.avail_out);
  deflateEnd(&z);
  return out;
}

TEST(FlateEncode, WritesTheZlibFormatAtTheDefaultLevel) {
  const std::string encoded = Encode(Compressible(100000));
  ASSERT_GE(encoded.size(), 2u);
  const auto cmf = static_cast<unsigned char>(encoded[0]);
  const auto flg = static_cast<unsigned char>(encoded[1]);
  EXPECT_EQ(cmf, 0x78);
  EXPECT_EQ((cmf * 256 + flg) % 31, 0);
  EXPECT_EQ(flg & 0x20, 0);  // no preset dictionary
}

TEST(FlateEncode, SameBytesAsTheSmallBufferProcedure) {
  for (size_t size : {size_t(1), size_t(4095), size_t(4097), size_t(300000)}) {
    const std::string data = Compressible(size);
    EXPECT_EQ(Encode(data), ReferenceDeflate(data)) << size;
  }
  const std::string noise = RandomData(700000, 7);
  EXPECT_EQ(Encode(noise), ReferenceDeflate(noise));
}

TEST(FlateEncode, TheFastLevelLeavesTheThreadsStateAtTheDefault) {
  const std::string data = Compressible(100000);
  CPDFStream stream(nullptr);
  ASSERT_TRUE(stream.SetData(data.data(), data.size()));
  CPDFErrorRecord error;
  ASSERT_TRUE(CPDFFlateFilter::EncodeFast(stream, error)) << error.Message();
  const std::string fast(stream.Data(), stream.DataLength());
  EXPECT_NE(fast, ReferenceDeflate(data));
  EXPECT_EQ(Decode(fast), data);
  EXPECT_EQ(Encode(data), ReferenceDeflate(data));
}

TEST(FlateEncode, PiecesGiveTheBytesOfTheWhole) {
  for (const std::string& data : {std::string(), Compressible(300000), RandomData(70000, 3)}) {
    for (const size_t piece : {size_t(1000), size_t(65536), data.size() + 1}) {
      FlateEncoder encoder;
      for (size_t at = 0; at < data.size(); at += piece) {
        encoder.Write(data.data() + at, std::min(piece, data.size() - at));
      }
      encoder.Write(data.data(), 0);
      EXPECT_EQ(encoder.Finish(), ReferenceDeflate(data)) << data.size() << " " << piece;
    }
  }
}

TEST(FlateDecode, InvertsEncodingAcrossOutputWindowBoundaries) {
  for (size_t size : {size_t(262143), size_t(262144), size_t(262145), size_t(1000000)}) {
    const std::string data = Compressible(size);
    EXPECT_EQ(Decode(Encode(data)), data) << size;
  }
}

TEST(FlateDecode, DataCutShortGivesWhatCouldBeDecoded) {
  const std::string data = Compressible(200000);
  const std::string encoded = Encode(data);
  const std::string decoded = Decode(encoded.substr(0, encoded.size() / 2));
  EXPECT_GT(decoded.size(), 0u);
  EXPECT_LT(decoded.size(), data.size());
  EXPECT_EQ(decoded, data.substr(0, decoded.size()));
}

TEST(FlateDecode, DataErrorKeepsTheBytesDecodedBeforeIt) {
  const std::string data = Compressible(50000);
  // A final block of the reserved type 3 follows the flushed data.
  EXPECT_EQ(Decode(SyncFlushed(data) + "\xff\xff\xff"), data);
  // A bad header decodes to nothing, without an error.
  EXPECT_EQ(CodecError(&CPDFFlateFilter::DecodeBytes, "not compressed").Code(), kNoError);
  EXPECT_EQ(Decode("not compressed"), "");
}

TEST(FlateDecode, InputAfterTheEndOfTheStreamIsIgnored) {
  const std::string data = Compressible(10000);
  EXPECT_EQ(Decode(Encode(data) + "\r\nendstream garbage"), data);
}

TEST(FlateDecode, ASmallStreamWithAFaultyEndKeepsEveryByteDecoded) {
  // Small streams are inflated whole; one whose end is damaged or missing must still give
  // what the stream decoder gives.
  const std::string data = Compressible(3000);
  const std::string encoded = Encode(data);
  std::string wrongCheck = encoded;
  wrongCheck.back() = static_cast<char>(wrongCheck.back() ^ 1);
  for (const std::string& damaged :
       {wrongCheck, encoded.substr(0, encoded.size() - 4), encoded.substr(0, encoded.size() - 1)}) {
    EXPECT_EQ(Decode(damaged), data) << damaged.size();
  }
}

TEST(FlateDecode, StopsPastTheDecodedSizeLimit) {
  const std::string bomb = Encode(std::string(1 << 20, '\0'));
  const CPDFException e = CodecError(&CPDFFlateFilter::DecodeBytes, bomb, 1000);
  EXPECT_EQ(e.Code(), kInvalidFormat);
  EXPECT_EQ(e.Message(), "decoded data too large: more than 1000 bytes");
  // The limit itself is allowed.
  EXPECT_EQ(RunCodec(&CPDFFlateFilter::DecodeBytes, bomb, 1 << 20).size(), size_t(1) << 20);
}

}  // namespace
}  // namespace quarn
