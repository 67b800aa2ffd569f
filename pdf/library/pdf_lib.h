// The library object: the entry point of a program using libquarn. Making one plugs in every
// factory that types values on load (XObjects, fonts) and the font caches, so that a program
// linking the static library gets typed objects without relying on static initialisers.
#pragma once

#include <string>

#include "pdf/document/lib_base.h"

namespace quarn {

class FontCaches;

class CPDFLib final : public CPDFLibBase {
 public:
  // The temporary, CMap and AFM directories (empty: the host's temporary directory, the
  // built-in CMap directory, no AFM directory). Each library object keeps its own.
  explicit CPDFLib(const std::string& tempDir = "", const std::string& cmapDir = "",
                   const std::string& afmDir = "");
  ~CPDFLib() override;

  // The font descriptor, encoding, CMap and metrics caches (pdf/font/font_caches.h).
  FontCaches& FontCache();
};

}  // namespace quarn
