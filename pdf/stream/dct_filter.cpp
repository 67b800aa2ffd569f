#include "pdf/stream/dct_filter.h"

// jpeglib.h needs size_t and FILE declared before it.
#include <jpeglib.h>

#include <algorithm>
#include <csetjmp>
#include <cstddef>
#include <cstdio>
#include <exception>
#include <memory>
#include <string>

#include "pdf/object/limits.h"
#include "pdf/stream/filter_record.h"
#include "platform/shared_library.h"

namespace quarn {

namespace {

// clang-format off
#define QUARN_JPEG_FUNCTIONS(X)                                                            \
  X(jpeg_std_error) X(jpeg_CreateDecompress) X(jpeg_CreateCompress) X(jpeg_destroy_decompress) \
  X(jpeg_destroy_compress) X(jpeg_read_header) X(jpeg_start_decompress) X(jpeg_read_scanlines) \
  X(jpeg_finish_decompress) X(jpeg_resync_to_restart) X(jpeg_set_defaults) X(jpeg_set_quality) \
  X(jpeg_start_compress) X(jpeg_write_scanlines) X(jpeg_finish_compress)
// clang-format on

struct JpegFunctions {
  QUARN_JPEG_FUNCTIONS(QUARN_FUNCTION_SLOT)
};

// libjpeg is opened when the first DCT image is met; without it that image's filter fails.
const JpegFunctions& Jpeg() {
  static const LazyLibrary<JpegFunctions> loaded("libjpeg.so.62", "QUARN_LIBJPEG",
                                                 [](SharedLibrary& library, JpegFunctions& table) {
                                                   QUARN_JPEG_FUNCTIONS(QUARN_RESOLVE_FUNCTION)
                                                 });
  return loaded.Functions();
}

const JpegFunctions& JpegFor(const FilterFrame& frame) {
  try {
    return Jpeg();
  } catch (const LibraryUnavailable& e) {
    frame.Fail(kSystemError, e.what());
  }
}

// libjpeg reports errors through error_exit, which must not return. Ours jumps back to the
// call that entered libjpeg; only libjpeg's frames and the entering lambda (which holds nothing
// with a destructor) are skipped. A failure of our own callbacks (the output growing past its
// limit, a failed append) takes the same way out and is rethrown after the jump.
struct JpegErrors {
  jpeg_error_mgr mgr{};
  std::jmp_buf jump{};
  std::exception_ptr pending;
  std::string message;
};

JpegErrors& ErrorsOf(j_common_ptr cinfo) {
  // `mgr` is the first member, so the manager's address is the record's.
  return *reinterpret_cast<JpegErrors*>(cinfo->err);
}

[[noreturn]] void ExitWithError(j_common_ptr cinfo) {
  JpegErrors& errors = ErrorsOf(cinfo);
  if (!errors.pending) {
    char text[JMSG_LENGTH_MAX] = {};
    (*cinfo->err->format_message)(cinfo, text);
    errors.message = text;
  }
  std::longjmp(errors.jump, 1);
}

// Warnings (corrupt data that libjpeg works around) are not printed by a library.
void IgnoreMessage(j_common_ptr) {}

// Called outside any catch block (a jump out of one would leave the exception half handled);
// `failure` is left empty, so the frames jumped over hold nothing to release.
[[noreturn]] void AbortWith(j_common_ptr cinfo, std::exception_ptr& failure) {
  ErrorsOf(cinfo).pending = std::move(failure);
  ExitWithError(cinfo);
}

void InstallErrors(JpegErrors& errors, j_common_ptr cinfo) {
  cinfo->err = Jpeg().jpeg_std_error(&errors.mgr);
  errors.mgr.error_exit = &ExitWithError;
  errors.mgr.output_message = &IgnoreMessage;
}

// Runs `step` (calls into libjpeg only) and turns an error exit into a CPDFException.
template <class Step>
void Guarded(JpegErrors& errors, const FilterFrame& frame, Step&& step) {
  if (setjmp(errors.jump) == 0) {
    step();
    return;
  }
  if (errors.pending) std::rethrow_exception(errors.pending);
  frame.Fail(kInvalidFormat, errors.message);
}

// The source: blocks of the StrLoad handed to libjpeg as they are (no copy). Past the end it
// supplies an end-of-image marker and notes that the data ran out.
struct JpegSource {
  jpeg_source_mgr mgr{};
  StrLoad* in = nullptr;
  bool outOfData = false;
};

const JOCTET kEndOfImage[2] = {0xFF, 0xD9};

JpegSource& SourceOf(j_decompress_ptr cinfo) { return *reinterpret_cast<JpegSource*>(cinfo->src); }

void InitSource(j_decompress_ptr) {}

boolean FillInput(j_decompress_ptr cinfo) {
  JpegSource& source = SourceOf(cinfo);
  const char* block = nullptr;
  const size_t n = source.in->Next(&block, StrLoad::kBlockSize);
  if (n == 0) {
    source.outOfData = true;
    source.mgr.next_input_byte = kEndOfImage;
    source.mgr.bytes_in_buffer = sizeof kEndOfImage;
  } else {
    source.mgr.next_input_byte = reinterpret_cast<const JOCTET*>(block);
    source.mgr.bytes_in_buffer = n;
  }
  return TRUE;
}

void SkipInput(j_decompress_ptr cinfo, long count) {
  JpegSource& source = SourceOf(cinfo);
  if (count <= 0) return;
  auto left = static_cast<size_t>(count);
  while (left > source.mgr.bytes_in_buffer) {
    left -= source.mgr.bytes_in_buffer;
    FillInput(cinfo);
    if (source.outOfData) return;
  }
  source.mgr.next_input_byte += left;
  source.mgr.bytes_in_buffer -= left;
}

void TermSource(j_decompress_ptr) {}

// The destination: a fixed buffer appended to the output each time it fills.
struct JpegDestination {
  static constexpr size_t kSize = 64 * 1024;
  jpeg_destination_mgr mgr{};
  FilterOutput* out = nullptr;
  std::unique_ptr<JOCTET[]> buffer = std::make_unique_for_overwrite<JOCTET[]>(kSize);
};

JpegDestination& DestinationOf(j_compress_ptr cinfo) {
  return *reinterpret_cast<JpegDestination*>(cinfo->dest);
}

void InitDestination(j_compress_ptr cinfo) {
  JpegDestination& dest = DestinationOf(cinfo);
  dest.mgr.next_output_byte = dest.buffer.get();
  dest.mgr.free_in_buffer = JpegDestination::kSize;
}

void Drain(j_compress_ptr cinfo, size_t n) {
  JpegDestination& dest = DestinationOf(cinfo);
  std::exception_ptr failure;
  try {
    dest.out->Append(reinterpret_cast<const char*>(dest.buffer.get()), n);
  } catch (...) {
    failure = std::current_exception();
  }
  if (failure) AbortWith(reinterpret_cast<j_common_ptr>(cinfo), failure);
}

boolean EmptyOutput(j_compress_ptr cinfo) {
  Drain(cinfo, JpegDestination::kSize);
  InitDestination(cinfo);
  return TRUE;
}

void TermDestination(j_compress_ptr cinfo) {
  Drain(cinfo, JpegDestination::kSize - DestinationOf(cinfo).mgr.free_in_buffer);
}

// Owners of the libjpeg objects: destroying is safe in every state, after errors included.
struct Decompressor {
  jpeg_decompress_struct cinfo{};
  JpegErrors errors;
  JpegSource source;
  Decompressor() = default;
  Decompressor(const Decompressor&) = delete;
  Decompressor& operator=(const Decompressor&) = delete;
  ~Decompressor() { Jpeg().jpeg_destroy_decompress(&cinfo); }
};

struct Compressor {
  jpeg_compress_struct cinfo{};
  JpegErrors errors;
  JpegDestination dest;
  Compressor() = default;
  Compressor(const Compressor&) = delete;
  Compressor& operator=(const Compressor&) = delete;
  ~Compressor() { Jpeg().jpeg_destroy_compress(&cinfo); }
};

void FailOutOfData(const FilterFrame& frame) { frame.Fail(kInvalidFormat, "cannot read image data"); }

void ApplyColorTransform(jpeg_decompress_struct& cinfo, int32_t colorTransform) {
  if (colorTransform < 0) return;
  if (cinfo.num_components == 3) cinfo.jpeg_color_space = colorTransform ? JCS_YCbCr : JCS_RGB;
  if (cinfo.num_components == 4) cinfo.jpeg_color_space = colorTransform ? JCS_YCCK : JCS_CMYK;
  cinfo.out_color_space = cinfo.num_components == 3 ? JCS_RGB : cinfo.out_color_space;
  if (cinfo.num_components == 4) cinfo.out_color_space = JCS_CMYK;
}

J_COLOR_SPACE JpegColorSpace(int32_t components) {
  switch (components) {
    case 1: return JCS_GRAYSCALE;
    case 3: return JCS_RGB;
    default: return JCS_CMYK;
  }
}

}  // namespace

bool CPDFDCTFilter::Decode(CPDFStream& stream, CPDFErrorRecord& error, ProgressProc progress,
                           CancelProc cancel, const CPDFProgressRange* range) {
  return RunImageDecode(stream, nullptr, kClassName, &DecodeImage, error, progress, cancel, range);
}

void CPDFDCTFilter::DecodeImage(CPDFStream& image, CPDFObject* parms, StrLoad& in,
                                FilterFrame& frame, FilterOutput& out) {
  const ImageParams params = ImageParams::Read(image.Doc(), image, frame);
  params.RequireColorSpace(frame);
  params.RequireBits(8, frame);
  DecodeBytes(in, frame, out, IntEntry(image.Doc(), AsDict(parms), "ColorTransform", -1));
}

void CPDFDCTFilter::DecodeBytes(StrLoad& in, FilterFrame& frame, FilterOutput& out,
                                int32_t colorTransform) {
  const uint64_t total = in.Size();
  const JpegFunctions& jpeg = JpegFor(frame);
  Decompressor d;
  InstallErrors(d.errors, reinterpret_cast<j_common_ptr>(&d.cinfo));
  d.source.in = &in;
  d.source.mgr.init_source = &InitSource;
  d.source.mgr.fill_input_buffer = &FillInput;
  d.source.mgr.skip_input_data = &SkipInput;
  d.source.mgr.resync_to_restart = jpeg.jpeg_resync_to_restart;
  d.source.mgr.term_source = &TermSource;
  jpeg_decompress_struct& cinfo = d.cinfo;
  Guarded(d.errors, frame, [&] {
    jpeg.jpeg_CreateDecompress(&cinfo, JPEG_LIB_VERSION, sizeof cinfo);
    cinfo.src = &d.source.mgr;
    cinfo.mem->max_memory_to_use = static_cast<long>(limits::kMaxImageCodecMemory);
    jpeg.jpeg_read_header(&cinfo, TRUE);
  });
  ApplyColorTransform(cinfo, colorTransform);
  // The header's counts are checked against the cap before any row is produced.
  const uint64_t decoded = uint64_t{cinfo.image_width} * cinfo.image_height *
                           static_cast<uint64_t>(cinfo.num_components);
  if (decoded > limits::kMaxDecodedSize) {
    frame.Fail(kInvalidFormat, Format("decoded data too large: more than %llu bytes",
                                      static_cast<unsigned long long>(limits::kMaxDecodedSize)));
  }
  Guarded(d.errors, frame, [&] { jpeg.jpeg_start_decompress(&cinfo); });
  const size_t rowBytes = size_t{cinfo.output_width} * static_cast<size_t>(cinfo.output_components);
  auto row = std::make_unique_for_overwrite<JSAMPLE[]>(rowBytes);
  JSAMPROW rows[1] = {row.get()};
  for (JDIMENSION line = 0; line < cinfo.output_height; ++line) {
    frame.BeforeBlock(RowPosition(total, line, cinfo.output_height));
    Guarded(d.errors, frame, [&] { jpeg.jpeg_read_scanlines(&cinfo, rows, 1); });
    // The rest of the rows would be made up by libjpeg: the data has ended.
    if (d.source.outOfData) FailOutOfData(frame);
    out.Write(reinterpret_cast<const char*>(row.get()), rowBytes);
  }
  Guarded(d.errors, frame, [&] { jpeg.jpeg_finish_decompress(&cinfo); });
  if (d.source.outOfData) FailOutOfData(frame);
  frame.Finish();
}

bool CPDFDCTFilter::Encode(CPDFStream& stream, int32_t quality, CPDFErrorRecord& error,
                           ProgressProc progress, CancelProc cancel,
                           const CPDFProgressRange* range) {
  return GuardFilterCall(kClassName, "Encode", error, [&] {
    StrLoad in;
    if (!in.Open(stream)) in.ThrowOpenFailure(kClassName, "Encode");
    if (in.Size() == 0) return;
    FilterFrame frame(kClassName, "Encode", progress, cancel, range, in.Size());
    const ImageParams params = ImageParams::Read(stream.Doc(), stream, frame);
    params.RequireColorSpace(frame);
    params.RequireBits(8, frame);
    if (!AsName(params.colorSpace) && !AsArray(params.colorSpace)) {
      frame.Fail(kInvalidFormat, Format("typecheck: %s", params.colorSpace->TypeName()));
    }
    std::string family;
    const int32_t components = ColorComponents(stream.Doc(), params.colorSpace, family);
    if (components != 1 && components != 3 && components != 4) {
      frame.Fail(kInvalidFormat, Format("invalid ColorSpace: %s", family.c_str()));
    }
    CPDFFilterRecord record = CPDFFilterRecord::Prepare(stream, kFilterName, nullptr);
    TempHugeString result(stream.Space());
    FilterOutput out(result, frame);
    EncodeBytes(in, params.width, params.height, components, quality, frame, out);
    out.Flush();
    if (!stream.SetData(std::move(result))) {
      Throw(kClassName, "Encode", kInternalError, "CPDFStream::SetData()");
    }
    record.Commit(stream);
  });
}

void CPDFDCTFilter::EncodeBytes(StrLoad& in, int32_t width, int32_t height, int32_t components,
                                int32_t quality, FilterFrame& frame, FilterOutput& out) {
  // JPEG holds at most 65500 samples in either direction.
  if (width <= 0 || height <= 0 || width > JPEG_MAX_DIMENSION || height > JPEG_MAX_DIMENSION) {
    frame.Fail(kInvalidFormat, Format("invalid image size: %d x %d", width, height));
  }
  const size_t rowBytes = static_cast<size_t>(width) * static_cast<size_t>(components);
  const uint64_t needed = uint64_t{rowBytes} * static_cast<uint64_t>(height);
  if (in.Size() - in.Position() < needed) {
    frame.Fail(kInvalidFormat, Format("image data too short: %llu bytes for %llu",
                                      static_cast<unsigned long long>(in.Size() - in.Position()),
                                      static_cast<unsigned long long>(needed)));
  }
  const JpegFunctions& jpeg = JpegFor(frame);
  Compressor c;
  InstallErrors(c.errors, reinterpret_cast<j_common_ptr>(&c.cinfo));
  c.dest.out = &out;
  c.dest.mgr.init_destination = &InitDestination;
  c.dest.mgr.empty_output_buffer = &EmptyOutput;
  c.dest.mgr.term_destination = &TermDestination;
  jpeg_compress_struct& cinfo = c.cinfo;
  Guarded(c.errors, frame, [&] {
    jpeg.jpeg_CreateCompress(&cinfo, JPEG_LIB_VERSION, sizeof cinfo);
    cinfo.dest = &c.dest.mgr;
    cinfo.image_width = static_cast<JDIMENSION>(width);
    cinfo.image_height = static_cast<JDIMENSION>(height);
    cinfo.input_components = components;
    cinfo.in_color_space = JpegColorSpace(components);
    jpeg.jpeg_set_defaults(&cinfo);
    jpeg.jpeg_set_quality(&cinfo, quality < 0 ? 0 : (quality > 100 ? 100 : quality), TRUE);
    jpeg.jpeg_start_compress(&cinfo, TRUE);
  });
  // A row may straddle the reader's blocks: such rows are put together in `row`.
  auto row = std::make_unique_for_overwrite<JSAMPLE[]>(rowBytes);
  for (int32_t line = 0; line < height; ++line) {
    frame.BeforeBlock(RowPosition(in.Size(), static_cast<uint64_t>(line),
                                  static_cast<uint64_t>(height)));
    size_t filled = 0;
    while (filled < rowBytes) {
      const char* block = nullptr;
      const size_t n = in.Next(&block, rowBytes - filled);
      std::copy(block, block + n, reinterpret_cast<char*>(row.get()) + filled);
      filled += n;
    }
    JSAMPROW rows[1] = {row.get()};
    Guarded(c.errors, frame, [&] { jpeg.jpeg_write_scanlines(&cinfo, rows, 1); });
  }
  Guarded(c.errors, frame, [&] { jpeg.jpeg_finish_compress(&cinfo); });
  frame.Finish();
}

}  // namespace quarn
