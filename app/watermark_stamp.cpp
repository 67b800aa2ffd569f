#include "app/watermark_stamp.h"

#include <memory>
#include <utility>

#include "app/driver.h"
#include "app/image_watermark.h"
#include "app/zorvane_app.h"
#include "pdf/content/graph_objs.h"
#include "pdf/content/xobject.h"
#include "pdf/document/doc.h"
#include "pdf/document/pages.h"
#include "pdf/document/res_dict.h"
#include "pdf/library/pdf_lib.h"
#include "pdf/object/geometry.h"

namespace quarn {

namespace {

// Whether two views show the same frame: the same visible box, turned alike.
bool SameFrame(const PageView& a, const PageView& b) {
  return a.llx == b.llx && a.lly == b.lly && a.width == b.width && a.height == b.height &&
         a.rotate == b.rotate;
}

}  // namespace

WatermarkStamp::WatermarkStamp(std::string fileName, bool fit, bool up,
                               std::optional<float> opacity)
    : m_fileName(std::move(fileName)), m_fit(fit), m_up(up) {
  if (opacity) m_opacity.emplace(*opacity);
  m_layout.sizing = fit ? WatermarkSizing::kStretch : WatermarkSizing::kNatural;
}

void WatermarkStamp::SetTurn(const WatermarkTurn& turn) { m_layout.turn = turn; }

void WatermarkStamp::WarnUnseen(CZorvaneApp& app) const {
  if (m_unseen.pages > 0) {
    app.WriteLog("watermark outside the visible page: %d page(s), first page %d", m_unseen.pages,
                 m_unseen.firstPage);
  }
}

bool WatermarkStamp::Draw(StampCanvas& canvas, int32_t page) {
  std::string name = std::exchange(m_madeName, std::string());
  if (name.empty() && !NameForm(canvas, name)) return false;
  std::string stateName;
  if (m_opacity && !m_opacity->Name(canvas, stateName)) return false;
  const PageView& view = canvas.View();
  CPDFGraphObjs objects;
  objects.AddSave();
  if (!stateName.empty()) {
    auto state = std::make_unique<PageDescOperator>();
    state->SetExtGState(stateName);
    objects.Append(std::move(state));
  }
  Affine adjustment = kIdentity;
  const bool adjusted = Adjustment(view, adjustment);
  if (adjusted) AddConcatMatrix(objects, adjustment);
  const Affine drawn = Multiply(m_formMatrix, adjusted ? adjustment : kIdentity);
  if (!BoxMeetsView(view, m_formBox[0], m_formBox[1], m_formBox[2], m_formBox[3], drawn)) {
    m_unseen.Note(page);
  }
  objects.AddExternalObject(name);
  objects.AddRestore();
  return canvas.AddGraphics(objects, Place());
}

std::unique_ptr<CPDFFormXObj> WatermarkStamp::MakeForm(StampCanvas& canvas,
                                                       std::unique_ptr<CPDFDoc>& watermarkDoc) {
  if (!canvas.CheckReadable(m_fileName)) return nullptr;
  const ImageKind image = ImageKindOf(m_fileName);
  return image == ImageKind::kNone ? MakePageForm(canvas, watermarkDoc)
                                   : MakeImageForm(canvas, m_fileName, image);
}

std::unique_ptr<CPDFFormXObj> WatermarkStamp::MakePageForm(
    StampCanvas& canvas, std::unique_ptr<CPDFDoc>& watermarkDoc) const {
  CPDFDoc& doc = canvas.Document();
  CPDFErrorRecord error;
  watermarkDoc = canvas.Lib().OpenDoc(m_fileName, nullptr, error);
  if (!watermarkDoc) {
    canvas.LogError(Format("cannot open PDF Document: %s", m_fileName.c_str()), error);
    return nullptr;
  }
  CPDFPage* source = watermarkDoc->GetPage(0);
  if (!source) {
    canvas.LogError("cannot get PDF Page: 1", watermarkDoc->LastError());
    return nullptr;
  }
  auto form = std::make_unique<CPDFFormXObj>();
  if (!form->CreateFromPage(&doc, *source)) {
    // The failure may have been met in either document.
    const CPDFErrorRecord& record =
        doc.LastError().IsError() ? doc.LastError() : watermarkDoc->LastError();
    canvas.LogError("cannot define PDF FormXObject", record);
    return nullptr;
  }
  return form;
}

bool WatermarkStamp::Make(StampCanvas& canvas, int32_t /*page*/) {
  CPDFDoc& doc = canvas.Document();
  std::unique_ptr<CPDFDoc> watermarkDoc;  // open until the form is filed
  std::unique_ptr<CPDFFormXObj> form = MakeForm(canvas, watermarkDoc);
  if (!form) return false;
  PlaceForm(canvas, *form);
  if (const CPDFMatrix* matrix = form->Get_Matrix()) {
    for (int i = 0; i < 6; ++i) m_formMatrix[static_cast<size_t>(i)] = matrix->At(i);
  }
  if (const CPDFRect* box = form->Get_BBox()) {
    m_formBox = {box->Llx(), box->Lly(), box->Urx(), box->Ury(), 0, 0};
  }
  m_formPlain = canvas.View().plain;
  m_formView = canvas.View();
  CPDFObjRef ref;
  std::string name;
  CPDFResDict& resources = canvas.Resources();
  if (!resources.MakeName(name, *form) || !resources.AddResource(name, std::move(form), &ref)) {
    canvas.LogError("cannot define PDF FormXObject", doc.LastError());
    return false;
  }
  m_formRef = ref;
  m_madeName = std::move(name);
  return true;
}

void WatermarkStamp::PlaceForm(StampCanvas& canvas, CPDFFormXObj& form) const {
  const CPDFRect* box = form.Get_BBox();
  if (!box) return;
  const CPDFRect& pageBox = canvas.PageBox();
  const PageView& view = canvas.View();
  if (!view.plain || !m_layout.Classic()) {
    // Made on a page shown turned or cropped, or a watermark turned or sized to the page: the
    // form's Matrix is worked out in the frame the reader shows.
    const Affine placed = Placement(view, *box);
    if (CPDFMatrix* matrix = form.Get_Matrix()) {
      matrix->Set(static_cast<float>(placed[0]), static_cast<float>(placed[1]),
                  static_cast<float>(placed[2]), static_cast<float>(placed[3]),
                  static_cast<float>(placed[4]), static_cast<float>(placed[5]));
    }
    return;
  }
  const float pageWidth = pageBox.Width();
  const float pageHeight = pageBox.Height();
  const float formWidth = box->Width();
  const float formHeight = box->Height();
  // The arithmetic works on widths and heights; the boxes' lower-left corners are added last, so
  // that a page or form box that does not start at the origin still gets the watermark on it.
  if (m_fit) {
    const float scaleX = pageWidth / formWidth;
    const float scaleY = pageHeight / formHeight;
    form.Scale(scaleX, scaleY);
    const float shiftX = pageBox.Llx() - scaleX * box->Llx();
    const float shiftY = pageBox.Lly() - scaleY * box->Lly();
    if (shiftX != 0.0f || shiftY != 0.0f) form.Translate(shiftX, shiftY);
    return;
  }
  const float centreX = (pageWidth - formWidth) * 0.5f;
  const float centreY = (pageHeight - formHeight) * 0.5f;
  const float originX = pageBox.Llx() - box->Llx();
  const float originY = pageBox.Lly() - box->Lly();
  form.Translate(centreX + originX, centreY + originY);
}

Affine WatermarkStamp::Placement(const PageView& view, const CPDFRect& formBox) const {
  return PlaceWatermark(view, formBox, m_layout);
}

bool WatermarkStamp::Adjustment(const PageView& view, Affine& adjustment) const {
  // A plain page of the same box as the page the form was made on draws the form as it is.
  if (view.plain && m_formPlain && SameFrame(view, m_formView)) return false;
  // The form draws with the Matrix made for the first watermarked page; the "cm" in front of it
  // takes that back and puts the form where this page wants it (centred, or fitted, on this
  // page's own visible frame, whatever its size).
  const CPDFRect box(static_cast<float>(m_formBox[0]), static_cast<float>(m_formBox[1]),
                     static_cast<float>(m_formBox[2]), static_cast<float>(m_formBox[3]));
  Affine undo;
  if (!Invert(m_formMatrix, undo)) return false;
  adjustment = Multiply(undo, Placement(view, box));
  return !NearlyIdentity(adjustment);
}

bool WatermarkStamp::NameForm(StampCanvas& canvas, std::string& name) {
  // A page that shares its resources with pages already stamped (inherited, or one resource
  // object for many pages) finds the form there: it draws it under that same name instead of
  // taking a new one for every page, which would run out of names after 4095 pages.
  CPDFResDict& resources = canvas.Resources();
  if (const CPDFDict* xobjects = resources.Get_XObject()) {
    for (const auto& [key, atom] : *xobjects) {
      if (atom && atom->IsRef() && *static_cast<const CPDFObjRef*>(atom.get()) == m_formRef) {
        name = key;
        return true;
      }
    }
  }
  if (!resources.MakeNameFor("XObject", "Fm", name) ||
      !resources.AddReference("XObject", name, m_formRef)) {
    canvas.LogError("cannot define PDF FormXObject", canvas.Document().LastError());
    return false;
  }
  return true;
}

}  // namespace quarn
