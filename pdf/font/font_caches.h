// The font resources that the library object keeps by name for its whole life: descriptors of
// the standard fonts, encodings, CMaps and metrics. Each lookup holds the library lock.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "pdf/document/lib_base.h"
#include "platform/installed_fonts.h"

namespace quarn {

class AFMFile;
class CMapFile;
class CPDFFontDesc;
class EncodingTable;

// The record of a TrueType face: an installed face, or one of the two Heisei records that stand
// for a face the host need not have.
using TrueTypeInfo = TrueTypeFaceInfo;

class FontCaches final : public CPDFLibExtension {
 public:
  // Makes the CMap of a name from the CMap directory or the built-in ones; nullptr when there
  // is none. LoadCMapByName unless a caller installs another (tests do).
  using CMapLoader =
      std::function<std::shared_ptr<CMapFile>(const std::string& cmapDir, const std::string& name)>;

  // The directories are kept with a trailing "/" (or empty); `lock` is the library's lock. An
  // empty CMap directory means kDefaultCMapDir (pdf/font/cmap_file.h).
  FontCaches(std::recursive_mutex& lock, std::string cmapDir, std::string afmDir);
  ~FontCaches() override;
  FontCaches(const FontCaches&) = delete;
  FontCaches& operator=(const FontCaches&) = delete;

  // The descriptor of a font built from its metrics, owned by the cache (no document).
  CPDFFontDesc* FindFontDesc(const std::string& fontName);
  // A built-in encoding table.
  EncodingTable* FindEncoding(const std::string& name);
  // A CMap through the installed loader.
  CMapFile* FindCMap(const std::string& name);
  // Metrics: the AFM directory's files (by FontName), then "<dir><name>.afm", then built-in.
  AFMFile* FindMetrics(const std::string& fontName);

  // The record of a TrueType face by name (a subset tag "ABCDEF+" ignored): the face filed
  // under the name's lookup key; with a style suffix ("DejaVuSans,Bold") the family's face of
  // that style when there is one. "HeiseiMin-W3" and "HeiseiKakuGo-W5" have records without a
  // face. The installed faces are listed on the first call, so a run that asks for no TrueType
  // font never lists them.
  const TrueTypeInfo* FindTrueTypeInfo(const std::string& fontName);

  void SetCMapLoader(CMapLoader loader);
  const std::string& AFMDir() const { return m_afmDir; }
  const std::string& CMapDir() const { return m_cmapDir; }
  // The default loader: CMapFile::LoadByName.
  static std::shared_ptr<CMapFile> LoadCMapByName(const std::string& cmapDir,
                                                  const std::string& name);

 private:
  // The directory scan of the first lookup; false when a file of the directory is not AFM.
  bool ScanDirectoryIntoCache();

  std::recursive_mutex& m_lock;
  std::string m_cmapDir;
  std::string m_afmDir;
  CMapLoader m_cmapLoader;
  std::map<std::string, std::unique_ptr<CPDFFontDesc>> m_fontDescs;
  std::map<std::string, std::unique_ptr<EncodingTable>> m_encodings;
  std::map<std::string, std::shared_ptr<CMapFile>> m_cmaps;
  std::map<std::string, std::unique_ptr<AFMFile>> m_metrics;
  std::unique_ptr<InstalledFonts> m_installed;  // listed on the first TrueType lookup
  std::map<std::string, std::unique_ptr<TrueTypeInfo>> m_trueType;
};

// The font name without a leading subset tag (six capital letters and "+").
std::string WithoutSubsetTag(const std::string& fontName);

// The font caches of the library behind `doc`, or nullptr when there is none.
FontCaches* FontCachesOf(CPDFObjHolder* doc);

}  // namespace quarn
