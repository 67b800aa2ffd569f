// The stream's filter chain: DecodeAllFilter, DecodeFilter and the encoders, their errors,
// cancellation and progress.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>

#include "pdf/object/limits.h"
#include "platform/source_file.h"
#include "support/filters.h"
#include "support/values.h"

namespace quarn {
namespace {

using test::DataOf;
using test::FilterWatch;
using test::NamesOf;
using test::RandomData;
using test::StreamWith;

// A stream holding `data` encoded with the given encoders, applied in order.
using Encoder = bool (CPDFStream::*)(CPDFErrorRecord&, ProgressProc, CancelProc,
                                     CPDFProgressRange*);
std::unique_ptr<CPDFStream> Encoded(const std::string& data,
                                    std::initializer_list<Encoder> encoders) {
  auto stream = StreamWith(data);
  for (Encoder encode : encoders) {
    CPDFErrorRecord error;
    EXPECT_TRUE(((*stream).*encode)(error, nullptr, nullptr, nullptr)) << error.Message();
  }
  return stream;
}

void ExpectError(const CPDFErrorRecord& error, const char* module, const char* method, int code,
                 const std::string& message) {
  EXPECT_EQ(error.Module(), module);
  EXPECT_EQ(error.Method(), method);
  EXPECT_EQ(error.Code(), code);
  EXPECT_EQ(error.Message(), message);
}

int LengthOf(CPDFStream& stream) {
  CPDFNumber* length = AsNumber(stream.Get_Length());
  return length ? length->IntValue() : -1;
}

TEST(DecodeAllFilter, FlateStreamEncodedFurtherWithASCII85) {
  const std::string data = RandomData(20000, 1, true);
  auto stream = Encoded(data, {&CPDFStream::EncodeFlateFilter, &CPDFStream::EncodeASCII85Filter});
  EXPECT_EQ(NamesOf(stream->Get_Filter()),
            (std::vector<std::string>{"ASCII85Decode", "FlateDecode"}));
  CPDFErrorRecord error;
  ASSERT_TRUE(stream->DecodeAllFilter(error)) << error.Message();
  EXPECT_EQ(DataOf(*stream), data);
  EXPECT_EQ(stream->Lookup("Filter"), nullptr);
  EXPECT_EQ(stream->Lookup("DecodeParms"), nullptr);
  EXPECT_EQ(LengthOf(*stream), 20000);
}

TEST(DecodeAllFilter, SingleNameAndEmptyArray) {
  auto stream = Encoded("hello", {&CPDFStream::EncodeRunLengthFilter});
  CPDFErrorRecord error;
  ASSERT_TRUE(stream->DecodeAllFilter(error));
  EXPECT_EQ(DataOf(*stream), "hello");

  stream->Set_Filter(std::make_unique<CPDFArray>());
  ASSERT_TRUE(stream->DecodeAllFilter(error));
  EXPECT_EQ(DataOf(*stream), "hello");
  EXPECT_EQ(stream->Lookup("Filter"), nullptr);
}

TEST(DecodeAllFilter, NoFilterChangesNothing) {
  auto stream = StreamWith("plain");
  const size_t entries = stream->Count();
  CPDFErrorRecord error;
  EXPECT_TRUE(stream->DecodeAllFilter(error));
  EXPECT_EQ(DataOf(*stream), "plain");
  EXPECT_EQ(stream->Count(), entries);
}

TEST(DecodeAllFilter, FilterOfAnotherTypeFailsTypecheck) {
  auto stream = StreamWith("x");
  stream->Set_Filter(std::make_unique<CPDFInt>(1));
  CPDFErrorRecord error;
  EXPECT_FALSE(stream->DecodeAllFilter(error));
  ExpectError(error, "CPDFStream", "DecodeAllFilter", kInvalidFormat, "typecheck: Integer");
}

TEST(DecodeAllFilter, ParametersBesideAnArrayMustBeAnArray) {
  auto stream = Encoded("x", {&CPDFStream::EncodeASCIIHexFilter});
  auto names = std::make_unique<CPDFArray>();
  names->Push_Back(std::make_unique<CPDFName>("ASCIIHexDecode"));
  stream->Set_Filter(std::move(names));
  stream->Set_DecodeParms(std::make_unique<CPDFDict>());
  CPDFErrorRecord error;
  EXPECT_FALSE(stream->DecodeAllFilter(error));
  ExpectError(error, "CPDFStream", "DecodeAllFilter", kInvalidFormat, "typecheck: Dictionary");
  EXPECT_EQ(DataOf(*stream), "78>");
}

TEST(DecodeAllFilter, ElementThatIsNotANameFailsTypecheck) {
  auto stream = StreamWith("x");
  auto names = std::make_unique<CPDFArray>();
  names->Push_Back(std::make_unique<CPDFString>("FlateDecode"));
  stream->Set_Filter(std::move(names));
  CPDFErrorRecord error;
  EXPECT_FALSE(stream->DecodeAllFilter(error));
  EXPECT_EQ(error.Message(), "typecheck: String");
}

TEST(DecodeAllFilter, TooManyFiltersFail) {
  auto stream = StreamWith("x");
  auto names = std::make_unique<CPDFArray>();
  for (int i = 0; i <= limits::kMaxFiltersPerStream; ++i) {
    names->Push_Back(std::make_unique<CPDFName>("ASCIIHexDecode"));
  }
  stream->Set_Filter(std::move(names));
  CPDFErrorRecord error;
  EXPECT_FALSE(stream->DecodeAllFilter(error));
  ExpectError(error, "CPDFStream", "DecodeAllFilter", kInvalidFormat, "too many filters");
  EXPECT_EQ(DataOf(*stream), "x");
}

TEST(DecodeAllFilter, FailingLaterFilterLeavesTheStreamAsItWas) {
  // The hex layer decodes, the ASCII85 layer below it is broken.
  auto stream = StreamWith("9jz~>");
  CPDFErrorRecord error;
  ASSERT_TRUE(stream->EncodeFilter("ASCII85Decode", nullptr, error));
  ASSERT_TRUE(stream->EncodeASCIIHexFilter(error));
  const std::string before = DataOf(*stream);
  EXPECT_FALSE(stream->DecodeAllFilter(error));
  ExpectError(error, "CPDFASCII85Filter", "Decode", kInvalidFormat, "invalid char: z");
  EXPECT_EQ(DataOf(*stream), before);
  EXPECT_EQ(NamesOf(stream->Get_Filter()),
            (std::vector<std::string>{"ASCIIHexDecode", "ASCII85Decode"}));
  EXPECT_EQ(LengthOf(*stream), static_cast<int>(before.size()));
}

TEST(DecodeAllFilter, UnknownLaterFilterLeavesTheStreamAsItWas) {
  auto stream = Encoded("abc", {&CPDFStream::EncodeASCIIHexFilter});
  auto names = std::make_unique<CPDFArray>();
  names->Push_Back(std::make_unique<CPDFName>("ASCIIHexDecode"));
  names->Push_Back(std::make_unique<CPDFName>("JBIG2Decode"));
  stream->Set_Filter(std::move(names));
  CPDFErrorRecord error;
  EXPECT_FALSE(stream->DecodeAllFilter(error));
  ExpectError(error, "CPDFStream", "DecodeFilter", kInvalidFormat, "unknown filter: JBIG2Decode");
  EXPECT_EQ(DataOf(*stream), "616263>");
}

TEST(DecodeAllFilter, FlateUndoesAPNGPredictor) {
  // Data written with the PNG Up predictor comes back as the samples (pdf/stream/predictor.h).
  const std::string predicted = std::string("\x02\x01\x01\x01\x01\x02\x00\x00\x00\x00", 10);
  auto stream = Encoded(predicted, {&CPDFStream::EncodeFlateFilter});
  auto parms = std::make_unique<CPDFDict>();
  parms->Insert("Predictor", std::make_unique<CPDFInt>(12));
  parms->Insert("Columns", std::make_unique<CPDFInt>(4));
  stream->Set_DecodeParms(std::move(parms));
  CPDFErrorRecord error;
  ASSERT_TRUE(stream->DecodeAllFilter(error));
  EXPECT_EQ(DataOf(*stream), std::string("\x01\x01\x01\x01\x01\x01\x01\x01", 8));
  EXPECT_EQ(stream->Lookup("DecodeParms"), nullptr);
}

TEST(DecodeAllFilterTo, HandsOnWhatDecodeAllFilterKeeps) {
  const std::string data = RandomData(300000, 7);
  auto stream = Encoded(data, {&CPDFStream::EncodeFlateFilter, &CPDFStream::EncodeASCII85Filter});
  const std::string encoded = DataOf(*stream);
  std::string streamed;
  size_t pieces = 0;
  CPDFErrorRecord error;
  ASSERT_TRUE(stream->DecodeAllFilterTo(
      [&](const char* bytes, size_t n) {
        streamed.append(bytes, n);
        ++pieces;
      },
      limits::kMaxDecodedSize, error));
  EXPECT_EQ(streamed, data);
  EXPECT_GT(pieces, 1u);  // in pieces, not gathered first
  EXPECT_EQ(DataOf(*stream), encoded);  // the stream keeps its data and filters
  EXPECT_EQ(NamesOf(stream->Get_Filter()).size(), 2u);
  // Past the limit the decode fails, unfiltered data included.
  EXPECT_FALSE(stream->DecodeAllFilterTo([](const char*, size_t) {}, 1000, error));
  EXPECT_EQ(error.Message(), "decoded data too large: more than 1000 bytes");
  CPDFErrorRecord plainError;
  EXPECT_FALSE(StreamWith("12345")->DecodeAllFilterTo([](const char*, size_t) {}, 4, plainError));
  EXPECT_EQ(plainError.Message(), "decoded data too large: more than 4 bytes");
}

TEST(DecodeFilter, NamesNoWriterUsesAreUnknown) {
  for (const char* name : {"Flate", "DCTDecoder", "NoSuchDecode"}) {
    auto stream = StreamWith("41>");
    CPDFErrorRecord error;
    EXPECT_FALSE(stream->DecodeFilter(CPDFName(name), nullptr, error));
    ExpectError(error, "CPDFStream", "DecodeFilter", kInvalidFormat,
                std::string("unknown filter: ") + name);
    EXPECT_EQ(DataOf(*stream), "41>");
  }
}

TEST(DecodeFilter, ReplacesTheDataAndLength) {
  for (const char* name : {"ASCIIHexDecode", "AHx"}) {  // as writers abbreviate it, too
    auto stream = StreamWith("4142 43>");
    CPDFErrorRecord error;
    ASSERT_TRUE(stream->DecodeFilter(CPDFName(name), nullptr, error));
    EXPECT_EQ(DataOf(*stream), "ABC");
    EXPECT_EQ(LengthOf(*stream), 3);
  }
}

TEST(DecodeFilter, FirstErrorInTheRecordWins) {
  auto stream = StreamWith("4x>");
  CPDFErrorRecord error("Earlier", "Call", kUserError, "first");
  EXPECT_FALSE(stream->DecodeFilter(CPDFName("ASCIIHexDecode"), nullptr, error));
  ExpectError(error, "Earlier", "Call", kUserError, "first");
}

TEST(Filters, EmptyStreamIsLeftUnchangedByEveryEncoderAndDecoder) {
  for (Encoder encode : {&CPDFStream::EncodeASCIIHexFilter, &CPDFStream::EncodeASCII85Filter,
                         &CPDFStream::EncodeFlateFilter, &CPDFStream::EncodeRunLengthFilter}) {
    auto stream = StreamWith("");
    const size_t entries = stream->Count();
    CPDFErrorRecord error;
    EXPECT_TRUE(((*stream).*encode)(error, nullptr, nullptr, nullptr));
    EXPECT_EQ(stream->Count(), entries);
    EXPECT_EQ(stream->DataLength(), 0u);
  }
  for (const char* name : {"ASCIIHexDecode", "ASCII85Decode", "FlateDecode", "RunLengthDecode"}) {
    auto stream = StreamWith("");
    const size_t entries = stream->Count();
    CPDFErrorRecord error;
    EXPECT_TRUE(stream->DecodeFilter(CPDFName(name), nullptr, error));
    EXPECT_EQ(stream->Count(), entries);
    EXPECT_EQ(stream->DataLength(), 0u);
  }
}

class FilterCancel : public ::testing::TestWithParam<int> {};

TEST_P(FilterCancel, DecodeStopsAndLeavesTheStreamUnchanged) {
  auto stream = Encoded(RandomData(100000, 2), {&CPDFStream::EncodeFlateFilter});
  const std::string before = DataOf(*stream);
  FilterWatch watch;
  watch.cancelFrom = GetParam();
  CPDFProgressRange range = watch.Range(0, 100);
  CPDFErrorRecord error;
  EXPECT_FALSE(stream->DecodeAllFilter(error, nullptr, &FilterWatch::Cancel, &range));
  ExpectError(error, "CPDFFlateFilter", "Decode", kUserError, "canceled by user");
  EXPECT_EQ(DataOf(*stream), before);
  EXPECT_NE(AsName(stream->Get_Filter()), nullptr);
  EXPECT_EQ(watch.asked, GetParam() + 1);
}

TEST_P(FilterCancel, EncodeStopsAndRecordsNoFilter) {
  const std::string data = RandomData(50000, 3);
  auto stream = StreamWith(data);
  FilterWatch watch;
  watch.cancelFrom = GetParam();
  CPDFProgressRange range = watch.Range(0, 100);
  CPDFErrorRecord error;
  EXPECT_FALSE(stream->EncodeRunLengthFilter(error, nullptr, &FilterWatch::Cancel, &range));
  ExpectError(error, "CPDFRunLengthFilter", "Encode", kUserError, "canceled by user");
  EXPECT_EQ(DataOf(*stream), data);
  EXPECT_EQ(stream->Lookup("Filter"), nullptr);
}

INSTANTIATE_TEST_SUITE_P(AtBlock, FilterCancel, ::testing::Values(0, 1, 5));

TEST(FilterCancel, LaterFilterOfAChainLeavesTheStreamUnchanged) {
  auto stream = Encoded(RandomData(30000, 4),
                        {&CPDFStream::EncodeRunLengthFilter, &CPDFStream::EncodeASCIIHexFilter});
  const std::string before = DataOf(*stream);
  // The hex layer has about 15 blocks; the cancel comes inside the run-length layer.
  FilterWatch watch;
  watch.cancelFrom = 18;
  CPDFProgressRange range = watch.Range(0, 1000);
  CPDFErrorRecord error;
  EXPECT_FALSE(stream->DecodeAllFilter(error, nullptr, &FilterWatch::Cancel, &range));
  ExpectError(error, "CPDFRunLengthFilter", "Decode", kUserError, "canceled by user");
  EXPECT_EQ(DataOf(*stream), before);
  EXPECT_EQ(NamesOf(stream->Get_Filter()),
            (std::vector<std::string>{"ASCIIHexDecode", "RunLengthDecode"}));
}

void ExpectMonotoneWithin(const std::vector<int32_t>& values, int32_t begin, int32_t end) {
  ASSERT_FALSE(values.empty());
  EXPECT_EQ(values.front(), begin);
  EXPECT_EQ(values.back(), end);
  for (size_t i = 0; i < values.size(); ++i) {
    EXPECT_GE(values[i], begin);
    EXPECT_LE(values[i], end);
    if (i) {
      EXPECT_GT(values[i], values[i - 1]) << "reported only when the value moves";
    }
  }
}

TEST(FilterProgress, MonotoneWithinTheRange) {
  auto stream = StreamWith(RandomData(200000, 5));
  FilterWatch watch;
  CPDFProgressRange range = watch.Range(10, 90);
  CPDFErrorRecord error;
  ASSERT_TRUE(stream->EncodeASCII85Filter(error, &FilterWatch::Progress, nullptr, &range));
  ExpectMonotoneWithin(watch.progress, 10, 90);
  EXPECT_GT(watch.progress.size(), 20u);
}

TEST(FilterProgress, ChainSplitsTheRangeBetweenItsFilters) {
  auto stream = Encoded(RandomData(100000, 6),
                        {&CPDFStream::EncodeFlateFilter, &CPDFStream::EncodeASCIIHexFilter});
  FilterWatch watch;
  CPDFProgressRange range = watch.Range(0, 100);
  CPDFErrorRecord error;
  ASSERT_TRUE(stream->DecodeAllFilter(error, &FilterWatch::Progress, nullptr, &range));
  // The hex layer reports 0..50, the flate layer 50..100 (50 itself once from each).
  std::vector<int32_t> values = watch.progress;
  auto middle = std::find(values.begin(), values.end(), 50);
  ASSERT_NE(middle, values.end());
  ASSERT_NE(middle + 1, values.end());
  EXPECT_EQ(*(middle + 1), 50);
  values.erase(middle);
  ExpectMonotoneWithin(values, 0, 100);
  EXPECT_EQ(range.begin, 0);  // the caller's record is not changed
  EXPECT_EQ(range.end, 100);
}

TEST(FilterProgress, ReversedRangeMapsDownward) {
  auto stream = StreamWith(RandomData(40000, 8));
  FilterWatch watch;
  CPDFProgressRange range = watch.Range(100, 0);
  CPDFErrorRecord error;
  ASSERT_TRUE(stream->EncodeASCIIHexFilter(error, &FilterWatch::Progress, nullptr, &range));
  ASSERT_FALSE(watch.progress.empty());
  EXPECT_EQ(watch.progress.front(), 100);
  EXPECT_EQ(watch.progress.back(), 0);
}

// A file holding `bytes`, removed at the end of the test.
class ScratchFile {
 public:
  explicit ScratchFile(const std::string& bytes) {
    const char* dir = std::getenv("TMPDIR");
    m_path = std::string(dir && *dir ? dir : "/tmp") + "/quarn-filter-XXXXXX";
    const int fd = mkstemp(m_path.data());
    EXPECT_GE(fd, 0);
    EXPECT_EQ(write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    close(fd);
  }
  ~ScratchFile() { unlink(m_path.c_str()); }
  const std::string& Path() const { return m_path; }

 private:
  std::string m_path;
};

TEST(FilterSource, DataLeftInTheFileIsDecoded) {
  const std::string data = RandomData(70000, 9, true);
  auto encoded = Encoded(data, {&CPDFStream::EncodeFlateFilter});
  const std::string packed = DataOf(*encoded);
  ScratchFile file("head" + packed + "tail");
  auto stream = std::make_unique<CPDFStream>(nullptr);
  stream->Set_Filter(std::make_unique<CPDFName>("FlateDecode"));
  stream->SetSource(SourceFile::Open(file.Path()), 4, static_cast<int64_t>(packed.size()));
  CPDFErrorRecord error;
  ASSERT_TRUE(stream->DecodeAllFilter(error)) << error.Message();
  EXPECT_EQ(DataOf(*stream), data);
}

TEST(FilterSource, DataThatCannotBeLoadedFailsInsteadOfPassingAsEmpty) {
  ScratchFile file("short");
  for (bool decode : {true, false}) {
    auto stream = std::make_unique<CPDFStream>(nullptr);
    stream->SetSource(SourceFile::Open(file.Path()), 2, 1000);
    CPDFErrorRecord error;
    const bool ok = decode ? stream->DecodeFilter(CPDFName("FlateDecode"), nullptr, error)
                           : stream->EncodeFlateFilter(error);
    EXPECT_FALSE(ok);
    ExpectError(error, "CPDFFlateFilter", decode ? "Decode" : "Encode", kInternalError,
                "StrLoad::Open()");
    EXPECT_EQ(stream->Lookup("Filter"), nullptr);
  }
}

TEST(FilterSource, DataThatCannotBeLoadedIsAnErrorNotAnEmptyStream) {
  ScratchFile file("short");
  CPDFStream stream(nullptr);
  stream.SetSource(SourceFile::Open(file.Path()), 2, 1000);
  EXPECT_THROW(stream.DataLength(), CPDFException);
  EXPECT_THROW(stream.Data(), CPDFException);
  EXPECT_TRUE(stream.IsDataInFile());  // nothing changed: a later try reads the file again
}

}  // namespace
}  // namespace quarn
