// Image files made into watermarks, on arbitrary bytes: the PNG decoder (libpng with our
// transformations and limits) and the JPEG header reader. Beyond "no crash, no sanitizer
// report", what they give must hold together: samples and alpha the size the header declares,
// within the pixel limit, and a JPEG frame a PDF reader can decode.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "pdf/object/limits.h"
#include "pdf/stream/jpeg_header.h"
#include "pdf/stream/png_image.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  std::string why;
  if (const std::optional<quarn::PngImage> png = quarn::DecodePng(bytes, why)) {
    const uint64_t pixels = uint64_t{png->width} * png->height;
    if (pixels == 0 || pixels > quarn::limits::kMaxImagePixels) std::abort();
    if (png->colours != 1 && png->colours != 3) std::abort();
    if (png->samples.size() != pixels * static_cast<uint64_t>(png->colours)) std::abort();
    if (!png->alpha.empty() && png->alpha.size() != pixels) std::abort();
  } else if (why.empty()) {
    std::abort();
  }
  why.clear();
  if (const std::optional<quarn::JpegHeader> jpeg = quarn::ReadJpegHeader(bytes, why)) {
    if (jpeg->precision != 8 || jpeg->width == 0 || jpeg->height == 0) std::abort();
    if (jpeg->components != 1 && jpeg->components != 3 && jpeg->components != 4) std::abort();
    if (jpeg->dpiX < 0 || jpeg->dpiY < 0 || (jpeg->dpiX == 0) != (jpeg->dpiY == 0)) std::abort();
  } else if (why.empty()) {
    std::abort();
  }
  return 0;
}
