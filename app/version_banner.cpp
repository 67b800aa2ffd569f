#include "app/version_banner.h"

// clang-format off
#include <cstdio>  // jpeglib.h uses FILE without declaring it
#include <jpeglib.h>
// clang-format on
#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include <openssl/crypto.h>
#include <tiffio.h>
#include <zlib.h>
#include FT_FREETYPE_H

#include "pdf/object/exception.h"

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

// TIFFGetVersion() is several lines (version, then copyright); the first one names it, as
// "LIBTIFF, Version 4.5.0".
std::string TiffVersionLine() {
  std::string version = TIFFGetVersion();
  const size_t lineEnd = version.find('\n');
  if (lineEnd != std::string::npos) version.resize(lineEnd);
  return version;
}

std::string TiffVersion() {
  const std::string line = TiffVersionLine();
  const size_t number = line.find_first_of("0123456789");
  return "libtiff " + (number == std::string::npos ? line : line.substr(number));
}

std::string FreeTypeVersion() {
  FT_Library library = nullptr;
  if (FT_Init_FreeType(&library) != 0) return "(not available)";
  FT_Int major = 0, minor = 0, patch = 0;
  FT_Library_Version(library, &major, &minor, &patch);
  FT_Done_FreeType(library);
  return Format("%d.%d.%d", major, minor, patch);
}

std::string FontconfigVersion() {
  const int version = FcGetVersion();
  return Format("%d.%d.%d", version / 10000, version / 100 % 100, version % 100);
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
  banner += "\tLinked: " + TiffVersionLine() + "\n";
  banner += "zlib 1.1.3\n";
  banner += Format("\tLinked: zlib %s\n", zlibVersion());
  banner += "MD5 message-digest algorithm\n";
  banner += Format("\tRFC 1321, computed by %s\n", OpenSSL_version(OPENSSL_VERSION));
  return banner;
}

std::string VersionSummary() {
  std::string summary;
  summary += "zorvane " ZORVANE_VERSION "\n";
  summary += "libquarn " ZORVANE_VERSION "\n";
  summary += Format("zlib %s\n", zlibVersion());
  summary += JpegVersion() + "\n";
  summary += TiffVersion() + "\n";
  summary += std::string(OpenSSL_version(OPENSSL_VERSION)) + "\n";
  summary += "FreeType " + FreeTypeVersion() + "\n";
  summary += "fontconfig " + FontconfigVersion() + "\n";
  return summary;
}

}  // namespace quarn
