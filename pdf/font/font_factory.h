// The font factory: binds font dictionaries read from files to their classes.
#pragma once

namespace quarn {

class CPDFLibBase;

// Plugs the "Font" resource factory into the library.
void RegisterFontFactories(CPDFLibBase& lib);

}  // namespace quarn
