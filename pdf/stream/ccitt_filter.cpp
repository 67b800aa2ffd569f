#include "pdf/stream/ccitt_filter.h"

#include <tiffio.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "pdf/object/limits.h"
#include "pdf/stream/filter_record.h"
#include "platform/shared_library.h"

namespace quarn {

namespace {

// clang-format off
#define QUARN_TIFF_FUNCTIONS(X)                                                             \
  X(TIFFGetVersion) X(TIFFOpenOptionsAlloc) X(TIFFOpenOptionsFree)                          \
  X(TIFFOpenOptionsSetErrorHandlerExtR) X(TIFFOpenOptionsSetWarningHandlerExtR)             \
  X(TIFFOpenOptionsSetMaxSingleMemAlloc) X(TIFFClientOpenExt) X(TIFFClose) X(TIFFGetField)  \
  X(TIFFSetField) X(TIFFReadRawStrip) X(TIFFReadScanline) X(TIFFWriteRawStrip)              \
  X(TIFFWriteScanline) X(TIFFWriteDirectory)
// clang-format on

struct TiffFunctions {
  QUARN_TIFF_FUNCTIONS(QUARN_FUNCTION_SLOT)
};

// libtiff (and the codecs it brings) is opened when the first CCITT image is met.
const TiffFunctions& Tiff() {
  static const LazyLibrary<TiffFunctions> loaded("libtiff.so.6", "QUARN_LIBTIFF",
                                                 [](SharedLibrary& library, TiffFunctions& table) {
                                                   QUARN_TIFF_FUNCTIONS(QUARN_RESOLVE_FUNCTION)
                                                 });
  return loaded.Functions();
}

// A TIFF file in memory for libtiff's client interface: nothing touches the disk, so nothing
// can be left behind.
class MemoryTiff {
 public:
  std::string bytes;

  static tmsize_t Read(thandle_t h, void* data, tmsize_t n) {
    MemoryTiff& f = Of(h);
    const size_t count = std::min(static_cast<size_t>(n), f.bytes.size() - std::min(f.m_pos, f.bytes.size()));
    if (count) std::memcpy(data, f.bytes.data() + f.m_pos, count);
    f.m_pos += count;
    return static_cast<tmsize_t>(count);
  }
  static tmsize_t Write(thandle_t h, void* data, tmsize_t n) {
    MemoryTiff& f = Of(h);
    const auto count = static_cast<size_t>(n);
    if (f.m_pos + count > f.bytes.size()) f.bytes.resize(f.m_pos + count);
    std::memcpy(f.bytes.data() + f.m_pos, data, count);
    f.m_pos += count;
    return n;
  }
  static toff_t Seek(thandle_t h, toff_t offset, int whence) {
    MemoryTiff& f = Of(h);
    const auto off = static_cast<int64_t>(offset);
    int64_t base = 0;
    if (whence == SEEK_CUR) base = static_cast<int64_t>(f.m_pos);
    if (whence == SEEK_END) base = static_cast<int64_t>(f.bytes.size());
    if (base + off < 0 || static_cast<uint64_t>(base + off) > limits::kMaxDecodedSize) {
      return static_cast<toff_t>(-1);
    }
    f.m_pos = static_cast<size_t>(base + off);
    return static_cast<toff_t>(f.m_pos);
  }
  static int Close(thandle_t) { return 0; }
  static toff_t Size(thandle_t h) { return static_cast<toff_t>(Of(h).bytes.size()); }
  static int Map(thandle_t, void**, toff_t*) { return 0; }
  static void Unmap(thandle_t, void*, toff_t) {}

  void Rewind() { m_pos = 0; }

 private:
  static MemoryTiff& Of(thandle_t h) { return *static_cast<MemoryTiff*>(h); }
  size_t m_pos = 0;
};

// libtiff's messages for one operation: handlers given to the handle itself, so that
// operations on other threads keep theirs apart and nothing is printed.
struct TiffLog {
  std::string error;
  std::string warning;

  static int Keep(std::string& target, const char* fmt, va_list ap) {
    if (target.empty()) {
      char text[512];
      std::vsnprintf(text, sizeof text, fmt, ap);
      target = text;
    }
    return 1;  // handled: libtiff's process-wide handler is not called
  }
  static int OnError(TIFF*, void* user, const char*, const char* fmt, va_list ap) {
    return Keep(static_cast<TiffLog*>(user)->error, fmt, ap);
  }
  static int OnWarning(TIFF*, void* user, const char*, const char* fmt, va_list ap) {
    return Keep(static_cast<TiffLog*>(user)->warning, fmt, ap);
  }
  std::string Message(const char* fallback) const {
    if (!error.empty()) return error;
    return warning.empty() ? fallback : warning;
  }
};

struct OptionsDeleter {
  void operator()(TIFFOpenOptions* options) const { Tiff().TIFFOpenOptionsFree(options); }
};
struct TiffCloser {
  void operator()(TIFF* tif) const { Tiff().TIFFClose(tif); }
};
using TiffHandle = std::unique_ptr<TIFF, TiffCloser>;

TiffHandle OpenTiff(MemoryTiff& file, const char* mode, TiffLog& log, const FilterFrame& frame) {
  try {
    Tiff();
  } catch (const LibraryUnavailable& e) {
    frame.Fail(kSystemError, e.what());
  }
  std::unique_ptr<TIFFOpenOptions, OptionsDeleter> options(Tiff().TIFFOpenOptionsAlloc());
  if (!options) frame.Fail(kInternalError, "TIFFOpen()");
  Tiff().TIFFOpenOptionsSetErrorHandlerExtR(options.get(), &TiffLog::OnError, &log);
  Tiff().TIFFOpenOptionsSetWarningHandlerExtR(options.get(), &TiffLog::OnWarning, &log);
  Tiff().TIFFOpenOptionsSetMaxSingleMemAlloc(options.get(),
                                             static_cast<tmsize_t>(limits::kMaxImageCodecMemory));
  file.Rewind();
  TIFF* tif = Tiff().TIFFClientOpenExt("memory", mode, &file, &MemoryTiff::Read, &MemoryTiff::Write,
                                       &MemoryTiff::Seek, &MemoryTiff::Close, &MemoryTiff::Size,
                                       &MemoryTiff::Map, &MemoryTiff::Unmap, options.get());
  if (!tif) frame.Fail(kInternalError, log.Message("TIFFOpen()"));
  return TiffHandle(tif);
}

uint16_t CompressionOf(const CPDFCCITTFaxFilter::Coding& coding) {
  if (coding.k < 0) return COMPRESSION_CCITTFAX4;
  // One-dimensional rows without end-of-line codes are what TIFF calls modified Huffman.
  if (coding.k == 0 && !coding.endOfLine) return COMPRESSION_CCITTRLE;
  return COMPRESSION_CCITTFAX3;
}

// The fields of the one-strip image, in the order the TIFF directory lists them.
void SetFields(TIFF* tif, const CPDFCCITTFaxFilter::Coding& coding, uint16_t compression,
               const FilterFrame& frame) {
  const auto width = static_cast<uint32_t>(coding.columns);
  const auto height = static_cast<uint32_t>(coding.rows);
  bool ok = Tiff().TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, width) &&
            Tiff().TIFFSetField(tif, TIFFTAG_IMAGELENGTH, height) &&
            Tiff().TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 1) &&
            Tiff().TIFFSetField(tif, TIFFTAG_COMPRESSION, compression) &&
            Tiff().TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE) &&
            Tiff().TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 1) &&
            Tiff().TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, height) &&
            Tiff().TIFFSetField(tif, TIFFTAG_XRESOLUTION, 72.0) &&
            Tiff().TIFFSetField(tif, TIFFTAG_YRESOLUTION, 72.0) &&
            Tiff().TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG) &&
            Tiff().TIFFSetField(tif, TIFFTAG_RESOLUTIONUNIT, RESUNIT_NONE);
  if (ok && compression == COMPRESSION_CCITTFAX3) {
    uint32_t options = coding.k > 0 ? GROUP3OPT_2DENCODING : 0;
    if (coding.byteAlign) options |= GROUP3OPT_FILLBITS;
    ok = Tiff().TIFFSetField(tif, TIFFTAG_GROUP3OPTIONS, options);
  }
  if (ok && compression == COMPRESSION_CCITTFAX4)
    ok = Tiff().TIFFSetField(tif, TIFFTAG_GROUP4OPTIONS, 0);
  if (!ok) frame.Fail(kInternalError, "cannot set field");
}

size_t RowBytesOf(const CPDFCCITTFaxFilter::Coding& coding, const FilterFrame& frame) {
  const uint64_t rowBytes = (static_cast<uint64_t>(coding.columns) + 7) / 8;
  if (coding.columns <= 0 || coding.rows <= 0 || rowBytes > limits::kMaxImageCodecMemory ||
      rowBytes * static_cast<uint64_t>(coding.rows) > limits::kMaxDecodedSize) {
    frame.Fail(kInvalidFormat, Format("invalid image size: %d x %d", coding.columns, coding.rows));
  }
  return static_cast<size_t>(rowBytes);
}

// Our samples and libtiff's (where 1 is always black) differ exactly when 0 means black; the
// bits past the last column stay 0.
void ToggleBlack(unsigned char* row, size_t rowBytes, int32_t columns) {
  for (size_t i = 0; i < rowBytes; ++i) row[i] = static_cast<unsigned char>(~row[i]);
  const int32_t spare = static_cast<int32_t>(rowBytes * 8) - columns;
  if (spare > 0) row[rowBytes - 1] = static_cast<unsigned char>(row[rowBytes - 1] & (0xFF << spare));
}

// Whether the coded data opens with an end-of-line code: eleven or more zero bits, then a one.
bool StartsWithEndOfLine(const std::string& data) {
  int zeros = 0;
  for (const char byte : data) {
    for (int bit = 7; bit >= 0; --bit) {
      if ((static_cast<unsigned char>(byte) >> bit) & 1) return zeros >= 11;
      ++zeros;
    }
  }
  return false;
}

// The colour of a fax image: one component, or an image mask.
void CheckColor(CPDFObjHolder* doc, const ImageParams& params, const FilterFrame& frame) {
  if (params.colorSpace) {
    if (!AsName(params.colorSpace) && !AsArray(params.colorSpace)) {
      frame.Fail(kInvalidFormat, Format("typecheck: %s", params.colorSpace->TypeName()));
    }
    std::string family;
    const int32_t components = ColorComponents(doc, params.colorSpace, family);
    const bool gray = AsName(params.colorSpace) ? family == "DeviceGray" : components == 1;
    if (!gray) frame.Fail(kInvalidFormat, Format("invalid ColorSpace: %s", family.c_str()));
    return;
  }
  if (!params.imageMask) frame.Fail(kInvalidFormat, Format("invalid ImageMask: %d", 0));
}

}  // namespace

bool CPDFCCITTFaxFilter::Decode(CPDFStream& stream, CPDFObject* parms, CPDFErrorRecord& error,
                                ProgressProc progress, CancelProc cancel,
                                const CPDFProgressRange* range) {
  return RunImageDecode(stream, parms, kClassName, &DecodeImage, error, progress, cancel, range);
}

void CPDFCCITTFaxFilter::DecodeImage(CPDFStream& image, CPDFObject* parms, StrLoad& in,
                                     FilterFrame& frame, FilterOutput& out) {
  CPDFObjHolder* doc = image.Doc();
  const ImageParams params = ImageParams::Read(doc, image, frame);
  params.RequireBits(1, frame);
  CPDFDict* dict = AsDict(parms);
  // "K" is 0 (one-dimensional Group 3) when absent, as it is in many scanners' files; a "K"
  // that is not a number is a damaged dictionary.
  CPDFObject* k = dict ? dict->GetValue(doc, "K") : nullptr;
  if (k && !AsNumber(k)) frame.Fail(kInvalidFormat, "missing value of K key");
  CheckColor(doc, params, frame);
  Coding coding;
  coding.k = k ? AsNumber(k)->IntValue() : 0;
  coding.columns = IntEntry(doc, dict, "Columns", params.width);
  coding.rows = params.height;
  coding.blackIs1 = BoolEntry(doc, dict, "BlackIs1", false);
  coding.endOfLine = BoolEntry(doc, dict, "EndOfLine", false);
  coding.byteAlign = BoolEntry(doc, dict, "EncodedByteAlign", false);
  DecodeBytes(coding, in, frame, out);
}

void CPDFCCITTFaxFilter::DecodeBytes(const Coding& given, StrLoad& in, FilterFrame& frame,
                                     FilterOutput& out) {
  const size_t rowBytes = RowBytesOf(given, frame);
  std::string data;
  data.reserve(static_cast<size_t>(in.Size() - in.Position()));
  frame.ForEachBlock(in, [&](const char* block, size_t n) {
    data.append(block, n);
    return true;
  });
  Coding coding = given;
  // Scanners write end-of-line codes without saying so; a row never starts with eleven zeros.
  if (coding.k == 0 && !coding.endOfLine && StartsWithEndOfLine(data)) coding.endOfLine = true;
  const uint16_t compression = CompressionOf(coding);
  TiffLog log;
  MemoryTiff file;
  {
    TiffHandle writer = OpenTiff(file, "w", log, frame);
    SetFields(writer.get(), coding, compression, frame);
    if (Tiff().TIFFWriteRawStrip(writer.get(), 0, data.data(), static_cast<tmsize_t>(data.size())) <
            0 ||
        !Tiff().TIFFWriteDirectory(writer.get())) {
      frame.Fail(kInternalError, log.Message("cannot write image data"));
    }
  }
  TiffHandle reader = OpenTiff(file, "rm", log, frame);
  if (compression == COMPRESSION_CCITTRLE) {
    const int mode = FAXMODE_NORTC | FAXMODE_NOEOL | (coding.byteAlign ? FAXMODE_BYTEALIGN : 0);
    if (!Tiff().TIFFSetField(reader.get(), TIFFTAG_FAXMODE, mode))
      frame.Fail(kInternalError, "cannot set field");
  }
  auto row = std::make_unique<unsigned char[]>(rowBytes);
  const uint64_t total = in.Size();
  const auto rows = static_cast<uint32_t>(coding.rows);
  for (uint32_t line = 0; line < rows; ++line) {
    frame.BeforeBlock(RowPosition(total, line, rows));
    // libtiff reports a bad code word and goes on with the next row; the data is damaged.
    if (Tiff().TIFFReadScanline(reader.get(), row.get(), line, 0) < 0 || !log.error.empty()) {
      frame.Fail(kInvalidFormat, log.Message("cannot read image data"));
    }
    if (!coding.blackIs1) ToggleBlack(row.get(), rowBytes, coding.columns);
    out.Write(reinterpret_cast<const char*>(row.get()), rowBytes);
  }
  frame.Finish();
}

bool CPDFCCITTFaxFilter::Encode(CPDFStream& stream, int32_t k, CPDFErrorRecord& error,
                                ProgressProc progress, CancelProc cancel,
                                const CPDFProgressRange* range) {
  return GuardFilterCall(kClassName, "Encode", error, [&] {
    StrLoad in;
    if (!in.Open(stream)) in.ThrowOpenFailure(kClassName, "Encode");
    if (in.Size() == 0) return;
    FilterFrame frame(kClassName, "Encode", progress, cancel, range, in.Size());
    CPDFObjHolder* doc = stream.Doc();
    const ImageParams params = ImageParams::Read(doc, stream, frame);
    params.RequireBits(1, frame);
    CheckColor(doc, params, frame);
    Coding coding;
    coding.k = k == -1 ? -1 : (k == 0 ? 0 : 1);
    coding.columns = params.width;
    coding.rows = params.height;
    // libtiff's Group 3 coder ends every row with an end-of-line code.
    coding.endOfLine = coding.k >= 0;
    if (CPDFObject* decode = stream.GetValue(doc, "Decode")) {
      CPDFArray* array = AsArray(decode);
      CPDFNumber* first = array && array->Count() == 2 ? AsNumber(array->GetObj(doc, 0)) : nullptr;
      CPDFNumber* second = array && array->Count() == 2 ? AsNumber(array->GetObj(doc, 1)) : nullptr;
      if (!first || !second || first->RealValue() != 1.0f || second->RealValue() != 0.0f) {
        frame.Fail(kInvalidFormat, "invalid Decode Array");
      }
      coding.blackIs1 = true;
    }
    auto parms = std::make_unique<CPDFDict>();
    bool ok = parms->SetValue(doc, "K", std::make_unique<CPDFInt>(coding.k)) &&
              parms->SetValue(doc, "Columns", std::make_unique<CPDFInt>(coding.columns));
    if (ok && coding.endOfLine) ok = parms->SetValue(doc, "EndOfLine", std::make_unique<CPDFBool>(true));
    if (ok && coding.blackIs1) ok = parms->SetValue(doc, "BlackIs1", std::make_unique<CPDFBool>(true));
    if (!ok) frame.Fail(kInternalError, "CPDFDict::SetValue()");
    CPDFFilterRecord record = CPDFFilterRecord::Prepare(stream, kFilterName, std::move(parms));
    TempHugeString result(stream.Space());
    FilterOutput out(result, frame);
    EncodeBytes(coding, in, frame, out);
    out.Flush();
    if (!stream.SetData(std::move(result))) {
      Throw(kClassName, "Encode", kInternalError, "CPDFStream::SetData()");
    }
    record.Commit(stream);
  });
}

void CPDFCCITTFaxFilter::EncodeBytes(const Coding& coding, StrLoad& in, FilterFrame& frame,
                                     FilterOutput& out) {
  const size_t rowBytes = RowBytesOf(coding, frame);
  const uint64_t needed = uint64_t{rowBytes} * static_cast<uint64_t>(coding.rows);
  if (in.Size() - in.Position() < needed) {
    frame.Fail(kInvalidFormat, Format("image data too short: %llu bytes for %llu",
                                      static_cast<unsigned long long>(in.Size() - in.Position()),
                                      static_cast<unsigned long long>(needed)));
  }
  const uint16_t compression =
      coding.k < 0 ? COMPRESSION_CCITTFAX4 : static_cast<uint16_t>(COMPRESSION_CCITTFAX3);
  TiffLog log;
  MemoryTiff file;
  {
    TiffHandle writer = OpenTiff(file, "w", log, frame);
    SetFields(writer.get(), coding, compression, frame);
    auto row = std::make_unique<unsigned char[]>(rowBytes);
    const uint64_t total = in.Size();
    const auto rows = static_cast<uint32_t>(coding.rows);
    for (uint32_t line = 0; line < rows; ++line) {
      frame.BeforeBlock(RowPosition(total, line, rows));
      size_t filled = 0;
      while (filled < rowBytes) {
        const char* block = nullptr;
        const size_t n = in.Next(&block, rowBytes - filled);
        std::memcpy(row.get() + filled, block, n);
        filled += n;
      }
      if (!coding.blackIs1) ToggleBlack(row.get(), rowBytes, coding.columns);
      if (Tiff().TIFFWriteScanline(writer.get(), row.get(), line, 0) < 0) {
        frame.Fail(kInternalError, log.Message("cannot write image data"));
      }
    }
    if (!Tiff().TIFFWriteDirectory(writer.get())) {
      frame.Fail(kInternalError, log.Message("cannot write image data"));
    }
  }
  TiffHandle reader = OpenTiff(file, "rm", log, frame);
  toff_t* counts = nullptr;
  if (!Tiff().TIFFGetField(reader.get(), TIFFTAG_STRIPBYTECOUNTS, &counts) || !counts) {
    frame.Fail(kInternalError, "cannot get field");
  }
  const auto size = static_cast<tmsize_t>(counts[0]);
  auto encoded = std::make_unique_for_overwrite<char[]>(static_cast<size_t>(size));
  if (Tiff().TIFFReadRawStrip(reader.get(), 0, encoded.get(), size) != size) {
    frame.Fail(kInternalError, log.Message("cannot read image data"));
  }
  out.Write(encoded.get(), static_cast<size_t>(size));
  frame.Finish();
}

std::string CPDFCCITTFaxFilter::LibraryVersion() {
  try {
    std::string version = Tiff().TIFFGetVersion();
    // The text is several lines (version, then copyright); the first one names it.
    const size_t lineEnd = version.find('\n');
    if (lineEnd != std::string::npos) version.resize(lineEnd);
    return version;
  } catch (const LibraryUnavailable&) {
    return "(not available)";
  }
}

}  // namespace quarn
