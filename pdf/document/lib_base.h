// The library object as documents and the layers above them see it: its directories, its
// temporary space, its lock, the factories that type values on load, and the slot of the font
// caches. The library object itself (pdf/library/pdf_lib.h) fills the factories and the slot.
#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "pdf/object/exception.h"
#include "pdf/object/huge_string.h"
#include "pdf/object/obj_holder.h"

namespace quarn {

class CPDFDoc;
class CPDFObject;

// A factory turns a plain value into its typed object. It is asked with every kind it knows
// (mask -1) when a resource dictionary is loaded. On success the new object has taken over the
// value's content (through its Realize) and is returned; when the factory does not recognise the
// value, or binding fails, it returns nullptr and leaves the value as it was.
using ResourceFactory = std::unique_ptr<CPDFObject> (*)(CPDFObjHolder* doc, CPDFObject& value,
                                                        int kinds);

// State a layer above keeps per library object (the font caches); owned by the library.
class CPDFLibExtension {
 public:
  virtual ~CPDFLibExtension() = default;
};

class CPDFLibBase {
 public:
  virtual ~CPDFLibBase();
  CPDFLibBase(const CPDFLibBase&) = delete;
  CPDFLibBase& operator=(const CPDFLibBase&) = delete;

  // Directories are kept with a trailing "/" (an empty setting stays empty: the host's
  // temporary directory, asked for each time).
  const std::string& TempDir() const { return m_space.directory; }
  const std::string& TempPrefix() const { return m_space.prefix; }
  const TempSpace& Space() const { return m_space; }
  const std::string& CMapDir() const { return m_cmapDir; }
  const std::string& AFMDir() const { return m_afmDir; }
  const std::string& HostCMapName() const { return m_hostCMap; }
  std::recursive_mutex& Lock() { return m_lock; }

  // Plugs a factory in under a key: the category keys ("ColorSpace", "XObject", "ExtGState",
  // "Font", "Pattern", "Properties", "Shading") and the entry factories that XObject loading
  // asks for ("OPI", "PieceInfo", "AltImage"). A later registration under the same key
  // replaces the earlier one; nullptr removes it.
  void RegisterResourceFactory(std::string_view key, ResourceFactory factory);
  // The factory under `key`, or nullptr while none is plugged in (values then stay plain).
  ResourceFactory FindResourceFactory(std::string_view key) const;

  // The font caches, made by the font layer for this library.
  CPDFLibExtension* FontCacheSlot() const { return m_fontCaches.get(); }

  // Opens a document; on failure copies its error into `error` and returns nothing.
  std::unique_ptr<CPDFDoc> OpenDoc(const std::string& fileName, const char* password,
                                   CPDFErrorRecord& error);

 protected:
  CPDFLibBase(const std::string& tempDir, const std::string& cmapDir, const std::string& afmDir);
  void SetFontCacheSlot(std::unique_ptr<CPDFLibExtension> caches) {
    m_fontCaches = std::move(caches);
  }

 private:
  TempSpace m_space;
  std::string m_cmapDir;
  std::string m_afmDir;
  std::string m_hostCMap = "90ms-RKSJ";
  std::recursive_mutex m_lock;
  std::map<std::string, ResourceFactory, std::less<>> m_factories;
  std::unique_ptr<CPDFLibExtension> m_fontCaches;  // may use m_lock, so declared after it
};

// Adds a trailing "/" to a non-empty directory name.
std::string WithTrailingSlash(const std::string& dir);

}  // namespace quarn
