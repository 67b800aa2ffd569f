// Plugs the factories of the typed dictionary family into the library's registry, so that
// resource loading, pages, the catalog and FDF files bind their entries to the family's classes.
#pragma once

namespace quarn {

class CPDFLibBase;

void RegisterTypedFamilyFactories(CPDFLibBase& lib);

}  // namespace quarn
