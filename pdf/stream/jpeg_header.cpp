#include "pdf/stream/jpeg_header.h"

#include "pdf/object/exception.h"

namespace quarn {

namespace {

constexpr uint8_t kMarkerStart = 0xFF;
constexpr uint8_t kStartOfImage = 0xD8;
constexpr uint8_t kEndOfImage = 0xD9;
constexpr uint8_t kStartOfScan = 0xDA;
constexpr uint8_t kJfifMarker = 0xE0;
constexpr uint8_t kExifMarker = 0xE1;
constexpr uint8_t kAdobeMarker = 0xEE;
constexpr double kCentimetresPerInch = 2.54;

uint8_t ByteAt(std::string_view data, size_t at) { return static_cast<uint8_t>(data[at]); }

uint32_t BigEndian16(std::string_view data, size_t at) {
  return uint32_t{ByteAt(data, at)} << 8 | ByteAt(data, at + 1);
}

// The frame headers: every SOFn but the DHT, JPG and DAC markers that share their range.
bool IsFrameMarker(uint8_t marker) {
  return marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
}

// Markers that stand alone, without a length: TEM and the restart markers.
bool IsStandalone(uint8_t marker) { return marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7); }

// A resolution in dots per inch from a count per `unit` (1 inch, 2 centimetre); 0 for any other
// unit (an aspect ratio only) and for less than one dot per inch, which no real file means.
double DotsPerInch(double perUnit, uint32_t unit) {
  const double dpi = unit == 1 ? perUnit : unit == 2 ? perUnit * kCentimetresPerInch : 0;
  return dpi >= 1 ? dpi : 0;
}

// Both resolutions, or none when either is missing.
void SetResolution(JpegHeader& header, double perUnitX, double perUnitY, uint32_t unit) {
  const double x = DotsPerInch(perUnitX, unit), y = DotsPerInch(perUnitY, unit);
  header.dpiX = x > 0 && y > 0 ? x : 0;
  header.dpiY = x > 0 && y > 0 ? y : 0;
}

// The JFIF segment: "JFIF\0", version, units, X density, Y density.
void ReadJfif(std::string_view segment, JpegHeader& header) {
  if (segment.size() < 12 || segment.substr(0, 5) != std::string_view("JFIF\0", 5)) return;
  SetResolution(header, BigEndian16(segment, 8), BigEndian16(segment, 10), ByteAt(segment, 7));
}

// The TIFF structure inside an EXIF segment, in its own byte order.
class TiffReader {
 public:
  explicit TiffReader(std::string_view tiff) : m_tiff(tiff) {
    m_bigEndian = tiff.size() >= 2 && tiff[0] == 'M' && tiff[1] == 'M';
  }
  bool Valid() const {
    return m_tiff.size() >= 8 && (m_tiff.substr(0, 2) == "II" || m_tiff.substr(0, 2) == "MM") &&
           Read(2, 2) == 42;
  }
  // `bytes` (2 or 4) at `at`, or 0 past the end.
  uint32_t Read(size_t at, size_t bytes) const {
    if (at > m_tiff.size() || m_tiff.size() - at < bytes) return 0;
    uint32_t value = 0;
    for (size_t i = 0; i < bytes; ++i) {
      const size_t index = m_bigEndian ? i : bytes - 1 - i;
      value = value << 8 | ByteAt(m_tiff, at + index);
    }
    return value;
  }
  size_t Size() const { return m_tiff.size(); }

 private:
  std::string_view m_tiff;
  bool m_bigEndian = false;
};

// The EXIF segment: "Exif\0\0", then a TIFF header whose first directory may give XResolution,
// YResolution (rationals) and ResolutionUnit (2 inch, the default; 3 centimetre).
void ReadExif(std::string_view segment, JpegHeader& header) {
  if (segment.size() < 6 || segment.substr(0, 6) != std::string_view("Exif\0\0", 6)) return;
  const TiffReader tiff(segment.substr(6));
  if (!tiff.Valid()) return;
  constexpr uint32_t kXResolution = 0x011A, kYResolution = 0x011B, kResolutionUnit = 0x0128;
  constexpr uint32_t kRational = 5;
  const size_t directory = tiff.Read(4, 4);
  const uint32_t entries = tiff.Read(directory, 2);
  double x = 0, y = 0;
  uint32_t unit = 2;
  for (uint32_t i = 0; i < entries; ++i) {
    const size_t entry = directory + 2 + size_t{i} * 12;
    if (entry + 12 > tiff.Size()) break;
    const uint32_t tag = tiff.Read(entry, 2);
    const uint32_t type = tiff.Read(entry + 2, 2);
    if (tag == kResolutionUnit) unit = tiff.Read(entry + 8, 2);
    if ((tag == kXResolution || tag == kYResolution) && type == kRational) {
      const size_t at = tiff.Read(entry + 8, 4);
      const uint32_t denominator = tiff.Read(at + 4, 4);
      const double value = denominator == 0 ? 0 : double(tiff.Read(at, 4)) / denominator;
      (tag == kXResolution ? x : y) = value;
    }
  }
  // TIFF's units are one more than JFIF's.
  SetResolution(header, x, y, unit - 1);
}

// The frame header: precision, height, width, component count.
bool ReadFrame(std::string_view segment, JpegHeader& header, std::string& why) {
  if (segment.size() < 6) {
    why = "frame header too short";
    return false;
  }
  header.precision = ByteAt(segment, 0);
  header.height = BigEndian16(segment, 1);
  header.width = BigEndian16(segment, 3);
  header.components = ByteAt(segment, 5);
  if (header.precision != 8) {
    why = Format("%d-bit samples (PDF takes 8)", header.precision);
  } else if (header.width == 0 || header.height == 0) {
    why = "no image size in the frame header";
  } else if (header.components != 1 && header.components != 3 && header.components != 4) {
    why = Format("%d colour components", header.components);
  }
  return why.empty();
}

}  // namespace

std::optional<JpegHeader> ReadJpegHeader(std::string_view data, std::string& why) {
  if (data.size() < 4 || ByteAt(data, 0) != kMarkerStart || ByteAt(data, 1) != kStartOfImage) {
    why = "not a JPEG file";
    return std::nullopt;
  }
  JpegHeader header;
  bool jfifResolution = false;
  size_t at = 2;
  while (at < data.size()) {
    if (ByteAt(data, at) != kMarkerStart) {
      why = "data where a marker belongs";
      return std::nullopt;
    }
    // A marker may be preceded by any number of fill bytes.
    while (at < data.size() && ByteAt(data, at) == kMarkerStart) ++at;
    if (at == data.size()) break;
    const uint8_t marker = ByteAt(data, at++);
    if (IsStandalone(marker)) continue;
    if (marker == kStartOfScan || marker == kEndOfImage || marker == kStartOfImage) break;
    if (data.size() - at < 2 || BigEndian16(data, at) < 2 ||
        data.size() - at < BigEndian16(data, at)) {
      why = "the file ends inside a marker segment";
      return std::nullopt;
    }
    const std::string_view segment = data.substr(at + 2, BigEndian16(data, at) - 2);
    at += BigEndian16(data, at);
    if (IsFrameMarker(marker)) {
      if (!ReadFrame(segment, header, why)) return std::nullopt;
      return header;
    }
    if (marker == kJfifMarker) {
      ReadJfif(segment, header);
      jfifResolution = header.dpiX > 0;
    } else if (marker == kExifMarker && !jfifResolution) {
      ReadExif(segment, header);
    } else if (marker == kAdobeMarker && segment.substr(0, 5) == "Adobe") {
      header.adobe = true;
    }
  }
  why = "no frame header";
  return std::nullopt;
}

}  // namespace quarn
