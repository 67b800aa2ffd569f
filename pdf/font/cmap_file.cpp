#include "pdf/font/cmap_file.h"

#include <sys/stat.h>

#include <fstream>
#include <iterator>
#include <sstream>

#include "pdf/document/doc.h"
#include "pdf/document/lib_base.h"
#include "pdf/font/font_caches.h"

namespace quarn {

namespace builtin {

struct BuiltInCMapRange {
  uint16_t low;
  uint16_t high;
  uint8_t length;
  uint16_t cid;
};

struct BuiltInCMap {
  const char* name;
  const char* registry;
  const char* ordering;
  int16_t supplement;
  int32_t wmode;
  const char* usecmap;
  const BuiltInCMapRange* codeSpace;
  int codeSpaceCount;
  const BuiltInCMapRange* notdef;
  int notdefCount;
  const BuiltInCMapRange* cidRanges;
  int cidCount;
};

#include "pdf/font/data/cmaps.inc"

}  // namespace builtin

namespace {

constexpr std::string_view kHeaderLine = "%!PS-Adobe-3.0 Resource-CMap";

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\f'; }
bool IsDelimiter(char c) { return c == '<' || c == '>' || c == '(' || c == '[' || c == ']'; }

// The tokens of one line: blank-separated words, with hexadecimal strings, literal strings,
// "<<", ">>", "[" and "]" taken as tokens of their own even when nothing separates them
// (ToUnicode streams often write "<0003><0020>").
std::vector<std::string_view> Tokenize(std::string_view line) {
  std::vector<std::string_view> tokens;
  size_t i = 0;
  while (i < line.size()) {
    if (IsBlank(line[i])) {
      ++i;
      continue;
    }
    const size_t start = i;
    const char c = line[i];
    if ((c == '<' || c == '>') && i + 1 < line.size() && line[i + 1] == c) {
      i += 2;
    } else if (c == '<') {
      while (i < line.size() && line[i] != '>') ++i;
      i = std::min(i + 1, line.size());
    } else if (c == '(') {
      int depth = 0;
      for (; i < line.size(); ++i) {
        if (line[i] == '\\') {
          ++i;
        } else if (line[i] == '(') {
          ++depth;
        } else if (line[i] == ')' && --depth == 0) {
          ++i;
          break;
        }
      }
    } else if (c == '[' || c == ']' || c == '>') {
      ++i;
    } else {
      ++i;
      while (i < line.size() && !IsBlank(line[i]) && !IsDelimiter(line[i])) ++i;
    }
    tokens.push_back(line.substr(start, i - start));
  }
  return tokens;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The bytes of a hexadecimal string token "<...>" (blanks skipped, an odd last digit padded
// with 0); false when the token is not one.
bool HexBytes(std::string_view token, std::string& bytes) {
  bytes.clear();
  if (token.size() < 2 || token.front() != '<' || token.back() != '>') return false;
  int high = -1;
  for (char c : token.substr(1, token.size() - 2)) {
    if (IsBlank(c)) continue;
    const int digit = HexDigit(c);
    if (digit < 0) return false;
    if (high < 0) {
      high = digit;
    } else {
      bytes.push_back(static_cast<char>(high * 16 + digit));
      high = -1;
    }
  }
  if (high >= 0) bytes.push_back(static_cast<char>(high * 16));
  return true;
}

// A string token, literal "(...)" (simple escapes) or hexadecimal.
bool StringValue(std::string_view token, std::string& value) {
  if (HexBytes(token, value)) return true;
  if (token.size() < 2 || token.front() != '(' || token.back() != ')') return false;
  value.clear();
  for (size_t i = 1; i + 1 < token.size(); ++i) {
    if (token[i] == '\\' && i + 2 < token.size()) ++i;
    value.push_back(token[i]);
  }
  return true;
}

// The standard library's decimal conversion of a token: sign and leading digits, saturated.
int32_t DecimalOf(std::string_view token) {
  size_t i = 0;
  bool negative = false;
  if (i < token.size() && (token[i] == '+' || token[i] == '-')) negative = token[i++] == '-';
  int64_t value = 0;
  for (; i < token.size() && token[i] >= '0' && token[i] <= '9'; ++i) {
    if (value < (int64_t(1) << 32)) value = value * 10 + (token[i] - '0');
  }
  if (negative) value = -value;
  if (value > INT32_MAX) return INT32_MAX;
  if (value < INT32_MIN) return INT32_MIN;
  return static_cast<int32_t>(value);
}

uint16_t BigEndian(const std::string& bytes) {
  const auto b0 = static_cast<uint8_t>(bytes.size() > 0 ? bytes[0] : 0);
  const auto b1 = static_cast<uint8_t>(bytes.size() > 1 ? bytes[1] : 0);
  return static_cast<uint16_t>(b0 << 8 | b1);
}

void PutBigEndian(std::string& out, uint16_t value) {
  out.push_back(static_cast<char>(value >> 8));
  out.push_back(static_cast<char>(value & 0xFF));
}

uint16_t ReadBigEndian(std::string_view s, size_t i) {
  return static_cast<uint16_t>(static_cast<uint8_t>(s[i]) << 8 | static_cast<uint8_t>(s[i + 1]));
}

// A range from its low and high strings: both one byte or both two bytes, else unusable.
CMapRange MakeRange(const std::string& low, const std::string& high, uint16_t cid,
                    bool notdef) {
  CMapRange range;
  if (low.size() == high.size() && (low.size() == 1 || low.size() == 2)) {
    range.length = static_cast<uint8_t>(low.size());
    range.low = low.size() == 1 ? static_cast<uint8_t>(low[0]) : BigEndian(low);
    range.high = high.size() == 1 ? static_cast<uint8_t>(high[0]) : BigEndian(high);
  }
  range.startCID = cid;
  range.endCID = notdef ? cid : static_cast<uint16_t>(cid + (range.high - range.low));
  return range;
}

bool RegularFileExists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

}  // namespace

// ---- parsing -------------------------------------------------------------------------------

// Internal to the library (the CMap file befriends it): hidden from libquarn.so's exports.
class __attribute__((visibility("hidden"))) CMapParser {
 public:
  CMapParser(CMapFile& cmap, bool asToUnicode) : m_cmap(cmap), m_asToUnicode(asToUnicode) {}

  bool Run(std::string_view bytes) {
    bool first = true;
    size_t i = 0;
    while (i < bytes.size()) {
      size_t end = i;
      while (end < bytes.size() && bytes[end] != '\r' && bytes[end] != '\n') ++end;
      const std::string_view line = bytes.substr(i, end - i);
      i = end;
      if (i < bytes.size() && bytes[i] == '\r') ++i;
      if (i < bytes.size() && bytes[i] == '\n') ++i;
      if (line.empty()) continue;
      if (first && !m_asToUnicode && line != kHeaderLine) return false;
      first = false;
      if (line == "%%EOF") break;
      if (line.rfind("%%Title:", 0) == 0) {
        ReadTitle(line.substr(8));
      } else if (line.front() != '%') {
        ReadLine(Tokenize(line));
      }
    }
    if (first && !m_asToUnicode) return false;
    if (m_haveRegistry && m_haveOrdering && m_supplement >= 0) {
      m_cmap.m_registry = m_registry;
      m_cmap.m_ordering = m_ordering;
      m_cmap.m_supplement = static_cast<int16_t>(m_supplement);
    }
    return true;
  }

 private:
  enum class State { kTop, kCodeSpace, kNotdef, kCID, kBfChar, kBfRange };

  // "%%Title: (CMapName Registry Ordering Supplement)": all four or nothing.
  void ReadTitle(std::string_view rest) {
    while (!rest.empty() && IsBlank(rest.front())) rest.remove_prefix(1);
    if (rest.size() < 2 || rest.front() != '(' || rest.back() != ')') return;
    std::istringstream words(std::string(rest.substr(1, rest.size() - 2)));
    std::string name, registry, ordering, supplement, extra;
    if (!(words >> name >> registry >> ordering >> supplement) || (words >> extra)) return;
    m_cmap.m_cmapName = name;
    m_cmap.m_registry = registry;
    m_cmap.m_ordering = ordering;
    m_cmap.m_supplement = static_cast<int16_t>(DecimalOf(supplement));
  }

  void ReadLine(const std::vector<std::string_view>& t) {
    size_t i = 0;
    while (i < t.size()) {
      if (m_state == State::kTop) {
        i = ReadTopToken(t, i);
      } else {
        i = ReadEntry(t, i);
      }
    }
  }

  size_t ReadTopToken(const std::vector<std::string_view>& t, size_t i) {
    const std::string_view token = t[i];
    std::string value;
    if (token.substr(0, 9) == "/Registry" || token.substr(0, 9) == "/Ordering") {
      if (i + 1 < t.size() && StringValue(t[i + 1], value)) {
        (token[1] == 'R' ? m_registry : m_ordering) = value;
        (token[1] == 'R' ? m_haveRegistry : m_haveOrdering) = true;
      }
      return i + 2;
    }
    if (token == "/Supplement") {
      if (i + 1 < t.size()) m_supplement = DecimalOf(t[i + 1]);
      return i + 2;
    }
    if (token == "/CMapName" || token == "/CMapVersion" || token == "/CMapMode" ||
        token == "/WMode") {
      if (i + 2 < t.size() && t[i + 2] == "def") StoreDefinition(token, t[i + 1]);
      return i + 3;
    }
    if (i + 1 >= t.size()) return i + 1;
    const std::string_view next = t[i + 1];
    if (next == "usecmap") {
      m_cmap.m_useCMapName = std::string(token.substr(token.front() == '/' ? 1 : 0));
      return i + 2;
    }
    static constexpr std::pair<std::string_view, State> kBegins[] = {
        {"begincodespacerange", State::kCodeSpace}, {"beginnotdefrange", State::kNotdef},
        {"begincidrange", State::kCID},             {"beginbfchar", State::kBfChar},
        {"beginbfrange", State::kBfRange}};
    for (const auto& [keyword, state] : kBegins) {
      if (next == keyword) {
        Reserve(state, DecimalOf(token));
        m_state = state;
        return i + 2;
      }
    }
    return i + 1;
  }

  void StoreDefinition(std::string_view key, std::string_view value) {
    if (key == "/CMapName") {
      m_cmap.m_cmapName = std::string(value.substr(!value.empty() && value[0] == '/' ? 1 : 0));
    } else if (key == "/CMapVersion") {
      m_cmap.m_cmapVersion = DecimalOf(value);
    } else if (key == "/CMapMode") {
      m_cmap.m_cmapMode = DecimalOf(value);
    } else {
      m_cmap.m_wmode = DecimalOf(value);
    }
  }

  // The count before "begin...": room in that list, never trusted beyond a sane size.
  void Reserve(State state, int32_t count) {
    const size_t room = count > 0 && count <= 10000 ? static_cast<size_t>(count) : 0;
    switch (state) {
      case State::kCodeSpace: m_cmap.m_codeSpace.reserve(m_cmap.m_codeSpace.size() + room); break;
      case State::kNotdef: m_cmap.m_notdef.reserve(m_cmap.m_notdef.size() + room); break;
      case State::kCID: m_cmap.m_cidRanges.reserve(m_cmap.m_cidRanges.size() + room); break;
      case State::kBfChar: m_cmap.m_bfChars.reserve(m_cmap.m_bfChars.size() + room); break;
      case State::kBfRange: m_cmap.m_bfRanges.reserve(m_cmap.m_bfRanges.size() + room); break;
      case State::kTop: break;
    }
  }

  // One entry of the current list; an entry whose tokens run past the line is dropped.
  size_t ReadEntry(const std::vector<std::string_view>& t, size_t i) {
    static constexpr std::string_view kEnds[] = {"", "endcodespacerange", "endnotdefrange",
                                                 "endcidrange", "endbfchar", "endbfrange"};
    if (t[i] == kEnds[static_cast<int>(m_state)]) {
      m_state = State::kTop;
      return i + 1;
    }
    const size_t need = m_state == State::kCodeSpace || m_state == State::kBfChar ? 2 : 3;
    if (i + need > t.size()) return t.size();
    std::string low, high;
    HexBytes(t[i], low);
    HexBytes(t[i + 1], high);
    switch (m_state) {
      case State::kCodeSpace:
        m_cmap.m_codeSpace.push_back(MakeRange(low, high, 0, false));
        return i + 2;
      case State::kNotdef:
      case State::kCID:
        (m_state == State::kNotdef ? m_cmap.m_notdef : m_cmap.m_cidRanges)
            .push_back(MakeRange(low, high, static_cast<uint16_t>(DecimalOf(t[i + 2])),
                                 m_state == State::kNotdef));
        return i + 3;
      case State::kBfChar: {
        const uint16_t code = BigEndian(low);
        m_cmap.m_bfChars.push_back({code, code, BigEndian(high), BigEndian(high)});
        return i + 2;
      }
      case State::kBfRange:
        return ReadBfRange(t, i, BigEndian(low), BigEndian(high));
      case State::kTop:
        break;
    }
    return i + 1;
  }

  // A bf range; a destination array gives each code its own value (one bf char per code).
  size_t ReadBfRange(const std::vector<std::string_view>& t, size_t i, uint16_t low,
                     uint16_t high) {
    std::string dest;
    if (t[i + 2] != "[") {
      HexBytes(t[i + 2], dest);
      const uint16_t first = BigEndian(dest);
      m_cmap.m_bfRanges.push_back(
          {low, high, first, static_cast<uint16_t>(first + (high - low))});
      return i + 3;
    }
    size_t j = i + 3;
    uint32_t code = low;
    for (; j < t.size() && t[j] != "]"; ++j, ++code) {
      if (code <= high && HexBytes(t[j], dest)) {
        const auto c = static_cast<uint16_t>(code);
        m_cmap.m_bfChars.push_back({c, c, BigEndian(dest), BigEndian(dest)});
      }
    }
    return std::min(j + 1, t.size());
  }

  CMapFile& m_cmap;
  bool m_asToUnicode;
  State m_state = State::kTop;
  std::string m_registry;
  std::string m_ordering;
  bool m_haveRegistry = false;
  bool m_haveOrdering = false;
  int32_t m_supplement = -1;
};

void CMapFile::Reset() {
  m_cmapName.clear();
  m_registry.clear();
  m_ordering.clear();
  m_supplement = -1;
  m_cmapVersion = m_cmapMode = m_wmode = 0;
  m_useCMapName.clear();
  m_parent.reset();
  m_codeSpace.clear();
  m_notdef.clear();
  m_cidRanges.clear();
  m_bfChars.clear();
  m_bfRanges.clear();
  std::fill(std::begin(m_memoByte), std::end(m_memoByte), nullptr);
  m_memoCode.clear();
  m_memoCID.clear();
  m_memoUnicodeOfCode.clear();
  m_memoCodeOfUnicode.clear();
}

bool CMapFile::Parse(std::string_view bytes, bool asToUnicode, const std::string& cmapDir) {
  Reset();
  CMapParser parser(*this, asToUnicode);
  if (!parser.Run(bytes)) return false;
  return m_useCMapName.empty() || LoadParent(cmapDir);
}

bool CMapFile::LoadParent(const std::string& cmapDir) {
  auto parent = std::make_unique<CMapFile>();
  // A CMap that names itself, directly or through its parents, would never end.
  if (m_useCMapName == m_cmapName) return false;
  if (!parent->LoadByName(cmapDir, m_useCMapName)) return false;
  m_parent = std::move(parent);
  return true;
}

bool CMapFile::Load(const std::string& path, bool headerRequired, const std::string& cmapDir) {
  if (!RegularFileExists(path)) return false;
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) return false;
  return Parse(bytes, !headerRequired, cmapDir);
}

bool CMapFile::LoadByName(const std::string& cmapDir, const std::string& name) {
  static thread_local int depth = 0;
  constexpr int kMaxUseCMapDepth = 16;  // usecmap chains of real CMaps are one or two deep
  if (depth >= kMaxUseCMapDepth) return false;
  ++depth;
  bool ok = false;
  if (!name.empty() && name.find('/') == std::string::npos &&
      name.find('\0') == std::string::npos && !cmapDir.empty()) {
    ok = Load(cmapDir + name, true, cmapDir);
  }
  if (!ok) ok = LoadBuiltIn(name, cmapDir);
  --depth;
  return ok;
}

bool CMapFile::LoadBuiltIn(const std::string& name, const std::string& cmapDir) {
  for (const builtin::BuiltInCMap& b : builtin::kBuiltInCMaps) {
    if (name != b.name) continue;
    Reset();
    m_cmapName = b.name;
    m_registry = b.registry;
    m_ordering = b.ordering;
    m_supplement = b.supplement;
    m_wmode = b.wmode;
    auto copy = [](const builtin::BuiltInCMapRange* from, int count, bool notdef,
                   std::vector<CMapRange>& to) {
      for (int i = 0; i < count; ++i) {
        const builtin::BuiltInCMapRange& r = from[i];
        CMapRange range{r.low, r.high, r.length, r.cid, r.cid};
        if (!notdef) range.endCID = static_cast<uint16_t>(r.cid + (r.high - r.low));
        to.push_back(range);
      }
    };
    copy(b.codeSpace, b.codeSpaceCount, false, m_codeSpace);
    copy(b.notdef, b.notdefCount, true, m_notdef);
    copy(b.cidRanges, b.cidCount, false, m_cidRanges);
    m_useCMapName = b.usecmap;
    return m_useCMapName.empty() || LoadParent(cmapDir);
  }
  return false;
}

// ---- lookups -------------------------------------------------------------------------------

const CMapRange* CMapFile::FindCodeRange(const unsigned char* code, size_t remaining) const {
  const uint16_t two = remaining >= 2 ? static_cast<uint16_t>(code[0] << 8 | code[1]) : 0;
  auto matches = [&](const CMapRange& r) {
    if (r.length == 1) return r.low <= code[0] && code[0] <= r.high;
    return r.length == 2 && remaining >= 2 && r.low <= two && two <= r.high;
  };
  // Notdef ranges first, then CID ranges; each list of this CMap before its parent's.
  for (const bool notdef : {true, false}) {
    for (const CMapFile* cmap = this; cmap; cmap = cmap->m_parent.get()) {
      for (const CMapRange& r : notdef ? cmap->m_notdef : cmap->m_cidRanges) {
        if (matches(r)) return &r;
      }
    }
  }
  return nullptr;
}

size_t CMapFile::MapCodesToCIDs(std::string& out, std::string_view codes) const {
  const size_t before = out.size();
  const auto* p = reinterpret_cast<const unsigned char*>(codes.data());
  size_t i = 0;
  while (i < codes.size()) {
    const size_t remaining = codes.size() - i;
    const CMapRange* range = m_memoByte[p[i]];
    uint16_t two = 0;
    if (!range && remaining >= 2) {
      two = static_cast<uint16_t>(p[i] << 8 | p[i + 1]);
      if (auto it = m_memoCode.find(two); it != m_memoCode.end()) range = it->second;
    }
    if (!range) {
      range = FindCodeRange(p + i, remaining);
      if (!range) break;
      if (range->length == 1) {
        m_memoByte[p[i]] = range;
      } else {
        m_memoCode[two] = range;
      }
    }
    const uint16_t code = range->length == 1 ? p[i] : two;
    const uint16_t cid = range->startCID == range->endCID
                             ? range->startCID
                             : static_cast<uint16_t>(range->startCID + (code - range->low));
    PutBigEndian(out, cid);
    i += range->length;
  }
  return out.size() - before;
}

const CMapRange* CMapFile::FindCIDRange(uint16_t cid) const {
  if (auto it = m_memoCID.find(cid); it != m_memoCID.end()) return it->second;
  for (const CMapFile* cmap = this; cmap; cmap = cmap->m_parent.get()) {
    for (const CMapRange& r : cmap->m_cidRanges) {
      if (r.length != 0 && r.startCID <= cid && cid <= r.endCID) {
        m_memoCID[cid] = &r;
        return &r;
      }
    }
  }
  return nullptr;
}

size_t CMapFile::MapCIDsToCodes(std::string& out, std::string_view cids) const {
  const size_t before = out.size();
  for (size_t i = 0; i + 1 < cids.size(); i += 2) {
    const uint16_t cid = ReadBigEndian(cids, i);
    const CMapRange* range = FindCIDRange(cid);
    if (!range) continue;
    const auto code = static_cast<uint16_t>(cid - range->startCID + range->low);
    if (range->length == 1) {
      out.push_back(static_cast<char>(code & 0xFF));
    } else {
      PutBigEndian(out, code);
    }
  }
  return out.size() - before;
}

const CMapBfEntry* CMapFile::FindBfByCode(uint16_t code) const {
  if (auto it = m_memoUnicodeOfCode.find(code); it != m_memoUnicodeOfCode.end()) {
    return it->second;
  }
  for (const auto* list : {&m_bfChars, &m_bfRanges}) {
    for (const CMapBfEntry& e : *list) {
      if (e.low <= code && code <= e.high) return m_memoUnicodeOfCode[code] = &e;
    }
  }
  return nullptr;
}

const CMapBfEntry* CMapFile::FindBfByUnicode(uint16_t value) const {
  if (auto it = m_memoCodeOfUnicode.find(value); it != m_memoCodeOfUnicode.end()) {
    return it->second;
  }
  for (const auto* list : {&m_bfChars, &m_bfRanges}) {
    for (const CMapBfEntry& e : *list) {
      if (e.first <= value && value <= e.last) return m_memoCodeOfUnicode[value] = &e;
    }
  }
  return nullptr;
}

size_t CMapFile::MapCodesToUnicode(std::string& out, std::string_view codes) const {
  const size_t before = out.size();
  for (size_t i = 0; i + 1 < codes.size(); i += 2) {
    const uint16_t code = ReadBigEndian(codes, i);
    const CMapBfEntry* e = FindBfByCode(code);
    if (!e) break;
    PutBigEndian(out, static_cast<uint16_t>(code - e->low + e->first));
  }
  return out.size() - before;
}

size_t CMapFile::MapUnicodeToCodes(std::string& out, std::string_view text) const {
  const size_t before = out.size();
  for (size_t i = 0; i + 1 < text.size(); i += 2) {
    const uint16_t value = ReadBigEndian(text, i);
    const CMapBfEntry* e = FindBfByUnicode(value);
    if (!e) continue;
    PutBigEndian(out, static_cast<uint16_t>(value - e->first + e->low));
  }
  return out.size() - before;
}

// ---- CID folding ---------------------------------------------------------------------------

namespace {

uint16_t FoldVariant(uint16_t cid, bool* folded) {
  *folded = true;
  if (cid >= 7887 && cid <= 8101) return builtin::kFold_7887[cid - 7887];
  if (cid >= 8264 && cid <= 8358) return builtin::kFold_8264[cid - 8264];
  *folded = false;
  return cid;
}

template <class Fold>
void FoldEach(std::string& cids, Fold fold) {
  for (size_t i = 0; i + 1 < cids.size(); i += 2) {
    const uint16_t cid = fold(ReadBigEndian(cids, i));
    cids[i] = static_cast<char>(cid >> 8);
    cids[i + 1] = static_cast<char>(cid & 0xFF);
  }
}

}  // namespace

void FoldToHalfWidth(std::string& cids) {
  FoldEach(cids, [](uint16_t cid) -> uint16_t {
    if (cid >= 1 && cid <= 94) return static_cast<uint16_t>(cid + 230);
    if (cid == 95) return 631;
    bool folded = false;
    return FoldVariant(cid, &folded);
  });
}

void FoldToProportional(std::string& cids) {
  FoldEach(cids, [](uint16_t cid) -> uint16_t {
    if (cid >= 231 && cid <= 324) return static_cast<uint16_t>(cid - 230);
    if (cid == 631) return 95;
    bool folded = false;
    return FoldVariant(cid, &folded);
  });
}

// ---- CPDFCMap ------------------------------------------------------------------------------

bool IsCMap(CPDFObjHolder* doc, CPDFObject* value) {
  if (!value || value->TypeCode() != kTypeStream) return false;
  auto* dict = static_cast<CPDFDict*>(value);
  CPDFObject* info = dict->GetValue(doc, "CIDSystemInfo");
  return dict->HasName(doc, "Type", "CMap") && dict->GetName(doc, "CMapName") && info &&
         info->IsType(kTypeArray | kTypeDict);
}

bool CPDFCMap::Realize(CPDFObjHolder* doc, CPDFObject& source) {
  BindDoc(doc);
  SwapContent(source);
  return true;
}

std::unique_ptr<CMapFile> ParseCMapStream(CPDFObjHolder* doc, CPDFStream& stream, bool asToUnicode,
                                          const char* module, const char* operation) {
  auto copy = std::make_unique<CPDFStream>(doc);
  if (!copy->CopyFrom(stream, doc)) Throw(module, operation, kInternalError, "CPDFStream::Duplicate()");
  CPDFErrorRecord filterError;
  if (!copy->DecodeAllFilter(filterError)) throw filterError;
  const char* data = copy->Data();
  const std::string_view bytes(data ? data : "", data ? copy->DataLength() : 0);
  const std::string cmapDir =
      FontCachesOf(doc) ? FontCachesOf(doc)->CMapDir() : std::string(kDefaultCMapDir);
  auto cmap = std::make_unique<CMapFile>();
  if (!cmap->Parse(bytes, asToUnicode, cmapDir)) {
    Throw(module, operation, kInternalError, "invalid ToUnicode stream");
  }
  return cmap;
}

}  // namespace quarn
