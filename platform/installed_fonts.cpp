#include "platform/installed_fonts.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_SFNT_NAMES_H
#include FT_TRUETYPE_IDS_H
#include FT_TRUETYPE_TABLES_H
#include FT_TRUETYPE_TAGS_H
#include FT_ADVANCES_H
#include <iconv.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <tuple>

#include "platform/shared_library.h"

namespace quarn {

namespace {

// clang-format off
#define QUARN_FREETYPE_FUNCTIONS(X)                                                       \
  X(FT_Init_FreeType) X(FT_Done_FreeType) X(FT_Library_Version) X(FT_New_Face)            \
  X(FT_Done_Face) X(FT_Select_Charmap) X(FT_Get_Char_Index) X(FT_Get_Advance)             \
  X(FT_Get_Sfnt_Name) X(FT_Get_Sfnt_Name_Count) X(FT_Get_Sfnt_Table) X(FT_Load_Sfnt_Table)
#define QUARN_FONTCONFIG_FUNCTIONS(X)                                                        \
  X(FcGetVersion) X(FcInitLoadConfigAndFonts) X(FcConfigDestroy) X(FcConfigSubstitute)       \
  X(FcDefaultSubstitute) X(FcFontList) X(FcFontSort) X(FcFontSetDestroy) X(FcObjectSetBuild) \
  X(FcObjectSetDestroy) X(FcPatternCreate) X(FcPatternDestroy) X(FcPatternAddBool)          \
  X(FcPatternAddString) X(FcPatternGetBool) X(FcPatternGetInteger) X(FcPatternGetString)
// clang-format on

struct FreeTypeFunctions {
  QUARN_FREETYPE_FUNCTIONS(QUARN_FUNCTION_SLOT)
};
struct FontconfigFunctions {
  QUARN_FONTCONFIG_FUNCTIONS(QUARN_FUNCTION_SLOT)
};

const FreeTypeFunctions& FreeType() {
  static const LazyLibrary<FreeTypeFunctions> loaded(
      "libfreetype.so.6", "QUARN_LIBFREETYPE",
      [](SharedLibrary& library, FreeTypeFunctions& table) {
        QUARN_FREETYPE_FUNCTIONS(QUARN_RESOLVE_FUNCTION)
      });
  return loaded.Functions();
}

const FontconfigFunctions& Fontconfig() {
  static const LazyLibrary<FontconfigFunctions> loaded(
      "libfontconfig.so.1", "QUARN_LIBFONTCONFIG",
      [](SharedLibrary& library, FontconfigFunctions& table) {
        QUARN_FONTCONFIG_FUNCTIONS(QUARN_RESOLVE_FUNCTION)
      });
  return loaded.Functions();
}

constexpr uint32_t kJapanCodePageBit = 1u << 17;  // OS/2 ulCodePageRange1: JIS/Japan

struct LibraryCloser {
  void operator()(FT_Library library) const { FreeType().FT_Done_FreeType(library); }
};
struct FaceCloser {
  void operator()(FT_Face face) const { FreeType().FT_Done_Face(face); }
};
using LibraryHandle = std::unique_ptr<FT_LibraryRec_, LibraryCloser>;
using FaceHandle = std::unique_ptr<FT_FaceRec_, FaceCloser>;

// A font unit value at an em of 1000.
int32_t PerMille(long value, unsigned unitsPerEm) {
  return static_cast<int32_t>(std::lround(static_cast<double>(value) * 1000.0 / unitsPerEm));
}

// The 256 characters of a code page, each converted once with iconv.
struct CodePageTable {
  std::array<std::optional<char32_t>, 256> characters{};
  explicit CodePageTable(const char* charset) {
    iconv_t cd = iconv_open("UTF-32LE", charset);
    if (cd == reinterpret_cast<iconv_t>(-1)) return;
    for (unsigned code = 0; code < 256; ++code) {
      char in = static_cast<char>(code);
      unsigned char out[8] = {};
      char* inPtr = &in;
      size_t inLeft = 1;
      char* outPtr = reinterpret_cast<char*>(out);
      size_t outLeft = sizeof out;
      iconv(cd, nullptr, nullptr, nullptr, nullptr);
      if (iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft) == static_cast<size_t>(-1)) continue;
      if (sizeof out - outLeft != 4) continue;
      characters[code] = static_cast<char32_t>(out[0] | out[1] << 8 | out[2] << 16 |
                                               static_cast<uint32_t>(out[3]) << 24);
    }
    iconv_close(cd);
  }
};

bool HasCharmap(FT_Face face, FT_UShort platform, FT_UShort encoding) {
  for (FT_Int i = 0; i < face->num_charmaps; ++i) {
    const FT_CharMap map = face->charmaps[i];
    if (map->platform_id == platform && map->encoding_id == encoding) return true;
  }
  return false;
}

bool HasUnicodeCharmap(FT_Face face) {
  for (FT_Int i = 0; i < face->num_charmaps; ++i) {
    if (face->charmaps[i]->encoding == FT_ENCODING_UNICODE) return true;
  }
  return false;
}

uint8_t CharsetOf(FT_Face face, const TT_OS2* os2) {
  const bool unicode = HasUnicodeCharmap(face);
  if (unicode && os2 && (os2->ulCodePageRange1 & kJapanCodePageBit) != 0) return kCharsetShiftJIS;
  if (!unicode && HasCharmap(face, TT_PLATFORM_MICROSOFT, TT_MS_ID_SYMBOL_CS))
    return kCharsetSymbol;
  if (!unicode && HasCharmap(face, TT_PLATFORM_MACINTOSH, TT_MAC_ID_ROMAN)) return kCharsetMac;
  return kCharsetAnsi;
}

// The family nibble: monospaced faces are modern; else PANOSE says, else the OS/2 class.
uint8_t FamilyOf(const std::array<uint8_t, 10>& panose, const TT_OS2* os2, bool fixed) {
  if (fixed) return kFamilyModern;
  switch (panose[0]) {
    case 2:  // Latin text: the serif style tells serif from sans
      if (panose[1] >= 11 && panose[1] <= 13) return kFamilySwiss;
      if (panose[1] >= 2) return kFamilyRoman;
      break;
    case 3:
      return kFamilyScript;
    case 4:
    case 5:
      return kFamilyDecorative;
    default:
      break;
  }
  switch (os2 ? (os2->sFamilyClass >> 8) : 0) {
    case 1:
    case 2:
    case 3:
    case 4:
    case 5:
    case 7:
      return kFamilyRoman;
    case 8:
      return kFamilySwiss;
    case 10:
      return kFamilyScript;
    case 9:
    case 12:
      return kFamilyDecorative;
    default:
      return 0;
  }
}

std::string Utf16BEToUtf8(const FT_Byte* bytes, FT_UInt length) {
  std::string out;
  for (FT_UInt i = 0; i + 1 < length; i += 2) {
    const unsigned unit = static_cast<unsigned>(bytes[i]) << 8 | bytes[i + 1];
    if (unit < 0x80) {
      out.push_back(static_cast<char>(unit));
    } else if (unit < 0x800) {
      out.push_back(static_cast<char>(0xC0 | unit >> 6));
      out.push_back(static_cast<char>(0x80 | (unit & 0x3F)));
    } else {  // surrogates are not expected in a face name; kept as they come
      out.push_back(static_cast<char>(0xE0 | unit >> 12));
      out.push_back(static_cast<char>(0x80 | ((unit >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (unit & 0x3F)));
    }
  }
  return out;
}

// Name ID 4: the Windows English record, else the Mac Roman English one, else family and style.
std::string FullNameOf(FT_Face face) {
  std::string mac;
  const FT_UInt count = FreeType().FT_Get_Sfnt_Name_Count(face);
  for (FT_UInt i = 0; i < count; ++i) {
    FT_SfntName name;
    if (FreeType().FT_Get_Sfnt_Name(face, i, &name) != 0 || name.name_id != TT_NAME_ID_FULL_NAME)
      continue;
    if (name.platform_id == TT_PLATFORM_MICROSOFT &&
        name.language_id == TT_MS_LANGID_ENGLISH_UNITED_STATES) {
      return Utf16BEToUtf8(name.string, name.string_len);
    }
    if (name.platform_id == TT_PLATFORM_MACINTOSH && name.encoding_id == TT_MAC_ID_ROMAN &&
        name.language_id == TT_MAC_LANGID_ENGLISH && mac.empty()) {
      mac.assign(reinterpret_cast<const char*>(name.string), name.string_len);
    }
  }
  if (!mac.empty()) return mac;
  std::string result = face->family_name ? face->family_name : "";
  if (face->style_name && std::strcmp(face->style_name, "Regular") != 0) {
    result += std::string(" ") + face->style_name;
  }
  return result;
}

// The glyph a single-byte code selects through the face's charset.
FT_UInt GlyphOfCode(FT_Face face, uint8_t charSet, uint8_t code) {
  switch (charSet) {
    case kCharsetMac:
      return FreeType().FT_Select_Charmap(face, FT_ENCODING_APPLE_ROMAN) == 0
                 ? FreeType().FT_Get_Char_Index(face, code)
                 : 0;
    case kCharsetSymbol:
      return FreeType().FT_Select_Charmap(face, FT_ENCODING_MS_SYMBOL) == 0
                 ? FreeType().FT_Get_Char_Index(face, 0xF000u + code)
                 : 0;
    default: {
      const std::optional<char32_t> character = CodePageCharacter(charSet, code);
      if (!character || FreeType().FT_Select_Charmap(face, FT_ENCODING_UNICODE) != 0) return 0;
      return FreeType().FT_Get_Char_Index(face, *character);
    }
  }
}

void ReadWidths(FT_Face face, TrueTypeFaceInfo& info) {
  std::array<std::optional<int32_t>, 256> all{};
  int first = -1;
  int last = -1;
  for (int code = 0; code < 256; ++code) {
    const FT_UInt glyph = GlyphOfCode(face, info.charSet, static_cast<uint8_t>(code));
    FT_Fixed advance = 0;
    if (glyph == 0 || FreeType().FT_Get_Advance(face, glyph, FT_LOAD_NO_SCALE, &advance) != 0)
      continue;
    all[static_cast<size_t>(code)] = PerMille(advance, face->units_per_EM);
    if (first < 0) first = code;
    last = code;
  }
  if (first < 0) return;
  info.firstChar = static_cast<uint8_t>(first);
  info.lastChar = static_cast<uint8_t>(last);
  info.widths.assign(all.begin() + first, all.begin() + last + 1);
}

bool HasGlyfTable(FT_Face face) {
  FT_ULong length = 0;
  return FreeType().FT_Load_Sfnt_Table(face, TTAG_glyf, 0, nullptr, &length) == 0 && length > 0;
}

std::string FcString(FcPattern* pattern, const char* object, int n = 0) {
  FcChar8* value = nullptr;
  if (Fontconfig().FcPatternGetString(pattern, object, n, &value) != FcResultMatch || !value)
    return {};
  return reinterpret_cast<const char*>(value);
}

// The value of a name object in English where the pattern has it, else the first.
std::string FcEnglish(FcPattern* pattern, const char* object, const char* langObject) {
  for (int n = 0;; ++n) {
    const std::string lang = FcString(pattern, langObject, n);
    if (lang.empty()) break;
    if (lang == "en") return FcString(pattern, object, n);
  }
  return FcString(pattern, object);
}

int FcInteger(FcPattern* pattern, const char* object, int fallback) {
  int value = fallback;
  return Fontconfig().FcPatternGetInteger(pattern, object, 0, &value) == FcResultMatch ? value
                                                                                       : fallback;
}

bool FcFlag(FcPattern* pattern, const char* object) {
  FcBool value = FcFalse;
  return Fontconfig().FcPatternGetBool(pattern, object, 0, &value) == FcResultMatch && value;
}

}  // namespace

std::optional<int32_t> TrueTypeFaceInfo::WidthOf(uint8_t code) const {
  if (widths.empty() || code < firstChar || code > lastChar) return std::nullopt;
  return widths[static_cast<size_t>(code - firstChar)];
}

std::string TrueTypeLookupKey(std::string_view name) {
  std::string key;
  for (char c : name.substr(0, name.find(','))) {
    if (c != ' ') key.push_back(c);
  }
  return key;
}

std::optional<FaceStyle> StyleSuffix(std::string_view name) {
  const size_t comma = name.find(',');
  if (comma == std::string_view::npos) return std::nullopt;
  std::string word;
  for (char c : name.substr(comma + 1)) {
    if (c != ' ') word.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
  }
  if (word == "bold") return FaceStyle{true, false};
  if (word == "italic" || word == "oblique") return FaceStyle{false, true};
  if (word == "bolditalic" || word == "boldoblique") return FaceStyle{true, true};
  return std::nullopt;
}

std::optional<char32_t> CodePageCharacter(uint8_t charSet, uint8_t code) {
  static const CodePageTable cp1252("CP1252");
  static const CodePageTable cp932("CP932");
  const CodePageTable& table = charSet == kCharsetShiftJIS ? cp932 : cp1252;
  return table.characters[code];
}

std::string FreeTypeVersion() {
  try {
    const FreeTypeFunctions& freeType = FreeType();
    FT_Library library = nullptr;
    if (freeType.FT_Init_FreeType(&library) != 0) return "(not available)";
    FT_Int major = 0, minor = 0, patch = 0;
    freeType.FT_Library_Version(library, &major, &minor, &patch);
    freeType.FT_Done_FreeType(library);
    return std::to_string(major) + "." + std::to_string(minor) + "." + std::to_string(patch);
  } catch (const LibraryUnavailable&) {
    return "(not available)";
  }
}

std::string FontconfigVersion() {
  try {
    const int version = Fontconfig().FcGetVersion();
    return std::to_string(version / 10000) + "." + std::to_string(version / 100 % 100) + "." +
           std::to_string(version % 100);
  } catch (const LibraryUnavailable&) {
    return "(not available)";
  }
}

std::unique_ptr<TrueTypeFaceInfo> ReadTrueTypeFace(const std::string& file, int index) {
  FT_Library rawLibrary = nullptr;
  if (FreeType().FT_Init_FreeType(&rawLibrary) != 0) return nullptr;
  LibraryHandle library(rawLibrary);
  FT_Face rawFace = nullptr;
  if (FreeType().FT_New_Face(library.get(), file.c_str(), index, &rawFace) != 0) return nullptr;
  FaceHandle face(rawFace);
  if (!FT_IS_SFNT(rawFace) || rawFace->units_per_EM == 0 || !HasGlyfTable(rawFace)) return nullptr;

  auto info = std::make_unique<TrueTypeFaceInfo>();
  info->file = file;
  info->index = index;
  info->fullName = FullNameOf(rawFace);
  info->familyName = rawFace->family_name ? rawFace->family_name : "";
  info->style.bold = (rawFace->style_flags & FT_STYLE_FLAG_BOLD) != 0;
  info->style.italic = (rawFace->style_flags & FT_STYLE_FLAG_ITALIC) != 0;

  const unsigned em = rawFace->units_per_EM;
  const auto* os2 = static_cast<const TT_OS2*>(FreeType().FT_Get_Sfnt_Table(rawFace, FT_SFNT_OS2));
  if (os2 && os2->version == 0xFFFF) os2 = nullptr;
  const auto* head =
      static_cast<const TT_Header*>(FreeType().FT_Get_Sfnt_Table(rawFace, FT_SFNT_HEAD));
  const auto* hhea =
      static_cast<const TT_HoriHeader*>(FreeType().FT_Get_Sfnt_Table(rawFace, FT_SFNT_HHEA));
  const auto* post =
      static_cast<const TT_Postscript*>(FreeType().FT_Get_Sfnt_Table(rawFace, FT_SFNT_POST));
  if (!head || !hhea) return nullptr;

  if (os2) {
    std::copy(std::begin(os2->panose), std::end(os2->panose), info->panose.begin());
    info->fsType = os2->fsType;
  }
  const bool fixed =
      (post && post->isFixedPitch != 0) || (info->panose[0] == 2 && info->panose[3] == 9);
  const uint8_t family = FamilyOf(info->panose, os2, fixed);
  info->pitchAndFamily = static_cast<uint8_t>(family | (fixed ? kFixedPitch : 0x02));
  info->tmPitchAndFamily =
      static_cast<uint8_t>(family | kTmTrueType | kTmVector | (fixed ? 0 : kTmProportional));
  info->charSet = CharsetOf(rawFace, os2);
  info->italicAngle =
      post ? static_cast<int32_t>(std::lround(static_cast<double>(post->italicAngle) / 65536.0))
           : 0;
  info->boxLeft = PerMille(head->xMin, em);
  info->boxTop = PerMille(head->yMax, em);
  info->boxRight = PerMille(head->xMax, em);
  info->boxBottom = PerMille(head->yMin, em);
  info->macAscent = PerMille(hhea->Ascender, em);
  info->macDescent = PerMille(hhea->Descender, em);
  ReadWidths(rawFace, *info);
  return info;
}

std::optional<std::map<char32_t, FaceGlyph>> ReadFaceGlyphs(const std::string& file, int index,
                                                            const std::u32string& characters) {
  FT_Library rawLibrary = nullptr;
  if (FreeType().FT_Init_FreeType(&rawLibrary) != 0) return std::nullopt;
  LibraryHandle library(rawLibrary);
  FT_Face rawFace = nullptr;
  if (FreeType().FT_New_Face(library.get(), file.c_str(), index, &rawFace) != 0) {
    return std::nullopt;
  }
  FaceHandle face(rawFace);
  if (rawFace->units_per_EM == 0 || FreeType().FT_Select_Charmap(rawFace, FT_ENCODING_UNICODE) != 0)
    return std::nullopt;
  std::map<char32_t, FaceGlyph> glyphs;
  for (const char32_t c : characters) {
    const FT_UInt glyph = FreeType().FT_Get_Char_Index(rawFace, c);
    FT_Fixed advance = 0;
    // Glyph numbers of a TrueType face are 16-bit; one past that cannot be a code of the font.
    if (glyph == 0 || glyph > 0xFFFF ||
        FreeType().FT_Get_Advance(rawFace, glyph, FT_LOAD_NO_SCALE, &advance) != 0) {
      continue;
    }
    glyphs[c] = FaceGlyph{static_cast<uint16_t>(glyph), PerMille(advance, rawFace->units_per_EM)};
  }
  return glyphs;
}

// ---- names near a face name ------------------------------------------------------------------

namespace {

// The families of the TrueType faces in the order fontconfig ranks them for `family` (for any
// family when it is empty), each once.
std::vector<std::string> RankedTrueTypeFamilies(FcConfig* config, const std::string& family) {
  std::vector<std::string> families;
  FcPattern* pattern = Fontconfig().FcPatternCreate();
  if (!pattern) return families;
  if (!family.empty()) {
    Fontconfig().FcPatternAddString(pattern, FC_FAMILY,
                                    reinterpret_cast<const FcChar8*>(family.c_str()));
  }
  Fontconfig().FcPatternAddBool(pattern, FC_OUTLINE, FcTrue);
  Fontconfig().FcConfigSubstitute(config, pattern, FcMatchPattern);
  Fontconfig().FcDefaultSubstitute(pattern);
  FcResult result = FcResultNoMatch;
  FcFontSet* set = Fontconfig().FcFontSort(config, pattern, FcFalse, nullptr, &result);
  for (int i = 0; set && i < set->nfont; ++i) {
    FcPattern* font = set->fonts[i];
    if (FcString(font, FC_FONTFORMAT) != "TrueType") continue;
    std::string name = FcEnglish(font, FC_FAMILY, FC_FAMILYLANG);
    if (!name.empty() && std::find(families.begin(), families.end(), name) == families.end()) {
      families.push_back(std::move(name));
    }
  }
  if (set) Fontconfig().FcFontSetDestroy(set);
  Fontconfig().FcPatternDestroy(pattern);
  return families;
}

// A name with case and everything but letters and digits taken away.
std::string Simplified(std::string_view name) {
  std::string simple;
  for (const char c : name) {
    if (std::isalnum(static_cast<unsigned char>(c))) {
      simple.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
    }
  }
  return simple;
}

}  // namespace

std::vector<std::string> NearestInstalledFamilies(std::string_view name, size_t count) {
  // Names shorter than this are held in too many family names to point at any.
  constexpr size_t kShortestTelling = 3;
  std::vector<std::string> nearest;
  FcConfig* config = Fontconfig().FcInitLoadConfigAndFonts();
  if (!config) return nearest;
  const std::string family(name.substr(0, name.find(',')));
  const std::vector<std::string> ranked = RankedTrueTypeFamilies(config, family);
  const std::vector<std::string> anyName = RankedTrueTypeFamilies(config, std::string());
  Fontconfig().FcConfigDestroy(config);
  auto add = [&](const std::string& candidate) {
    if (nearest.size() < count &&
        std::find(nearest.begin(), nearest.end(), candidate) == nearest.end()) {
      nearest.push_back(candidate);
    }
  };
  // fontconfig always answers: after what it puts in the name's place come the faces it falls
  // back on for any name, and those say nothing about this one.
  for (const std::string& candidate : ranked) {
    if (!anyName.empty() && candidate == anyName.front()) break;
    add(candidate);
  }
  const std::string simple = Simplified(family);
  if (simple.size() < kShortestTelling) return nearest;
  for (const std::string& candidate : anyName) {
    const std::string other = Simplified(candidate);
    if (other.size() >= kShortestTelling &&
        (other.find(simple) != std::string::npos || simple.find(other) != std::string::npos)) {
      add(candidate);
    }
  }
  return nearest;
}

// ---- InstalledFonts ------------------------------------------------------------------------

InstalledFonts::InstalledFonts() {
  FcConfig* config = Fontconfig().FcInitLoadConfigAndFonts();
  if (!config) return;
  FcPattern* pattern = Fontconfig().FcPatternCreate();
  FcObjectSet* objects = Fontconfig().FcObjectSetBuild(
      FC_FILE, FC_INDEX, FC_FULLNAME, FC_FULLNAMELANG, FC_FAMILY, FC_FAMILYLANG, FC_WEIGHT,
      FC_SLANT, FC_WIDTH, FC_FONTFORMAT, FC_VARIABLE, nullptr);
  FcFontSet* set = pattern && objects ? Fontconfig().FcFontList(config, pattern, objects) : nullptr;
  for (int i = 0; set && i < set->nfont; ++i) {
    FcPattern* font = set->fonts[i];
    // TrueType outlines only (CFF-flavoured OpenType is another format), and no named
    // instances of variable faces.
    if (FcString(font, FC_FONTFORMAT) != "TrueType" || FcFlag(font, FC_VARIABLE)) continue;
    Entry entry;
    entry.file = FcString(font, FC_FILE);
    entry.index = FcInteger(font, FC_INDEX, 0);
    if (entry.file.empty() || (entry.index >> 16) != 0) continue;
    const std::string family = FcEnglish(font, FC_FAMILY, FC_FAMILYLANG);
    std::string fullName = FcEnglish(font, FC_FULLNAME, FC_FULLNAMELANG);
    if (fullName.empty()) fullName = family;
    entry.key = TrueTypeLookupKey(fullName);
    entry.family = TrueTypeLookupKey(family);
    entry.width = FcInteger(font, FC_WIDTH, FC_WIDTH_NORMAL);
    entry.style.bold = FcInteger(font, FC_WEIGHT, FC_WEIGHT_REGULAR) >= FC_WEIGHT_BOLD;
    entry.style.italic = FcInteger(font, FC_SLANT, FC_SLANT_ROMAN) != FC_SLANT_ROMAN;
    m_faces.push_back(std::move(entry));
  }
  if (set) Fontconfig().FcFontSetDestroy(set);
  if (objects) Fontconfig().FcObjectSetDestroy(objects);
  if (pattern) Fontconfig().FcPatternDestroy(pattern);
  Fontconfig().FcConfigDestroy(config);
  std::sort(m_faces.begin(), m_faces.end(), [](const Entry& a, const Entry& b) {
    return std::tie(a.file, a.index) < std::tie(b.file, b.index);
  });
}

InstalledFonts::~InstalledFonts() = default;

std::unique_ptr<TrueTypeFaceInfo> InstalledFonts::ReadUsable(const Entry& entry) {
  std::unique_ptr<TrueTypeFaceInfo> info = ReadTrueTypeFace(entry.file, entry.index);
  if (!info) return nullptr;
  const uint8_t c = info->charSet;
  if (c != kCharsetAnsi && c != kCharsetMac && c != kCharsetShiftJIS) return nullptr;
  return info;
}

std::unique_ptr<TrueTypeFaceInfo> InstalledFonts::FindFace(std::string_view key) const {
  for (auto it = m_faces.rbegin(); it != m_faces.rend(); ++it) {
    if (it->key != key) continue;
    if (std::unique_ptr<TrueTypeFaceInfo> info = ReadUsable(*it)) return info;
  }
  return nullptr;
}

std::unique_ptr<TrueTypeFaceInfo> InstalledFonts::FindStyledFace(const TrueTypeFaceInfo& regular,
                                                                 FaceStyle style) const {
  const auto self = std::find_if(m_faces.begin(), m_faces.end(), [&](const Entry& e) {
    return e.file == regular.file && e.index == regular.index;
  });
  if (self == m_faces.end()) return nullptr;
  for (auto it = m_faces.rbegin(); it != m_faces.rend(); ++it) {
    if (it->family != self->family || it->width != self->width || !(it->style == style)) continue;
    if (std::unique_ptr<TrueTypeFaceInfo> info = ReadUsable(*it)) return info;
  }
  return nullptr;
}

}  // namespace quarn
