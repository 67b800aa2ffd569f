#include "pdf/font/afm_file.h"

#include <sys/stat.h>

#include <limits>
#include <memory>
#include <vector>

#include "pdf/object/in_stream.h"
#include "pdf/object/lexer.h"
#include "platform/source_file.h"

namespace quarn {

namespace {

// Lines are read into a buffer of this size, so a longer line is cut after 254 bytes and its
// rest read as the next line.
constexpr size_t kLineBufferSize = 255;

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\f'; }

std::string_view SkipBlanks(std::string_view s) {
  size_t i = 0;
  while (i < s.size() && IsBlank(s[i])) ++i;
  return s.substr(i);
}

// The blank-separated tokens of a line.
std::vector<std::string_view> SplitTokens(std::string_view s) {
  std::vector<std::string_view> tokens;
  size_t i = 0;
  while (i < s.size()) {
    while (i < s.size() && IsBlank(s[i])) ++i;
    const size_t start = i;
    while (i < s.size() && !IsBlank(s[i])) ++i;
    if (i > start) tokens.push_back(s.substr(start, i - start));
  }
  return tokens;
}

// Decimal conversion of a token's leading sign and digits; anything after them (a decimal
// point and its digits among it) is ignored. Saturates instead of overflowing.
int64_t LeadingInteger(std::string_view token) {
  size_t i = 0;
  bool negative = false;
  if (i < token.size() && (token[i] == '+' || token[i] == '-')) negative = token[i++] == '-';
  int64_t value = 0;
  constexpr int64_t kCap = int64_t(1) << 40;
  for (; i < token.size() && token[i] >= '0' && token[i] <= '9'; ++i) {
    if (value < kCap) value = value * 10 + (token[i] - '0');
  }
  return negative ? -value : value;
}

template <class T>
T Saturate(int64_t v) {
  if (v < std::numeric_limits<T>::min()) return std::numeric_limits<T>::min();
  if (v > std::numeric_limits<T>::max()) return std::numeric_limits<T>::max();
  return static_cast<T>(v);
}

int16_t ToInt16(std::string_view token) { return Saturate<int16_t>(LeadingInteger(token)); }

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// "<xx>" gives the byte as the code, "<xxyy>" the two bytes big-endian; other lengths give 0.
int16_t HexCode(std::string_view token) {
  if (token.size() < 2 || token.front() != '<' || token.back() != '>') return 0;
  std::vector<int> bytes;
  int high = -1;
  for (char c : token.substr(1, token.size() - 2)) {
    const int digit = HexValue(c);
    if (digit < 0) continue;
    if (high < 0) {
      high = digit;
    } else {
      bytes.push_back(high * 16 + digit);
      high = -1;
    }
  }
  if (high >= 0) bytes.push_back(high * 16);
  if (bytes.size() == 1) return static_cast<int16_t>(bytes[0]);
  if (bytes.size() == 2)
    return static_cast<int16_t>(static_cast<uint16_t>(bytes[0] << 8 | bytes[1]));
  return 0;
}

// ---- header keys ---------------------------------------------------------------------------

using HeaderSetter = void (*)(AFMHeader& h, std::string_view rest);

void SetString(std::string& field, std::string_view rest) {
  rest = SkipBlanks(rest);
  if (!rest.empty()) field.assign(rest);
}

template <class T>
void SetNumber(T& field, std::string_view rest) {
  const auto tokens = SplitTokens(rest);
  if (!tokens.empty()) field = Saturate<T>(LeadingInteger(tokens[0]));
}

void SetBool(bool& field, std::string_view rest) {
  const auto tokens = SplitTokens(rest);
  field = !tokens.empty() && tokens[0] == "true";
}

template <size_t N>
void SetNumbers(std::array<int16_t, N>& field, std::string_view rest) {
  const auto tokens = SplitTokens(rest);
  if (tokens.size() < N) return;
  for (size_t i = 0; i < N; ++i) field[i] = ToInt16(tokens[i]);
}

struct HeaderKey {
  std::string_view name;
  HeaderSetter set;
};

// Recognised by comparing the start of the line with each name over the name's own length, in
// this order; the first match wins.
const HeaderKey kHeaderKeys[] = {
    {"FontName", [](AFMHeader& h, std::string_view r) { SetString(h.fontName, r); }},
    {"FullName", [](AFMHeader& h, std::string_view r) { SetString(h.fullName, r); }},
    {"FamilyName", [](AFMHeader& h, std::string_view r) { SetString(h.familyName, r); }},
    {"Weight", [](AFMHeader& h, std::string_view r) { SetString(h.weight, r); }},
    {"FontBBox", [](AFMHeader& h, std::string_view r) { SetNumbers(h.fontBBox, r); }},
    {"Version", [](AFMHeader& h, std::string_view r) { SetString(h.version, r); }},
    {"Notice", [](AFMHeader& h, std::string_view r) { SetString(h.notice, r); }},
    {"EncodingScheme", [](AFMHeader& h, std::string_view r) { SetString(h.encodingScheme, r); }},
    {"MappingScheme", [](AFMHeader& h, std::string_view r) { SetNumber(h.mappingScheme, r); }},
    {"EscChar", [](AFMHeader& h, std::string_view r) { SetNumber(h.escChar, r); }},
    {"CharacterSet", [](AFMHeader& h, std::string_view r) { SetString(h.characterSet, r); }},
    {"Characters", [](AFMHeader& h, std::string_view r) { SetNumber(h.characters, r); }},
    {"IsBaseFont", [](AFMHeader& h, std::string_view r) { SetBool(h.isBaseFont, r); }},
    {"VVector", [](AFMHeader& h, std::string_view r) { SetNumbers(h.vVector, r); }},
    {"IsFixedV", [](AFMHeader& h, std::string_view r) { SetBool(h.isFixedV, r); }},
    {"IsCIDFont", [](AFMHeader& h, std::string_view r) { SetBool(h.isCIDFont, r); }},
    {"CapHeight", [](AFMHeader& h, std::string_view r) { SetNumber(h.capHeight, r); }},
    {"XHeight", [](AFMHeader& h, std::string_view r) { SetNumber(h.xHeight, r); }},
    {"Ascender", [](AFMHeader& h, std::string_view r) { SetNumber(h.ascender, r); }},
    {"Descender", [](AFMHeader& h, std::string_view r) { SetNumber(h.descender, r); }},
    {"StdHW", [](AFMHeader& h, std::string_view r) { SetNumber(h.stdHW, r); }},
    {"StdVW", [](AFMHeader& h, std::string_view r) { SetNumber(h.stdVW, r); }},
    {"UnderlinePosition",
     [](AFMHeader& h, std::string_view r) { SetNumber(h.underlinePosition, r); }},
    {"UnderlineThickness",
     [](AFMHeader& h, std::string_view r) { SetNumber(h.underlineThickness, r); }},
    {"ItalicAngle", [](AFMHeader& h, std::string_view r) { SetNumber(h.italicAngle, r); }},
    {"CharWidth", [](AFMHeader& h, std::string_view r) { SetNumbers(h.charWidth, r); }},
    {"IsFixedPitch", [](AFMHeader& h, std::string_view r) { SetBool(h.isFixedPitch, r); }},
    {"stemV", [](AFMHeader& h, std::string_view r) { SetNumber(h.stemV, r); }},
};

// ---- glyph metric lines --------------------------------------------------------------------

// Reads the tokens of one metric line into `glyph`; each key consumes the tokens after it.
// Returns false when the line names no glyph.
bool ReadMetricTokens(const std::vector<std::string_view>& tokens, AFMCharMetric& glyph) {
  bool named = false;
  size_t i = 0;
  auto next = [&]() -> std::string_view {
    return i < tokens.size() ? tokens[i++] : std::string_view();
  };
  while (i < tokens.size()) {
    const std::string_view key = tokens[i++];
    if (key == "C") {
      glyph.code = ToInt16(next());
    } else if (key == "CH") {
      glyph.code = HexCode(next());
    } else if (key == "WX" || key == "W0X" || key == "W1X") {
      glyph.wx = ToInt16(next());
    } else if (key == "WY" || key == "W0Y" || key == "W1Y") {
      glyph.wy = ToInt16(next());
    } else if (key == "W" || key == "W0" || key == "W1") {
      glyph.wx = ToInt16(next());
      glyph.wy = ToInt16(next());
    } else if (key == "VV") {
      glyph.vvx = ToInt16(next());
      glyph.vvy = ToInt16(next());
    } else if (key == "N") {
      if (i < tokens.size()) {
        glyph.name.assign(next());
        named = true;
      }
    } else if (key == "B") {
      for (auto& v : glyph.bbox) v = ToInt16(next());
    }
    // Every other token (";", ligature entries "L a b") is passed over.
  }
  return named;
}

}  // namespace

void AFMFile::Reset() {
  m_header = AFMHeader();
  m_byName.clear();
  m_byCID.clear();
}

bool AFMFile::Load(const std::string& path) {
  Reset();
  struct stat st {};
  if (path.empty() || ::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  std::shared_ptr<SourceFile> file = SourceFile::Open(path);
  if (!file) return false;
  FileInStream in(file);
  return Parse(in);
}

bool AFMFile::Parse(InStream& in) {
  Reset();
  char buffer[kLineBufferSize];
  auto readLine = [&](std::string_view& line) {
    const size_t n = ReadLine(in, buffer, sizeof buffer, true);
    line = std::string_view(buffer, n);
    return n > 0;
  };

  std::string_view line;
  if (!readLine(line) || line.substr(0, 16) != "StartFontMetrics") return false;

  bool inMetrics = false;
  while (readLine(line)) {
    if (line == "EndFontMetrics") break;
    if (!inMetrics) {
      inMetrics = ParseHeaderLine(line);
      continue;
    }
    bool endOfMetrics = false;
    if (!ParseMetricLine(line, &endOfMetrics)) return false;
    if (endOfMetrics) inMetrics = false;
  }
  return IsComplete();
}

bool AFMFile::ParseHeaderLine(std::string_view line) {
  line = SkipBlanks(line);
  if (line.empty()) return false;
  for (const HeaderKey& key : kHeaderKeys) {
    if (line.substr(0, key.name.size()) == key.name) {
      key.set(m_header, line.substr(key.name.size()));
      return false;
    }
  }
  const auto tokens = SplitTokens(line);
  return !tokens.empty() && tokens[0] == "StartCharMetrics";
}

bool AFMFile::ParseMetricLine(std::string_view line, bool* endOfMetrics) {
  const auto tokens = SplitTokens(line);
  if (tokens.empty() || tokens[0].front() == '%') return true;
  if (tokens[0] == "EndCharMetrics") {
    *endOfMetrics = true;
    return true;
  }
  AFMCharMetric glyph;
  if (!ReadMetricTokens(tokens, glyph)) return false;
  if (m_header.isCIDFont) {
    const uint16_t cid = Saturate<uint16_t>(LeadingInteger(glyph.name));
    AddCIDGlyph(cid, std::move(glyph));
  } else {
    AddGlyph(std::move(glyph));
  }
  return true;
}

bool AFMFile::IsComplete() const {
  const auto& b = m_header.fontBBox;
  const bool emptyBox = b[0] == 0 && b[1] == 0 && b[2] == 0 && b[3] == 0;
  return !m_header.fontName.empty() && !emptyBox;
}

void AFMFile::AddGlyph(AFMCharMetric glyph) {
  std::string key = glyph.name;
  m_byName.insert_or_assign(std::move(key), std::move(glyph));
}

void AFMFile::AddCIDGlyph(uint16_t cid, AFMCharMetric glyph) {
  m_byCID.insert_or_assign(cid, std::move(glyph));
}

const AFMCharMetric* AFMFile::FindGlyph(std::string_view name) const {
  auto it = m_byName.find(name);
  return it == m_byName.end() ? nullptr : &it->second;
}

const AFMCharMetric* AFMFile::FindCID(uint16_t cid) const {
  auto it = m_byCID.find(cid);
  return it == m_byCID.end() ? nullptr : &it->second;
}

}  // namespace quarn
