#include "pdf/stream/jpeg_header.h"

#include <gtest/gtest.h>

#include <string>

namespace quarn {
namespace {

std::string Bytes(std::initializer_list<int> values) {
  std::string bytes;
  for (int value : values) bytes += static_cast<char>(value);
  return bytes;
}

// A marker segment: FF, the marker, the length (counting itself), the body.
std::string Segment(int marker, const std::string& body) {
  const size_t length = body.size() + 2;
  return Bytes({0xFF, marker, static_cast<int>(length >> 8), static_cast<int>(length & 0xFF)}) +
         body;
}

std::string Jfif(int unit, int x, int y) {
  return Segment(0xE0, std::string("JFIF\0", 5) +
                           Bytes({1, 2, unit, x >> 8, x & 0xFF, y >> 8, y & 0xFF, 0, 0}));
}

// An EXIF segment whose first directory gives XResolution x/1, YResolution y/1 and the unit,
// in little-endian ("II") or big-endian ("MM") order.
std::string Exif(bool bigEndian, int x, int y, int unit) {
  auto number = [&](uint32_t value, int bytes) {
    std::string out(static_cast<size_t>(bytes), '\0');
    for (int i = 0; i < bytes; ++i) {
      const int shift = 8 * (bigEndian ? bytes - 1 - i : i);
      out[static_cast<size_t>(i)] = static_cast<char>(value >> shift & 0xFF);
    }
    return out;
  };
  // Header (8), entry count (2), three entries (36), next directory (4): the rationals at 50.
  std::string tiff = (bigEndian ? "MM" : "II") + number(42, 2) + number(8, 4) + number(3, 2);
  tiff += number(0x011A, 2) + number(5, 2) + number(1, 4) + number(50, 4);
  tiff += number(0x011B, 2) + number(5, 2) + number(1, 4) + number(58, 4);
  tiff +=
      number(0x0128, 2) + number(3, 2) + number(1, 4) + number(uint32_t(unit), 2) + number(0, 2);
  tiff += number(0, 4);
  tiff += number(uint32_t(x), 4) + number(1, 4) + number(uint32_t(y), 4) + number(1, 4);
  return Segment(0xE1, std::string("Exif\0\0", 6) + tiff);
}

std::string Adobe() { return Segment(0xEE, "Adobe" + Bytes({0, 100, 0, 0, 0, 0, 2})); }

std::string Frame(int marker, int precision, int width, int height, int components) {
  return Segment(
      marker, Bytes({precision, height >> 8, height & 0xFF, width >> 8, width & 0xFF, components}) +
                  std::string(static_cast<size_t>(3 * components), '\x11'));
}

const std::string kStart = Bytes({0xFF, 0xD8});
const std::string kScan = Segment(0xDA, Bytes({1, 1, 0, 0, 63, 0}));

struct HeaderCase {
  const char* name;
  std::string file;
  bool accepted;
  uint32_t width, height;
  int32_t components;
  bool adobe;
  double dpiX, dpiY;
};

class JpegHeaderRead : public ::testing::TestWithParam<HeaderCase> {};

TEST_P(JpegHeaderRead, GivesSizeComponentsResolutionOrRefuses) {
  const HeaderCase& c = GetParam();
  std::string why;
  const std::optional<JpegHeader> header = ReadJpegHeader(c.file, why);
  ASSERT_EQ(header.has_value(), c.accepted) << c.name << ": " << why;
  if (!header) {
    EXPECT_FALSE(why.empty()) << c.name;
    return;
  }
  EXPECT_EQ(header->width, c.width) << c.name;
  EXPECT_EQ(header->height, c.height) << c.name;
  EXPECT_EQ(header->components, c.components) << c.name;
  EXPECT_EQ(header->adobe, c.adobe) << c.name;
  EXPECT_NEAR(header->dpiX, c.dpiX, 1e-9) << c.name;
  EXPECT_NEAR(header->dpiY, c.dpiY, 1e-9) << c.name;
}

INSTANTIATE_TEST_SUITE_P(
    Files, JpegHeaderRead,
    ::testing::Values(
        HeaderCase{"baseline, no resolution", kStart + Frame(0xC0, 8, 640, 480, 3) + kScan, true,
                   640, 480, 3, false, 0, 0},
        HeaderCase{"JFIF dots per inch", kStart + Jfif(1, 300, 150) + Frame(0xC0, 8, 10, 20, 1),
                   true, 10, 20, 1, false, 300, 150},
        HeaderCase{"JFIF dots per centimetre", kStart + Jfif(2, 100, 100) + Frame(0xC1, 8, 1, 1, 3),
                   true, 1, 1, 3, false, 254, 254},
        HeaderCase{"JFIF aspect ratio only", kStart + Jfif(0, 1, 1) + Frame(0xC0, 8, 5, 5, 3), true,
                   5, 5, 3, false, 0, 0},
        HeaderCase{"EXIF little-endian, inches",
                   kStart + Exif(false, 200, 100, 2) + Frame(0xC0, 8, 8, 8, 3), true, 8, 8, 3,
                   false, 200, 100},
        HeaderCase{"EXIF big-endian, centimetres",
                   kStart + Exif(true, 50, 50, 3) + Frame(0xC0, 8, 8, 8, 3), true, 8, 8, 3, false,
                   127, 127},
        HeaderCase{"JFIF resolution wins over EXIF",
                   kStart + Jfif(1, 72, 72) + Exif(false, 300, 300, 2) + Frame(0xC0, 8, 8, 8, 3),
                   true, 8, 8, 3, false, 72, 72},
        HeaderCase{"Adobe CMYK, progressive, fill bytes",
                   kStart + Adobe() + "\xFF\xFF" + Frame(0xC2, 8, 33, 44, 4) + kScan, true, 33, 44,
                   4, true, 0, 0},
        HeaderCase{"12-bit samples", kStart + Frame(0xC1, 12, 8, 8, 3), false, 0, 0, 0, false, 0,
                   0},
        HeaderCase{"height left to a DNL marker", kStart + Frame(0xC0, 8, 8, 0, 3), false, 0, 0, 0,
                   false, 0, 0},
        HeaderCase{"two components", kStart + Frame(0xC0, 8, 8, 8, 2), false, 0, 0, 0, false, 0, 0},
        HeaderCase{"scan before any frame", kStart + Jfif(1, 72, 72) + kScan, false, 0, 0, 0, false,
                   0, 0},
        HeaderCase{"cut inside a segment", kStart + Jfif(1, 72, 72).substr(0, 9), false, 0, 0, 0,
                   false, 0, 0},
        HeaderCase{"a table marker is no frame", kStart + Segment(0xC4, "xx") + kScan, false, 0, 0,
                   0, false, 0, 0},
        HeaderCase{"not a JPEG file", "%PDF-1.4\n", false, 0, 0, 0, false, 0, 0}));

}  // namespace
}  // namespace quarn
