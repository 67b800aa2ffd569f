// The metrics of one font as an AFM (Adobe Font Metrics) file describes them: header values and
// one record per glyph, filed by glyph name (simple fonts) or by CID (CID-keyed fonts).
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>

namespace quarn {

class InStream;

// One glyph of the metrics.
struct AFMCharMetric {
  int16_t code = -1;  // -1 when the glyph has no code of its own
  int16_t wx = 0;
  int16_t wy = 0;
  int16_t vvx = 0;
  int16_t vvy = 0;
  std::string name;
  std::array<int16_t, 4> bbox{};  // llx, lly, urx, ury
};

// The header values of a metrics file. Numbers are 16-bit unless said; everything starts at 0.
struct AFMHeader {
  std::string fontName;
  std::string fullName;
  std::string familyName;
  std::string weight;
  std::string version;
  std::string notice;
  std::string encodingScheme;
  std::string characterSet;
  std::array<int16_t, 4> fontBBox{};
  int32_t mappingScheme = 0;
  int32_t escChar = 0;
  int32_t characters = 0;
  bool isBaseFont = false;
  bool isFixedV = false;
  bool isCIDFont = false;
  bool isFixedPitch = false;
  std::array<int16_t, 2> vVector{};
  int16_t capHeight = 0;
  int16_t xHeight = 0;
  int16_t ascender = 0;
  int16_t descender = 0;
  int16_t stdHW = 0;
  int16_t stdVW = 0;
  int16_t underlinePosition = 0;
  int16_t underlineThickness = 0;
  int16_t italicAngle = 0;  // whole degrees
  std::array<int16_t, 2> charWidth{};
  int16_t stemV = 0;  // only the "stemV" key sets it; StdVW does not
};

class AFMFile {
 public:
  AFMFile() = default;
  AFMFile(const AFMFile&) = delete;
  AFMFile& operator=(const AFMFile&) = delete;

  // Reads the file at `path` (it must be a regular file). Any parse error gives false; the
  // object is then not to be used.
  bool Load(const std::string& path);
  // Parses AFM text from any input; the same rules as Load.
  bool Parse(InStream& in);

  const AFMHeader& Header() const { return m_header; }
  AFMHeader& Header() { return m_header; }
  bool IsCIDFont() const { return m_header.isCIDFont; }

  // The glyph of a simple font by name, or nullptr.
  const AFMCharMetric* FindGlyph(std::string_view name) const;
  // The glyph of a CID-keyed font by CID, or nullptr.
  const AFMCharMetric* FindCID(uint16_t cid) const;

  // Files a glyph, replacing one of the same name (or the same CID for CID-keyed metrics).
  void AddGlyph(AFMCharMetric glyph);
  void AddCIDGlyph(uint16_t cid, AFMCharMetric glyph);

  const std::map<std::string, AFMCharMetric, std::less<>>& GlyphsByName() const { return m_byName; }
  const std::map<uint16_t, AFMCharMetric>& GlyphsByCID() const { return m_byCID; }

 private:
  void Reset();
  // One line of the header part; returns true when it starts the glyph metrics.
  bool ParseHeaderLine(std::string_view line);
  // One line of the glyph metrics; false when the line is unusable (no glyph name).
  bool ParseMetricLine(std::string_view line, bool* endOfMetrics);
  bool IsComplete() const;

  AFMHeader m_header;
  std::map<std::string, AFMCharMetric, std::less<>> m_byName;
  std::map<uint16_t, AFMCharMetric> m_byCID;
};

}  // namespace quarn
