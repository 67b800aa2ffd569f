#include "pdf/stream/png_image.h"

#include <png.h>

#include <csetjmp>
#include <cstring>
#include <vector>

#include "pdf/object/exception.h"
#include "pdf/object/limits.h"
#include "platform/shared_library.h"

namespace quarn {

namespace {

// clang-format off
#define QUARN_PNG_FUNCTIONS(X)                                                                  \
  X(png_create_read_struct) X(png_create_info_struct) X(png_destroy_read_struct)               \
  X(png_set_read_fn) X(png_get_io_ptr) X(png_get_error_ptr) X(png_read_info) X(png_get_IHDR)   \
  X(png_get_pHYs) X(png_set_expand) X(png_set_scale_16) X(png_set_interlace_handling)          \
  X(png_read_update_info) X(png_get_channels) X(png_get_rowbytes) X(png_read_image)            \
  X(png_read_end)
// clang-format on

struct PngFunctions {
  QUARN_PNG_FUNCTIONS(QUARN_FUNCTION_SLOT)
};

// libpng is opened when the first PNG file is read.
const PngFunctions& Png() {
  static const LazyLibrary<PngFunctions> loaded("libpng16.so.16", "QUARN_LIBPNG",
                                                [](SharedLibrary& library, PngFunctions& table) {
                                                  QUARN_PNG_FUNCTIONS(QUARN_RESOLVE_FUNCTION)
                                                });
  return loaded.Functions();
}

constexpr double kInchesPerMetre = 0.0254;

// The file as libpng reads it, and the way back out of libpng when it refuses the file: libpng's
// error callback must not return, so it jumps back to the call that entered libpng (only
// libpng's frames and the entering lambda, which holds nothing with a destructor, are skipped).
struct PngReader {
  std::jmp_buf jump{};
  std::string message;
  std::string_view data;
  size_t at = 0;
};

[[noreturn]] void Refuse(PngReader& reader, const char* message) {
  reader.message = message;
  std::longjmp(reader.jump, 1);
}

[[noreturn]] void OnError(png_structp png, png_const_charp message) {
  Refuse(*static_cast<PngReader*>(Png().png_get_error_ptr(png)), message);
}

// Warnings (ancillary chunks libpng works around) are not printed by a library.
void OnWarning(png_structp, png_const_charp) {}

void ReadData(png_structp png, png_bytep out, size_t n) {
  PngReader& reader = *static_cast<PngReader*>(Png().png_get_io_ptr(png));
  if (reader.data.size() - reader.at < n) Refuse(reader, "the file ends early");
  std::memcpy(out, reader.data.data() + reader.at, n);
  reader.at += n;
}

// Runs `step` (calls into libpng only); false when libpng refused the file.
template <class Step>
bool Guarded(PngReader& reader, Step&& step) {
  if (setjmp(reader.jump) == 0) {
    step();
    return true;
  }
  return false;
}

// Owner of libpng's structures: destroying is safe in every state, after errors included.
struct PngDecoder {
  explicit PngDecoder(const PngFunctions& functions) : png(functions) {}
  PngDecoder(const PngDecoder&) = delete;
  PngDecoder& operator=(const PngDecoder&) = delete;
  ~PngDecoder() {
    if (read) png.png_destroy_read_struct(&read, info ? &info : nullptr, nullptr);
  }
  const PngFunctions& png;
  png_structp read = nullptr;
  png_infop info = nullptr;
};

// The resolution from pHYs, when it is given in pixels per metre and is one dot per inch or more
// both ways.
void ReadResolution(const PngDecoder& decoder, PngImage& image) {
  png_uint_32 x = 0, y = 0;
  int unit = PNG_RESOLUTION_UNKNOWN;
  if (!decoder.png.png_get_pHYs(decoder.read, decoder.info, &x, &y, &unit) ||
      unit != PNG_RESOLUTION_METER) {
    return;
  }
  const double dpiX = x * kInchesPerMetre, dpiY = y * kInchesPerMetre;
  if (dpiX >= 1 && dpiY >= 1) {
    image.dpiX = dpiX;
    image.dpiY = dpiY;
  }
}

// Splits decoded pixels of `channels` samples (grey or RGB, with alpha when even) into the
// image's colour samples and its alpha, dropping an alpha that is opaque everywhere.
void SplitAlpha(std::string pixels, int32_t channels, PngImage& image) {
  image.colours = channels >= 3 ? 3 : 1;
  if (channels == image.colours) {
    image.samples = std::move(pixels);
    return;
  }
  const size_t count = pixels.size() / static_cast<size_t>(channels);
  const auto colours = static_cast<size_t>(image.colours);
  image.samples.resize(count * colours);
  image.alpha.resize(count);
  bool opaque = true;
  for (size_t i = 0; i < count; ++i) {
    const char* pixel = pixels.data() + i * static_cast<size_t>(channels);
    std::memcpy(image.samples.data() + i * colours, pixel, colours);
    image.alpha[i] = pixel[colours];
    opaque = opaque && static_cast<uint8_t>(pixel[colours]) == 0xFF;
  }
  if (opaque) image.alpha.clear();
}

}  // namespace

bool HasPngSignature(std::string_view data) {
  return data.substr(0, 8) == std::string_view("\x89PNG\r\n\x1a\n", 8);
}

std::optional<PngImage> DecodePng(std::string_view data, std::string& why) {
  if (!HasPngSignature(data)) {
    why = "not a PNG file";
    return std::nullopt;
  }
  const PngFunctions* functions = nullptr;
  try {
    functions = &Png();
  } catch (const LibraryUnavailable& e) {
    why = e.what();
    return std::nullopt;
  }
  const PngFunctions& png = *functions;
  PngReader reader;
  reader.data = data;
  PngDecoder decoder(png);
  png_uint_32 width = 0, height = 0;
  int depth = 0, colourType = 0, interlace = 0;
  const bool header = Guarded(reader, [&] {
    decoder.read = png.png_create_read_struct(PNG_LIBPNG_VER_STRING, &reader, &OnError, &OnWarning);
    if (!decoder.read) Refuse(reader, "libpng cannot start");
    decoder.info = png.png_create_info_struct(decoder.read);
    if (!decoder.info) Refuse(reader, "libpng cannot start");
    png.png_set_read_fn(decoder.read, &reader, &ReadData);
    png.png_read_info(decoder.read, decoder.info);
    png.png_get_IHDR(decoder.read, decoder.info, &width, &height, &depth, &colourType, &interlace,
                     nullptr, nullptr);
  });
  if (!header) {
    why = reader.message;
    return std::nullopt;
  }
  // The pixels are held whole while they are split and compressed: the header's size is judged
  // before a single row is decoded.
  if (uint64_t{width} * height > limits::kMaxImagePixels) {
    why = Format("image too large: %u x %u pixels", width, height);
    return std::nullopt;
  }
  PngImage image;
  image.width = width;
  image.height = height;
  ReadResolution(decoder, image);
  int32_t channels = 0;
  size_t rowBytes = 0;
  const bool prepared = Guarded(reader, [&] {
    png.png_set_expand(decoder.read);
    if (depth == 16) png.png_set_scale_16(decoder.read);
    png.png_set_interlace_handling(decoder.read);
    png.png_read_update_info(decoder.read, decoder.info);
    channels = png.png_get_channels(decoder.read, decoder.info);
    rowBytes = png.png_get_rowbytes(decoder.read, decoder.info);
  });
  if (!prepared || channels < 1 || channels > 4 ||
      rowBytes != size_t{width} * static_cast<size_t>(channels)) {
    why = prepared ? "unexpected row layout after decoding" : reader.message;
    return std::nullopt;
  }
  std::string pixels(rowBytes * height, '\0');
  std::vector<png_bytep> rows(height);
  for (size_t row = 0; row < height; ++row) {
    rows[row] = reinterpret_cast<png_bytep>(pixels.data() + row * rowBytes);
  }
  const bool decoded = Guarded(reader, [&] {
    png.png_read_image(decoder.read, rows.data());
    // The chunks after the image are read too: a file cut short after its pixels is refused.
    png.png_read_end(decoder.read, nullptr);
  });
  if (!decoded) {
    why = reader.message;
    return std::nullopt;
  }
  SplitAlpha(std::move(pixels), channels, image);
  return image;
}

}  // namespace quarn
