// What a JPEG file says of itself ahead of its scans: the frame's size, sample precision and
// component count, the resolution it was made for (JFIF or EXIF), and whether an Adobe marker
// is there (Adobe's CMYK files store their samples inverted). Read from the markers alone; no
// sample is decoded, so a file can be described before anything is spent on it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quarn {

struct JpegHeader {
  uint32_t width = 0;
  uint32_t height = 0;
  int32_t precision = 0;   // bits per sample
  int32_t components = 0;  // 1 grey, 3 YCbCr or RGB, 4 CMYK or YCCK
  bool adobe = false;      // an Adobe APP14 marker came before the frame
  // Dots per inch across and down; 0 when the file gives no absolute resolution.
  double dpiX = 0;
  double dpiY = 0;
};

// The header of the JPEG file `data`, or nothing with `why` set when its markers end, or reach
// the scan, before a frame header that a PDF reader can decode (8-bit samples, 1, 3 or 4
// components, a height given in the frame).
std::optional<JpegHeader> ReadJpegHeader(std::string_view data, std::string& why);

}  // namespace quarn
