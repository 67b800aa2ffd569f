// An image file as the watermark: a PNG or a JPEG file, known by its first bytes whatever its
// name, becomes a form XObject of the image's natural size (from its resolution, 72 dpi when it
// gives none) that the watermark then centres, fits, turns to the page and blends exactly as it
// does the page of a PDF file. The image is written once; every page draws the same form.
#pragma once

#include <memory>
#include <string>

namespace quarn {

class CPDFFormXObj;
class StampCanvas;

enum class ImageKind { kNone, kPng, kJpeg };

// The kind of image the file `fileName` holds, by its first bytes; kNone for anything else (a
// PDF file among them) and for a name that cannot be read at once (missing, a directory, a FIFO
// without a writer).
ImageKind ImageKindOf(const std::string& fileName);

// The file a -wm value names: `given`, the name as written, when it is an image file that has no
// extension (its ".pdf" form would name another file); `withExtension` otherwise.
std::string WatermarkFileName(const std::string& given, const std::string& withExtension);

// The form of image file `fileName` (of `kind`, not kNone) made in the canvas's document:
// BBox [0 0 w h], the image's natural size in points, the identity Matrix, and as content the
// image drawn over that box. A JPEG file goes in as it is (DCTDecode, checked by decoding it
// once); a PNG file is decoded and written Flate-compressed with its transparency as an SMask.
// Nothing, with one line written, when the file is refused.
std::unique_ptr<CPDFFormXObj> MakeImageForm(StampCanvas& canvas, const std::string& fileName,
                                            ImageKind kind);

}  // namespace quarn
