// The TrueType faces installed on the host, as the font code needs them: fontconfig lists the
// faces whose outlines are TrueType (glyf), FreeType reads the few tables of the face a caller
// asks for. Every metric comes at an em of 1000, the way the Windows font services report a
// face realised at a height of -1000.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quarn {

// Character sets of a face, numbered as the Windows font services number them.
inline constexpr uint8_t kCharsetAnsi = 0;
inline constexpr uint8_t kCharsetSymbol = 2;
inline constexpr uint8_t kCharsetMac = 77;
inline constexpr uint8_t kCharsetShiftJIS = 128;

// Pitch and family bits of a logical font (the family nibble is the same in both bytes).
inline constexpr uint8_t kFixedPitch = 0x01;      // lfPitchAndFamily: monospaced
inline constexpr uint8_t kTmProportional = 0x01;  // tmPitchAndFamily: the inverted bit
inline constexpr uint8_t kTmVector = 0x02;
inline constexpr uint8_t kTmTrueType = 0x04;
inline constexpr uint8_t kFamilyRoman = 0x10;   // serif
inline constexpr uint8_t kFamilySwiss = 0x20;   // sans serif
inline constexpr uint8_t kFamilyModern = 0x30;  // monospace
inline constexpr uint8_t kFamilyScript = 0x40;
inline constexpr uint8_t kFamilyDecorative = 0x50;

// OS/2 fsType bits that keep a face out of a document.
inline constexpr uint16_t kFsTypeRestricted = 0x0002;
inline constexpr uint16_t kFsTypeNoSubsetting = 0x0100;
inline constexpr uint16_t kFsTypeBitmapOnly = 0x0200;

// A style asked for after the comma of a face name ("DejaVuSans,Bold").
struct FaceStyle {
  bool bold = false;
  bool italic = false;
  bool operator==(const FaceStyle&) const = default;
};

// One installed face: what the font code reads of it.
struct TrueTypeFaceInfo {
  std::string fullName;    // name ID 4, English where the face has it
  std::string familyName;  // the family fontconfig files it under
  std::string file;        // empty for records that stand for no installed face
  int index = 0;           // face index within the file
  FaceStyle style;         // bold (weight of bold or more) and italic or oblique
  uint8_t charSet = kCharsetAnsi;
  uint8_t pitchAndFamily = 0;    // lfPitchAndFamily
  uint8_t tmPitchAndFamily = 0;  // tmPitchAndFamily (bit 0 set: proportional)
  uint8_t firstChar = 0;
  uint8_t lastChar = 0;
  std::array<uint8_t, 10> panose{};
  int32_t italicAngle = 0;  // degrees
  int32_t boxLeft = 0, boxTop = 0, boxRight = 0, boxBottom = 0;
  int32_t macAscent = 0;
  int32_t macDescent = 0;
  uint16_t fsType = 0;
  // Advance width of every code firstChar..lastChar through the charset's code page; none for
  // a code the face has no glyph for. Empty for records without a face.
  std::vector<std::optional<int32_t>> widths;

  // The width of a single-byte code, when it has one.
  std::optional<int32_t> WidthOf(uint8_t code) const;
  // True when the face's licence lets a document carry a subset of it.
  bool SubsetEmbeddable() const {
    return (fsType & (kFsTypeRestricted | kFsTypeNoSubsetting | kFsTypeBitmapOnly)) == 0;
  }
};

// The lookup key of a face name: the part before the first comma, spaces removed.
std::string TrueTypeLookupKey(std::string_view name);
// The style named after the first comma: "Bold", "Italic", "BoldItalic" (also with "Oblique"
// for "Italic" and with blanks between); none for a name without one or with another word.
std::optional<FaceStyle> StyleSuffix(std::string_view name);
// The Unicode character of a single byte in the code page of `charSet` (CP1252 or the single
// bytes of CP932); none when the code page gives it none.
std::optional<char32_t> CodePageCharacter(uint8_t charSet, uint8_t code);

// Up to `count` families of installed TrueType faces that come nearest to a face name that
// found nothing: those fontconfig puts in its place (its aliases, "Arial" gives "Liberation
// Sans"), then those whose names hold the name's family part or are held in it, case and
// blanks aside. Empty when nothing comes near.
std::vector<std::string> NearestInstalledFamilies(std::string_view name, size_t count);

// The versions of the FreeType and fontconfig this process loads ("2.12.1"); "(not available)"
// when the library cannot be opened.
std::string FreeTypeVersion();
std::string FontconfigVersion();

// Reads one face with FreeType: none when the file cannot be read or holds no such face.
std::unique_ptr<TrueTypeFaceInfo> ReadTrueTypeFace(const std::string& file, int index);

// A glyph of a face found for a character: its number and its advance width at an em of 1000.
struct FaceGlyph {
  uint16_t glyph = 0;
  int32_t advance = 0;
};
// The glyph of each of `characters` through the Unicode cmap of face `index` of `file`; a
// character the face has no glyph for is left out. None when the face cannot be read or has no
// Unicode cmap.
std::optional<std::map<char32_t, FaceGlyph>> ReadFaceGlyphs(const std::string& file, int index,
                                                            const std::u32string& characters);

// The installed TrueType faces of the host, listed once when made; faces are read on demand.
class InstalledFonts {
 public:
  InstalledFonts();
  ~InstalledFonts();
  InstalledFonts(const InstalledFonts&) = delete;
  InstalledFonts& operator=(const InstalledFonts&) = delete;

  // The face filed under the lookup key of its full name: of the faces with that key and a
  // charset the font code takes (ANSI, Mac or Shift-JIS), the last one listed.
  std::unique_ptr<TrueTypeFaceInfo> FindFace(std::string_view key) const;
  // The face of `style` in the family of `regular` at its width (condensed faces are other
  // faces), or none.
  std::unique_ptr<TrueTypeFaceInfo> FindStyledFace(const TrueTypeFaceInfo& regular,
                                                   FaceStyle style) const;
  size_t FaceCount() const { return m_faces.size(); }

 private:
  struct Entry {
    std::string key;     // lookup key of the full name
    std::string family;  // lookup key of the family
    std::string file;
    int index = 0;
    int width = 100;
    FaceStyle style;
  };
  static std::unique_ptr<TrueTypeFaceInfo> ReadUsable(const Entry& entry);

  std::vector<Entry> m_faces;  // in file order, so the outcome never depends on listing order
};

}  // namespace quarn
