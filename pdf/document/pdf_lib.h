// The library object: settings, the lock around the font caches, and opening documents.
#pragma once

#include <memory>
#include <mutex>
#include <string>

#include "pdf/object/exception.h"

namespace quarn {

class CPDFDoc;
class FontCaches;

class CPDFLib {
 public:
  // Directories are kept with a trailing "/" (an empty setting stays empty: the host's
  // temporary directory, asked for each time).
  explicit CPDFLib(const std::string& tempDir = "", const std::string& cmapDir = "",
                   const std::string& afmDir = "");
  ~CPDFLib();
  CPDFLib(const CPDFLib&) = delete;
  CPDFLib& operator=(const CPDFLib&) = delete;

  const std::string& TempDir() const { return m_tempDir; }
  const std::string& TempPrefix() const { return m_tempPrefix; }
  const std::string& CMapDir() const { return m_cmapDir; }
  const std::string& AFMDir() const { return m_afmDir; }
  const std::string& HostCMapName() const { return m_hostCMap; }
  std::recursive_mutex& Lock() { return m_lock; }
  // The font descriptor, encoding, CMap and metrics caches (pdf/font/font_caches.h).
  FontCaches& FontCache() { return *m_fontCaches; }

  // Opens a document; on failure copies its error into `error` and returns nothing.
  std::unique_ptr<CPDFDoc> OpenDoc(const std::string& fileName, const char* password,
                                   CPDFErrorRecord& error);

 private:
  std::string m_tempDir;
  std::string m_tempPrefix = "qx";
  std::string m_cmapDir;
  std::string m_afmDir;
  std::string m_hostCMap = "90ms-RKSJ";
  std::recursive_mutex m_lock;
  std::unique_ptr<FontCaches> m_fontCaches;  // uses m_lock, so it is declared after it
};

// Adds a trailing "/" to a non-empty directory name.
std::string WithTrailingSlash(const std::string& dir);

}  // namespace quarn
