// The PNG (10-15) and TIFF (2) predictors: each PNG row filter, TIFF differencing at 1, 2, 4, 8
// and 16 bits, rows cut short by the data, rows far longer than the data, bad parameters, and
// the predictor stage of the "FlateDecode" and "LZWDecode" filter chain.
#include "pdf/stream/predictor.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "pdf/object/limits.h"
#include "pdf/stream/flate_filter.h"
#include "support/filters.h"
#include "support/values.h"

namespace quarn {
namespace {

using test::DataOf;
using test::RandomData;
using test::StreamWith;

std::unique_ptr<CPDFDict> Parms(int predictor, int colors = 1, int bits = 8, int columns = 1) {
  auto parms = std::make_unique<CPDFDict>();
  parms->Insert("Predictor", std::make_unique<CPDFInt>(predictor));
  parms->Insert("Colors", std::make_unique<CPDFInt>(colors));
  parms->Insert("BitsPerComponent", std::make_unique<CPDFInt>(bits));
  parms->Insert("Columns", std::make_unique<CPDFInt>(columns));
  return parms;
}

std::string Undo(const std::string& data, const CPDFDict& parms) {
  StrLoad in;
  in.Open(data.data(), data.size());
  FilterFrame frame("Test", "Decode", nullptr, nullptr, nullptr, data.size());
  const PredictorParams params =
      PredictorParams::Read(nullptr, const_cast<CPDFDict*>(&parms), frame);
  TempHugeString result;
  FilterOutput out(result, frame);
  CPDFPredictor::DecodeBytes(params, in, frame, out);
  out.Flush();
  return std::string(result.Data(), result.Length());
}

std::string UndoError(const std::string& data, const CPDFDict& parms) {
  try {
    Undo(data, parms);
  } catch (const CPDFException& e) {
    EXPECT_EQ(e.Code(), kInvalidFormat);
    return e.Message();
  }
  return "";
}

int PaethOf(int a, int b, int c) {
  const int p = a + b - c;
  const int pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
  if (pa <= pb && pa <= pc) return a;
  return pb <= pc ? b : c;
}

// PNG prediction written out independently of the decoder: every row with filter `tag`.
std::string PredictPNG(const std::string& data, size_t rowBytes, size_t bpp, int tag) {
  std::string out;
  std::string prior(rowBytes, '\0');
  for (size_t at = 0; at < data.size(); at += rowBytes) {
    const std::string row = data.substr(at, rowBytes);
    out.push_back(static_cast<char>(tag));
    for (size_t i = 0; i < row.size(); ++i) {
      const int x = static_cast<unsigned char>(row[i]);
      const int a = i >= bpp ? static_cast<unsigned char>(row[i - bpp]) : 0;
      const int b = static_cast<unsigned char>(prior[i]);
      const int c = i >= bpp ? static_cast<unsigned char>(prior[i - bpp]) : 0;
      const int predicted[] = {0, a, b, (a + b) / 2, PaethOf(a, b, c)};
      out.push_back(static_cast<char>(x - predicted[tag]));
    }
    prior = row;
    prior.resize(rowBytes, '\0');
  }
  return out;
}

// TIFF differencing of `bits`-wide samples, `colors` per pixel, rows of `columns` pixels.
std::string PredictTIFF(const std::string& data, int colors, int bits, int columns) {
  const size_t rowBytes = (static_cast<size_t>(colors * bits * columns) + 7) / 8;
  std::string out = data;
  const unsigned mask = (1u << bits) - 1;
  for (size_t at = 0; at + rowBytes <= data.size(); at += rowBytes) {
    auto sample = [&](const std::string& s, size_t k) -> unsigned {
      if (bits == 16) {
        return static_cast<unsigned char>(s[at + 2 * k]) << 8 |
               static_cast<unsigned char>(s[at + 2 * k + 1]);
      }
      const size_t bit = k * static_cast<size_t>(bits);
      return (static_cast<unsigned char>(s[at + bit / 8]) >> (8 - bits - bit % 8)) & mask;
    };
    auto set = [&](size_t k, unsigned v) {
      if (bits == 16) {
        out[at + 2 * k] = static_cast<char>(v >> 8);
        out[at + 2 * k + 1] = static_cast<char>(v);
        return;
      }
      const size_t bit = k * static_cast<size_t>(bits);
      const unsigned shift = 8 - static_cast<unsigned>(bits) - bit % 8;
      auto& byte = reinterpret_cast<unsigned char&>(out[at + bit / 8]);
      byte = static_cast<unsigned char>((byte & ~(mask << shift)) | ((v & mask) << shift));
    };
    for (size_t k = static_cast<size_t>(colors * columns); k-- > static_cast<size_t>(colors);) {
      set(k, (sample(data, k) - sample(data, k - static_cast<size_t>(colors))) & mask);
    }
  }
  return out;
}

TEST(PNGPredictor, EveryRowFilterIsUndone) {
  const std::string data = RandomData(3 * 5 * 40, 7);
  for (int tag = 0; tag <= 4; ++tag) {
    for (int predictor = 10; predictor <= 15; ++predictor) {
      // 3 colours of 8 bits: 3 bytes a pixel, 5 pixels a row.
      const std::string predicted = PredictPNG(data, 15, 3, tag);
      EXPECT_EQ(Undo(predicted, *Parms(predictor, 3, 8, 5)), data)
          << "tag " << tag << ", predictor " << predictor;
    }
  }
}

TEST(PNGPredictor, RowsMayUseDifferentFilters) {
  const std::string data = RandomData(4 * 10, 3);
  std::string mixed;
  for (int row = 0; row < 10; ++row) {
    // Each row predicted on its own needs the decoded row above: build from whole prediction.
    const std::string whole = PredictPNG(data, 4, 1, row % 5);
    mixed += whole.substr(static_cast<size_t>(row) * 5, 5);
  }
  EXPECT_EQ(Undo(mixed, *Parms(12, 1, 8, 4)), data);
}

TEST(PNGPredictor, SubBytePixelsLookBackOneByte) {
  // 1-bit samples: a pixel is less than a byte, so Sub looks back one whole byte.
  const std::string data = RandomData(3 * 8, 11);
  EXPECT_EQ(Undo(PredictPNG(data, 3, 1, 1), *Parms(11, 1, 1, 24)), data);
}

TEST(PNGPredictor, ALastRowCutShortIsUndoneAsFarAsItGoes) {
  const std::string data = RandomData(4 * 6 + 3, 5);
  const std::string predicted = PredictPNG(data, 4, 1, 2);
  EXPECT_EQ(Undo(predicted, *Parms(12, 1, 8, 4)), data);
  // A tag byte alone at the end adds nothing.
  EXPECT_EQ(Undo(PredictPNG(data.substr(0, 8), 4, 1, 2) + "\x02", *Parms(12, 1, 8, 4)),
            data.substr(0, 8));
}

TEST(PNGPredictor, RowsLongerThanTheDataTakeNoMoreMemoryThanIt) {
  // "Columns" of two billion: the one row there is is cut short and undone.
  const std::string data = "abcdefgh";
  EXPECT_EQ(Undo(PredictPNG(data, 8, 4, 4), *Parms(15, 4, 8, 2147483647)), data);
  EXPECT_EQ(Undo(std::string("\x00", 1), *Parms(15, 32, 16, 2147483647)), "");
}

TEST(PNGPredictor, ARowPastTheBoundIsRefusedOnceTheDataReachesIt) {
  // 100 million pixels of 32 colourants at 16 bits: a row of 6.4 GB. The data up to the bound
  // is one row cut short; one byte more and the row is refused.
  const auto parms = Parms(12, 32, 16, 100000000);
  const auto bound = static_cast<size_t>(limits::kMaxPredictorRowBytes);
  EXPECT_EQ(Undo(std::string(1 + bound, '\0'), *parms).size(), bound);
  EXPECT_EQ(UndoError(std::string(2 + bound, '\0'), *parms), "invalid Columns: 100000000");
  // TIFF rows likewise.
  EXPECT_EQ(UndoError(std::string(1 + bound, '\0'), *Parms(2, 32, 16, 100000000)),
            "invalid Columns: 100000000");
}

TEST(PNGPredictor, AnUnknownRowTagFails) {
  EXPECT_EQ(UndoError(std::string("\x07"
                                  "abcd",
                                  5),
                      *Parms(10, 1, 8, 4)),
            "invalid predictor row tag: 7");
}

TEST(TIFFPredictor, DifferencingIsUndoneAtEveryWidth) {
  for (const int bits : {1, 2, 4, 8, 16}) {
    for (const int colors : {1, 3}) {
      const int columns = 7;
      const size_t rowBytes = (static_cast<size_t>(colors * bits * columns) + 7) / 8;
      const std::string data = RandomData(rowBytes * 9, static_cast<uint32_t>(bits * colors));
      // Bits past the last sample of a row stay as they are; the test data keeps them 0.
      std::string clean = data;
      const size_t usedBits = static_cast<size_t>(colors * bits * columns);
      if (usedBits % 8) {
        for (size_t row = 0; row < 9; ++row) {
          auto& last = reinterpret_cast<unsigned char&>(clean[row * rowBytes + rowBytes - 1]);
          last = static_cast<unsigned char>(last & (0xFF << (8 - usedBits % 8)));
        }
      }
      EXPECT_EQ(Undo(PredictTIFF(clean, colors, bits, columns), *Parms(2, colors, bits, columns)),
                clean)
          << bits << " bits, " << colors << " colours";
    }
  }
}

TEST(TIFFPredictor, ALastRowCutShortIsUndoneAsFarAsItGoes) {
  EXPECT_EQ(Undo(std::string("\x01\x01\x01\x01\x05\x01", 6), *Parms(2, 1, 8, 4)),
            std::string("\x01\x02\x03\x04\x05\x06", 6));
}

TEST(PredictorParams, DefaultsAndNoPrediction) {
  FilterFrame frame("Test", "Decode", nullptr, nullptr, nullptr, 0);
  const PredictorParams none = PredictorParams::Read(nullptr, nullptr, frame);
  EXPECT_FALSE(none.Active());
  auto one = std::make_unique<CPDFDict>();
  one->Insert("Predictor", std::make_unique<CPDFInt>(1));
  EXPECT_FALSE(PredictorParams::Read(nullptr, one.get(), frame).Active());
  auto png = std::make_unique<CPDFDict>();
  png->Insert("Predictor", std::make_unique<CPDFInt>(12));
  const PredictorParams p = PredictorParams::Read(nullptr, png.get(), frame);
  EXPECT_TRUE(p.IsPNG());
  EXPECT_EQ(p.colors, 1);
  EXPECT_EQ(p.bitsPerComponent, 8);
  EXPECT_EQ(p.columns, 1);
  EXPECT_EQ(p.RowBytes(), 1u);
}

TEST(PredictorParams, ValuesNoPredictorCanUseFail) {
  EXPECT_EQ(UndoError("abc", *Parms(3)), "unknown predictor: 3");
  EXPECT_EQ(UndoError("abc", *Parms(16)), "unknown predictor: 16");
  EXPECT_EQ(UndoError("abc", *Parms(12, 0)), "invalid Colors: 0");
  EXPECT_EQ(UndoError("abc", *Parms(12, 33)), "invalid Colors: 33");
  EXPECT_EQ(UndoError("abc", *Parms(12, 1, 3)), "invalid BitsPerComponent: 3");
  EXPECT_EQ(UndoError("abc", *Parms(2, 1, 8, 0)), "invalid Columns: 0");
}

// ---- the filter chain ---------------------------------------------------------------------------

TEST(PredictorChain, FlateWithAPNGPredictorComesBackAsTheSamples) {
  const std::string samples = RandomData(6 * 50, 21);
  auto stream = StreamWith(PredictPNG(samples, 6, 3, 4));
  CPDFErrorRecord error;
  ASSERT_TRUE(stream->EncodeFlateFilter(error));
  stream->Set_DecodeParms(Parms(14, 3, 8, 2));
  ASSERT_TRUE(stream->DecodeAllFilter(error)) << error.Message();
  EXPECT_EQ(DataOf(*stream), samples);
  EXPECT_EQ(stream->Lookup("DecodeParms"), nullptr);
}

TEST(PredictorChain, ParametersGoWithTheirFilterInAnArray) {
  // [ASCIIHex Flate] with [null <<predictor>>]: the predictor belongs to Flate only.
  const std::string samples = RandomData(40, 2);
  auto stream = StreamWith(PredictTIFF(samples, 1, 8, 8));
  CPDFErrorRecord error;
  ASSERT_TRUE(stream->EncodeFlateFilter(error));
  ASSERT_TRUE(stream->EncodeASCIIHexFilter(error));
  auto parms = std::make_unique<CPDFArray>();
  parms->Push_Back(std::make_unique<CPDFNull>());
  parms->Push_Back(Parms(2, 1, 8, 8));
  stream->Set_DecodeParms(std::move(parms));
  ASSERT_TRUE(stream->DecodeAllFilter(error)) << error.Message();
  EXPECT_EQ(DataOf(*stream), samples);
}

TEST(PredictorChain, DecodeFilterAndTheFlateDecoderUseTheParameters) {
  const std::string samples = RandomData(30, 9);
  auto parms = Parms(12, 1, 8, 10);
  for (int way = 0; way < 2; ++way) {
    auto stream = StreamWith(PredictPNG(samples, 10, 1, 2));
    CPDFErrorRecord error;
    ASSERT_TRUE(stream->EncodeFlateFilter(error));
    stream->RemoveValue(nullptr, "Filter");
    const bool ok = way == 0 ? stream->DecodeFilter(CPDFName("FlateDecode"), parms.get(), error)
                             : CPDFFlateFilter::Decode(*stream, parms.get(), error);
    ASSERT_TRUE(ok) << error.Message();
    EXPECT_EQ(DataOf(*stream), samples);
  }
}

TEST(PredictorChain, ABadPredictorLeavesTheStreamAsItWas) {
  auto stream = StreamWith("abcdef");
  CPDFErrorRecord error;
  ASSERT_TRUE(stream->EncodeFlateFilter(error));
  const std::string encoded = DataOf(*stream);
  stream->Set_DecodeParms(Parms(9));
  EXPECT_FALSE(stream->DecodeAllFilter(error));
  EXPECT_EQ(error.Module(), "CPDFFlateFilter");
  EXPECT_EQ(error.Method(), "Decode");
  EXPECT_EQ(error.Message(), "unknown predictor: 9");
  EXPECT_EQ(DataOf(*stream), encoded);
  EXPECT_NE(stream->Lookup("Filter"), nullptr);
}

}  // namespace
}  // namespace quarn
