#include "pdf/font/metrics.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <vector>

#include "pdf/font/builtin_data.h"

namespace quarn {

namespace builtin {
#include "pdf/font/data/cid_metrics.inc"
#include "pdf/font/data/standard14_metrics.inc"
}  // namespace builtin

namespace {

void CopyHeader(const builtin::BuiltInFontHeader& from, AFMHeader& to) {
  to.fontName = from.fontName;
  to.fullName = from.fullName;
  to.familyName = from.familyName;
  to.weight = from.weight;
  std::copy(std::begin(from.fontBBox), std::end(from.fontBBox), to.fontBBox.begin());
  to.version = from.version;
  to.encodingScheme = from.encodingScheme;
  to.characterSet = from.characterSet;
  to.characters = from.characters;
  to.isBaseFont = from.isBaseFont;
  to.isFixedPitch = from.isFixedPitch;
  to.isCIDFont = from.isCIDFont;
  to.capHeight = from.capHeight;
  to.xHeight = from.xHeight;
  to.ascender = from.ascender;
  to.descender = from.descender;
  to.stdHW = from.stdHW;
  to.stdVW = from.stdVW;
  to.underlinePosition = from.underlinePosition;
  to.underlineThickness = from.underlineThickness;
  to.italicAngle = from.italicAngle;
  to.stemV = 0;  // no built-in font carries a stem width
}

std::unique_ptr<AFMFile> FromSimpleFont(const builtin::BuiltInFontHeader& font) {
  auto afm = std::make_unique<AFMFile>();
  CopyHeader(font, afm->Header());
  for (int i = 0; i < font.glyphCount; ++i) {
    const builtin::BuiltInGlyph& g = font.glyphs[i];
    AFMCharMetric glyph;
    glyph.code = g.code;
    glyph.wx = g.wx;
    glyph.name = g.name;
    std::copy(std::begin(g.bbox), std::end(g.bbox), glyph.bbox.begin());
    afm->AddGlyph(std::move(glyph));
  }
  return afm;
}

std::unique_ptr<AFMFile> FromCIDFont(const builtin::BuiltInCIDFont& font) {
  auto afm = std::make_unique<AFMFile>();
  CopyHeader(font.header, afm->Header());
  for (int cid = 0; cid < font.count; ++cid) {
    AFMCharMetric glyph;  // no code of its own; glyph boxes are not kept
    glyph.wx = font.widths[cid];
    glyph.name = std::to_string(cid);
    afm->AddCIDGlyph(static_cast<uint16_t>(cid), std::move(glyph));
  }
  return afm;
}

}  // namespace

bool IsStandard14FontName(std::string_view name) {
  static constexpr std::string_view kNames[] = {
      "Courier",     "Courier-Bold",   "Courier-BoldOblique",   "Courier-Oblique",
      "Helvetica",   "Helvetica-Bold", "Helvetica-BoldOblique", "Helvetica-Oblique",
      "Times-Roman", "Times-Bold",     "Times-Italic",          "Times-BoldItalic",
      "Symbol",      "ZapfDingbats"};
  return std::find(std::begin(kNames), std::end(kNames), name) != std::end(kNames);
}

std::unique_ptr<AFMFile> LoadBuiltInMetrics(std::string_view fontName) {
  for (const auto& font : builtin::kStandard14Fonts) {
    if (fontName == font.fontName) return FromSimpleFont(font);
  }
  for (const auto& font : builtin::kBuiltInCIDFonts) {
    if (fontName == font.header.fontName) return FromCIDFont(font);
  }
  return nullptr;
}

std::unique_ptr<AFMFile> LoadAFMFile(const std::string& path) {
  auto afm = std::make_unique<AFMFile>();
  if (!afm->Load(path)) return nullptr;
  return afm;
}

bool ScanAFMDirectory(const std::string& dir,
                      const std::function<void(std::unique_ptr<AFMFile>)>& file) {
  std::vector<std::string> names;
  if (DIR* d = ::opendir(dir.c_str())) {
    while (const dirent* entry = ::readdir(d)) names.emplace_back(entry->d_name);
    ::closedir(d);
  }
  std::sort(names.begin(), names.end());
  std::string base = dir;
  if (!base.empty() && base.back() != '/') base += '/';
  for (const std::string& name : names) {
    const std::string path = base + name;
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) continue;
    std::unique_ptr<AFMFile> afm = LoadAFMFile(path);
    if (!afm) return false;
    file(std::move(afm));
  }
  return true;
}

std::string AFMPathFor(const std::string& dir, std::string_view fontName) {
  if (fontName.find('/') != std::string_view::npos ||
      fontName.find('\0') != std::string_view::npos) {
    return std::string();
  }
  return dir + std::string(fontName) + ".afm";
}

}  // namespace quarn
