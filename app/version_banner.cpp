#include "app/version_banner.h"

// clang-format off
#include <cstdio>  // jpeglib.h uses FILE without declaring it
#include <jpeglib.h>
// clang-format on
#include <zlib.h>

#include "pdf/object/crypto_library.h"
#include "pdf/object/exception.h"
#include "pdf/stream/ccitt_filter.h"
#include "platform/installed_fonts.h"

namespace quarn {

namespace {

#define QUARN_STRINGIFY_TOKENS(x) #x
#define QUARN_STRINGIFY(x) QUARN_STRINGIFY_TOKENS(x)

std::string JpegVersion() {
#ifdef LIBJPEG_TURBO_VERSION
  return Format("libjpeg-turbo %s (libjpeg API version %d)", QUARN_STRINGIFY(LIBJPEG_TURBO_VERSION),
                JPEG_LIB_VERSION);
#else
  return Format("libjpeg (API version %d)", JPEG_LIB_VERSION);
#endif
}

// "libtiff 4.5.0" from the library's own first line, "LIBTIFF, Version 4.5.0".
std::string TiffVersion() {
  const std::string line = CPDFCCITTFaxFilter::LibraryVersion();
  const size_t number = line.find_first_of("0123456789");
  return "libtiff " + (number == std::string::npos ? line : line.substr(number));
}

}  // namespace

std::string VersionBanner() {
  std::string banner;
  banner += "zorvane\n";
  banner += "\tStamps watermarks and page numbers onto the pages of PDF files.\n";
  banner += "libquarn 2.4.0\n";
  banner += "\tPDF object library. Installed fonts through FreeType " + FreeTypeVersion() +
            " and fontconfig " + FontconfigVersion() + ".\n";
  banner += "\n";
  banner += "The Independent JPEG Group's JPEG software release 6b of 27-Mar-1998\n";
  banner += "\tLinked: " + JpegVersion() + "\n";
  banner += "TIFF Software Distribution v3.4\n";
  banner += "\tLinked: " + CPDFCCITTFaxFilter::LibraryVersion() + "\n";
  banner += "zlib 1.1.3\n";
  banner += Format("\tLinked: zlib %s\n", zlibVersion());
  banner += "MD5 message-digest algorithm\n";
  banner += "\tRFC 1321, computed by " + CryptoVersion() + "\n";
  return banner;
}

std::string VersionSummary() {
  std::string summary;
  summary += "zorvane " ZORVANE_VERSION "\n";
  summary += "libquarn " ZORVANE_VERSION "\n";
  summary += Format("zlib %s\n", zlibVersion());
  summary += JpegVersion() + "\n";
  summary += TiffVersion() + "\n";
  summary += CryptoVersion() + "\n";
  summary += "FreeType " + FreeTypeVersion() + "\n";
  summary += "fontconfig " + FontconfigVersion() + "\n";
  return summary;
}

}  // namespace quarn
