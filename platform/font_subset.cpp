#include "platform/font_subset.h"

#include <hb-subset.h>
#include <hb.h>

#include <memory>
#include <utility>

#include "platform/shared_library.h"

namespace quarn {

namespace {

// The subsetter's library brings in HarfBuzz itself, whose functions are found through it.
// clang-format off
#define QUARN_HARFBUZZ_SUBSET_FUNCTIONS(X)                                                   \
  X(hb_blob_create_from_file_or_fail) X(hb_blob_get_data) X(hb_blob_destroy)                 \
  X(hb_face_create) X(hb_face_destroy) X(hb_face_get_glyph_count) X(hb_face_reference_blob)  \
  X(hb_set_add) X(hb_map_get) X(hb_map_has) X(hb_subset_input_create_or_fail)                \
  X(hb_subset_input_destroy) X(hb_subset_input_unicode_set) X(hb_subset_plan_create_or_fail) \
  X(hb_subset_plan_destroy) X(hb_subset_plan_execute_or_fail)                                \
  X(hb_subset_plan_old_to_new_glyph_mapping) X(hb_subset_plan_unicode_to_old_glyph_mapping) \
  X(hb_subset_input_glyph_set) X(hb_subset_input_set_flags) X(hb_subset_or_fail)
// clang-format on

struct HarfBuzzSubsetFunctions {
  QUARN_HARFBUZZ_SUBSET_FUNCTIONS(QUARN_FUNCTION_SLOT)
};

const HarfBuzzSubsetFunctions& HarfBuzzSubset() {
  static const LazyLibrary<HarfBuzzSubsetFunctions> loaded(
      "libharfbuzz-subset.so.0", "QUARN_LIBHARFBUZZ_SUBSET",
      [](SharedLibrary& library, HarfBuzzSubsetFunctions& table) {
        QUARN_HARFBUZZ_SUBSET_FUNCTIONS(QUARN_RESOLVE_FUNCTION)
      });
  return loaded.Functions();
}

// Each handle is destroyed through the function of the opened library that made it.
template <class T, auto HarfBuzzSubsetFunctions::*Destroy>
struct HbDeleter {
  void operator()(T* p) const { (HarfBuzzSubset().*Destroy)(p); }
};
using BlobHandle =
    std::unique_ptr<hb_blob_t, HbDeleter<hb_blob_t, &HarfBuzzSubsetFunctions::hb_blob_destroy>>;
using FaceHandle =
    std::unique_ptr<hb_face_t, HbDeleter<hb_face_t, &HarfBuzzSubsetFunctions::hb_face_destroy>>;
using InputHandle = std::unique_ptr<
    hb_subset_input_t,
    HbDeleter<hb_subset_input_t, &HarfBuzzSubsetFunctions::hb_subset_input_destroy>>;
using PlanHandle =
    std::unique_ptr<hb_subset_plan_t,
                    HbDeleter<hb_subset_plan_t, &HarfBuzzSubsetFunctions::hb_subset_plan_destroy>>;

}  // namespace

namespace {

// The program of a subset face.
std::optional<std::string> ProgramOf(const hb_face_t* subset) {
  const HarfBuzzSubsetFunctions& hb = HarfBuzzSubset();
  BlobHandle program(hb.hb_face_reference_blob(const_cast<hb_face_t*>(subset)));
  unsigned length = 0;
  const char* data = program ? hb.hb_blob_get_data(program.get(), &length) : nullptr;
  if (!data || length == 0) return std::nullopt;
  return std::string(data, length);
}

// Face `index` of the font file, when it has glyphs (the face holds its own reference to the
// file's blob).
FaceHandle OpenFace(const std::string& file, int index) {
  const HarfBuzzSubsetFunctions& hb = HarfBuzzSubset();
  BlobHandle blob(hb.hb_blob_create_from_file_or_fail(file.c_str()));
  if (!blob || index < 0) return nullptr;
  FaceHandle face(hb.hb_face_create(blob.get(), static_cast<unsigned>(index)));
  if (!face || hb.hb_face_get_glyph_count(face.get()) == 0) return nullptr;
  return face;
}

}  // namespace

std::optional<FontSubset> SubsetFontFile(const std::string& file, int index,
                                         const std::set<char32_t>& characters) {
  const HarfBuzzSubsetFunctions& hb = HarfBuzzSubset();
  FaceHandle face = OpenFace(file, index);
  if (!face) return std::nullopt;
  InputHandle input(hb.hb_subset_input_create_or_fail());
  if (!input) return std::nullopt;
  hb_set_t* unicodes = hb.hb_subset_input_unicode_set(input.get());
  for (char32_t c : characters) hb.hb_set_add(unicodes, c);

  PlanHandle plan(hb.hb_subset_plan_create_or_fail(face.get(), input.get()));
  if (!plan) return std::nullopt;
  FontSubset subset;
  const hb_map_t* oldGlyphs = hb.hb_subset_plan_unicode_to_old_glyph_mapping(plan.get());
  const hb_map_t* newGlyphs = hb.hb_subset_plan_old_to_new_glyph_mapping(plan.get());
  for (char32_t c : characters) {
    if (!hb.hb_map_has(oldGlyphs, c)) continue;
    const hb_codepoint_t old = hb.hb_map_get(oldGlyphs, c);
    if (hb.hb_map_has(newGlyphs, old)) subset.glyphOfCharacter[c] = hb.hb_map_get(newGlyphs, old);
  }
  FaceHandle result(hb.hb_subset_plan_execute_or_fail(plan.get()));
  if (!result) return std::nullopt;
  std::optional<std::string> program = ProgramOf(result.get());
  if (!program) return std::nullopt;
  subset.program = std::move(*program);
  return subset;
}

std::optional<std::string> SubsetFontGlyphs(const std::string& file, int index,
                                            const std::set<uint32_t>& glyphs) {
  const HarfBuzzSubsetFunctions& hb = HarfBuzzSubset();
  FaceHandle face = OpenFace(file, index);
  if (!face) return std::nullopt;
  InputHandle input(hb.hb_subset_input_create_or_fail());
  if (!input) return std::nullopt;
  hb_set_t* kept = hb.hb_subset_input_glyph_set(input.get());
  for (uint32_t glyph : glyphs) hb.hb_set_add(kept, glyph);
  hb.hb_subset_input_set_flags(input.get(), HB_SUBSET_FLAGS_RETAIN_GIDS);
  FaceHandle result(hb.hb_subset_or_fail(face.get(), input.get()));
  if (!result) return std::nullopt;
  return ProgramOf(result.get());
}

}  // namespace quarn
