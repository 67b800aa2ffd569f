#include "app/image_watermark.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <optional>
#include <string_view>
#include <utility>

#include "app/driver.h"
#include "app/stamp.h"
#include "pdf/content/graph_objs.h"
#include "pdf/content/xobject.h"
#include "pdf/document/doc.h"
#include "pdf/document/res_dict.h"
#include "pdf/object/geometry.h"
#include "pdf/object/limits.h"
#include "pdf/stream/jpeg_header.h"
#include "pdf/stream/png_image.h"
#include "platform/error_text.h"
#include "platform/source_file.h"

namespace quarn {

namespace {

constexpr double kPointsPerInch = 72;

// The whole file `fileName`, or nothing with `why` set.
std::optional<std::string> ReadImageFile(const std::string& fileName, std::string& why) {
  const std::shared_ptr<SourceFile> file = SourceFile::Open(fileName);
  if (!file) {
    why = SystemErrorText(errno);
    return std::nullopt;
  }
  if (static_cast<uint64_t>(file->Size()) > limits::kMaxImageFileBytes) {
    why = Format("file larger than %llu bytes",
                 static_cast<unsigned long long>(limits::kMaxImageFileBytes));
    return std::nullopt;
  }
  std::string bytes(static_cast<size_t>(file->Size()), '\0');
  errno = 0;
  if (!file->ReadExact(0, bytes.data(), bytes.size())) {
    why = errno != 0 ? SystemErrorText(errno) : "the file ended while it was read";
    return std::nullopt;
  }
  return bytes;
}

ImageKind KindOfBytes(std::string_view head) {
  if (HasPngSignature(head)) return ImageKind::kPng;
  // Start of image, then the start of the first marker.
  if (head.substr(0, 3) == "\xFF\xD8\xFF") return ImageKind::kJpeg;
  return ImageKind::kNone;
}

// The size in points of `pixels` at `dpi` dots per inch (none: 72, a point a pixel).
float NaturalSize(uint32_t pixels, double dpi) {
  return static_cast<float>(dpi > 0 ? pixels * kPointsPerInch / dpi : pixels);
}

// A new image XObject of `doc`: `width` x `height` 8-bit samples in `colourSpace`.
std::unique_ptr<CPDFImageXObj> NewImage(CPDFDoc& doc, uint32_t width, uint32_t height,
                                        const char* colourSpace) {
  auto image = std::make_unique<CPDFImageXObj>();
  if (!image->Create(&doc) ||
      !image->SetValue(&doc, "Width", std::make_unique<CPDFInt>(static_cast<int32_t>(width))) ||
      !image->SetValue(&doc, "Height", std::make_unique<CPDFInt>(static_cast<int32_t>(height))) ||
      !image->SetValue(&doc, "ColorSpace", std::make_unique<CPDFName>(colourSpace)) ||
      !image->SetValue(&doc, "BitsPerComponent", std::make_unique<CPDFInt>(8))) {
    return nullptr;
  }
  return image;
}

bool SetFlateData(CPDFStream& stream, const std::string& data) {
  CPDFErrorRecord error;
  return stream.SetData(data.data(), data.size()) && stream.EncodeFlateFilter(error);
}

const char* DeviceSpace(int32_t components) {
  return components == 1 ? "DeviceGray" : components == 3 ? "DeviceRGB" : "DeviceCMYK";
}

// A decoded PNG as an image XObject, with its alpha as a soft mask of its own.
std::unique_ptr<CPDFImageXObj> PngXObject(CPDFDoc& doc, const PngImage& png) {
  auto image = NewImage(doc, png.width, png.height, DeviceSpace(png.colours));
  if (!image || !SetFlateData(*image, png.samples)) return nullptr;
  if (!png.alpha.empty()) {
    auto mask = NewImage(doc, png.width, png.height, "DeviceGray");
    if (!mask || !SetFlateData(*mask, png.alpha) ||
        !image->SetValue(&doc, "SMask", std::move(mask), true)) {
      return nullptr;
    }
  }
  return image;
}

// The JPEG file's own bytes as an image XObject. Adobe's CMYK files store their samples
// inverted, which "Decode" turns back.
std::unique_ptr<CPDFImageXObj> JpegXObject(CPDFDoc& doc, const JpegHeader& header,
                                           const std::string& bytes) {
  auto image = NewImage(doc, header.width, header.height, DeviceSpace(header.components));
  if (!image || !image->SetData(bytes.data(), bytes.size()) ||
      !image->SetValue(&doc, "Filter", std::make_unique<CPDFName>("DCTDecode"))) {
    return nullptr;
  }
  if (header.components == 4 && header.adobe) {
    auto decode = std::make_unique<CPDFArray>();
    for (int i = 0; i < 4; ++i) {
      decode->Push_Back(std::make_unique<CPDFInt>(1));
      decode->Push_Back(std::make_unique<CPDFInt>(0));
    }
    if (!image->SetValue(&doc, "Decode", std::move(decode))) return nullptr;
  }
  return image;
}

// Whether libjpeg decodes the image whole: the markers alone do not show a file cut short or
// scans it cannot read. The decoded rows are counted and dropped.
bool JpegDecodes(CPDFImageXObj& image, const JpegHeader& header, std::string& why) {
  const uint64_t expected =
      uint64_t{header.width} * header.height * static_cast<uint64_t>(header.components);
  uint64_t decoded = 0;
  CPDFErrorRecord error;
  if (!image.DecodeAllFilterTo([&](const char*, size_t n) { decoded += n; }, expected, error)) {
    why = error.Message();
    return false;
  }
  if (decoded != expected) {
    why = "cannot read image data";
    return false;
  }
  return true;
}

// The form that draws `image` over [0 0 width height].
std::unique_ptr<CPDFFormXObj> FormAround(CPDFDoc& doc, std::unique_ptr<CPDFImageXObj> image,
                                         float width, float height) {
  auto form = std::make_unique<CPDFFormXObj>();
  auto resources = std::make_unique<CPDFResDict>();
  std::string name;
  if (!form->Create(&doc) || !resources->Create(&doc) || !resources->MakeName(name, *image) ||
      !resources->AddResource(name, std::move(image), nullptr)) {
    return nullptr;
  }
  CPDFGraphObjs objects;
  AddConcatMatrix(objects, {width, 0, 0, height, 0, 0});
  objects.AddExternalObject(name);
  CPDFErrorRecord error;
  if (!objects.UpdateContents(*form, error)) return nullptr;
  auto box = std::make_unique<CPDFRect>();
  auto matrix = std::make_unique<CPDFMatrix>();
  if (!box->Create(&doc, 0, 0, width, height) || !matrix->Create(&doc) ||
      !form->Set_BBox(std::move(box)) || !form->Set_Matrix(std::move(matrix)) ||
      !form->Set_Resources(std::move(resources))) {
    return nullptr;
  }
  return form;
}

}  // namespace

ImageKind ImageKindOf(const std::string& fileName) {
  // Not waiting: a FIFO without a writer gives no bytes instead of holding the run. A directory
  // or a device gives none either.
  const int fd = open(fileName.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return ImageKind::kNone;
  char head[8] = {};
  const ssize_t got = read(fd, head, sizeof head);
  close(fd);
  if (got != static_cast<ssize_t>(sizeof head)) return ImageKind::kNone;
  return KindOfBytes(std::string_view(head, sizeof head));
}

std::string WatermarkFileName(const std::string& given, const std::string& withExtension) {
  if (given == withExtension || ImageKindOf(given) == ImageKind::kNone) return withExtension;
  return given;
}

std::unique_ptr<CPDFFormXObj> MakeImageForm(StampCanvas& canvas, const std::string& fileName,
                                            ImageKind kind) {
  CPDFDoc& doc = canvas.Document();
  std::string why;
  std::optional<std::string> bytes = ReadImageFile(fileName, why);
  // Refused: the file is not an image that the codecs take. Otherwise a missing image is one
  // the document did not take.
  bool refused = true;
  std::unique_ptr<CPDFImageXObj> image;
  float width = 0, height = 0;
  if (bytes && kind == ImageKind::kPng) {
    if (std::optional<PngImage> png = DecodePng(*bytes, why)) {
      bytes.reset();
      refused = false;
      width = NaturalSize(png->width, png->dpiX);
      height = NaturalSize(png->height, png->dpiY);
      image = PngXObject(doc, *png);
    }
  } else if (bytes) {
    const std::optional<JpegHeader> header = ReadJpegHeader(*bytes, why);
    if (header && uint64_t{header->width} * header->height > limits::kMaxImagePixels) {
      why = Format("image too large: %u x %u pixels", header->width, header->height);
    } else if (header) {
      width = NaturalSize(header->width, header->dpiX);
      height = NaturalSize(header->height, header->dpiY);
      image = JpegXObject(doc, *header, *bytes);
      refused = image && !JpegDecodes(*image, *header, why);
    }
  }
  if (refused) {
    canvas.LogError(Format("cannot read image: %s: %s", fileName.c_str(), why.c_str()));
    return nullptr;
  }
  std::unique_ptr<CPDFFormXObj> form =
      image ? FormAround(doc, std::move(image), width, height) : nullptr;
  if (!form) canvas.LogError("cannot define PDF FormXObject", doc.LastError());
  return form;
}

}  // namespace quarn
