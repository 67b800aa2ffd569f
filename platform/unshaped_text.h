// Which characters a run of glyphs set one after the other, left to right, draws right: the
// tool lays text out without a shaping engine, so characters of right-to-left scripts and marks
// that combine with the character before them would come out wrong, and are refused instead.
// The character properties come from HarfBuzz, opened with its subsetter on first use.
#pragma once

namespace quarn {

enum class ShapingNeed {
  kNone,         // drawn right as its own glyph
  kRightToLeft,  // of a right-to-left script, or a control that turns the direction so
  kCombining,    // a mark (general category M): it sits on the character before it
};

// Throws LibraryUnavailable when the host lacks HarfBuzz.
ShapingNeed ShapingNeedOf(char32_t c);

}  // namespace quarn
