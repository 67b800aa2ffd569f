#include "support/afm.h"

#include "pdf/object/in_stream.h"

namespace quarn::test {

std::unique_ptr<AFMFile> ParseAFM(const std::string& text) {
  MemInStream in(text.data(), text.size());
  auto afm = std::make_unique<AFMFile>();
  if (!afm->Parse(in)) return nullptr;
  return afm;
}

std::string MakeAFM(const std::string& fontName, const std::string& extraHeader,
                    const std::string& glyphs) {
  return "StartFontMetrics 4.1\nFontName " + fontName + "\nFontBBox -10 -20 900 800\n" +
         extraHeader + "StartCharMetrics 3\n" + glyphs + "EndCharMetrics\nEndFontMetrics\n";
}

}  // namespace quarn::test
