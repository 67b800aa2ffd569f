#include "app/numbering_text.h"

#include <errno.h>
#include <iconv.h>

#include <memory>

#include "pdf/object/utf8.h"

namespace quarn {

namespace {

struct IconvCloser {
  void operator()(void* cd) const { iconv_close(static_cast<iconv_t>(cd)); }
};

}  // namespace

bool NeedsEncodingConversion(std::string_view text) {
  bool nonAscii = false;
  for (size_t i = 0; i < text.size();) {
    const size_t n = UTF8SequenceLength(text, i);
    if (n == 0) return false;
    nonAscii = nonAscii || n > 1;
    i += n;
  }
  return nonAscii;
}

std::optional<std::string> ConvertFromUTF8(std::string_view utf8, const char* charset) {
  iconv_t raw = iconv_open(charset, "UTF-8");
  if (raw == reinterpret_cast<iconv_t>(-1)) return std::nullopt;
  std::unique_ptr<void, IconvCloser> cd(raw);
  std::string out(utf8.size() * 4 + 16, '\0');
  std::string in(utf8);
  char* inPtr = in.data();
  size_t inLeft = in.size();
  char* outPtr = out.data();
  size_t outLeft = out.size();
  // Every character of the target takes at most four bytes, so the output never runs short; a
  // character the target lacks (EILSEQ) or any other failure ends the conversion.
  if (iconv(raw, &inPtr, &inLeft, &outPtr, &outLeft) == static_cast<size_t>(-1)) {
    return std::nullopt;
  }
  if (iconv(raw, nullptr, nullptr, &outPtr, &outLeft) == static_cast<size_t>(-1)) {
    return std::nullopt;
  }
  out.resize(out.size() - outLeft);
  return out;
}

std::optional<std::string> FirstCharacterNotIn(std::string_view utf8, const char* charset) {
  for (size_t i = 0; i < utf8.size();) {
    const size_t n = UTF8SequenceLength(utf8, i);
    if (n == 0) return std::nullopt;
    if (!ConvertFromUTF8(utf8.substr(i, n), charset)) return std::string(utf8.substr(i, n));
    i += n;
  }
  return std::nullopt;
}

std::string EncodingDisplayName(const char* charset) {
  const std::string_view name = charset;
  if (name == kLatinCharset) return std::string(kLatinFontEncoding) + " (" + charset + ")";
  if (name == kMacCharset) return std::string(kMacFontEncoding) + " (Mac Roman)";
  return std::string(name);
}

FaceTextEncoding TextEncodingOfFace(uint8_t charSet) {
  switch (charSet) {
    case 0:
      return {kLatinCharset, kLatinFontEncoding};
    case 77:
      return {kMacCharset, kMacFontEncoding};
    case 128:
      return {"CP932", ""};
    default:
      return {};
  }
}

const char* CharsetOfCMap(std::string_view cmapName) {
  if (cmapName.find("RKSJ") != std::string_view::npos) return "CP932";
  if (cmapName.find("EUC") != std::string_view::npos) return "EUC-JP";
  return nullptr;
}

}  // namespace quarn
