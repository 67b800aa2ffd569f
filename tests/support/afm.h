// AFM text for the font tests.
#pragma once

#include <memory>
#include <string>

#include "pdf/font/afm_file.h"

namespace quarn::test {

// Parses AFM text; the metrics, or nullptr when they do not load.
std::unique_ptr<AFMFile> ParseAFM(const std::string& text);

// A small, complete AFM text. `extraHeader` goes before the metrics, `glyphs` are the
// character metric lines.
std::string MakeAFM(const std::string& fontName, const std::string& extraHeader,
                    const std::string& glyphs);

}  // namespace quarn::test
