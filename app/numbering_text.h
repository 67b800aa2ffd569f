// The number text in the font's own encoding: a format typed on a UTF-8 command line is
// converted (with iconv) to the encoding the numbering font reads its bytes in.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quarn {

// True when `text` is valid UTF-8 and holds at least one non-ASCII character: such a format is
// converted. Pure ASCII, and bytes that are not UTF-8 (raw Shift-JIS from a legacy script), go
// to the font unchanged.
bool NeedsEncodingConversion(std::string_view text);

// `utf8` in the iconv character set `charset`; none when a character has no code there (or the
// conversion is not available).
std::optional<std::string> ConvertFromUTF8(std::string_view utf8, const char* charset);

// The first character of `utf8` (as its UTF-8 bytes) that the iconv character set `charset`
// has no code for; none when every one has one.
std::optional<std::string> FirstCharacterNotIn(std::string_view utf8, const char* charset);

// How a message names the encoding of the iconv character set `charset`: the font encoding
// with its code page ("WinAnsiEncoding (CP1252)"), or the code page alone ("CP932").
std::string EncodingDisplayName(const char* charset);

// The character set of the bytes a Japanese CMap reads: "CP932" for the RKSJ CMaps, "EUC-JP"
// for the EUC ones, nullptr for any other.
const char* CharsetOfCMap(std::string_view cmapName);

// Simple Latin fonts get their text as WinAnsiEncoding, that is code page 1252.
inline constexpr const char* kLatinFontEncoding = "WinAnsiEncoding";
inline constexpr const char* kLatinCharset = "CP1252";
// TrueType faces with only a Macintosh cmap read MacRomanEncoding.
inline constexpr const char* kMacFontEncoding = "MacRomanEncoding";
inline constexpr const char* kMacCharset = "MACINTOSH";

// The iconv character set and the font encoding of the text of a TrueType face of charset
// `charSet` (0 ANSI, 77 Mac, 128 Shift-JIS, as the installed-font records number them); the
// encoding is empty where the font takes its default (the RKSJ CMap of a Japanese face).
struct FaceTextEncoding {
  const char* charset = nullptr;
  const char* fontEncoding = "";
};
FaceTextEncoding TextEncodingOfFace(uint8_t charSet);

}  // namespace quarn
