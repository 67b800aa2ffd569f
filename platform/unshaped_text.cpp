#include "platform/unshaped_text.h"

#include <hb.h>

#include "platform/shared_library.h"

namespace quarn {

namespace {

// clang-format off
#define QUARN_HARFBUZZ_UNICODE_FUNCTIONS(X)                              \
  X(hb_unicode_funcs_get_default) X(hb_unicode_general_category)        \
  X(hb_unicode_script) X(hb_script_get_horizontal_direction)
// clang-format on

struct HarfBuzzUnicodeFunctions {
  QUARN_HARFBUZZ_UNICODE_FUNCTIONS(QUARN_FUNCTION_SLOT)
};

// The library the subsetter is opened from: it brings in HarfBuzz, whose functions these are.
const HarfBuzzUnicodeFunctions& HarfBuzzUnicode() {
  static const LazyLibrary<HarfBuzzUnicodeFunctions> loaded(
      "libharfbuzz-subset.so.0", "QUARN_LIBHARFBUZZ_SUBSET",
      [](SharedLibrary& library, HarfBuzzUnicodeFunctions& table) {
        QUARN_HARFBUZZ_UNICODE_FUNCTIONS(QUARN_RESOLVE_FUNCTION)
      });
  return loaded.Functions();
}

// The explicit marks and embeddings that set what follows right to left (ALM, RLM, RLE, RLO,
// RLI): their script is Common, yet they turn the text.
bool TurnsRightToLeft(char32_t c) {
  return c == 0x061C || c == 0x200F || c == 0x202B || c == 0x202E || c == 0x2067;
}

}  // namespace

ShapingNeed ShapingNeedOf(char32_t c) {
  if (c < 0x80) return ShapingNeed::kNone;
  if (TurnsRightToLeft(c)) return ShapingNeed::kRightToLeft;
  const HarfBuzzUnicodeFunctions& hb = HarfBuzzUnicode();
  hb_unicode_funcs_t* funcs = hb.hb_unicode_funcs_get_default();
  switch (hb.hb_unicode_general_category(funcs, c)) {
    case HB_UNICODE_GENERAL_CATEGORY_NON_SPACING_MARK:
    case HB_UNICODE_GENERAL_CATEGORY_SPACING_MARK:
    case HB_UNICODE_GENERAL_CATEGORY_ENCLOSING_MARK:
      return ShapingNeed::kCombining;
    default:
      break;
  }
  if (hb.hb_script_get_horizontal_direction(hb.hb_unicode_script(funcs, c)) == HB_DIRECTION_RTL)
    return ShapingNeed::kRightToLeft;
  return ShapingNeed::kNone;
}

}  // namespace quarn
