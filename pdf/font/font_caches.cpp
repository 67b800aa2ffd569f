#include "pdf/font/font_caches.h"

#include <new>

#include "pdf/document/doc.h"
#include "pdf/font/afm_file.h"
#include "pdf/font/cmap_file.h"
#include "pdf/font/encoding.h"
#include "pdf/font/font_desc.h"
#include "pdf/font/metrics.h"
#include "pdf/font/truetype_font.h"

namespace quarn {

namespace {

// Files `value` under `key`; nullptr (and the value freed) when the map cannot grow.
template <class Map, class Value>
auto* FileEntry(Map& map, const std::string& key, Value value) {
  try {
    auto& slot = map[key];
    slot = std::move(value);
    return slot.get();
  } catch (const std::bad_alloc&) {
    return static_cast<decltype(value.get())>(nullptr);
  }
}

}  // namespace

FontCaches::FontCaches(std::recursive_mutex& lock, std::string cmapDir, std::string afmDir)
    : m_lock(lock),
      m_cmapDir(cmapDir.empty() ? std::string(kDefaultCMapDir) : std::move(cmapDir)),
      m_afmDir(std::move(afmDir)),
      m_cmapLoader(&LoadCMapByName) {}

std::shared_ptr<CMapFile> FontCaches::LoadCMapByName(const std::string& cmapDir,
                                                     const std::string& name) {
  auto cmap = std::make_shared<CMapFile>();
  if (!cmap->LoadByName(cmapDir, name)) return nullptr;
  return cmap;
}

FontCaches::~FontCaches() = default;

void FontCaches::SetCMapLoader(CMapLoader loader) {
  std::lock_guard<std::recursive_mutex> guard(m_lock);
  m_cmapLoader = std::move(loader);
}

CPDFFontDesc* FontCaches::FindFontDesc(const std::string& fontName) {
  std::lock_guard<std::recursive_mutex> guard(m_lock);
  if (auto it = m_fontDescs.find(fontName); it != m_fontDescs.end()) return it->second.get();
  const AFMFile* metrics = FindMetrics(fontName);
  if (!metrics) return nullptr;
  std::unique_ptr<CPDFFontDesc> desc =
      CreateFontDescFromMetrics(nullptr, fontName, *metrics, Type1DescriptorFlags(*metrics));
  if (!desc) return nullptr;
  return FileEntry(m_fontDescs, fontName, std::move(desc));
}

EncodingTable* FontCaches::FindEncoding(const std::string& name) {
  std::lock_guard<std::recursive_mutex> guard(m_lock);
  if (auto it = m_encodings.find(name); it != m_encodings.end()) return it->second.get();
  auto table = std::make_unique<EncodingTable>();
  if (!table->LoadBuiltIn(name)) return nullptr;
  return FileEntry(m_encodings, name, std::move(table));
}

CMapFile* FontCaches::FindCMap(const std::string& name) {
  std::lock_guard<std::recursive_mutex> guard(m_lock);
  if (auto it = m_cmaps.find(name); it != m_cmaps.end()) return it->second.get();
  if (!m_cmapLoader) return nullptr;
  std::shared_ptr<CMapFile> cmap = m_cmapLoader(m_cmapDir, name);
  if (!cmap) return nullptr;
  return FileEntry(m_cmaps, name, std::move(cmap));
}

bool FontCaches::ScanDirectoryIntoCache() {
  return ScanAFMDirectory(m_afmDir, [this](std::unique_ptr<AFMFile> afm) {
    const std::string fontName = afm->Header().fontName;
    FileEntry(m_metrics, fontName, std::move(afm));
  });
}

AFMFile* FontCaches::FindMetrics(const std::string& fontName) {
  std::lock_guard<std::recursive_mutex> guard(m_lock);
  if (m_metrics.empty() && !m_afmDir.empty() && !ScanDirectoryIntoCache()) return nullptr;
  if (auto it = m_metrics.find(fontName); it != m_metrics.end()) return it->second.get();

  std::unique_ptr<AFMFile> metrics;
  const std::string path = AFMPathFor(m_afmDir, fontName);
  if (!path.empty()) metrics = LoadAFMFile(path);
  if (!metrics) metrics = LoadBuiltInMetrics(fontName);
  if (!metrics) return nullptr;
  return FileEntry(m_metrics, fontName, std::move(metrics));
}

std::string WithoutSubsetTag(const std::string& fontName) {
  if (fontName.size() < 7 || fontName[6] != '+') return fontName;
  for (size_t i = 0; i < 6; ++i) {
    if (fontName[i] < 'A' || fontName[i] > 'Z') return fontName;
  }
  return fontName.substr(7);
}

const TrueTypeInfo* FontCaches::FindTrueTypeInfo(const std::string& fontName) {
  std::lock_guard<std::recursive_mutex> guard(m_lock);
  const std::string name = WithoutSubsetTag(fontName);
  const std::string key = TrueTypeLookupKey(name);
  const std::optional<FaceStyle> style = StyleSuffix(name);
  std::string cacheKey = key;
  if (style) cacheKey += style->bold ? (style->italic ? ",BoldItalic" : ",Bold") : ",Italic";
  if (auto it = m_trueType.find(cacheKey); it != m_trueType.end()) return it->second.get();

  if (!m_installed) m_installed = std::make_unique<InstalledFonts>();
  std::unique_ptr<TrueTypeInfo> info = m_installed->FindFace(key);
  if (info && style && !(info->style == *style)) {
    if (std::unique_ptr<TrueTypeInfo> styled = m_installed->FindStyledFace(*info, *style)) {
      info = std::move(styled);
    }
  }
  if (!info) {
    info = HeiseiTrueTypeInfo(name);
    if (!info) return nullptr;
    cacheKey = name;
  }
  return FileEntry(m_trueType, cacheKey, std::move(info));
}

FontCaches* FontCachesOf(CPDFObjHolder* doc) {
  CPDFLibBase* lib = LibOf(doc);
  return lib ? dynamic_cast<FontCaches*>(lib->FontCacheSlot()) : nullptr;
}

}  // namespace quarn
