// Runs standard input through one of CPDFStream's filters to standard output: Flate both ways,
// with the same interface as qpdf's zlib-flate, or DCT decoding (a JPEG file in, its samples
// out, as `djpeg` does), so that each can be timed against its peer. Prints the time spent
// inside the filter on standard error.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "pdf/object/exception.h"
#include "pdf/stream/stream.h"

namespace {

// Reads straight into the stream's buffer, as a document's data would arrive.
bool ReadAll(int fd, quarn::CPDFStream& stream) {
  std::string buffer(1 << 20, '\0');
  for (;;) {
    const ssize_t n = read(fd, buffer.data(), buffer.size());
    if (n < 0) return false;
    if (n == 0) return true;
    if (!stream.AppendData(buffer.data(), static_cast<size_t>(n))) return false;
  }
}

bool WriteAll(int fd, const char* data, size_t n) {
  while (n) {
    const ssize_t w = write(fd, data, n);
    if (w <= 0) return false;
    data += w;
    n -= static_cast<size_t>(w);
  }
  return true;
}

// The entries an image stream carries, which the DCT decoder checks the JPEG against.
void DescribeImage(quarn::CPDFStream& stream, int width, int height, int components) {
  stream.SetValue(nullptr, "Width", std::make_unique<quarn::CPDFInt>(width));
  stream.SetValue(nullptr, "Height", std::make_unique<quarn::CPDFInt>(height));
  stream.SetValue(nullptr, "BitsPerComponent", std::make_unique<quarn::CPDFInt>(8));
  stream.SetValue(nullptr, "ColorSpace",
                  std::make_unique<quarn::CPDFName>(components == 1   ? "DeviceGray"
                                                    : components == 4 ? "DeviceCMYK"
                                                                      : "DeviceRGB"));
}

}  // namespace

int main(int argc, char** argv) {
  const bool compress = argc == 2 && std::strcmp(argv[1], "-compress") == 0;
  const bool uncompress = argc == 2 && std::strcmp(argv[1], "-uncompress") == 0;
  const bool dctDecode = argc == 5 && std::strcmp(argv[1], "-dctdecode") == 0;
  if (!compress && !uncompress && !dctDecode) {
    std::fprintf(stderr, "usage: %s -compress|-uncompress|-dctdecode WIDTH HEIGHT COMPONENTS < in > out\n",
                 argv[0]);
    return 2;
  }
  quarn::CPDFStream stream(nullptr);
  if (!ReadAll(0, stream)) {
    std::perror("read");
    return 1;
  }

  if (dctDecode) DescribeImage(stream, std::atoi(argv[2]), std::atoi(argv[3]), std::atoi(argv[4]));

  quarn::CPDFErrorRecord error;
  const auto start = std::chrono::steady_clock::now();
  const bool ok = compress ? stream.EncodeFlateFilter(error)
                           : stream.DecodeFilter(quarn::CPDFName(dctDecode ? "DCTDecode" : "FlateDecode"),
                                                 nullptr, error);
  const std::chrono::duration<double> spent = std::chrono::steady_clock::now() - start;
  if (!ok) {
    std::fprintf(stderr, "%s::%s: %s\n", error.Module().c_str(), error.Method().c_str(),
                 error.Message().c_str());
    return 1;
  }
  std::fprintf(stderr, "filter %.3f s\n", spent.count());
  return WriteAll(1, stream.Data(), stream.DataLength()) ? 0 : 1;
}
