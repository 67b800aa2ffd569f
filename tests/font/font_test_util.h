// Helpers for the font tests: AFM text, parsed values and written bytes.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "pdf/font/afm_file.h"
#include "pdf/object/in_stream.h"
#include "pdf/object/out_stream.h"
#include "pdf/object/parser.h"
#include "pdf/stream/stream.h"
#include "pdf/object/values.h"

namespace quarn::test {

// Parses AFM text; the metrics, or nullptr when they do not load.
inline std::unique_ptr<AFMFile> ParseAFM(const std::string& text) {
  MemInStream in(text.data(), text.size());
  auto afm = std::make_unique<AFMFile>();
  if (!afm->Parse(in)) return nullptr;
  return afm;
}

// A small, complete AFM text. `extraHeader` goes before the metrics, `glyphs` are the
// character metric lines.
inline std::string MakeAFM(const std::string& fontName, const std::string& extraHeader,
                           const std::string& glyphs) {
  return "StartFontMetrics 4.1\n"
         "FontName " +
         fontName +
         "\n"
         "FontBBox -10 -20 900 800\n" +
         extraHeader + "StartCharMetrics 3\n" + glyphs +
         "EndCharMetrics\n"
         "EndFontMetrics\n";
}

// Parses one PDF value, as a document reader would (numbers carry the generic number type).
inline std::unique_ptr<CPDFObject> ParseValue(const std::string& text, CPDFObjHolder* doc = nullptr) {
  MemInStream in(text.data(), text.size());
  return SerializeObject(doc, in);
}

inline std::unique_ptr<CPDFDict> ParseDict(const std::string& text, CPDFObjHolder* doc = nullptr) {
  std::unique_ptr<CPDFObject> value = ParseValue(text, doc);
  if (!value || value->TypeCode() != kTypeDict) return nullptr;
  return std::unique_ptr<CPDFDict>(static_cast<CPDFDict*>(value.release()));
}

// The bytes a value writes.
inline std::string Written(const CPDFAtom& atom) {
  StringOutStream out;
  atom.Serialize(out, nullptr);
  return out.Str();
}

}  // namespace quarn::test
