#include "pdf/font/truetype_embed.h"

#include <climits>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <set>
#include <vector>

#include "pdf/document/doc.h"
#include "pdf/font/cmap_file.h"
#include "pdf/font/font_caches.h"
#include "pdf/font/font_file.h"
#include "pdf/font/truetype_font.h"
#include "pdf/font/type0_font.h"
#include "pdf/font/type2_cid_font.h"
#include "platform/font_subset.h"
#include "platform/shared_library.h"

namespace quarn {

namespace {

// CID -> Unicode of Adobe-Japan1: line n of the file holds the character of CID n in hex (0
// for a CID without one). Read once per process.
const std::vector<char32_t>& AdobeJapan1Unicode() {
  static const std::vector<char32_t> table = [] {
    std::vector<char32_t> characters;
    std::ifstream in(kAdobeJapan1ToUnicodeFile);
    std::string line;
    while (std::getline(in, line)) {
      characters.push_back(static_cast<char32_t>(std::strtoul(line.c_str(), nullptr, 16)));
    }
    return characters;
  }();
  return table;
}

EmbedResult Failed(const std::string& name) {
  return {EmbedOutcome::kFailed, Format("cannot embed font: %s", name.c_str())};
}

// Why the face of `name` is not to be embedded, if it is not.
std::optional<EmbedResult> Refusal(const TrueTypeInfo* info, const std::string& name) {
  if (!info || info->file.empty()) return EmbedResult{};
  // A style the family has no face for is left to the reader to simulate on the regular face.
  if (const std::optional<FaceStyle> style = StyleSuffix(name); style && !(info->style == *style)) {
    return EmbedResult{};
  }
  if (!info->SubsetEmbeddable()) {
    return EmbedResult{
        EmbedOutcome::kLicenceForbids,
        Format("font not embedded, its licence forbids embedding: %s", name.c_str())};
  }
  return std::nullopt;
}

std::u32string Sorted(const std::set<char32_t>& characters) {
  return std::u32string(characters.begin(), characters.end());
}

// `data` compressed into `stream`.
bool SetFlateData(CPDFStream& stream, const std::string& data) {
  CPDFErrorRecord error;
  return stream.SetData(data.data(), data.size()) && stream.EncodeFlateFilter(error);
}

// The subset program as a FontFile2 stream filed in the descriptor.
bool FileFontProgram(CPDFObjHolder* doc, CPDFFontDesc& desc, const std::string& program) {
  if (program.size() > static_cast<size_t>(INT32_MAX)) return false;
  auto file = std::make_unique<CPDFFontFile>(doc);
  return file->Set_Length1(std::make_unique<CPDFInt>(static_cast<int32_t>(program.size()))) &&
         SetFlateData(*file, program) && desc.Set_FontFile2(std::move(file), true);
}

EmbedResult EmbedSimple(CPDFTrueTypeFont& font, std::string_view text) {
  CPDFObjHolder* doc = font.Doc();
  CPDFName* baseFont = font.Get_BaseFont();
  FontCaches* caches = FontCachesOf(doc);
  if (!baseFont || !caches) return {};
  const std::string name = baseFont->Str();
  const TrueTypeInfo* info = caches->FindTrueTypeInfo(name);
  if (std::optional<EmbedResult> refusal = Refusal(info, name)) return *refusal;
  CPDFName* encoding = AsName(font.Get_Encoding());
  CPDFNumber* first = font.Get_FirstChar();
  CPDFNumber* last = font.Get_LastChar();
  // The subset's Unicode cmap is what a reader reaches WinAnsiEncoding codes through.
  if (info->charSet != kCharsetAnsi || !encoding || encoding->Str() != "WinAnsiEncoding" ||
      !first || !last) {
    return {};
  }
  std::set<char32_t> characters;
  for (char byte : text) {
    const auto code = static_cast<uint8_t>(byte);
    if (code < first->IntValue() || code > last->IntValue()) continue;
    if (std::optional<char32_t> c = CodePageCharacter(kCharsetAnsi, code)) characters.insert(*c);
  }
  CPDFObjRef descRef;
  CPDFFontDesc* desc = font.Get_FontDescriptor(&descRef);
  if (characters.empty() || !desc) return {};
  std::optional<FontSubset> subset = SubsetFontFile(info->file, info->index, characters);
  if (!subset) return Failed(name);
  if (descRef.IsDefined() && !doc->UpdateObj(descRef)) return Failed(name);
  if (!FileFontProgram(doc, *desc, subset->program)) return Failed(name);
  const std::string tagged = SubsetTag(name, Sorted(characters)) + "+" + name;
  if (!font.Set_BaseFont(std::make_unique<CPDFName>(tagged)) ||
      !desc->Set_FontName(std::make_unique<CPDFName>(tagged))) {
    return Failed(name);
  }
  return {EmbedOutcome::kEmbedded, ""};
}

// CIDToGIDMap: two bytes per CID from 0 to the highest CID drawn, the subset's glyph of each.
std::string GlyphMap(const std::vector<std::pair<uint16_t, char32_t>>& drawn,
                     const FontSubset& subset) {
  uint16_t highest = 0;
  for (const auto& [cid, character] : drawn) highest = std::max(highest, cid);
  std::string map(2 * (static_cast<size_t>(highest) + 1), '\0');
  for (const auto& [cid, character] : drawn) {
    const auto it = subset.glyphOfCharacter.find(character);
    if (it == subset.glyphOfCharacter.end()) continue;
    map[2 * size_t{cid}] = static_cast<char>(it->second >> 8 & 0xFF);
    map[2 * size_t{cid} + 1] = static_cast<char>(it->second & 0xFF);
  }
  return map;
}

// Tags the names of a composite font and its descendant as those of a subset of `characters`.
bool TagComposite(CPDFType0Font& font, CPDFCIDFont& descendant, CPDFFontDesc& desc,
                  const std::string& name, const std::u32string& characters) {
  const std::string tagged = SubsetTag(name, characters) + "+" + name;
  return font.Set_BaseFont(std::make_unique<CPDFName>(tagged)) &&
         descendant.Set_BaseFont(std::make_unique<CPDFName>(tagged)) &&
         desc.Set_FontName(std::make_unique<CPDFName>(tagged));
}

// Identity-H over a descendant whose CIDs are the glyph numbers (CIDToGIDMap /Identity).
bool IsGlyphNumbered(const CPDFName& encoding, CPDFType2CIDFont& descendant) {
  const CPDFName* glyphMap = AsName(descendant.GetValue(descendant.Doc(), "CIDToGIDMap"));
  return encoding.Str() == "Identity-H" && glyphMap && glyphMap->Str() == "Identity";
}

// The codes of `text` are the face's glyph numbers: the subset keeps each glyph under its own
// number, so the codes and the widths stay as they are.
EmbedResult EmbedGlyphNumbered(CPDFType0Font& font, CPDFType2CIDFont& descendant,
                               const CPDFObjRef& descendantRef, const TrueTypeInfo& info,
                               CPDFFontDesc& desc, std::string_view text) {
  CPDFObjHolder* doc = font.Doc();
  const std::string name = descendant.Get_BaseFont()->Str();
  std::set<uint32_t> glyphs;
  for (size_t i = 0; i + 1 < text.size(); i += 2) {
    glyphs.insert(static_cast<uint32_t>(static_cast<uint8_t>(text[i]) << 8 |
                                        static_cast<uint8_t>(text[i + 1])));
  }
  if (glyphs.empty()) return {};
  std::optional<std::string> program = SubsetFontGlyphs(info.file, info.index, glyphs);
  if (!program) return Failed(name);
  if (descendantRef.IsDefined() && !doc->UpdateObj(descendantRef)) return Failed(name);
  if (!FileFontProgram(doc, desc, *program) ||
      !TagComposite(font, descendant, desc, name, std::u32string(glyphs.begin(), glyphs.end()))) {
    return Failed(name);
  }
  return {EmbedOutcome::kEmbedded, ""};
}

EmbedResult EmbedComposite(CPDFType0Font& font, std::string_view text) {
  CPDFObjHolder* doc = font.Doc();
  CPDFArray* descendants = font.Get_DescendantFonts();
  CPDFObjRef descendantRef;
  auto* descendant =
      descendants && descendants->Count() > 0
          ? dynamic_cast<CPDFType2CIDFont*>(descendants->GetObj(doc, 0, &descendantRef))
          : nullptr;
  FontCaches* caches = FontCachesOf(doc);
  CPDFName* baseFont = descendant ? descendant->Get_BaseFont() : nullptr;
  if (!baseFont || !caches) return {};
  const std::string name = baseFont->Str();
  const TrueTypeInfo* info = caches->FindTrueTypeInfo(name);
  if (std::optional<EmbedResult> refusal = Refusal(info, name)) return *refusal;
  CPDFName* encoding = AsName(font.Get_Encoding());
  CPDFFontDesc* desc = descendant->Get_FontDescriptor();
  if (encoding && desc && IsGlyphNumbered(*encoding, *descendant)) {
    return EmbedGlyphNumbered(font, *descendant, descendantRef, *info, *desc, text);
  }
  const CMapFile* cmap = encoding ? caches->FindCMap(encoding->Str()) : nullptr;
  if (!cmap || !desc) return {};

  std::string cids;
  cmap->MapCodesToCIDs(cids, text);
  const std::vector<char32_t>& unicode = AdobeJapan1Unicode();
  std::vector<std::pair<uint16_t, char32_t>> drawn;
  std::set<char32_t> characters;
  for (size_t i = 0; i + 1 < cids.size(); i += 2) {
    const auto cid = static_cast<uint16_t>(static_cast<uint8_t>(cids[i]) << 8 |
                                           static_cast<uint8_t>(cids[i + 1]));
    if (cid >= unicode.size() || unicode[cid] == 0) continue;
    drawn.emplace_back(cid, unicode[cid]);
    characters.insert(unicode[cid]);
  }
  if (characters.empty()) return {};
  std::optional<FontSubset> subset = SubsetFontFile(info->file, info->index, characters);
  if (!subset) return Failed(name);
  if (descendantRef.IsDefined() && !doc->UpdateObj(descendantRef)) return Failed(name);
  auto glyphMap = std::make_unique<CPDFStream>(doc);
  if (!SetFlateData(*glyphMap, GlyphMap(drawn, *subset)) ||
      !FileFontProgram(doc, *desc, subset->program) ||
      !descendant->SetValue(doc, "CIDToGIDMap", std::move(glyphMap), true, nullptr)) {
    return Failed(name);
  }
  if (!TagComposite(font, *descendant, *desc, name, Sorted(characters))) return Failed(name);
  return {EmbedOutcome::kEmbedded, ""};
}

}  // namespace

std::string SubsetTag(std::string_view fontName, const std::u32string& characters) {
  uint64_t hash = 14695981039346656037ull;  // FNV-1a
  auto mix = [&hash](uint32_t byte) {
    hash ^= byte & 0xFF;
    hash *= 1099511628211ull;
  };
  for (char c : fontName) mix(static_cast<uint8_t>(c));
  for (char32_t c : characters) {
    for (int shift = 0; shift < 32; shift += 8) mix(static_cast<uint32_t>(c) >> shift);
  }
  std::string tag;
  for (int i = 0; i < 6; ++i) {
    tag.push_back(static_cast<char>('A' + hash % 26));
    hash /= 26;
  }
  return tag;
}

EmbedResult EmbedFontSubset(CPDFFont& font, std::string_view text) {
  try {
    if (auto* simple = dynamic_cast<CPDFTrueTypeFont*>(&font)) return EmbedSimple(*simple, text);
    if (auto* composite = dynamic_cast<CPDFType0Font*>(&font))
      return EmbedComposite(*composite, text);
  } catch (const LibraryUnavailable&) {
    throw;  // not a face that cannot be cut down: the host lacks the subsetter, and says so
  } catch (...) {
    CPDFName* baseFont = font.Get_BaseFont();
    return Failed(baseFont ? baseFont->Str() : std::string());
  }
  return {};
}

}  // namespace quarn
