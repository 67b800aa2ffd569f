#include "app/opacity_state.h"

#include <memory>
#include <utility>

#include "app/stamp.h"
#include "pdf/content/misc_resources.h"
#include "pdf/document/doc.h"
#include "pdf/document/res_dict.h"

namespace quarn {

bool OpacityState::Name(StampCanvas& canvas, std::string& name) {
  if (!m_ref.IsDefined()) return Make(canvas, name);
  // Pages that share their resources find the state there already, under the name one of them
  // gave it.
  CPDFResDict& resources = canvas.Resources();
  if (const CPDFDict* states = resources.Get_ExtGState()) {
    for (const auto& [key, atom] : *states) {
      if (atom && atom->IsRef() && *static_cast<const CPDFObjRef*>(atom.get()) == m_ref) {
        name = key;
        return true;
      }
    }
  }
  if (!resources.MakeNameFor("ExtGState", "GS", name) ||
      !resources.AddReference("ExtGState", name, m_ref)) {
    canvas.LogError("cannot define PDF ExtGState", canvas.Document().LastError());
    return false;
  }
  return true;
}

bool OpacityState::Make(StampCanvas& canvas, std::string& name) {
  CPDFDoc& doc = canvas.Document();
  auto state = std::make_unique<CPDFExtGState>();
  // Both the filling (text, images, shadings) and the stroking alpha: a watermark's form draws
  // with either.
  const bool made = state->Create(&doc) &&
                    state->SetValue(&doc, "Type", std::make_unique<CPDFName>("ExtGState")) &&
                    state->SetValue(&doc, "CA", std::make_unique<CPDFReal>(m_opacity)) &&
                    state->SetValue(&doc, "ca", std::make_unique<CPDFReal>(m_opacity));
  CPDFResDict& resources = canvas.Resources();
  CPDFObjRef ref;
  if (!made || !resources.MakeName(name, *state) ||
      !resources.AddResource(name, std::move(state), &ref)) {
    canvas.LogError("cannot define PDF ExtGState", doc.LastError());
    return false;
  }
  m_ref = ref;
  return true;
}

}  // namespace quarn
