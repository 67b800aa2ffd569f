#include "pdf/stream/image_params.h"

#include <string>

#include "pdf/object/limits.h"

namespace quarn {

namespace {

int32_t RequiredCount(CPDFObjHolder* doc, const CPDFDict& image, const char* key,
                      const FilterFrame& frame) {
  CPDFNumber* number = AsNumber(image.GetValue(doc, key));
  if (!number) frame.Fail(kInvalidFormat, Format("missing value of %s key", key));
  if (number->IntValue() <= 0) {
    frame.Fail(kInvalidFormat, Format("invalid %s: %d", key, number->IntValue()));
  }
  return number->IntValue();
}

}  // namespace

ImageParams ImageParams::Read(CPDFObjHolder* doc, const CPDFDict& image, const FilterFrame& frame) {
  ImageParams params;
  params.width = RequiredCount(doc, image, "Width", frame);
  params.height = RequiredCount(doc, image, "Height", frame);
  params.bitsPerComponent = RequiredCount(doc, image, "BitsPerComponent", frame);
  params.colorSpace = image.GetValue(doc, "ColorSpace");
  params.imageMask = BoolEntry(doc, &image, "ImageMask", false);
  return params;
}

void ImageParams::RequireBits(int32_t bits, const FilterFrame& frame) const {
  if (bitsPerComponent != bits) {
    frame.Fail(kInvalidFormat, Format("invalid BitsPerComponent: %d", bitsPerComponent));
  }
}

void ImageParams::RequireColorSpace(const FilterFrame& frame) const {
  if (!colorSpace) frame.Fail(kInvalidFormat, "missing value of ColorSpace key");
}

int32_t ColorComponents(CPDFObjHolder* doc, CPDFObject* colorSpace, std::string& family) {
  CPDFName* name = AsName(colorSpace);
  CPDFArray* array = AsArray(colorSpace);
  if (array && array->Count() > 0) name = AsName(array->GetObj(doc, 0));
  if (!name) return 0;
  family = name->Str();
  if (family == "DeviceGray" || family == "CalGray" || family == "G") return 1;
  if (family == "DeviceRGB" || family == "CalRGB" || family == "RGB") return 3;
  if (family == "DeviceCMYK" || family == "CMYK") return 4;
  if (!array) return 0;
  if (family == "Indexed" || family == "Separation") return 1;
  if (family == "Lab") return 3;
  if (family == "ICCBased" && array->Count() > 1) {
    const int32_t n = IntEntry(doc, AsDict(array->GetObj(doc, 1)), "N", 0);
    return n == 1 || n == 3 || n == 4 ? n : 0;
  }
  if (family == "DeviceN" && array->Count() > 1) {
    CPDFArray* names = AsArray(array->GetObj(doc, 1));
    return names && names->Count() <= 32 ? static_cast<int32_t>(names->Count()) : 0;
  }
  return 0;
}

int32_t IntEntry(CPDFObjHolder* doc, const CPDFDict* dict, const char* key, int32_t fallback) {
  CPDFNumber* number = dict ? AsNumber(dict->GetValue(doc, key)) : nullptr;
  return number ? number->IntValue() : fallback;
}

bool BoolEntry(CPDFObjHolder* doc, const CPDFDict* dict, const char* key, bool fallback) {
  CPDFObject* value = dict ? dict->GetValue(doc, key) : nullptr;
  return value && value->IsType(kTypeBool) ? static_cast<CPDFBool*>(value)->Value() : fallback;
}

bool RunImageDecode(CPDFStream& stream, CPDFObject* parms, const char* module, ImageCodec codec,
                    CPDFErrorRecord& error, ProgressProc progress, CancelProc cancel,
                    const CPDFProgressRange* range) {
  return GuardFilterCall(module, "Decode", error, [&] {
    StrLoad in;
    if (!in.Open(stream)) in.ThrowOpenFailure(module, "Decode");
    if (in.Size() == 0) return;
    FilterFrame frame(module, "Decode", progress, cancel, range, in.Size());
    TempHugeString result(stream.Space());
    FilterOutput out(result, frame, limits::kMaxDecodedSize);
    codec(stream, parms, in, frame, out);
    out.Flush();
    if (!stream.SetData(std::move(result))) {
      Throw(module, "Decode", kInternalError, "CPDFStream::SetData()");
    }
  });
}

}  // namespace quarn
