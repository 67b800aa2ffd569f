// What the image filters read from an image's dictionary: its geometry and colour, checked
// before any decoding work. Nothing here sizes an allocation: the counts only bound the work
// that the data itself must then prove.
#pragma once

#include <cstdint>

#include "pdf/object/values.h"
#include "pdf/stream/filter_frame.h"

namespace quarn {

struct ImageParams {
  int32_t width = 0;
  int32_t height = 0;
  int32_t bitsPerComponent = 0;
  CPDFObject* colorSpace = nullptr;  // absent for an image mask
  bool imageMask = false;

  // Reads "Width", "Height" and "BitsPerComponent" (each must be present and positive) and
  // "ColorSpace" and "ImageMask". A missing key fails with code 4 "missing value of %s key".
  static ImageParams Read(CPDFObjHolder* doc, const CPDFDict& image, const FilterFrame& frame);

  // Bytes of one row of `components` samples at this depth.
  uint64_t RowBytes(int32_t components) const {
    return (static_cast<uint64_t>(width) * static_cast<uint64_t>(components) *
                static_cast<uint64_t>(bitsPerComponent) + 7) / 8;
  }
  void RequireBits(int32_t bits, const FilterFrame& frame) const;
  void RequireColorSpace(const FilterFrame& frame) const;
};

// The number of colour components of a colour space value (a name or an array), 0 when it
// names none that an image filter can take. `family` receives the name it was judged by.
int32_t ColorComponents(CPDFObjHolder* doc, CPDFObject* colorSpace, std::string& family);

// Integer entry `key` of `dict` (resolved through `doc`), or `fallback` when it is absent.
int32_t IntEntry(CPDFObjHolder* doc, const CPDFDict* dict, const char* key, int32_t fallback);
bool BoolEntry(CPDFObjHolder* doc, const CPDFDict* dict, const char* key, bool fallback);

}  // namespace quarn

namespace quarn {

class StrLoad;
class FilterOutput;

// An image decoder of the filter chain: it reads the geometry from the image's dictionary and
// the filter's decode parameters (or none), then decodes `in` into `out`.
using ImageCodec = void (*)(CPDFStream& image, CPDFObject* parms, StrLoad& in, FilterFrame& frame,
                            FilterOutput& out);

// Decodes the stream's data in place with one image decoder, as RunDecode does with a byte
// codec: the stream changes only when the whole decode succeeds.
bool RunImageDecode(CPDFStream& stream, CPDFObject* parms, const char* module, ImageCodec codec,
                    CPDFErrorRecord& error, ProgressProc progress, CancelProc cancel,
                    const CPDFProgressRange* range);

// The position that the frame's progress mapping turns into row `row` + 1 of `rows`.
inline uint64_t RowPosition(uint64_t total, uint64_t row, uint64_t rows) {
  return static_cast<uint64_t>(static_cast<unsigned __int128>(total) * (row + 1) / rows);
}

}  // namespace quarn
