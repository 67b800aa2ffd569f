// A PNG file decoded through libpng (opened on first use) into what an image XObject holds:
// 8-bit samples, grey or RGB, with the transparency apart as an alpha channel. Palette images and
// grey below 8 bits are expanded, 16-bit samples scaled to 8 (a watermark gains nothing from
// more), transparency (an alpha channel or a tRNS chunk) becomes the alpha, and interlaced
// images are put together. Gamma and colour profiles (gAMA, cHRM, sRGB, iCCP) are not applied:
// the samples go out as the file stores them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quarn {

struct PngImage {
  uint32_t width = 0;
  uint32_t height = 0;
  int32_t colours = 0;  // 1 grey, 3 RGB
  std::string samples;  // `height` rows of `width` x `colours` bytes
  std::string alpha;    // `height` rows of `width` bytes; empty when every pixel is opaque
  // Dots per inch across and down (from pHYs); 0 when the file gives no absolute resolution.
  double dpiX = 0;
  double dpiY = 0;
};

// Whether `data` begins with the PNG signature.
bool HasPngSignature(std::string_view data);

// Decodes the PNG file `data`, or gives nothing with `why` set when libpng refuses it, libpng
// cannot be opened, or the header declares more than limits::kMaxImagePixels pixels (judged
// before a single row is decoded).
std::optional<PngImage> DecodePng(std::string_view data, std::string& why);

}  // namespace quarn
