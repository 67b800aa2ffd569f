#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "pdf/stream/ccitt_filter.h"
#include "pdf/stream/dct_filter.h"
#include "support/files.h"
#include "support/filters.h"
#include "support/values.h"

namespace quarn {
namespace {

using test::DataOf;
using test::Parse;
using test::RandomData;
using test::StreamWith;

// An image stream: `entries` is the dictionary's text without the brackets.
std::unique_ptr<CPDFStream> Image(const std::string& entries, const std::string& data) {
  auto stream = StreamWith(data);
  std::unique_ptr<CPDFObject> dict = Parse("<<" + entries + ">>");
  auto* source = static_cast<CPDFDict*>(dict.get());
  for (const char* key : {"Width", "Height", "BitsPerComponent", "ColorSpace", "ImageMask",
                                 "Decode", "Filter", "DecodeParms"}) {
    if (CPDFObject* value = source->GetValue(nullptr, key)) stream->SetValue(nullptr, key, Parse(test::Text(*value) + " "));
  }
  return stream;
}

// Smooth 8-bit samples (JPEG's strength), `components` interleaved.
std::string Gradient(int width, int height, int components) {
  std::string data;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      for (int c = 0; c < components; ++c) data += static_cast<char>(x + y + c * 30);
  return data;
}

// 1-bit rows of text-like strokes; the bits past the last column are 0.
std::string Strokes(int width, int height) {
  const int rowBytes = (width + 7) / 8;
  std::string data(static_cast<size_t>(rowBytes * height), '\0');
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      if ((x / 7 + y / 5) % 3 == 0 || (x * y) % 23 == 1)
        data[static_cast<size_t>(y * rowBytes + x / 8)] |= static_cast<char>(0x80 >> (x % 8));
  return data;
}

struct DctCase {
  const char* colorSpace;
  int components;
};

// libjpeg's own reader takes our JPEG and finds the image's size and components in it.
void ExpectDjpegReads(const std::string& jpeg, int components) {
  if (!test::HaveTool("djpeg")) return;
  test::TempDir dir;
  test::WriteFile(dir.File("in.jpg"), jpeg);
  const std::string header =
      test::CommandOutput("(djpeg -verbose -outfile /dev/null " + dir.File("in.jpg") + " 2>&1)");
  EXPECT_NE(header.find("width=61, height=37, components=" + std::to_string(components)),
            std::string::npos)
      << header;
}

class DctRoundTrip : public ::testing::TestWithParam<DctCase> {};

TEST_P(DctRoundTrip, KeepsDimensionsAndComponents) {
  const DctCase c = GetParam();
  const std::string input = Gradient(61, 37, c.components);
  auto image = Image(std::string("/Width 61 /Height 37 /BitsPerComponent 8 /ColorSpace ") + c.colorSpace, input);
  CPDFErrorRecord error;
  ASSERT_TRUE(image->EncodeDCTFilter(95, error)) << error.Message();
  EXPECT_EQ(DataOf(*image).substr(0, 2), "\xFF\xD8");
  ExpectDjpegReads(DataOf(*image), c.components);
  ASSERT_NE(AsName(image->Get_Filter()), nullptr);
  EXPECT_TRUE(AsName(image->Get_Filter())->Equals("DCTDecode"));
  ASSERT_TRUE(image->DecodeAllFilter(error)) << error.Message();
  const std::string output = DataOf(*image);
  ASSERT_EQ(output.size(), input.size());
  long difference = 0;
  for (size_t i = 0; i < input.size(); ++i) {
    difference += std::abs(static_cast<unsigned char>(input[i]) - static_cast<unsigned char>(output[i]));
  }
  EXPECT_LT(difference / static_cast<long>(input.size()), 3);
}

INSTANTIATE_TEST_SUITE_P(Spaces, DctRoundTrip,
                         ::testing::Values(DctCase{"/DeviceGray", 1}, DctCase{"/DeviceRGB", 3},
                                           DctCase{"/DeviceCMYK", 4}));

struct FaxCase {
  int k;
  const char* decode;  // the image's "Decode" entry
  bool unsaidEndOfLine = false;  // "EndOfLine" dropped, as scanners leave it out
};

class FaxRoundTrip : public ::testing::TestWithParam<FaxCase> {};

TEST_P(FaxRoundTrip, IsBitExact) {
  const FaxCase c = GetParam();
  const std::string input = Strokes(203, 71);
  auto image = Image(std::string("/Width 203 /Height 71 /BitsPerComponent 1 /ColorSpace /DeviceGray ") + c.decode, input);
  CPDFErrorRecord error;
  ASSERT_TRUE(image->EncodeCCITTFaxFilter(c.k, error)) << error.Message();
  EXPECT_LT(image->DataLength(), input.size());
  auto* parms = AsDict(image->Get_DecodeParms());
  ASSERT_NE(parms, nullptr);
  EXPECT_EQ(AsNumber(parms->GetValue(nullptr, "K"))->IntValue(), c.k == 0 ? 0 : (c.k == -1 ? -1 : 1));
  if (c.unsaidEndOfLine) parms->RemoveValue(nullptr, "EndOfLine");
  ASSERT_TRUE(image->DecodeAllFilter(error)) << error.Message();
  EXPECT_TRUE(DataOf(*image) == input) << "the image changed";
}

INSTANTIATE_TEST_SUITE_P(Codings, FaxRoundTrip,
                         ::testing::Values(FaxCase{0, ""}, FaxCase{0, "", true}, FaxCase{1, ""}, FaxCase{-1, ""},
                                           FaxCase{4, "/Decode [1 0]"}, FaxCase{-1, "/Decode [1 0]"}));

// A small valid JPEG, for damaging.
std::string SmallJpeg() {
  auto image = Image("/Width 40 /Height 30 /BitsPerComponent 8 /ColorSpace /DeviceRGB", Gradient(40, 30, 3));
  CPDFErrorRecord error;
  EXPECT_TRUE(image->EncodeDCTFilter(75, error));
  return DataOf(*image);
}

// A JPEG whose frame header claims 65000 × 65000 samples.
std::string HugeJpeg() {
  std::string jpeg = SmallJpeg();
  const size_t sof = jpeg.find("\xFF\xC0");
  jpeg.replace(sof + 5, 4, "\xFD\xE8\xFD\xE8");
  return jpeg;
}

struct FailCase {
  const char* name;
  std::string entries;
  std::string (*data)();
  int code;
  const char* message;  // a prefix of the error's message
};

class DamagedImage : public ::testing::TestWithParam<FailCase> {};

TEST_P(DamagedImage, FailsAndKeepsTheStream) {
  const FailCase& c = GetParam();
  const std::string data = c.data();
  auto image = Image(c.entries, data);
  CPDFErrorRecord error;
  EXPECT_FALSE(image->DecodeAllFilter(error));
  EXPECT_EQ(error.Code(), c.code);
  EXPECT_EQ(error.Message().rfind(c.message, 0), 0u) << error.Message();
  EXPECT_TRUE(DataOf(*image) == data) << "the stream changed";
  EXPECT_NE(image->Get_Filter(), nullptr);
}

const std::string kDct = "/Width 40 /Height 30 /BitsPerComponent 8 /ColorSpace /DeviceRGB /Filter /DCTDecode ";
const std::string kFax = "/Width 203 /Height 71 /BitsPerComponent 1 /ColorSpace /DeviceGray /Filter /CCITTFaxDecode ";

INSTANTIATE_TEST_SUITE_P(
    Cases, DamagedImage,
    ::testing::Values(
        FailCase{"NotJpeg", kDct, [] { return RandomData(2048, 1); }, 4, "Not a JPEG file"},
        FailCase{"TruncatedJpeg", kDct, [] { std::string j = SmallJpeg(); return j.substr(0, j.find("\xFF\xDA") + 24); }, 4, "cannot read image data"},
        FailCase{"HugeJpeg", kDct, &HugeJpeg, 4, "decoded data too large"},
        FailCase{"DctBits", "/Width 40 /Height 30 /BitsPerComponent 4 /ColorSpace /DeviceRGB /Filter /DCTDecode",
                 &SmallJpeg, 4, "invalid BitsPerComponent: 4"},
        FailCase{"FaxGarbage", kFax + "/DecodeParms << /K -1 /Columns 203 >>", [] { return RandomData(2048, 2); }, 4, ""},
        FailCase{"FaxBadK", kFax + "/DecodeParms << /K /G4 >>", [] { return RandomData(64, 3); }, 4,
                 "missing value of K key"},
        FailCase{"FaxColor", "/Width 8 /Height 8 /BitsPerComponent 1 /ColorSpace /DeviceRGB /Filter /CCITTFaxDecode "
                             "/DecodeParms << /K 0 >>", [] { return RandomData(64, 4); }, 4, "invalid ColorSpace: DeviceRGB"},
        // Counts in the dictionary alone reserve nothing: the data must prove them.
        FailCase{"FaxHugeHeader", "/Width 100000 /Height 100000 /BitsPerComponent 1 /ImageMask true "
                                  "/Filter /CCITTFaxDecode /DecodeParms << /K -1 /Columns 100000 >>",
                 [] { return RandomData(2048, 5); }, 4, ""}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace quarn

namespace quarn {
namespace {

// Both image decoders ask the cancel query once a row and report progress up to the range's
// end; a cancel on row 5 stops the decode and leaves the stream as it was.
TEST(ImageFilters, ReportProgressAndStopOnCancel) {
  auto fax = Image(std::string("/Width 203 /Height 71 /BitsPerComponent 1 /ColorSpace /DeviceGray"), Strokes(203, 71));
  auto jpeg = Image("/Width 61 /Height 37 /BitsPerComponent 8 /ColorSpace /DeviceRGB", Gradient(61, 37, 3));
  CPDFErrorRecord error;
  ASSERT_TRUE(fax->EncodeCCITTFaxFilter(-1, error));
  ASSERT_TRUE(jpeg->EncodeDCTFilter(80, error));
  for (auto* image : {fax.get(), jpeg.get()}) {
    const std::string before = DataOf(*image);
    test::FilterWatch watch;
    watch.cancelFrom = 5;
    CPDFProgressRange range = watch.Range(0, 1000);
    EXPECT_FALSE(image->DecodeAllFilter(error, &test::FilterWatch::Progress, &test::FilterWatch::Cancel, &range));
    EXPECT_EQ(error.Code(), kUserError);
    EXPECT_EQ(error.Message(), "canceled by user");
    EXPECT_TRUE(DataOf(*image) == before);
    EXPECT_EQ(watch.asked, 6);
    error.Clear();
    test::FilterWatch full;
    range = full.Range(0, 1000);
    ASSERT_TRUE(image->DecodeAllFilter(error, &test::FilterWatch::Progress, &test::FilterWatch::Cancel, &range));
    ASSERT_FALSE(full.progress.empty());
    EXPECT_TRUE(std::is_sorted(full.progress.begin(), full.progress.end()));
    EXPECT_EQ(full.progress.back(), 1000);
    EXPECT_GE(full.asked, 37);
  }
}

}  // namespace
}  // namespace quarn
