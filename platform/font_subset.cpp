#include "platform/font_subset.h"

#include <hb-subset.h>
#include <hb.h>

#include <memory>

namespace quarn {

namespace {

template <class T, void (*Destroy)(T*)>
struct HbDeleter {
  void operator()(T* p) const { Destroy(p); }
};
using BlobHandle = std::unique_ptr<hb_blob_t, HbDeleter<hb_blob_t, hb_blob_destroy>>;
using FaceHandle = std::unique_ptr<hb_face_t, HbDeleter<hb_face_t, hb_face_destroy>>;
using InputHandle =
    std::unique_ptr<hb_subset_input_t, HbDeleter<hb_subset_input_t, hb_subset_input_destroy>>;
using PlanHandle =
    std::unique_ptr<hb_subset_plan_t, HbDeleter<hb_subset_plan_t, hb_subset_plan_destroy>>;

}  // namespace

std::optional<FontSubset> SubsetFontFile(const std::string& file, int index,
                                         const std::set<char32_t>& characters) {
  BlobHandle blob(hb_blob_create_from_file_or_fail(file.c_str()));
  if (!blob || index < 0) return std::nullopt;
  FaceHandle face(hb_face_create(blob.get(), static_cast<unsigned>(index)));
  if (!face || hb_face_get_glyph_count(face.get()) == 0) return std::nullopt;
  InputHandle input(hb_subset_input_create_or_fail());
  if (!input) return std::nullopt;
  hb_set_t* unicodes = hb_subset_input_unicode_set(input.get());
  for (char32_t c : characters) hb_set_add(unicodes, c);

  PlanHandle plan(hb_subset_plan_create_or_fail(face.get(), input.get()));
  if (!plan) return std::nullopt;
  FontSubset subset;
  const hb_map_t* oldGlyphs = hb_subset_plan_unicode_to_old_glyph_mapping(plan.get());
  const hb_map_t* newGlyphs = hb_subset_plan_old_to_new_glyph_mapping(plan.get());
  for (char32_t c : characters) {
    if (!hb_map_has(oldGlyphs, c)) continue;
    const hb_codepoint_t old = hb_map_get(oldGlyphs, c);
    if (hb_map_has(newGlyphs, old)) subset.glyphOfCharacter[c] = hb_map_get(newGlyphs, old);
  }
  FaceHandle result(hb_subset_plan_execute_or_fail(plan.get()));
  if (!result) return std::nullopt;
  BlobHandle program(hb_face_reference_blob(result.get()));
  unsigned length = 0;
  const char* data = program ? hb_blob_get_data(program.get(), &length) : nullptr;
  if (!data || length == 0) return std::nullopt;
  subset.program.assign(data, length);
  return subset;
}

}  // namespace quarn
